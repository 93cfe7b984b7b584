#include "ztcrypto/OpenSSLHelp.h"

#include <openssl/asn1err.h>
#include <openssl/err.h>
#include <openssl/evperr.h>
#include <openssl/pemerr.h>
#include <openssl/proverr.h>

#include <cstring>
#include <mutex>

#include "core/Format.h"
#include "ztcrypto/Texts.h"

namespace brelo {

namespace {

std::string OrEmpty(const char* text) { return text ? text : ""; }

/// Takes the next entry with the data text recorded with it (0 when the queue is empty).
unsigned long NextError(const char** data, const char** func) {
    int flags = 0;
    unsigned long code = ERR_get_error_all(nullptr, nullptr, func, data, &flags);
    if (!(flags & ERR_TXT_STRING)) {
        *data = nullptr;
    }
    return code;
}

}  // namespace

TOpenSSLError::TOpenSSLError(unsigned long code, const char* data, const char* func)
    : Code(static_cast<std::uint32_t>(code)),
      LibText(OrEmpty(ERR_lib_error_string(code))),
      FuncText(OrEmpty(func)),
      ReasonText(OrEmpty(ERR_reason_error_string(code))) {
    if (LibText.empty()) LibText = Format(ZtText::Library, {ERR_GET_LIB(code)});
    // OpenSSL 3 keeps no function codes, only the name recorded with the entry.
    if (FuncText.empty()) FuncText = Format(ZtText::Function, {0});
    if (ReasonText.empty() && ERR_GET_LIB(code) == ERR_LIB_SYS) {
        ReasonText = std::strerror(ERR_GET_REASON(code));
    }
    if (ReasonText.empty()) ReasonText = Format(ZtText::Reason, {ERR_GET_REASON(code)});
    if (data && *data) ReasonText += std::string("; ") + data;
}

EOpenSSLError::EOpenSSLError(unsigned long code, const char* data, const char* func, const std::string& text)
    : Exception(""), FContextText(text) {
    std::string message = text.empty() ? "" : text + "\r\n";
    while (code != 0) {
        FErrors.emplace_back(code, data, func);
        const auto& e = FErrors.back();
        message += Format(ZtText::FuncErrorFormat, {e.ReasonText, e.FuncText, e.LibText}) + "\r\n";
        code = NextError(&data, &func);
    }
    SetMessage(message);
}

void CheckOpenSSLError(const std::string& text) {
    const char *data = nullptr, *func = nullptr;
    if (unsigned long code = NextError(&data, &func)) {
        throw EOpenSSLError(code, data, func, text);
    }
}

namespace {

/// The key-file texts, matched by library and reason.
std::string KeyErrorText(std::uint32_t code, const std::string& defaultText) {
    const int lib = ERR_GET_LIB(code), reason = ERR_GET_REASON(code);
    if ((lib == ERR_LIB_EVP && reason == EVP_R_BAD_DECRYPT) || (lib == ERR_LIB_PROV && reason == PROV_R_BAD_DECRYPT) ||
        (lib == ERR_LIB_PEM && (reason == PEM_R_BAD_PASSWORD_READ || reason == PEM_R_BAD_DECRYPT)))
        return ZtText::WrongPasswKey;
    if (lib == ERR_LIB_ASN1 && reason == ASN1_R_WRONG_TAG) return ZtText::WrongPassw;
    if (lib == ERR_LIB_PEM && reason == PEM_R_BAD_IV_CHARS) return ZtText::BadHeader;
    if (lib == ERR_LIB_PEM && reason == ERR_R_ASN1_LIB) return "";
    if (lib == ERR_LIB_PEM && (reason == PEM_R_BAD_BASE64_DECODE || reason == PEM_R_BAD_END_LINE))
        return ZtText::BadStruct;
    // OpenSSL 3 reports a file without a key block through its decoders.
    if ((lib == ERR_LIB_PEM && reason == PEM_R_NO_START_LINE) || (lib == ERR_LIB_OSSL_DECODER && reason == ERR_R_UNSUPPORTED))
        return ZtText::BadStructNoHeader;
    return defaultText;
}

}  // namespace

bool DescribeOpenSSLErrorText(const std::exception& e, std::string& text) {
    const auto* error = dynamic_cast<const EOpenSSLError*>(&e);
    if (!error) return false;
    text = error->ContextText();
    if (!text.empty()) text += "\r\n";
    for (const auto& entry : error->Errors()) {
        text += KeyErrorText(entry.Code, error->Message()) + "\r\n";
    }
    text.resize(text.size() >= 2 ? text.size() - 2 : 0);
    return true;
}

namespace {

TStream* StreamOf(BIO* bio) { return BIO_get_init(bio) ? static_cast<TStream*>(BIO_get_data(bio)) : nullptr; }

int StreamWrite(BIO* bio, const char* buffer, int length) {
    TStream* stream = StreamOf(bio);
    if (!stream || !buffer || length <= 0) return 0;
    return static_cast<int>(stream->Write(buffer, length));
}

int StreamRead(BIO* bio, char* buffer, int length) {
    TStream* stream = StreamOf(bio);
    if (!stream || !buffer || length <= 0) return 0;
    return static_cast<int>(stream->Read(buffer, length));
}

int StreamPuts(BIO* bio, const char* text) { return StreamWrite(bio, text, static_cast<int>(std::strlen(text))); }

int StreamGets(BIO* bio, char* buffer, int size) {
    if (size <= 0) return 0;
    int count = 0;
    while (count < size - 1 && StreamRead(bio, buffer + count, 1) == 1) {
        if (buffer[count++] == '\n') break;
    }
    buffer[count] = '\0';
    return count;
}

long StreamCtrl(BIO* bio, int command, long number, void*) {
    TStream* stream = StreamOf(bio);
    switch (command) {
    case BIO_CTRL_RESET:
        if (stream) stream->SetPosition(0);
        return 1;
    case BIO_CTRL_EOF:
        return stream && stream->Position() == stream->Size() ? 1 : 0;
    case BIO_CTRL_INFO:
        return stream ? static_cast<long>(stream->Position()) : 0;
    case BIO_CTRL_PUSH: case BIO_CTRL_POP: case BIO_CTRL_PENDING: case BIO_CTRL_WPENDING:
        return 0;
    case BIO_CTRL_FLUSH:
        return 1;  // nothing is buffered here; OpenSSL 3 treats 0 as a failed flush
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

int StreamDestroy(BIO* bio) { return bio ? 1 : 0; }

BIO_METHOD* StreamBIOMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_TYPE_SOURCE_SINK | BIO_get_new_index(), "brelo stream");
        BIO_meth_set_write(m, StreamWrite);
        BIO_meth_set_read(m, StreamRead);
        BIO_meth_set_puts(m, StreamPuts);
        BIO_meth_set_gets(m, StreamGets);
        BIO_meth_set_ctrl(m, StreamCtrl);
        BIO_meth_set_create(m, StreamCreate);
        BIO_meth_set_destroy(m, StreamDestroy);
        return m;
    }();
    return method;
}

}  // namespace

BIO* NewStreamBIO(TStream& stream) {
    BIO* bio = BIO_new(StreamBIOMethod());
    if (!bio) CheckOpenSSLError();
    BIO_set_data(bio, &stream);
    BIO_set_init(bio, 1);
    return bio;
}

}  // namespace brelo
