// The library as a whole: exported names, the C header, the version word, unused entry points.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>

#include "gostcsp.h"

extern "C" int gostcsp_header_compiles_as_c(void);

namespace {

const char* const kNames[] = {
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

std::set<std::string> ExportedNames() {
    std::set<std::string> names;
    std::string cmd = std::string("nm -D --defined-only ") + GOSTCSP_LIBRARY;
    FILE* f = popen(cmd.c_str(), "r");
    if (!f)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        char addr[64], type[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", addr, type, name) == 3)
            names.insert(name);
    }
    pclose(f);
    return names;
}

}  // namespace

TEST(GostCspLibrary, ExportsExactlyTheEntryPoints) {
    std::set<std::string> expected(std::begin(kNames), std::end(kNames));
    ASSERT_EQ(expected.size(), 81u);
    EXPECT_EQ(ExportedNames(), expected);
    void* lib = dlopen(GOSTCSP_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const char* name : kNames) EXPECT_NE(dlsym(lib, name), nullptr) << name;
    dlclose(lib);
    EXPECT_EQ(gostcsp_header_compiles_as_c(), 81);
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
