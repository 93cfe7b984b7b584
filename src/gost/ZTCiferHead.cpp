#include "gost/ZTCiferHead.h"

#include <array>
#include <string_view>

#include "core/Exceptions.h"
#include "core/Format.h"
#include "core/DynamicLibrary.h"
#include "gostcsp.h"

namespace brelo {

namespace {

// Every exported name, in the order the binding resolves them.
constexpr std::array<std::string_view, 81> kEntryNames = {
    "CSPInitialize",
    "CSPDeInitialize",
    "CSPIsInitialized",
    "CSPGetVersion",
    "CSPRunInternalTests",
    "CSPSetDefaultSblock",
    "CSPG28147CreateCtx",
    "CSPG28147DuplicateCtx",
    "CSPG28147DestroyCtx",
    "CSPG28147SetMode",
    "CSPG28147SetSync",
    "CSPG28147SetKey",
    "CSPG28147SetSblock",
    "CSPG28147GenerateKey",
    "CSPG28147ProcessData",
    "CSPG28147Begin",
    "CSPG28147GetImit",
    "CSPG28147SetImit",
    "CSPG28147GetKey",
    "CSPG28147GetSync",
    "CSPG28147GetGamma",
    "CSPRandomCreateCtx",
    "CSPRandomDuplicateCtx",
    "CSPRandomDestroyCtx",
    "CSPRandomGenerateBuffer",
    "CSPRandomUpdateSeed",
    "CSPImitCreateCtx",
    "CSPImitDuplicateCtx",
    "CSPImitDestroyCtx",
    "CSPImitBegin",
    "CSPImitUpdate",
    "CSPImitFinal",
    "CSPImitGet",
    "CSPImitSetImit",
    "CSPImitSetKey",
    "CSPG3411CreateCtx",
    "CSPG3411DuplicateCtx",
    "CSPG3411DestroyCtx",
    "CSPG3411Begin",
    "CSPG3411Update",
    "CSPG3411Final",
    "CSPG3411FinalEx",
    "CSPG3411GetHesh",
    "CSPG3411SetHesh",
    "CSPG3410CreateCtx",
    "CSPG3410DuplicateCtx",
    "CSPG3410DestroyCtx",
    "CSPG3410EnableTestMode",
    "CSPG3410SetDefaultByteOrder",
    "CSPG3410Sign",
    "CSPG3410VerifySign",
    "CSPG3410SetParameters",
    "CSPG3410GenerateXY",
    "CSPG3410GenerateParameters",
    "CSPG3410SetKeyX",
    "CSPG3410SetKeyY",
    "CSPG3410SetKeyK",
    "CSPG3410GetKeyP",
    "CSPG3410GetKeyQ",
    "CSPG3410GetKeyA",
    "CSPG3410GetKeyX",
    "CSPG3410GetKeyY",
    "CSPG3410GetLastUsedSeed",
    "CSPG3410ProcedureA",
    "CSPG3410ProcedureB",
    "CSPG3410ProcedureC",
    "CSPDHCreateCtx",
    "CSPDHDuplicateCtx",
    "CSPDHDestroyCtx",
    "CSPDHSetDefaultByteOrder",
    "CSPDHGenerateParameters",
    "CSPDHSetParameters",
    "CSPDHSetX",
    "CSPDHSetY",
    "CSPDHGenerateXY",
    "CSPDHGetKeyP",
    "CSPDHGetKeyG",
    "CSPDHGetKeyX",
    "CSPDHGetKeyY",
    "CSPDHGetSharedKey",
    "CSPReverseKey",
};

consteval std::size_t IndexOf(std::string_view name) {
    for (std::size_t i = 0; i < kEntryNames.size(); ++i)
        if (kEntryNames[i] == name)
            return i;
    throw "not an entry point";  // fails the build
}

struct TProviderState {
    std::string FileName = "libgostcsp.so";
    TDynamicLibrary Library;
    std::array<void*, 81> Entries{};
    bool Usable = false;  // every name resolved and the library initialised
    std::string Version;

    ~TProviderState() { Unload(); }

    void Unload() noexcept {
        if (Usable)
            reinterpret_cast<decltype(&::CSPDeInitialize)>(Entries[IndexOf("CSPDeInitialize")])();
        Library.Reset();
        Entries.fill(nullptr);
        Usable = false;
        Version.clear();
    }
};

TProviderState& State() {
    static TProviderState state;
    return state;
}

template <typename Fn>
Fn* Entry(std::size_t index) {
    return reinterpret_cast<Fn*>(State().Entries[index]);
}

template <typename Fn, typename... Args>
std::int32_t Call(std::size_t index, Args... args) {
    if (!LoadGostProvider() || !State().Usable)
        return -1;
    return Entry<Fn>(index)(args...);
}

#define CSP_CALL(name, ...) Call<decltype(::name)>(IndexOf(#name), __VA_ARGS__)

}  // namespace

std::string GostVersionText(std::uint32_t word) {
    return Format("%D.%D.%D", {word >> 24, (word >> 16) & 0xFFu, word & 0xFFFFu});
}

bool LoadGostProvider() {
    TProviderState& s = State();
    if (s.Library.Loaded())
        return true;
    s.Library = TDynamicLibrary(s.FileName);
    if (!s.Library.Loaded())
        return false;
    bool all = true;
    for (std::size_t i = 0; i < kEntryNames.size(); ++i) {
        s.Entries[i] = s.Library.Symbol(std::string(kEntryNames[i]).c_str());
        all = all && s.Entries[i] != nullptr;
    }
    // A library without every entry point stays loaded but is never called.
    if (!all)
        return true;
    Entry<decltype(::CSPInitialize)>(IndexOf("CSPInitialize"))();
    s.Usable = true;
    auto* getVersion = Entry<decltype(::CSPGetVersion)>(IndexOf("CSPGetVersion"));
    Assert(getVersion != nullptr, "CSPGetVersion is not bound");
    s.Version = GostVersionText(getVersion());
    return true;
}

std::string GetGostProviderVersion() {
    LoadGostProvider();
    return State().Version;
}

void UnloadGostProvider() {
    State().Unload();
}

void SetGostProviderFileName(const std::string& fileName) {
    State().Unload();
    State().FileName = fileName;
}

std::span<const std::string_view> GostProviderEntryNames() {
    return kEntryNames;
}

std::int32_t CSPDeInitialize() {
    return Call<decltype(::CSPDeInitialize)>(IndexOf("CSPDeInitialize"));
}

std::int32_t CSPG28147CreateCtx(TCspHandle* ctx, std::int32_t mode, std::int32_t sblock,
                                const void* key32) {
    return CSP_CALL(CSPG28147CreateCtx, ctx, mode, sblock, key32);
}
std::int32_t CSPG28147ProcessData(TCspHandle ctx, void* data, std::uint32_t size) {
    return CSP_CALL(CSPG28147ProcessData, ctx, data, size);
}
std::int32_t CSPG28147GetImit(TCspHandle ctx, void* imit8, std::int32_t flags) {
    return CSP_CALL(CSPG28147GetImit, ctx, imit8, flags);
}
std::int32_t CSPG28147DestroyCtx(TCspHandle ctx) {
    return CSP_CALL(CSPG28147DestroyCtx, ctx);
}

std::int32_t CSPG3411CreateCtx(TCspHandle* ctx, std::int32_t paramSet) {
    return CSP_CALL(CSPG3411CreateCtx, ctx, paramSet);
}
std::int32_t CSPG3411Begin(TCspHandle ctx) {
    return CSP_CALL(CSPG3411Begin, ctx);
}
std::int32_t CSPG3411Update(TCspHandle ctx, const void* data, std::uint32_t size) {
    return CSP_CALL(CSPG3411Update, ctx, data, size);
}
std::int32_t CSPG3411Final(TCspHandle ctx, void* digest, std::uint32_t* size) {
    return CSP_CALL(CSPG3411Final, ctx, digest, size);
}
std::int32_t CSPG3411DestroyCtx(TCspHandle ctx) {
    return CSP_CALL(CSPG3411DestroyCtx, ctx);
}

std::int32_t CSPG3410CreateCtx(TCspHandle* ctx) {
    return CSP_CALL(CSPG3410CreateCtx, ctx);
}
std::int32_t CSPG3410SetDefaultByteOrder(TCspHandle ctx, std::int32_t order) {
    return CSP_CALL(CSPG3410SetDefaultByteOrder, ctx, order);
}
std::int32_t CSPG3410GenerateParameters(TCspHandle ctx, std::int32_t bits) {
    return CSP_CALL(CSPG3410GenerateParameters, ctx, bits);
}
std::int32_t CSPG3410GenerateXY(TCspHandle ctx) {
    return CSP_CALL(CSPG3410GenerateXY, ctx);
}
std::int32_t CSPG3410GetKeyP(TCspHandle ctx, void* buffer, std::uint32_t* size) {
    return CSP_CALL(CSPG3410GetKeyP, ctx, buffer, size);
}
std::int32_t CSPG3410GetKeyQ(TCspHandle ctx, void* buffer, std::uint32_t* size) {
    return CSP_CALL(CSPG3410GetKeyQ, ctx, buffer, size);
}
std::int32_t CSPG3410GetKeyA(TCspHandle ctx, void* buffer, std::uint32_t* size) {
    return CSP_CALL(CSPG3410GetKeyA, ctx, buffer, size);
}
std::int32_t CSPG3410GetKeyX(TCspHandle ctx, void* buffer, std::uint32_t* size) {
    return CSP_CALL(CSPG3410GetKeyX, ctx, buffer, size);
}
std::int32_t CSPG3410GetKeyY(TCspHandle ctx, void* buffer, std::uint32_t* size) {
    return CSP_CALL(CSPG3410GetKeyY, ctx, buffer, size);
}
std::int32_t CSPG3410SetParameters(TCspHandle ctx, const void* p, std::uint32_t pSize,
                                   const void* q, std::uint32_t qSize, const void* a,
                                   std::uint32_t aSize) {
    return CSP_CALL(CSPG3410SetParameters, ctx, p, pSize, q, qSize, a, aSize);
}
std::int32_t CSPG3410SetKeyX(TCspHandle ctx, const void* x, std::uint32_t size) {
    return CSP_CALL(CSPG3410SetKeyX, ctx, x, size);
}
std::int32_t CSPG3410SetKeyY(TCspHandle ctx, const void* y, std::uint32_t size) {
    return CSP_CALL(CSPG3410SetKeyY, ctx, y, size);
}
std::int32_t CSPG3410Sign(TCspHandle ctx, TCspHandle hashCtx, void* signature64,
                          std::int32_t flags) {
    return CSP_CALL(CSPG3410Sign, ctx, hashCtx, signature64, flags);
}
std::int32_t CSPG3410VerifySign(TCspHandle ctx, TCspHandle hashCtx, const void* signature64) {
    return CSP_CALL(CSPG3410VerifySign, ctx, hashCtx, signature64);
}
std::int32_t CSPG3410DestroyCtx(TCspHandle ctx) {
    return CSP_CALL(CSPG3410DestroyCtx, ctx);
}

}  // namespace brelo
