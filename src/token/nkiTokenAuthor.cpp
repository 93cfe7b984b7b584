#include "token/nkiTokenAuthor.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>

#include "core/Format.h"

namespace brelo {

namespace {

constexpr std::int32_t kPinRefused = 0xE0;
constexpr std::int32_t kPinIncorrect = 160;

/// The listing stops here even if a library never reports the empty name that ends it.
constexpr std::uint32_t kMaxDevices = 4096;

}  // namespace

std::int32_t TranslateNativeCode(std::int32_t NativeCode) {
    static const std::map<std::int32_t, std::int32_t> table = {
        {0, 0},    {1, 96},   {2, 84},   {3, 50},   {4, 182},   {32, 5},    {34, 5},    {35, 176},
        {36, 164}, {37, 179}, {38, 145}, {39, 160}, {160, 160}, {161, 160}, {224, 160}, {52, 2},
        {144, 2},  {253, 2},  {164, 1},  {251, 7},  {252, 6},   {254, 5},   {255, 48}};
    const auto found = table.find(NativeCode);
    return found != table.end() ? found->second : NativeCode;
}

std::string NativeUIDText(std::uint64_t UID) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (int nibble = 15; nibble >= 0; --nibble) {
        text += kDigits[(UID >> (nibble * 4)) & 0xF];
        if (nibble % 4 == 0 && nibble != 0) {
            text += '-';
        }
    }
    return text;
}

// ---- construction and listing ----

TnkiTokenAuthor::TnkiTokenAuthor(const std::string& Name, const std::string& UID)
    : TnkiTokenAuthor(Name, UID, NativeLibrary()) {}

TnkiTokenAuthor::TnkiTokenAuthor(const std::string& Name, const std::string& UID,
                                 const TNativeLibrary& Library)
    : TBreloUsbToken(Name, UID), FLibrary(Library) {}

TnkiTokenAuthor::~TnkiTokenAuthor() {
    CloseQuietly();
}

const TnkiTokenClass& TnkiTokenAuthor::TokenClass() {
    static const TnkiTokenClass cls{"TnkiTokenAuthor", NativeKind,
                                    &TnkiToken::Create<TnkiTokenAuthor>};
    return cls;
}

void TnkiTokenAuthor::EnumerateDevices(int /*Filter*/, const TnkiAddTokenProc& AddProc) {
    EnumerateDevicesOf(NativeLibrary(), AddProc);
}

void TnkiTokenAuthor::EnumerateDevicesOf(const TNativeLibrary& Library,
                                         const TnkiAddTokenProc& AddProc) {
    if (!Library.Available() || !AddProc) {
        return;
    }
    for (std::uint32_t index = 1; index <= kMaxDevices; ++index) {
        std::string name;
        Library.EnumDevices(index, name);
        if (name.empty()) {
            break;
        }
        std::string uid;
        bool counts = false;
        try {
            TnkiTokenAuthor probe(name, {}, Library);
            probe.ReadUID();
            counts = probe.LastError() == 0;
            uid = probe.UID();
        } catch (const Exception&) {
            counts = false;
        }
        if (!counts) {
            continue;
        }
        try {
            AddProc(name, uid, TokenClass());
        } catch (const ExceptionNki&) {
            // One device that cannot be taken on does not hide the others.
        }
    }
}

// ---- primitives ----

bool TnkiTokenAuthor::DoOpen() {
    nkiHandle handle = 0;
    const bool ok = Succeeded(FLibrary.OpenSessionEx(handle, FName));
    FHandle = ok ? handle : 0;
    return ok;
}

bool TnkiTokenAuthor::DoClose() {
    nkiHandle handle = Session();
    if (!Succeeded(FLibrary.CloseSessionEx(handle))) {
        return false;
    }
    return TBreloUsbToken::DoClose();
}

bool TnkiTokenAuthor::DoGetUID(std::string& UID) {
    std::uint64_t uid = 0;
    if (!Succeeded(FLibrary.GetUID(Session(), uid))) {
        return false;
    }
    UID = NativeUIDText(uid);
    return true;
}

bool TnkiTokenAuthor::PinResult(std::uint32_t Code, std::int32_t& TriesLeft) {
    // Only E0 to EF is a refusal: F0 to FF are the library's own failures (251 bad argument,
    // 255 device error...), which must not pass for a wrong PIN with 11 to 15 tries left.
    if ((Code & 0xF0) == static_cast<std::uint32_t>(kPinRefused)) {
        TriesLeft = static_cast<std::int32_t>(Code & 0x0F);
        FLastError = kPinRefused;
        return false;
    }
    return Succeeded(Code);
}

bool TnkiTokenAuthor::DoLogin(const SecureString& Pin, std::int32_t& TriesLeft) {
    return PinResult(FLibrary.CheckPINEx(Session(), Pin), TriesLeft);
}

bool TnkiTokenAuthor::DoChangePin(const SecureString& OldPin, const SecureString& NewPin,
                                  std::int32_t& TriesLeft) {
    return PinResult(FLibrary.ChangePINEx(Session(), OldPin, NewPin, NKI_CHANGE_PIN), TriesLeft);
}

bool TnkiTokenAuthor::DoChangePuk(const SecureString& OldPuk, const SecureString& NewPuk) {
    return Succeeded(FLibrary.ChangePINEx(Session(), OldPuk, NewPuk, NKI_CHANGE_PUK));
}

bool TnkiTokenAuthor::DoUnblockPin(const SecureString& Puk, const SecureString& NewPin) {
    return Succeeded(FLibrary.ChangePINEx(Session(), Puk, NewPin, NKI_UNBLOCK_PIN));
}

bool TnkiTokenAuthor::ReadCellTable() {
    if (!Available()) {
        return false;
    }
    FCells.assign(4, TnkiFileStruct{});
    for (std::int32_t i = 0; i < 4; ++i) {
        TnkiFileStruct& cell = FCells[static_cast<std::size_t>(i)];
        cell.FileId = i + 1;
        cell.Size = -1;
        FLastError = static_cast<std::int32_t>(
            FLibrary.GetFileSizeEx(Session(), static_cast<std::uint32_t>(i + 1), cell.Size));
        CheckResult("Получение размеров области данных");
    }
    std::erase_if(FCells, [](const TnkiFileStruct& cell) { return cell.Size < 0; });
    return true;
}

bool TnkiTokenAuthor::DoReadCell(int Index, TStream& Stream) {
    const TnkiFileStruct& cell = CheckedCell(Index);
    SecureString buffer(static_cast<std::size_t>(cell.Size), '\0');
    if (!Succeeded(FLibrary.ReadFileEx(Session(), static_cast<std::uint32_t>(cell.FileId),
                                       buffer.data(), static_cast<std::uint32_t>(buffer.size())))) {
        return false;
    }
    Stream.SetSize(0);
    Stream.SetPosition(0);
    Stream.WriteBuffer(buffer.data(), static_cast<std::int64_t>(buffer.size()));
    return true;
}

bool TnkiTokenAuthor::DoWriteCell(int Index, TStream& Stream) {
    const TnkiFileStruct& cell = CheckedCell(Index);
    const std::int64_t size = Stream.Size();
    if (size > std::numeric_limits<std::int32_t>::max()) {
        FLastError = NKI_E_ARGUMENTS;
        return false;
    }
    SecureString buffer(static_cast<std::size_t>(size), '\0');
    Stream.SetPosition(0);
    Stream.ReadBuffer(buffer.data(), size);
    return Succeeded(FLibrary.WriteFileEx(Session(), static_cast<std::uint32_t>(cell.FileId),
                                          buffer.data(),
                                          static_cast<std::uint32_t>(buffer.size())));
}

// ---- texts ----

std::string TnkiTokenAuthor::ErrorText(std::int32_t Code) {
    std::string text = TBreloUsbToken::ErrorText(Code);
    if (text.empty()) {
        text = FLibrary.ErrorMsgLang(static_cast<std::uint32_t>(FLastError));
    }
    return text;
}

// ---- re-initialisation ----

void TnkiTokenAuthor::Reinitialize(SecureString& Pin, SecureString& Puk,
                                   const std::string& /*Label*/,
                                   const SecureString& /*CurrentPuk*/) {
    if (!Available()) {
        return;
    }
    const bool wasOpen = IsOpen();
    if (wasOpen) {
        Close();
    }
    RunOpened("Открытие устройства", wasOpen, [&] {
        const SecureString pin = DerivePin(Pin, true);
        const SecureString puk = DerivePin(Puk, false);
        FLastError = static_cast<std::int32_t>(FLibrary.ReInitializeEx(Session(), pin, puk, FName));
        CheckResult("Переинициализация");
        Pin = pin;
        Puk = puk;
        FPin = pin;
        try {
            Login();
        } catch (const ExceptionNki& e) {
            if (e.Code == kPinIncorrect) {
                const std::string info = FLibrary.Info();
                throw Exception(
                    Format("Непредвиденная ошибка: не удается открыть токен \"%S\" с вновь "
                           "установленным PIN-кодом. "
                           "Наиболее вероятная причина: неправильная версия nkicnt.dll;\r\n"
                           "Отправьте данное сообщение разработчикам: %S",
                           {FName, info}));
            }
        }
        LoadCells();
        UpdateReady();
        const std::int32_t size = CheckedCell(0).Size;
        TMemoryStream zeros(ByteString(static_cast<std::size_t>(size), '\0'));
        WriteFile(0, zeros);
    });
}

// ---- registration ----

void RegisterNativeTokenKind() {
    std::vector<TBreloTokenKind>& kinds = BreloTokenKinds();
    const bool present = std::any_of(kinds.begin(), kinds.end(), [](const TBreloTokenKind& k) {
        return k.Kind == TnkiTokenAuthor::NativeKind;
    });
    if (!present) {
        kinds.insert(kinds.begin(), TBreloTokenKind{TnkiTokenAuthor::NativeKind,
                                                    &TnkiTokenAuthor::EnumerateDevices});
    }
    NativeLibrary();  // the binding is made at start-up, as the program begins
}

}  // namespace brelo
