#pragma once
// Helpers shared by the files of the crypto functions (not part of the public interface).

#include <string>

#include <openssl/evp.h>

#include "openssl/OpenSSLHelp.h"

namespace brelo::detail {

/// CheckOpenSSLError(Text); then, when the call still reports failure although OpenSSL queued
/// nothing, an EOpenSSLError naming Step, so a failure never passes as success.
void CheckResult(bool ok, const std::string& text, const char* step);

/// The digest for a name; the empty name is SHA-1. An unknown name is an EOpenSSLError.
const EVP_MD* DigestByName(const std::string& digestName);

}  // namespace brelo::detail
