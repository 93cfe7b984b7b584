#pragma once
// The runtime's exception base and the general classes the system's units raise.

#include <exception>
#include <string>

namespace brelo {

/// Base of every failure the system raises: a message text and an integer help context,
/// which coded errors use as their code.
class Exception : public std::exception {
public:
    explicit Exception(std::string message, int helpContext = 0)
        : FMessage(std::move(message)), FHelpContext(helpContext) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }
    int HelpContext() const noexcept { return FHelpContext; }
    void SetMessage(std::string message) { FMessage = std::move(message); }
    void SetHelpContext(int value) noexcept { FHelpContext = value; }

private:
    std::string FMessage;
    int FHelpContext;
};

#define BRELO_EXCEPTION_CLASS(Name, Base)   \
    class Name : public Base {              \
    public:                                 \
        using Base::Base;                   \
    }

/// A format string that does not fit its arguments.
BRELO_EXCEPTION_CLASS(EConvertError, Exception);
/// Text that cannot be carried in the required encoding.
BRELO_EXCEPTION_CLASS(EEncodingError, Exception);
/// Stream failures; the file-stream family covers missing and uncreatable files.
BRELO_EXCEPTION_CLASS(EStreamError, Exception);
BRELO_EXCEPTION_CLASS(EFileStreamError, EStreamError);
BRELO_EXCEPTION_CLASS(EFCreateError, EFileStreamError);
BRELO_EXCEPTION_CLASS(EFOpenError, EFileStreamError);
BRELO_EXCEPTION_CLASS(EReadError, EStreamError);
BRELO_EXCEPTION_CLASS(EWriteError, EStreamError);
/// A programming error: the message starts with "Assertion failure" and names file and line.
BRELO_EXCEPTION_CLASS(EAssertionFailed, Exception);

/// Where an assertion stands. std::source_location needs a compiler built-in that clang 14
/// (the fuzzing compiler) lacks with this libstdc++; these built-ins exist in both compilers.
struct SourceLocation {
    const char* File = "";
    unsigned Line = 0;
    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            unsigned line = __builtin_LINE()) noexcept {
        return SourceLocation{file, line};
    }
};

/// Fails with EAssertionFailed when the condition does not hold.
void Assert(bool condition, const std::string& text = {},
            SourceLocation where = SourceLocation::current());

/// Message of an assertion failure: "Assertion failure[: text] (file, line N)". The file is
/// given relative to the source tree.
std::string AssertionText(const std::string& text, const SourceLocation& where);

}  // namespace brelo
