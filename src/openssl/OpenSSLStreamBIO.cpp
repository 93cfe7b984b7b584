#include "openssl/OpenSSLStreamBIO.h"

#include <cstring>
#include <limits>
#include <mutex>

#include <openssl/err.h>

#include "openssl/OpenSSLHelp.h"

namespace brelo {

namespace {

TStream* AttachedStream(BIO* bio) {
    return BIO_get_init(bio) != 0 ? static_cast<TStream*>(BIO_get_data(bio)) : nullptr;
}

// Stream errors must not cross OpenSSL's C frames; they become a failed read or write.
template <typename F>
long Guarded(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        ERR_raise(ERR_LIB_BIO, BIO_R_BROKEN_PIPE);
        return -1;
    }
}

int StreamWrite(BIO* bio, const char* buffer, int length) {
    TStream* stream = AttachedStream(bio);
    if (stream == nullptr || buffer == nullptr || length <= 0) {
        return 0;
    }
    return static_cast<int>(Guarded([&] { return static_cast<long>(stream->Write(buffer, length)); }));
}

int StreamRead(BIO* bio, char* buffer, int length) {
    TStream* stream = AttachedStream(bio);
    if (stream == nullptr || buffer == nullptr || length <= 0) {
        return 0;
    }
    return static_cast<int>(Guarded([&] { return static_cast<long>(stream->Read(buffer, length)); }));
}

int StreamPuts(BIO* bio, const char* text) {
    if (text == nullptr) {
        return 0;
    }
    const std::size_t length = std::strlen(text);
    if (length > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return -1;
    }
    return StreamWrite(bio, text, static_cast<int>(length));
}

int StreamGets(BIO* bio, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    int count = 0;
    while (count < size - 1) {
        char c = 0;
        const int n = StreamRead(bio, &c, 1);
        if (n < 0 && count == 0) {
            buffer[0] = '\0';
            return -1;
        }
        if (n <= 0) {
            break;
        }
        buffer[count++] = c;
        if (c == '\n') {
            break;
        }
    }
    buffer[count] = '\0';
    return count;
}

long StreamCtrl(BIO* bio, int command, long number, void*) {
    TStream* stream = AttachedStream(bio);
    switch (command) {
        case BIO_CTRL_RESET:
            return stream == nullptr ? 1 : Guarded([&] { stream->SetPosition(0); return 1L; });
        case BIO_CTRL_EOF:
            return stream == nullptr ? 1 : Guarded([&] { return stream->Position() == stream->Size() ? 1L : 0L; });
        case BIO_CTRL_INFO:
        case BIO_C_FILE_TELL:
            return stream == nullptr ? 0 : Guarded([&] { return static_cast<long>(stream->Position()); });
        case BIO_C_FILE_SEEK:
            // OpenSSL's decoders rewind a BIO they have peeked into; a wrong answer here would
            // silently misplace them.
            return stream == nullptr ? -1 : Guarded([&] { stream->SetPosition(number); return static_cast<long>(stream->Position()); });
        case BIO_CTRL_PUSH:
        case BIO_CTRL_POP:
        case BIO_CTRL_PENDING:
        case BIO_CTRL_FLUSH:
        case BIO_CTRL_WPENDING:
            return 0;
        case BIO_CTRL_GET_CLOSE:
            return BIO_get_shutdown(bio);
        case BIO_CTRL_SET_CLOSE:
            BIO_set_shutdown(bio, static_cast<int>(number));
            return 1;
        default:
            return 1;
    }
}

int StreamCreate(BIO* bio) {
    BIO_set_init(bio, 0);
    BIO_set_data(bio, nullptr);
    BIO_set_shutdown(bio, 0);
    return 1;
}

int StreamDestroy(BIO* bio) {
    if (bio == nullptr) {
        return 0;
    }
    if (BIO_get_shutdown(bio) == 0) {
        return 1;
    }
    if (TStream* stream = AttachedStream(bio)) {
        delete stream;  // the BIO was told it owns the stream (close flag set)
        BIO_set_data(bio, nullptr);
    }
    BIO_set_init(bio, 0);
    return 1;
}

BIO_METHOD* MakeMethod() {
    BIO_METHOD* method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "brelo stream");
    if (method == nullptr) {
        return nullptr;
    }
    BIO_meth_set_write(method, StreamWrite);
    BIO_meth_set_read(method, StreamRead);
    BIO_meth_set_puts(method, StreamPuts);
    BIO_meth_set_gets(method, StreamGets);
    BIO_meth_set_ctrl(method, StreamCtrl);
    BIO_meth_set_create(method, StreamCreate);
    BIO_meth_set_destroy(method, StreamDestroy);
    return method;
}

}  // namespace

const BIO_METHOD* StreamBIOMethod() {
    static std::once_flag once;
    static BioMethodPtr method;
    std::call_once(once, [] {
        InitOpenSSL();
        method.reset(MakeMethod());
    });
    return method.get();
}

void SetBIOStream(BIO* bio, TStream* stream) {
    BIO_set_data(bio, stream);
    BIO_set_init(bio, 1);
}

BioPtr NewStreamBIO(TStream& stream) {
    BioPtr bio(BIO_new(StreamBIOMethod()));
    if (!bio) {
        throw EOpenSSLError("Out of memory", {});
    }
    SetBIOStream(bio.get(), &stream);
    return bio;
}

}  // namespace brelo
