#pragma once
// Small text helpers with the runtime's rules (ASCII case, spaces and control characters).

#include <string>
#include <string_view>

namespace brelo {

/// Removes leading and trailing spaces and control characters (bytes up to 32).
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);
/// ASCII-only case mapping; other bytes are left as they are.
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
/// Compares ASCII letters without regard to case.
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view text);

}  // namespace brelo
