#include "token/nkiTokenCodes.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "core/Crypto.h"
#include "core/Encoding.h"
#include "core/Exceptions.h"

namespace brelo {

namespace {

struct CodeName {
    unsigned long code;
    const char* name;
};

// PKCS#11 v2.20 names of the values the token layer reports by name.
constexpr CodeName kCodeNames[] = {
    {0x1, "CKR_CANCEL"},
    {0x2, "CKR_HOST_MEMORY"},
    {0x3, "CKR_SLOT_ID_INVALID"},
    {0x5, "CKR_GENERAL_ERROR"},
    {0x6, "CKR_FUNCTION_FAILED"},
    {0x7, "CKR_ARGUMENTS_BAD"},
    {0x8, "CKR_NO_EVENT"},
    {0x9, "CKR_NEED_TO_CREATE_THREADS"},
    {0xA, "CKR_CANT_LOCK"},
    {0x10, "CKR_ATTRIBUTE_READ_ONLY"},
    {0x11, "CKR_ATTRIBUTE_SENSITIVE"},
    {0x12, "CKR_ATTRIBUTE_TYPE_INVALID"},
    {0x13, "CKR_ATTRIBUTE_VALUE_INVALID"},
    {0x20, "CKR_DATA_INVALID"},
    {0x21, "CKR_DATA_LEN_RANGE"},
    {0x30, "CKR_DEVICE_ERROR"},
    {0x31, "CKR_DEVICE_MEMORY"},
    {0x32, "CKR_DEVICE_REMOVED"},
    {0x40, "CKR_ENCRYPTED_DATA_INVALID"},
    {0x41, "CKR_ENCRYPTED_DATA_LEN_RANGE"},
    {0x50, "CKR_FUNCTION_CANCELED"},
    {0x51, "CKR_FUNCTION_NOT_PARALLEL"},
    {0x54, "CKR_FUNCTION_NOT_SUPPORTED"},
    {0x60, "CKR_KEY_HANDLE_INVALID"},
    {0x62, "CKR_KEY_SIZE_RANGE"},
    {0x63, "CKR_KEY_TYPE_INCONSISTENT"},
    {0x64, "CKR_KEY_NOT_NEEDED"},
    {0x65, "CKR_KEY_CHANGED"},
    {0x66, "CKR_KEY_NEEDED"},
    {0x67, "CKR_KEY_INDIGESTIBLE"},
    {0x68, "CKR_KEY_FUNCTION_NOT_PERMITTED"},
    {0x69, "CKR_KEY_NOT_WRAPPABLE"},
    {0x6A, "CKR_KEY_UNEXTRACTABLE"},
    {0x70, "CKR_MECHANISM_INVALID"},
    {0x71, "CKR_MECHANISM_PARAM_INVALID"},
    {0x82, "CKR_OBJECT_HANDLE_INVALID"},
    {0x90, "CKR_OPERATION_ACTIVE"},
    {0x91, "CKR_OPERATION_NOT_INITIALIZED"},
    {0xA0, "CKR_PIN_INCORRECT"},
    {0xA1, "CKR_PIN_INVALID"},
    {0xA2, "CKR_PIN_LEN_RANGE"},
    {0xA3, "CKR_PIN_EXPIRED"},
    {0xA4, "CKR_PIN_LOCKED"},
    {0xB0, "CKR_SESSION_CLOSED"},
    {0xB1, "CKR_SESSION_COUNT"},
    {0xB3, "CKR_SESSION_HANDLE_INVALID"},
    {0xB4, "CKR_SESSION_PARALLEL_NOT_SUPPORTED"},
    {0xB5, "CKR_SESSION_READ_ONLY"},
    {0xB6, "CKR_SESSION_EXISTS"},
    {0xB7, "CKR_SESSION_READ_ONLY_EXISTS"},
    {0xB8, "CKR_SESSION_READ_WRITE_SO_EXISTS"},
    {0xC0, "CKR_SIGNATURE_INVALID"},
    {0xC1, "CKR_SIGNATURE_LEN_RANGE"},
    {0xD0, "CKR_TEMPLATE_INCOMPLETE"},
    {0xD1, "CKR_TEMPLATE_INCONSISTENT"},
    {0xE0, "CKR_TOKEN_NOT_PRESENT"},
    {0xE1, "CKR_TOKEN_NOT_RECOGNIZED"},
    {0xE2, "CKR_TOKEN_WRITE_PROTECTED"},
    {0xF0, "CKR_UNWRAPPING_KEY_HANDLE_INVALID"},
    {0xF1, "CKR_UNWRAPPING_KEY_SIZE_RANGE"},
    {0xF2, "CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT"},
    {0x100, "CKR_USER_ALREADY_LOGGED_IN"},
    {0x101, "CKR_USER_NOT_LOGGED_IN"},
    {0x102, "CKR_USER_PIN_NOT_INITIALIZED"},
    {0x103, "CKR_USER_TYPE_INVALID"},
    {0x104, "CKR_USER_ANOTHER_ALREADY_LOGGED_IN"},
    {0x105, "CKR_USER_TOO_MANY_TYPES"},
    {0x110, "CKR_WRAPPED_KEY_INVALID"},
    {0x112, "CKR_WRAPPED_KEY_LEN_RANGE"},
    {0x113, "CKR_WRAPPING_KEY_HANDLE_INVALID"},
    {0x114, "CKR_WRAPPING_KEY_SIZE_RANGE"},
    {0x115, "CKR_WRAPPING_KEY_TYPE_INCONSISTENT"},
    {0x120, "CKR_RANDOM_SEED_NOT_SUPPORTED"},
    {0x121, "CKR_RANDOM_NO_RNG"},
    {0x130, "CKR_DOMAIN_PARAMS_INVALID"},
    {0x150, "CKR_BUFFER_TOO_SMALL"},
    {0x160, "CKR_SAVED_STATE_INVALID"},
    {0x170, "CKR_INFORMATION_SENSITIVE"},
    {0x180, "CKR_STATE_UNSAVEABLE"},
    {0x190, "CKR_CRYPTOKI_NOT_INITIALIZED"},
    {0x191, "CKR_CRYPTOKI_ALREADY_INITIALIZED"},
    {0x1A0, "CKR_MUTEX_BAD"},
    {0x1A1, "CKR_MUTEX_NOT_LOCKED"},
    {0x200, "CKR_FUNCTION_REJECTED"},
    {0x80000000, "CKR_VENDOR_DEFINED"},
};

// The core converters return plain strings; these hold secrets until wiped here.
struct WipedString {
    std::string s;
    explicit WipedString(std::string value) : s(std::move(value)) {}
    WipedString(const WipedString&) = delete;
    WipedString& operator=(const WipedString&) = delete;
    ~WipedString() { WipeString(s); }
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Distinct characters of one class from S, never its last character; letters are distinct
// without regard to case.
SecureString Collect(std::string_view s, int count, bool (*inClass)(char)) {
    SecureString list;
    for (std::size_t i = 0; i + 1 < s.size() && static_cast<int>(list.size()) < count; ++i) {
        const char c = s[i];
        const bool seen = std::any_of(list.begin(), list.end(),
                                      [&](char taken) { return Lower(taken) == Lower(c); });
        if (inClass(c) && !seen) {
            list += c;
        }
    }
    return list;
}

}  // namespace

std::string TnkiTokenCodes::ReturnCodeName(unsigned long Code) {
    for (const auto& entry : kCodeNames) {
        if (entry.code == Code) {
            return entry.name;
        }
    }
    return "nkiFail";
}

SecureString TnkiTokenCodes::Md5Hex(std::string_view Text) {
    WipedString ansi{Utf8ToCp1251(Text)};  // refuses what Windows-1251 cannot hold
    WipedString wide{Utf8ToUtf16LE(Text)};
    WipedString digest{Md5(wide.s)};
    WipedString hex{HexLower(digest.s)};
    return SecureString(hex.s.data(), hex.s.size());
}

SecureString TnkiTokenCodes::PolicyCode(std::string_view Code, int NeededLength, bool AddAlphabet) {
    Assert(NeededLength >= 4, "neededLength is too short");
    Assert(static_cast<std::size_t>(NeededLength) <= Code.size(), "Given code is too short");
    SecureString s(Code.data(), Code.size());
    if (AddAlphabet) {
        s.append(CodeAlphabet.data(), CodeAlphabet.size());
    }
    const int half = NeededLength / 2;
    int digits = half;
    int letters = AddAlphabet ? std::min(half, 6) : half;
    while (letters + digits < NeededLength) {
        (AddAlphabet ? digits : letters) += 1;
    }
    const SecureString digitList = Collect(s, digits, IsDigit);
    SecureString letterList = Collect(s, letters, IsLetter);
    Assert(static_cast<int>(digitList.size()) == digits &&
               static_cast<int>(letterList.size()) == letters,
           "Given code does not meet the password policy");
    for (std::size_t i = 0; i < letterList.size(); ++i) {
        letterList[i] = i % 2 == 0 ? Upper(letterList[i]) : Lower(letterList[i]);
    }
    const bool lettersFirst = letterList.size() < digitList.size();
    const SecureString& first = lettersFirst ? letterList : digitList;
    const SecureString& second = lettersFirst ? digitList : letterList;
    SecureString result;
    for (std::size_t i = 0; i < first.size(); ++i) {
        result += first[i];
        result += second[i];
    }
    result.append(second, first.size());
    return result;
}

SecureString TnkiTokenCodes::DerivePinCode(std::string_view Text) {
    if (Text.empty()) {
        return {};
    }
    return PolicyCode(Md5Hex(Text), 8, true);
}

SecureString TnkiTokenCodes::DerivePukCode(std::string_view Text) {
    if (Text.empty()) {
        return {};
    }
    SecureString hex = Md5Hex(Text);
    std::reverse(hex.begin(), hex.end());
    return PolicyCode(hex, 8, true);
}

SecureString TnkiTokenCodes::DeriveCode(std::string_view Text, bool UserPin) {
    return UserPin ? DerivePinCode(Text) : DerivePukCode(Text);
}

}  // namespace brelo
