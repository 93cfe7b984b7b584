#include "token/nkicnt02imp.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <ctime>
#include <optional>

#include "core/Format.h"

namespace brelo {

namespace {

constexpr std::array<const char*, TNkiEntryPoints::Count> kNames = {
    "nkiGetVersion",     "nkiEnumDevices",    "nkiSetMode",      "nkiReInitializeEx",
    "nkiCreateContext",  "nkiDestroyContext", "nkiOpenSession",  "nkiCloseSession",
    "nkiGetUID",         "nkiCheckPIN",       "nkiChangePIN",    "nkiNotifyPasswordChanged",
    "nkiForgetPIN",      "nkiErrorMsgLang",   "nkiGetFileSize",  "nkiReadFile",
    "nkiWriteFile",      "nkiReInitialize",   "nkiIoControl",    "nkiOpenSessionEx",
    "nkiCloseSessionEx", "nkiCheckPINEx",     "nkiChangePINEx",  "nkiGetFileIndex",
    "nkiReadFileEx",     "nkiWriteFileEx",    "nkiGetFileSizeEx"};

/// The entry-point slots in their numbered order, so that resolving and checking walk one list.
template <typename Entries, typename F>
void ForEachSlot(Entries& E, F&& Visit) {
    int n = 0;
    const auto visit = [&](auto& slot) { Visit(++n, slot); };
    visit(E.GetVersion), visit(E.EnumDevices), visit(E.SetMode), visit(E.ReInitializeEx);
    visit(E.CreateContext), visit(E.DestroyContext), visit(E.OpenSession), visit(E.CloseSession);
    visit(E.GetUID), visit(E.CheckPIN), visit(E.ChangePIN), visit(E.NotifyPasswordChanged);
    visit(E.ForgetPIN), visit(E.ErrorMsgLang), visit(E.GetFileSize), visit(E.ReadFile);
    visit(E.WriteFile), visit(E.ReInitialize), visit(E.IoControl), visit(E.OpenSessionEx);
    visit(E.CloseSessionEx), visit(E.CheckPINEx), visit(E.ChangePINEx), visit(E.GetFileIndex);
    visit(E.ReadFileEx), visit(E.WriteFileEx), visit(E.GetFileSizeEx);
}

std::uint32_t Length(const SecureString& Text) {
    return static_cast<std::uint32_t>(Text.size());
}

/// "[year-month-day]" of a stored time, in UTC as the file system keeps it.
std::string DateOf(std::time_t Time) {
    std::tm parts{};
    if (gmtime_r(&Time, &parts) == nullptr) {
        return "[0-0-0]";
    }
    return Format("[%d-%d-%d]", {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday});
}

}  // namespace

// ---- entry points ----

const char* TNkiEntryPoints::NameOf(int Position) {
    return Position >= 1 && Position <= Count ? kNames[static_cast<std::size_t>(Position - 1)] : "";
}

const void* TNkiEntryPoints::At(int Position) const {
    const void* found = nullptr;
    ForEachSlot(*this, [&](int n, auto& slot) {
        if (n == Position) {
            found = reinterpret_cast<const void*>(slot);
        }
    });
    return found;
}

// ---- the binding ----

TNativeLibrary::TNativeLibrary(const std::string& FileName) : FModule(FileName) {
    if (!FModule.Loaded()) {
        return;
    }
    ForEachSlot(FEntries, [&](int n, auto& slot) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
            FModule.Symbol(TNkiEntryPoints::NameOf(n)));
    });
}

bool TNativeLibrary::Available() const {
    std::string ignored;
    return Status(ignored);
}

bool TNativeLibrary::Status(std::string& Text) const {
    Text.clear();
    if (!Loaded()) {
        Text = "LIBRARY NOT FOUND!";
        return false;
    }
    for (int n = 1; n <= TNkiEntryPoints::Count; ++n) {
        if (FEntries.At(n) == nullptr) {
            Text = Format("PROC %d NOT FOUND!", {n});
            return false;
        }
    }
    return true;
}

std::string TNativeLibrary::Info() const {
    if (!Available()) {
        return {};
    }
    // The file that holds the code, found from one of its entry points.
    Dl_info where{};
    if (dladdr(FEntries.At(1), &where) == 0 || where.dli_fname == nullptr) {
        return {};
    }
    const std::string path = where.dli_fname;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string text;
    struct statx times {};
    if (statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &times) == 0) {
        text = Format("Name: [%S] Size: [%d]", {path, static_cast<std::int64_t>(times.stx_size)});
        // Not every file system records the creation time; the status-change time stands in.
        const auto created =
            (times.stx_mask & STATX_BTIME) != 0 ? times.stx_btime : times.stx_ctime;
        text += " CT: " + DateOf(static_cast<std::time_t>(created.tv_sec));
        text += " MT: " + DateOf(static_cast<std::time_t>(times.stx_mtime.tv_sec));
        text += "AT: " + DateOf(static_cast<std::time_t>(times.stx_atime.tv_sec));
    }
    ::close(fd);
    return text;
}

std::uint32_t TNativeLibrary::EnumDevices(std::uint32_t Index, std::string& Name) const {
    Name.clear();
    if (FEntries.EnumDevices == nullptr) {
        return kNkiMissingEntry;
    }
    std::array<char, NKI_DEVICE_NAME_BUFFER + 1> buffer{};
    const std::uint32_t code = FEntries.EnumDevices(Index, 1, buffer.data());
    Name = buffer.data();  // the extra zero byte ends even a name that fills the buffer
    return code;
}

std::uint32_t TNativeLibrary::OpenSessionEx(nkiHandle& Handle,
                                            const std::string& DeviceName) const {
    return FEntries.OpenSessionEx ? FEntries.OpenSessionEx(&Handle, DeviceName.c_str(), 0)
                                  : kNkiMissingEntry;
}

std::uint32_t TNativeLibrary::CloseSessionEx(nkiHandle& Handle) const {
    return FEntries.CloseSessionEx ? FEntries.CloseSessionEx(&Handle) : kNkiMissingEntry;
}

std::uint32_t TNativeLibrary::GetUID(nkiHandle Handle, std::uint64_t& UID) const {
    return FEntries.GetUID ? FEntries.GetUID(Handle, &UID) : kNkiMissingEntry;
}

std::uint32_t TNativeLibrary::CheckPINEx(nkiHandle Handle, const SecureString& Pin) const {
    return FEntries.CheckPINEx ? FEntries.CheckPINEx(Handle, Pin.c_str(), Length(Pin))
                               : kNkiMissingEntry;
}

std::uint32_t TNativeLibrary::ChangePINEx(nkiHandle Handle, const SecureString& Old,
                                          const SecureString& New, std::uint32_t Mode) const {
    return FEntries.ChangePINEx ? FEntries.ChangePINEx(Handle, Old.c_str(), Length(Old),
                                                       New.c_str(), Length(New), Mode)
                                : kNkiMissingEntry;
}

std::uint32_t TNativeLibrary::GetFileSizeEx(nkiHandle Handle, std::uint32_t FileNo,
                                            std::int32_t& Size) const {
    return FEntries.GetFileSizeEx ? FEntries.GetFileSizeEx(Handle, FileNo, &Size)
                                  : kNkiMissingEntry;
}

std::uint32_t TNativeLibrary::ReadFileEx(nkiHandle Handle, std::uint32_t FileNo, void* Buffer,
                                         std::uint32_t Count) const {
    return FEntries.ReadFileEx ? FEntries.ReadFileEx(Handle, FileNo, Buffer, 0, Count)
                               : kNkiMissingEntry;
}

std::uint32_t TNativeLibrary::WriteFileEx(nkiHandle Handle, std::uint32_t FileNo,
                                          const void* Buffer, std::uint32_t Count) const {
    return FEntries.WriteFileEx ? FEntries.WriteFileEx(Handle, FileNo, Buffer, 0, Count)
                                : kNkiMissingEntry;
}

std::uint32_t TNativeLibrary::ReInitializeEx(nkiHandle Handle, const SecureString& UserPin,
                                             const SecureString& Puk,
                                             const std::string& Label) const {
    return FEntries.ReInitializeEx
               ? FEntries.ReInitializeEx(Handle, UserPin.c_str(), NKI_CREDENTIAL_TEXT, Puk.c_str(),
                                         NKI_CREDENTIAL_TEXT, Label.c_str())
               : kNkiMissingEntry;
}

std::string TNativeLibrary::ErrorMsgLang(std::uint32_t Code) const {
    if (FEntries.ErrorMsgLang == nullptr) {
        return {};
    }
    std::array<char, NKI_MESSAGE_BUFFER + 1> buffer{};
    FEntries.ErrorMsgLang(Code, NKI_LANGUAGE_RUSSIAN, buffer.data());
    return buffer.data();
}

// ---- the program's binding ----

const TNativeLibrary& NativeLibrary() {
    // Never freed: the library stays loaded until the process ends, and its own static
    // objects may be gone before ours would be destroyed.
    static const TNativeLibrary* const library = new TNativeLibrary("libnkicnt.so");
    return *library;
}

bool NativeAvailable() {
    return NativeLibrary().Available();
}

bool NativeLibraryStatus(std::string& Text) {
    return NativeLibrary().Status(Text);
}

void NativeLibraryInfo(std::string& Text) {
    Text = NativeLibrary().Info();
}

}  // namespace brelo
