#include <openssl/evp.h>

#include "core/Messages.h"
#include "openssl/OpenSSLCryptoFunc.h"
#include "openssl/OpenSSLFuncCommon.h"

namespace brelo {

using detail::CheckResult;
using detail::DigestByName;

void SslSignData(EVP_PKEY* key, const std::string& digestName, const void* data, int& signatureLength,
                 void* signatureBuffer, std::int64_t dataLength) {
    Assert(key != nullptr, "SslSignData: no key");
    const int capacity = signatureLength;
    signatureLength = SslKeySize(key);
    if (data == nullptr) {
        return;
    }
    // A buffer below the key size would be overrun by OpenSSL; refuse it instead.
    Assert(signatureBuffer != nullptr && capacity >= signatureLength && dataLength >= 0,
           "SslSignData: signature buffer smaller than the key size");
    ClearOpenSSLErrors();
    const EVP_MD* md = DigestByName(digestName);
    EvpMdCtxPtr context(EVP_MD_CTX_new());
    CheckResult(context != nullptr, {}, "EVP_MD_CTX_new");
    CheckResult(EVP_SignInit_ex(context.get(), md, nullptr) != 0, {}, "EVP_SignInit");
    CheckResult(EVP_SignUpdate(context.get(), data, static_cast<std::size_t>(dataLength)) != 0, {}, "EVP_SignUpdate");
    unsigned int length = 0;
    const int ok = EVP_SignFinal(context.get(), static_cast<unsigned char*>(signatureBuffer), &length, key);
    CheckResult(ok != 0, GetMessageText("CalcUserSig"), "EVP_SignFinal");
    signatureLength = static_cast<int>(length);
}

bool SslVerifyData(EVP_PKEY* key, const std::string& digestName, const void* data, std::int64_t dataLength,
                   const void* signature, int signatureLength) {
    Assert(key != nullptr, "SslVerifyData: no key");
    Assert((data != nullptr || dataLength == 0) && dataLength >= 0 && signatureLength >= 0 &&
               (signature != nullptr || signatureLength == 0),
           "SslVerifyData: bad buffers");
    ClearOpenSSLErrors();
    const EVP_MD* md = DigestByName(digestName);
    EvpMdCtxPtr context(EVP_MD_CTX_new());
    CheckResult(context != nullptr, {}, "EVP_MD_CTX_new");
    CheckResult(EVP_VerifyInit_ex(context.get(), md, nullptr) != 0, {}, "EVP_VerifyInit");
    CheckResult(EVP_VerifyUpdate(context.get(), data, static_cast<std::size_t>(dataLength)) != 0, {},
                "EVP_VerifyUpdate");
    const int result = EVP_VerifyFinal(context.get(), static_cast<const unsigned char*>(signature),
                                       static_cast<unsigned int>(signatureLength), key);
    CheckOpenSSLError(GetMessageText("OnTestingSignError"));
    return result > 0;
}

}  // namespace brelo
