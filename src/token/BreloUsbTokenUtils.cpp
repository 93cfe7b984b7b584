#include "token/BreloUsbTokenUtils.h"

#include "core/Exceptions.h"
#include "core/Text.h"

namespace brelo {

TReadTokenFileProc ReadTokenFileProc;
TWriteTokenFileProc WriteTokenFileProc;
TReadTokenDataProc ReadTokenDataProc;
TInstallCertsProc InstallCertsProc;
TWriteKeysProc WriteKeysProc;
TChangePinProc ChangePinProc;
TUnblockPinProc UnblockPinProc;
TTokenPresentProc TokenPresentProc;
TGetTokenInfoProc GetTokenInfoProc;

// ---- TBreloUsbTokenFileDataHolder ----

namespace {
void CheckIndex(int Index) {
    Assert(Index >= TBreloUsbTokenFileDataHolder::LowIndex &&
               Index <= TBreloUsbTokenFileDataHolder::HighIndex,
           "token entry index out of range");
}
}  // namespace

TBreloUsbTokenFileDataHolder::~TBreloUsbTokenFileDataHolder() {
    for (auto& entry : FData) {
        WipeString(entry);
    }
}

const ByteString& TBreloUsbTokenFileDataHolder::GetData(int Index) const {
    CheckIndex(Index);
    return FData[static_cast<std::size_t>(Index)];
}

void TBreloUsbTokenFileDataHolder::SetData(int Index, ByteString Value) {
    CheckIndex(Index);
    auto& entry = FData[static_cast<std::size_t>(Index)];
    WipeString(entry);
    entry = std::move(Value);
}

void TBreloUsbTokenFileDataHolder::SetDataList(std::span<const ByteString> Values,
                                               std::span<const int> Indexes) {
    Assert(Values.size() == Indexes.size(), "value and index lists differ in length");
    // Check every index first so that a bad list changes nothing.
    for (int index : Indexes) {
        CheckIndex(index);
    }
    for (std::size_t i = 0; i < Values.size(); ++i) {
        SetData(Indexes[i], Values[i]);
    }
}

void TBreloUsbTokenFileDataHolder::SetDataList(std::initializer_list<ByteString> Values,
                                               std::initializer_list<int> Indexes) {
    SetDataList(std::span<const ByteString>(Values.begin(), Values.size()),
                std::span<const int>(Indexes.begin(), Indexes.size()));
}

// ---- key paths ----

bool TBreloUsbTokenInt::IsTokenPath(std::string_view Text) { return Text.starts_with(TokenPrefix); }

std::string TBreloUsbTokenInt::GetTokenName(std::string_view KeyPath) {
    if (!IsTokenPath(KeyPath)) {
        return {};
    }
    std::string_view name = KeyPath.substr(TokenPrefix.size());
    if (const auto slash = name.find('\\'); slash != std::string_view::npos) {
        name = name.substr(0, slash);
    }
    return Trim(name);
}

std::string TBreloUsbTokenInt::PadTokenName(std::string_view Name) {
    std::string result;
    std::size_t chars = 0;
    for (char c : Name) {
        const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (starts && chars == TokenNameWidth) {
            break;
        }
        chars += starts ? 1 : 0;
        result += c;
    }
    result.append(TokenNameWidth - chars, ' ');
    return result;
}

// ---- registration ----

void TBreloUsbTokenInt::SetReadTokenFileProc(TReadTokenFileProc Proc) { ReadTokenFileProc = std::move(Proc); }
void TBreloUsbTokenInt::SetWriteTokenFileProc(TWriteTokenFileProc Proc) { WriteTokenFileProc = std::move(Proc); }
void TBreloUsbTokenInt::SetReadTokenDataProc(TReadTokenDataProc Proc) { ReadTokenDataProc = std::move(Proc); }
void TBreloUsbTokenInt::SetInstallCertsProc(TInstallCertsProc Proc) { InstallCertsProc = std::move(Proc); }
void TBreloUsbTokenInt::SetWriteKeysProc(TWriteKeysProc Proc) { WriteKeysProc = std::move(Proc); }
void TBreloUsbTokenInt::SetChangePinProc(TChangePinProc Proc) { ChangePinProc = std::move(Proc); }
void TBreloUsbTokenInt::SetUnblockPinProc(TUnblockPinProc Proc) { UnblockPinProc = std::move(Proc); }
void TBreloUsbTokenInt::SetTokenPresentProc(TTokenPresentProc Proc) { TokenPresentProc = std::move(Proc); }
void TBreloUsbTokenInt::SetGetTokenInfoProc(TGetTokenInfoProc Proc) { GetTokenInfoProc = std::move(Proc); }

// ---- wrappers ----

bool TBreloUsbTokenInt::ReadTokenFile(std::string_view KeyPath, int Entry,
                                      const SecureString& Password, TStream& Data) {
    Assert(static_cast<bool>(ReadTokenFileProc), "ReadTokenFileProc is not registered");
    return ReadTokenFileProc(GetTokenName(KeyPath), Entry, Password, Data);
}

bool TBreloUsbTokenInt::WriteTokenFile(std::string_view KeyPath, int Entry,
                                       const SecureString& Password, TStream& Data) {
    Assert(static_cast<bool>(WriteTokenFileProc), "WriteTokenFileProc is not registered");
    return WriteTokenFileProc(GetTokenName(KeyPath), Entry, Password, Data);
}

bool TBreloUsbTokenInt::WriteTokenText(std::string_view KeyPath, int Entry,
                                       const SecureString& Password, const ByteString& Text) {
    TMemoryStream stream(Text);
    return WriteTokenFile(KeyPath, Entry, Password, stream);
}

bool TBreloUsbTokenInt::ReadTokenData(std::string_view KeyPath, const SecureString& Password,
                                      TBreloUsbTokenFileDataHolder& Holder) {
    Assert(static_cast<bool>(ReadTokenDataProc), "ReadTokenDataProc is not registered");
    return ReadTokenDataProc(GetTokenName(KeyPath), Password, Holder);
}

bool TBreloUsbTokenInt::TokenPresent(std::string_view KeyPath) {
    Assert(static_cast<bool>(TokenPresentProc), "TokenPresentProc is not registered");
    return TokenPresentProc(GetTokenName(KeyPath));
}

void TBreloUsbTokenInt::GetTokenInfo(std::string_view KeyPath, TUsbTokenInfo& Info) {
    Assert(static_cast<bool>(GetTokenInfoProc), "GetTokenInfoProc is not registered");
    Info = TUsbTokenInfo{};
    GetTokenInfoProc(GetTokenName(KeyPath), Info);
}

bool TBreloUsbTokenInt::WriteKeys(const std::string& DeviceLine, const SecureString& Password,
                                  const std::string& Login, const ByteString& CaCert,
                                  const ByteString& TransportCert, const ByteString& UserCert,
                                  const ByteString& UserKey, const ByteString& GostCert,
                                  const ByteString& GostKey) {
    Assert(static_cast<bool>(WriteKeysProc), "WriteKeysProc is not registered");
    return WriteKeysProc(DeviceLine, Password, Login, CaCert, TransportCert, UserCert, UserKey,
                         GostCert, GostKey);
}

}  // namespace brelo
