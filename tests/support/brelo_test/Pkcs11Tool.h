// The customer's data object written and read by an independent PKCS#11 client
// (pkcs11-tool, Debian opensc): a private token object of class CKO_DATA with
// application "Brelo" and label "BreloKeys".
#pragma once

#include <filesystem>
#include <string>

namespace brelo::test {

/// Creates the data object with these value bytes on the token with this label.
void WriteKeysObject(const std::filesystem::path& module, const std::string& tokenLabel,
                     const std::string& pin, const std::string& value);

/// The value bytes of the data object on the token with this label; throws when absent.
std::string ReadKeysObject(const std::filesystem::path& module, const std::string& tokenLabel,
                           const std::string& pin);

}  // namespace brelo::test
