#pragma once
// Binding of the GOST provider library libgostcsp.so. The library is loaded by name on first
// use and initialised once; all 81 CSP entry points must resolve for it to count as usable.
// Each wrapper below has the entry point's name and arguments and returns its status; while
// the library cannot be loaded (or lacks an entry point) every wrapper returns -1 and calls
// nothing. GUI thread only: the lazy load takes no lock.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace brelo {

using TCspHandle = std::uint32_t;

/// Makes sure the library is loaded and initialised; false when it cannot be loaded.
bool LoadGostProvider();
/// The provider's version text "major.minor.build"; empty while it is not initialised.
std::string GetGostProviderVersion();
/// Deinitialises and releases the library (runs by itself at program exit).
void UnloadGostProvider();
/// Text of a packed version word: bits 31-24 major, 23-16 minor, 15-0 build.
std::string GostVersionText(std::uint32_t word);
/// Unloads the current library and makes the next load use another file name (for tests;
/// the default is "libgostcsp.so").
void SetGostProviderFileName(const std::string& fileName);
/// The names of all entry points the binding resolves, in the order it resolves them.
std::span<const std::string_view> GostProviderEntryNames();

std::int32_t CSPDeInitialize();

std::int32_t CSPG28147CreateCtx(TCspHandle* ctx, std::int32_t mode, std::int32_t sblock,
                                const void* key32);
std::int32_t CSPG28147ProcessData(TCspHandle ctx, void* data, std::uint32_t size);
std::int32_t CSPG28147GetImit(TCspHandle ctx, void* imit8, std::int32_t flags);
std::int32_t CSPG28147DestroyCtx(TCspHandle ctx);

std::int32_t CSPG3411CreateCtx(TCspHandle* ctx, std::int32_t paramSet);
std::int32_t CSPG3411Begin(TCspHandle ctx);
std::int32_t CSPG3411Update(TCspHandle ctx, const void* data, std::uint32_t size);
std::int32_t CSPG3411Final(TCspHandle ctx, void* digest, std::uint32_t* size);
std::int32_t CSPG3411DestroyCtx(TCspHandle ctx);

std::int32_t CSPG3410CreateCtx(TCspHandle* ctx);
std::int32_t CSPG3410SetDefaultByteOrder(TCspHandle ctx, std::int32_t order);
std::int32_t CSPG3410GenerateParameters(TCspHandle ctx, std::int32_t bits);
std::int32_t CSPG3410GenerateXY(TCspHandle ctx);
std::int32_t CSPG3410GetKeyP(TCspHandle ctx, void* buffer, std::uint32_t* size);
std::int32_t CSPG3410GetKeyQ(TCspHandle ctx, void* buffer, std::uint32_t* size);
std::int32_t CSPG3410GetKeyA(TCspHandle ctx, void* buffer, std::uint32_t* size);
std::int32_t CSPG3410GetKeyX(TCspHandle ctx, void* buffer, std::uint32_t* size);
std::int32_t CSPG3410GetKeyY(TCspHandle ctx, void* buffer, std::uint32_t* size);
std::int32_t CSPG3410SetParameters(TCspHandle ctx, const void* p, std::uint32_t pSize,
                                   const void* q, std::uint32_t qSize, const void* a,
                                   std::uint32_t aSize);
std::int32_t CSPG3410SetKeyX(TCspHandle ctx, const void* x, std::uint32_t size);
std::int32_t CSPG3410SetKeyY(TCspHandle ctx, const void* y, std::uint32_t size);
std::int32_t CSPG3410Sign(TCspHandle ctx, TCspHandle hashCtx, void* signature64,
                          std::int32_t flags);
std::int32_t CSPG3410VerifySign(TCspHandle ctx, TCspHandle hashCtx, const void* signature64);
std::int32_t CSPG3410DestroyCtx(TCspHandle ctx);

}  // namespace brelo
