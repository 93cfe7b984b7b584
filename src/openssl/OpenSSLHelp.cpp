#include "openssl/OpenSSLHelp.h"

#include <cstring>

#include <openssl/asn1err.h>
#include <openssl/err.h>
#include <openssl/evperr.h>
#include <openssl/pemerr.h>
#include <openssl/pkcs12err.h>
#include <openssl/proverr.h>

#include "core/Text.h"

namespace brelo {

namespace {

thread_local int LastKeyErrorClass = 0;

std::string SafeText(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

struct TKeyCondition {
    int Library;
    int Reason;
    TOpenSSLTextId Text;
    bool HasText;  // false: the condition has no text of its own (empty line)
    int Code;
};

// The conditions of reading a password-protected private key, by library and reason.
constexpr TKeyCondition KeyConditions[] = {
    {ERR_LIB_EVP, EVP_R_BAD_DECRYPT, TOpenSSLTextId::WrongPasswKey, true, 39},
    {ERR_LIB_PROV, PROV_R_BAD_DECRYPT, TOpenSSLTextId::WrongPasswKey, true, 39},
    {ERR_LIB_PEM, PEM_R_BAD_DECRYPT, TOpenSSLTextId::WrongPasswKey, true, 39},
    {ERR_LIB_PEM, PEM_R_BAD_PASSWORD_READ, TOpenSSLTextId::WrongPasswKey, true, 39},
    {ERR_LIB_PKCS12, PKCS12_R_PKCS12_CIPHERFINAL_ERROR, TOpenSSLTextId::WrongPasswKey, true, 39},
    {ERR_LIB_ASN1, ASN1_R_DECODE_ERROR, TOpenSSLTextId::WrongPassw, true, 39},
    {ERR_LIB_PEM, PEM_R_BAD_IV_CHARS, TOpenSSLTextId::BadHeader, true, 41},
    {ERR_LIB_PEM, ERR_R_ASN1_LIB, TOpenSSLTextId::WrongPassw, false, 42},
    {ERR_LIB_PEM, PEM_R_BAD_BASE64_DECODE, TOpenSSLTextId::BadStruct, true, 40},
    {ERR_LIB_PEM, PEM_R_BAD_END_LINE, TOpenSSLTextId::BadStruct, true, 40},
    {ERR_LIB_PEM, PEM_R_NO_START_LINE, TOpenSSLTextId::BadStructNoHeader, true, 42},
};

const TKeyCondition* FindKeyCondition(unsigned long code) {
    const int library = ERR_GET_LIB(code);
    const int reason = ERR_GET_REASON(code);
    for (const TKeyCondition& c : KeyConditions) {
        if (c.Library == library && c.Reason == reason && !ERR_SYSTEM_ERROR(code)) {
            return &c;
        }
    }
    return nullptr;
}

std::string EntryLine(const TOpenSSLError& entry) {
    return OpenSSLText(TOpenSSLTextId::FuncErrorFormat, {entry.ReasonText, entry.FuncText, entry.LibText}) + "\r\n";
}

}  // namespace

unsigned long OpenSSLErrorCode(int library, int reason) { return ERR_PACK(library, 0, reason); }

TOpenSSLError::TOpenSSLError(unsigned long code, const char* function, const char* data)
    : Code(code),
      LibText(SafeText(ERR_lib_error_string(code))),
      FuncText(SafeText(function)),
      ReasonText(SafeText(ERR_reason_error_string(code))) {
    if (LibText.empty()) {
        LibText = OpenSSLText(TOpenSSLTextId::Library, {Library()});
    }
    if (FuncText.empty()) {
        // OpenSSL 3 records no function numbers; 0 stands for "unknown".
        FuncText = OpenSSLText(TOpenSSLTextId::Function, {0});
    }
    if (ReasonText.empty() && Library() == ERR_LIB_SYS) {
        ReasonText = SafeText(std::strerror(Reason()));
    }
    if (ReasonText.empty()) {
        ReasonText = OpenSSLText(TOpenSSLTextId::Reason, {Reason()});
    }
    if (data != nullptr && *data != '\0') {
        ReasonText += "; ";
        ReasonText += data;
    }
}

int TOpenSSLError::Library() const { return ERR_GET_LIB(Code); }
int TOpenSSLError::Reason() const { return ERR_GET_REASON(Code); }

EOpenSSLError::EOpenSSLError(unsigned long code, const char* function, const char* data, const std::string& text)
    : Exception(std::string()), ContextText(text) {
    std::string message = text.empty() ? std::string() : text + "\r\n";
    while (code != 0) {
        Errors.emplace_back(code, function, data);
        message += EntryLine(Errors.back());
        int flags = 0;
        code = ERR_get_error_all(nullptr, nullptr, &function, &data, &flags);
        if ((flags & ERR_TXT_STRING) == 0) {
            data = nullptr;
        }
    }
    SetMessage(std::move(message));
}

EOpenSSLError::EOpenSSLError(std::string_view format, std::initializer_list<FormatArg> args)
    : Exception(Format(format, args)), ContextText(Message()) {}

void CheckOpenSSLError(const std::string& text) {
    const char* function = nullptr;
    const char* data = nullptr;
    int flags = 0;
    const unsigned long code = ERR_get_error_all(nullptr, nullptr, &function, &data, &flags);
    if (code != 0) {
        throw EOpenSSLError(code, function, (flags & ERR_TXT_STRING) != 0 ? data : nullptr, text);
    }
}

void ClearOpenSSLErrors() { ERR_clear_error(); }

int KeyErrorCode(unsigned long code) {
    const TKeyCondition* condition = FindKeyCondition(code);
    return condition != nullptr ? condition->Code : 42;
}

void KeyErrorText(unsigned long code, const std::string& defaultText, std::string& text) {
    LastKeyErrorClass = 0;
    const TKeyCondition* condition = FindKeyCondition(code);
    if (condition == nullptr) {
        text = defaultText;
    } else {
        text = condition->HasText ? OpenSSLText(condition->Text) : std::string();
    }
    LastKeyErrorClass = KeyErrorCode(code);
}

int LastKeyErrorCode() { return LastKeyErrorClass; }

void DescribeOpenSSLError(const std::exception& e, char* buffer, std::uint32_t& size) {
    const auto* error = dynamic_cast<const EOpenSSLError*>(&e);
    if (error == nullptr) {
        size = 0;
        return;
    }
    std::string text = error->ContextText.empty() ? std::string() : error->ContextText + "\r\n";
    std::string previous;
    bool first = true;
    for (const TOpenSSLError& entry : error->Errors) {
        std::string line;
        KeyErrorText(entry.Code, error->Message(), line);
        if (first || line != previous) {
            text += line + "\r\n";
        }
        previous = std::move(line);
        first = false;
    }
    text.resize(text.size() >= 2 ? text.size() - 2 : 0);
    const std::uint32_t needed = static_cast<std::uint32_t>(text.size() + 1);
    if (buffer != nullptr && size >= needed) {
        std::memcpy(buffer, text.c_str(), needed);
    }
    size = needed;
}

std::string OpenSSLErrorText(const std::exception& e) {
    std::uint32_t size = 0;
    DescribeOpenSSLError(e, nullptr, size);
    if (size == 0) {
        const auto* plain = dynamic_cast<const Exception*>(&e);
        return plain != nullptr ? plain->Message() : std::string(e.what());
    }
    std::string buffer(size, ' ');
    DescribeOpenSSLError(e, buffer.data(), size);
    buffer.resize(size - 1);
    return Trim(buffer);
}

}  // namespace brelo
