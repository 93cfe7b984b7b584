// The device folder on disk: crash safety, damaged data, and the device tool.
#include "NkicntFixture.h"
#include "brelo_test/Command.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace brelo::nkicnt::test {
namespace {

namespace fs = std::filesystem;
using brelo::test::ReadFile;
using brelo::test::WriteFile;

std::string ReadFile1(const std::string& device, uint32_t size) {
  nkiHandle h = 0;
  if (nkiOpenSessionEx(&h, device.c_str(), 0) != NKI_OK) return "<no open>";
  std::string bytes(size, '?');
  if (nkiCheckPINEx(h, kPin, 8) != NKI_OK || nkiReadFileEx(h, 1, bytes.data(), 0, size) != NKI_OK)
    bytes = "<no read>";
  nkiCloseSessionEx(&h);
  return bytes;
}

std::vector<fs::path> Leftovers(const fs::path& folder) {
  std::vector<fs::path> found;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.path().filename().string().rfind("device.txt.tmp-", 0) == 0) found.push_back(e.path());
  }
  return found;
}

using CrashTest = NkicntTest;

// A process that dies while writing leaves the old contents readable, and the half-written
// temporary file changes nothing afterwards.
TEST_F(CrashTest, DeathDuringAWriteKeepsTheOldContents) {
  MakeDevice("Token A", 1, {16, -1, -1, -1});
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    nkiHandle h = 0;
    nkiOpenSessionEx(&h, "Token A", 0);
    nkiCheckPINEx(h, kPin, 8);  // stored before the crash is armed
    setenv("NKICNT_TEST_CRASH_MID_WRITE", "1", 1);
    nkiWriteFileEx(h, 1, "NEW CONTENTS 16b", 0, 16);
    _exit(0);  // not reached when the hook works
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 70) << "the write should have died half-way";

  EXPECT_EQ(Leftovers(root / "Token A").size(), 1u);
  EXPECT_EQ(ReadFile1("Token A", 16), std::string(16, 'x'));

  nkiHandle h = OpenWithPin("Token A");
  EXPECT_EQ(nkiWriteFileEx(h, 1, "NEW CONTENTS 16b", 0, 16), NKI_OK);
  nkiCloseSessionEx(&h);
  EXPECT_EQ(ReadFile1("Token A", 16), "NEW CONTENTS 16b");
}

TEST_F(CrashTest, ForeignTemporaryFileIsIgnored) {
  MakeDevice("Token A", 1, {16, -1, -1, -1});
  WriteFile(root / "Token A" / "device.txt.tmp-ABCDEF", "nkicnt-device 1\nuid 00");
  EXPECT_EQ(ReadFile1("Token A", 16), std::string(16, 'x'));
}

// Damaged data files: each must give an error code, never a crash or a half-read device.
struct Damage {
  const char* name;
  std::string (*make)(const std::string& good);
};

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  const size_t at = s.find(from);
  return at == std::string::npos ? s : s.replace(at, from.size(), to);
}

class DamagedDeviceTest : public NkicntTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedDeviceTest, OpenFailsWithDeviceError) {
  MakeDevice("Token A", 0x1122334455667788ULL, {4, 2, -1, 0});
  const fs::path data = root / "Token A" / kDataFile;
  WriteFile(data, GetParam().make(ReadFile(data)));
  nkiHandle h = 0;
  EXPECT_EQ(nkiOpenSessionEx(&h, "Token A", 0), NKI_E_DEVICE);
  char name[NKI_DEVICE_NAME_BUFFER];
  EXPECT_EQ(nkiEnumDevices(1, 1, name), NKI_OK);  // still listed: the device is there
  EXPECT_STREQ(name, "Token A");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedDeviceTest,
    ::testing::Values(
        Damage{"Empty", [](const std::string&) { return std::string(); }},
        Damage{"Truncated", [](const std::string& g) { return g.substr(0, g.size() / 2); }},
        Damage{"NoFinalNewline", [](const std::string& g) { return g.substr(0, g.size() - 1); }},
        Damage{"TrailingData", [](const std::string& g) { return g + "file 5 0 \n"; }},
        Damage{"WrongMagic", [](const std::string& g) { return Replace(g, "device 1", "device 2"); }},
        Damage{"ShortUid", [](const std::string& g) { return Replace(g, "uid 1122", "uid 22"); }},
        Damage{"UidNotHex", [](const std::string& g) { return Replace(g, "uid 1122", "uid 11G2"); }},
        Damage{"OddPinHex", [](const std::string& g) { return Replace(g, "pin 3132", "pin 313"); }},
        Damage{"EmptyPin", [](const std::string& g) {
                 return Replace(g, "pin 3132333435363738", "pin ");
               }},
        Damage{"TriesAboveMax", [](const std::string& g) {
                 return Replace(g, "pin-tries 3 3", "pin-tries 4 3");
               }},
        Damage{"TriesTooMany", [](const std::string& g) {
                 return Replace(g, "pin-tries 3 3", "pin-tries 16 16");
               }},
        Damage{"NegativeTries", [](const std::string& g) {
                 return Replace(g, "pin-tries 3 3", "pin-tries -1 3");
               }},
        Damage{"SizeDisagrees", [](const std::string& g) {
                 return Replace(g, "file 1 4 78787878", "file 1 5 78787878");
               }},
        Damage{"HugeSize", [](const std::string& g) {
                 return Replace(g, "file 1 4 78787878", "file 1 99999999999 78787878");
               }},
        Damage{"FilesOutOfOrder", [](const std::string& g) {
                 return Replace(g, "file 3 -1", "file 4 -1");
               }},
        Damage{"MissingLine", [](const std::string& g) { return Replace(g, "puk-tries 3 3\n", ""); }},
        Damage{"BinaryJunk", [](const std::string&) { return std::string("\0\xff\n\n\x80", 5); }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(NkicntTest, DataFileOfAnotherKindIsRefused) {
  MakeDevice("Token A");
  MakeDevice("Token B");
  fs::remove(root / "Token A" / kDataFile);
  fs::create_directory(root / "Token A" / kDataFile);
  fs::remove(root / "Token B" / kDataFile);
  ASSERT_EQ(mkfifo((root / "Token B" / kDataFile).c_str(), 0600), 0);  // must not hang
  nkiHandle h = 0;
  EXPECT_EQ(nkiOpenSessionEx(&h, "Token A", 0), NKI_E_DEVICE);
  EXPECT_EQ(nkiOpenSessionEx(&h, "Token B", 0), NKI_E_DEVICE);
}

TEST(DeviceFormatTest, FormatThenParseKeepsEverything) {
  Device d;
  d.uid = 0xFEDCBA9876543210ULL;
  d.pin = Secret(std::string("p\x01\xff", 3));
  d.puk = Secret("PUK");
  d.pinTries = {1, 15};
  d.pukTries = {0, 2};
  d.files = {Secret(std::string("\0a\n b", 5)), std::nullopt, Secret(""), std::nullopt};
  const Device back = ParseDevice(FormatDevice(d).bytes());
  EXPECT_EQ(back.uid, d.uid);
  EXPECT_EQ(back.pin.bytes(), d.pin.bytes());
  EXPECT_EQ(back.puk.bytes(), "PUK");
  EXPECT_EQ(back.pinTries.left, 1u);
  EXPECT_EQ(back.pinTries.max, 15u);
  EXPECT_EQ(back.pukTries.left, 0u);
  for (int i = 0; i < kFileCount; ++i) {
    ASSERT_EQ(back.files[i].has_value(), d.files[i].has_value()) << i;
    if (d.files[i]) {
      EXPECT_EQ(back.files[i]->bytes(), d.files[i]->bytes()) << i;
    }
  }
}

// The fuzzer's seeds, through the parser as an ordinary test.
TEST(DeviceFormatTest, CorpusFilesParseOrFailCleanly) {
  int parsed = 0, refused = 0;
  for (const auto& e : fs::directory_iterator(NKICNT_CORPUS)) {
    try {
      ParseDevice(ReadFile(e.path()));
      ++parsed;
    } catch (const DeviceError&) {
      ++refused;
    }
  }
  EXPECT_GE(parsed, 1);
  EXPECT_GE(refused, 1);
}

// The device tool, as the demo and other tests use it.
using ToolTest = NkicntTest;

brelo::test::CommandResult Tool(std::vector<std::string> args) {
  args.insert(args.begin(), NKICNT_DEVICE_TOOL);
  return brelo::test::RunCommand(args);
}

TEST_F(ToolTest, CreatedDeviceWorksThroughTheLibrary) {
  const auto r = Tool({"create", "USB Token 1", "--uid", "00a1b2c3d4e5f607", "--pin", kPin,
                       "--puk", kPuk, "--sizes", "32,16,-1,-1", "--pin-tries", "5"});
  ASSERT_TRUE(r.ok()) << r.err;
  nkiHandle h = Open("USB Token 1");
  uint64_t uid = 0;
  EXPECT_EQ(nkiGetUID(h, &uid), NKI_OK);
  EXPECT_EQ(uid, 0x00A1B2C3D4E5F607ULL);
  int32_t size = 0;
  EXPECT_EQ(nkiGetFileSizeEx(h, 1, &size), NKI_OK);
  EXPECT_EQ(size, 32);
  EXPECT_EQ(nkiCheckPINEx(h, "00000000", 8), NKI_E_PIN_REFUSED | 4);
  EXPECT_EQ(nkiCheckPINEx(h, kPin, 8), NKI_OK);
  nkiCloseSessionEx(&h);

  const auto shown = Tool({"show", "USB Token 1"});
  EXPECT_EQ(shown.out,
            "name USB Token 1\nuid 00A1B2C3D4E5F607\npin-tries 5 5\npuk-tries 10 10\n"
            "file 1 32\nfile 2 16\nfile 3 -1\nfile 4 -1\n");
  EXPECT_EQ(shown.out.find(kPin), std::string::npos);
}

TEST_F(ToolTest, RefusesBadInputAndExistingDevices) {
  const std::vector<std::vector<std::string>> bad = {
      {"create", "T", "--uid", "123", "--pin", kPin, "--puk", kPuk},
      {"create", "T", "--uid", "00A1B2C3D4E5F607", "--puk", kPuk},
      {"create", "T", "--uid", "00A1B2C3D4E5F607", "--pin", kPin, "--puk", kPuk, "--sizes", "1,2"},
      {"create", "T", "--uid", "00A1B2C3D4E5F607", "--pin", kPin, "--puk", kPuk,
       "--pin-tries", "16"},
      {"create", "a/b", "--uid", "00A1B2C3D4E5F607", "--pin", kPin, "--puk", kPuk},
      {"create", "T", "--uid", "00A1B2C3D4E5F607", "--pin", kPin, "--puk", kPuk, "--colour", "red"},
  };
  for (const auto& args : bad) {
    const auto r = Tool(args);
    EXPECT_NE(r.exitCode, 0) << args.back();
    EXPECT_FALSE(r.err.empty());
  }
  EXPECT_FALSE(fs::exists(root / "T"));

  ASSERT_TRUE(Tool({"create", "T", "--uid", "0000000000000001", "--pin", kPin, "--puk", kPuk}).ok());
  const std::string before = ReadFile(root / "T" / kDataFile);
  EXPECT_EQ(Tool({"create", "T", "--uid", "0000000000000002", "--pin", "1", "--puk", "2"}).exitCode, 1);
  EXPECT_EQ(ReadFile(root / "T" / kDataFile), before);
}

}  // namespace
}  // namespace brelo::nkicnt::test
