#pragma once
// One vendor's PKCS#11 library: loading, token listing by manufacturer, sessions found by a
// token's serial number, logins and PIN changes, re-initialisation and the key-storage data
// object. Nothing here throws for a library's refusal: every operation returns the CK_RV of
// the call that failed, and the token classes turn it into an exception.

#include <p11-kit/pkcs11.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ByteString.h"
#include "core/Streams.h"
#include "core/DynamicLibrary.h"

namespace brelo {

using TPKCSDeviceInfoArray = std::vector<CK_TOKEN_INFO>;

/// An open PKCS#11 session, owned by one object at a time. Close logs out (result ignored)
/// and closes; the destructor does the same quietly, so no path leaves a session open.
class TPkcsSession {
public:
    TPkcsSession() = default;
    TPkcsSession(CK_FUNCTION_LIST* Functions, CK_SESSION_HANDLE Handle) noexcept
        : FFunctions(Functions), FHandle(Handle) {}
    ~TPkcsSession() { Close(); }
    TPkcsSession(TPkcsSession&& Other) noexcept;
    TPkcsSession& operator=(TPkcsSession&& Other) noexcept;
    TPkcsSession(const TPkcsSession&) = delete;
    TPkcsSession& operator=(const TPkcsSession&) = delete;

    bool IsOpen() const noexcept { return FHandle != CK_INVALID_HANDLE; }
    CK_SESSION_HANDLE Handle() const noexcept { return FHandle; }
    /// C_Logout, then C_CloseSession whose result is returned; CKR_OK when nothing is open.
    CK_RV Close() noexcept;
    /// Forgets the session without a call: the library has already closed it (for example
    /// C_CloseAllSessions).
    void Forget() noexcept { FHandle = CK_INVALID_HANDLE; }

private:
    CK_FUNCTION_LIST* FFunctions = nullptr;
    CK_SESSION_HANDLE FHandle = CK_INVALID_HANDLE;
};

/// A vendor's PKCS#11 library. Created once per vendor class and kept for the run
/// (TnkiPKCSRegistry). Usable when the library loaded, gave its function list and initialised.
class TnkiPKCS {
public:
    virtual ~TnkiPKCS();
    TnkiPKCS(const TnkiPKCS&) = delete;
    TnkiPKCS& operator=(const TnkiPKCS&) = delete;

    /// The library's file name as the system knows it ("eToken.dll"); empty in the base class.
    virtual std::string LibraryName() const { return {}; }
    /// The file name loaded on this platform ("libeToken.so").
    std::string PlatformLibraryName() const;
    virtual void FillManufacturers() {}
    virtual std::uint8_t LibraryKind() const { return 0; }

    virtual CK_RV UserLogin(CK_SESSION_HANDLE Session, CK_SLOT_ID Slot, const SecureString& Pin,
                            std::int32_t& TriesLeft);
    CK_RV ChangeSOPin(CK_SESSION_HANDLE Session, const SecureString& OldSOPin,
                      const SecureString& NewSOPin);
    CK_RV InitUserPin(CK_SLOT_ID Slot, const SecureString& SOPin, const SecureString& UserPin);
    CK_RV ChangeSOPinOnSlot(CK_SLOT_ID Slot, const SecureString& OldSOPin,
                            const SecureString& NewSOPin);
    CK_RV InitToken(CK_SLOT_ID& Slot, const SecureString& NewSOPin, const SecureString& UserPin,
                    const std::string& Label, const std::string& Serial,
                    const SecureString& CurrentSOPin);
    CK_RV ResetUserPin(CK_SLOT_ID& Slot, const std::string& Serial, const SecureString& SOPin,
                       const SecureString& UserPin, const SecureString& NewSOPin);
    CK_RV ChangeUserPin(CK_SESSION_HANDLE Session, const SecureString& OldPin,
                        const SecureString& NewPin) {
        return SetUserPin(Session, OldPin, NewPin);
    }

    bool IsUsable() const noexcept { return FFunctionList != nullptr; }
    /// The library's function list; null while unusable.
    CK_FUNCTION_LIST* Functions() const noexcept { return FFunctionList; }
    /// Filter 0: every token of the class's makers; 1: initialised ones; 2: the others.
    CK_RV EnumerateTokens(TPKCSDeviceInfoArray& Infos, int Filter);
    /// The slot of the present token whose 16-character serial equals Serial exactly (the
    /// last one when several do). CKR_TOKEN_NOT_PRESENT when none does; Slot then unchanged.
    CK_RV FindSlotBySerial(CK_SLOT_ID& Slot, const std::string& Serial);
    CK_RV OpenSessionBySerial(TPkcsSession& Session, CK_SLOT_ID& Slot, const std::string& Serial);
    CK_RV CloseSession(TPkcsSession& Session) { return Session.Close(); }
    CK_RV SetUserPin(CK_SESSION_HANDLE Session, const SecureString& OldPin,
                     const SecureString& NewPin);
    CK_RV GetTokenInfoBySlot(CK_SLOT_ID Slot, CK_TOKEN_INFO& Info);
    /// CKR_TOKEN_NOT_PRESENT (Info unchanged) when no present token has that serial.
    CK_RV GetTokenInfoBySerial(const std::string& Serial, CK_TOKEN_INFO& Info);
    CK_RV FindDataObject(CK_SESSION_HANDLE Session, CK_OBJECT_HANDLE& Object, bool Create);
    /// The data object's value into Stream (size, bytes, position 0); Stream untouched on failure.
    CK_RV ReadDataObject(CK_SESSION_HANDLE Session, TStream& Stream);
    /// Replaces the data object's value with all of Stream, creating the object when missing.
    /// A library that refuses to change a data object's value (CKR_ATTRIBUTE_READ_ONLY) gets a
    /// new object in place of the old one.
    CK_RV WriteDataObject(CK_SESSION_HANDLE Session, TStream& Stream);

    static std::string BytesToStr(const unsigned char* Bytes, int HighIndex,
                                  bool AsNumbers = false);
    bool ManufacturerMatches(const std::string& Text) const;
    const std::vector<std::string>& Manufacturers() const { return FManufacturers; }

    /// "name.dll" becomes "libname.so".
    static std::string LinuxLibraryName(const std::string& WindowsName);

protected:
    TnkiPKCS() = default;
    /// Administrator PINs as the library wants them; unchanged in the base class.
    virtual SecureString AdminPin(const SecureString& Pin) const { return Pin; }
    std::vector<std::string> FManufacturers;

private:
    template <typename T>
    friend std::unique_ptr<T> CreatePKCSLibrary();
    /// Loads, asks for the function list and initialises; failure leaves the object unusable.
    void LoadVendorLibrary();
    CK_RV PresentSlots(std::vector<CK_SLOT_ID>& Slots, bool RetryEmpty);
    /// Replaces Object by a new one with the same template and Value.
    CK_RV ReplaceDataObject(CK_SESSION_HANDLE Session, CK_OBJECT_HANDLE Object,
                            const CK_ATTRIBUTE& Value);
    CK_RV LoginAs(CK_SESSION_HANDLE Session, CK_USER_TYPE User, const SecureString& Pin);
    /// Closes every session on Slot and opens a new read-write one into Session.
    CK_RV OpenSoleSession(CK_SLOT_ID Slot, TPkcsSession& Session);

    TDynamicLibrary FLibrary;
    CK_FUNCTION_LIST* FFunctionList = nullptr;
    CK_C_GetFunctionList FGetFunctionList = nullptr;
};

/// Creates a vendor class's library object and starts it (load, function list, initialise).
template <typename T>
std::unique_ptr<T> CreatePKCSLibrary() {
    std::unique_ptr<T> library(new T());
    library->LoadVendorLibrary();
    library->FillManufacturers();
    return library;
}

#define BRELO_PKCS_VENDOR(Class)                                  \
    class Class : public TnkiPKCS {                               \
    public:                                                       \
        std::string LibraryName() const override;                 \
        void FillManufacturers() override;                        \
        std::uint8_t LibraryKind() const override;                \
                                                                  \
    protected:                                                    \
        friend std::unique_ptr<Class> CreatePKCSLibrary<Class>(); \
        Class() = default;                                        \
    }

BRELO_PKCS_VENDOR(TnkiAuthorPKCS);
BRELO_PKCS_VENDOR(TnkiSafeNet);
BRELO_PKCS_VENDOR(TnkiSafeSIGN);
BRELO_PKCS_VENDOR(TnkiJaCarta);
BRELO_PKCS_VENDOR(TnkiRsaPKCS);
BRELO_PKCS_VENDOR(TnkiVascoPKCS);
BRELO_PKCS_VENDOR(TnkiAvestPKCS);

/// Pads every administrator PIN it hands to the library to 24 bytes.
class TnkiGemaltoPKCS : public TnkiPKCS {
public:
    std::string LibraryName() const override;
    void FillManufacturers() override;
    std::uint8_t LibraryKind() const override;
    /// Shorter than 24 bytes: extended with zero bytes to exactly 24; otherwise unchanged.
    static SecureString PadAdminPin(const SecureString& Pin);

protected:
    friend std::unique_ptr<TnkiGemaltoPKCS> CreatePKCSLibrary<TnkiGemaltoPKCS>();
    TnkiGemaltoPKCS() = default;
    SecureString AdminPin(const SecureString& Pin) const override { return PadAdminPin(Pin); }
};

}  // namespace brelo
