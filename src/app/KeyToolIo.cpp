#include <termios.h>
#include <unistd.h>

#include <locale.h>
#include <wctype.h>

#include <csignal>
#include <iostream>

#include "app/KeyTool.h"

namespace brelo {

namespace {

termios SavedTerminal{};
volatile std::sig_atomic_t EchoOff = 0;

// Ctrl+C while the password is typed must not leave the terminal without echo.
extern "C" void RestoreEchoAndDie(int Signal) {
    if (EchoOff)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &SavedTerminal);
    std::signal(Signal, SIG_DFL);
    std::raise(Signal);
}

class TNoEcho {
public:
    TNoEcho() {
        if (::tcgetattr(STDIN_FILENO, &SavedTerminal) != 0)
            return;
        termios quiet = SavedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        std::signal(SIGINT, RestoreEchoAndDie);
        std::signal(SIGTERM, RestoreEchoAndDie);
        EchoOff = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~TNoEcho() {
        if (EchoOff)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &SavedTerminal);
        EchoOff = 0;
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
};

// One line of standard input, read byte by byte so that no copy outlives it unwiped.
SecureString ReadLine() {
    SecureString line;
    char c = 0;
    while (::read(STDIN_FILENO, &c, 1) == 1 && c != '\n') line.push_back(c);
    c = 0;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// UTF-8 decoding of one character; invalid bytes pass through as they are.
std::size_t Decode(const std::string& Text, std::size_t Pos, char32_t& Code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(Text[i]); };
    const unsigned char lead = byte(Pos);
    const std::size_t length = lead < 0x80         ? 1
                               : (lead >> 5) == 6  ? 2
                               : (lead >> 4) == 14 ? 3
                               : (lead >> 3) == 30 ? 4
                                                   : 0;
    if (length <= 1 || Pos + length > Text.size())
        return Code = lead, 1;
    Code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(Pos + i) & 0xC0) != 0x80)
            return Code = lead, 1;
        Code = (Code << 6) | (byte(Pos + i) & 0x3F);
    }
    return length;
}

void Encode(char32_t Code, std::string& Out) {
    if (Code < 0x80) {
        Out += static_cast<char>(Code);
    } else if (Code < 0x800) {
        Out += static_cast<char>(0xC0 | (Code >> 6));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
        Out += static_cast<char>(0xE0 | (Code >> 12));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Code >> 18));
        Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    }
}

// Letter case of every script, whatever locale the process runs in.
locale_t Utf8Locale() {
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

}  // namespace

SecureString ReadPasswordFromStdin(const std::string& Prompt) {
    if (!::isatty(STDIN_FILENO))
        return ReadLine();
    std::cerr << Prompt << std::flush;
    TNoEcho quiet;
    return ReadLine();
}

std::string UpperCaseLogin(const std::string& Login) {
    std::string out;
    for (std::size_t pos = 0; pos < Login.size();) {
        char32_t code = 0;
        const std::size_t length = Decode(Login, pos, code);
        if (length == 1 && code >= 0x80) {
            out += Login[pos];  // not UTF-8: kept as it is
        } else if (Utf8Locale()) {
            Encode(static_cast<char32_t>(::towupper_l(static_cast<wint_t>(code), Utf8Locale())),
                   out);
        } else {
            Encode(code >= 'a' && code <= 'z' ? code - 0x20 : code, out);
        }
        pos += length;
    }
    return out;
}

}  // namespace brelo
