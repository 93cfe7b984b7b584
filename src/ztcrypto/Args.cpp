#include "ztcrypto/Args.h"

#include <climits>

#include "core/Encoding.h"
#include "core/Format.h"
#include "ztcrypto/Boundary.h"
#include "ztcrypto/Texts.h"

namespace brelo::ztcrypto {

void Require(const void* p, const char* exportName, const char* argName) {
    if (!p) throw EInvalidArgument(Format(ZtText::InvalidArgument, {exportName, argName}));
}

void RequireData(const void* data, std::int32_t length, const char* exportName, const char* argName) {
    if (length < 0 || (!data && length > 0)) {
        throw EInvalidArgument(Format(ZtText::InvalidArgument, {exportName, argName}));
    }
}

std::string Text(const char* text) { return text ? text : ""; }

const EVP_MD* DigestByName(const char* name) {
    if (!name || !*name) return EVP_sha1();
    const EVP_MD* md = EVP_get_digestbyname(name);
    CheckOpenSSLError();
    if (!md) throw EZTCryptoError(Format(ZtText::UnknownDigest, {name}));
    return md;
}

const EVP_CIPHER* CipherByName(const char* name) {
    if (!name || !*name) return EVP_des_ede3_cbc();
    const EVP_CIPHER* cipher = EVP_get_cipherbyname(name);
    CheckOpenSSLError();
    if (!cipher) throw EZTCryptoError(Format(ZtText::UnknownCipher, {name}));
    return cipher;
}

SecureString PemPassword(const char* password) {
    std::string bytes;
    try {
        bytes = Utf8ToCp1251(password ? std::string_view(password) : std::string_view());
    } catch (const EEncodingError&) {
        // The converter's message names the character: it must not reach the caller.
        throw EEncodingError(ZtText::PasswordEncoding);
    }
    SecureString result(bytes);
    WipeString(bytes);
    return result;
}

void RaiseOpenSSL(const std::string& text) {
    CheckOpenSSLError(text);
    // The call failed without a reason in the queue: still a failure, with a text of its own.
    throw EOpenSSLError(text.empty() ? ZtText::OpenSSLFailed : text, {});
}

void RequireCapacity(std::int32_t* size, std::int64_t needed, const char* exportName) {
    if (needed > INT32_MAX) throw EInvalidArgument(Format(ZtText::InvalidArgument, {exportName, "length"}));
    if (*size < needed) {
        *size = static_cast<std::int32_t>(needed);
        throw EBufferTooSmall(exportName, needed);
    }
}

}  // namespace brelo::ztcrypto
