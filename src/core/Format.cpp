#include "core/Format.h"

#include <cctype>
#include <vector>

#include "core/Exceptions.h"

namespace brelo {

namespace {

[[noreturn]] void FormatError(std::string_view format) {
    throw EConvertError("Format '" + std::string(format) +
                        "' invalid or incompatible with argument list");
}

struct Placeholder {
    bool left = false;
    int width = -1;
    int precision = -1;
    char kind = 0;
};

std::string Pad(std::string text, const Placeholder& ph) {
    if (ph.width > 0 && static_cast<int>(text.size()) < ph.width) {
        std::string fill(ph.width - text.size(), ' ');
        text = ph.left ? text + fill : fill + text;
    }
    return text;
}

std::string Digits(std::int64_t value, char kind) {
    static const char* hex = "0123456789ABCDEF";
    const unsigned base = kind == 'X' ? 16 : 10;
    std::uint64_t magnitude = value < 0 && kind != 'X' && kind != 'U'
                                  ? 0 - static_cast<std::uint64_t>(value)
                                  : static_cast<std::uint64_t>(value);
    if (kind == 'X' && value < 0) {
        magnitude &= 0xFFFFFFFFull;  // hexadecimal of a 32-bit integer, as the runtime shows it
    }
    std::string digits;
    do {
        digits.insert(digits.begin(), hex[magnitude % base]);
        magnitude /= base;
    } while (magnitude != 0);
    return digits;
}

std::string FormatInteger(std::int64_t value, const Placeholder& ph) {
    std::string digits = Digits(value, ph.kind);
    if (ph.precision > static_cast<int>(digits.size())) {
        digits.insert(0, ph.precision - digits.size(), '0');
    }
    if (value < 0 && ph.kind == 'D') {
        digits.insert(digits.begin(), '-');
    }
    return Pad(digits, ph);
}

std::string FormatText(const std::string& text, const Placeholder& ph) {
    if (ph.precision >= 0 && static_cast<std::size_t>(ph.precision) < text.size()) {
        return Pad(text.substr(0, ph.precision), ph);
    }
    return Pad(text, ph);
}

int ReadNumber(std::string_view format, std::size_t& i) {
    int n = 0;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
        n = n * 10 + (format[i++] - '0');
        if (n > 100000) {
            FormatError(format);
        }
    }
    return n;
}

Placeholder ReadPlaceholder(std::string_view format, std::size_t& i) {
    Placeholder ph;
    if (i < format.size() && format[i] == '-') {
        ph.left = true;
        ++i;
    }
    if (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
        ph.width = ReadNumber(format, i);
    }
    if (i < format.size() && format[i] == '.') {
        ++i;
        ph.precision = ReadNumber(format, i);
    }
    if (i >= format.size()) {
        FormatError(format);
    }
    ph.kind = static_cast<char>(std::toupper(static_cast<unsigned char>(format[i++])));
    return ph;
}

}  // namespace

std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size();) {
        if (format[i] != '%') {
            out += format[i++];
            continue;
        }
        if (++i < format.size() && format[i] == '%') {
            out += format[i++];
            continue;
        }
        const Placeholder ph = ReadPlaceholder(format, i);
        if (next == args.end()) {
            FormatError(format);
        }
        const auto& value = (next++)->Value();
        if (ph.kind == 'S' && std::holds_alternative<std::string>(value)) {
            out += FormatText(std::get<std::string>(value), ph);
        } else if ((ph.kind == 'D' || ph.kind == 'X' || ph.kind == 'U') &&
                   std::holds_alternative<std::int64_t>(value)) {
            out += FormatInteger(std::get<std::int64_t>(value), ph);
        } else {
            FormatError(format);
        }
    }
    return out;
}

}  // namespace brelo
