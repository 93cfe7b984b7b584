// The GOST crypto format through the crypto manager: the customer's files in a key folder or
// on a token (behind stand-in token hooks), new keys and their requests, password change.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>

#include "core/Crypto.h"
#include "core/CryptoErrors.h"
#include "cryptoman/CryptoCom.h"
#include "gost/CryptoCifer.h"
#include "token/BreloUsbTokenUtils.h"

using namespace brelo;

namespace {

const SecureString kPassword("Пароль-7");

/// A key pair made once for the whole run, with its two files' texts.
struct TKeyFiles {
    ByteString Key, Cert;
    static TKeyFiles Make(const SecureString& password) {
        TZtCifer engine;
        engine.GenerateKeyPair();
        TMemoryStream key, cert;
        engine.SavePrivateKeyToStream(key, password);
        engine.SavePublicKeyToStream(cert);
        return {key.Bytes(), cert.Bytes()};
    }
};

const TKeyFiles& Pair() {
    static const TKeyFiles files = TKeyFiles::Make(kPassword);
    return files;
}

const TKeyFiles& OtherPair() {
    static const TKeyFiles files = TKeyFiles::Make(kPassword);
    return files;
}

/// The exception's message when the step fails with E, else a note of what happened.
template <typename E>
std::string FailureOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const E& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return std::string("other failure: ") + e.what();
    }
    return "no failure";
}

std::string UpperSha1(const ByteString& text) {
    std::string hex = HexLower(Sha1(text));
    for (char& c : hex) c = char(std::toupper(static_cast<unsigned char>(c)));
    return hex;
}

/// One token "GOST 01" behind the token hooks: sixteen entries, and the writes it received.
class TStandInToken {
public:
    std::array<ByteString, 16> Entries;
    std::vector<std::pair<int, std::string>> Writes;  // entry, password
    bool RefuseWrites = false;

    TStandInToken() {
        TBreloUsbTokenInt::SetReadTokenDataProc(
            [this](const std::string&, const SecureString&, TBreloUsbTokenFileDataHolder& holder) {
                for (int i = 0; i < 16; ++i) holder.SetData(i, Entries[i]);
                return true;
            });
        TBreloUsbTokenInt::SetWriteTokenFileProc(
            [this](const std::string&, int entry, const SecureString& password, TStream& data) {
                if (RefuseWrites)
                    return false;
                Entries.at(entry) = data.ReadRest();
                Writes.emplace_back(entry, password.str());
                return true;
            });
        TBreloUsbTokenInt::SetGetTokenInfoProc([](const std::string& device, TUsbTokenInfo& info) {
            info = TUsbTokenInfo{device, "SERIAL-1", 5};
        });
    }
    ~TStandInToken() {
        TBreloUsbTokenInt::SetReadTokenDataProc(nullptr);
        TBreloUsbTokenInt::SetWriteTokenFileProc(nullptr);
        TBreloUsbTokenInt::SetGetTokenInfoProc(nullptr);
    }
};

class GostFormat : public ::testing::Test {
protected:
    void SetUp() override {
        SetSha1TextProc(UpperSha1);
        std::string pattern =
            (std::filesystem::temp_directory_path() / "gost-format-XXXXXX").string();
        Dir = ::mkdtemp(pattern.data());
        Man.SetCryptoFormat(&Format);
        Man.SetOnGetKeyInfo([this](TCryptoMan&, std::string& userName, SecureString& password,
                                   std::string& keyPath) {
            userName = Login;
            password = Password;
            keyPath = KeyPath;
        });
        UseFolder("USER01");
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }

    void UseFolder(const std::string& login) { Use(login, Dir); }
    void UseToken() { Use("USER01", "USBToken:GOST 01"); }
    void Use(const std::string& login, const std::string& keyPath) {
        Login = login;
        KeyPath = keyPath;
        Man.SetKeyInfo(login, SecureString(), keyPath,
                       KeyInfoFlags::UserName | KeyInfoFlags::KeyPath);
    }
    std::string File(const std::string& name) const { return Dir + "/" + name; }
    void WriteUserFiles(const std::string& base, const TKeyFiles& files = Pair()) {
        WriteFileBytes(File(base + ".key2"), files.Key);
        WriteFileBytes(File(base + ".cer2"), files.Cert);
    }

    std::string Dir, Login, KeyPath;
    SecureString Password = kPassword;
    TCryptoMan Man;
    TCiferCryptoFormat Format;
};

}  // namespace

TEST_F(GostFormat, ChecksSignsAndVerifiesWithTheFolderFiles) {
    WriteUserFiles("USER01");
    Format.CheckUserKey();
    Format.CheckUserCert(30, "USER01");
    Format.CheckKeyPair();

    TMemoryStream data(ByteString("payment order"));
    data.SetPosition(5);  // the whole stream is signed whatever its position
    const ByteString signature = Format.SignStream(data);
    EXPECT_EQ(signature.size(), 88u);
    EXPECT_TRUE(Format.VerifyStream(data, signature, scUser));
    WriteFileBytes(File("data.bin"), "payment order");
    TFileStream file(File("data.bin"), TFileStream::fmOpenRead);
    EXPECT_TRUE(Format.VerifyStream(file, signature, scUser));
    TMemoryStream other(ByteString("payment order!"));
    EXPECT_EQ(FailureOf<ECiferError>([&] { Format.VerifyStream(other, signature, scUser); }),
              "SignInvalid");
    for (int signer : {scRoot, scTransport}) {
        EXPECT_EQ(FailureOf<ENotImplemented>([&] { Format.VerifyStream(data, signature, signer); }),
                  "NotImpl");
    }
}

TEST_F(GostFormat, FilesAreFoundByLoginWithoutRegardToCase) {
    WriteUserFiles("a");  // the login A.B names its files A.key2 and A.cer2
    UseFolder("A.B");
    Format.CheckKeyPair();
    EXPECT_EQ(Format.GetRequestFileName(), File("A_not_certified.req2"));
    UseFolder("USER01");
    EXPECT_EQ(Format.GetRequestFileName(), File("USER01_not_certified.req2"));
}

TEST_F(GostFormat, NewKeyOfADottedLoginNeverReplacesTheCertifiedKey) {
    WriteUserFiles("A");
    UseFolder("A.B");
    Format.GenerateKey(SecureString("Новый"), "", "", "", "", "");
    Format.SaveNewKey();
    EXPECT_EQ(ReadFileBytes(File("A.key2")), Pair().Key);
    EXPECT_EQ(ReadFileBytes(File("A_not_certified.key2")).size(), 712u);
    EXPECT_TRUE(std::filesystem::exists(File("A_not_certified.req2")));
    Format.CheckKeyPair();
}

TEST_F(GostFormat, ReadFailuresPassOnAndLeaveNothingCached) {
    EXPECT_EQ(FailureOf<EFileStreamError>([&] { Format.GetUserKey(); }), "InsertUserDisk");
    EXPECT_EQ(FailureOf<EFileStreamError>([&] { Format.GetUserCert(); }), "InsertUserDisk");
    WriteUserFiles("USER01");
    Password = SecureString("пароль-7");
    EXPECT_EQ(FailureOf<ECiferError>([&] { Format.CheckUserKey(); }), "PasswInvalid");
    Password = kPassword;
    Format.CheckUserKey();  // read again, now with the right password
}

TEST_F(GostFormat, CertificateOfAnotherKeyFailsAsSignInvalid) {
    WriteFileBytes(File("USER01.key2"), Pair().Key);
    WriteFileBytes(File("USER01.cer2"), OtherPair().Cert);
    EXPECT_EQ(FailureOf<ECiferError>([&] { Format.CheckKeyPair(); }), "SignInvalid");
}

TEST_F(GostFormat, ChangePasswordRewritesTheKeyFile) {
    WriteUserFiles("USER01");
    Man.BeginUse();
    EXPECT_EQ(FailureOf<ECryptoManError>(
                  [&] { Format.ChangePassword(SecureString("пароль-7"), SecureString("x")); }),
              "WrongPassw");
    Format.ChangePassword(kPassword, SecureString("Новый"));
    EXPECT_EQ(Format.GetUserKey()->Password(), SecureString("Новый"));
    Man.EndUse();

    TZtCifer check;
    check.LoadPrivateKeyFromFile(File("USER01.key2"), "Новый");
    EXPECT_EQ(FailureOf<ECiferError>(
                  [&] { check.LoadPrivateKeyFromFile(File("USER01.key2"), "Пароль-7"); }),
              "PasswInvalid");
}

TEST_F(GostFormat, NewKeyWaitsInMemoryThenBesideTheCustomersFiles) {
    Format.SaveNewKey();  // nothing pending: nothing happens
    EXPECT_FALSE(Format.HasNewKey());
    EXPECT_EQ(Format.GetRequestText(), "");

    Format.GenerateKey(SecureString("Новый"), "RU", "", "", "", "");
    EXPECT_TRUE(Format.HasNewRequest());
    const ByteString request = Format.GetRequestText();
    EXPECT_EQ(request.size(), 696u);
    Format.SaveNewKey();
    EXPECT_FALSE(Format.HasNewRequest());
    EXPECT_TRUE(Format.HasNewKey());
    EXPECT_EQ(ReadFileBytes(File("USER01_not_certified.req2")), request);
    EXPECT_EQ(ReadFileBytes(File("USER01_not_certified.key2")).size(), 712u);

    Format.CheckIssuedCert(SecureString("Новый"), request);
    EXPECT_EQ(
        FailureOf<ECiferError>([&] { Format.CheckIssuedCert(SecureString("Новый"), Pair().Cert); }),
        "KeyAndCertNotPair");
    EXPECT_EQ(
        FailureOf<ECiferError>([&] { Format.CheckIssuedCert(SecureString("новый"), request); }),
        "PasswInvalid");

    Format.GenerateKey(SecureString("x"), "", "", "", "", "");
    Format.DiscardNewKey();
    EXPECT_FALSE(Format.HasNewRequest());
}

TEST_F(GostFormat, KeysOnATokenLiveInTheirEntries) {
    TStandInToken token;
    UseToken();
    EXPECT_EQ(FailureOf<EStreamError>([&] { Format.GetUserKey(); }), "InsertUSBDisk");
    token.Entries[5] = Pair().Key;
    token.Entries[4] = Pair().Cert;
    Man.ReleaseKeys();
    Format.CheckKeyPair();
    EXPECT_FALSE(Format.HasNewKey());

    Man.BeginUse();
    Format.GenerateKey(kPassword, "", "", "", "", "");
    const ByteString request = Format.GetRequestText();
    Format.SaveNewKey();
    Format.ChangePassword(kPassword, SecureString("Новый"));
    Man.EndUse();
    ASSERT_EQ(token.Writes.size(), 3u);
    EXPECT_EQ(token.Writes[0], std::make_pair(9, kPassword.str()));
    EXPECT_EQ(token.Writes[1], std::make_pair(8, kPassword.str()));
    EXPECT_EQ(token.Writes[2],
              std::make_pair(5, kPassword.str()));  // written under the old password
    EXPECT_EQ(token.Entries[8], request);
    EXPECT_TRUE(Format.HasNewKey());
    Format.CheckIssuedCert(kPassword, request);
    TZtCifer check;
    check.LoadPrivateKeyFromString(token.Entries[5], "Новый");
}

TEST_F(GostFormat, ATokenThatRefusesAWriteLosesNothing) {
    TStandInToken token;
    UseToken();
    token.Entries[5] = Pair().Key;
    token.Entries[4] = Pair().Cert;
    token.RefuseWrites = true;
    Man.BeginUse();
    EXPECT_EQ(
        FailureOf<EStreamError>([&] { Format.ChangePassword(kPassword, SecureString("Новый")); }),
        "InsertUSBDisk");
    EXPECT_EQ(Format.GetUserKey()->Password(), kPassword);
    Format.GenerateKey(kPassword, "", "", "", "", "");
    EXPECT_EQ(FailureOf<EStreamError>([&] { Format.SaveNewKey(); }), "InsertUSBDisk");
    EXPECT_TRUE(Format.HasNewRequest());  // still pending, can be stored again
    token.RefuseWrites = false;
    Format.SaveNewKey();
    EXPECT_FALSE(Format.HasNewRequest());
    Man.EndUse();
    EXPECT_EQ(token.Entries[5], Pair().Key);
}

TEST_F(GostFormat, WithoutAManagerNothingIsReadOrMade) {
    TCiferCryptoFormat alone;
    EXPECT_EQ(FailureOf<ECryptoManError>([&] { alone.GetUserKey(); }), "UserKeyExNotLoaded");
    EXPECT_EQ(FailureOf<ECryptoManError>([&] { alone.GetUserCert(); }), "UserCertExNotLoaded");
    EXPECT_FALSE(alone.HasNewKey());
    EXPECT_EQ(alone.GetRequestFileName(), "");
    alone.GenerateKey(kPassword, "", "", "", "", "");
    EXPECT_FALSE(alone.HasNewRequest());
    alone.ChangePassword(kPassword, SecureString("x"));
    alone.CheckIssuedCert(kPassword, Pair().Cert);
}

TEST_F(GostFormat, NamesClassesAndUnsupportedOperations) {
    EXPECT_EQ(Format.GetFormatName(), "CiferFormat");
    EXPECT_EQ(Format.KeyClass().FileName("USER01"), "USER01.key2");
    EXPECT_EQ(Format.KeyClass().TokenEntry(), 5);
    EXPECT_EQ(Format.CertificateClass().FileName("A.B"), "A.cer2");
    EXPECT_EQ(Format.CertificateClass().TokenEntry(), 4);
    EXPECT_EQ(Format.CertificateClass().RequestEntry(), 8);

    TMemoryStream in, out;
    TCiferCert cert;
    TCiferKey key;
    const std::pair<const char*, std::function<void()>> notImpl[] = {
        {"format EncryptStream", [&] { Format.EncryptStream(in, out, false); }},
        {"format DecryptStream", [&] { Format.DecryptStream(in, out, false); }},
        {"format IssueKeyPair",
         [&] {
             SecureString p;
             Format.IssueKeyPair(in, out, p);
         }},
        {"format GetRootCert", [&] { Format.GetRootCert(); }},
        {"cert GetSerialNumber", [&] { cert.GetSerialNumber(); }},
        {"cert GetNotBefore", [&] { cert.GetNotBefore(); }},
        {"cert GetNotAfter", [&] { cert.GetNotAfter(); }},
        {"cert VerifyBy", [&] { cert.VerifyBy(cert, true); }},
        {"cert EncryptText", [&] { cert.EncryptText("t", true); }},
        {"cert EncryptStream", [&] { cert.EncryptStream(in, out); }},
        {"key DecryptStream", [&] { key.DecryptStream(in, out, cert); }},
        {"key DecryptText", [&] { key.DecryptText("t", true); }},
    };
    for (const auto& [name, step] : notImpl) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FailureOf<ENotImplemented>(step), "NotImpl");
    }
}

TEST_F(GostFormat, ObjectsWithoutAnEngineAnswerEmpty) {
    TCiferKey key;
    EXPECT_EQ(key.Sign("x", 1, true), "");
    EXPECT_EQ(FailureOf<ECiferError>([&] { key.Check(); }), "PrivKeyInvalid");
    TMemoryStream out;
    const std::string failure =
        FailureOf<EAssertionFailed>([&] { key.SaveEncrypted(out, kPassword); });
    EXPECT_EQ(failure.rfind("Assertion failure", 0), 0u) << failure;
    EXPECT_NE(failure.find("Ошибка при сохранении в файл ключа TCiferKey"), std::string::npos);

    TCiferCert cert;
    EXPECT_EQ(cert.GetText(), "");
    EXPECT_EQ(cert.GetKeyId(0), "");
    EXPECT_EQ(cert.GetVersionText(), "");
    EXPECT_FALSE(cert.VerifySignature("x", 1, "AAAA"));
    cert.CheckValidity(0, "");
    EXPECT_EQ(FailureOf<ECiferError>([&] { cert.LoadFromData(Pair().Cert.substr(0, 519)); }),
              "PubKeyInvalid");
    EXPECT_EQ(cert.GetText(), "");  // a failed load leaves no engine behind
}

TEST_F(GostFormat, CertificateAndRequestCarryThePublicKeyFile) {
    TCiferCert cert;
    cert.LoadFromText(Pair().Cert);
    EXPECT_EQ(cert.GetText(), Pair().Cert);
    EXPECT_EQ(cert.GetVersionText(), "1.0.1");
    ByteString block;
    ASSERT_TRUE(Base64Decode(Pair().Cert, block));
    EXPECT_EQ(cert.GetKeyId(3), UpperSha1(block));

    TCipherRequest request;
    request.SetText(Pair().Cert);
    EXPECT_EQ(request.GetText(), Pair().Cert);
    EXPECT_EQ(request.GetKeyId(1), cert.GetKeyId(0));

    cert.SaveToFile(File("copy.cer2"));
    TCiferCert copy;
    copy.LoadFromFile(File("copy.cer2"));
    EXPECT_EQ(copy.GetText(), Pair().Cert);
}
