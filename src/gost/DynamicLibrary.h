#pragma once
// A move-only handle of a library loaded with dlopen; closed when released.

#include <dlfcn.h>

#include <string>
#include <utility>

namespace brelo {

class TDynamicLibrary {
public:
    TDynamicLibrary() = default;
    /// Loads the library by file name (RTLD_NOW | RTLD_LOCAL); IsLoaded() tells whether it did.
    explicit TDynamicLibrary(const std::string& fileName)
        : FHandle(dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~TDynamicLibrary() { Close(); }
    TDynamicLibrary(TDynamicLibrary&& other) noexcept
        : FHandle(std::exchange(other.FHandle, nullptr)) {}
    TDynamicLibrary& operator=(TDynamicLibrary&& other) noexcept {
        if (this != &other) {
            Close();
            FHandle = std::exchange(other.FHandle, nullptr);
        }
        return *this;
    }
    TDynamicLibrary(const TDynamicLibrary&) = delete;
    TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

    bool IsLoaded() const { return FHandle != nullptr; }
    /// The address of an exported name, or null.
    void* Symbol(const char* name) const { return FHandle ? dlsym(FHandle, name) : nullptr; }
    void Close() noexcept {
        if (FHandle)
            dlclose(FHandle);
        FHandle = nullptr;
    }

private:
    void* FHandle = nullptr;
};

}  // namespace brelo
