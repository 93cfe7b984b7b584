#pragma once
// The seam between the parts that need a customer's files on a USB token (crypto manager,
// crypto formats, wizard) and the module that talks to tokens: key paths that name a token,
// the in-memory image of a token's sixteen entries, and the nine hooks the token module
// registers at start-up.

#include <array>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "core/ByteString.h"
#include "core/Streams.h"

namespace brelo {

/// The sixteen entries a token holds for one customer (meanings are fixed, see the Entry
/// constants). All entries are empty when the holder is created; they are wiped on release
/// because entries 3, 5, 7 and 9 hold private keys.
class TBreloUsbTokenFileDataHolder {
public:
    static constexpr int LowIndex = 0;
    static constexpr int HighIndex = 15;

    TBreloUsbTokenFileDataHolder() = default;
    TBreloUsbTokenFileDataHolder(const TBreloUsbTokenFileDataHolder&) = default;
    TBreloUsbTokenFileDataHolder& operator=(const TBreloUsbTokenFileDataHolder&) = default;
    ~TBreloUsbTokenFileDataHolder();

    /// Index outside LowIndex..HighIndex is an assertion failure.
    const ByteString& GetData(int Index) const;
    void SetData(int Index, ByteString Value);
    /// Sets entry Indexes[i] to Values[i]; lists of different lengths are an assertion
    /// failure and change nothing.
    void SetDataList(std::span<const ByteString> Values, std::span<const int> Indexes);
    void SetDataList(std::initializer_list<ByteString> Values, std::initializer_list<int> Indexes);

private:
    std::array<ByteString, HighIndex + 1> FData;
};

/// Entry numbers of the token data, shared by every writer and reader.
namespace TokenEntry {
inline constexpr int CaCert = 0;
inline constexpr int TransportCert = 1;
inline constexpr int UserCert = 2;
inline constexpr int UserKey = 3;
inline constexpr int GostCert = 4;
inline constexpr int GostKey = 5;
inline constexpr int UserRequest = 6;
inline constexpr int NewUserKey = 7;
inline constexpr int GostRequest = 8;
inline constexpr int NewGostKey = 9;
inline constexpr int PreviousUserCert = 10;  ///< 10..13: the previous contents of 2..5
}  // namespace TokenEntry

/// What the token-information hook reports; cleared (empty, 0) when no token was found.
struct TUsbTokenInfo {
    std::string Name;
    std::string SerialNumber;
    int TokenType = 0;  ///< 0..127: the token kind's type code with its top bit masked off
};

// The nine hooks. Every Boolean result means success. Hooks 1, 2, 3 and 5 raise when the
// token is missing or refuses; hooks 8 and 9 never raise.
using TReadTokenFileProc = std::function<bool(const std::string& DeviceName, int Entry,
                                              const SecureString& Password, TStream& Data)>;
using TWriteTokenFileProc = std::function<bool(const std::string& DeviceName, int Entry,
                                               const SecureString& Password, TStream& Data)>;
using TReadTokenDataProc = std::function<bool(const std::string& DeviceName,
                                              const SecureString& Password,
                                              TBreloUsbTokenFileDataHolder& Holder)>;
using TInstallCertsProc = std::function<bool(const std::string& DeviceName,
                                             const SecureString& Password, const std::string& Login,
                                             const ByteString& UserCert, const ByteString& GostCert)>;
using TWriteKeysProc = std::function<bool(
    const std::string& DeviceLine, const SecureString& Password, const std::string& Login,
    const ByteString& CaCert, const ByteString& TransportCert, const ByteString& UserCert,
    const ByteString& UserKey, const ByteString& GostCert, const ByteString& GostKey)>;
using TChangePinProc = std::function<bool(const std::string& DeviceName,
                                          const SecureString& NewPassword,
                                          const SecureString& OldPassword)>;
/// Puk is a PUK or the text "NO_PUK".
using TUnblockPinProc = std::function<bool(const std::string& DeviceName,
                                           const SecureString& NewPassword, const SecureString& Puk)>;
using TTokenPresentProc = std::function<bool(const std::string& DeviceName)>;
using TGetTokenInfoProc = std::function<void(const std::string& DeviceName, TUsbTokenInfo& Info)>;

/// The hooks themselves: empty at start, written once by the token module's start-up through
/// the Set... operations below, only read afterwards.
extern TReadTokenFileProc ReadTokenFileProc;
extern TWriteTokenFileProc WriteTokenFileProc;
extern TReadTokenDataProc ReadTokenDataProc;
extern TInstallCertsProc InstallCertsProc;
extern TWriteKeysProc WriteKeysProc;
extern TChangePinProc ChangePinProc;
extern TUnblockPinProc UnblockPinProc;
extern TTokenPresentProc TokenPresentProc;
extern TGetTokenInfoProc GetTokenInfoProc;

/// Class operations only: key-path syntax, hook registration and the wrappers that check a
/// hook is registered, turn a key path into a device name and call the hook.
class TBreloUsbTokenInt {
public:
    TBreloUsbTokenInt() = delete;

    static constexpr std::string_view TokenPrefix = "USBToken:";
    static constexpr std::size_t TokenNameWidth = 32;

    /// Text begins with "USBToken:" (case matters).
    static bool IsTokenPath(std::string_view Text);
    /// The device name of a token key path: the text after the prefix up to the first
    /// backslash, trimmed; empty when KeyPath is not a token path.
    static std::string GetTokenName(std::string_view KeyPath);
    /// Name padded with spaces or cut to exactly 32 characters (UTF-8 characters, never
    /// cutting one in half).
    static std::string PadTokenName(std::string_view Name);

    static void SetReadTokenFileProc(TReadTokenFileProc Proc);
    static void SetWriteTokenFileProc(TWriteTokenFileProc Proc);
    static void SetReadTokenDataProc(TReadTokenDataProc Proc);
    static void SetInstallCertsProc(TInstallCertsProc Proc);
    static void SetWriteKeysProc(TWriteKeysProc Proc);
    static void SetChangePinProc(TChangePinProc Proc);
    static void SetUnblockPinProc(TUnblockPinProc Proc);
    static void SetTokenPresentProc(TTokenPresentProc Proc);
    static void SetGetTokenInfoProc(TGetTokenInfoProc Proc);

    // Wrappers: an unregistered hook is an assertion failure; whatever the hook raises
    // passes through unchanged.
    static bool ReadTokenFile(std::string_view KeyPath, int Entry, const SecureString& Password,
                              TStream& Data);
    /// Data is read from its current position.
    static bool WriteTokenFile(std::string_view KeyPath, int Entry, const SecureString& Password,
                               TStream& Data);
    static bool WriteTokenText(std::string_view KeyPath, int Entry, const SecureString& Password,
                               const ByteString& Text);
    static bool ReadTokenData(std::string_view KeyPath, const SecureString& Password,
                              TBreloUsbTokenFileDataHolder& Holder);
    static bool TokenPresent(std::string_view KeyPath);
    static void GetTokenInfo(std::string_view KeyPath, TUsbTokenInfo& Info);
    /// The key hand-over: DeviceLine is the line the device list shows and goes to the hook
    /// unchanged.
    static bool WriteKeys(const std::string& DeviceLine, const SecureString& Password,
                          const std::string& Login, const ByteString& CaCert,
                          const ByteString& TransportCert, const ByteString& UserCert,
                          const ByteString& UserKey, const ByteString& GostCert,
                          const ByteString& GostKey);
};

}  // namespace brelo
