#include "ztcrypto/CallbackStream.h"

#include "core/Format.h"
#include "ztcrypto/Args.h"
#include "ztcrypto/Boundary.h"
#include "openssl/OpenSSLPtr.h"
#include "ztcrypto/Texts.h"

namespace brelo::ztcrypto {

namespace {
const ZtStream& Checked(const ZtStream* s, const char* exportName, const char* argName) {
    if (!s || !s->read || !s->write || !s->seek || !s->size || !s->position) {
        throw EInvalidArgument(Format(ZtText::InvalidArgument, {exportName, argName}));
    }
    return *s;
}
}  // namespace

TCallbackStream::TCallbackStream(const ZtStream* stream, const char* exportName, const char* argName)
    : FStream(Checked(stream, exportName, argName)), FExportName(exportName) {}

std::int64_t TCallbackStream::Failed(const char* operation) {
    if (!FFailed) FFailed = operation;
    return 0;
}

std::int64_t TCallbackStream::Read(void* buffer, std::int64_t count) {
    if (FFailed || count <= 0) return 0;
    const std::int64_t n = FStream.read(FStream.context, buffer, count);
    return n < 0 || n > count ? Failed("read") : n;
}

std::int64_t TCallbackStream::Write(const void* buffer, std::int64_t count) {
    if (FFailed || count <= 0) return 0;
    const std::int64_t n = FStream.write(FStream.context, buffer, count);
    return n < 0 || n > count ? Failed("write") : n;
}

std::int64_t TCallbackStream::Seek(std::int64_t offset, SeekOrigin origin) {
    if (FFailed) return 0;
    if (offset == 0 && origin == SeekOrigin::Current) {
        const std::int64_t pos = FStream.position(FStream.context);
        return pos < 0 ? Failed("position") : pos;
    }
    const int whence = origin == SeekOrigin::Beginning ? ZT_SEEK_SET
                       : origin == SeekOrigin::Current ? ZT_SEEK_CUR : ZT_SEEK_END;
    const std::int64_t pos = FStream.seek(FStream.context, offset, whence);
    return pos < 0 ? Failed("seek") : pos;
}

std::int64_t TCallbackStream::Size() {
    if (FFailed) return 0;
    const std::int64_t size = FStream.size(FStream.context);
    return size < 0 ? Failed("size") : size;
}

void TCallbackStream::Check() const {
    if (FFailed) throw EStreamError(Format(ZtText::StreamFailed, {FExportName, FFailed}));
}

}  // namespace brelo::ztcrypto

namespace brelo::ztcrypto {

TBufferedSource::TBufferedSource(TCallbackStream& stream) : FStream(stream) {
    BioPtr source = NewStreamBIO(stream);
    BioPtr buffer(Made(BIO_new(BIO_f_buffer())));
    if (BIO_set_read_buffer_size(buffer.get(), 65536) <= 0) RaiseOpenSSL();
    FSource = source.release();
    FBuffer = buffer.release();
    BIO_push(FBuffer, FSource);
}

TBufferedSource::~TBufferedSource() {
    const long unread = static_cast<long>(BIO_ctrl_pending(FBuffer));
    BIO_pop(FBuffer);
    BIO_free(FBuffer);
    BIO_free(FSource);
    if (unread > 0) FStream.Seek(-unread, SeekOrigin::Current);
}

}  // namespace brelo::ztcrypto
