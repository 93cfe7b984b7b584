#pragma once
// Conversions between the program's UTF-8 texts and the byte forms the Windows system used.

#include <string>
#include <string_view>

namespace brelo {

/// UTF-8 to Windows-1251. A character that Windows-1251 cannot hold (or bytes that are not
/// UTF-8) raises EEncodingError giving its place
/// (never the character: the text may be a password); nothing is ever replaced.
std::string Utf8ToCp1251(std::string_view utf8);
/// Windows-1251 to UTF-8 (every byte has a meaning except 0x98, which is refused).
std::string Cp1251ToUtf8(std::string_view cp1251);
/// UTF-8 to UTF-16 little endian, as the Windows system hashed wide texts.
std::string Utf8ToUtf16LE(std::string_view utf8);

}  // namespace brelo
