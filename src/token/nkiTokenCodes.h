#pragma once
// The parts of the token base class that need no token: names of PKCS#11 return values and the
// rule that turns a customer's text (login or password) into an eight-character token PIN or
// PUK. The PIN and PUK rules are shared with the banking client that opens the tokens later:
// any change locks customers out.

#include <functional>
#include <string>
#include <string_view>

#include "core/ByteString.h"

namespace brelo {

/// Where a token gets a PIN when it has none or its PIN was refused. UserPin: the user's PIN
/// is wanted (false: the PUK or administrator PIN); Raw: the PIN as typed, not derived.
using TnkiGetPinEvent = std::function<void(const std::string& DeviceName, int TriesLeft,
                                           SecureString& Pin, bool UserPin, bool Raw)>;

/// Class functions of the token base class; TnkiToken derives from this so that they are
/// reachable as TnkiToken::DerivePinCode and so on.
class TnkiTokenCodes {
public:
    /// 25 letters (a to z without g) and the ten digits, appended by PolicyCode to make sure
    /// enough distinct letters and digits are there.
    static constexpr std::string_view CodeAlphabet = "qwnlaxbhkrcmzvtdjpsofiyeu2085649137";

    /// The PKCS#11 name of a return value, or "nkiFail" for 0, unnamed values and vendor values
    /// other than the bare vendor bit.
    static std::string ReturnCodeName(unsigned long Code);

    /// MD5 of the text's UTF-16LE form as 32 lower-case hexadecimal digits. The text is UTF-8
    /// and must be expressible in Windows-1251 (EEncodingError otherwise), as the Windows system
    /// could only hash such texts.
    static SecureString Md5Hex(std::string_view Text);
    /// A code of exactly NeededLength characters, alternating digits and letters of alternating
    /// case taken from Code (plus CodeAlphabet when AddAlphabet). Assertion failures: NeededLength
    /// below 4, longer than Code, or not enough distinct digits or letters.
    static SecureString PolicyCode(std::string_view Code, int NeededLength, bool AddAlphabet);
    /// Empty for an empty text, else PolicyCode(Md5Hex(Text), 8, true).
    static SecureString DerivePinCode(std::string_view Text);
    /// Empty for an empty text, else PolicyCode(reverse of Md5Hex(Text), 8, true).
    static SecureString DerivePukCode(std::string_view Text);
    static SecureString DeriveCode(std::string_view Text, bool UserPin);
};

}  // namespace brelo
