// The format base: the private-key cache policy and its lock, TestKey/TestCert on a key
// folder, the base behaviours.

#include <gtest/gtest.h>

#include <thread>

#include "Fixtures.h"
#include "PlainFormat.h"

using namespace brelo;
using namespace brelo::test;

namespace {

class FormatInFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir.Write("USER01.pkey", TPlainKey::Content("pw"));
        dir.Write("USER01.pcer", TPlainCert::Content("USER01"));
        man.SetCryptoFormat(&format);
        man.SetKeyInfo("USER01", SecureString(), dir.Path(),
                       KeyInfoFlags::UserName | KeyInfoFlags::KeyPath);
        man.SetOnGetKeyInfo([](TCryptoMan&, std::string&, SecureString& password, std::string&) {
            password = SecureString("pw");
        });
    }
    TempDir dir;
    TCryptoMan man;
    TPlainFormat format;
};

}  // namespace

TEST_F(FormatInFolder, CachePolicyFollowsUseCountAndCacheFlag) {
    format.GetUserKey();
    format.GetUserKey();
    EXPECT_EQ(format.KeyReads, 2);

    format.IncUse();  // the key read last is kept, not read again
    TCustomKey* key = format.GetUserKey();
    EXPECT_EQ(format.GetUserKey(), key);
    EXPECT_EQ(format.KeyReads, 2);
    format.DecUse();
    format.DecUse();  // stays at zero
    EXPECT_EQ(format.UseCount(), 0);
    format.GetUserKey();
    EXPECT_EQ(format.KeyReads, 3);

    format.SetCacheKeys(true);
    format.GetUserKey();
    EXPECT_EQ(format.KeyReads, 3);
    format.ReleaseKeys();
    format.GetUserKey();
    format.GetUserKey();
    EXPECT_EQ(format.KeyReads, 4);
}

TEST_F(FormatInFolder, CertificatesCachedUntilReleaseKeys) {
    TCustomCertificate* cert = format.GetUserCert();
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(format.GetUserCert(), cert);
    format.CheckUserCert(30, "USER01");
    EXPECT_THROW(format.CheckUserCert(30, "OTHER"), ECheckCertUserError);
    format.ReleaseKeys();
    dir.Write("USER01.pcer", TPlainCert::Content("NEW"));
    format.CheckUserCert(30, "NEW");
}

TEST_F(FormatInFolder, SignAndVerifyThroughTheCachedObjects) {
    TMemoryStream data(ByteString("payload"));
    const ByteString signature = format.SignStream(data);
    EXPECT_EQ(signature, "B64SIG:payload");
    EXPECT_TRUE(format.VerifyStream(data, "SIG:payload", scUser));
    EXPECT_FALSE(format.VerifyStream(data, "SIG:other", scUser));
}

TEST_F(FormatInFolder, MissingKeyFileIsInsertUserDisk) {
    std::filesystem::remove(dir.File("USER01.pkey"));
    try {
        format.CheckUserKey();
        FAIL();
    } catch (const EFileStreamError& e) {
        EXPECT_EQ(e.Message(), "InsertUserDisk");
    }
}

TEST_F(FormatInFolder, TwoThreadsNeverReadTheKeyAtTheSameTime) {
    format.ReadDelay = std::chrono::milliseconds(100);
    std::thread first([this] { format.GetUserKey(); });
    std::thread second([this] { format.GetUserKey(); });
    first.join();
    second.join();
    EXPECT_EQ(format.KeyReads, 2);  // caching off and no bracket: each call reads
    EXPECT_EQ(format.MaxReadsInFlight, 1);
}

TEST_F(FormatInFolder, TwoThreadsInsideABracketReadOnce) {
    format.ReadDelay = std::chrono::milliseconds(100);
    TCryptoManUse use(man);
    std::thread first([this] { format.GetUserKey(); });
    std::thread second([this] { format.GetUserKey(); });
    first.join();
    second.join();
    EXPECT_EQ(format.KeyReads, 1);
}

TEST(FormatTest, TestKeyAndTestCertInAFolder) {
    TempDir dir;
    dir.Write("user01.PKEY", TPlainKey::Content("pw"));  // names are matched without regard to case
    dir.Write("User01.Pcer", TPlainCert::Content("USER01"));
    TPlainFormat format;  // needs no manager
    const std::string path = dir.Path() + "/";
    format.TestKey("USER01", SecureString("pw"), path);
    EXPECT_THROW(format.TestKey("USER01", SecureString("bad"), path), EPlainWrongPassword);
    format.TestCert("USER01", SecureString("pw"), path, 30);
    EXPECT_THROW(format.TestCert("OTHER", SecureString("pw"), path, 30), ECryptoManKeyNotFound);
}

TEST(FormatTest, MissingTestedFileIsKeyFileNotFoundError) {
    TempDir dir;
    TPlainFormat format;
    const std::function<void()> calls[] = {
        [&] { format.TestKey("USER01", SecureString("pw"), dir.Path()); },
        [&] { format.TestCert("USER01", SecureString("pw"), dir.Path(), 30); },
    };
    MessageTextProc = [](const std::string& key, std::string& text) { text = key + " %s in %s"; };
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE();
        } catch (const ECryptoManKeyNotFound& e) {
            EXPECT_TRUE(e.Message().starts_with("KeyFileNotFoundError USER01.p")) << e.Message();
            EXPECT_TRUE(e.Message().ends_with(" in " + dir.Path())) << e.Message();
        }
    }
    MessageTextProc = nullptr;
}

TEST(FormatTest, BaseBehaviours) {
    TPlainFormat format;
    TMemoryStream in, out;
    SecureString password;
    const std::function<void()> notImpl[] = {
        [&] { format.IssueKeyPair(in, out, password); },
        [&] { format.EncryptForRecipients({}, in, out); },
        [&] { format.GetRootCert(); },
        [&] { format.GetTransportCert(); },
    };
    for (const auto& call : notImpl) {
        try {
            call();
            ADD_FAILURE();
        } catch (const ENotImplemented& e) {
            EXPECT_EQ(e.Message(), "NotImpl");
        }
    }
    EXPECT_EQ(format.GetFormatName(), "TPlainFormat");
    TPlainCert cert;
    EXPECT_FALSE(format.VerifyByRoot(cert));
    format.CheckIssuedCert(password, "");
    format.SaveNewKey();
    format.SaveRootCert();
    format.SaveTransportCert();
    format.TestNamedCert("/", "CA");
}

TEST(FormatTest, FileNamesReplaceTheExtension) {
    TPlainFormat format;
    struct Case {
        std::string base, key, cert;
    };
    const Case cases[] = {
        {"USER01", "USER01.pkey", "USER01.pcer"},
        {"A.B", "A.pkey", "A.pcer"},
        {"USER01_not_certified", "USER01_not_certified.pkey", "USER01_not_certified.pcer"},
        {"", ".pkey", ".pcer"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(format.KeyClass().FileName(c.base), c.key);
        EXPECT_EQ(format.CertificateClass().FileName(c.base), c.cert);
    }
    EXPECT_EQ(format.KeyClass().TokenEntry(), 3);
    EXPECT_EQ(format.CertificateClass().RequestEntry(), 6);
    EXPECT_NE(format.RequestClass().Create(), nullptr);
}
