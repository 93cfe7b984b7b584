#pragma once
// Binding of the native token library (libnkicnt.so). It is loaded once, by file name, the
// first time anything asks for it (RegisterBreloUsbTokenHooks does so at start-up), and never
// unloaded. Every call checks that its entry point is there: a missing library or entry point
// is a failure code, never a crash.

#include <nkicnt.h>

#include <cstdint>
#include <string>

#include "core/ByteString.h"
#include "core/DynamicLibrary.h"

namespace brelo {

/// The 27 entry points, in the order whose position (from 1) the status text reports.
struct TNkiEntryPoints {
    decltype(&::nkiGetVersion) GetVersion = nullptr;
    decltype(&::nkiEnumDevices) EnumDevices = nullptr;
    decltype(&::nkiSetMode) SetMode = nullptr;
    decltype(&::nkiReInitializeEx) ReInitializeEx = nullptr;
    decltype(&::nkiCreateContext) CreateContext = nullptr;
    decltype(&::nkiDestroyContext) DestroyContext = nullptr;
    decltype(&::nkiOpenSession) OpenSession = nullptr;
    decltype(&::nkiCloseSession) CloseSession = nullptr;
    decltype(&::nkiGetUID) GetUID = nullptr;
    decltype(&::nkiCheckPIN) CheckPIN = nullptr;
    decltype(&::nkiChangePIN) ChangePIN = nullptr;
    decltype(&::nkiNotifyPasswordChanged) NotifyPasswordChanged = nullptr;
    decltype(&::nkiForgetPIN) ForgetPIN = nullptr;
    decltype(&::nkiErrorMsgLang) ErrorMsgLang = nullptr;
    decltype(&::nkiGetFileSize) GetFileSize = nullptr;
    decltype(&::nkiReadFile) ReadFile = nullptr;
    decltype(&::nkiWriteFile) WriteFile = nullptr;
    decltype(&::nkiReInitialize) ReInitialize = nullptr;
    decltype(&::nkiIoControl) IoControl = nullptr;
    decltype(&::nkiOpenSessionEx) OpenSessionEx = nullptr;
    decltype(&::nkiCloseSessionEx) CloseSessionEx = nullptr;
    decltype(&::nkiCheckPINEx) CheckPINEx = nullptr;
    decltype(&::nkiChangePINEx) ChangePINEx = nullptr;
    decltype(&::nkiGetFileIndex) GetFileIndex = nullptr;
    decltype(&::nkiReadFileEx) ReadFileEx = nullptr;
    decltype(&::nkiWriteFileEx) WriteFileEx = nullptr;
    decltype(&::nkiGetFileSizeEx) GetFileSizeEx = nullptr;

    static constexpr int Count = 27;
    /// The export name of entry point Position (1 to 27).
    static const char* NameOf(int Position);
    /// The address held for entry point Position (1 to 27), or null.
    const void* At(int Position) const;
};

/// What a call to an entry point that is not there returns: the library's "not supported".
inline constexpr std::uint32_t kNkiMissingEntry = 2;

/// One binding of the native library: loaded from a file, or (for tests) a table of entry
/// points living in this process.
class TNativeLibrary {
public:
    /// Loads FileName through the normal library search and resolves the 27 names; a load
    /// failure leaves every entry point null.
    explicit TNativeLibrary(const std::string& FileName);
    explicit TNativeLibrary(const TNkiEntryPoints& Entries) : FEntries(Entries), FInProcess(true) {}

    bool Loaded() const { return FInProcess || FModule.Loaded(); }
    /// Loaded, and every one of the 27 entry points is there.
    bool Available() const;
    /// Empty and true when available; else "LIBRARY NOT FOUND!" or "PROC n NOT FOUND!" for
    /// the first missing entry point n.
    bool Status(std::string& Text) const;
    /// Path, size and dates of the library file, for a developer's report; empty when the
    /// library is not available or its file cannot be read.
    std::string Info() const;

    // The calls the token layer makes; each returns kNkiMissingEntry when its entry is absent.
    std::uint32_t EnumDevices(std::uint32_t Index, std::string& Name) const;
    std::uint32_t OpenSessionEx(nkiHandle& Handle, const std::string& DeviceName) const;
    std::uint32_t CloseSessionEx(nkiHandle& Handle) const;
    std::uint32_t GetUID(nkiHandle Handle, std::uint64_t& UID) const;
    std::uint32_t CheckPINEx(nkiHandle Handle, const SecureString& Pin) const;
    std::uint32_t ChangePINEx(nkiHandle Handle, const SecureString& Old, const SecureString& New,
                              std::uint32_t Mode) const;
    std::uint32_t GetFileSizeEx(nkiHandle Handle, std::uint32_t FileNo, std::int32_t& Size) const;
    std::uint32_t ReadFileEx(nkiHandle Handle, std::uint32_t FileNo, void* Buffer,
                             std::uint32_t Count) const;
    std::uint32_t WriteFileEx(nkiHandle Handle, std::uint32_t FileNo, const void* Buffer,
                              std::uint32_t Count) const;
    std::uint32_t ReInitializeEx(nkiHandle Handle, const SecureString& UserPin,
                                 const SecureString& Puk, const std::string& Label) const;
    /// The library's Russian text for Code; empty when it has none or the entry is absent.
    std::string ErrorMsgLang(std::uint32_t Code) const;

private:
    TDynamicLibrary FModule;
    TNkiEntryPoints FEntries;
    bool FInProcess = false;
};

/// The program's binding of "libnkicnt.so", made on first use and kept until the end.
const TNativeLibrary& NativeLibrary();
bool NativeAvailable();
bool NativeLibraryStatus(std::string& Text);
void NativeLibraryInfo(std::string& Text);

}  // namespace brelo
