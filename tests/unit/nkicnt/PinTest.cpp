// PIN and PUK handling: refusals with tries left, blocking after the last try, changing and
// unblocking, and the rule that PIN functions never answer in the refusal range otherwise.
#include "NkicntFixture.h"

#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <vector>

namespace brelo::nkicnt::test {
namespace {

enum Op { Check, ChangePin, ChangePuk, Unblock };

struct Step {
  Op op;
  const char* a;  // the PIN to check, or the old credential
  const char* b;  // the new credential
  uint32_t expected;
};

struct Scenario {
  const char* name;
  std::vector<Step> steps;
};

uint32_t RunStep(nkiHandle h, const Step& s) {
  const auto len = [](const char* t) { return static_cast<uint32_t>(std::strlen(t)); };
  switch (s.op) {
    case Check: return nkiCheckPINEx(h, s.a, len(s.a));
    case ChangePin: return nkiChangePINEx(h, s.a, len(s.a), s.b, len(s.b), NKI_CHANGE_PIN);
    case ChangePuk: return nkiChangePINEx(h, s.a, len(s.a), s.b, len(s.b), NKI_CHANGE_PUK);
    case Unblock: return nkiChangePINEx(h, s.a, len(s.a), s.b, len(s.b), NKI_UNBLOCK_PIN);
  }
  return 0;
}

constexpr uint32_t kRefused = NKI_E_PIN_REFUSED;
// Makes every write past Bytes fail (EFBIG) while it lives; works for root too.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    oldSignal_ = signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, oldSignal_);
  }

 private:
  rlimit old_{};
  sighandler_t oldSignal_{};
};

const char* const kWrong = "99999999";
const char* const kLong = "123456789012345678901234567890123";  // 33 bytes

class PinScenarioTest : public NkicntTest, public ::testing::WithParamInterface<Scenario> {};

// Every step runs in a fresh session, so what the device remembers is what counts.
TEST_P(PinScenarioTest, Steps) {
  MakeDevice("Token A");
  int n = 0;
  for (const Step& s : GetParam().steps) {
    nkiHandle h = Open("Token A");
    EXPECT_EQ(RunStep(h, s), s.expected) << "step " << n++;
    nkiCloseSessionEx(&h);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PinScenarioTest,
    ::testing::Values(
        Scenario{"RightPin", {{Check, kPin, "", NKI_OK}}},
        Scenario{"WrongTriesThenBlock",
                 {{Check, kWrong, "", kRefused | 2}, {Check, kWrong, "", kRefused | 1},
                  {Check, kWrong, "", kRefused | 0}, {Check, kPin, "", NKI_E_PIN_LOCKED},
                  {ChangePin, kPin, "11111111", NKI_E_PIN_LOCKED}}},
        Scenario{"RightPinRestoresTries",
                 {{Check, kWrong, "", kRefused | 2}, {Check, kWrong, "", kRefused | 1},
                  {Check, kPin, "", NKI_OK}, {Check, kWrong, "", kRefused | 2}}},
        Scenario{"MalformedPinSpendsNoTry",
                 {{Check, "", "", NKI_E_PIN_FORM}, {Check, kLong, "", NKI_E_PIN_FORM},
                  {Check, kWrong, "", kRefused | 2}}},
        Scenario{"ChangePin",
                 {{ChangePin, kWrong, "11111111", kRefused | 2},
                  {ChangePin, kPin, "11111111", NKI_OK}, {Check, kPin, "", kRefused | 2},
                  {Check, "11111111", "", NKI_OK}}},
        Scenario{"MalformedNewPinChangesNothing",
                 {{ChangePin, kPin, "", NKI_E_PIN_FORM}, {ChangePin, kWrong, kLong, NKI_E_PIN_FORM},
                  {Check, kPin, "", NKI_OK}}},
        Scenario{"UnblockWithPuk",
                 {{Check, kWrong, "", kRefused | 2}, {Check, kWrong, "", kRefused | 1},
                  {Check, kWrong, "", kRefused | 0}, {Unblock, kWrong, "22222222", NKI_E_PUK_INCORRECT},
                  {Unblock, kPuk, "22222222", NKI_OK}, {Check, "22222222", "", NKI_OK}}},
        Scenario{"ChangePuk",
                 {{ChangePuk, kWrong, "PUK2", NKI_E_PUK_INCORRECT}, {ChangePuk, kPuk, "PUK2", NKI_OK},
                  {Unblock, kPuk, "33333333", NKI_E_PUK_INCORRECT},
                  {Unblock, "PUK2", "33333333", NKI_OK}}},
        Scenario{"PukBlocksAfterItsLastTry",
                 {{ChangePuk, kWrong, "PUK2", NKI_E_PUK_INCORRECT},
                  {ChangePuk, kWrong, "PUK2", NKI_E_PUK_INCORRECT},
                  {ChangePuk, kWrong, "PUK2", NKI_E_PUK_INCORRECT},
                  {Unblock, kPuk, "33333333", NKI_E_PIN_LOCKED}, {Check, kPin, "", NKI_OK}}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(NkicntTest, PinCheckWithinOneSessionOpensFilesUntilAWrongPin) {
  MakeDevice("Token A");
  nkiHandle h = OpenWithPin("Token A");
  char byte = 0;
  EXPECT_EQ(nkiReadFileEx(h, 1, &byte, 0, 1), NKI_OK);
  EXPECT_EQ(nkiCheckPINEx(h, kWrong, 8), kRefused | 2);
  EXPECT_EQ(nkiReadFileEx(h, 1, &byte, 0, 1), NKI_E_ACCESS_DENIED);
  nkiCloseSessionEx(&h);
}

TEST_F(NkicntTest, MaximumTriesFitTheLowFourBits) {
  MakeDevice("Token A", 1, {8, 8, 8, 8}, 15);
  nkiHandle h = Open("Token A");
  EXPECT_EQ(nkiCheckPINEx(h, kWrong, 8), kRefused | 14);
  nkiCloseSessionEx(&h);
}

// Callers read E0..FF from the PIN functions as a refused PIN; failures that are not
// refusals must stay out of that range.
TEST_F(NkicntTest, PinFunctionFailuresStayOutOfTheRefusalRange) {
  MakeDevice("Token A");
  nkiHandle h = Open("Token A");
  brelo::test::WriteFile(root / "Token A" / kDataFile, "damaged");
  EXPECT_EQ(nkiCheckPINEx(h, kPin, 8), NKI_E_GENERAL);
  EXPECT_EQ(nkiChangePINEx(h, kPin, 8, "1", 1, NKI_CHANGE_PIN), NKI_E_GENERAL);
  EXPECT_EQ(nkiCheckPINEx(h, nullptr, 8), NKI_E_GENERAL);
  EXPECT_EQ(nkiChangePINEx(h, kPin, 8, "1", 1, 3), NKI_E_GENERAL);
  nkiCloseSessionEx(&h);
}

// A device that cannot be written answers no PIN check, right or wrong: were only wrong
// guesses stored, the answers would tell the right PIN without spending a try.
TEST_F(NkicntTest, UnwritableDeviceAnswersNoPinCheck) {
  MakeDevice("Token A");
  nkiHandle h = Open("Token A");
  {
    FileSizeLimit limit(64);  // far below the size of the device's data file
    EXPECT_EQ(nkiCheckPINEx(h, kWrong, 8), NKI_E_GENERAL);
    EXPECT_EQ(nkiCheckPINEx(h, kPin, 8), NKI_E_GENERAL);
  }
  EXPECT_EQ(nkiCheckPINEx(h, kWrong, 8), kRefused | 2);
  nkiCloseSessionEx(&h);
}

}  // namespace
}  // namespace brelo::nkicnt::test
