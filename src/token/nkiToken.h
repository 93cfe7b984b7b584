#pragma once
// The one model through which every USB token is reached, whatever library talks to it:
// open, log in, read and write memory cells, change and unblock the PIN. Every failing device
// call becomes one of the ExceptionNki family, whose message is the return code's name.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ByteString.h"
#include "core/Exceptions.h"
#include "core/Streams.h"
#include "token/nkiGetPinDefault.h"
#include "token/nkiTokenCodes.h"

namespace brelo {

/// A failing device call; Code is the PKCS#11 return value.
class ExceptionNki : public Exception {
public:
    ExceptionNki(std::int32_t ACode, std::string Message)
        : Exception(std::move(Message)), Code(ACode) {}
    std::int32_t Code;
};

/// CKR_PIN_INCORRECT (160), with the attempts the device reported left (-1 unknown).
class ExceptionNkiBadPin : public ExceptionNki {
public:
    ExceptionNkiBadPin(std::int32_t ATriesLeft, std::string Message)
        : ExceptionNki(160, std::move(Message)), TriesLeft(ATriesLeft) {}
    std::int32_t TriesLeft;
};

/// CKR_PIN_LOCKED (164).
BRELO_EXCEPTION_CLASS(ExceptionNkiBlocked, ExceptionNki);
/// Code 1 (CKR_CANCEL numbering).
BRELO_EXCEPTION_CLASS(ExceptionNkiAccessDenied, ExceptionNki);
/// A look-up in a device list that found nothing, or an index outside it.
BRELO_EXCEPTION_CLASS(EListError, Exception);
/// Data that does not fit the device's memory cell.
BRELO_EXCEPTION_CLASS(EOutOfResources, Exception);
/// The run time's stream error for a malformed stored block.
BRELO_EXCEPTION_CLASS(EBlockSizeError, EStreamError);

/// One memory cell of a device. FileId is the cell's number on the device; Size -1 = unknown.
struct TnkiFileStruct {
    std::int32_t FileId = 0;
    std::int32_t Size = -1;
    std::string Name;
};
using TnkiFileStructArray = std::vector<TnkiFileStruct>;

/// Optional translation of a return-code name into a user text (unset in this program).
using TNkiErrorTranslator = std::function<void(const std::string& Name, std::string& Text)>;
extern TNkiErrorTranslator NkiErrorTranslator;
/// Optional PIN prompt used by one re-initialisation path; false = cancelled (unset here).
using TNkiPinInputProc = std::function<bool(const std::string& DeviceName, SecureString& Pin)>;
extern TNkiPinInputProc NkiPinInputProc;

class TnkiToken;

/// A token class as the lists see it: what AddToken needs to create a token of that class.
struct TnkiTokenClass {
    const char* ClassName;
    std::uint8_t Kind;
    std::unique_ptr<TnkiToken> (*Create)(const std::string& Name, const TnkiGetPinEvent& OnGetPin,
                                         const std::string& UID);
};

/// Reports one device to a list: (Name, UID, token class).
using TnkiAddTokenProc = std::function<void(const std::string& Name, const std::string& UID,
                                            const TnkiTokenClass& Class)>;

class TnkiToken : public TnkiTokenCodes {
public:
    static constexpr std::int32_t DeleteMark = 20120526;

    /// Each concrete class closes an open device in its own destructor (CloseQuietly): here
    /// the class's DoClose can no longer be reached.
    virtual ~TnkiToken() = default;
    TnkiToken(const TnkiToken&) = delete;
    TnkiToken& operator=(const TnkiToken&) = delete;

    /// Creates a token of class T; a missing UID is read from the device.
    template <typename T>
    static std::unique_ptr<TnkiToken> Create(const std::string& Name,
                                             const TnkiGetPinEvent& OnGetPin,
                                             const std::string& UID) {
        std::unique_ptr<TnkiToken> token = std::make_unique<T>(Name, UID);
        token->FOnGetPin = OnGetPin;
        if (token->FUID.empty()) {
            token->ReadUID();
        }
        return token;
    }

    // ---- overridable behaviour ----
    virtual void LoadCells();
    virtual void UpdateReady() { FReady = !FCells.empty(); }
    virtual SecureString RequestPin(std::int32_t TriesLeft, bool UserPin, bool Raw);
    virtual std::int32_t LastError() const { return FLastError; }
    virtual bool CanReinitialize() { return false; }
    virtual bool HasPuk() { return true; }
    virtual bool ReadCellTable() { return Available(); }
    virtual bool IsCompressed() { return false; }
    /// A new stream with the stored form of Stream (from its start), rewound.
    virtual std::unique_ptr<TMemoryStream> Compress(TStream& Stream) = 0;
    /// A new stream with the block held in Stream (from its current position), rewound.
    virtual std::unique_ptr<TMemoryStream> Decompress(TStream& Stream) = 0;
    virtual SecureString DeriveUserPin(const SecureString& Password) {
        return DerivePinCode(Password);
    }
    virtual SecureString DerivePuk(const SecureString& Password) { return DerivePukCode(Password); }
    virtual bool Available() const { return false; }
    virtual std::uint8_t Kind() const { return 0; }
    virtual void WriteFile(int Index, TStream& Stream);
    virtual void ReadFile(int Index, TStream& Stream);
    virtual std::string ErrorText(std::int32_t Code);
    virtual std::string GetManufacturer() = 0;
    virtual std::string GetModel() = 0;
    virtual std::string GetDescription() = 0;
    virtual void Open(const SecureString& Pin, bool Raw);
    virtual void Reinitialize(SecureString& Pin, SecureString& Puk, const std::string& Label,
                              const SecureString& CurrentPuk) = 0;
    virtual SecureString DefaultPin() = 0;
    virtual SecureString DefaultPuk() = 0;
    virtual bool NeedsCurrentPuk() { return false; }
    virtual bool IsInitialized() = 0;

    // ---- fixed operations ----
    void Login();
    /// Raises the exception for LastError() unless it is 0. Label names the operation for
    /// the reader of the code; the message is the return code's text alone.
    void CheckResult(const std::string& Label = {});
    void Close();
    /// Close for destructors and cleanup paths: never throws.
    void CloseQuietly() noexcept;
    bool IsOpen() const { return FHandle != 0; }
    void RefreshUID();
    TnkiFileStruct GetCell(int Index) const;
    void ReadUID();
    void ChangePin(const SecureString& NewPin, const SecureString& OldPin, SecureString& Result,
                   bool Derive);
    void UnblockPin(const SecureString& NewPin, const SecureString& Puk, SecureString& Result,
                    bool Derive);
    SecureString DerivePin(const SecureString& Text, bool UserPin);

    const std::string& Name() const { return FName; }
    const std::string& UID() const { return FUID; }
    bool Ready() const { return FReady; }
    const SecureString& Pin() const { return FPin; }
    std::int32_t TriesLeft() const { return FTriesLeft; }
    const TnkiFileStructArray& Cells() const { return FCells; }

    bool FRaiseOnBadPin = true;
    bool FPinEntryAllowed = true;
    std::int32_t FDeleteMark = 0;
    TnkiGetPinEvent FOnGetPin;

protected:
    TnkiToken(std::string Name, std::string UID) : FName(std::move(Name)), FUID(std::move(UID)) {}

    // Device primitives: true on success; the device's code goes to FLastError; never raise.
    virtual bool DoChangePin(const SecureString& OldPin, const SecureString& NewPin,
                             std::int32_t& TriesLeft) = 0;
    virtual bool DoLogin(const SecureString& Pin, std::int32_t& TriesLeft) = 0;
    virtual bool DoChangePuk(const SecureString& OldPuk, const SecureString& NewPuk) = 0;
    virtual bool DoUnblockPin(const SecureString& Puk, const SecureString& NewPin) = 0;
    virtual bool DoGetUID(std::string& UID) = 0;
    virtual bool DoOpen() = 0;
    /// Subclasses close the device first, then call this to forget the handle.
    virtual bool DoClose() {
        FHandle = 0;
        return true;
    }
    virtual bool DoReadCell(int Index, TStream& Stream) = 0;
    virtual bool DoWriteCell(int Index, TStream& Stream) = 0;

    /// Runs Body with the device open, opening it first when it is closed (a failed open
    /// raises under OpenLabel). Unless KeepOpen, the device is closed afterwards, quietly
    /// when Body raised.
    template <typename F>
    void RunOpened(const std::string& OpenLabel, bool KeepOpen, F&& Body) {
        if (!IsOpen() && !DoOpen()) {
            CheckResult(OpenLabel);
        }
        try {
            Body();
        } catch (...) {
            if (!KeepOpen) {
                CloseQuietly();
            }
            throw;
        }
        if (!KeepOpen) {
            Close();
        }
    }

    /// Fails unless cell Index exists (a token that is not ready has none).
    const TnkiFileStruct& CheckedCell(int Index) const;

    std::string FName;
    std::string FUID;
    bool FReady = false;
    std::int32_t FTriesLeft = -1;
    std::uintptr_t FHandle = 0;
    TnkiFileStructArray FCells;
    SecureString FPin;
    std::int32_t FLastError = 0;
};

/// The tokens found at one moment, kept under their names (case-insensitive look-up); the
/// list owns them.
class TnkiTokenList {
public:
    TnkiTokenList(const TnkiTokenList&) = delete;
    TnkiTokenList& operator=(const TnkiTokenList&) = delete;
    virtual ~TnkiTokenList();

    void Refresh(int Kind, int Filter);
    /// Adds a token of Class under Name unless the list already has that name.
    void AddToken(const std::string& Name, const std::string& UID, const TnkiTokenClass& Class);
    TnkiToken& Items(int Index) const;
    int Count() const { return static_cast<int>(FItems.size()); }
    void Delete(int Index);
    void Clear();
    void SetOnGetPin(const TnkiGetPinEvent& OnGetPin);
    /// Drops a native token that reports the same identifier as a PKCS#11 one.
    void RemoveDuplicates();
    /// An AddProc bound to this list, for EnumerateDevices.
    TnkiAddTokenProc AddProc();

protected:
    /// Lists start empty; derived constructors call Init so that Enumerate dispatches.
    TnkiTokenList() = default;
    void Init(int Kind, int Filter, const TnkiGetPinEvent& OnGetPin);
    virtual void Enumerate(int Kind, int Filter) {}

    struct TItem {
        std::string Name;
        std::unique_ptr<TnkiToken> Token;
    };
    std::vector<TItem> FItems;
    TnkiGetPinEvent FOnGetPin;
    bool FHasNativeTokens = false;
};

}  // namespace brelo
