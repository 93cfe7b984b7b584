// Texts for the library's result codes.
#pragma once

#include <cstdint>
#include <string>

namespace brelo::nkicnt {

/// The text for Code: Russian for language 1049, English for any other.
std::string ErrorMessage(uint32_t code, uint32_t language);

/// Copies Text into a buffer of Size bytes with its terminating zero, cutting it at a
/// character boundary of UTF-8 when it does not fit.
void CopyText(const std::string& text, char* buffer, size_t size);

}  // namespace brelo::nkicnt
