#include "ztcrypto/Boundary.h"

#include <openssl/err.h>

#include <cstring>
#include <new>

#include "core/Format.h"
#include "ztcrypto/Texts.h"

namespace brelo::ztcrypto {

EBufferTooSmall::EBufferTooSmall(const char* exportName, std::int64_t needed)
    : Exception(Format(ZtText::BufferTooSmall, {exportName, needed})) {}

TLastError& LastError() {
    thread_local TLastError record;
    return record;
}

namespace {

int Classify(const char* exportName, TLastError& record) {
    try {
        throw;
    } catch (const EOpenSSLError& e) {
        record.Message = e.Message();
        record.Entries = e.Errors;
        record.IsOpenSSL = true;
        std::uint32_t size = 0;
        DescribeOpenSSLError(e, nullptr, size);
        record.Description.assign(size, '\0');
        DescribeOpenSSLError(e, record.Description.data(), size);
        record.Description.resize(size > 0 ? size - 1 : 0);
        return ZT_E_OPENSSL;
    } catch (const EVerifyCertException& e) {
        record.Message = e.Message();
        record.Code = e.VerifyCode;
        return ZT_E_VERIFY_CERT;
    } catch (const EZTCryptoError& e) {
        record.Message = e.Message();
        return ZT_E_CRYPTO;
    } catch (const EInvalidHandle& e) {
        record.Message = e.Message();
        return ZT_E_INVALID_HANDLE;
    } catch (const EInvalidArgument& e) {
        record.Message = e.Message();
        return ZT_E_INVALID_ARGUMENT;
    } catch (const EBufferTooSmall& e) {
        record.Message = e.Message();
        return ZT_E_BUFFER_TOO_SMALL;
    } catch (const EEncodingError& e) {
        record.Message = e.Message();
        return ZT_E_ENCODING;
    } catch (const EStreamError& e) {
        record.Message = e.Message();
        return ZT_E_STREAM;
    } catch (const Exception& e) {
        record.Message = e.Message();
        record.Code = e.HelpContext();
        return ZT_E_FAILURE;
    } catch (const std::bad_alloc&) {
        record.Message = ZtText::OutOfMemory;
        return ZT_E_OUT_OF_MEMORY;
    } catch (...) {
        record.Message = Format(ZtText::Internal, {exportName});
        return ZT_E_INTERNAL;
    }
}

}  // namespace

int RecordCurrentException(const char* exportName) noexcept {
    TLastError& record = LastError();
    try {
        record = TLastError{};
        record.Result = Classify(exportName, record);
    } catch (...) {
        // Recording itself ran out of memory: keep the class, drop the details.
        record.Result = ZT_E_OUT_OF_MEMORY;
    }
    ERR_clear_error();
    return record.Result;
}

void CopyOut(const char* exportName, const std::string& text, char* buffer, std::int32_t* size) {
    if (!size || *size < 0) throw EInvalidArgument(Format(ZtText::InvalidArgument, {exportName, "size"}));
    const auto needed = static_cast<std::int32_t>(text.size() + 1);
    if (buffer && *size < needed) {
        *size = needed;
        throw EBufferTooSmall(exportName, needed);
    }
    *size = needed;
    if (buffer) std::memcpy(buffer, text.c_str(), text.size() + 1);
}

}  // namespace brelo::ztcrypto
