#include "token/nkiPKCSAPI.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "core/Text.h"

namespace brelo {

namespace {

constexpr CK_BBOOL kTrue = CK_TRUE;
constexpr CK_OBJECT_CLASS kDataClass = CKO_DATA;
constexpr char kApplication[] = "Brelo";
constexpr char kLabel[] = "BreloKeys";
constexpr char kInitialValue[] = "00000000";
constexpr CK_FLAGS kSessionFlags = CKF_SERIAL_SESSION | CKF_RW_SESSION;

CK_UTF8CHAR_PTR PinPtr(const SecureString& Pin) {
    return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(Pin.data()));
}

CK_ATTRIBUTE Attribute(CK_ATTRIBUTE_TYPE Type, const void* Value, std::size_t Length) {
    return CK_ATTRIBUTE{Type, const_cast<void*>(Value), static_cast<CK_ULONG>(Length)};
}

/// The five attributes by which the key-storage object is found, in this order.
std::vector<CK_ATTRIBUTE> DataObjectTemplate() {
    return {Attribute(CKA_CLASS, &kDataClass, sizeof kDataClass),
            Attribute(CKA_TOKEN, &kTrue, sizeof kTrue),
            Attribute(CKA_PRIVATE, &kTrue, sizeof kTrue),
            Attribute(CKA_APPLICATION, kApplication, sizeof kApplication - 1),
            Attribute(CKA_LABEL, kLabel, sizeof kLabel - 1)};
}

std::string SerialText(const CK_TOKEN_INFO& Info) {
    return TnkiPKCS::BytesToStr(Info.serialNumber, sizeof Info.serialNumber - 1);
}

}  // namespace

// ---- TPkcsSession ----

TPkcsSession::TPkcsSession(TPkcsSession&& Other) noexcept
    : FFunctions(Other.FFunctions), FHandle(std::exchange(Other.FHandle, CK_INVALID_HANDLE)) {}

TPkcsSession& TPkcsSession::operator=(TPkcsSession&& Other) noexcept {
    if (this != &Other) {
        Close();
        FFunctions = Other.FFunctions;
        FHandle = std::exchange(Other.FHandle, CK_INVALID_HANDLE);
    }
    return *this;
}

CK_RV TPkcsSession::Close() noexcept {
    if (!IsOpen() || FFunctions == nullptr) {
        return CKR_OK;
    }
    const CK_SESSION_HANDLE handle = std::exchange(FHandle, CK_INVALID_HANDLE);
    FFunctions->C_Logout(handle);
    return FFunctions->C_CloseSession(handle);
}

// ---- TnkiPKCS: life ----

TnkiPKCS::~TnkiPKCS() {
    // The library is released at the end of the run only; finalising first lets it drop its
    // state before its code is unmapped.
    if (FFunctionList != nullptr) {
        FFunctionList->C_Finalize(nullptr);
    }
}

std::string TnkiPKCS::LinuxLibraryName(const std::string& WindowsName) {
    std::string base = WindowsName;
    if (base.size() > 4 && SameText(base.substr(base.size() - 4), ".dll")) {
        base.resize(base.size() - 4);
    }
    return base.empty() ? std::string() : "lib" + base + ".so";
}

std::string TnkiPKCS::PlatformLibraryName() const {
    return LinuxLibraryName(LibraryName());
}

void TnkiPKCS::LoadVendorLibrary() {
    const std::string name = PlatformLibraryName();
    if (name.empty()) {
        return;
    }
    TDynamicLibrary library(name);
    if (!library.Loaded()) {
        return;
    }
    auto getList = reinterpret_cast<CK_C_GetFunctionList>(library.Symbol("C_GetFunctionList"));
    CK_FUNCTION_LIST* list = nullptr;
    if (getList == nullptr || getList(&list) != CKR_OK || list == nullptr) {
        return;
    }
    // No locking callbacks: every call comes from one thread.
    if (list->C_Initialize(nullptr) != CKR_OK) {
        return;
    }
    FLibrary = std::move(library);
    FGetFunctionList = getList;
    FFunctionList = list;
}

// ---- listing and finding ----

std::string TnkiPKCS::BytesToStr(const unsigned char* Bytes, int HighIndex, bool AsNumbers) {
    std::string text;
    for (int i = 0; i <= HighIndex; ++i) {
        text += AsNumbers ? std::to_string(Bytes[i]) : std::string(1, static_cast<char>(Bytes[i]));
    }
    return text;
}

bool TnkiPKCS::ManufacturerMatches(const std::string& Text) const {
    const std::string upper = UpperCase(Text);
    return std::any_of(FManufacturers.begin(), FManufacturers.end(), [&](const std::string& f) {
        return upper.find(UpperCase(f)) != std::string::npos;
    });
}

CK_RV TnkiPKCS::PresentSlots(std::vector<CK_SLOT_ID>& Slots, bool RetryEmpty) {
    Slots.clear();
    CK_ULONG count = 0;
    CK_RV rv = FFunctionList->C_GetSlotList(CK_TRUE, nullptr, &count);
    if (rv == CKR_OK && count == 0 && RetryEmpty) {
        // Some readers report their tokens only on the second question.
        std::this_thread::sleep_for(std::chrono::milliseconds(51));
        rv = FFunctionList->C_GetSlotList(CK_TRUE, nullptr, &count);
    }
    if (rv != CKR_OK || count == 0) {
        return rv;
    }
    Slots.resize(count);
    rv = FFunctionList->C_GetSlotList(CK_TRUE, Slots.data(), &count);
    Slots.resize(rv == CKR_OK ? count : 0);
    return rv;
}

CK_RV TnkiPKCS::EnumerateTokens(TPKCSDeviceInfoArray& Infos, int Filter) {
    Infos.clear();
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    std::vector<CK_SLOT_ID> slots;
    const CK_RV rv = PresentSlots(slots, true);
    for (CK_SLOT_ID slot : slots) {
        // A slot that does not answer (a token being pulled out) hides only itself.
        CK_TOKEN_INFO info{};
        if (FFunctionList->C_GetTokenInfo(slot, &info) != CKR_OK) {
            continue;
        }
        const std::string maker =
            Trim(BytesToStr(info.manufacturerID, sizeof info.manufacturerID - 1));
        const bool initialised = (info.flags & CKF_TOKEN_INITIALIZED) != 0;
        const bool admitted =
            Filter == 0 || (Filter == 1 && initialised) || (Filter == 2 && !initialised);
        if (admitted && ManufacturerMatches(maker)) {
            Infos.push_back(info);
        }
    }
    return rv;
}

CK_RV TnkiPKCS::FindSlotBySerial(CK_SLOT_ID& Slot, const std::string& Serial) {
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    std::vector<CK_SLOT_ID> slots;
    CK_RV rv = PresentSlots(slots, false);
    bool found = false;
    for (CK_SLOT_ID slot : slots) {
        CK_TOKEN_INFO info{};
        rv = FFunctionList->C_GetTokenInfo(slot, &info);
        if (rv == CKR_OK && SerialText(info) == Serial) {
            Slot = slot;
            found = true;
        }
    }
    // A slot found stands even when a later slot failed to answer; without one, nothing
    // may go on with whatever slot the caller held before.
    if (found) {
        return CKR_OK;
    }
    return rv != CKR_OK ? rv : CKR_TOKEN_NOT_PRESENT;
}

CK_RV TnkiPKCS::OpenSessionBySerial(TPkcsSession& Session, CK_SLOT_ID& Slot,
                                    const std::string& Serial) {
    CK_RV rv = FindSlotBySerial(Slot, Serial);
    if (rv != CKR_OK) {
        return rv;
    }
    CK_SESSION_HANDLE handle = CK_INVALID_HANDLE;
    rv = FFunctionList->C_OpenSession(Slot, kSessionFlags, nullptr, nullptr, &handle);
    if (rv == CKR_OK) {
        Session = TPkcsSession(FFunctionList, handle);
    }
    return rv;
}

CK_RV TnkiPKCS::GetTokenInfoBySlot(CK_SLOT_ID Slot, CK_TOKEN_INFO& Info) {
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    return FFunctionList->C_GetTokenInfo(Slot, &Info);
}

CK_RV TnkiPKCS::GetTokenInfoBySerial(const std::string& Serial, CK_TOKEN_INFO& Info) {
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    std::vector<CK_SLOT_ID> slots;
    CK_RV rv = PresentSlots(slots, false);
    for (CK_SLOT_ID slot : slots) {
        CK_TOKEN_INFO info{};
        rv = FFunctionList->C_GetTokenInfo(slot, &info);
        if (rv == CKR_OK && SerialText(info) == Serial) {
            Info = info;
            return CKR_OK;
        }
    }
    return rv != CKR_OK ? rv : CKR_TOKEN_NOT_PRESENT;
}

// ---- logins and PINs ----

CK_RV TnkiPKCS::LoginAs(CK_SESSION_HANDLE Session, CK_USER_TYPE User, const SecureString& Pin) {
    return FFunctionList->C_Login(Session, User, PinPtr(Pin), Pin.size());
}

CK_RV TnkiPKCS::UserLogin(CK_SESSION_HANDLE Session, CK_SLOT_ID Slot, const SecureString& Pin,
                          std::int32_t& TriesLeft) {
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    CK_RV rv = LoginAs(Session, CKU_USER, Pin);
    if (rv == CKR_USER_ALREADY_LOGGED_IN && FFunctionList->C_Logout(Session) == CKR_OK) {
        rv = LoginAs(Session, CKU_USER, Pin);
    }
    if (rv != CKR_OK) {
        CK_TOKEN_INFO info{};
        FFunctionList->C_GetTokenInfo(Slot, &info);
        TriesLeft = (info.flags & CKF_USER_PIN_FINAL_TRY) != 0 ? 1 : 2;
    }
    return rv;
}

CK_RV TnkiPKCS::SetUserPin(CK_SESSION_HANDLE Session, const SecureString& OldPin,
                           const SecureString& NewPin) {
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    CK_RV rv = LoginAs(Session, CKU_USER, OldPin);
    if (rv == CKR_USER_ALREADY_LOGGED_IN) {
        rv = CKR_OK;
    } else if (rv == CKR_USER_ANOTHER_ALREADY_LOGGED_IN) {
        rv = FFunctionList->C_Logout(Session);
        if (rv == CKR_OK) {
            rv = LoginAs(Session, CKU_USER, OldPin);
        }
    }
    if (rv != CKR_OK) {
        return rv;
    }
    return FFunctionList->C_SetPIN(Session, PinPtr(OldPin), OldPin.size(), PinPtr(NewPin),
                                   NewPin.size());
}

CK_RV TnkiPKCS::ChangeSOPin(CK_SESSION_HANDLE Session, const SecureString& OldSOPin,
                            const SecureString& NewSOPin) {
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    const SecureString oldPin = AdminPin(OldSOPin);
    const SecureString newPin = AdminPin(NewSOPin);
    CK_RV rv = LoginAs(Session, CKU_SO, oldPin);
    if (rv == CKR_USER_ALREADY_LOGGED_IN) {
        rv = CKR_OK;
    } else if (rv == CKR_USER_ANOTHER_ALREADY_LOGGED_IN) {
        rv = FFunctionList->C_Logout(Session);
        if (rv == CKR_OK) {
            rv = LoginAs(Session, CKU_SO, oldPin);
        }
    }
    if (rv != CKR_OK) {
        return rv;
    }
    rv = FFunctionList->C_SetPIN(Session, PinPtr(oldPin), oldPin.size(), PinPtr(newPin),
                                 newPin.size());
    FFunctionList->C_Logout(Session);
    return rv;
}

CK_RV TnkiPKCS::InitUserPin(CK_SLOT_ID Slot, const SecureString& SOPin,
                            const SecureString& UserPin) {
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    TPkcsSession session;
    CK_RV rv = OpenSoleSession(Slot, session);
    if (rv != CKR_OK) {
        return rv;
    }
    const CK_SESSION_HANDLE handle = session.Handle();
    const SecureString soPin = AdminPin(SOPin);
    rv = LoginAs(handle, CKU_SO, soPin);
    if (rv == CKR_OK) {
        rv = FFunctionList->C_InitPIN(handle, PinPtr(UserPin), UserPin.size());
    }
    session.Close();
    return rv;
}

CK_RV TnkiPKCS::ChangeSOPinOnSlot(CK_SLOT_ID Slot, const SecureString& OldSOPin,
                                  const SecureString& NewSOPin) {
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    TPkcsSession session;
    const CK_RV rv = OpenSoleSession(Slot, session);
    if (rv != CKR_OK) {
        return rv;
    }
    return ChangeSOPin(session.Handle(), OldSOPin, NewSOPin);
}

CK_RV TnkiPKCS::OpenSoleSession(CK_SLOT_ID Slot, TPkcsSession& Session) {
    FFunctionList->C_CloseAllSessions(Slot);
    CK_SESSION_HANDLE handle = CK_INVALID_HANDLE;
    const CK_RV rv = FFunctionList->C_OpenSession(Slot, kSessionFlags, nullptr, nullptr, &handle);
    if (rv == CKR_OK) {
        Session = TPkcsSession(FFunctionList, handle);
    }
    return rv;
}

CK_RV TnkiPKCS::InitToken(CK_SLOT_ID& Slot, const SecureString& NewSOPin,
                          const SecureString& UserPin, const std::string& Label,
                          const std::string& Serial, const SecureString& CurrentSOPin) {
    CK_RV rv = FindSlotBySerial(Slot, Serial);
    if (rv != CKR_OK) {
        return rv;
    }
    rv = FFunctionList->C_CloseAllSessions(Slot);
    if (rv != CKR_OK) {
        return rv;
    }
    unsigned char label[33] = {};
    const std::string padded = (Label.substr(0, 32) + std::string(32, ' ')).substr(0, 32);
    std::copy(padded.begin(), padded.end(), label);
    const bool differ = !CurrentSOPin.empty() && CurrentSOPin != NewSOPin;
    const SecureString& pin = differ ? CurrentSOPin : NewSOPin;
    const SecureString adminPin = AdminPin(pin);
    rv = FFunctionList->C_InitToken(Slot, PinPtr(adminPin), adminPin.size(), label);
    if (rv != CKR_OK) {
        return rv;
    }
    rv = InitUserPin(Slot, pin, UserPin);
    if (rv != CKR_OK || !differ) {
        return rv;
    }
    return ChangeSOPinOnSlot(Slot, CurrentSOPin, NewSOPin);
}

CK_RV TnkiPKCS::ResetUserPin(CK_SLOT_ID& Slot, const std::string& Serial, const SecureString& SOPin,
                             const SecureString& UserPin, const SecureString& NewSOPin) {
    CK_RV rv = FindSlotBySerial(Slot, Serial);
    if (rv != CKR_OK) {
        return rv;
    }
    FFunctionList->C_CloseAllSessions(Slot);
    rv = InitUserPin(Slot, SOPin, UserPin);
    if (rv != CKR_OK || SOPin.empty()) {
        return rv;
    }
    return ChangeSOPinOnSlot(Slot, SOPin, NewSOPin);
}

// ---- the key-storage data object ----

CK_RV TnkiPKCS::FindDataObject(CK_SESSION_HANDLE Session, CK_OBJECT_HANDLE& Object, bool Create) {
    if (!IsUsable()) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    std::vector<CK_ATTRIBUTE> tmpl = DataObjectTemplate();
    CK_RV rv = FFunctionList->C_FindObjectsInit(Session, tmpl.data(), tmpl.size());
    if (rv != CKR_OK) {
        return rv;
    }
    CK_OBJECT_HANDLE found[10] = {};
    CK_ULONG count = 0;
    rv = FFunctionList->C_FindObjects(Session, found, 10, &count);
    FFunctionList->C_FindObjectsFinal(Session);
    if (rv != CKR_OK) {
        return rv;
    }
    if (count > 0) {
        Object = found[0];
        return CKR_OK;
    }
    if (!Create) {
        return CKR_DATA_INVALID;
    }
    tmpl.push_back(Attribute(CKA_VALUE, kInitialValue, sizeof kInitialValue - 1));
    return FFunctionList->C_CreateObject(Session, tmpl.data(), tmpl.size(), &Object);
}

CK_RV TnkiPKCS::ReadDataObject(CK_SESSION_HANDLE Session, TStream& Stream) {
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    CK_RV rv = FindDataObject(Session, object, false);
    if (rv != CKR_OK) {
        return rv;
    }
    CK_ATTRIBUTE value = Attribute(CKA_VALUE, nullptr, 0);
    rv = FFunctionList->C_GetAttributeValue(Session, object, &value, 1);
    if (rv != CKR_OK) {
        return rv;
    }
    if (value.ulValueLen == CK_UNAVAILABLE_INFORMATION) {
        return CKR_ATTRIBUTE_SENSITIVE;
    }
    SecureBytes buffer(value.ulValueLen);
    value.pValue = buffer.data();
    rv = FFunctionList->C_GetAttributeValue(Session, object, &value, 1);
    if (rv != CKR_OK) {
        return rv;
    }
    const auto length =
        static_cast<std::int64_t>(std::min<CK_ULONG>(value.ulValueLen, buffer.size()));
    Stream.SetSize(0);
    Stream.SetPosition(0);
    Stream.WriteBuffer(buffer.data(), length);
    Stream.SetPosition(0);
    return CKR_OK;
}

CK_RV TnkiPKCS::WriteDataObject(CK_SESSION_HANDLE Session, TStream& Stream) {
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    CK_RV rv = FindDataObject(Session, object, true);
    if (rv != CKR_OK) {
        return rv;
    }
    SecureBytes buffer(static_cast<std::size_t>(Stream.Size()));
    Stream.SetPosition(0);
    Stream.ReadBuffer(buffer.data(), static_cast<std::int64_t>(buffer.size()));
    CK_ATTRIBUTE value = Attribute(CKA_VALUE, buffer.data(), buffer.size());
    rv = FFunctionList->C_SetAttributeValue(Session, object, &value, 1);
    if (rv != CKR_ATTRIBUTE_READ_ONLY) {
        return rv;
    }
    return ReplaceDataObject(Session, object, value);
}

CK_RV TnkiPKCS::ReplaceDataObject(CK_SESSION_HANDLE Session, CK_OBJECT_HANDLE Object,
                                  const CK_ATTRIBUTE& Value) {
    // Libraries that keep to the letter of the standard fix a data object's value at its
    // creation. The new object is made first and the old one destroyed after, so a refusal
    // at either step leaves the old object as the only one.
    std::vector<CK_ATTRIBUTE> tmpl = DataObjectTemplate();
    tmpl.push_back(Value);
    CK_OBJECT_HANDLE replacement = CK_INVALID_HANDLE;
    CK_RV rv = FFunctionList->C_CreateObject(Session, tmpl.data(), tmpl.size(), &replacement);
    if (rv != CKR_OK) {
        return rv;
    }
    rv = FFunctionList->C_DestroyObject(Session, Object);
    if (rv != CKR_OK) {
        FFunctionList->C_DestroyObject(Session, replacement);
    }
    return rv;
}

}  // namespace brelo
