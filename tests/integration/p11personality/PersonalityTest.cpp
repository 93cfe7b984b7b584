// The PKCS#11 test module against a private SoftHSM2 store: what it changes on request,
// and that it changes nothing else.
#include "brelo_test/Command.h"
#include "brelo_test/Pkcs11Tool.h"
#include "brelo_test/ScopedEnv.h"
#include "brelo_test/SoftHsmStore.h"
#include "brelo_test/TempDir.h"
#include "brelo_test/VendorModule.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

namespace brelo::test {
namespace {

constexpr const char* kSoPin = "87654321";
constexpr const char* kPin = "12345678";

class PersonalityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    serialA = store.InitToken("alpha", kSoPin, kPin);
    serialB = store.InitToken("beta", kSoPin, kPin);
  }

  std::unique_ptr<P11Module> Load(const std::string& vendorName) {
    return std::make_unique<P11Module>(InstallVendorModule(libs.path(), vendorName));
  }

  SoftHsmStore store;
  TempDir libs{"brelo-vendorlibs"};
  std::string serialA, serialB;
};

TEST_F(PersonalityTest, TokenInfoUnchangedWithoutSettings) {
  auto m = Load("libeToken.so");
  const CK_TOKEN_INFO info = m->TokenInfo(m->SlotOf("alpha"));
  EXPECT_EQ(FieldText(info.manufacturerID, 32), "SoftHSM project");
  EXPECT_EQ(FieldText(info.serialNumber, 16), serialA);
  EXPECT_TRUE(info.flags & CKF_TOKEN_INITIALIZED);
}

TEST_F(PersonalityTest, TokenInfoShowsOverridesPerLabel) {
  ScopedEnv manufacturer("BRELO_P11_MANUFACTURER", "alpha=Aladdin Knowledge Systems;AVTOR");
  ScopedEnv serial("BRELO_P11_SERIAL", "beta=AB12");
  ScopedEnv total("BRELO_P11_TOTAL_PRIVATE", "32768");
  ScopedEnv free("BRELO_P11_FREE_PRIVATE", "alpha=0x100;2000");
  auto m = Load("libeToken.so");

  const CK_TOKEN_INFO a = m->TokenInfo(m->SlotOf("alpha"));
  EXPECT_EQ(FieldText(a.manufacturerID, 32), "Aladdin Knowledge Systems");
  EXPECT_EQ(FieldText(a.serialNumber, 16), serialA);
  EXPECT_EQ(a.ulTotalPrivateMemory, 32768u);
  EXPECT_EQ(a.ulFreePrivateMemory, 256u);

  const CK_TOKEN_INFO b = m->TokenInfo(m->SlotOf("beta"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.manufacturerID), 32),
            "AVTOR" + std::string(27, ' '));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.serialNumber), 16),
            "AB12" + std::string(12, ' '));
  EXPECT_EQ(b.ulTotalPrivateMemory, 32768u);
  EXPECT_EQ(b.ulFreePrivateMemory, 2000u);
}

TEST_F(PersonalityTest, UnreadableCounterFailsTheCallLoudly) {
  auto m = Load("libeToken.so");
  const CK_SLOT_ID slot = m->SlotOf("alpha");
  ScopedEnv total("BRELO_P11_TOTAL_PRIVATE", "lots");
  CK_TOKEN_INFO info{};
  EXPECT_EQ((*m)->C_GetTokenInfo(slot, &info), CKR_GENERAL_ERROR);
}

struct FailCase {
  const char* name;
  const char* rv;
  const char* at;
  const char* times;
  std::vector<CK_RV> expected;  // results of five calls in a row
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class FailureInjectionTest : public PersonalityTest,
                             public ::testing::WithParamInterface<FailCase> {};

TEST_P(FailureInjectionTest, FailsExactlyTheChosenCalls) {
  auto m = Load("libeToken.so");
  const CK_SLOT_ID slot = m->SlotOf("alpha");
  const FailCase& c = GetParam();
  ScopedEnv fn("BRELO_P11_FAIL_FUNCTION", "C_GetTokenInfo");
  ScopedEnv rv("BRELO_P11_FAIL_RV", c.rv);
  ScopedEnv at("BRELO_P11_FAIL_AT", c.at ? std::optional<std::string>(c.at) : std::nullopt);
  ScopedEnv times("BRELO_P11_FAIL_TIMES",
                  c.times ? std::optional<std::string>(c.times) : std::nullopt);
  std::vector<CK_RV> results;
  for (int i = 0; i < 5; ++i) {
    CK_TOKEN_INFO info{};
    results.push_back((*m)->C_GetTokenInfo(slot, &info));
  }
  EXPECT_EQ(results, c.expected);
}

constexpr CK_RV OK = CKR_OK;
constexpr CK_RV REMOVED = CKR_DEVICE_REMOVED;
INSTANTIATE_TEST_SUITE_P(
    Cases, FailureInjectionTest,
    ::testing::Values(
        FailCase{"FirstCallByDefault", "CKR_DEVICE_REMOVED", nullptr, nullptr,
                 {REMOVED, OK, OK, OK, OK}},
        FailCase{"ThirdCall", "CKR_DEVICE_REMOVED", "3", nullptr, {OK, OK, REMOVED, OK, OK}},
        FailCase{"TwoInARowHex", "0x32", "2", "2", {OK, REMOVED, REMOVED, OK, OK}},
        FailCase{"FromFourthOnDecimal", "50", "4", "0", {OK, OK, OK, REMOVED, REMOVED}},
        FailCase{"UnknownNameFailsEveryCall", "CKR_NO_SUCH_CODE", "1", nullptr,
                 {CKR_GENERAL_ERROR, CKR_GENERAL_ERROR, CKR_GENERAL_ERROR, CKR_GENERAL_ERROR,
                  CKR_GENERAL_ERROR}}),
    [](const auto& p) { return std::string(p.param.name); });

// A write that fails must not reach the token: tests of "nothing half-written" rely on it.
TEST_F(PersonalityTest, FailedSetAttributeLeavesValueUnchanged) {
  const auto module = InstallVendorModule(libs.path(), "libeToken.so");
  WriteKeysObject(module, "alpha", kPin, "old value");
  {
    P11Module m(module);
    CK_SESSION_HANDLE session = 0;
    ASSERT_EQ(m->C_OpenSession(m.SlotOf("alpha"), CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr,
                               nullptr, &session), CKR_OK);
    ASSERT_EQ(m->C_Login(session, CKU_USER, (CK_UTF8CHAR_PTR)kPin, 8), CKR_OK);
    CK_OBJECT_CLASS cls = CKO_DATA;
    CK_ATTRIBUTE find[] = {{CKA_CLASS, &cls, sizeof cls}, {CKA_LABEL, (void*)"BreloKeys", 9}};
    CK_OBJECT_HANDLE object = 0;
    CK_ULONG found = 0;
    ASSERT_EQ(m->C_FindObjectsInit(session, find, 2), CKR_OK);
    ASSERT_EQ(m->C_FindObjects(session, &object, 1, &found), CKR_OK);
    m->C_FindObjectsFinal(session);
    ASSERT_EQ(found, 1u);

    ScopedEnv fn("BRELO_P11_FAIL_FUNCTION", "C_SetAttributeValue");
    ScopedEnv rv("BRELO_P11_FAIL_RV", "CKR_DEVICE_REMOVED");
    CK_ATTRIBUTE value[] = {{CKA_VALUE, (void*)"new value", 9}};
    EXPECT_EQ(m->C_SetAttributeValue(session, object, value, 1), CKR_DEVICE_REMOVED);
  }
  EXPECT_EQ(ReadKeysObject(module, "alpha", kPin), "old value");
}

// Several vendor libraries in one process share one SoftHSM2: each initialises and
// finalises on its own without disturbing the others.
TEST_F(PersonalityTest, TwoVendorNamesInOneProcess) {
  auto safenet = Load("libeToken.so");
  auto jacarta = Load("libjcPKCS11ua.so");
  EXPECT_NE(safenet->functions(), jacarta->functions()) << "copies must be separate libraries";
  EXPECT_EQ((*safenet)->C_Initialize(nullptr), CKR_CRYPTOKI_ALREADY_INITIALIZED);
  EXPECT_EQ(safenet->TokenInfo(safenet->SlotOf("beta")).ulMaxPinLen,
            jacarta->TokenInfo(jacarta->SlotOf("beta")).ulMaxPinLen);

  CK_SESSION_HANDLE session = 0;
  ASSERT_EQ((*jacarta)->C_OpenSession(jacarta->SlotOf("alpha"), CKF_SERIAL_SESSION, nullptr, nullptr,
                                   &session), CKR_OK);
  CK_FUNCTION_LIST* safenetList = safenet->functions();
  safenet.reset();
  CK_ULONG count = 0;
  EXPECT_EQ(safenetList->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_CRYPTOKI_NOT_INITIALIZED);
  CK_SESSION_INFO info{};
  EXPECT_EQ((*jacarta)->C_GetSessionInfo(session, &info), CKR_OK);
  EXPECT_EQ((*jacarta)->C_CloseSession(session), CKR_OK);
}

// Tests that load vendor libraries by bare name use this folder; each name must be a
// library of its own, or the second vendor's C_Initialize would find it initialised.
TEST_F(PersonalityTest, BuildTimeVendorFolderHoldsSeparateLibraries) {
  std::vector<std::unique_ptr<P11Module>> modules;
  std::set<CK_FUNCTION_LIST*> lists;
  for (const char* name : {"libAv337CryptokiD.so", "libeToken.so", "libaetpkss1.so",
                           "libjcPKCS11ua.so", "libpkcs11.so", "libVdsPKCS1132.so",
                           "libavcryptokinxt.so", "libgtop11dotnet.so"}) {
    modules.push_back(std::make_unique<P11Module>(VendorDir() / name));
    lists.insert(modules.back()->functions());
    EXPECT_EQ(modules.back()->TokenInfo(modules.back()->SlotOf("alpha")).ulMinPinLen, 4u) << name;
  }
  EXPECT_EQ(lists.size(), 8u);
}

TEST_F(PersonalityTest, FailureCanBeLimitedToOneVendor) {
  ScopedEnv fn("BRELO_P11_FAIL_FUNCTION", "C_Initialize");
  ScopedEnv only("BRELO_P11_FAIL_MODULE", "libeToken.so");
  EXPECT_THROW(Load("libeToken.so"), std::runtime_error);
  EXPECT_NO_THROW(Load("libjcPKCS11ua.so"));
}

TEST_F(PersonalityTest, SessionsOfAFinalisedCopyAreClosed) {
  auto safenet = Load("libeToken.so");
  auto jacarta = Load("libjcPKCS11ua.so");
  CK_SESSION_HANDLE session = 0;
  ASSERT_EQ((*safenet)->C_OpenSession(safenet->SlotOf("alpha"), CKF_SERIAL_SESSION, nullptr, nullptr,
                                   &session), CKR_OK);
  safenet.reset();
  CK_SESSION_INFO info{};
  EXPECT_EQ((*jacarta)->C_GetSessionInfo(session, &info), CKR_SESSION_HANDLE_INVALID);
}

// An independent client finds the module by its vendor file name on LD_LIBRARY_PATH.
TEST_F(PersonalityTest, Pkcs11ToolSeesTheTokenThroughTheVendorName) {
  RequireProgram("pkcs11-tool", "opensc");
  VendorLibraries vendors({"libeToken.so"});
  ScopedEnv manufacturer("BRELO_P11_MANUFACTURER", "SafeNet, Inc.");
  const CommandResult r = RunCommand({"pkcs11-tool", "--module", "libeToken.so", "-L"});
  ASSERT_TRUE(r.ok()) << r.err;
  EXPECT_NE(r.out.find("SafeNet, Inc."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("alpha"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(serialB), std::string::npos) << r.out;
}

TEST_F(PersonalityTest, KeysObjectRoundTripsAndIsPrivate) {
  const auto module = InstallVendorModule(libs.path(), "libjcPKCS11ua.so");
  const std::string bytes("\x00\x01 block \xff", 10);
  WriteKeysObject(module, "beta", kPin, bytes);
  EXPECT_EQ(ReadKeysObject(module, "beta", kPin), bytes);
  EXPECT_THROW(ReadKeysObject(module, "alpha", kPin), std::runtime_error);

  P11Module m(module);  // without login a private object stays hidden
  CK_SESSION_HANDLE session = 0;
  ASSERT_EQ(m->C_OpenSession(m.SlotOf("beta"), CKF_SERIAL_SESSION, nullptr, nullptr, &session),
            CKR_OK);
  CK_BBOOL yes = CK_TRUE;
  CK_OBJECT_CLASS cls = CKO_DATA;
  CK_ATTRIBUTE find[] = {{CKA_CLASS, &cls, sizeof cls}, {CKA_TOKEN, &yes, 1},
                         {CKA_PRIVATE, &yes, 1}, {CKA_APPLICATION, (void*)"Brelo", 5},
                         {CKA_LABEL, (void*)"BreloKeys", 9}};
  CK_OBJECT_HANDLE object = 0;
  CK_ULONG found = 0;
  ASSERT_EQ(m->C_FindObjectsInit(session, find, 5), CKR_OK);
  ASSERT_EQ(m->C_FindObjects(session, &object, 1, &found), CKR_OK);
  m->C_FindObjectsFinal(session);
  EXPECT_EQ(found, 0u);
  ASSERT_EQ(m->C_Login(session, CKU_USER, (CK_UTF8CHAR_PTR)kPin, 8), CKR_OK);
  ASSERT_EQ(m->C_FindObjectsInit(session, find, 5), CKR_OK);
  ASSERT_EQ(m->C_FindObjects(session, &object, 1, &found), CKR_OK);
  m->C_FindObjectsFinal(session);
  EXPECT_EQ(found, 1u);
}

}  // namespace
}  // namespace brelo::test
