#include "token/BreloUsbTokenUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/Exceptions.h"

using namespace brelo;
using ::testing::StartsWith;

namespace {

struct NameCase {
    const char* keyPath;
    const char* name;
};

TEST(TokenPath, GetTokenNameExtractsTheTrimmedDeviceName) {
    const NameCase cases[] = {
        NameCase{"USBToken:TOKEN 01\\", "TOKEN 01"},
        NameCase{"USBToken:  ABC  ", "ABC"},
        NameCase{"USBToken:\t ABC \r\n\\", "ABC"},        // control characters trimmed too
        NameCase{"USBToken:TOKEN 01", "TOKEN 01"},         // no backslash: to the end
        NameCase{"USBToken:A\\B\\", "A"},                  // first backslash ends the name
        NameCase{"USBToken:\\", ""},
        NameCase{"USBToken:", ""},
        NameCase{"usbtoken:TOKEN\\", ""},                  // prefix is case-sensitive
        NameCase{"USBTOKEN:TOKEN\\", ""},
        NameCase{" USBToken:TOKEN\\", ""},                 // leading space: a folder
        NameCase{"C:\\Keys\\", ""},
        NameCase{"/home/user/keys/", ""},
        NameCase{"", ""},
        NameCase{"USBToken:Токен №1\\", "Токен №1"},
        // the key path keeps a long name whole; only the device line cuts it
        NameCase{"USBToken:0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd\\", "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TBreloUsbTokenInt::GetTokenName(c.keyPath), c.name) << c.keyPath;
    }
}

TEST(TokenPath, PrefixIsCaseSensitive) {
    EXPECT_TRUE(TBreloUsbTokenInt::IsTokenPath("USBToken:"));
    EXPECT_TRUE(TBreloUsbTokenInt::IsTokenPath("USBToken:X\\"));
    EXPECT_FALSE(TBreloUsbTokenInt::IsTokenPath("usbtoken:X\\"));
    EXPECT_FALSE(TBreloUsbTokenInt::IsTokenPath("USBToken"));
    EXPECT_FALSE(TBreloUsbTokenInt::IsTokenPath(""));
}

TEST(PadTokenName, PadsOrCutsToThirtyTwoCharacters) {
    EXPECT_EQ(TBreloUsbTokenInt::PadTokenName("ABC"), "ABC" + std::string(29, ' '));
    EXPECT_EQ(TBreloUsbTokenInt::PadTokenName(""), std::string(32, ' '));
    const std::string forty = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd";
    EXPECT_EQ(TBreloUsbTokenInt::PadTokenName(forty), forty.substr(0, 32));
    EXPECT_EQ(TBreloUsbTokenInt::PadTokenName(forty.substr(0, 32)), forty.substr(0, 32));
}

TEST(PadTokenName, CountsCyrillicLettersAsOneCharacterAndNeverSplitsThem) {
    std::string ten;  // "Ж" is two bytes in UTF-8
    for (int i = 0; i < 10; ++i) ten += "Ж";
    EXPECT_EQ(TBreloUsbTokenInt::PadTokenName(ten), ten + std::string(22, ' '));
    std::string forty;
    for (int i = 0; i < 40; ++i) forty += "Ж";
    EXPECT_EQ(TBreloUsbTokenInt::PadTokenName(forty), forty.substr(0, 64));
}

TEST(Holder, StartsEmptyAndSetsEntries) {
    TBreloUsbTokenFileDataHolder holder;
    for (int i = holder.LowIndex; i <= holder.HighIndex; ++i) {
        EXPECT_EQ(holder.GetData(i), "") << i;
    }
    holder.SetDataList({"x", "y"}, {2, 4});
    for (int i = holder.LowIndex; i <= holder.HighIndex; ++i) {
        EXPECT_EQ(holder.GetData(i), i == 2 ? "x" : i == 4 ? "y" : "") << i;
    }
    holder.SetData(15, std::string("a\0b", 3));
    EXPECT_EQ(holder.GetData(15), std::string("a\0b", 3));
}

TEST(Holder, BadListsAndIndexesAreAssertionFailuresThatChangeNothing) {
    TBreloUsbTokenFileDataHolder holder;
    holder.SetData(2, "kept");
    struct Case {
        std::vector<ByteString> values;
        std::vector<int> indexes;
    };
    const Case cases[] = {
        {{"x", "y"}, {2}},
        {{"x"}, {2, 4}},
        {{}, {2}},
        {{"x", "y"}, {2, 16}},  // valid first pair must not be applied either
        {{"x"}, {-1}},
    };
    for (const auto& c : cases) {
        try {
            holder.SetDataList(c.values, c.indexes);
            ADD_FAILURE() << "no assertion failure";
        } catch (const EAssertionFailed& e) {
            EXPECT_THAT(e.Message(), StartsWith("Assertion failure"));
        }
        EXPECT_EQ(holder.GetData(2), "kept");
    }
    EXPECT_THROW(holder.GetData(16), EAssertionFailed);
    EXPECT_THROW(holder.SetData(-1, "x"), EAssertionFailed);
}

// Each test starts and ends with every hook empty, as the program starts.
class HooksTest : public ::testing::Test {
protected:
    void SetUp() override { ClearHooks(); }
    void TearDown() override { ClearHooks(); }
    static void ClearHooks() {
        TBreloUsbTokenInt::SetReadTokenFileProc(nullptr);
        TBreloUsbTokenInt::SetWriteTokenFileProc(nullptr);
        TBreloUsbTokenInt::SetReadTokenDataProc(nullptr);
        TBreloUsbTokenInt::SetInstallCertsProc(nullptr);
        TBreloUsbTokenInt::SetWriteKeysProc(nullptr);
        TBreloUsbTokenInt::SetChangePinProc(nullptr);
        TBreloUsbTokenInt::SetUnblockPinProc(nullptr);
        TBreloUsbTokenInt::SetTokenPresentProc(nullptr);
        TBreloUsbTokenInt::SetGetTokenInfoProc(nullptr);
    }
};

TEST_F(HooksTest, UnregisteredHooksFailTheAssertion) {
    const SecureString password("secret");
    TMemoryStream data;
    TBreloUsbTokenFileDataHolder holder;
    TUsbTokenInfo info;
    const std::function<void()> calls[] = {
        [&] { TBreloUsbTokenInt::ReadTokenFile("USBToken:T\\", 0, password, data); },
        [&] { TBreloUsbTokenInt::WriteTokenFile("USBToken:T\\", 0, password, data); },
        [&] { TBreloUsbTokenInt::WriteTokenText("USBToken:T\\", 0, password, "x"); },
        [&] { TBreloUsbTokenInt::ReadTokenData("USBToken:T\\", password, holder); },
        [&] { TBreloUsbTokenInt::TokenPresent("USBToken:T\\"); },
        [&] { TBreloUsbTokenInt::GetTokenInfo("USBToken:T\\", info); },
        [&] { TBreloUsbTokenInt::WriteKeys("T", password, "USER", "", "", "", "", "", ""); },
    };
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "no assertion failure";
        } catch (const EAssertionFailed& e) {
            EXPECT_THAT(e.Message(), StartsWith("Assertion failure"));
            EXPECT_THAT(e.Message(), ::testing::Not(::testing::HasSubstr("secret")));
        }
    }
}

TEST_F(HooksTest, WrappersPassTheDeviceNameAndOtherArgumentsUnchanged) {
    std::string seenName;
    int seenEntry = -1;
    std::string seenPassword;
    ByteString written;
    TBreloUsbTokenInt::SetReadTokenFileProc(
        [&](const std::string& name, int entry, const SecureString& pw, TStream& out) {
            seenName = name;
            seenEntry = entry;
            seenPassword = pw.str();
            out.WriteBytes("CERT");
            return true;
        });
    TBreloUsbTokenInt::SetWriteTokenFileProc(
        [&](const std::string& name, int entry, const SecureString&, TStream& in) {
            seenName = name;
            seenEntry = entry;
            written = in.ReadRest();
            return true;
        });

    TMemoryStream out;
    EXPECT_TRUE(TBreloUsbTokenInt::ReadTokenFile("USBToken: TOKEN 01 \\", 7, SecureString("pw"), out));
    EXPECT_EQ(seenName, "TOKEN 01");
    EXPECT_EQ(seenEntry, 7);
    EXPECT_EQ(seenPassword, "pw");
    EXPECT_EQ(out.Bytes(), "CERT");

    TMemoryStream in(ByteString("skipDATA"));
    in.SetPosition(4);  // written from the current position
    EXPECT_TRUE(TBreloUsbTokenInt::WriteTokenFile("USBToken:B\\", 3, SecureString("pw"), in));
    EXPECT_EQ(seenName, "B");
    EXPECT_EQ(written, "DATA");

    EXPECT_TRUE(TBreloUsbTokenInt::WriteTokenText("USBToken:C\\", 6, SecureString("pw"), ""));
    EXPECT_EQ(seenName, "C");
    EXPECT_EQ(seenEntry, 6);
    EXPECT_EQ(written, "");
}

TEST_F(HooksTest, RegisteringAgainReplacesAndHookExceptionsPassThrough) {
    TBreloUsbTokenInt::SetTokenPresentProc([](const std::string&) { return false; });
    TBreloUsbTokenInt::SetTokenPresentProc([](const std::string& name) { return name == "T"; });
    EXPECT_TRUE(TBreloUsbTokenInt::TokenPresent("USBToken:T\\"));
    EXPECT_FALSE(TBreloUsbTokenInt::TokenPresent("USBToken:U\\"));

    TBreloUsbTokenInt::SetReadTokenDataProc(
        [](const std::string&, const SecureString&, TBreloUsbTokenFileDataHolder&) -> bool {
            throw Exception("CKR_PIN_INCORRECT");
        });
    TBreloUsbTokenFileDataHolder holder;
    try {
        TBreloUsbTokenInt::ReadTokenData("USBToken:T\\", SecureString("pw"), holder);
        ADD_FAILURE() << "no exception";
    } catch (const EAssertionFailed&) {
        ADD_FAILURE() << "wrong class";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "CKR_PIN_INCORRECT");
    }
}

TEST_F(HooksTest, GetTokenInfoStartsFromAClearedRecord) {
    TBreloUsbTokenInt::SetGetTokenInfoProc([](const std::string&, TUsbTokenInfo&) {});  // not found
    TUsbTokenInfo info{"old", "123", 5};
    TBreloUsbTokenInt::GetTokenInfo("USBToken:T\\", info);
    EXPECT_EQ(info.Name, "");
    EXPECT_EQ(info.SerialNumber, "");
    EXPECT_EQ(info.TokenType, 0);
}

TEST_F(HooksTest, WriteKeysHandsTheDeviceLineOverUnparsed) {
    std::vector<std::string> seen;
    TBreloUsbTokenInt::SetWriteKeysProc(
        [&](const std::string& line, const SecureString& pw, const std::string& login,
            const ByteString& ca, const ByteString& tr, const ByteString& uc, const ByteString& uk,
            const ByteString& gc, const ByteString& gk) {
            seen = {line, pw.str(), login, ca, tr, uc, uk, gc, gk};
            return true;
        });
    const std::string line = TBreloUsbTokenInt::PadTokenName("T") + "[0042]";
    EXPECT_TRUE(TBreloUsbTokenInt::WriteKeys(line, SecureString("pw"), "USER", "ca", "tr", "uc",
                                             "uk", "gc", "gk"));
    EXPECT_EQ(seen, (std::vector<std::string>{line, "pw", "USER", "ca", "tr", "uc", "uk", "gc", "gk"}));
}

}  // namespace
