#include "token/nkiToken.h"

#include <map>

#include "core/Format.h"
#include "core/Text.h"

namespace brelo {

TNkiErrorTranslator NkiErrorTranslator;
TNkiPinInputProc NkiPinInputProc;

namespace {
constexpr std::int32_t kAccessDenied = 1;
constexpr std::int32_t kPinIncorrect = 160;
constexpr std::int32_t kPinInvalid = 161;
constexpr std::int32_t kPinLocked = 164;

/// The PIN up to its first zero character.
SecureString UpToZero(const SecureString& Pin) {
    const auto zero = Pin.find('\0');
    return zero == SecureString::npos ? Pin : SecureString(Pin.data(), zero);
}
}  // namespace

// ---- errors ----

std::string TnkiToken::ErrorText(std::int32_t Code) {
    std::string text = ReturnCodeName(static_cast<std::uint32_t>(Code));
    if (NkiErrorTranslator) {
        std::string translated;
        NkiErrorTranslator(text, translated);
        text = Code == kPinIncorrect ? Format(translated, {FTriesLeft}) : translated;
    }
    return text;
}

void TnkiToken::CheckResult(const std::string& /*Label*/) {
    const std::int32_t code = LastError();
    if (!Available() || code == 0) {
        return;
    }
    std::string text = ErrorText(code);
    switch (code) {
        case kAccessDenied:
            throw ExceptionNkiAccessDenied(kAccessDenied, text);
        case kPinIncorrect:
            throw ExceptionNkiBadPin(FTriesLeft, text);
        case kPinLocked:
            throw ExceptionNkiBlocked(kPinLocked, text);
        default:
            throw ExceptionNki(code, text);
    }
}

// ---- PINs ----

SecureString TnkiToken::RequestPin(std::int32_t TriesLeft, bool UserPin, bool Raw) {
    Assert(static_cast<bool>(FOnGetPin), "no PIN event");
    SecureString pin;
    if (!FPinEntryAllowed) {
        FLastError = kPinInvalid;
        CheckResult("RequestPin");
        return pin;
    }
    FOnGetPin(FName, TriesLeft, pin, UserPin, Raw);
    return pin;
}

SecureString TnkiToken::DerivePin(const SecureString& Text, bool UserPin) {
    return UserPin ? DeriveUserPin(Text) : DerivePuk(Text);
}

void TnkiToken::Login() {
    if (!Available()) {
        return;
    }
    FReady = false;
    SecureString candidate = !FPin.empty() ? FPin : RequestPin(-1, true, false);
    while (!candidate.empty()) {
        if (DoLogin(candidate, FTriesLeft)) {
            FPin = UpToZero(candidate);
            FReady = true;
            return;
        }
        if (LastError() != kPinIncorrect || FRaiseOnBadPin) {
            CheckResult("Login");
        }
        candidate = RequestPin(FTriesLeft, true, false);
    }
}

void TnkiToken::ChangePin(const SecureString& NewPin, const SecureString& OldPin,
                          SecureString& Result, bool Derive) {
    if (!Available()) {
        return;
    }
    const SecureString newPin = Derive ? DeriveUserPin(NewPin) : NewPin;
    SecureString oldPin;
    if (!OldPin.empty()) {
        oldPin = Derive ? DeriveUserPin(OldPin) : OldPin;
    } else {
        oldPin = !FPin.empty() ? FPin : RequestPin(-1, true, false);
    }
    if (oldPin == newPin) {
        return;
    }
    RunOpened("Смена PIN", IsOpen(), [&] {
        while (!oldPin.empty()) {
            if (DoChangePin(oldPin, newPin, FTriesLeft)) {
                FPin = newPin;
                Result = FPin;
                break;
            }
            if (LastError() != kPinIncorrect || !OldPin.empty()) {
                CheckResult("Смена PIN");
            }
            oldPin = RequestPin(FTriesLeft, true, false);
        }
    });
}

void TnkiToken::UnblockPin(const SecureString& NewPin, const SecureString& Puk,
                           SecureString& Result, bool Derive) {
    RunOpened(Format("Открытие устройства (разблокировка) %s", {FName}), IsOpen(), [&] {
        if (!Available()) {
            Result.clear();
            return;
        }
        const SecureString newPin = Derive ? DeriveUserPin(NewPin) : NewPin;
        if (Puk.empty()) {
            FLastError = kPinIncorrect;
            CheckResult("Разблокировка PIN");
        }
        const SecureString puk = Derive ? DerivePuk(Puk) : Puk;
        if (!DoUnblockPin(puk, newPin)) {
            CheckResult("Разблокировка PIN");
        }
        Result = newPin;
    });
}

// ---- opening and closing ----

void TnkiToken::Open(const SecureString& Pin, bool Raw) {
    if (!Available()) {
        return;
    }
    if (!DoOpen()) {
        CheckResult(Format("Открытие устройства %s", {FName}));
    }
    try {
        RefreshUID();
        FPin = Raw ? Pin : DeriveUserPin(Pin);
        Login();
        if (FReady) {
            LoadCells();
            UpdateReady();
        }
    } catch (...) {
        CloseQuietly();
        throw;
    }
}

void TnkiToken::Close() {
    if (Available() && IsOpen()) {
        if (!DoClose()) {
            FHandle = 0;
            CheckResult(Format("Закрытие устройства %s", {FName}));
        }
    }
    FHandle = 0;
}

void TnkiToken::CloseQuietly() noexcept {
    try {
        Close();
    } catch (...) {
        FHandle = 0;
    }
}

void TnkiToken::RefreshUID() {
    if (!DoGetUID(FUID)) {
        CheckResult("Получение UID");
    }
}

void TnkiToken::ReadUID() {
    if (Available() && DoOpen()) {
        try {
            RefreshUID();
        } catch (...) {
            CloseQuietly();
            throw;
        }
        Close();
    }
}

void TnkiToken::LoadCells() {
    if (Available()) {
        ReadCellTable();
    }
}

// ---- cells ----

const TnkiFileStruct& TnkiToken::CheckedCell(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(FCells.size())) {
        throw EOutOfResources(
            Format("Ячейка памяти %d на устройстве %s не найдена", {Index, FName}));
    }
    return FCells[static_cast<std::size_t>(Index)];
}

TnkiFileStruct TnkiToken::GetCell(int Index) const {
    return CheckedCell(Index);
}

void TnkiToken::ReadFile(int Index, TStream& Stream) {
    if (!Available()) {
        return;
    }
    TMemoryStream cell;
    if (!DoReadCell(Index, cell)) {
        CheckResult("Чтение файла");
    }
    cell.SetPosition(0);
    std::unique_ptr<TMemoryStream> plain;
    if (IsCompressed()) {
        plain = Decompress(cell);
    }
    TMemoryStream& result = plain ? *plain : cell;
    Stream.SetSize(0);
    Stream.SetPosition(0);
    Stream.WriteBytes(result.Bytes());
    SecureWipe(const_cast<char*>(cell.Bytes().data()), cell.Bytes().size());
    if (plain) {
        SecureWipe(const_cast<char*>(plain->Bytes().data()), plain->Bytes().size());
    }
}

void TnkiToken::WriteFile(int Index, TStream& Stream) {
    if (!Available()) {
        return;
    }
    const TnkiFileStruct& cell = CheckedCell(Index);
    std::unique_ptr<TMemoryStream> packed;
    if (IsCompressed()) {
        packed = Compress(Stream);
    }
    TStream& data = packed ? static_cast<TStream&>(*packed) : Stream;
    const std::int64_t size = data.Size();
    // A cell of unknown size (-1) is left to the device to refuse.
    if (cell.Size >= 0 && cell.Size < size) {
        throw EOutOfResources(
            Format("Блок для записи имеет размер %d байт, больший чем объем %d-й ячейки памяти "
                   "устройства (%d)",
                   {size, cell.FileId, cell.Size}));
    }
    data.SetPosition(0);
    if (!DoWriteCell(Index, data)) {
        CheckResult("Запись файла");
    }
}

// ---- TnkiTokenList ----

TnkiTokenList::~TnkiTokenList() {
    Clear();
}

void TnkiTokenList::Init(int Kind, int Filter, const TnkiGetPinEvent& OnGetPin) {
    SetOnGetPin(OnGetPin);
    Refresh(Kind, Filter);
}

void TnkiTokenList::Refresh(int Kind, int Filter) {
    Clear();
    Enumerate(Kind, Filter);
    if (FHasNativeTokens) {
        RemoveDuplicates();
    }
}

void TnkiTokenList::AddToken(const std::string& Name, const std::string& UID,
                             const TnkiTokenClass& Class) {
    for (const TItem& item : FItems) {
        if (SameText(item.Name, Name)) {
            return;
        }
    }
    std::unique_ptr<TnkiToken> token = Class.Create(Name, FOnGetPin, UID);
    FHasNativeTokens = FHasNativeTokens || token->Kind() < 2;
    FItems.push_back(TItem{Name, std::move(token)});
}

TnkiAddTokenProc TnkiTokenList::AddProc() {
    return [this](const std::string& Name, const std::string& UID, const TnkiTokenClass& Class) {
        AddToken(Name, UID, Class);
    };
}

TnkiToken& TnkiTokenList::Items(int Index) const {
    if (Index < 0 || Index >= Count()) {
        throw EListError(Format("Неверный индекс устройства: %d", {Index}));
    }
    return *FItems[static_cast<std::size_t>(Index)].Token;
}

void TnkiTokenList::Delete(int Index) {
    Assert(Index >= 0, "negative device index");
    Items(Index);
    FItems.erase(FItems.begin() + Index);
}

void TnkiTokenList::Clear() {
    while (!FItems.empty()) {
        FItems.erase(FItems.begin());
    }
    FHasNativeTokens = false;
}

void TnkiTokenList::SetOnGetPin(const TnkiGetPinEvent& OnGetPin) {
    FOnGetPin = OnGetPin;
    for (TItem& item : FItems) {
        item.Token->FOnGetPin = OnGetPin;
    }
}

void TnkiTokenList::RemoveDuplicates() {
    std::map<std::string, std::size_t> first;
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        TnkiToken& token = *FItems[i].Token;
        std::string key;
        for (char c : token.UID()) {
            if (c != '-') {
                key += c;
            }
        }
        // PKCS#11 serial numbers come blank-padded; native identifiers do not.
        key = UpperCase(Trim(key));
        auto [at, isNew] = first.emplace(key, i);
        token.FDeleteMark = 0;
        if (isNew) {
            continue;
        }
        TnkiToken& recorded = *FItems[at->second].Token;
        if (token.Kind() < 2) {
            token.FDeleteMark = TnkiToken::DeleteMark;
        } else if (recorded.Kind() < 2) {
            recorded.FDeleteMark = TnkiToken::DeleteMark;
        }
    }
    std::erase_if(
        FItems, [](const TItem& item) { return item.Token->FDeleteMark == TnkiToken::DeleteMark; });
}

}  // namespace brelo
