// Key generation, requests and certificate issuing.

#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <climits>
#include <cmath>
#include <ctime>

#include "ztcrypto/CallbackStream.h"
#include "ztcrypto/Export.h"

using namespace brelo;
using namespace brelo::ztcrypto;

namespace {

constexpr std::int32_t MinKeyBits = 512, MaxKeyBits = 16384;
constexpr std::int64_t SecondsPerDay = 86400;

struct TProgress {
    ZtKeyGenCallback Callback;
    void* Arg;
};

int Progress(EVP_PKEY_CTX* ctx) {
    auto* progress = static_cast<TProgress*>(EVP_PKEY_CTX_get_app_data(ctx));
    progress->Callback(EVP_PKEY_CTX_get_keygen_info(ctx, 0), EVP_PKEY_CTX_get_keygen_info(ctx, 1), progress->Arg);
    return 1;
}

X509_REQ* RequestOf(const ZtRequest* request, const char* exportName) {
    return Lookup<ZtRequest>(request, exportName, "request").Request.get();
}

/// The steps SignRequest and SignRequest2 share; Validity sets the two times.
template <typename Validity>
ZtCert* Issue(const char* exportName, const ZtRequest* request, std::int32_t serial, const ZtCert* issuer,
              const ZtKey* issuerKey, const char* digestName, ZtCert** cert, Validity&& validity) {
    X509_REQ* req = RequestOf(request, exportName);
    X509* ca = issuer ? Lookup<ZtCert>(issuer, exportName, "issuer").Cert.get() : nullptr;
    EVP_PKEY* key = Lookup<ZtKey>(issuerKey, exportName, "issuerKey").Key.get();
    Require(cert, exportName, "cert");
    if (ca && X509_check_private_key(ca, key) != 1) {
        CheckOpenSSLError();
        throw EZTCryptoError(ZtText::KeyMismatch);
    }
    X509Ptr x(Made(X509_new()));
    X509_set_version(x.get(), X509_VERSION_3);
    CheckOpenSSLError();
    Asn1IntegerPtr number(Made(ASN1_INTEGER_new()));
    ASN1_INTEGER_set(number.get(), serial);
    X509_set_serialNumber(x.get(), number.get());
    CheckOpenSSLError();
    X509_set_issuer_name(x.get(), ca ? X509_get_subject_name(ca) : X509_REQ_get_subject_name(req));
    CheckOpenSSLError();
    validity(x.get());
    X509_set_subject_name(x.get(), X509_REQ_get_subject_name(req));
    CheckOpenSSLError();
    EVP_PKEY* pub = X509_REQ_get0_pubkey(req);
    if (!pub) RaiseOpenSSL(ZtText::OnReadOpenKey);
    if (X509_REQ_verify(req, pub) != 1) RaiseOpenSSL(ZtText::OnCheckSigOnReq);
    X509_set_pubkey(x.get(), pub);
    CheckOpenSSLError();
    const EVP_MD* md = DigestByName(digestName);
    if (X509_sign(x.get(), key, md) <= 0) RaiseOpenSSL();
    return Adopt(std::make_unique<ZtCert>(std::move(x)));
}

void SetTime(ASN1_TIME* t, std::int64_t seconds, std::time_t now) {
    if (!X509_time_adj_ex(t, 0, static_cast<long>(seconds), &now)) RaiseOpenSSL();
}

/// Now as the Windows system's local date-time: days since 30 December 1899.
double LocalNow(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<double>(now + local.tm_gmtoff) / SecondsPerDay + 25569.0;
}

}  // namespace

ZT_EXPORT int GenerateKey(int32_t bits, ZtKeyGenCallback callback, void* callbackArg, ZtKey** key) {
    return Guard("GenerateKey", [&] {
        if (bits < MinKeyBits || bits > MaxKeyBits) {
            throw EInvalidArgument(Format(ZtText::InvalidArgument, {"GenerateKey", "bits"}));
        }
        Require(key, "GenerateKey", "key");
        EvpPKeyCtxPtr ctx(Made(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr)));
        TProgress progress{callback, callbackArg};
        if (EVP_PKEY_keygen_init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) <= 0) {
            RaiseOpenSSL();
        }
        if (callback) {
            EVP_PKEY_CTX_set_app_data(ctx.get(), &progress);
            EVP_PKEY_CTX_set_cb(ctx.get(), Progress);
        }
        EVP_PKEY* made = nullptr;
        if (EVP_PKEY_keygen(ctx.get(), &made) <= 0) RaiseOpenSSL();
        EvpPKeyPtr pkey(made);
        *key = Adopt(std::make_unique<ZtKey>(std::move(pkey)));
    });
}

ZT_EXPORT int SaveKey(const ZtKey* key, const ZtStream* stream, const char* cipherName, const char* password,
                      int32_t) {
    return Guard("SaveKey", [&] {
        EVP_PKEY* pkey = Lookup<ZtKey>(key, "SaveKey", "key").Key.get();
        TCallbackStream target(stream, "SaveKey", "stream");
        const EVP_CIPHER* cipher = CipherByName(cipherName);
        SecureString secret = PemPassword(password);
        BioPtr bio = NewStreamBIO(target);
        const int written = PEM_write_bio_PrivateKey_traditional(
            bio.get(), pkey, cipher, reinterpret_cast<unsigned char*>(secret.data()),
            static_cast<int>(secret.size()), nullptr, nullptr);
        target.Check();
        if (!written) RaiseOpenSSL();
    });
}

ZT_EXPORT int CreateCertRequest(const ZtKey* key, const ZtName* name, const char* digestName,
                                ZtRequest** request) {
    return Guard("CreateCertRequest", [&] {
        EVP_PKEY* pkey = Lookup<ZtKey>(key, "CreateCertRequest", "key").Key.get();
        X509_NAME* subject = LookupAnyName(name, "CreateCertRequest", "name").Name;
        Require(request, "CreateCertRequest", "request");
        X509ReqPtr req(Made(X509_REQ_new()));
        X509_REQ_set_version(req.get(), X509_REQ_VERSION_1);
        CheckOpenSSLError();
        X509_REQ_set_pubkey(req.get(), pkey);
        CheckOpenSSLError();
        X509_REQ_set_subject_name(req.get(), subject);
        CheckOpenSSLError();
        const EVP_MD* md = DigestByName(digestName);
        if (X509_REQ_sign(req.get(), pkey, md) <= 0) RaiseOpenSSL();
        *request = Adopt(std::make_unique<ZtRequest>(std::move(req)));
    });
}

ZT_EXPORT int FreeCertRequest(ZtRequest* request) {
    return Guard("FreeCertRequest", [&] { ReleaseHandle(request, HandleKind::Request, "FreeCertRequest"); });
}

ZT_EXPORT int SaveCertRequest(const ZtRequest* request, const ZtStream* stream) {
    return Guard("SaveCertRequest", [&] {
        X509_REQ* req = RequestOf(request, "SaveCertRequest");
        TCallbackStream target(stream, "SaveCertRequest", "stream");
        BioPtr bio = NewStreamBIO(target);
        const int written = PEM_write_bio_X509_REQ(bio.get(), req);
        target.Check();
        if (!written) RaiseOpenSSL();
    });
}

ZT_EXPORT int LoadCertRequest(const ZtStream* stream, ZtRequest** request) {
    return Guard("LoadCertRequest", [&] {
        TCallbackStream source(stream, "LoadCertRequest", "stream");
        Require(request, "LoadCertRequest", "request");
        X509ReqPtr req;
        {
            TBufferedSource bio(source);
            req.reset(PEM_read_bio_X509_REQ(bio.Bio(), nullptr, nullptr, nullptr));
        }
        source.Check();
        if (!req) RaiseOpenSSL();
        *request = Adopt(std::make_unique<ZtRequest>(std::move(req)));
    });
}

ZT_EXPORT int GetCertRequestSubject(const ZtRequest* request, const ZtName** name) {
    return Guard("GetCertRequestSubject", [&] {
        ZtRequest& r = Lookup<ZtRequest>(request, "GetCertRequestSubject", "request");
        Require(name, "GetCertRequestSubject", "name");
        *name = BorrowSubject(r.Subject, X509_REQ_get_subject_name(r.Request.get()));
    });
}

ZT_EXPORT int SignRequest(const ZtRequest* request, int32_t serial, int32_t days, const ZtCert* issuer,
                          const ZtKey* issuerKey, const char* digestName, ZtCert** cert) {
    return Guard("SignRequest", [&] {
        // Days x 86400 must fit in 32 bits, as it did for the Windows system.
        if (days < 0 || days > INT32_MAX / SecondsPerDay) throw EZTCryptoError(ZtText::DaysTooLarge);
        *cert = Issue("SignRequest", request, serial, issuer, issuerKey, digestName, cert, [&](X509* x) {
            const std::time_t now = std::time(nullptr);
            SetTime(X509_getm_notBefore(x), 0, now);
            SetTime(X509_getm_notAfter(x), days * SecondsPerDay, now);
        });
    });
}

ZT_EXPORT int SignRequest2(const ZtRequest* request, int32_t serial, int32_t days, double startDate,
                           const ZtCert* issuer, const ZtKey* issuerKey, const char* digestName, ZtCert** cert) {
    return Guard("SignRequest2", [&] {
        const std::time_t now = std::time(nullptr);
        const double span = (startDate - LocalNow(now)) * SecondsPerDay;
        if (!std::isfinite(span) || span <= INT32_MIN || span >= INT32_MAX) {
            throw EInvalidArgument(Format(ZtText::InvalidArgument, {"SignRequest2", "startDate"}));
        }
        const auto offset = static_cast<std::int64_t>(std::trunc(span));
        const std::int64_t end = offset + static_cast<std::int64_t>(days) * SecondsPerDay;
        if (days < 0 || end < 0 || end > INT32_MAX) throw EZTCryptoError(ZtText::DaysTooLarge);
        *cert = Issue("SignRequest2", request, serial, issuer, issuerKey, digestName, cert, [&](X509* x) {
            SetTime(X509_getm_notBefore(x), offset, now);
            SetTime(X509_getm_notAfter(x), end, now);
        });
    });
}
