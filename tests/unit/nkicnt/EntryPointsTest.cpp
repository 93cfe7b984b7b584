// The entry points the token layer calls, on their main and failure paths.
#include "Messages.h"
#include "NkicntFixture.h"

#include <cstring>

#include <filesystem>
#include <vector>

namespace brelo::nkicnt::test {
namespace {

std::vector<std::string> Enumerate() {
  std::vector<std::string> names;
  for (uint32_t i = 1;; ++i) {
    char buffer[NKI_DEVICE_NAME_BUFFER];
    nkiEnumDevices(i, 1, buffer);
    if (buffer[0] == '\0') return names;
    names.emplace_back(buffer);
  }
}

using EnumTest = NkicntTest;

TEST_F(EnumTest, ListsDeviceFoldersInNameOrder) {
  MakeDevice("Token B");
  MakeDevice("Token A");
  std::filesystem::create_directory(root / "not a device");  // no data file
  EXPECT_EQ(Enumerate(), (std::vector<std::string>{"Token A", "Token B"}));
}

TEST_F(EnumTest, NoVariableOrNoFolderMeansNoDevices) {
  MakeDevice("Token A");
  {
    brelo::test::ScopedEnv unset("NKICNT_DEVICES", std::nullopt);
    EXPECT_TRUE(Enumerate().empty());
  }
  brelo::test::ScopedEnv missing("NKICNT_DEVICES", (root / "missing").string());
  EXPECT_TRUE(Enumerate().empty());
}

TEST_F(EnumTest, LongestNameFitsTheBufferExactly) {
  const std::string name(kMaxNameLength, 'n');
  MakeDevice(name);
  char buffer[NKI_DEVICE_NAME_BUFFER + 8];
  std::fill(std::begin(buffer), std::end(buffer), '#');
  EXPECT_EQ(nkiEnumDevices(1, 1, buffer), NKI_OK);
  EXPECT_EQ(std::string(buffer), name);
  EXPECT_EQ(buffer[NKI_DEVICE_NAME_BUFFER], '#');
}

TEST_F(EnumTest, BadArgumentsGiveAnEmptyName) {
  MakeDevice("Token A");
  char buffer[NKI_DEVICE_NAME_BUFFER] = "stale";
  EXPECT_EQ(nkiEnumDevices(0, 1, buffer), NKI_E_ARGUMENTS);
  EXPECT_EQ(buffer[0], '\0');
  std::strcpy(buffer, "stale");
  EXPECT_EQ(nkiEnumDevices(1, 2, buffer), NKI_E_ARGUMENTS);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(nkiEnumDevices(1, 1, nullptr), NKI_E_ARGUMENTS);
}

using SessionTest = NkicntTest;

TEST_F(SessionTest, OpenReadUidAndClose) {
  MakeDevice("Token A", 0x00A1B2C3D4E5F607ULL);
  nkiHandle h = Open("Token A");
  ASSERT_NE(h, 0u);
  uint64_t uid = 0;
  EXPECT_EQ(nkiGetUID(h, &uid), NKI_OK);
  EXPECT_EQ(uid, 0x00A1B2C3D4E5F607ULL);
  const nkiHandle old = h;
  EXPECT_EQ(nkiCloseSessionEx(&h), NKI_OK);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(nkiGetUID(old, &uid), NKI_E_BAD_HANDLE);
  EXPECT_EQ(nkiCloseSessionEx(&h), NKI_E_BAD_HANDLE);
}

TEST_F(SessionTest, OpenRefusals) {
  MakeDevice("Token A");
  nkiHandle h = 77;
  EXPECT_EQ(nkiOpenSessionEx(&h, "Token Z", 0), NKI_E_NO_DEVICE);
  EXPECT_EQ(nkiOpenSessionEx(&h, "../Token A", 0), NKI_E_NO_DEVICE);
  EXPECT_EQ(nkiOpenSessionEx(&h, "Token A", 1), NKI_E_ARGUMENTS);
  EXPECT_EQ(nkiOpenSessionEx(nullptr, "Token A", 0), NKI_E_ARGUMENTS);
  EXPECT_EQ(nkiOpenSessionEx(&h, nullptr, 0), NKI_E_ARGUMENTS);
  EXPECT_EQ(h, 77u);
}

TEST_F(SessionTest, RemovedDeviceIsReportedAsSuch) {
  MakeDevice("Token A");
  nkiHandle h = OpenWithPin("Token A");
  std::filesystem::remove_all(root / "Token A");
  uint64_t uid = 0;
  EXPECT_EQ(nkiGetUID(h, &uid), NKI_E_NO_DEVICE);
  char byte = 0;
  EXPECT_EQ(nkiWriteFileEx(h, 1, &byte, 0, 1), NKI_E_NO_DEVICE);
  nkiCloseSessionEx(&h);
}

using FileTest = NkicntTest;

TEST_F(FileTest, SizesIncludeMissingFiles) {
  MakeDevice("Token A", 1, {64, 16, -1, -1});
  nkiHandle h = Open("Token A");
  std::vector<int32_t> sizes;
  for (uint32_t f = 1; f <= 4; ++f) {
    int32_t size = 0;
    EXPECT_EQ(nkiGetFileSizeEx(h, f, &size), NKI_OK);
    sizes.push_back(size);
  }
  EXPECT_EQ(sizes, (std::vector<int32_t>{64, 16, -1, -1}));
  int32_t size = 0;
  EXPECT_EQ(nkiGetFileSizeEx(h, 0, &size), NKI_E_ARGUMENTS);
  EXPECT_EQ(nkiGetFileSizeEx(h, 5, &size), NKI_E_ARGUMENTS);
  nkiCloseSessionEx(&h);
}

TEST_F(FileTest, FilesNeedAPinCheck) {
  MakeDevice("Token A");
  nkiHandle h = Open("Token A");
  char buffer[8] = {};
  EXPECT_EQ(nkiReadFileEx(h, 1, buffer, 0, 8), NKI_E_ACCESS_DENIED);
  EXPECT_EQ(nkiWriteFileEx(h, 1, buffer, 0, 8), NKI_E_ACCESS_DENIED);
  EXPECT_EQ(nkiCheckPINEx(h, "00000000", 8), NKI_E_PIN_REFUSED | 2);
  EXPECT_EQ(nkiReadFileEx(h, 1, buffer, 0, 8), NKI_E_ACCESS_DENIED);
  nkiCloseSessionEx(&h);
}

TEST_F(FileTest, WrittenBytesPersistAcrossSessions) {
  MakeDevice("Token A", 1, {64, 16, 8, 0});
  nkiHandle h = OpenWithPin("Token A");
  const std::string block("\0\x01\x02 key block \xff", 16);
  EXPECT_EQ(nkiWriteFileEx(h, 1, block.data(), 0, 16), NKI_OK);
  EXPECT_EQ(nkiWriteFileEx(h, 2, "tail", 12, 4), NKI_OK);
  nkiCloseSessionEx(&h);

  h = OpenWithPin("Token A");
  std::string file1(64, '?'), file2(16, '?');
  EXPECT_EQ(nkiReadFileEx(h, 1, file1.data(), 0, 64), NKI_OK);
  EXPECT_EQ(nkiReadFileEx(h, 2, file2.data(), 0, 16), NKI_OK);
  EXPECT_EQ(file1, block + std::string(48, 'x'));
  EXPECT_EQ(file2, std::string(12, 'x') + "tail");
  EXPECT_EQ(nkiReadFileEx(h, 4, nullptr, 0, 0), NKI_OK);  // an empty file reads as nothing
  nkiCloseSessionEx(&h);
}

TEST_F(FileTest, RangesOutsideTheFileAreRefusedAndChangeNothing) {
  MakeDevice("Token A", 1, {64, 16, -1, 0});
  nkiHandle h = OpenWithPin("Token A");
  std::string buffer(80, 'n');
  struct Case {
    uint32_t file, offset, count;
  };
  for (const Case c : {Case{1, 0, 65}, Case{1, 60, 5}, Case{1, 65, 0}, Case{1, 0xFFFFFFFF, 2},
                       Case{3, 0, 1}, Case{0, 0, 1}, Case{5, 0, 1}, Case{4, 0, 1}}) {
    SCOPED_TRACE(::testing::Message() << c.file << " " << c.offset << " " << c.count);
    EXPECT_EQ(nkiReadFileEx(h, c.file, buffer.data(), c.offset, c.count), NKI_E_ARGUMENTS);
    EXPECT_EQ(nkiWriteFileEx(h, c.file, buffer.data(), c.offset, c.count), NKI_E_ARGUMENTS);
  }
  EXPECT_EQ(nkiWriteFileEx(h, 1, nullptr, 0, 4), NKI_E_ARGUMENTS);
  EXPECT_EQ(nkiReadFileEx(h, 1, buffer.data(), 0, 64), NKI_OK);
  EXPECT_EQ(buffer.substr(0, 64), std::string(64, 'x'));
  nkiCloseSessionEx(&h);
}

using ReinitTest = NkicntTest;

// The token layer passes 6 for both credential arguments while its PIN has eight digits:
// the credentials are the zero-terminated texts, whatever their length.
TEST_F(ReinitTest, SetsNewCredentialsAndClearsFiles) {
  MakeDevice("Token A", 1, {8, 4, -1, 0});
  nkiHandle h = Open("Token A");
  for (int i = 0; i < 3; ++i) nkiCheckPINEx(h, "00000000", 8);
  ASSERT_EQ(nkiCheckPINEx(h, kPin, 8), NKI_E_PIN_LOCKED);
  EXPECT_EQ(nkiReInitializeEx(h, "87654321", 6, "FEDCBA98", 6, "Token A"), NKI_OK);
  EXPECT_EQ(nkiCheckPINEx(h, kPin, 8), NKI_E_PIN_REFUSED | 2);
  EXPECT_EQ(nkiCheckPINEx(h, "87654321", 8), NKI_OK);
  std::string file(8, '?');
  EXPECT_EQ(nkiReadFileEx(h, 1, file.data(), 0, 8), NKI_OK);
  EXPECT_EQ(file, std::string(8, '\0'));
  int32_t size = 0;
  EXPECT_EQ(nkiGetFileSizeEx(h, 3, &size), NKI_OK);
  EXPECT_EQ(size, -1);
  EXPECT_EQ(nkiChangePINEx(h, "FEDCBA98", 8, "11112222", 8, NKI_CHANGE_PUK), NKI_OK);
  nkiCloseSessionEx(&h);
}

TEST_F(ReinitTest, RefusedArgumentsChangeNothing) {
  MakeDevice("Token A");
  nkiHandle h = Open("Token A");
  EXPECT_EQ(nkiReInitializeEx(h, "87654321", 8, "FEDCBA98", 6, "L"), NKI_E_ARGUMENTS);
  EXPECT_EQ(nkiReInitializeEx(h, "87654321", 6, "FEDCBA98", 6, nullptr), NKI_E_ARGUMENTS);
  EXPECT_EQ(nkiReInitializeEx(h, "", 6, "FEDCBA98", 6, "L"), NKI_E_PIN_FORM);
  EXPECT_EQ(nkiReInitializeEx(h + 1000, "87654321", 6, "FEDCBA98", 6, "L"), NKI_E_BAD_HANDLE);
  EXPECT_EQ(nkiCheckPINEx(h, kPin, 8), NKI_OK);
  nkiCloseSessionEx(&h);
}

TEST(ErrorMsgTest, RussianForLanguage1049EnglishOtherwise) {
  char buffer[NKI_MESSAGE_BUFFER];
  EXPECT_EQ(nkiErrorMsgLang(0xE2, NKI_LANGUAGE_RUSSIAN, buffer), NKI_OK);
  EXPECT_STREQ(buffer, "Неверный PIN-код, осталось попыток: 2");
  EXPECT_EQ(nkiErrorMsgLang(NKI_E_PIN_LOCKED, NKI_LANGUAGE_RUSSIAN, buffer), NKI_OK);
  EXPECT_STREQ(buffer, "PIN-код заблокирован");
  EXPECT_EQ(nkiErrorMsgLang(NKI_E_PIN_LOCKED, 1033, buffer), NKI_OK);
  EXPECT_STREQ(buffer, "PIN blocked");
  EXPECT_EQ(nkiErrorMsgLang(77, NKI_LANGUAGE_RUSSIAN, buffer), NKI_OK);
  EXPECT_STREQ(buffer, "Неизвестная ошибка 77");
  EXPECT_EQ(nkiErrorMsgLang(0, 1049, nullptr), NKI_E_ARGUMENTS);
}

// Every text must fit the caller's fixed buffer and stay valid UTF-8.
TEST(ErrorMsgTest, EveryTextFitsTheBuffer) {
  for (uint32_t code = 0; code <= 0x1FF; ++code) {
    for (uint32_t language : {1049u, 1033u}) {
      char buffer[NKI_MESSAGE_BUFFER + 4];
      std::fill(std::begin(buffer), std::end(buffer), '#');
      ASSERT_EQ(nkiErrorMsgLang(code, language, buffer), NKI_OK);
      ASSERT_EQ(buffer[NKI_MESSAGE_BUFFER], '#') << code;
      ASSERT_LT(std::strlen(buffer), size_t{NKI_MESSAGE_BUFFER});
      ASSERT_GT(std::strlen(buffer), 0u);
    }
  }
}

}  // namespace
}  // namespace brelo::nkicnt::test

namespace brelo::nkicnt::test {
namespace {

TEST(ErrorMsgTest, CutTextNeverEndsInsideACharacter) {
  char buffer[4];
  CopyText("ПИН", buffer, sizeof buffer);  // room for one two-byte letter and a half
  EXPECT_STREQ(buffer, "П");
  CopyText("ab", buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "ab");
}

}  // namespace
}  // namespace brelo::nkicnt::test
