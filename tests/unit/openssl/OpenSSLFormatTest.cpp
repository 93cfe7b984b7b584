// The OpenSSL format behind a crypto manager: the wizard's page-one proof on key folders and
// token entries made by the openssl tool, and the operations that write keys.

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "core/CryptoErrors.h"
#include "core/Encoding.h"
#include "cryptoman/CryptoMan.h"
#include "cryptoman/CryptoUtils.h"
#include "openssl/OpenSSLCryptoFormat.h"
#include "token/BreloUsbTokenUtils.h"
#include "OpenSSLTestSupport.h"

namespace brelo {
namespace {

/// A token of the test: its sixteen entries in memory behind the token hooks.
struct TFakeToken {
    TBreloUsbTokenFileDataHolder Data;
    bool Present = true;
    std::map<int, SecureString> WritePasswords;
};

TFakeToken* Token = nullptr;

void RegisterFakeTokenHooks() {
    TBreloUsbTokenInt::SetReadTokenDataProc([](const std::string&, const SecureString&, TBreloUsbTokenFileDataHolder& holder) {
        holder = Token->Data;
        return true;
    });
    TBreloUsbTokenInt::SetTokenPresentProc([](const std::string&) { return Token->Present; });
    TBreloUsbTokenInt::SetGetTokenInfoProc([](const std::string& device, TUsbTokenInfo& info) {
        info.Name = device;
        info.SerialNumber = "0001";
        info.TokenType = 1;
    });
    TBreloUsbTokenInt::SetReadTokenFileProc([](const std::string&, int entry, const SecureString&, TStream& data) {
        data.WriteBytes(Token->Data.GetData(entry));
        return true;
    });
    TBreloUsbTokenInt::SetWriteTokenFileProc([](const std::string&, int entry, const SecureString& password, TStream& data) {
        Token->Data.SetData(entry, data.ReadRest());
        Token->WritePasswords[entry] = password;
        return true;
    });
}

class OpenSSLFormatTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RegisterOpenSSLFormat();
        RegisterFakeTokenHooks();
    }
    void SetUp() override {
        Token = &FToken;
        Manager.SetCryptoFormat(&Format);
    }
    void TearDown() override { Token = nullptr; }

    /// The wizard's page one: bracket, key information, then the two proofs.
    void PageOne(const std::string& login, const std::string& password, const std::string& keyPath) {
        TCryptoManUse use(Manager);
        Manager.SetKeyInfo(login, SecureString(password), keyPath, KeyInfoFlags::All);
        Manager.CheckUserKeys();
        Manager.CheckKeyPairs();
    }
    /// Entries 0 to 3 of the token from a key folder.
    void FillToken(const TKeyFolder& folder) {
        FToken.Data.SetDataList({ReadText(folder.File("CA.CER")), ReadText(folder.File("TRANSPORT.CER")),
                                 ReadText(folder.File(folder.Login + ".CER")), ReadText(folder.File(folder.Login + ".KEY"))},
                                {0, 1, 2, 3});
    }

    TFakeToken FToken;
    TOpenSSLCryptoFormat Format;
    TCryptoMan Manager;
};

TEST_F(OpenSSLFormatTest, PageOneProvesAKeyFolderMadeByOpenssl) {
    const TKeyFolder& folder = SharedKeyFolder();
    EXPECT_NO_THROW(PageOne("USER01", folder.Password, folder.Dir()));
    // Key file names are found without regard to case: the login may be typed in small letters.
    EXPECT_NO_THROW(PageOne("user01", folder.Password, folder.Dir()));
}

TEST_F(OpenSSLFormatTest, PageOneProvesTheTokenEntries) {
    FillToken(SharedKeyFolder());
    EXPECT_NO_THROW(PageOne("USER01", SharedKeyFolder().Password, "USBToken:TEST\\"));
}

struct TPageOneFailure {
    const char* Name;
    bool OnToken;
    void (*Spoil)(const std::string& dir);
    const char* Password;  // null: the right one
    std::string Message;
    int Code;
};

std::string KeyLines(const std::string& dir) { return ReadText(dir + "USER01.KEY"); }

void ReplaceFirst(const std::string& dir, const std::string& from, const std::string& to) {
    std::string text = KeyLines(dir);
    text.replace(text.find(from), from.size(), to);
    WriteText(dir + "USER01.KEY", text);
}

const TPageOneFailure PageOneFailures[] = {
    {"WrongPassword", false, [](const std::string&) {}, "пароль", "WrongPassw", 39},
    {"WrongPasswordOnToken", true, [](const std::string&) {}, "пароль", "WrongPassw", 39},
    {"DamagedHeader", false, [](const std::string& dir) { ReplaceFirst(dir, "DES-EDE3-CBC,", "DES-EDE3-CBC,ZZ"); },
     nullptr, "BadHeader", 41},
    {"DamagedStructure", false, [](const std::string& dir) { ReplaceFirst(dir, "\n\n", "\n\n%%%%"); }, nullptr,
     "BadStruct", 40},
    {"MissingHeader", true, [](const std::string& dir) { ReplaceFirst(dir, "-----BEGIN", "-----BEGAN"); }, nullptr,
     "BadStructNoHeader", 42},
    {"KeyOfAnotherCustomer", false,
     [](const std::string& dir) {
         TKeyFolder other("USER01", "Пароль Ёжика 1");
         std::filesystem::copy_file(other.File("USER01.KEY"), dir + "USER01.KEY",
                                    std::filesystem::copy_options::overwrite_existing);
     },
     nullptr, "CertAndKeyMismatch", 44},
};

class PageOneFailureTest : public OpenSSLFormatTest, public ::testing::WithParamInterface<TPageOneFailure> {};

TEST_P(PageOneFailureTest, EndsInTheCodedErrorTheWizardShows) {
    const TPageOneFailure& c = GetParam();
    TTempDir dir;
    const TKeyFolder& folder = SharedKeyFolder();
    for (const char* name : {"CA.CER", "TRANSPORT.CER", "USER01.CER", "USER01.KEY"}) {
        std::filesystem::copy_file(folder.File(name), dir / name);
    }
    const std::string path = dir.Path().string() + "/";
    c.Spoil(path);
    if (c.OnToken) {
        FToken.Data.SetDataList({ReadText(dir / "CA.CER"), ReadText(dir / "TRANSPORT.CER"), ReadText(dir / "USER01.CER"),
                                 ReadText(dir / "USER01.KEY")},
                                {0, 1, 2, 3});
    }
    try {
        PageOne("USER01", c.Password != nullptr ? c.Password : folder.Password, c.OnToken ? "USBToken:TEST\\" : path);
        FAIL() << "no error";
    } catch (const EZTCryptoError& e) {
        EXPECT_EQ(e.Message(), c.Message);
        EXPECT_EQ(e.Code(), c.Code);
    }
}

std::string FailureName(const ::testing::TestParamInfo<TPageOneFailure>& param) { return param.param.Name; }

INSTANTIATE_TEST_SUITE_P(Conditions, PageOneFailureTest, ::testing::ValuesIn(PageOneFailures), FailureName);

TEST_F(OpenSSLFormatTest, MissingFilesAndEntriesSayWhereToLook) {
    TTempDir dir;
    std::filesystem::copy_file(SharedKeyFolder().File("USER01.CER"), dir / "USER01.CER");
    try {
        PageOne("USER01", "x", dir.Path().string());
        FAIL();
    } catch (const EFileStreamError& e) {
        EXPECT_EQ(e.Message(), "InsertUserDisk");
    }
    FToken.Data.SetData(2, ReadText(SharedKeyFolder().File("USER01.CER")));
    EXPECT_THROW(PageOne("USER01", "x", "USBToken:TEST\\"), EStreamError);
    FToken.Present = false;
    try {
        PageOne("USER01", "x", "USBToken:TEST\\");
        FAIL();
    } catch (const ECryptoManError& e) {
        EXPECT_EQ(e.Message(), "NotFoundUSBToken");
    }
}

TEST_F(OpenSSLFormatTest, UserCertificateIsCheckedAgainstTheCentreAndTheLogin) {
    TCryptoManUse use(Manager);
    Manager.SetKeyInfo("USER01", SecureString(SharedKeyFolder().Password), SharedKeyFolder().Dir(), KeyInfoFlags::All);
    EXPECT_NO_THROW(Format.CheckUserCert(0, "USER01"));
    EXPECT_THROW(Format.CheckUserCert(0, "USER02"), ECheckCertUserError);
    EXPECT_TRUE(Format.VerifyByRoot(*Format.GetUserCert()));
    EXPECT_TRUE(Format.VerifyByRoot(*Format.GetTransportCert()));
}

TEST_F(OpenSSLFormatTest, TestCertNeedsTheTransportCertificate) {
    TTempDir dir;
    for (const char* name : {"CA.CER", "USER01.CER"}) {
        std::filesystem::copy_file(SharedKeyFolder().File(name), dir / name);
    }
    TCryptoManUse use(Manager);
    Manager.SetKeyInfo("USER01", SecureString("x"), dir.Path().string(), KeyInfoFlags::All);
    try {
        Format.TestCert("USER01", SecureString("x"), dir.Path().string(), 0);
        FAIL();
    } catch (const EFileStreamError& e) {
        EXPECT_EQ(e.Message(), "InsertUserDisk");
    }
}

TEST_F(OpenSSLFormatTest, SignaturesVerifyWithTheChosenCertificate) {
    TCryptoManUse use(Manager);
    Manager.SetKeyInfo("USER01", SecureString(SharedKeyFolder().Password), SharedKeyFolder().Dir(), KeyInfoFlags::All);
    TMemoryStream data("платёж");
    const ByteString signature = Format.SignStream(data);
    EXPECT_TRUE(Format.VerifyStream(data, signature, scUser));
    EXPECT_TRUE(Format.VerifyStream(data, signature, 5));  // any other value means the customer's
    TMemoryStream changed("платёж 2");
    bool verified = true;
    try {
        verified = Format.VerifyStream(changed, signature, scUser);
    } catch (const EOpenSSLError&) {
        verified = false;
    }
    EXPECT_FALSE(verified);
}

TEST_F(OpenSSLFormatTest, PackagesForTheCustomerOpenWithTheCustomersKey) {
    TCryptoManUse use(Manager);
    Manager.SetKeyInfo("USER01", SecureString(SharedKeyFolder().Password), SharedKeyFolder().Dir(), KeyInfoFlags::All);
    TMemoryStream in(std::string(3000, 'p')), envelope, out;
    Format.EncryptStream(in, envelope, false);
    Format.DecryptStream(envelope, out, false);
    EXPECT_EQ(out.Bytes(), in.Bytes());
}

class KeyWritingTest : public OpenSSLFormatTest {
protected:
    void SetUp() override {
        OpenSSLFormatTest::SetUp();
        for (const char* name : {"CA.CER", "TRANSPORT.CER", "USER01.CER", "USER01.KEY"}) {
            std::filesystem::copy_file(SharedKeyFolder().File(name), Dir / name);
        }
        std::filesystem::create_directory(Dir / ".fixture");
        std::filesystem::copy_file(SharedKeyFolder().Fixture("ca.key"), Dir / ".fixture/ca.key");
    }
    void Begin(const std::string& keyPath, const std::string& password) {
        Use = std::make_unique<TCryptoManUse>(Manager);
        Manager.SetKeyInfo("USER01", SecureString(password), keyPath, KeyInfoFlags::All);
    }
    std::string OpensslModulus(const std::string& keyFile, const std::string& password) {
        WriteText(Dir / "pass", Utf8ToCp1251(password) + "\n");
        return MustShell("openssl rsa -noout -modulus -passin file:" + Quote(Dir / "pass") + " -in " + Quote(keyFile));
    }
    TTempDir Dir;
    std::unique_ptr<TCryptoManUse> Use;
};

TEST_F(KeyWritingTest, ChangedPasswordProtectsTheKeyFileForOpenssl) {
    Begin(Dir.Path().string(), SharedKeyFolder().Password);
    EXPECT_THROW(Format.ChangePassword(SecureString("пароль ёжика 1"), SecureString("x")), ECryptoManError);
    Format.ChangePassword(SecureString(SharedKeyFolder().Password), SecureString("Новый пароль"));
    const std::string before = MustShell("openssl rsa -noout -modulus -in " + Quote(SharedKeyFolder().Fixture("user.pem")));
    EXPECT_EQ(OpensslModulus(Dir / "USER01.KEY", "Новый пароль"), before);
    EXPECT_NE(ReadText(Dir / "USER01.KEY").find("DEK-Info: DES-EDE3-CBC,"), std::string::npos);
}

TEST_F(KeyWritingTest, ChangedPasswordOnATokenGoesToEntryThreeUnderTheOldPassword) {
    FillToken(SharedKeyFolder());
    Begin("USBToken:TEST\\", SharedKeyFolder().Password);
    Format.ChangePassword(SecureString(SharedKeyFolder().Password), SecureString("Новый"));
    EXPECT_EQ(FToken.WritePasswords[3], SecureString(SharedKeyFolder().Password));
    WriteText(Dir / "token.key", FToken.Data.GetData(3));
    EXPECT_NE(OpensslModulus(Dir / "token.key", "Новый"), "");
}

TEST_F(KeyWritingTest, GeneratedKeyAndRequestAreSavedAndTheIssuedCertificateMatches) {
    Begin(Dir.Path().string(), SharedKeyFolder().Password);
    Format.GenerateKey(SecureString("Ключ 2"), "RU", " ", "  ", "Отдел", "");
    ASSERT_TRUE(Format.HasNewRequest());
    EXPECT_FALSE(Format.GetRequestText().empty());
    EXPECT_FALSE(Format.HasNewKey());
    Format.SaveNewKey();
    EXPECT_FALSE(Format.HasNewRequest());
    EXPECT_TRUE(Format.HasNewKey());
    const std::string request = Dir / "USER01_not_certified.req";
    const std::string shown = MustShell("openssl req -verify -noout -subject -in " + Quote(request) + " 2>&1");
    EXPECT_NE(shown.find("verify OK"), std::string::npos);
    EXPECT_NE(shown.find("CN = USER01"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("O = "), std::string::npos) << shown;  // blank organisation left out
    OpensslModulus(Dir / "USER01_not_certified.key", "Ключ 2");

    MustShell("openssl x509 -req -in " + Quote(request) + " -CA " + Quote(Dir / "CA.CER") + " -CAkey " +
              Quote(Dir / ".fixture/ca.key") + " -set_serial 9 -days 30 -out " + Quote(Dir / "issued.cer") + " 2>&1");
    EXPECT_NO_THROW(Format.CheckIssuedCert(SecureString("Ключ 2"), ReadText(Dir / "issued.cer")));
    EXPECT_THROW(Format.CheckIssuedCert(SecureString("Ключ 3"), ReadText(Dir / "issued.cer")), EZTCryptoError);
    EXPECT_THROW(Format.CheckIssuedCert(SecureString("Ключ 2"), ReadText(Dir / "USER01.CER")), EZTCryptoError);
}

TEST_F(KeyWritingTest, GeneratedKeyOnATokenGoesToEntriesSixAndSeven) {
    FillToken(SharedKeyFolder());
    Begin("USBToken:TEST\\", SharedKeyFolder().Password);
    Format.GenerateKey(SecureString("Ключ"), "RU", "", "Банк", "", "a@b.ru");
    Format.SaveNewKey();
    EXPECT_NE(FToken.Data.GetData(6).find("BEGIN CERTIFICATE REQUEST"), std::string::npos);
    EXPECT_NE(FToken.Data.GetData(7).find("BEGIN RSA PRIVATE KEY"), std::string::npos);
}

TEST_F(KeyWritingTest, IssuedCommonPairIsSignedByTheCustomer) {
    Begin(Dir.Path().string(), SharedKeyFolder().Password);
    TMemoryStream key, cert;
    SecureString password;
    Format.IssueKeyPair(key, cert, password);
    EXPECT_EQ(password.size(), 28u);
    WriteText(Dir / "common.cer", cert.Bytes());
    EXPECT_EQ(MustShell("openssl x509 -noout -issuer -in " + Quote(Dir / "common.cer")),
              "issuer=" + MustShell("openssl x509 -noout -subject -in " + Quote(Dir / "USER01.CER")).substr(8));
    TMemoryStream commonText(cert.Bytes());
    TOpenSSLCert common(commonText);
    EXPECT_TRUE(common.VerifyBy(*Format.GetUserCert(), false));
    Manager.SetOnGetKeyInfoEx([&](TCryptoMan&, SecureString& pass, TStream& certStream, TStream& keyStream) {
        pass = password;
        certStream.WriteBytes(cert.Bytes());
        keyStream.WriteBytes(key.Bytes());
    });
    TMemoryStream in("для второй пары"), envelope, out;
    Format.EncryptStream(in, envelope, true);
    Format.DecryptStream(envelope, out, true);
    EXPECT_EQ(out.Bytes(), in.Bytes());
}

TEST(OpenSSLFormatStartTest, RegistrationGivesTheManagerItsSha1Text) {
    RegisterOpenSSLFormat();
    EXPECT_EQ(Sha1Text("abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
}

}  // namespace
}  // namespace brelo
