#include "FakeNativeLibrary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace brelo::test {

namespace {
FakeNative gFake;
constexpr nkiHandle kHandle = 7;

uint32_t Unused() {
    return NKI_E_NOT_SUPPORTED;
}
std::string FileOf(uint32_t fileNo) {
    return gFake.files[fileNo - 1];
}
}  // namespace

FakeNative& Fake() {
    return gFake;
}
void ResetFakeNative() {
    gFake = FakeNative{};
}

TNkiEntryPoints FakeEntries() {
    TNkiEntryPoints e;
    e.GetVersion = [](uint32_t*) { return Unused(); };
    e.EnumDevices = [](uint32_t index, uint32_t, char* buffer) -> uint32_t {
        buffer[0] = '\0';
        if (index >= 1 && index <= gFake.devices.size()) {
            std::strncpy(buffer, gFake.devices[index - 1].c_str(), NKI_DEVICE_NAME_BUFFER - 1);
        }
        return 0;
    };
    e.SetMode = [](uint32_t) { return Unused(); };
    e.ReInitializeEx = [](nkiHandle, const char* pin, uint32_t pinType, const char* puk,
                          uint32_t pukType, const char* label) -> uint32_t {
        gFake.reinitPin = pin;
        gFake.reinitPuk = puk;
        gFake.reinitLabel = label;
        gFake.reinitPinType = pinType;
        gFake.reinitPukType = pukType;
        if (gFake.reinitResult == 0 && gFake.acceptReinitializedPin) {
            gFake.pin = pin;
        }
        return gFake.reinitResult;
    };
    e.CreateContext = [](void**) { return Unused(); };
    e.DestroyContext = [](void*) { return Unused(); };
    e.OpenSession = [](void*, const char*, nkiHandle*) { return Unused(); };
    e.CloseSession = [](void*, nkiHandle) { return Unused(); };
    e.GetUID = [](nkiHandle, uint64_t* uid) -> uint32_t {
        *uid = gFake.uid;
        return gFake.uidResult;
    };
    e.CheckPIN = [](nkiHandle, const char*) { return Unused(); };
    e.ChangePIN = [](nkiHandle, const char*, const char*) { return Unused(); };
    e.NotifyPasswordChanged = [](nkiHandle) { return Unused(); };
    e.ForgetPIN = [](nkiHandle) { return Unused(); };
    e.ErrorMsgLang = [](uint32_t code, uint32_t, char* buffer) -> uint32_t {
        std::snprintf(buffer, NKI_MESSAGE_BUFFER, "library text %u", code);
        return 0;
    };
    e.GetFileSize = [](nkiHandle, uint32_t, int32_t*) { return Unused(); };
    e.ReadFile = [](nkiHandle, uint32_t, void*, uint32_t) { return Unused(); };
    e.WriteFile = [](nkiHandle, uint32_t, const void*, uint32_t) { return Unused(); };
    e.ReInitialize = [](nkiHandle, const char*, const char*) { return Unused(); };
    e.IoControl = [](nkiHandle, uint32_t, void*, uint32_t, void*, uint32_t*) { return Unused(); };
    e.OpenSessionEx = [](nkiHandle* handle, const char* name, uint32_t) -> uint32_t {
        const auto found = gFake.openResult.find(name);
        if (found != gFake.openResult.end() && found->second != 0) {
            return found->second;
        }
        ++gFake.openSessions;
        *handle = kHandle;
        return 0;
    };
    e.CloseSessionEx = [](nkiHandle* handle) -> uint32_t {
        --gFake.openSessions;
        *handle = 0;
        return 0;
    };
    e.CheckPINEx = [](nkiHandle, const char* pin, uint32_t length) -> uint32_t {
        return std::string(pin, length) == gFake.pin ? gFake.pinResult : gFake.refusedPinResult;
    };
    e.ChangePINEx = [](nkiHandle, const char* old, uint32_t oldLength, const char* now,
                       uint32_t nowLength, uint32_t mode) -> uint32_t {
        if (mode != NKI_CHANGE_PIN) {
            return NKI_E_NOT_SUPPORTED;
        }
        if (std::string(old, oldLength) != gFake.pin) {
            return gFake.refusedPinResult;
        }
        gFake.pin.assign(now, nowLength);
        return 0;
    };
    e.GetFileIndex = [](nkiHandle, const char*, uint32_t*) { return Unused(); };
    e.ReadFileEx = [](nkiHandle, uint32_t fileNo, void* buffer, uint32_t offset,
                      uint32_t count) -> uint32_t {
        if (gFake.readResult != 0) {
            return gFake.readResult;
        }
        const std::string file = FileOf(fileNo);
        std::memset(buffer, 0, count);
        std::memcpy(buffer, file.data() + offset, std::min<std::size_t>(count, file.size()));
        return 0;
    };
    e.WriteFileEx = [](nkiHandle, uint32_t fileNo, const void* buffer, uint32_t offset,
                       uint32_t count) -> uint32_t {
        if (gFake.writeResult != 0) {
            return gFake.writeResult;
        }
        gFake.files[fileNo - 1] = std::string(static_cast<const char*>(buffer) + offset, count);
        return 0;
    };
    e.GetFileSizeEx = [](nkiHandle, uint32_t fileNo, int32_t* size) -> uint32_t {
        *size = gFake.sizes[fileNo - 1];
        return 0;
    };
    return e;
}

}  // namespace brelo::test
