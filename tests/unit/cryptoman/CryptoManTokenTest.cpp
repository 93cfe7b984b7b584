// The manager's token data cache and the formats' reads from a token key path, through
// test hooks.

#include <gtest/gtest.h>

#include "Fixtures.h"
#include "PlainFormat.h"

using namespace brelo;
using namespace brelo::test;

namespace {

class CryptoManToken : public ::testing::Test {
protected:
    void SetUp() override {
        man.SetCryptoFormat(&format);
        man.BeginUse();
        man.SetKeyInfo("USER01", SecureString("pw"), std::string("USBToken:") + FakeToken::Name,
                       KeyInfoFlags::All);
    }
    void TearDown() override { man.EndUse(); }

    FakeToken token;
    TCryptoMan man;
    TPlainFormat format;
};

}  // namespace

TEST_F(CryptoManToken, EmptyTokenIsNotCachedAndReadAgain) {
    ByteString data = "untouched";
    EXPECT_FALSE(man.GetTokenFile(2, data));
    EXPECT_FALSE(man.GetTokenFile(2, data));
    EXPECT_EQ(data, "untouched");
    EXPECT_EQ(token.DataReads, 2);
    EXPECT_EQ(man.GetTokenData(), nullptr);
    EXPECT_EQ(token.DataReads, 3);
}

TEST_F(CryptoManToken, TokenDataReadOnceUntilReleaseKeys) {
    token.Entries[2] = "CERT";
    token.Entries[14] = "FOURTEEN";
    ByteString data;
    EXPECT_TRUE(man.GetTokenFile(2, data));
    EXPECT_EQ(data, "CERT");
    EXPECT_TRUE(man.GetTokenFile(3, data));
    EXPECT_EQ(data, "");
    EXPECT_TRUE(man.GetTokenFile(14, data));
    EXPECT_EQ(data, "FOURTEEN");
    EXPECT_EQ(token.DataReads, 1);
    EXPECT_EQ(token.LastPassword, "pw");
    EXPECT_EQ(man.TokenSerial(), "SERIAL-77");
    EXPECT_EQ(man.TokenType(), 5);

    data = "untouched";
    EXPECT_FALSE(man.GetTokenFile(15, data));
    EXPECT_FALSE(man.GetTokenFile(-1, data));
    EXPECT_EQ(data, "untouched");

    man.ReleaseKeys();
    EXPECT_TRUE(man.GetTokenFile(2, data));
    EXPECT_EQ(token.DataReads, 2);
}

TEST_F(CryptoManToken, HooksGetTheDeviceName) {
    EXPECT_TRUE(man.IsTokenKeyPath());
    EXPECT_EQ(man.GetKeyPath(), "USBToken:TOKEN 01\\");
    man.CheckTokenPresent();
    man.GetTokenData();
    for (const std::string& name : token.DeviceNames) {
        EXPECT_EQ(name, FakeToken::Name);
    }
}

TEST_F(CryptoManToken, AbsentTokenIsNotFoundUSBToken) {
    token.Present = false;
    try {
        man.CheckTokenPresent();
        FAIL();
    } catch (const ECryptoManError& e) {
        EXPECT_EQ(e.Message(), "NotFoundUSBToken");
    }
}

TEST_F(CryptoManToken, FormatReadsItsKeyFromTheToken) {
    token.Entries[3] = TPlainKey::Content("pw");
    man.CheckUserKeys();
    token.Entries[3] = TPlainKey::Content("changed");
    format.GetUserKey();  // still the cached key and the cached token data
    EXPECT_EQ(format.KeyReads, 1);
    EXPECT_EQ(token.DataReads, 1);
}

TEST_F(CryptoManToken, EmptyKeyEntryIsInsertUSBDisk) {
    token.Entries[2] = "CERT";
    try {
        man.CheckUserKeys();
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "InsertUSBDisk");
    }
}

TEST_F(CryptoManToken, TestKeyAndTestCertReadTheirEntries) {
    token.Entries[3] = TPlainKey::Content("pw");
    token.Entries[2] = TPlainCert::Content("USER01");
    const std::string path = man.GetKeyPath();
    format.TestKey("USER01", SecureString("pw"), path);
    EXPECT_THROW(format.TestKey("USER01", SecureString("bad"), path), EPlainWrongPassword);
    format.TestCert("USER01", SecureString("pw"), path, 30);
    EXPECT_THROW(format.TestCert("OTHER", SecureString("pw"), path, 30), ECheckCertUserError);
}

TEST(CryptoManTokenHooks, UnregisteredHookIsAnAssertionFailure) {
    TCryptoMan man;
    man.SetKeyInfo("U", SecureString(), "USBToken:X", KeyInfoFlags::All);
    EXPECT_THROW(man.CheckTokenPresent(), EAssertionFailed);
    ByteString data;
    EXPECT_THROW(man.GetTokenFile(0, data), EAssertionFailed);
}
