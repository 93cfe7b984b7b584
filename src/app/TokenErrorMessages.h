#pragma once
// Sentences the customer reads in place of the bare PKCS#11 return-code names that token
// failures carry.

#include <string>
#include <string_view>

namespace brelo {

/// Text trimmed of spaces and control characters; when it is exactly (case-sensitively) one
/// of the known return-code names, that name's sentence instead ("CKR_PIN_INCORRECT" gets the
/// login appended). Every other text comes back trimmed and otherwise unchanged.
std::string TranslateTokenError(std::string_view Text, std::string_view Login);

}  // namespace brelo
