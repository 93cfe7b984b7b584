#pragma once
// The OpenSSL versions of the key, certificate and request model: a password-protected RSA key,
// an X.509 certificate and a certificate request, all in PEM form, and a certificate's subject
// split into named fields.
//
// Passwords are the customer's text (UTF-8); they are turned into the Windows-1251 bytes that
// protect key disks where a key is opened or written (EEncodingError for a character that
// Windows-1251 cannot hold: no key disk can be protected by it).

#include <memory>
#include <string>
#include <vector>

#include "cryptoman/CustomCertificate.h"
#include "cryptoman/CustomKey.h"
#include "openssl/OpenSSLCryptoFunc.h"

namespace brelo {

/// Signing failed: "CentSetSign", line break, "ErrorCrypto", formatted with the cause.
BRELO_EXCEPTION_CLASS(ESignError, Exception);
/// Encrypting or decrypting a short text failed.
BRELO_EXCEPTION_CLASS(ESSLSimpleAssymetricEncryptError, Exception);

class TOpenSSLCert;

/// The Windows-1251 pass-phrase bytes of a customer's password.
SecureString OpenSSLPassPhrase(const SecureString& password);

class TOpenSSLKey : public TCustomKey {
public:
    TOpenSSLKey() = default;
    /// A copy of Stream followed by "\r\n"; Stream is rewound. Nothing is decrypted yet.
    TOpenSSLKey(TStream& stream, const SecureString& password);

    static std::string FileExtension() { return ".key"; }
    static std::string FileName(const std::string& baseName);
    static int TokenEntry() { return 3; }

    void DecryptStream(TStream& inStream, TStream& outStream, TCustomCertificate& cert) override;
    /// PEM, DES-EDE3-CBC under Password; the key then keeps Password (FData is unchanged).
    void SaveEncrypted(TStream& stream, const SecureString& password) override;
    /// Loading new bytes also forgets the key decrypted from the old ones.
    void LoadFromStream(TStream& stream, const SecureString& password) override;
    /// Raises (EZTCryptoError 39-42) unless the password opens the key; the opened key is kept
    /// as ParsedKey.
    void Check() override;
    /// RSA PKCS#1 v1.5 over the MD5 digest.
    ByteString Sign(const void* data, std::size_t size, bool asBase64) override;
    SecureString DecryptText(const ByteString& text, bool isBase64) override;

    /// The key decrypted from FData with the password, made on first use; null for an empty key.
    EVP_PKEY* ParsedKey();

private:
    EvpPKeyPtr FParsedKey;
};

class TOpenSSLDistinguishNames {
public:
    explicit TOpenSSLDistinguishNames(X509_NAME* name);
    void LoadNames(X509_NAME* name);
    /// Known attributes go to their field; any other to Others as "name = value". Values stay
    /// UTF-8 as the program keeps every text.
    void AssignEntry(const std::string& attributeName, const std::string& value);

    std::string CommonName, Country, StateOrProvince, Email, OrganizationalUnit, Organization, Locality;
    std::vector<std::string> Others;
};

class TOpenSSLCert : public TCustomCertificate {
public:
    TOpenSSLCert() = default;
    explicit TOpenSSLCert(TStream& stream);

    static std::string FileExtension() { return ".cer"; }
    static std::string FileName(const std::string& baseName);
    static int TokenEntry() { return 2; }
    static int RequestEntry() { return 6; }

    std::string GetKeyId(int mode) override;
    std::string GetSerialNumber() override { return FSerialNumber; }
    ByteString GetText() override;
    std::string GetVersionText() override { return "V3"; }
    TDateTime GetNotBefore() override;
    TDateTime GetNotAfter() override;
    void LoadFromText(const ByteString& text) override;
    bool VerifyBy(TCustomCertificate& issuer, bool raiseOnFailure) override;
    bool VerifySignature(const void* data, std::size_t size, const ByteString& signature) override;
    ByteString EncryptText(const ByteString& text, bool asBase64) override;
    void EncryptStream(TStream& inStream, TStream& outStream) override;
    void CheckValidity(int warnDays, const std::string& userName) override;
    void LoadFromStream(TStream& stream) override;
    void LoadFromFile(const std::string& fileName) override;
    void SaveToFile(const std::string& fileName) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromData(const ByteString& data) override;

    /// The subject, split up on first use.
    TOpenSSLDistinguishNames& DistinguishedNames();
    /// The locality is "First Certificate" (any case, blanks around it allowed).
    bool IsFirstCertificate();
    X509* X509Cert() const { return FX509.get(); }

private:
    X509Ptr FX509;
    std::string FSerialNumber = "0";
    std::unique_ptr<TOpenSSLDistinguishNames> FNames;
};

class TOpenSSLRequest : public TCustomCertReq {
public:
    TOpenSSLRequest() = default;
    /// A copy of all of Stream.
    explicit TOpenSSLRequest(TStream& stream);

    std::string GetKeyId(int mode) override;
    ByteString GetText() override { return FData.Bytes(); }
    void SetText(const ByteString& text) override;

    /// The request parsed from FData; an assertion failure when it does not parse.
    X509ReqPtr ReadRequest();
    /// Base64 of the PEM text.
    std::string GetEncodedText();

private:
    TMemoryStream FData;
};

/// Sha1Text of the end of the public key's DER form: the RSAPublicKey part (140 bytes for a
/// 1024-bit key with exponent 65537, 270 for 2048 bits, 138 with Mode or another exponent).
std::string PublicKeyId(EVP_PKEY* key, bool mode);
/// A pasted certificate text with any line breaks, as PEM with 64-character lines and CR LF.
std::string NormalizeCertText(const std::string& text);
/// SHA-1 of the bytes as 40 upper-case hexadecimal digits.
std::string Sha1HexText(const ByteString& text);

}  // namespace brelo
