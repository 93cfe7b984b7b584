// The library as a whole: exported names (exactly those the binding resolves), the C header,
// the version word, unused entry points.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "brelo_test/SharedLibrary.h"
#include "gost/ZTCiferHead.h"
#include "gostcsp.h"

extern "C" int gostcsp_header_compiles_as_c(void);

TEST(GostCspLibrary, ExportsExactlyTheEntryPointsTheBindingResolves) {
    const auto bound = brelo::GostProviderEntryNames();
    ASSERT_EQ(bound.size(), 81u);
    std::vector<std::string> expected(bound.begin(), bound.end());
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(std::adjacent_find(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(brelo::test::DefinedDynamicSymbols(GOSTCSP_LIBRARY), expected);
    void* lib = dlopen(GOSTCSP_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const std::string& name : expected) EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
    dlclose(lib);
    EXPECT_EQ(gostcsp_header_compiles_as_c(), static_cast<int>(expected.size()));
}

TEST(GostCspLibrary, VersionAndLifecycle) {
    EXPECT_EQ(CSPInitialize(), CSP_OK);
    EXPECT_EQ(CSPGetVersion() >> 24, 1u);
    CSP_HANDLE h = 0;
    ASSERT_EQ(CSPG3411CreateCtx(&h, 0), CSP_OK);
    EXPECT_EQ(CSPDeInitialize(), CSP_OK);  // releases contexts left open
    EXPECT_EQ(CSPG3411Begin(h), CSP_E_BAD_HANDLE);
}

TEST(GostCspLibrary, EntryPointsNothingCallsRefuse) {
    const std::function<int32_t()> calls[] = {
        [] { return CSPIsInitialized(); },
        [] { return CSPRunInternalTests(); },
        [] { return CSPSetDefaultSblock(nullptr, 0); },
        [] { return CSPG28147DuplicateCtx(0, nullptr); },
        [] { return CSPG28147SetMode(0, 0); },
        [] { return CSPG28147SetSync(0, nullptr); },
        [] { return CSPG28147SetKey(0, nullptr); },
        [] { return CSPG28147SetSblock(0, nullptr, 0); },
        [] { return CSPG28147GenerateKey(0); },
        [] { return CSPG28147Begin(0); },
        [] { return CSPG28147SetImit(0, nullptr); },
        [] { return CSPG28147GetKey(0, nullptr); },
        [] { return CSPG28147GetSync(0, nullptr); },
        [] { return CSPG28147GetGamma(0, nullptr, 0); },
        [] { return CSPRandomCreateCtx(nullptr); },
        [] { return CSPRandomDuplicateCtx(0, nullptr); },
        [] { return CSPRandomDestroyCtx(0); },
        [] { return CSPRandomGenerateBuffer(0, nullptr, 0); },
        [] { return CSPRandomUpdateSeed(0, nullptr, 0); },
        [] { return CSPImitCreateCtx(nullptr, nullptr); },
        [] { return CSPImitDuplicateCtx(0, nullptr); },
        [] { return CSPImitDestroyCtx(0); },
        [] { return CSPImitBegin(0); },
        [] { return CSPImitUpdate(0, nullptr, 0); },
        [] { return CSPImitFinal(0, nullptr); },
        [] { return CSPImitGet(0, nullptr); },
        [] { return CSPImitSetImit(0, nullptr); },
        [] { return CSPImitSetKey(0, nullptr); },
        [] { return CSPG3411DuplicateCtx(0, nullptr); },
        [] { return CSPG3411FinalEx(0, nullptr, nullptr, 0); },
        [] { return CSPG3411GetHesh(0, nullptr, nullptr); },
        [] { return CSPG3411SetHesh(0, nullptr, 0); },
        [] { return CSPG3410DuplicateCtx(0, nullptr); },
        [] { return CSPG3410EnableTestMode(0, 0); },
        [] { return CSPG3410SetKeyK(0, nullptr, 0); },
        [] { return CSPG3410GetLastUsedSeed(0, nullptr, nullptr); },
        [] { return CSPG3410ProcedureA(0, 0, 0, 0); },
        [] { return CSPG3410ProcedureB(0, 0, 0, 0); },
        [] { return CSPG3410ProcedureC(0, nullptr, 0); },
        [] { return CSPDHCreateCtx(nullptr); },
        [] { return CSPDHDuplicateCtx(0, nullptr); },
        [] { return CSPDHDestroyCtx(0); },
        [] { return CSPDHSetDefaultByteOrder(0, 0); },
        [] { return CSPDHGenerateParameters(0, 0); },
        [] { return CSPDHSetParameters(0, nullptr, 0, nullptr, 0); },
        [] { return CSPDHSetX(0, nullptr, 0); },
        [] { return CSPDHSetY(0, nullptr, 0); },
        [] { return CSPDHGenerateXY(0); },
        [] { return CSPDHGetKeyP(0, nullptr, nullptr); },
        [] { return CSPDHGetKeyG(0, nullptr, nullptr); },
        [] { return CSPDHGetKeyX(0, nullptr, nullptr); },
        [] { return CSPDHGetKeyY(0, nullptr, nullptr); },
        [] { return CSPDHGetSharedKey(0, nullptr, 0, nullptr, nullptr); },
        [] { return CSPReverseKey(nullptr, 0); },
    };
    for (const auto& call : calls) EXPECT_EQ(call(), CSP_E_NOT_SUPPORTED);
}
