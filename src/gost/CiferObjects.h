#pragma once
// The GOST key, certificate and request: the crypto model's objects over a TZtCifer engine.
// The certificate is the engine's public key file; the request is such a file too.

#include <memory>
#include <string>

#include "cryptoman/CustomCertificate.h"
#include "cryptoman/CustomKey.h"
#include "gost/ZtCiferNew.h"

namespace brelo {

/// A GOST private key container (".key2", token entry 5).
class TCiferKey : public TCustomKey {
public:
    using TCustomKey::TCustomKey;

    static std::string FileExtension() { return ".key2"; }
    static int TokenEntry() { return 5; }

    /// A key made from a freshly generated engine: FData holds its key file protected by
    /// Password, and a second engine proves the file opens with Password.
    static std::unique_ptr<TCiferKey> CreateFromEngine(TZtCifer& engine,
                                                       const SecureString& password);

    void DecryptStream(TStream& inStream, TStream& outStream, TCustomCertificate& cert) override;
    void SaveEncrypted(TStream& stream, const SecureString& password) override;
    /// Opens the container with Password into a new engine and checks the key; FData is not
    /// filled.
    void LoadFromStream(TStream& stream, const SecureString& password) override;
    void Check() override;
    /// Empty without an engine.
    ByteString Sign(const void* data, std::size_t size, bool asBase64) override;
    SecureString DecryptText(const ByteString& text, bool isBase64) override;

    /// Puts back a password remembered earlier (after a store that did not go through).
    void RestorePassword(const SecureString& password) { FPassword = password; }
    TZtCifer* Engine() const { return FEngine.get(); }

private:
    std::unique_ptr<TZtCifer> FEngine;
};

/// A GOST public key file standing for a certificate (".cer2", token entry 4, request entry 8).
class TCiferCert : public TCustomCertificate {
public:
    static std::string FileExtension() { return ".cer2"; }
    static int TokenEntry() { return 4; }
    static int RequestEntry() { return 8; }

    /// Sha1Text of the 520-byte public block; empty without an engine. Mode is not used.
    std::string GetKeyId(int mode) override;
    std::string GetSerialNumber() override;
    /// The public key file's text; empty without an engine.
    ByteString GetText() override;
    std::string GetVersionText() override;
    TDateTime GetNotBefore() override;
    TDateTime GetNotAfter() override;
    void LoadFromText(const ByteString& text) override;
    bool VerifyBy(TCustomCertificate& issuer, bool raiseOnFailure) override;
    /// Base64 signature; true or a failure ("SignInvalid"), false only without an engine.
    bool VerifySignature(const void* data, std::size_t size, const ByteString& signature) override;
    ByteString EncryptText(const ByteString& text, bool asBase64) override;
    void EncryptStream(TStream& inStream, TStream& outStream) override;
    /// The engine's public key check; dates and owner do not exist for this format.
    void CheckValidity(int warnDays, const std::string& userName) override;
    void LoadFromStream(TStream& stream) override;
    void LoadFromFile(const std::string& fileName) override;
    void SaveToFile(const std::string& fileName) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromData(const ByteString& data) override;

    TZtCifer* Engine() const { return FEngine.get(); }

private:
    /// Every load starts from a new engine; a failed load leaves none.
    template <typename Load>
    void LoadWith(Load load);

    std::unique_ptr<TZtCifer> FEngine;
};

/// A GOST certificate request: the public key file of a pending key.
class TCipherRequest : public TCustomCertReq {
public:
    std::string GetKeyId(int mode) override { return FCert.GetKeyId(0); }
    ByteString GetText() override { return FCert.GetText(); }
    void SetText(const ByteString& text) override { FCert.LoadFromText(text); }

private:
    TCiferCert FCert;
};

}  // namespace brelo
