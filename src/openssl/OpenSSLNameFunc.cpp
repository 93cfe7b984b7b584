#include <cstring>
#include <mutex>

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include "core/Messages.h"
#include "openssl/OpenSSLCryptoFunc.h"
#include "openssl/OpenSSLFuncCommon.h"

namespace brelo {

using detail::CheckResult;

void SslRegisterObjects() {
    static std::once_flag once;
    std::call_once(once, [] {
        InitOpenSSL();
        ERR_set_mark();
        OBJ_create("1.2.980.31857264.1.1", "BankID", "ztBankID");
        OBJ_create("1.2.980.31857264.1.2", "IntPSBranchID", "ztIntPSBranchID");
        ERR_pop_to_mark();
    });
}

X509NamePtr SslNewName() {
    InitOpenSSL();
    X509NamePtr name(X509_NAME_new());
    CheckResult(name != nullptr, {}, "X509_NAME_new");
    return name;
}

void SslFreeName(X509_NAME* name) { X509NamePtr owned(name); }

void SslAddNameEntry(X509_NAME* name, const std::string& attributeName, const std::string& value) {
    Assert(name != nullptr, "SslAddNameEntry: no name");
    SslRegisterObjects();
    ClearOpenSSLErrors();
    ERR_set_mark();
    const int nid = OBJ_txt2nid(attributeName.c_str());
    ERR_pop_to_mark();  // an unknown name is skipped, not reported
    if (nid == NID_undef) {
        return;
    }
    const int ok = X509_NAME_add_entry_by_NID(name, nid, MBSTRING_UTF8,
                                              reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0);
    CheckResult(ok != 0, {}, "X509_NAME_add_entry_by_NID");
}

int SslNameEntryCount(X509_NAME* name) {
    Assert(name != nullptr, "SslNameEntryCount: no name");
    return X509_NAME_entry_count(name);
}

void SslGetNameEntry(X509_NAME* name, int index, char* nameBuffer, int& nameLength, char* valueBuffer,
                     int& valueLength) {
    Assert(name != nullptr, "SslGetNameEntry: no name");
    SslRegisterObjects();
    ClearOpenSSLErrors();
    X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, index);
    CheckOpenSSLError();
    if (entry == nullptr) {
        throw Exception(KeyedText("WrongDistIndex", {index}));
    }
    const ASN1_OBJECT* object = X509_NAME_ENTRY_get_object(entry);
    const int textLength = OBJ_obj2txt(nullptr, 0, object, 0);
    CheckResult(textLength >= 0, {}, "OBJ_obj2txt");
    const int needed = textLength + 1;
    if (nameBuffer != nullptr && nameLength < needed) {
        throw Exception(GetMessageText("LowBufferDist"));
    }
    nameLength = needed;
    if (nameBuffer != nullptr) {
        OBJ_obj2txt(nameBuffer, needed, object, 0);
    }
    const ASN1_STRING* data = X509_NAME_ENTRY_get_data(entry);
    const int length = ASN1_STRING_length(data);
    if (valueBuffer != nullptr && valueLength < length) {
        throw Exception(GetMessageText("LowSizeBufferDist"));
    }
    valueLength = length;
    if (valueBuffer != nullptr) {
        const auto* bytes = reinterpret_cast<const char*>(ASN1_STRING_get0_data(data));
        const std::size_t copied = strnlen(bytes, static_cast<std::size_t>(length));
        std::memcpy(valueBuffer, bytes, copied);
        valueBuffer[copied] = '\0';
    }
}

}  // namespace brelo
