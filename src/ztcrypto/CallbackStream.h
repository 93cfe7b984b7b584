#pragma once
// The caller's ZtStream as a TStream, so that the stream BIO can reach it. The callbacks run
// inside OpenSSL calls, so nothing here throws: a failing callback is remembered and raised
// by Check once OpenSSL has returned.

#include <openssl/bio.h>

#include <string>

#include "core/Streams.h"
#include "ztcrypto/ztcrypto.h"

namespace brelo::ztcrypto {

class TCallbackStream : public TStream {
public:
    /// Checks that Stream and its five callbacks are present (EInvalidArgument otherwise).
    TCallbackStream(const ZtStream* stream, const char* exportName, const char* argName);
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override;
    void SetSize(std::int64_t) override {}
    /// Raises EStreamError when a callback failed since construction.
    void Check() const;

private:
    std::int64_t Failed(const char* operation);
    const ZtStream& FStream;
    const char* FExportName;
    const char* FFailed = nullptr;
};

}  // namespace brelo::ztcrypto

namespace brelo::ztcrypto {

/// A buffering BIO over Stream for reading: OpenSSL reads text a line at a time, which would
/// otherwise cost one callback per byte. What the buffer read ahead is given back to the
/// stream afterwards, so its position ends right after what Read consumed.
class TBufferedSource {
public:
    explicit TBufferedSource(TCallbackStream& stream);
    ~TBufferedSource();
    TBufferedSource(const TBufferedSource&) = delete;
    TBufferedSource& operator=(const TBufferedSource&) = delete;
    BIO* Bio() const { return FBuffer; }

private:
    TCallbackStream& FStream;
    BIO* FSource = nullptr;
    BIO* FBuffer = nullptr;
};

}  // namespace brelo::ztcrypto
