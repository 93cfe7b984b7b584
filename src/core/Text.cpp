#include "core/Text.h"

#include <algorithm>

namespace brelo {

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
}  // namespace

std::string TrimLeft(std::string_view text) {
    auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
    return std::string(first, text.end());
}

std::string TrimRight(std::string_view text) {
    auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
    return std::string(text.begin(), last);
}

std::string Trim(std::string_view text) { return TrimLeft(TrimRight(text)); }

std::string UpperCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), Upper);
    return out;
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

bool StartsText(std::string_view prefix, std::string_view text) {
    return text.size() >= prefix.size() && SameText(prefix, text.substr(0, prefix.size()));
}

}  // namespace brelo
