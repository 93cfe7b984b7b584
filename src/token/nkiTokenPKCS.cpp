#include "token/nkiTokenPKCS.h"

#include <algorithm>
#include <array>
#include <limits>

#include "core/Format.h"
#include "core/Text.h"
#include "token/TokenBlock.h"

namespace brelo {

namespace {

/// The vendor library objects, one per kind. Deliberately never destroyed at exit: the
/// libraries' own static objects may be gone by then, so only ReleasePKCSLibraries, called
/// while the program still runs, finalises and unloads them.
std::array<std::unique_ptr<TnkiPKCS>, 10>& Libraries() {
    static auto& libraries = *new std::array<std::unique_ptr<TnkiPKCS>, 10>();
    return libraries;
}

template <typename L>
TnkiPKCS* LibraryOfKind(std::uint8_t Kind) {
    std::unique_ptr<TnkiPKCS>& library = Libraries()[Kind];
    if (!library) {
        library = CreatePKCSLibrary<L>();
    }
    return library.get();
}

std::int32_t CounterValue(CK_ULONG Value) {
    if (Value == CK_UNAVAILABLE_INFORMATION || Value == CK_EFFECTIVELY_INFINITE) {
        return -1;
    }
    return static_cast<std::int32_t>(std::min<CK_ULONG>(Value, std::numeric_limits<std::int32_t>::max()));
}

const SecureString kNoPuk("NO_PUK");

}  // namespace

void ReleasePKCSLibraries() {
    for (auto& library : Libraries()) {
        library.reset();
    }
}

// ---- life and class operations ----

TnkiTokenPKCS::~TnkiTokenPKCS() { CloseQuietly(); }

bool TnkiTokenPKCS::Available() const { return FLibrary != nullptr && FLibrary->IsUsable(); }

SecureString TnkiTokenPKCS::DefaultPuk() { return SecureString(FTraits.DefaultPuk, FTraits.DefaultPukLength); }

void TnkiTokenPKCS::EnumerateDevicesOf(TnkiPKCS* Library, int Filter, const TnkiAddTokenProc& AddProc,
                                       const TnkiTokenClass& Class) {
    if (!AddProc || Library == nullptr || !Library->IsUsable()) {
        return;
    }
    TPKCSDeviceInfoArray infos;
    if (Library->EnumerateTokens(infos, Filter) != CKR_OK) {
        return;
    }
    for (const CK_TOKEN_INFO& info : infos) {
        AddProc(Trim(TnkiPKCS::BytesToStr(info.label, sizeof info.label - 1)),
                TnkiPKCS::BytesToStr(info.serialNumber, sizeof info.serialNumber - 1), Class);
    }
}

// ---- primitives ----

bool TnkiTokenPKCS::DoOpen() {
    const bool ok = Succeeded(FLibrary->OpenSessionBySerial(FSession, FSlot, FUID));
    FHandle = FSession.Handle();
    return ok;
}

bool TnkiTokenPKCS::DoClose() {
    // The session is forgotten whatever the library answers, so it is never closed twice.
    const bool ok = Succeeded(FLibrary->CloseSession(FSession));
    return ok && TBreloUsbToken::DoClose();
}

bool TnkiTokenPKCS::DoLogin(const SecureString& Pin, std::int32_t& TriesLeft) {
    return Succeeded(FLibrary->UserLogin(FSession.Handle(), FSlot, Pin, TriesLeft));
}

bool TnkiTokenPKCS::DoChangePin(const SecureString& OldPin, const SecureString& NewPin, std::int32_t&) {
    return Succeeded(FLibrary->SetUserPin(FSession.Handle(), OldPin, NewPin));
}

bool TnkiTokenPKCS::DoChangePuk(const SecureString& OldPuk, const SecureString& NewPuk) {
    return Succeeded(FLibrary->ChangeSOPin(FSession.Handle(), OldPuk, NewPuk));
}

bool TnkiTokenPKCS::DoUnblockPin(const SecureString& Puk, const SecureString& NewPin) {
    // InitUserPin closes every session of the slot, ours included.
    FSession.Forget();
    FHandle = 0;
    return Succeeded(FLibrary->InitUserPin(FSlot, Puk, NewPin));
}

bool TnkiTokenPKCS::DoGetUID(std::string& UID) {
    UID = FUID;
    FLastError = 0;
    return true;
}

bool TnkiTokenPKCS::DoReadCell(int, TStream& Stream) {
    return Succeeded(FLibrary->ReadDataObject(FSession.Handle(), Stream));
}

bool TnkiTokenPKCS::DoWriteCell(int, TStream& Stream) {
    return Succeeded(FLibrary->WriteDataObject(FSession.Handle(), Stream));
}

// ---- information ----

CK_TOKEN_INFO TnkiTokenPKCS::ReadTokenInfo() {
    CK_TOKEN_INFO info{};
    const CK_RV rv = IsOpen() ? FLibrary->GetTokenInfoBySlot(FSlot, info) : FLibrary->GetTokenInfoBySerial(FUID, info);
    FLastError = static_cast<std::int32_t>(rv);
    CheckResult("SafeGetTokenInfo");
    return info;
}

bool TnkiTokenPKCS::ReadCellTable() {
    if (!Available()) {
        return false;
    }
    FCells = {TnkiFileStruct{0, -1, {}}};
    FCells[0].Size = FTraits.FixedCellSize > 0 ? FTraits.FixedCellSize : CounterValue(ReadTokenInfo().ulTotalPrivateMemory);
    return true;
}

std::string TnkiTokenPKCS::ErrorText(std::int32_t Code) {
    std::string text = TBreloUsbToken::ErrorText(Code);
    return text.empty() ? Format("PKCS error %X", {Code}) : text;
}

std::string TnkiTokenPKCS::GetManufacturer() {
    const CK_TOKEN_INFO info = ReadTokenInfo();
    return TnkiPKCS::BytesToStr(info.manufacturerID, sizeof info.manufacturerID - 1);
}

std::string TnkiTokenPKCS::GetModel() {
    const CK_TOKEN_INFO info = ReadTokenInfo();
    return TnkiPKCS::BytesToStr(info.model, sizeof info.model - 1);
}

std::string TnkiTokenPKCS::GetDescription() {
    const CK_TOKEN_INFO info = ReadTokenInfo();
    return Format("%s %s v. h%d.%d/f%d.%d, %d aaeo",
                  {Trim(TnkiPKCS::BytesToStr(info.manufacturerID, sizeof info.manufacturerID - 1)),
                   Trim(TnkiPKCS::BytesToStr(info.model, sizeof info.model - 1)), info.hardwareVersion.major,
                   info.hardwareVersion.minor, info.firmwareVersion.major, info.firmwareVersion.minor,
                   CounterValue(info.ulTotalPrivateMemory)});
}

bool TnkiTokenPKCS::IsInitialized() { return (ReadTokenInfo().flags & CKF_TOKEN_INITIALIZED) != 0; }

// ---- re-initialisation ----

std::int32_t TnkiTokenPKCS::ZeroFillSize(const CK_TOKEN_INFO& Info) {
    const auto free = static_cast<std::int32_t>(Info.ulFreePrivateMemory);
    const auto total = static_cast<std::int32_t>(Info.ulTotalPrivateMemory);
    if (free < 0 || total <= 0 || free > total) {
        return 3072;
    }
    return std::max<std::int32_t>(2, std::min<std::int32_t>(3072, total - free - 1));
}

void TnkiTokenPKCS::ZeroFillCell() {
    TMemoryStream zeros(ByteString(static_cast<std::size_t>(ZeroFillSize(ReadTokenInfo())), '\0'));
    WriteFile(0, zeros);
}

void TnkiTokenPKCS::ReinitializeToken(const std::string& Label, SecureString& Pin, const SecureString& CurrentPuk,
                                      SecureString& NewPuk) {
    if (!Available()) {
        return;
    }
    Assert(!(NeedsCurrentPuk() && CurrentPuk.empty()),
           std::string("Current PUK needed to ReInitialize ") + typeid(*this).name());
    const bool wasOpen = IsOpen();
    if (wasOpen) {
        Close();
    }
    FLastError = static_cast<std::int32_t>(FLibrary->InitToken(FSlot, NewPuk, Pin, Label, FUID, CurrentPuk));
    CheckResult("Переинициализация");
    if (!DoOpen()) {
        CheckResult("Открытие устройства");
    }
    try {
        FPin = SecureString(Trim(Pin.str()));
        Login();
        LoadCells();
        UpdateReady();
    } catch (...) {
        CloseQuietly();
        throw;
    }
    if (!wasOpen) {
        Close();
    }
}

void TnkiTokenPKCS::Reinitialize(SecureString& Pin, SecureString& Puk, const std::string& Label,
                                 const SecureString& CurrentPuk) {
    SecureString newPin = DerivePinCode(Pin);
    SecureString newPuk = DerivePukCode(Puk);
    const bool usePuk = HasPuk() && CurrentPuk != kNoPuk;
    SecureString current = CurrentPuk;
    if (!CurrentPuk.empty() && CurrentPuk != kNoPuk) {
        if (CurrentPuk != DefaultPuk()) {
            current = DerivePukCode(CurrentPuk);
        }
    } else if ((!CanReinitialize() && NeedsCurrentPuk()) ||
               ((Kind() == 5 || Kind() == 8) && IsInitialized() && current.empty())) {
        const CK_FLAGS flags = ReadTokenInfo().flags;
        const CK_FLAGS finalTry = usePuk ? CKF_SO_PIN_FINAL_TRY : CKF_USER_PIN_FINAL_TRY;
        const CK_FLAGS countLow = usePuk ? CKF_SO_PIN_COUNT_LOW : CKF_USER_PIN_COUNT_LOW;
        const std::int32_t tries = (flags & finalTry) != 0 ? 1 : (flags & countLow) != 0 ? 2 : -1;
        current = RequestPin(tries, !usePuk, true);
    }
    if (CanReinitialize()) {
        ReinitializeToken(Label, newPin, current, newPuk);
    } else if (usePuk) {
        FSession.Forget();
        FHandle = 0;
        FLastError = static_cast<std::int32_t>(FLibrary->ResetUserPin(FSlot, FUID, current, newPin, newPuk));
        if (Puk.empty()) {
            newPuk = current;
        }
        CheckResult("Повторная инициализация ранее связанного устройства");
    } else {
        Open(current, true);
        CheckResult("Открытие устройства");
        FLastError = static_cast<std::int32_t>(FLibrary->ChangeUserPin(FSession.Handle(), current, newPin));
        newPuk = kNoPuk;
        CheckResult("Повторная инициализация ранее связанного устройства");
    }
    Pin = SecureString(Trim(newPin.str()));
    Puk = SecureString(Trim(newPuk.str()));
    if (!IsOpen()) {
        Open(Pin, true);
    }
    ZeroFillCell();
}

// ---- vendor classes ----

namespace {
constexpr char kPuk8[] = "36142957";
constexpr char kPuk10[] = "8160472953";
constexpr char kPukRsa[] = "6842";
constexpr char kPukGemalto[] = "ZZZZZZZZZZZZZZZZZZZZZZZZ";  // 24 bytes of 5A
#define BRELO_PUK(text) text, sizeof(text) - 1
}  // namespace

#define BRELO_PKCS_TOKEN_BODY(Class, Library, ...)                                                     \
    Class::Class(const std::string& Name, const std::string& UID)                                      \
        : TnkiTokenPKCS(Name, UID, StaticLibrary(), TPKCSTokenTraits{__VA_ARGS__}) {}                  \
    TnkiPKCS* Class::StaticLibrary() { return LibraryOfKind<Library>(TPKCSTokenTraits{__VA_ARGS__}.Kind); } \
    const TnkiTokenClass& Class::TokenClass() {                                                        \
        static const TnkiTokenClass tokenClass{#Class, TPKCSTokenTraits{__VA_ARGS__}.Kind,              \
                                               &TnkiToken::Create<Class>};                             \
        return tokenClass;                                                                             \
    }

//                    class                library          kind reinit puk   needCur compr  cell   default PUK
BRELO_PKCS_TOKEN_BODY(TnkiTokenAuthorPKCS, TnkiAuthorPKCS,  2,   true,  true, false,  false, 15360, BRELO_PUK(kPuk8))
BRELO_PKCS_TOKEN_BODY(TnkiTokenSafeNet,    TnkiSafeNet,     3,   true,  true, false,  false, 0,     BRELO_PUK(kPuk8))
BRELO_PKCS_TOKEN_BODY(TnkiTokenSafeSIGN,   TnkiSafeSIGN,    4,   false, true, false,  false, 0,     BRELO_PUK(kPuk8))
BRELO_PKCS_TOKEN_BODY(TnkiTokenJaCarta,    TnkiJaCarta,     5,   true,  true, true,   false, 0,     BRELO_PUK(kPuk10))
BRELO_PKCS_TOKEN_BODY(TnkiTokenRSA,        TnkiRsaPKCS,     6,   false, false, true,  true,  0,     BRELO_PUK(kPukRsa))
BRELO_PKCS_TOKEN_BODY(TnkiTokenVasco,      TnkiVascoPKCS,   7,   false, true, true,   false, 0,     BRELO_PUK(kPuk8))
BRELO_PKCS_TOKEN_BODY(TnkiTokenAvest,      TnkiAvestPKCS,   8,   true,  true, true,   false, 15360, BRELO_PUK(kPuk10))
BRELO_PKCS_TOKEN_BODY(TnkiTokenGemlto,     TnkiGemaltoPKCS, 9,   true,  true, true,   false, 12160, BRELO_PUK(kPukGemalto))

CK_TOKEN_INFO TnkiTokenAuthorPKCS::ReadTokenInfo() {
    CK_TOKEN_INFO info = TnkiTokenPKCS::ReadTokenInfo();
    info.ulTotalPrivateMemory = 18432;
    return info;
}

CK_TOKEN_INFO TnkiTokenJaCarta::ReadTokenInfo() {
    CK_TOKEN_INFO info = TnkiTokenPKCS::ReadTokenInfo();
    info.ulTotalPrivateMemory = info.ulFreePrivateMemory;
    return info;
}

bool TnkiTokenJaCarta::DoUnblockPin(const SecureString& Puk, const SecureString& NewPin) {
    SecureString pin = NewPin;
    SecureString newPuk = Puk;
    ReinitializeToken(FName, pin, Puk, newPuk);
    return true;
}

SecureString TnkiTokenRSA::RequestPin(std::int32_t TriesLeft, bool UserPin, bool) {
    Assert(static_cast<bool>(FOnGetPin), "no PIN event");
    SecureString pin;
    FOnGetPin(FName, TriesLeft, pin, UserPin, true);
    return pin;
}

void TnkiTokenRSA::WriteFile(int Index, TStream& Stream) {
    TBreloUsbTokenFileDataHolder holder;
    TokenBlock::Parse(Stream, holder);
    for (int i = 10; i <= TBreloUsbTokenFileDataHolder::HighIndex; ++i) {
        holder.SetData(i, {});
    }
    TMemoryStream block(TokenBlock::Serialize(holder));
    TnkiTokenPKCS::WriteFile(Index, block);
}

void TnkiTokenRSA::Reinitialize(SecureString& Pin, SecureString& Puk, const std::string&, const SecureString&) {
    if (!IsOpen()) {
        if (!NkiPinInputProc) {
            throw Exception("Не найдена процедура ввода PIN-кода");
        }
        SecureString entered;
        if (!NkiPinInputProc(FName, entered)) {
            std::string text = "CancelInsertPinCode";
            if (NkiErrorTranslator) {
                std::string translated;
                NkiErrorTranslator(text, translated);
                text = translated;
            }
            throw Exception(text);
        }
        try {
            Open(entered, true);
        } catch (const ExceptionNkiBlocked&) {
            throw ExceptionNki(164, "Устройство заблокировано. Для разблокировки воспользуйтесь утилитой "
                                    "\"RSA Control Center\" (меню PIN \\ Unblock Your PIN)");
        }
    }
    if (!IsOpen()) {
        return;
    }
    const SecureString newPin = DerivePinCode(Pin);
    FLastError = static_cast<std::int32_t>(FLibrary->ChangeUserPin(FSession.Handle(), FPin, newPin));
    CheckResult("RenewWithPIN");
    const std::int32_t size = FCells.empty() ? 0 : std::max<std::int32_t>(0, FCells[0].Size - 208);
    TMemoryStream zeros(ByteString(static_cast<std::size_t>(size), '\0'));
    FLastError = static_cast<std::int32_t>(FLibrary->WriteDataObject(FSession.Handle(), zeros));
    CheckResult("nkiTokenRSA.AIDF");
    Pin = SecureString(Trim(newPin.str()));
    Puk = kNoPuk;
}

void RegisterPKCSTokenKinds() {
    std::vector<TBreloTokenKind>& kinds = BreloTokenKinds();
    const auto has = [&](std::uint8_t kind) {
        return std::any_of(kinds.begin(), kinds.end(), [&](const TBreloTokenKind& k) { return k.Kind == kind; });
    };
    const TBreloTokenKind pkcs[] = {
        {2, &TnkiTokenAuthorPKCS::EnumerateDevices}, {3, &TnkiTokenSafeNet::EnumerateDevices},
        {4, &TnkiTokenSafeSIGN::EnumerateDevices},   {5, &TnkiTokenJaCarta::EnumerateDevices},
        {6, &TnkiTokenRSA::EnumerateDevices},        {7, &TnkiTokenVasco::EnumerateDevices},
        {8, &TnkiTokenAvest::EnumerateDevices},      {9, &TnkiTokenGemlto::EnumerateDevices}};
    for (const TBreloTokenKind& kind : pkcs) {
        if (!has(kind.Kind)) {
            kinds.push_back(kind);
        }
    }
    std::sort(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) { return a.Kind < b.Kind; });
}

}  // namespace brelo
