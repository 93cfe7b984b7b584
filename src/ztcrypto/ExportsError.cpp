// The version query, the last-error record and its user text. These calls only read the
// record: a failure of theirs is returned, never recorded.

#include <openssl/crypto.h>

#include <cstring>

#include "openssl/OpenSSL.h"
#include "ztcrypto/Export.h"

using namespace brelo;
using namespace brelo::ztcrypto;

namespace {

/// Copies Text into a caller buffer with an in/out size without touching the record.
int CopyQuietly(const std::string& text, char* buffer, std::int32_t* size) {
    if (!size || *size < 0) return ZT_E_INVALID_ARGUMENT;
    const auto needed = static_cast<std::int32_t>(text.size() + 1);
    const bool fits = !buffer || *size >= needed;
    if (buffer && fits) std::memcpy(buffer, text.c_str(), text.size() + 1);
    *size = needed;
    return fits ? ZT_OK : ZT_E_BUFFER_TOO_SMALL;
}

}  // namespace

ZT_EXPORT int ZtGetVersion(void) {
    return (ZTCRYPTO_VERSION_MAJOR << 16) | (ZTCRYPTO_VERSION_MINOR << 8) | ZTCRYPTO_VERSION_PATCH;
}

ZT_EXPORT int ZtGetLastError(void) { return LastError().Result; }

ZT_EXPORT int ZtGetLastErrorCode(void) { return LastError().Code; }

ZT_EXPORT int ZtGetLastErrorMessage(char* buffer, int32_t* size) {
    try {
        return CopyQuietly(LastError().Message, buffer, size);
    } catch (...) {
        return ZT_E_OUT_OF_MEMORY;
    }
}

ZT_EXPORT int ZtGetLastErrorEntryCount(void) { return static_cast<int>(LastError().Entries.size()); }

ZT_EXPORT int ZtGetLastErrorEntry(int32_t index, uint32_t* code, char* buffer, int32_t* size) {
    try {
        const auto& entries = LastError().Entries;
        if (index < 0 || static_cast<std::size_t>(index) >= entries.size() || !code) return ZT_E_INVALID_ARGUMENT;
        const auto& e = entries[static_cast<std::size_t>(index)];
        const int result =
            CopyQuietly(OpenSSLText(TOpenSSLTextId::FuncErrorFormat, {e.ReasonText, e.FuncText, e.LibText}), buffer, size);
        if (result == ZT_OK) *code = static_cast<uint32_t>(e.Code);
        return result;
    } catch (...) {
        return ZT_E_OUT_OF_MEMORY;
    }
}

ZT_EXPORT int DescribeOpenSSLError(char* buffer, uint32_t* size) {
    if (!size) return ZT_E_INVALID_ARGUMENT;
    const TLastError& record = LastError();
    if (!record.IsOpenSSL) {
        *size = 0;
        return ZT_OK;
    }
    const auto needed = static_cast<std::uint32_t>(record.Description.size() + 1);
    const bool fits = buffer && *size >= needed;
    if (fits) std::memcpy(buffer, record.Description.c_str(), needed);
    *size = needed;
    return fits || !buffer ? ZT_OK : ZT_E_BUFFER_TOO_SMALL;
}

namespace {

/// The library's start-up when it is loaded: OpenSSL's error texts and algorithms, and the
/// library's fixed Russian texts in place of the program's message keys.
__attribute__((constructor)) void StartLibrary() {
    UseLibraryOpenSSLTexts();
    InitOpenSSL();
}

}  // namespace
