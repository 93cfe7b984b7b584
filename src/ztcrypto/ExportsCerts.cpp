// Certificates.

#include <openssl/pem.h>

#include <climits>

#include "ztcrypto/CallbackStream.h"
#include "ztcrypto/Export.h"
#include "ztcrypto/KeyPath.h"

using namespace brelo;
using namespace brelo::ztcrypto;

namespace {

X509* CertOf(const ZtCert* cert, const char* exportName, const char* argName = "cert") {
    return Lookup<ZtCert>(cert, exportName, argName).Cert.get();
}

/// Reads a certificate in the format from Bio; other formats read nothing.
X509Ptr ReadCert(BIO* bio, int format) {
    X509Ptr cert;
    if (format == ZT_FORMAT_PEM) cert.reset(PEM_read_bio_X509(bio, nullptr, nullptr, nullptr));
    if (format == ZT_FORMAT_DER) cert.reset(d2i_X509_bio(bio, nullptr));
    CheckOpenSSLError(ZtText::OnReadCert);
    if (!cert && (format == ZT_FORMAT_PEM || format == ZT_FORMAT_DER)) RaiseOpenSSL(ZtText::OnReadCert);
    return cert;
}

ZtCert* Hand(X509Ptr cert) { return cert ? Adopt(std::make_unique<ZtCert>(std::move(cert))) : nullptr; }

void Verify(X509* cert, X509* issuer) {
    if (X509_NAME_cmp(X509_get_issuer_name(cert), X509_get_subject_name(issuer)) != 0) {
        throw EVerifyCertException(ZtText::UnknownCertCenter, 1);
    }
    EVP_PKEY* key = X509_get0_pubkey(issuer);
    CheckOpenSSLError(ZtText::OnCheckValidCert);
    if (!key || X509_verify(cert, key) != 1) RaiseOpenSSL(ZtText::OnCheckValidCert);
    if (X509_cmp_current_time(X509_get0_notBefore(cert)) >= 0) {
        throw ECertInvalidPeriod(ZtText::CertNotStarted, 2);
    }
    if (X509_cmp_current_time(X509_get0_notAfter(cert)) <= 0) {
        throw ECertInvalidPeriod(ZtText::CertExpired, 3);
    }
}

ZtKey* PublicKeyOf(X509* cert) {
    EvpPKeyPtr key(X509_get_pubkey(cert));
    CheckOpenSSLError();
    if (!key) RaiseOpenSSL();
    return Adopt(std::make_unique<ZtKey>(std::move(key)));
}

}  // namespace

ZT_EXPORT int LoadCert(const char* keyPath, int format, ZtCert** cert) {
    return Guard("LoadCert", [&] {
        Require(keyPath, "LoadCert", "keyPath");
        Require(cert, "LoadCert", "cert");
        const std::string file = FindKeyFile(KeyPathToFileName(keyPath, ".cer"), KeyDisks());
        if (file.empty()) throw EZTCryptoError(Format(ZtText::InsertKeyDisk, {keyPath}));
        BioPtr bio(Made(BIO_new_file(file.c_str(), "rb")));
        *cert = Hand(ReadCert(bio.get(), format));
    });
}

ZT_EXPORT int LoadCertFromStream(const ZtStream* stream, int format, ZtCert** cert) {
    return Guard("LoadCertFromStream", [&] {
        TCallbackStream source(stream, "LoadCertFromStream", "stream");
        Require(cert, "LoadCertFromStream", "cert");
        X509Ptr read;
        try {
            TBufferedSource bio(source);
            read = ReadCert(bio.Bio(), format);
        } catch (...) {
            source.Check();  // a failing stream explains the failure better
            throw;
        }
        source.Check();
        *cert = Hand(std::move(read));
    });
}

ZT_EXPORT int FreeCert(ZtCert* cert) {
    return Guard("FreeCert", [&] { ReleaseHandle(cert, HandleKind::Cert, "FreeCert"); });
}

ZT_EXPORT int VerifyCert(const ZtCert* cert, const ZtCert* issuer) {
    return Guard("VerifyCert", [&] { Verify(CertOf(cert, "VerifyCert"), CertOf(issuer, "VerifyCert", "issuer")); });
}

ZT_EXPORT int GetTrustedPublicKey(const ZtCert* cert, const ZtCert* issuer, ZtKey** key) {
    return Guard("GetTrustedPublicKey", [&] {
        X509* x = CertOf(cert, "GetTrustedPublicKey");
        X509* ca = CertOf(issuer, "GetTrustedPublicKey", "issuer");
        Require(key, "GetTrustedPublicKey", "key");
        Verify(x, ca);
        *key = PublicKeyOf(x);
    });
}

ZT_EXPORT int GetPublicKey(const ZtCert* cert, ZtKey** key) {
    return Guard("GetPublicKey", [&] {
        X509* x = CertOf(cert, "GetPublicKey");
        Require(key, "GetPublicKey", "key");
        *key = PublicKeyOf(x);
    });
}

ZT_EXPORT int SaveCertToStream(const ZtCert* cert, const ZtStream* stream, int format) {
    return Guard("SaveCertToStream", [&] {
        X509* x = CertOf(cert, "SaveCertToStream");
        TCallbackStream target(stream, "SaveCertToStream", "stream");
        BioPtr bio = NewStreamBIO(target);
        // A write that fails shows as a failed stream; OpenSSL's own result says no more.
        if (format == ZT_FORMAT_PEM) PEM_write_bio_X509(bio.get(), x);
        if (format == ZT_FORMAT_DER) i2d_X509_bio(bio.get(), x);
        target.Check();
    });
}

ZT_EXPORT int GetCertSubject(const ZtCert* cert, const ZtName** name) {
    return Guard("GetCertSubject", [&] {
        ZtCert& c = Lookup<ZtCert>(cert, "GetCertSubject", "cert");
        Require(name, "GetCertSubject", "name");
        *name = BorrowSubject(c.Subject, X509_get_subject_name(c.Cert.get()));
    });
}

ZT_EXPORT int GetCertSerialNumber(const ZtCert* cert, int32_t* serial) {
    return Guard("GetCertSerialNumber", [&] {
        X509* x = CertOf(cert, "GetCertSerialNumber");
        Require(serial, "GetCertSerialNumber", "serial");
        std::int64_t value = 0;
        const ASN1_INTEGER* number = X509_get0_serialNumber(x);
        CheckOpenSSLError();
        if (!number || ASN1_INTEGER_get_int64(&value, number) != 1 || value < INT32_MIN || value > INT32_MAX) {
            ERR_clear_error();
            throw EZTCryptoError(ZtText::SerialTooLarge);
        }
        *serial = static_cast<int32_t>(value);
    });
}

ZT_EXPORT int CheckCertMatchesKey(const ZtCert* cert, const ZtKey* key, int* matches) {
    return Guard("CheckCertMatchesKey", [&] {
        X509* x = CertOf(cert, "CheckCertMatchesKey");
        EVP_PKEY* pkey = Lookup<ZtKey>(key, "CheckCertMatchesKey", "key").Key.get();
        Require(matches, "CheckCertMatchesKey", "matches");
        // A mismatch is an answer: OpenSSL's reason for it is not a failure.
        *matches = X509_check_private_key(x, pkey) == 1 ? 1 : 0;
        ERR_clear_error();
    });
}
