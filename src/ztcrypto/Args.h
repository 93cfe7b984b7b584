#pragma once
// Checks and conversions of the arguments every family shares.

#include <openssl/evp.h>

#include <cstdint>
#include <string>

#include "core/ByteString.h"

namespace brelo::ztcrypto {

/// A required pointer (EInvalidArgument naming it when null).
void Require(const void* p, const char* exportName, const char* argName);
/// A length that is not negative; data may be null only for length 0.
void RequireData(const void* data, std::int32_t length, const char* exportName, const char* argName);
/// A text argument; null reads as empty.
std::string Text(const char* text);
/// SHA-1 for the empty name, else the named digest; an unknown name is a failure.
const EVP_MD* DigestByName(const char* name);
/// Triple-DES CBC for the empty name, else the named cipher; an unknown name is a failure.
const EVP_CIPHER* CipherByName(const char* name);
/// A UTF-8 password as the Windows-1251 bytes that protect PEM keys.
SecureString PemPassword(const char* password);
/// Raises the queued OpenSSL failure with Text; a failing call that queued nothing still fails.
[[noreturn]] void RaiseOpenSSL(const std::string& text = {});
/// P, or the failure that left it null.
template <typename P>
P Made(P p) {
    if (!p) RaiseOpenSSL();
    return p;
}
/// Capacity check of an in/out length: EBufferTooSmall with *Size = Needed when short.
void RequireCapacity(std::int32_t* size, std::int64_t needed, const char* exportName);

}  // namespace brelo::ztcrypto
