#include "core/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace brelo {

TDynamicLibrary::TDynamicLibrary(const std::string& Name) {
    FHandle = dlopen(Name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (FHandle == nullptr) {
        const char* reason = dlerror();
        FLoadError = reason != nullptr ? reason : Name;
    }
}

TDynamicLibrary::~TDynamicLibrary() {
    Reset();
}

TDynamicLibrary::TDynamicLibrary(TDynamicLibrary&& Other) noexcept
    : FHandle(std::exchange(Other.FHandle, nullptr)), FLoadError(std::move(Other.FLoadError)) {}

TDynamicLibrary& TDynamicLibrary::operator=(TDynamicLibrary&& Other) noexcept {
    if (this != &Other) {
        Reset();
        FHandle = std::exchange(Other.FHandle, nullptr);
        FLoadError = std::move(Other.FLoadError);
    }
    return *this;
}

void* TDynamicLibrary::Symbol(const char* Name) const noexcept {
    return FHandle != nullptr ? dlsym(FHandle, Name) : nullptr;
}

void TDynamicLibrary::Reset() noexcept {
    if (FHandle != nullptr) {
        dlclose(FHandle);
        FHandle = nullptr;
    }
}

}  // namespace brelo
