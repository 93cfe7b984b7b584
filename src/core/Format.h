#pragma once
// The runtime's text formatting as the system's format strings use it.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace brelo {

/// One argument of Format: a text or an integer.
class FormatArg {
public:
    FormatArg(std::string_view text) : FValue(std::string(text)) {}
    FormatArg(const std::string& text) : FValue(text) {}
    FormatArg(const char* text) : FValue(std::string(text)) {}
    template <typename I>
        requires std::is_integral_v<I>
    FormatArg(I value) : FValue(static_cast<std::int64_t>(value)) {}
    const std::variant<std::string, std::int64_t>& Value() const { return FValue; }

private:
    std::variant<std::string, std::int64_t> FValue;
};

/// Formats with %s/%S (text), %d/%D (decimal), %X (upper-case hexadecimal), %u, and %% for a
/// percent sign; an optional '-' flag, width and precision may stand after the percent sign.
/// Arguments the format does not use are ignored. A missing argument, or one of the wrong kind,
/// raises EConvertError naming the format; it never reads past the arguments.
std::string Format(std::string_view format, std::initializer_list<FormatArg> args = {});

}  // namespace brelo
