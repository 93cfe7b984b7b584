// What the environment asks the PKCS#11 test module to change. Read on every call, so a
// test may change the variables between two steps of the code under test.
#pragma once

#include <p11-kit/pkcs11.h>

#include <optional>
#include <string>
#include <string_view>

namespace brelo::p11personality {

/// Value of a per-token variable for the token with this label (trailing blanks ignored).
/// The variable holds entries separated by ';': "LABEL=VALUE" for one token, a bare
/// "VALUE" for every token whose label has no entry of its own.
std::optional<std::string> TokenValue(const char* variable, std::string_view label);

/// A CK_RV given as a number (decimal or 0x-hexadecimal) or by its CKR_ name.
std::optional<CK_RV> ParseRv(std::string_view text);

/// A non-negative number given in decimal or 0x-hexadecimal.
std::optional<unsigned long> ParseNumber(std::string_view text);

/// An injected failure: Rv is returned instead of forwarding calls At .. At+Times-1 of Function
/// (Times 0: every call from At on), counted per loaded copy of the module.
struct FailRule {
  std::string function;
  std::string module;  // file name of the copy that fails; empty: every copy
  CK_RV rv = CKR_GENERAL_ERROR;
  unsigned long at = 1;
  unsigned long times = 1;
  std::string key;     // the raw settings; the call count restarts when they change
  bool valid = true;
};

/// The failure the environment asks for, or nothing when BRELO_P11_FAIL_FUNCTION is unset.
std::optional<FailRule> ReadFailRule();

}  // namespace brelo::p11personality
