// What a built shared library promises and what it really exports, for export checks.
#pragma once

#include <string>
#include <vector>

namespace brelo::test {

/// The names listed under "global:" in a linker version script, in file order. Throws when
/// the file cannot be read.
std::vector<std::string> VersionScriptGlobals(const std::string& path);

/// The dynamic symbols a shared library defines (as nm -D lists them), sorted.
std::vector<std::string> DefinedDynamicSymbols(const std::string& path);

}  // namespace brelo::test
