// The nine token hooks as the key-storage module implements them, and the list through
// which they find their tokens.
#include <memory>

#include "core/Format.h"
#include "token/BreloUsbToken.h"
#include "token/nkiTokenPKCS.h"

namespace brelo {

namespace {

/// All kinds, initialised or not; filled at the first hook call and kept for the run.
std::unique_ptr<TBreloUsbTokenList> HookTokenList;

const SecureString kNoPuk("NO_PUK");

/// Runs Work on T, closing T on every path; a failure to close after a success is raised.
template <typename F>
void Guarded(TBreloUsbToken& T, F&& Work) {
    try {
        Work();
    } catch (...) {
        T.CloseQuietly();
        throw;
    }
    T.Close();
}

/// The PIN change after a written block failed: put the previous block back so that the token
/// is as it was; when even that fails, say plainly what the token now holds.
[[noreturn]] void PinChangeFailed(TBreloUsbToken& T, const TBreloUsbTokenFileDataHolder& Previous,
                                  const Exception& Failure) {
    const auto* nki = dynamic_cast<const ExceptionNki*>(&Failure);
    const std::int32_t code = nki != nullptr ? nki->Code : 5;
    try {
        T.WriteHolder(Previous);
    } catch (...) {
        throw ExceptionNkiPinNotChanged(
            code, Format("Ключи записаны на USB токен, но PIN-код токена не изменён (%s). "
                         "Повторите перенос ключей на этот токен.",
                         {Failure.Message()}));
    }
    throw;
}

/// Writes Holder, then moves the user PIN to the one derived from Password.
void WriteHolderAndChangePin(TBreloUsbToken& T, const TBreloUsbTokenFileDataHolder& Previous,
                             const TBreloUsbTokenFileDataHolder& Holder, const SecureString& Password) {
    T.WriteHolder(Holder);
    try {
        SecureString result;
        T.ChangePin(Password, SecureString(), result, true);
    } catch (const Exception& failure) {
        PinChangeFailed(T, Previous, failure);
    }
}

bool ReadTokenFileImpl(const std::string& Name, int Entry, const SecureString& Password, TStream& Data) {
    TBreloUsbToken& token = FindToken(Name);
    token.Open(Password, false);
    Guarded(token, [&] { token.ReadEntry(Entry, Data); });
    return true;
}

bool WriteTokenFileImpl(const std::string& Name, int Entry, const SecureString& Password, TStream& Data) {
    TBreloUsbToken& token = FindToken(Name);
    token.Open(Password, false);
    Guarded(token, [&] { token.WriteEntry(Entry, Data); });
    return true;
}

bool ReadTokenDataImpl(const std::string& Name, const SecureString& Password, TBreloUsbTokenFileDataHolder& Holder) {
    TBreloUsbToken& token = FindToken(Name);
    token.Open(Password, false);
    Guarded(token, [&] { token.ReadHolder(Holder); });
    return true;
}

bool InstallCertsImpl(const std::string& Name, const SecureString& Password, const std::string& Login,
                      const ByteString& UserCert, const ByteString& GostCert) {
    TBreloUsbToken& token = FindToken(Name);
    TBreloUsbTokenFileDataHolder holder;
    token.Open(SecureString(Login), false);
    Guarded(token, [&] {
        token.ReadHolder(holder);
        const TBreloUsbTokenFileDataHolder previous = holder;
        for (int i = 0; i < 4; ++i) {
            holder.SetData(10 + i, previous.GetData(2 + i));
        }
        holder.SetDataList({UserCert, previous.GetData(7), GostCert, previous.GetData(9)}, {2, 3, 4, 5});
        holder.SetDataList({{}, {}, {}, {}}, {6, 7, 8, 9});
        WriteHolderAndChangePin(token, previous, holder, Password);
    });
    return true;
}

bool WriteKeysImpl(const std::string& DeviceLine, const SecureString& Password, const std::string& Login,
                   const ByteString& CaCert, const ByteString& TransportCert, const ByteString& UserCert,
                   const ByteString& UserKey, const ByteString& GostCert, const ByteString& GostKey) {
    TBreloUsbToken& token = FindToken(DeviceLine);
    TBreloUsbTokenFileDataHolder holder;
    token.Open(SecureString(Login), false);
    Guarded(token, [&] {
        token.ReadHolder(holder);
        const TBreloUsbTokenFileDataHolder previous = holder;
        holder.SetDataList({CaCert, TransportCert, UserCert, UserKey, GostCert, GostKey}, {0, 1, 2, 3, 4, 5});
        for (int i = 6; i <= 13; ++i) {
            holder.SetData(i, {});
        }
        WriteHolderAndChangePin(token, previous, holder, Password);
    });
    return true;
}

bool ChangePinImpl(const std::string& Name, const SecureString& NewPassword, const SecureString& OldPassword) {
    SecureString result;
    FindToken(Name).ChangePin(NewPassword, OldPassword, result, true);
    return true;
}

bool UnblockPinImpl(const std::string& Name, const SecureString& NewPassword, const SecureString& Puk) {
    TBreloUsbToken& token = FindToken(Name);
    if (Puk != kNoPuk && token.HasPuk()) {
        SecureString result;
        token.UnblockPin(NewPassword, Puk, result, true);
    } else {
        SecureString pin = NewPassword;
        SecureString puk = Puk;
        Guarded(token, [&] { token.Reinitialize(pin, puk, std::string(), kNoPuk); });
    }
    return true;
}

bool TokenPresentImpl(const std::string& Name) {
    try {
        FindToken(Name);
        return true;
    } catch (...) {
        return false;
    }
}

void GetTokenInfoImpl(const std::string& Name, TUsbTokenInfo& Info) {
    Info = TUsbTokenInfo{};
    try {
        const TBreloUsbToken& token = FindToken(Name);
        Info.Name = token.Name();
        Info.SerialNumber = token.UID();
        Info.TokenType = token.Kind() & 0x7F;
    } catch (...) {
        Info = TUsbTokenInfo{};
    }
}

}  // namespace

TBreloUsbToken& FindToken(const std::string& DeviceText) {
    if (!HookTokenList) {
        HookTokenList = std::make_unique<TBreloUsbTokenList>(0, 0);
    }
    const std::string uid = ExtractUID(DeviceText);
    TnkiToken& found = uid.empty() ? HookTokenList->FindByName(DeviceText) : HookTokenList->FindByUID(uid);
    found.FPinEntryAllowed = false;
    return dynamic_cast<TBreloUsbToken&>(found);
}

void RegisterBreloUsbTokenHooks() {
    RegisterPKCSTokenKinds();
    TBreloUsbTokenInt::SetReadTokenFileProc(ReadTokenFileImpl);
    TBreloUsbTokenInt::SetWriteTokenFileProc(WriteTokenFileImpl);
    TBreloUsbTokenInt::SetReadTokenDataProc(ReadTokenDataImpl);
    TBreloUsbTokenInt::SetInstallCertsProc(InstallCertsImpl);
    TBreloUsbTokenInt::SetWriteKeysProc(WriteKeysImpl);
    TBreloUsbTokenInt::SetChangePinProc(ChangePinImpl);
    TBreloUsbTokenInt::SetUnblockPinProc(UnblockPinImpl);
    TBreloUsbTokenInt::SetTokenPresentProc(TokenPresentImpl);
    TBreloUsbTokenInt::SetGetTokenInfoProc(GetTokenInfoImpl);
}

void ReleaseBreloUsbTokens() {
    HookTokenList.reset();
    ReleasePKCSLibraries();
}

}  // namespace brelo
