#pragma once
// Public-key objects: certificates and certificate requests of any format.

#include <cstddef>
#include <memory>
#include <string>

#include "core/ByteString.h"
#include "core/Streams.h"

namespace brelo {

/// Days since 30 December 1899, local time, with the fraction of the day.
using TDateTime = double;

/// Anything that carries a public key.
class TCustomPublicKey {
public:
    TCustomPublicKey() = default;
    virtual ~TCustomPublicKey() = default;
    TCustomPublicKey(const TCustomPublicKey&) = delete;
    TCustomPublicKey& operator=(const TCustomPublicKey&) = delete;

    /// Identifier of the public key: Sha1Text of its public part; Mode chooses how much of it.
    virtual std::string GetKeyId(int mode) = 0;
};

class TCustomCertificate;
class TCustomCertReq;

/// The class-level operations of a certificate class.
class TCustomCertificateClass {
public:
    virtual ~TCustomCertificateClass() = default;
    virtual std::string FileExtension() const = 0;
    /// BaseName with its extension replaced by FileExtension.
    virtual std::string FileName(const std::string& baseName) const;
    virtual int TokenEntry() const = 0;
    virtual int RequestEntry() const = 0;
    /// A new, empty certificate (the parameterless constructor).
    virtual std::unique_ptr<TCustomCertificate> Create() const = 0;
};

/// Certificate class of C, taken from C's static FileExtension(), TokenEntry(), RequestEntry().
template <class C>
class TCertificateClassOf final : public TCustomCertificateClass {
public:
    std::string FileExtension() const override { return C::FileExtension(); }
    int TokenEntry() const override { return C::TokenEntry(); }
    int RequestEntry() const override { return C::RequestEntry(); }
    std::unique_ptr<TCustomCertificate> Create() const override { return std::make_unique<C>(); }
};

class TCustomCertificate : public TCustomPublicKey {
public:
    // Virtual operations, continuing those of TCustomPublicKey, in their declaration order.

    virtual std::string GetSerialNumber() = 0;
    /// The certificate in its file form.
    virtual ByteString GetText() = 0;
    virtual std::string GetVersionText() = 0;
    virtual TDateTime GetNotBefore() = 0;
    virtual TDateTime GetNotAfter() = 0;
    /// Loads from the text form, tolerant of line breaks.
    virtual void LoadFromText(const ByteString& text) = 0;
    /// True when Issuer issued and signed this certificate; on failure raises when
    /// RaiseOnFailure, else returns false.
    virtual bool VerifyBy(TCustomCertificate& issuer, bool raiseOnFailure) = 0;
    virtual bool VerifySignature(const void* data, std::size_t size,
                                 const ByteString& signature) = 0;
    /// Public-key encryption of a short text.
    virtual ByteString EncryptText(const ByteString& text, bool asBase64) = 0;
    /// A package addressed to this certificate's owner.
    virtual void EncryptStream(TStream& inStream, TStream& outStream) = 0;
    /// Dates, warning period and owner; raises the certificate-check error classes.
    virtual void CheckValidity(int warnDays, const std::string& userName) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void LoadFromFile(const std::string& fileName) = 0;
    virtual void SaveToFile(const std::string& fileName) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    /// Loads from a byte string holding the file form.
    virtual void LoadFromData(const ByteString& data) = 0;
};

/// The class-level operations of a request class.
class TCustomCertReqClass {
public:
    virtual ~TCustomCertReqClass() = default;
    virtual std::unique_ptr<TCustomCertReq> Create() const = 0;
};

template <class R>
class TCertReqClassOf final : public TCustomCertReqClass {
public:
    std::unique_ptr<TCustomCertReq> Create() const override { return std::make_unique<R>(); }
};

class TCustomCertReq : public TCustomPublicKey {
public:
    /// The request's bytes.
    virtual ByteString GetText() = 0;
    /// Replaces the request's bytes.
    virtual void SetText(const ByteString& text) = 0;
};

/// Cert.VerifySignature over all of Data's bytes.
bool VerifyStreamSignature(TCustomCertificate& cert, const ByteString& signature, TStream& data);
/// Cert.VerifySignature over the bytes of Text.
bool VerifyTextSignature(TCustomCertificate& cert, const ByteString& signature,
                         const ByteString& text);
/// Writes the request's GetText bytes to the file (made writable first), replacing it as a whole.
void SaveRequestToFile(TCustomCertReq& request, const std::string& fileName);

}  // namespace brelo
