#include "core/Exceptions.h"

#include <string_view>

namespace brelo {

namespace {
std::string_view SourceRelative(std::string_view path) {
    for (std::string_view root : {"/src/", "/lib/", "/tests/"}) {
        if (auto at = path.rfind(root); at != std::string_view::npos) {
            return path.substr(at + 1);
        }
    }
    return path;
}
}  // namespace

std::string AssertionText(const std::string& text, const SourceLocation& where) {
    std::string message = "Assertion failure";
    if (!text.empty()) {
        message += ": " + text;
    }
    message += " (" + std::string(SourceRelative(where.File)) + ", line " +
               std::to_string(where.Line) + ")";
    return message;
}

void Assert(bool condition, const std::string& text, SourceLocation where) {
    if (!condition) {
        throw EAssertionFailed(AssertionText(text, where));
    }
}

}  // namespace brelo
