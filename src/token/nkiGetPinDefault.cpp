#include "token/nkiGetPinDefault.h"

#include <string>

namespace brelo {

namespace {
// What every request is answered with, for user PIN and PUK alike.
constexpr std::string_view kFixedPinText = "74206813";
constexpr std::size_t kPinLength = 8;
}  // namespace

void TBreloNkiGetPinDefault::GetPin(const std::string&, int, SecureString& Pin, bool UserPin,
                                    bool Raw) {
    FPinText.assign(kFixedPinText.data(), kFixedPinText.size());
    if (FPinText.empty()) {
        throw EBreloNkiGetPin("Отмена операции пользователем");
    }
    Pin = Raw ? FPinText : DefaultDerivePin(FPinText, UserPin);
}

TnkiGetPinEvent TBreloNkiGetPinDefault::Event() {
    return [this](const std::string& DeviceName, int TriesLeft, SecureString& Pin, bool UserPin,
                  bool Raw) { GetPin(DeviceName, TriesLeft, Pin, UserPin, Raw); };
}

SecureString Md5DecimalPin(std::string_view Text) {
    if (Text.empty()) {
        return {};
    }
    const SecureString hex = TnkiTokenCodes::Md5Hex(Text);
    SecureString decimal;
    for (char c : hex) {
        const unsigned code = static_cast<unsigned char>(c);
        if (code >= 100) {
            decimal += static_cast<char>('0' + code / 100);
        }
        decimal += static_cast<char>('0' + code / 10 % 10);
        decimal += static_cast<char>('0' + code % 10);
    }
    decimal.resize(kPinLength);  // 32 digest characters give at least 64 digits
    return decimal;
}

SecureString Md5TailPin(std::string_view Text) {
    if (Text.empty()) {
        return {};
    }
    const SecureString hex = TnkiTokenCodes::Md5Hex(Text);
    return SecureString(hex.data() + hex.size() - kPinLength, kPinLength);
}

SecureString DefaultDerivePin(std::string_view Text, bool UserPin) {
    return UserPin ? Md5DecimalPin(Text) : Md5TailPin(Text);
}

TBreloNkiGetPinDefault& DefaultPinProvider() {
    // The start-up text is replaced by the first request.
    static TBreloNkiGetPinDefault provider{SecureString(kFixedPinText.data(), kFixedPinText.size())};
    return provider;
}

}  // namespace brelo
