// Keys and signatures.

#include <openssl/err.h>
#include <openssl/pem.h>

#include <cstring>

#include "core/ByteString.h"
#include "ztcrypto/Export.h"
#include "ztcrypto/KeyPath.h"

using namespace brelo;
using namespace brelo::ztcrypto;

namespace {

constexpr std::uint32_t DigestMagic = 0x5A544443;  // "ZTDC"
enum DigestKind : std::uint32_t { Signing = 1, Verifying = 2 };

/// Hands the password to OpenSSL; one longer than OpenSSL's buffer is refused, never cut.
int PasswordCallback(char* buffer, int size, int, void* user) {
    const auto& password = *static_cast<const SecureString*>(user);
    if (size < 0 || password.size() > static_cast<std::size_t>(size)) return -1;
    std::memcpy(buffer, password.data(), password.size());
    return static_cast<int>(password.size());
}

const EVP_PKEY* KeyOf(const ZtKey* key, const char* exportName, const char* argName = "key") {
    return Lookup<ZtKey>(key, exportName, argName).Key.get();
}

/// True when the queue says only that no decoder found a key: nothing queued, or the one
/// "unsupported" entry of OpenSSL 3's decoders.
bool NoKeyBlock() {
    const unsigned long first = ERR_peek_error();
    if (first == 0) return true;
    return ERR_GET_LIB(first) == ERR_LIB_OSSL_DECODER && ERR_GET_REASON(first) == ERR_R_UNSUPPORTED &&
           ERR_peek_last_error() == first;
}

/// Starts a run in the caller's context, replacing a live state it still holds.
void StartDigest(ZtDigestContext* context, DigestKind kind, const EVP_MD* md) {
    if (context->magic == DigestMagic && IsLive(context->state, HandleKind::Digest)) {
        ReleaseHandle(context->state, HandleKind::Digest, "digest");
    }
    *context = ZtDigestContext{};
    EvpMdCtxPtr ctx(Made(EVP_MD_CTX_new()));
    EVP_DigestInit_ex(ctx.get(), md, nullptr);
    CheckOpenSSLError();
    context->state = Adopt(std::make_unique<TDigestState>(std::move(ctx)));
    context->kind = kind;
    context->magic = DigestMagic;
}

EVP_MD_CTX* RunningDigest(ZtDigestContext* context, DigestKind kind, const char* exportName) {
    Require(context, exportName, "context");
    if (context->magic != DigestMagic || context->kind != kind) {
        throw EInvalidHandle(Format(ZtText::InvalidHandle, {exportName, "context"}));
    }
    return Lookup<TDigestState>(context->state, exportName, "context").Ctx.get();
}

/// Ends the run: the state goes whatever the outcome of Body.
template <typename Body>
void FinishDigest(ZtDigestContext* context, Body&& body) {
    struct Release {
        ZtDigestContext* c;
        ~Release() {
            if (IsLive(c->state, HandleKind::Digest)) ReleaseHandle(c->state, HandleKind::Digest, "digest");
            *c = ZtDigestContext{};
        }
    } release{context};
    body();
}

/// R of a verification: 1 matches, 0 does not; a negative R is OpenSSL's failure.
int VerifyResult(int r) {
    if (r > 0) return 1;
    if (r == 0) {
        ERR_clear_error();  // a mismatch is an answer, not a failure
        return 0;
    }
    RaiseOpenSSL(ZtText::OnTestingSign);
}

}  // namespace

ZT_EXPORT int LoadPrivateKey(const char* keyPath, const char* password, int format, ZtKey** key) {
    return Guard("LoadPrivateKey", [&] {
        Require(keyPath, "LoadPrivateKey", "keyPath");
        Require(key, "LoadPrivateKey", "key");
        const std::string file = FindKeyFile(KeyPathToFileName(keyPath, ".key"), KeyDisks());
        if (file.empty()) throw Exception(Format(ZtText::InsertKeyDisk, {keyPath}));
        if (format != ZT_FORMAT_PEM) {
            *key = nullptr;
            return;
        }
        SecureString secret = PemPassword(password);
        BioPtr bio(Made(BIO_new_file(file.c_str(), "rb")));
        EvpPKeyPtr pkey(PEM_read_bio_PrivateKey(bio.get(), nullptr, PasswordCallback, &secret));
        if (!pkey && NoKeyBlock()) {
            // OpenSSL 3's decoders report a file without any key block in their own terms.
            ERR_clear_error();
            ERR_raise(ERR_LIB_PEM, PEM_R_NO_START_LINE);
        }
        CheckOpenSSLError();
        if (!pkey) RaiseOpenSSL();
        *key = Adopt(std::make_unique<ZtKey>(std::move(pkey)));
    });
}

ZT_EXPORT int FreeKey(ZtKey* key) {
    return Guard("FreeKey", [&] { ReleaseHandle(key, HandleKind::Key, "FreeKey"); });
}

ZT_EXPORT int GetKeySize(const ZtKey* key, int32_t* size) {
    return Guard("GetKeySize", [&] {
        const EVP_PKEY* pkey = KeyOf(key, "GetKeySize");
        Require(size, "GetKeySize", "size");
        *size = EVP_PKEY_get_size(pkey);
    });
}

ZT_EXPORT int SignData(const ZtKey* key, const char* digestName, const void* data, int32_t dataLength,
                       void* signature, int32_t* signatureLength) {
    return Guard("SignData", [&] {
        EVP_PKEY* pkey = const_cast<EVP_PKEY*>(KeyOf(key, "SignData"));
        Require(signatureLength, "SignData", "signatureLength");
        const int size = EVP_PKEY_get_size(pkey);
        if (!data) {
            *signatureLength = size;
            return;
        }
        RequireData(data, dataLength, "SignData", "dataLength");
        Require(signature, "SignData", "signature");
        RequireCapacity(signatureLength, size, "SignData");
        const EVP_MD* md = DigestByName(digestName);
        EvpMdCtxPtr ctx(Made(EVP_MD_CTX_new()));
        EVP_SignInit_ex(ctx.get(), md, nullptr);
        CheckOpenSSLError();
        EVP_SignUpdate(ctx.get(), data, static_cast<size_t>(dataLength));
        CheckOpenSSLError();
        unsigned int length = 0;
        if (EVP_SignFinal(ctx.get(), static_cast<unsigned char*>(signature), &length, pkey) != 1) {
            RaiseOpenSSL(ZtText::CalcUserSig);
        }
        *signatureLength = static_cast<int32_t>(length);
    });
}

ZT_EXPORT int VerifySignature(const ZtKey* key, const char* digestName, const void* data, int32_t dataLength,
                              const void* signature, int32_t signatureLength, int* valid) {
    return Guard("VerifySignature", [&] {
        EVP_PKEY* pkey = const_cast<EVP_PKEY*>(KeyOf(key, "VerifySignature"));
        RequireData(data, dataLength, "VerifySignature", "dataLength");
        RequireData(signature, signatureLength, "VerifySignature", "signatureLength");
        Require(valid, "VerifySignature", "valid");
        const EVP_MD* md = DigestByName(digestName);
        EvpMdCtxPtr ctx(Made(EVP_MD_CTX_new()));
        EVP_VerifyInit_ex(ctx.get(), md, nullptr);
        CheckOpenSSLError();
        EVP_VerifyUpdate(ctx.get(), data, static_cast<size_t>(dataLength));
        CheckOpenSSLError();
        *valid = VerifyResult(EVP_VerifyFinal(ctx.get(), static_cast<const unsigned char*>(signature),
                                              static_cast<unsigned int>(signatureLength), pkey));
    });
}

ZT_EXPORT int InitSignDataEx(const ZtKey* key, const char* digestName, int32_t* signatureSize,
                             ZtDigestContext* context) {
    return Guard("InitSignDataEx", [&] {
        const EVP_PKEY* pkey = KeyOf(key, "InitSignDataEx");
        Require(signatureSize, "InitSignDataEx", "signatureSize");
        Require(context, "InitSignDataEx", "context");
        StartDigest(context, Signing, DigestByName(digestName));
        *signatureSize = EVP_PKEY_get_size(pkey);
    });
}

ZT_EXPORT int SignDataEx(ZtDigestContext* context, const void* data, int32_t dataLength) {
    return Guard("SignDataEx", [&] {
        EVP_MD_CTX* ctx = RunningDigest(context, Signing, "SignDataEx");
        RequireData(data, dataLength, "SignDataEx", "dataLength");
        if (EVP_SignUpdate(ctx, data, static_cast<size_t>(dataLength)) != 1) {
            FinishDigest(context, [] { RaiseOpenSSL(); });
        }
    });
}

ZT_EXPORT int DoneSignDataEx(ZtDigestContext* context, const ZtKey* key, int32_t* signatureLength,
                             void* signature) {
    return Guard("DoneSignDataEx", [&] {
        EVP_MD_CTX* ctx = RunningDigest(context, Signing, "DoneSignDataEx");
        EVP_PKEY* pkey = const_cast<EVP_PKEY*>(KeyOf(key, "DoneSignDataEx"));
        Require(signatureLength, "DoneSignDataEx", "signatureLength");
        Require(signature, "DoneSignDataEx", "signature");
        RequireCapacity(signatureLength, EVP_PKEY_get_size(pkey), "DoneSignDataEx");
        FinishDigest(context, [&] {
            unsigned int length = 0;
            if (EVP_SignFinal(ctx, static_cast<unsigned char*>(signature), &length, pkey) != 1) {
                RaiseOpenSSL(ZtText::CalcUserSig);
            }
            *signatureLength = static_cast<int32_t>(length);
        });
    });
}

ZT_EXPORT int InitVerifySignEx(const char* digestName, ZtDigestContext* context) {
    return Guard("InitVerifySignEx", [&] {
        Require(context, "InitVerifySignEx", "context");
        StartDigest(context, Verifying, DigestByName(digestName));
    });
}

ZT_EXPORT int UpdateVerifySignEx(ZtDigestContext* context, int32_t, const void* data, int32_t dataLength) {
    return Guard("UpdateVerifySignEx", [&] {
        EVP_MD_CTX* ctx = RunningDigest(context, Verifying, "UpdateVerifySignEx");
        RequireData(data, dataLength, "UpdateVerifySignEx", "dataLength");
        if (EVP_VerifyUpdate(ctx, data, static_cast<size_t>(dataLength)) != 1) {
            FinishDigest(context, [] { RaiseOpenSSL(); });
        }
    });
}

ZT_EXPORT int DoneVerifySignEx(ZtDigestContext* context, const ZtKey* key, const void* signature,
                               int32_t signatureLength, int* valid) {
    return Guard("DoneVerifySignEx", [&] {
        EVP_MD_CTX* ctx = RunningDigest(context, Verifying, "DoneVerifySignEx");
        EVP_PKEY* pkey = const_cast<EVP_PKEY*>(KeyOf(key, "DoneVerifySignEx"));
        RequireData(signature, signatureLength, "DoneVerifySignEx", "signatureLength");
        Require(valid, "DoneVerifySignEx", "valid");
        FinishDigest(context, [&] {
            *valid = VerifyResult(EVP_VerifyFinal(ctx, static_cast<const unsigned char*>(signature),
                                                  static_cast<unsigned int>(signatureLength), pkey));
        });
    });
}
