#pragma once
// The crypto manager: the one object through which an application loads and checks a
// customer's keys without knowing their format.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ByteString.h"
#include "core/Streams.h"

namespace brelo {

class TCustomCryptoFormat;
class TBreloUsbTokenFileDataHolder;

/// Which values SetKeyInfo takes; All is the three together.
struct KeyInfoFlags {
    static constexpr unsigned UserName = 1;
    static constexpr unsigned Password = 2;
    static constexpr unsigned KeyPath = 4;
    static constexpr unsigned All = 7;
};

/// The login, password and key path kept for the current usage bracket.
class TUserCertKeyParams {
public:
    TUserCertKeyParams(std::string userName, SecureString password, std::string keyPath)
        : UserName(std::move(userName)),
          Password(std::move(password)),
          KeyPath(std::move(keyPath)) {}
    /// Overwrites only the fields whose flag is in Flags.
    void Update(const std::string& userName, const SecureString& password,
                const std::string& keyPath, unsigned flags);

    std::string UserName;
    SecureString Password;
    std::string KeyPath;
};

class TCryptoMan;
/// (Sender; var UserName, Password, KeyPath).
using TGetKeyInfoEvent = std::function<void(TCryptoMan& sender, std::string& userName,
                                            SecureString& password, std::string& keyPath)>;
/// (Sender; out Password; CertStream, KeyStream).
using TGetKeyInfoEventEx = std::function<void(TCryptoMan& sender, SecureString& password,
                                              TStream& certStream, TStream& keyStream)>;

/// Holds up to three formats (primary, optional secondary, optional X.509), answers their
/// questions about the customer, brackets a series of operations so that private keys are
/// cached exactly as long as needed, and caches the token data of a token key path.
///
/// The formats are owned elsewhere. A format destroyed first leaves its slot empty; a manager
/// destroyed first leaves its formats without a manager. Used from one thread.
class TCryptoMan {
public:
    TCryptoMan();
    ~TCryptoMan();
    TCryptoMan(const TCryptoMan&) = delete;
    TCryptoMan& operator=(const TCryptoMan&) = delete;

    // Properties.

    bool CryptData() const { return FCryptData; }
    void SetCryptData(bool value) { FCryptData = value; }
    TCustomCryptoFormat* CryptoFormat() const { return FCryptoFormat; }
    /// Null first clears the secondary; the secondary itself raises "FormatsCantBeSame".
    void SetCryptoFormat(TCustomCryptoFormat* value);
    TCustomCryptoFormat* SecondaryCryptoFormat() const { return FSecondaryCryptoFormat; }
    /// Needs a primary ("PrimaryFormatMustAssigned") other than Value ("FormatsCantBeSame").
    void SetSecondaryCryptoFormat(TCustomCryptoFormat* value);
    TCustomCryptoFormat* X509CryptoFormat() const { return FX509CryptoFormat; }
    /// Needs a primary ("PrimaryFormatMustAssigned"); may be the primary itself.
    void SetX509CryptoFormat(TCustomCryptoFormat* value);
    const TGetKeyInfoEvent& OnGetKeyInfo() const { return FOnGetKeyInfo; }
    void SetOnGetKeyInfo(TGetKeyInfoEvent handler) { FOnGetKeyInfo = std::move(handler); }
    const TGetKeyInfoEventEx& OnGetKeyInfoEx() const { return FOnGetKeyInfoEx; }
    void SetOnGetKeyInfoEx(TGetKeyInfoEventEx handler) { FOnGetKeyInfoEx = std::move(handler); }
    bool CachePrivateKey() const { return FCachePrivateKey; }
    /// Copies Value into the primary's and secondary's cache flag; False also releases the keys.
    void SetCachePrivateKey(bool value);

    // Key information.

    /// The stored parameters of the bracket, else the OnGetKeyInfo answer (kept for the rest of
    /// an open bracket). Without either, or when the handler itself asks, the three values
    /// stay untouched.
    void GetKeyInfo(std::string& userName, SecureString& password, std::string& keyPath);
    /// Password := empty, then OnGetKeyInfoEx when assigned.
    void GetKeyInfoEx(SecureString& password, TStream& certStream, TStream& keyStream);
    /// Stores the flagged values; the password is kept only in the bracket's parameters, which
    /// exist inside a bracket after a call with all flags (or an event answer).
    void SetKeyInfo(const std::string& userName, const SecureString& password,
                    const std::string& keyPath, unsigned flags);
    std::string GetUserName();
    /// The key path with its trailing separator: "\" for a token key path, "/" for a folder
    /// (an empty path becomes "/").
    std::string GetKeyPath();
    SecureString GetPassword();

    // Usage bracket; pair them with TCryptoManUse.

    /// The outermost bracket first drops whatever an earlier one left (unless caching is on).
    void BeginUse();
    /// The outermost EndUse forgets the parameters and releases the keys (unless caching is on).
    void EndUse();
    int UseCount() const { return FUseCount; }

    // Operations on the formats, primary then secondary.

    /// Every set format drops its cached keys; the token data is freed.
    void ReleaseKeys();
    void CheckUserKeys();
    void CheckKeyPairs();

    // Token key paths.

    bool IsTokenKeyPath();
    /// ECryptoManError "NotFoundUSBToken" when the key path's token cannot be found now.
    void CheckTokenPresent();
    /// The cached image of the token's sixteen entries, read on first use; null when the token
    /// holds nothing (the next call reads again). Owned by the manager until ReleaseKeys.
    TBreloUsbTokenFileDataHolder* GetTokenData();
    /// Entry (0 to 14) of the token data; false and Data untouched when there is none.
    bool GetTokenFile(int entry, ByteString& data);
    int TokenType() const { return FTokenType; }
    const std::string& TokenSerial() const { return FTokenSerial; }

    /// EFileStreamError "InsertUserDisk" (file name) when the file does not exist.
    static void CheckUserDiskFile(const std::string& fileName);
    /// EStreamError "InsertUSBDisk" when Data is empty.
    static void CheckTokenFileData(const ByteString& data);

private:
    friend class TCustomCryptoFormat;
    void Attach(TCustomCryptoFormat* format);
    void FormatDestroyed(TCustomCryptoFormat* format);
    void ReleaseTokenData();

    bool FCryptData = false;
    bool FCachePrivateKey = false;
    TCustomCryptoFormat* FCryptoFormat = nullptr;
    TCustomCryptoFormat* FSecondaryCryptoFormat = nullptr;
    TCustomCryptoFormat* FX509CryptoFormat = nullptr;
    /// Formats that were ever attached; each is told when the manager is destroyed.
    std::vector<TCustomCryptoFormat*> FFormats;
    TGetKeyInfoEvent FOnGetKeyInfo;
    TGetKeyInfoEventEx FOnGetKeyInfoEx;
    std::string FUserName;
    std::string FKeyPath;
    std::unique_ptr<TUserCertKeyParams> FKeyParams;
    int FUseCount = 0;
    bool FInKeyInfoEvent = false;
    std::unique_ptr<TBreloUsbTokenFileDataHolder> FTokenData;
    int FTokenType = 0;
    std::string FTokenSerial;
};

/// A usage bracket: BeginUse now, EndUse on every way out of the scope.
class TCryptoManUse {
public:
    explicit TCryptoManUse(TCryptoMan& manager) : FManager(manager) { FManager.BeginUse(); }
    ~TCryptoManUse();
    TCryptoManUse(const TCryptoManUse&) = delete;
    TCryptoManUse& operator=(const TCryptoManUse&) = delete;

private:
    TCryptoMan& FManager;
};

}  // namespace brelo
