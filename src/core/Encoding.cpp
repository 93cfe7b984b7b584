#include "core/Encoding.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

#include "core/ByteString.h"
#include "core/Exceptions.h"

namespace brelo {

namespace {

struct IconvCloser {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};

std::string Convert(std::string_view input, const char* from, const char* to, bool wipe) {
    iconv_t raw = iconv_open(to, from);
    if (raw == reinterpret_cast<iconv_t>(-1)) {
        throw EEncodingError(std::string("Cannot convert text from ") + from + " to " + to);
    }
    std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser> cd(raw);
    std::string out(input.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    if (iconv(cd.get(), &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) {
        const std::string_view rest(in, inLeft);
        const bool invalid = errno == EILSEQ || errno == EINVAL;
        if (wipe) {
            WipeString(out);
        }
        if (invalid && std::string_view(from) == "UTF-8" && std::string_view(to) == "CP1251") {
            // The text may be a password: say where, never what.
            throw EEncodingError("The text holds a character that the Windows-1251 code page "
                                 "cannot carry (at byte " + std::to_string(rest.data() - input.data() + 1) +
                                 "); use Russian or Latin letters, digits and punctuation");
        }
        throw EEncodingError(std::string("The text is not valid ") + from);
    }
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) { return Convert(utf8, "UTF-8", "CP1251", true); }

std::string Cp1251ToUtf8(std::string_view cp1251) { return Convert(cp1251, "CP1251", "UTF-8", true); }

std::string Utf8ToUtf16LE(std::string_view utf8) { return Convert(utf8, "UTF-8", "UTF-16LE", true); }

}  // namespace brelo
