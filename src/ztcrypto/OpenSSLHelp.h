#pragma once
// Interim copy of the OpenSSL error capture and stream bridge, until the shared units of
// src/openssl land; the library's fixed Russian texts are used throughout.

#include <openssl/bio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/Streams.h"

namespace brelo {

/// One captured entry of OpenSSL's error queue.
struct TOpenSSLError {
    TOpenSSLError(unsigned long code, const char* data, const char* func);
    std::uint32_t Code;
    std::string LibText, FuncText, ReasonText;
};

/// OpenSSL failure: the context text and every queued entry, in queue order.
class EOpenSSLError : public Exception {
public:
    EOpenSSLError(unsigned long code, const char* data, const char* func, const std::string& text);
    explicit EOpenSSLError(const std::string& message) : Exception(message) {}
    const std::vector<TOpenSSLError>& Errors() const { return FErrors; }
    const std::string& ContextText() const { return FContextText; }

private:
    std::vector<TOpenSSLError> FErrors;
    std::string FContextText;
};

/// A failed certificate check: 1 foreign centre, 2 not valid yet, 3 expired.
class EVerifyCertException : public Exception {
public:
    EVerifyCertException(const std::string& message, int verifyCode)
        : Exception(message), VerifyCode(verifyCode) {}
    int VerifyCode;
};
BRELO_EXCEPTION_CLASS(ECertInvalidPeriod, EVerifyCertException);

/// Raises EOpenSSLError with Text when OpenSSL's queue holds an entry.
void CheckOpenSSLError(const std::string& text = {});

/// The user text of an OpenSSL failure; false for any other exception.
bool DescribeOpenSSLErrorText(const std::exception& e, std::string& text);

/// A BIO whose reads and writes go to Stream; the BIO never owns the stream.
BIO* NewStreamBIO(TStream& stream);

}  // namespace brelo
