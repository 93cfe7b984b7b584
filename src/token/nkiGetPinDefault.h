#pragma once
// The non-interactive PIN provider that every key-storage token list installs, and the two
// code derivations of the native tokens' PIN (eight decimal digits) and PUK (eight
// hexadecimal digits). Both derivations are shared with the banking client.

#include <string>
#include <string_view>
#include <utility>

#include "core/ByteString.h"
#include "core/Exceptions.h"
#include "token/nkiTokenCodes.h"

namespace brelo {

/// A PIN provider reports that the user cancelled: "Отмена операции пользователем".
BRELO_EXCEPTION_CLASS(EBreloNkiGetPin, Exception);

/// Answers every PIN request with a fixed text, as it is (Raw) or turned into a token code.
class TBreloNkiGetPinDefault {
public:
    explicit TBreloNkiGetPinDefault(SecureString PinText) : FPinText(std::move(PinText)) {}

    /// The TnkiGetPinEvent handler; DeviceName and TriesLeft are not used.
    void GetPin(const std::string& DeviceName, int TriesLeft, SecureString& Pin, bool UserPin,
                bool Raw);
    /// GetPin bound to this provider, for a token list's PIN event.
    TnkiGetPinEvent Event();

private:
    SecureString FPinText;
};

/// The first 8 characters of the decimal character codes of Md5Hex(Text); empty for "".
SecureString Md5DecimalPin(std::string_view Text);
/// The last 8 characters of Md5Hex(Text); empty for "".
SecureString Md5TailPin(std::string_view Text);
/// Md5DecimalPin when UserPin, else Md5TailPin.
SecureString DefaultDerivePin(std::string_view Text, bool UserPin);

/// The program's one provider, made on first use and alive until the program ends.
TBreloNkiGetPinDefault& DefaultPinProvider();

}  // namespace brelo
