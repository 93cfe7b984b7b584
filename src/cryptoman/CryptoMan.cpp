#include "cryptoman/CryptoMan.h"

#include <algorithm>

#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "cryptoman/CustomCryptoFormat.h"
#include "cryptoman/KeyFiles.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo {

namespace {

bool HolderIsEmpty(const TBreloUsbTokenFileDataHolder& holder) {
    for (int i = TBreloUsbTokenFileDataHolder::LowIndex;
         i <= TBreloUsbTokenFileDataHolder::HighIndex; ++i) {
        if (!holder.GetData(i).empty()) {
            return false;
        }
    }
    return true;
}

}  // namespace

void TUserCertKeyParams::Update(const std::string& userName, const SecureString& password,
                                const std::string& keyPath, unsigned flags) {
    if (flags & KeyInfoFlags::UserName) {
        UserName = userName;
    }
    if (flags & KeyInfoFlags::Password) {
        Password = password;
    }
    if (flags & KeyInfoFlags::KeyPath) {
        KeyPath = keyPath;
    }
}

TCryptoMan::TCryptoMan() = default;

TCryptoMan::~TCryptoMan() {
    // A format drops this manager from its list while being told, so work on a copy.
    const std::vector<TCustomCryptoFormat*> formats = FFormats;
    for (TCustomCryptoFormat* format : formats) {
        format->ManagerDestroyed(this);
    }
}

void TCryptoMan::Attach(TCustomCryptoFormat* format) {
    if (std::find(FFormats.begin(), FFormats.end(), format) == FFormats.end()) {
        FFormats.push_back(format);
    }
    format->LinkManager(this);
}

void TCryptoMan::FormatDestroyed(TCustomCryptoFormat* format) {
    std::erase(FFormats, format);
    if (FCryptoFormat == format) {
        FCryptoFormat = nullptr;
    }
    if (FSecondaryCryptoFormat == format) {
        FSecondaryCryptoFormat = nullptr;
    }
    if (FX509CryptoFormat == format) {
        FX509CryptoFormat = nullptr;
    }
}

void TCryptoMan::SetCryptoFormat(TCustomCryptoFormat* value) {
    if (value == nullptr) {
        SetSecondaryCryptoFormat(nullptr);
    } else if (value == FSecondaryCryptoFormat) {
        RaiseKeyed<ECryptoManError>("FormatsCantBeSame");
    }
    FCryptoFormat = value;
    if (value != nullptr) {
        Attach(value);
    }
}

void TCryptoMan::SetSecondaryCryptoFormat(TCustomCryptoFormat* value) {
    if (value != nullptr && FCryptoFormat == nullptr) {
        RaiseKeyed<ECryptoManError>("PrimaryFormatMustAssigned");
    }
    if (value != nullptr && value == FCryptoFormat) {
        RaiseKeyed<ECryptoManError>("FormatsCantBeSame");
    }
    FSecondaryCryptoFormat = value;
    if (value != nullptr) {
        Attach(value);
    }
}

void TCryptoMan::SetX509CryptoFormat(TCustomCryptoFormat* value) {
    if (value != nullptr && FCryptoFormat == nullptr) {
        RaiseKeyed<ECryptoManError>("PrimaryFormatMustAssigned");
    }
    FX509CryptoFormat = value;
    if (value != nullptr) {
        Attach(value);
    }
}

void TCryptoMan::SetCachePrivateKey(bool value) {
    FCachePrivateKey = value;
    if (FCryptoFormat != nullptr) {
        FCryptoFormat->SetCacheKeys(value);
    }
    if (FSecondaryCryptoFormat != nullptr) {
        FSecondaryCryptoFormat->SetCacheKeys(value);
    }
    if (!value) {
        ReleaseKeys();
    }
}

void TCryptoMan::GetKeyInfo(std::string& userName, SecureString& password, std::string& keyPath) {
    // The stored parameters answer even without a handler: a bracket opened with SetKeyInfo
    // must see its password whether or not the application set the event.
    if (FKeyParams) {
        userName = FKeyParams->UserName;
        password = FKeyParams->Password;
        keyPath = FKeyParams->KeyPath;
        return;
    }
    // A handler that asks the manager back (GetPassword...) gets the values untouched instead
    // of calling itself without end.
    if (!FOnGetKeyInfo || FInKeyInfoEvent) {
        return;
    }
    {
        FInKeyInfoEvent = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{FInKeyInfoEvent};
        FOnGetKeyInfo(*this, userName, password, keyPath);
    }
    if (FUseCount > 0) {
        SetKeyInfo(userName, password, keyPath, KeyInfoFlags::All);
    }
}

void TCryptoMan::GetKeyInfoEx(SecureString& password, TStream& certStream, TStream& keyStream) {
    password.clear();
    if (FOnGetKeyInfoEx) {
        FOnGetKeyInfoEx(*this, password, certStream, keyStream);
    }
}

void TCryptoMan::SetKeyInfo(const std::string& userName, const SecureString& password,
                            const std::string& keyPath, unsigned flags) {
    if (FKeyParams) {
        FKeyParams->Update(userName, password, keyPath, flags);
    } else if (flags == KeyInfoFlags::All && FUseCount > 0) {
        FKeyParams = std::make_unique<TUserCertKeyParams>(userName, password, keyPath);
    }
    if (flags & KeyInfoFlags::UserName) {
        FUserName = userName;
    }
    if (flags & KeyInfoFlags::KeyPath) {
        FKeyPath = keyPath;
    }
}

std::string TCryptoMan::GetUserName() {
    if (!FUserName.empty()) {
        return FUserName;
    }
    std::string userName, keyPath;
    SecureString password;
    GetKeyInfo(userName, password, keyPath);
    return userName;
}

std::string TCryptoMan::GetKeyPath() {
    std::string keyPath = FKeyPath;
    if (keyPath.empty()) {
        std::string userName;
        SecureString password;
        GetKeyInfo(userName, password, keyPath);
    }
    if (TBreloUsbTokenInt::IsTokenPath(keyPath)) {
        return keyPath.ends_with('\\') ? keyPath : keyPath + '\\';
    }
    return IncludeTrailingPathDelimiter(keyPath);
}

SecureString TCryptoMan::GetPassword() {
    std::string userName, keyPath;
    SecureString password;
    GetKeyInfo(userName, password, keyPath);
    return password;
}

void TCryptoMan::BeginUse() {
    if (FUseCount == 0 && !FCachePrivateKey) {
        ReleaseKeys();
    }
    ++FUseCount;
    // Skipped, not dereferenced, when no primary is set yet.
    if (FCryptoFormat != nullptr) {
        FCryptoFormat->IncUse();
    }
    if (FSecondaryCryptoFormat != nullptr) {
        FSecondaryCryptoFormat->IncUse();
    }
}

void TCryptoMan::EndUse() {
    if (FUseCount > 0) {
        --FUseCount;
    }
    if (FCryptoFormat != nullptr) {
        FCryptoFormat->DecUse();
    }
    if (FSecondaryCryptoFormat != nullptr) {
        FSecondaryCryptoFormat->DecUse();
    }
    if (FUseCount == 0 && !FCachePrivateKey) {
        FKeyParams.reset();
        ReleaseKeys();
    }
}

void TCryptoMan::ReleaseKeys() {
    if (FCryptoFormat != nullptr) {
        FCryptoFormat->ReleaseKeys();
    }
    if (FSecondaryCryptoFormat != nullptr) {
        FSecondaryCryptoFormat->ReleaseKeys();
    }
    ReleaseTokenData();
}

void TCryptoMan::CheckUserKeys() {
    if (FCryptoFormat != nullptr) {
        FCryptoFormat->CheckUserKey();
    }
    if (FSecondaryCryptoFormat != nullptr) {
        FSecondaryCryptoFormat->CheckUserKey();
    }
}

void TCryptoMan::CheckKeyPairs() {
    if (FCryptoFormat != nullptr) {
        FCryptoFormat->CheckKeyPair();
    }
    if (FSecondaryCryptoFormat != nullptr) {
        FSecondaryCryptoFormat->CheckKeyPair();
    }
}

bool TCryptoMan::IsTokenKeyPath() {
    return TBreloUsbTokenInt::IsTokenPath(GetKeyPath());
}

void TCryptoMan::CheckTokenPresent() {
    if (!TBreloUsbTokenInt::TokenPresent(GetKeyPath())) {
        RaiseKeyed<ECryptoManError>("NotFoundUSBToken");
    }
}

void TCryptoMan::ReleaseTokenData() {
    FTokenData.reset();
}

TBreloUsbTokenFileDataHolder* TCryptoMan::GetTokenData() {
    if (FTokenData && HolderIsEmpty(*FTokenData)) {
        FTokenData.reset();
    }
    if (FTokenData) {
        return FTokenData.get();
    }
    const std::string keyPath = GetKeyPath();
    auto holder = std::make_unique<TBreloUsbTokenFileDataHolder>();
    TBreloUsbTokenInt::ReadTokenData(keyPath, GetPassword(), *holder);
    TUsbTokenInfo info;
    TBreloUsbTokenInt::GetTokenInfo(keyPath, info);
    FTokenType = info.TokenType;
    FTokenSerial = info.SerialNumber;
    if (HolderIsEmpty(*holder)) {
        return nullptr;
    }
    FTokenData = std::move(holder);
    return FTokenData.get();
}

bool TCryptoMan::GetTokenFile(int entry, ByteString& data) {
    TBreloUsbTokenFileDataHolder* holder = GetTokenData();
    if (holder == nullptr || entry < 0 || entry >= 15) {
        return false;
    }
    data = holder->GetData(entry);
    return true;
}

void TCryptoMan::CheckUserDiskFile(const std::string& fileName) {
    if (!FileExists(fileName)) {
        RaiseKeyed<EFileStreamError>("InsertUserDisk", {fileName});
    }
}

void TCryptoMan::CheckTokenFileData(const ByteString& data) {
    if (data.empty()) {
        RaiseKeyed<EStreamError>("InsertUSBDisk");
    }
}

TCryptoManUse::~TCryptoManUse() {
    try {
        FManager.EndUse();
    } catch (...) {
        // A destructor must not throw; releasing cached keys has nothing left to report.
    }
}

}  // namespace brelo
