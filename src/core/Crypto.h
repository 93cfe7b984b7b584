#pragma once
// Digests and Base64 for the core and the formats; the work is OpenSSL's.

#include <string>
#include <string_view>

namespace brelo {

/// Base64 (RFC 2045 alphabet, "=" fill, no line breaks).
std::string Base64Encode(std::string_view bytes);
/// Decodes Base64 without line breaks; returns false for a length that is not a multiple of
/// four or a character outside the alphabet.
bool Base64Decode(std::string_view text, std::string& bytes);

std::string Md5(std::string_view bytes);   ///< 16 raw bytes
std::string Sha1(std::string_view bytes);  ///< 20 raw bytes
/// Lower-case hexadecimal of bytes.
std::string HexLower(std::string_view bytes);

}  // namespace brelo
