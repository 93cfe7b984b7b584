// The library's entry points: each checks its arguments, works on the device under one
// process-wide lock and turns every failure into a result code (nothing escapes).
#include "Credentials.h"
#include "DeviceStore.h"
#include "Messages.h"
#include "Sessions.h"
#include "nkicnt.h"

#include <cstring>
#include <mutex>
#include <new>

#define NKI_EXPORT extern "C" __attribute__((visibility("default")))

namespace brelo::nkicnt {
namespace {

struct Refusal {
  uint32_t code;
};

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

template <typename F>
uint32_t Guard(F&& body) noexcept {
  try {
    std::lock_guard<std::mutex> guard(Lock());
    return body();
  } catch (const Refusal& r) {
    return r.code;
  } catch (const NoDevice&) {
    return NKI_E_NO_DEVICE;
  } catch (const DeviceError&) {
    return NKI_E_DEVICE;
  } catch (const StorageError&) {
    return NKI_E_STORAGE;
  } catch (const std::bad_alloc&) {
    return NKI_E_HOST_MEMORY;
  } catch (...) {
    return NKI_E_GENERAL;
  }
}

// Callers of the PIN functions read every code from E0 to FF as a refused PIN.
template <typename F>
uint32_t PinGuard(F&& body) noexcept {
  const uint32_t rv = Guard(std::forward<F>(body));
  return rv >= 0xF0 && rv <= 0xFF ? uint32_t{NKI_E_GENERAL} : rv;
}

void Require(bool condition, uint32_t code = NKI_E_ARGUMENTS) {
  if (!condition) throw Refusal{code};
}

Session& Need(nkiHandle handle) {
  Session* s = FindSession(handle);
  Require(s != nullptr, NKI_E_BAD_HANDLE);
  return *s;
}

std::string_view Text(const char* text, uint32_t length) {
  return text == nullptr ? std::string_view() : std::string_view(text, length);
}

// Runs Change on the session's device and stores the result when Change says so.
uint32_t Change(Session& s, const std::function<uint32_t(Device&, bool& store)>& change) {
  uint32_t rv = NKI_E_GENERAL;
  UpdateDevice(s.device, [&](Device& d) {
    bool store = false;
    rv = change(d, store);
    return store;
  });
  return rv;
}

// Every check that compared a credential is stored, right or wrong: were only wrong ones
// stored, a device that cannot be written would answer right guesses alone.
bool Compared(uint32_t rv) { return rv != NKI_E_PIN_FORM && rv != NKI_E_PIN_LOCKED; }

uint32_t ChangeUserPin(Session& s, std::string_view oldPin, std::string_view newPin) {
  return Change(s, [&](Device& d, bool& store) {
    if (!ValidCredential(newPin)) return uint32_t{NKI_E_PIN_FORM};
    const uint32_t rv = VerifyPin(d, oldPin);
    if (rv == NKI_OK) d.pin = Secret(newPin);
    store = Compared(rv);
    s.pinChecked = rv == NKI_OK;
    return rv;
  });
}

uint32_t ChangeWithPuk(Session& s, std::string_view puk, std::string_view next, uint32_t mode) {
  return Change(s, [&](Device& d, bool& store) {
    if (!ValidCredential(next)) return uint32_t{NKI_E_PIN_FORM};
    const uint32_t rv = VerifyPuk(d, puk);
    if (rv == NKI_OK && mode == NKI_CHANGE_PUK) d.puk = Secret(next);
    if (rv == NKI_OK && mode == NKI_UNBLOCK_PIN) {
      d.pin = Secret(next);
      d.pinTries.left = d.pinTries.max;
    }
    store = Compared(rv);
    return rv;
  });
}

const Secret& FileOf(const Device& d, uint32_t fileNo, uint32_t offset, uint32_t count) {
  Require(fileNo >= 1 && fileNo <= kFileCount && d.files[fileNo - 1].has_value());
  const Secret& file = *d.files[fileNo - 1];
  Require(offset <= file.bytes().size() && count <= file.bytes().size() - offset);
  return file;
}

uint32_t Unsupported() { return NKI_E_NOT_SUPPORTED; }

}  // namespace
}  // namespace brelo::nkicnt

using namespace brelo::nkicnt;

NKI_EXPORT uint32_t nkiEnumDevices(uint32_t index, uint32_t mode, char* buffer) {
  return Guard([&] {
    Require(buffer != nullptr);
    buffer[0] = '\0';
    Require(index >= 1 && mode == 1);
    const auto names = ListDevices();
    if (index <= names.size()) CopyText(names[index - 1], buffer, NKI_DEVICE_NAME_BUFFER);
    return uint32_t{NKI_OK};
  });
}

NKI_EXPORT uint32_t nkiOpenSessionEx(nkiHandle* handle, const char* deviceName, uint32_t flags) {
  return Guard([&] {
    Require(handle != nullptr && deviceName != nullptr && flags == 0);
    const std::string name = deviceName;
    LoadDevice(name);  // a missing or damaged device cannot be opened
    *handle = OpenSession(name);
    return uint32_t{NKI_OK};
  });
}

NKI_EXPORT uint32_t nkiCloseSessionEx(nkiHandle* handle) {
  return Guard([&] {
    Require(handle != nullptr);
    Require(CloseSession(*handle), NKI_E_BAD_HANDLE);
    *handle = 0;
    return uint32_t{NKI_OK};
  });
}

NKI_EXPORT uint32_t nkiGetUID(nkiHandle handle, uint64_t* uid) {
  return Guard([&] {
    Session& s = Need(handle);
    Require(uid != nullptr);
    *uid = LoadDevice(s.device).uid;
    return uint32_t{NKI_OK};
  });
}

NKI_EXPORT uint32_t nkiCheckPINEx(nkiHandle handle, const char* pin, uint32_t pinLength) {
  return PinGuard([&] {
    Session& s = Need(handle);
    Require(pin != nullptr, NKI_E_GENERAL);
    s.pinChecked = false;
    return Change(s, [&](Device& d, bool& store) {
      const uint32_t rv = VerifyPin(d, Text(pin, pinLength));
      store = Compared(rv);
      s.pinChecked = rv == NKI_OK;
      return rv;
    });
  });
}

NKI_EXPORT uint32_t nkiChangePINEx(nkiHandle handle, const char* oldPin, uint32_t oldLength,
                                   const char* newPin, uint32_t newLength, uint32_t mode) {
  return PinGuard([&] {
    Session& s = Need(handle);
    Require(oldPin != nullptr && newPin != nullptr && mode <= NKI_UNBLOCK_PIN, NKI_E_GENERAL);
    const auto oldText = Text(oldPin, oldLength), newText = Text(newPin, newLength);
    if (mode == NKI_CHANGE_PIN) return ChangeUserPin(s, oldText, newText);
    return ChangeWithPuk(s, oldText, newText, mode);
  });
}

NKI_EXPORT uint32_t nkiGetFileSizeEx(nkiHandle handle, uint32_t fileNo, int32_t* size) {
  return Guard([&] {
    Session& s = Need(handle);
    Require(size != nullptr && fileNo >= 1 && fileNo <= kFileCount);
    const Device d = LoadDevice(s.device);
    const auto& file = d.files[fileNo - 1];
    *size = file ? static_cast<int32_t>(file->bytes().size()) : -1;
    return uint32_t{NKI_OK};
  });
}

NKI_EXPORT uint32_t nkiReadFileEx(nkiHandle handle, uint32_t fileNo, void* buffer, uint32_t offset,
                                  uint32_t count) {
  return Guard([&] {
    Session& s = Need(handle);
    Require(s.pinChecked, NKI_E_ACCESS_DENIED);
    Require(buffer != nullptr || count == 0);
    const Device d = LoadDevice(s.device);
    const Secret& file = FileOf(d, fileNo, offset, count);
    if (count > 0) std::memcpy(buffer, file.bytes().data() + offset, count);
    return uint32_t{NKI_OK};
  });
}

NKI_EXPORT uint32_t nkiWriteFileEx(nkiHandle handle, uint32_t fileNo, const void* buffer,
                                   uint32_t offset, uint32_t count) {
  return Guard([&] {
    Session& s = Need(handle);
    Require(s.pinChecked, NKI_E_ACCESS_DENIED);
    Require(buffer != nullptr || count == 0);
    return Change(s, [&](Device& d, bool& store) {
      FileOf(d, fileNo, offset, count);
      if (count > 0)
        d.files[fileNo - 1]->bytes().replace(offset, count, static_cast<const char*>(buffer), count);
      store = true;
      return uint32_t{NKI_OK};
    });
  });
}

NKI_EXPORT uint32_t nkiReInitializeEx(nkiHandle handle, const char* userPin, uint32_t pinType,
                                      const char* puk, uint32_t pukType, const char* label) {
  return Guard([&] {
    Session& s = Need(handle);
    Require(userPin != nullptr && puk != nullptr && label != nullptr);
    Require(pinType == NKI_CREDENTIAL_TEXT && pukType == NKI_CREDENTIAL_TEXT);
    const std::string_view pin(userPin), newPuk(puk);
    Require(ValidCredential(pin) && ValidCredential(newPuk), NKI_E_PIN_FORM);
    s.pinChecked = false;
    return Change(s, [&](Device& d, bool& store) {
      d.pin = Secret(pin);
      d.puk = Secret(newPuk);
      d.pinTries.left = d.pinTries.max;
      d.pukTries.left = d.pukTries.max;
      for (auto& file : d.files) {
        if (file) file->bytes().assign(file->bytes().size(), '\0');
      }
      store = true;
      return uint32_t{NKI_OK};
    });
  });
}

NKI_EXPORT uint32_t nkiErrorMsgLang(uint32_t code, uint32_t language, char* buffer) {
  return Guard([&] {
    Require(buffer != nullptr);
    CopyText(ErrorMessage(code, language), buffer, NKI_MESSAGE_BUFFER);
    return uint32_t{NKI_OK};
  });
}

// Entry points this system never calls.
NKI_EXPORT uint32_t nkiGetVersion(uint32_t*) { return Unsupported(); }
NKI_EXPORT uint32_t nkiSetMode(uint32_t) { return Unsupported(); }
NKI_EXPORT uint32_t nkiCreateContext(void**) { return Unsupported(); }
NKI_EXPORT uint32_t nkiDestroyContext(void*) { return Unsupported(); }
NKI_EXPORT uint32_t nkiOpenSession(void*, const char*, nkiHandle*) { return Unsupported(); }
NKI_EXPORT uint32_t nkiCloseSession(void*, nkiHandle) { return Unsupported(); }
NKI_EXPORT uint32_t nkiCheckPIN(nkiHandle, const char*) { return Unsupported(); }
NKI_EXPORT uint32_t nkiChangePIN(nkiHandle, const char*, const char*) { return Unsupported(); }
NKI_EXPORT uint32_t nkiNotifyPasswordChanged(nkiHandle) { return Unsupported(); }
NKI_EXPORT uint32_t nkiForgetPIN(nkiHandle) { return Unsupported(); }
NKI_EXPORT uint32_t nkiGetFileSize(nkiHandle, uint32_t, int32_t*) { return Unsupported(); }
NKI_EXPORT uint32_t nkiReadFile(nkiHandle, uint32_t, void*, uint32_t) { return Unsupported(); }
NKI_EXPORT uint32_t nkiWriteFile(nkiHandle, uint32_t, const void*, uint32_t) {
  return Unsupported();
}
NKI_EXPORT uint32_t nkiReInitialize(nkiHandle, const char*, const char*) { return Unsupported(); }
NKI_EXPORT uint32_t nkiIoControl(nkiHandle, uint32_t, void*, uint32_t, void*, uint32_t*) {
  return Unsupported();
}
NKI_EXPORT uint32_t nkiGetFileIndex(nkiHandle, const char*, uint32_t*) { return Unsupported(); }
