#include "openssl/OpenSSLFuncCommon.h"

#include <openssl/err.h>
#include <openssl/evp.h>

namespace brelo::detail {

void CheckResult(bool ok, const std::string& text, const char* step) {
    CheckOpenSSLError(text);
    if (!ok) {
        const std::string what = std::string(step) + " failed";
        EOpenSSLError error("%s", {text.empty() ? what : text + "\r\n" + what});
        if (!text.empty()) {
            error.ContextText = text;
        }
        throw error;
    }
}

const EVP_MD* DigestByName(const std::string& digestName) {
    InitOpenSSL();
    const EVP_MD* md = digestName.empty() ? EVP_sha1() : EVP_get_digestbyname(digestName.c_str());
    if (md == nullptr) {
        ERR_raise_data(ERR_LIB_EVP, EVP_R_UNSUPPORTED_ALGORITHM, "digest %s", digestName.c_str());
    }
    CheckResult(md != nullptr, {}, "EVP_get_digestbyname");
    return md;
}

}  // namespace brelo::detail
