// The provider binding: lazy load, initialisation once, version text, and what every wrapper
// does while the library is missing or incomplete. Uses stand-in libraries, never the real one.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <functional>

#include "core/Crypto.h"
#include "gost/ZTCiferHead.h"
#include "gost/ZtCiferNew.h"

using namespace brelo;

namespace {

// Keeps a stand-in library loaded on its own so its counters stay readable.
class FakeLibrary {
public:
    explicit FakeLibrary(const char* path) : FHandle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~FakeLibrary() {
        if (FHandle)
            dlclose(FHandle);
    }
    int Count(const char* name) const {
        auto* fn = reinterpret_cast<int (*)()>(dlsym(FHandle, name));
        return fn ? fn() : -1;
    }

private:
    void* FHandle;
};

class GostBinding : public ::testing::Test {
protected:
    void TearDown() override { SetGostProviderFileName("libgostcsp.so"); }
};

std::vector<std::function<std::int32_t()>> EveryWrapper() {
    static std::uint8_t buf[128];
    static std::uint32_t len = 128;
    static TCspHandle h;
    return {
        [] { return CSPDeInitialize(); },
        [] { return CSPG28147CreateCtx(&h, 261, 0, buf); },
        [] { return CSPG28147ProcessData(1, buf, 8); },
        [] { return CSPG28147GetImit(1, buf, 0); },
        [] { return CSPG28147DestroyCtx(1); },
        [] { return CSPG3411CreateCtx(&h, 0); },
        [] { return CSPG3411Begin(1); },
        [] { return CSPG3411Update(1, buf, 1); },
        [] { return CSPG3411Final(1, buf, nullptr); },
        [] { return CSPG3411DestroyCtx(1); },
        [] { return CSPG3410CreateCtx(&h); },
        [] { return CSPG3410SetDefaultByteOrder(1, 0); },
        [] { return CSPG3410GenerateParameters(1, 512); },
        [] { return CSPG3410GenerateXY(1); },
        [] { return CSPG3410GetKeyP(1, buf, &len); },
        [] { return CSPG3410GetKeyQ(1, buf, &len); },
        [] { return CSPG3410GetKeyA(1, buf, &len); },
        [] { return CSPG3410GetKeyX(1, buf, &len); },
        [] { return CSPG3410GetKeyY(1, buf, &len); },
        [] { return CSPG3410SetParameters(1, buf, 1, buf, 1, buf, 1); },
        [] { return CSPG3410SetKeyX(1, buf, 1); },
        [] { return CSPG3410SetKeyY(1, buf, 1); },
        [] { return CSPG3410Sign(1, 1, buf, 0); },
        [] { return CSPG3410VerifySign(1, 1, buf); },
        [] { return CSPG3410DestroyCtx(1); },
    };
}

}  // namespace

TEST_F(GostBinding, WithoutTheLibraryEveryWrapperReturnsMinusOneAndRetries) {
    SetGostProviderFileName("libgostcsp-absent.so");
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(LoadGostProvider());
        for (const auto& call : EveryWrapper()) EXPECT_EQ(call(), -1);
        EXPECT_EQ(GetGostProviderVersion(), "");
    }
    // A later appearance of the library is picked up: every call tries the load again.
    SetGostProviderFileName(FAKE_PROVIDER);
    EXPECT_TRUE(LoadGostProvider());
    EXPECT_EQ(GetGostProviderVersion(), "10.0.65535");
}

TEST_F(GostBinding, LoadsAndInitialisesOnceAndDeinitialisesAtUnload) {
    FakeLibrary fake(FAKE_PROVIDER);
    SetGostProviderFileName(FAKE_PROVIDER);
    EXPECT_EQ(fake.Count("FakeInitializeCount"), 0);
    TCspHandle h = 0;
    EXPECT_EQ(CSPG3410CreateCtx(&h), 0);
    EXPECT_EQ(h, 1u);
    EXPECT_EQ(CSPG3411Begin(h), 0);
    EXPECT_EQ(GetGostProviderVersion(), "10.0.65535");
    EXPECT_EQ(fake.Count("FakeInitializeCount"), 1);
    UnloadGostProvider();
    EXPECT_EQ(fake.Count("FakeDeInitializeCount"), 1);
    EXPECT_EQ(GetGostProviderVersion(), "10.0.65535");  // loaded again on demand
    EXPECT_EQ(fake.Count("FakeInitializeCount"), 2);
}

TEST_F(GostBinding, ALibraryMissingAnEntryPointIsNeverCalled) {
    FakeLibrary fake(FAKE_PROVIDER_PARTIAL);
    SetGostProviderFileName(FAKE_PROVIDER_PARTIAL);
    EXPECT_TRUE(LoadGostProvider());
    for (const auto& call : EveryWrapper()) EXPECT_EQ(call(), -1);
    EXPECT_EQ(GetGostProviderVersion(), "");
    EXPECT_EQ(fake.Count("FakeInitializeCount"), 0);
    UnloadGostProvider();
    EXPECT_EQ(fake.Count("FakeDeInitializeCount"), 0);
}

TEST(GostVersionText, FieldsAndWidths) {
    EXPECT_EQ(GostVersionText(0x01020003u), "1.2.3");
    EXPECT_EQ(GostVersionText(0x0A00FFFFu), "10.0.65535");
    EXPECT_EQ(GostVersionText(0xFFFF0000u), "255.255.0");
}

TEST_F(GostBinding, EngineReportsCommonErrorWithoutTheLibrary) {
    SetGostProviderFileName("libgostcsp-absent.so");
    TZtCifer cifer;
    const ByteString zeroBlock = Base64Encode(std::string(520, '\0'));
    auto expectCommonError = [](const std::function<void()>& step) {
        try {
            step();
            ADD_FAILURE() << "no failure";
        } catch (const ECiferError& e) {
            EXPECT_EQ(e.Message(), "CommonError");
        }
    };
    expectCommonError([&] { cifer.GenerateKeyPair(); });
    const ByteString container = std::string("\x08\x02\0\0", 4) + std::string(528, 'k');  // N = 520
    expectCommonError([&] { cifer.LoadPrivateKeyFromString(Base64Encode(container), "pw"); });
    cifer.LoadPublicKeyFromString(zeroBlock);  // reading a public key needs no provider
    expectCommonError([&] { cifer.CheckPublicKey(); });
    expectCommonError([&] { cifer.VerifyString("dummy", std::string(64, 's'), false); });
    EXPECT_EQ(cifer.GetProviderVersion(), "");
}

TEST_F(GostBinding, SignatureOfTheWrongLengthNeverReachesTheProvider) {
    FakeLibrary fake(FAKE_PROVIDER);
    SetGostProviderFileName(FAKE_PROVIDER);
    TZtCifer cifer;
    cifer.LoadPublicKeyFromString(Base64Encode(std::string(520, '\0')));
    for (std::size_t size : {63, 65}) {
        SCOPED_TRACE(size);
        try {
            cifer.VerifyString("dummy", Base64Encode(std::string(size, 's')), true);
            ADD_FAILURE() << "no failure";
        } catch (const ECiferError& e) {
            EXPECT_EQ(e.Message(), "SignInvalid");
        }
    }
    EXPECT_EQ(fake.Count("FakeVerifyCount"), 0);
    EXPECT_TRUE(cifer.VerifyString("dummy", Base64Encode(std::string(64, 's')),
                                   true));  // the stand-in accepts all
    EXPECT_EQ(fake.Count("FakeVerifyCount"), 1);
}
