#pragma once
// A library loaded at run time by file name, owned by one object at a time.

#include <string>

namespace brelo {

/// Move-only dlopen handle (RTLD_NOW | RTLD_LOCAL). An empty handle is a library that could
/// not be loaded; the reason is kept for diagnostics, never shown to the customer.
class TDynamicLibrary {
public:
    TDynamicLibrary() = default;
    /// Loads Name through the normal library search; failure leaves the handle empty.
    explicit TDynamicLibrary(const std::string& Name);
    ~TDynamicLibrary();
    TDynamicLibrary(TDynamicLibrary&& Other) noexcept;
    TDynamicLibrary& operator=(TDynamicLibrary&& Other) noexcept;
    TDynamicLibrary(const TDynamicLibrary&) = delete;
    TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

    bool Loaded() const noexcept { return FHandle != nullptr; }
    /// Address of an export, or null when the library lacks it (or is not loaded).
    void* Symbol(const char* Name) const noexcept;
    const std::string& LoadError() const noexcept { return FLoadError; }
    void Reset() noexcept;

private:
    void* FHandle = nullptr;
    std::string FLoadError;
};

}  // namespace brelo
