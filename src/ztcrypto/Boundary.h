#pragma once
// The one error mapper of the C interface: every export runs its body inside Guard, which
// turns any exception into a result code and this thread's last-error record.

#include <openssl/err.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "openssl/OpenSSLHelp.h"
#include "openssl/OpenSSLStreamBIO.h"
#include "openssl/ztcryptotype.h"
#include "ztcrypto/ztcrypto.h"

namespace brelo::ztcrypto {

/// The library's own crypto error: a message, no code.
BRELO_EXCEPTION_CLASS(EZTCryptoError, Exception);
/// Misuse at the boundary: a bad handle, a bad argument, a buffer too small for the result.
BRELO_EXCEPTION_CLASS(EInvalidHandle, Exception);
BRELO_EXCEPTION_CLASS(EInvalidArgument, Exception);
class EBufferTooSmall : public Exception {
public:
    EBufferTooSmall(const char* exportName, std::int64_t needed);
    explicit EBufferTooSmall(const std::string& message) : Exception(message) {}
};

/// What the last failing call of this thread left behind.
struct TLastError {
    int Result = ZT_OK;
    int Code = 0;
    std::string Message;
    std::vector<TOpenSSLError> Entries;
    bool IsOpenSSL = false;  ///< the failure was an EOpenSSLError
    std::string Description;  ///< DescribeOpenSSLError's text when IsOpenSSL
};

/// This thread's record.
TLastError& LastError();

/// Maps the exception in flight to a result code and records it. Never throws.
int RecordCurrentException(const char* exportName) noexcept;

/// Runs Body; any exception becomes a result code. OpenSSL's queue is empty afterwards.
template <typename Body>
int Guard(const char* exportName, Body&& body) noexcept {
    try {
        ERR_clear_error();
        body();
        ERR_clear_error();
        return ZT_OK;
    } catch (...) {
        return RecordCurrentException(exportName);
    }
}

/// Copies Text with its terminating zero into a caller buffer with an in/out size (rule 3).
void CopyOut(const char* exportName, const std::string& text, char* buffer, std::int32_t* size);

}  // namespace brelo::ztcrypto
