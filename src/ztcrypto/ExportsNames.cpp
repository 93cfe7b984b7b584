// Distinguished names and the bank's private name attributes.

#include <openssl/objects.h>

#include <cstring>
#include <mutex>

#include "core/Encoding.h"
#include "ztcrypto/Export.h"

using namespace brelo;
using namespace brelo::ztcrypto;

namespace {

void RegisterBankOids() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (OBJ_txt2nid("1.2.980.31857264.1.1") == NID_undef) OBJ_create("1.2.980.31857264.1.1", "BankID", "ztBankID");
        if (OBJ_txt2nid("1.2.980.31857264.1.2") == NID_undef) {
            OBJ_create("1.2.980.31857264.1.2", "IntPSBranchID", "ztIntPSBranchID");
        }
        ERR_clear_error();
    });
}

/// A name value as UTF-8: 8-bit strings without a defined character set are the Windows
/// system's Windows-1251 bytes; the others are converted by OpenSSL.
std::string ValueText(const ASN1_STRING* value) {
    const int type = ASN1_STRING_type(value);
    const auto* data = reinterpret_cast<const char*>(ASN1_STRING_get0_data(value));
    const std::string bytes(data, static_cast<std::size_t>(ASN1_STRING_length(value)));
    if (type == V_ASN1_T61STRING || type == V_ASN1_PRINTABLESTRING || type == V_ASN1_IA5STRING ||
        type == V_ASN1_VISIBLESTRING) {
        try {
            return Cp1251ToUtf8(bytes);
        } catch (const EEncodingError&) {
            return bytes;
        }
    }
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, value);
    if (length < 0) RaiseOpenSSL();
    std::string text(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(length));
    OPENSSL_free(utf8);
    return text;
}

std::string FieldText(const ASN1_OBJECT* object) {
    const int length = OBJ_obj2txt(nullptr, 0, object, 0);
    if (length < 0) RaiseOpenSSL();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    OBJ_obj2txt(text.data(), length + 1, object, 0);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace

ZT_EXPORT int CreateDistinguishedName(ZtName** name) {
    return Guard("CreateDistinguishedName", [&] {
        Require(name, "CreateDistinguishedName", "name");
        X509NamePtr made(Made(X509_NAME_new()));
        *name = Adopt(std::make_unique<ZtName>(std::move(made)));
    });
}

ZT_EXPORT int FreeDistinguishedName(ZtName* name) {
    return Guard("FreeDistinguishedName", [&] { ReleaseHandle(name, HandleKind::Name, "FreeDistinguishedName"); });
}

ZT_EXPORT int AddDistinguishedNameEntry(ZtName* name, const char* field, const char* value) {
    return Guard("AddDistinguishedNameEntry", [&] {
        X509_NAME* n = Lookup<ZtName>(name, "AddDistinguishedNameEntry", "name").Name;
        Require(field, "AddDistinguishedNameEntry", "field");
        Require(value, "AddDistinguishedNameEntry", "value");
        RegisterBankOids();
        const int nid = OBJ_txt2nid(field);
        if (nid == NID_undef) return;  // unknown fields are skipped, as the Windows system did
        if (!X509_NAME_add_entry_by_NID(n, nid, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value),
                                        static_cast<int>(std::strlen(value)), -1, 0)) {
            RaiseOpenSSL();
        }
    });
}

ZT_EXPORT int GetDistinguishedNameEntryCount(const ZtName* name, int32_t* count) {
    return Guard("GetDistinguishedNameEntryCount", [&] {
        X509_NAME* n = LookupAnyName(name, "GetDistinguishedNameEntryCount", "name").Name;
        Require(count, "GetDistinguishedNameEntryCount", "count");
        *count = X509_NAME_entry_count(n);
    });
}

ZT_EXPORT int GetDistinguishedNameEntry(const ZtName* name, int32_t index, char* fieldBuffer,
                                        int32_t* fieldLength, char* valueBuffer, int32_t* valueLength) {
    return Guard("GetDistinguishedNameEntry", [&] {
        X509_NAME* n = LookupAnyName(name, "GetDistinguishedNameEntry", "name").Name;
        Require(fieldLength, "GetDistinguishedNameEntry", "fieldLength");
        Require(valueLength, "GetDistinguishedNameEntry", "valueLength");
        RegisterBankOids();
        const X509_NAME_ENTRY* entry = index < 0 ? nullptr : X509_NAME_get_entry(n, index);
        if (!entry) throw Exception(Format(ZtText::WrongDistIndex, {index}));
        const std::string field = FieldText(X509_NAME_ENTRY_get_object(entry));
        const std::string value = ValueText(X509_NAME_ENTRY_get_data(entry));
        const auto fieldNeed = static_cast<std::int32_t>(field.size() + 1);
        const auto valueNeed = static_cast<std::int32_t>(value.size());
        const bool fieldShort = fieldBuffer && fieldNeed > *fieldLength;
        const bool valueShort = valueBuffer && valueNeed > *valueLength;
        if (fieldShort || valueShort) {
            *fieldLength = fieldNeed;
            *valueLength = valueNeed;
            throw EBufferTooSmall(fieldShort ? ZtText::LowBufferDist : ZtText::LowSizeBufferDist);
        }
        *fieldLength = fieldNeed;
        if (fieldBuffer) std::memcpy(fieldBuffer, field.c_str(), field.size() + 1);
        *valueLength = valueNeed;
        if (valueBuffer) {
            const std::size_t copied = std::min(value.size(), std::strlen(value.c_str()));
            std::memcpy(valueBuffer, value.data(), copied);
            valueBuffer[copied] = '\0';
        }
    });
}
