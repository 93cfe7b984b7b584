// The libraries export exactly the 27 entry points (the incomplete copy all but number 23),
// and the entry points nothing calls refuse with a non-zero code.
#include "NkicntFixture.h"
#include "brelo_test/SharedLibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <vector>

namespace brelo::nkicnt::test {
namespace {

// The entry points in their numbered order, as the version script exports them.
std::vector<std::string> EntryPoints() {
  return brelo::test::VersionScriptGlobals(NKICNT_MAP);
}

// Positions (from 1) of the entry points the library lacks.
std::vector<int> Missing(const char* path) {
  const std::vector<std::string> names = EntryPoints();
  void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(lib, nullptr) << dlerror();
  std::vector<int> missing;
  for (size_t i = 0; lib != nullptr && i < names.size(); ++i) {
    if (dlsym(lib, names[i].c_str()) == nullptr) missing.push_back(static_cast<int>(i + 1));
  }
  return missing;
}

TEST(ExportsTest, LibraryHasAllEntryPointsAndNothingElse) {
  auto expected = EntryPoints();
  ASSERT_EQ(expected.size(), 27u);
  EXPECT_TRUE(Missing(NKICNT_LIBRARY).empty());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(brelo::test::DefinedDynamicSymbols(NKICNT_LIBRARY), expected);
}

TEST(ExportsTest, IncompleteCopyLacksOnlyEntryPoint23) {
  EXPECT_EQ(Missing(NKICNT_INCOMPLETE_LIBRARY), std::vector<int>{23});
}

TEST(ExportsTest, UncalledEntryPointsRefuse) {
  uint32_t u = 0;
  int32_t size = 0;
  void* context = nullptr;
  nkiHandle h = 0;
  char byte = 0;
  for (uint32_t rv : {nkiGetVersion(&u), nkiSetMode(0), nkiCreateContext(&context),
                      nkiDestroyContext(nullptr), nkiOpenSession(nullptr, "x", &h),
                      nkiCloseSession(nullptr, 1), nkiCheckPIN(1, "1"), nkiChangePIN(1, "1", "2"),
                      nkiNotifyPasswordChanged(1), nkiForgetPIN(1), nkiGetFileSize(1, 1, &size),
                      nkiReadFile(1, 1, &byte, 1), nkiWriteFile(1, 1, &byte, 1),
                      nkiReInitialize(1, "1", "2"), nkiIoControl(1, 0, nullptr, 0, nullptr, &u),
                      nkiGetFileIndex(1, "x", &u)}) {
    EXPECT_EQ(rv, NKI_E_NOT_SUPPORTED);
  }
}

}  // namespace
}  // namespace brelo::nkicnt::test
