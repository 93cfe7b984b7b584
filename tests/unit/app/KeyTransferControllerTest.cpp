// The wizard's logic without its window: a fake crypto manager that records what it is asked
// and fails where a case says so, a fake token list, and a key-writing hook registered the way
// the token module registers its own.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

#include <stdlib.h>
#include <unistd.h>

#include "app/KeyTransferController.h"
#include "core/CryptoErrors.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string WrongPassword = "Указан неверный пароль к секретному ключу";
const std::string PinIncorrect =
    "Ошибка аутентификации пользователя. Возможно, данный токен не был привязан к пользователю ";

struct TFakeKeyCheck : TKeyCheck {
    std::vector<std::string> Calls;
    std::string FailAt;  // the call that throws Failure
    std::function<void()> Failure;
    std::string UserName, KeyPath;
    SecureString Password;

    void Step(const std::string& Name) {
        Calls.push_back(Name);
        if (Name == FailAt)
            Failure();
    }
    void AttachGost(bool Attach) override { Step(Attach ? "AttachGost" : "DetachGost"); }
    void BeginUse() override { Step("BeginUse"); }
    void EndUse() override { Step("EndUse"); }
    void ReleaseKeys() override { Step("ReleaseKeys"); }
    void SetKeyInfo(const std::string& U, const SecureString& P, const std::string& K) override {
        UserName = U, Password = P, KeyPath = K;
        Step("SetKeyInfo");
    }
    void CheckUserKeys() override { Step("CheckUserKeys"); }
    void CheckKeyPairs() override { Step("CheckKeyPairs"); }
};

struct TFakeDevices : TDeviceSource {
    std::vector<TDeviceEntry> Tokens{{"TOKEN 01", "0011223344"}};
    std::function<void()> Failure;
    std::vector<TDeviceEntry> Enumerate() override {
        if (Failure)
            Failure();
        return Tokens;
    }
};

struct THookCall {
    std::string DeviceLine, Password, Login;
    std::vector<ByteString> Files;
};

class KeyTransferControllerTest : public ::testing::Test {
protected:
    KeyTransferControllerTest() {
        std::string pattern = (fs::temp_directory_path() / "brelo-app-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        Folder = pattern;
        TBreloUsbTokenInt::SetWriteKeysProc(
            [this](const std::string& line, const SecureString& password, const std::string& login,
                   const ByteString& ca, const ByteString& transport, const ByteString& cert,
                   const ByteString& key, const ByteString& gostCert, const ByteString& gostKey) {
                Hook.push_back(
                    {line, password.str(), login, {ca, transport, cert, key, gostCert, gostKey}});
                if (HookFailure)
                    HookFailure();
                return true;
            });
        TKeyTransferEvents events;
        events.ShowError = [this](const std::string& t) {
            Errors.push_back(t), Red = true, Green = false;
        };
        events.ShowSuccess = [this](const std::string& t) {
            Success.push_back(t), Red = false, Green = true;
        };
        events.HideError = [this] { Red = false; };
        events.EnableNext = [this](bool e) { Next = e; };
        events.SwitchPage = [this](TWizardPage p) { Page = p; };
        events.PrevChanged = [this](bool v, bool e) { PrevVisible = v, PrevEnabled = e; };
        events.DevicesChanged = [this](const std::vector<std::string>& l, int s) {
            Lines = l, Selected = s;
        };
        events.Done = [this] { DoneShown = true; };
        events.Close = [this] { ++Closed; };
        Wizard = std::make_unique<TKeyTransferController>(Keys, Devices, events);
        Wizard->SetKeyPath(Folder.string());
    }
    ~KeyTransferControllerTest() override {
        TBreloUsbTokenInt::SetWriteKeysProc(nullptr);
        fs::remove_all(Folder);
    }

    void Put(const std::string& Name,
             const std::string& Content = "data of " + std::string("file")) {
        std::ofstream(Folder / Name, std::ios::binary) << Content;
    }
    void PutKeySet(const std::string& Login, bool Gost) {
        Put("CA.CER", "ca");
        Put("TRANSPORT.CER", "transport");
        Put(Login + ".CER", "cert");
        Put(Login + ".KEY", "key");
        if (Gost)
            Put(Login + ".CER2", "gost cert"), Put(Login + ".KEY2", "gost key");
    }
    void FillPageOne(const std::string& Login = "USER01", const std::string& Password = "secret") {
        Wizard->SetUserName(Login);
        Wizard->SetPassword(Password);
    }
    // Page one done with the given login; the wizard then shows page two.
    void ReachPageTwo(const std::string& Login = "USER01", bool Gost = false) {
        PutKeySet(Login, Gost);
        FillPageOne(Login);
        Wizard->Next();
        ASSERT_EQ(Page, TWizardPage::UsbToken) << (Errors.empty() ? "" : Errors.back());
    }

    fs::path Folder;
    TFakeKeyCheck Keys;
    TFakeDevices Devices;
    std::unique_ptr<TKeyTransferController> Wizard;
    std::vector<THookCall> Hook;
    std::function<void()> HookFailure;

    std::vector<std::string> Errors, Success, Lines;
    bool Red = false, Green = false, Next = false, PrevVisible = false, PrevEnabled = true,
         DoneShown = false;
    int Selected = -2, Closed = 0;
    TWizardPage Page = TWizardPage::Cert;
};

TEST_F(KeyTransferControllerTest, NextOnPageOneNeedsLoginAndPasswordBeyondBlanks) {
    struct Case {
        std::string Login, Password;
        bool Enabled;
    } cases[] = {
        {"", "", false},       {"   ", "secret", false},
        {"USER01", "", false}, {"USER01", "\t\r\n ", false},
        {"A", " b ", true},    {"  A", "x", true},
    };
    for (const Case& c : cases) {
        FillPageOne(c.Login, c.Password);
        EXPECT_EQ(Next, c.Enabled) << "login '" << c.Login << "' password '" << c.Password << "'";
    }
    // A disabled step does nothing when pressed anyway.
    FillPageOne("   ", "secret");
    Wizard->Next();
    EXPECT_THAT(Keys.Calls, IsEmpty());
    EXPECT_THAT(Errors, IsEmpty());
}

TEST_F(KeyTransferControllerTest, MissingKeyFileStopsBeforeThePasswordIsTried) {
    struct Case {
        std::vector<std::string> Files;
        std::string Shown;
    } cases[] = {
        {{}, "Отсутствует сертификат - USER01.cer"},
        {{"USER01.CER"}, "Отсутствует сертификат - USER01.key"},
        {{"USER01.CER", "USER01.KEY", "USER01.CER2"}, "Отсутствует сертификат - USER01.key2"},
        {{"USER01.CER", "USER01.KEY", "user01.key2"}, "Отсутствует сертификат - USER01.cer2"},
        // A folder with the name of a key file is not a key file.
        {{"USER01.CER", "USER01.KEY/"}, "Отсутствует сертификат - USER01.key"},
    };
    for (const Case& c : cases) {
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        for (const std::string& f : c.Files) {
            if (f.back() == '/')
                fs::create_directories(Folder / f);
            else
                Put(f);
        }
        Keys.Calls.clear();
        FillPageOne();
        Wizard->Next();
        ASSERT_FALSE(Errors.empty());
        EXPECT_EQ(Errors.back(), c.Shown);
        EXPECT_THAT(Keys.Calls, IsEmpty());
        EXPECT_EQ(Page, TWizardPage::Cert);
    }
}

TEST_F(KeyTransferControllerTest, ProvesKeysInOneBracketAndListsTheTokens) {
    // Upper-case extensions answer the lower-case names page one asks for.
    PutKeySet("USER01", false);
    Devices.Tokens = {{"TOKEN 01", "0011"}, {std::string(40, 'N'), "FF"}};
    FillPageOne("USER01", " pass word ");
    Wizard->SetKeyPath(Folder.string() + "/");
    Wizard->Next();

    EXPECT_THAT(Keys.Calls, ElementsAre("DetachGost", "BeginUse", "ReleaseKeys", "SetKeyInfo",
                                        "CheckUserKeys", "CheckKeyPairs", "EndUse"));
    EXPECT_EQ(Keys.UserName, "USER01");
    EXPECT_EQ(Keys.Password, " pass word ");
    EXPECT_EQ(Keys.KeyPath, Folder.string() + "/");
    EXPECT_EQ(Page, TWizardPage::UsbToken);
    EXPECT_TRUE(PrevVisible);
    EXPECT_THAT(Lines, ElementsAre("TOKEN 01" + std::string(24, ' ') + "[0011]",
                                   std::string(32, 'N') + "[FF]"));
    EXPECT_EQ(Selected, 0);
    EXPECT_TRUE(Next);
    EXPECT_THAT(Errors, IsEmpty());
}

TEST_F(KeyTransferControllerTest, AttachesTheGostFormatOnlyForAGostPair) {
    PutKeySet("USER01", true);
    FillPageOne();
    Wizard->Next();
    EXPECT_EQ(Keys.Calls.front(), "AttachGost");
    EXPECT_TRUE(Wizard->HasGostKeys());
}

TEST_F(KeyTransferControllerTest, FailuresWhileProvingAreShownByTheirKind) {
    struct Case {
        std::string FailAt;
        std::function<void()> Failure;
        std::string Shown;
        TWizardPage StaysOn;
    } cases[] = {
        {"CheckUserKeys", [] { throw EZTCryptoError("WrongPassw", 39); }, WrongPassword,
         TWizardPage::Cert},
        {"CheckUserKeys", [] { throw EZTCryptoError("BadKeyStructure", 40); },
         "Не верный формат ключа пользователя. Проверьте ключевую дискету (BadKeyStructure)",
         TWizardPage::Cert},
        {"CheckKeyPairs", [] { throw ECryptoManError("KeyNotMatch"); }, "Ошибка: KeyNotMatch",
         TWizardPage::Cert},
        {"CheckUserKeys", [] { throw std::runtime_error("boom"); }, "Ошибка: boom",
         TWizardPage::Cert},
        // A bare return-code name behind the prefix is not translated.
        {"CheckUserKeys", [] { throw Exception("CKR_DEVICE_ERROR"); }, "Ошибка: CKR_DEVICE_ERROR",
         TWizardPage::Cert},
        // Before the keys are proved the message is shown as it is, or as its sentence.
        {"AttachGost", [] { throw ECryptoManError("FormatsCantBeSame"); }, "FormatsCantBeSame",
         TWizardPage::Cert},
        {"SetKeyInfo", [] { throw Exception(" CKR_PIN_LOCKED\r\n"); },
         "Введенный PIN-код заблокирован и не может быть использован. На USB-токене превышено "
         "допустимое "
         "количество попыток аутентификации",
         TWizardPage::Cert},
    };
    PutKeySet("USER01", true);
    for (const Case& c : cases) {
        Keys.Calls.clear();
        Keys.FailAt = c.FailAt;
        Keys.Failure = c.Failure;
        FillPageOne();
        Wizard->Next();
        ASSERT_FALSE(Errors.empty());
        EXPECT_EQ(Errors.back(), c.Shown);
        EXPECT_EQ(Page, c.StaysOn);
        EXPECT_EQ(Wizard->UserName(), "USER01");
        if (c.FailAt != "AttachGost") {
            EXPECT_EQ(Keys.Calls.back(), "EndUse") << c.Shown;
        }
    }
}

TEST_F(KeyTransferControllerTest, NoTokenLeavesAnEmptyListAndNextDisabledWithoutMessage) {
    Devices.Tokens.clear();
    PutKeySet("USER01", false);
    FillPageOne();
    Wizard->Next();
    EXPECT_EQ(Page, TWizardPage::UsbToken);
    EXPECT_THAT(Lines, IsEmpty());
    EXPECT_EQ(Selected, -1);
    EXPECT_FALSE(Next);
    EXPECT_THAT(Errors, IsEmpty());
    Wizard->Next();
    EXPECT_THAT(Hook, IsEmpty());
    EXPECT_THAT(Errors, IsEmpty());

    // Back, plug a token in, forward again: the validation and the enumeration repeat.
    Wizard->Prev();
    EXPECT_EQ(Page, TWizardPage::Cert);
    EXPECT_FALSE(PrevVisible);
    EXPECT_TRUE(Next);
    Devices.Tokens = {{"TOKEN 01", "01"}};
    Wizard->Next();
    EXPECT_EQ(Lines.size(), 1u);
    EXPECT_TRUE(Next);
}

TEST_F(KeyTransferControllerTest, ListThatFailsToRefreshOffersNoStaleLine) {
    ReachPageTwo();
    Wizard->Prev();
    Devices.Failure = [] { throw Exception("CKR_GENERAL_ERROR"); };
    Wizard->Next();
    EXPECT_EQ(Errors.back(), "Ошибка: CKR_GENERAL_ERROR");
    EXPECT_EQ(Page, TWizardPage::UsbToken);
    EXPECT_THAT(Lines, IsEmpty());
    EXPECT_FALSE(Next);
    Wizard->Next();
    EXPECT_THAT(Hook, IsEmpty());
}

TEST_F(KeyTransferControllerTest, TransferHandsTheKeySetToTheHookByteForByte) {
    const std::string binary("\x00\x01\r\n\xff key", 9);
    PutKeySet("USER01", true);
    Put("USER01.KEY", binary);
    Put("USER01.CER2", "");  // a zero-byte file is passed on, not refused
    Wizard->SetUserName("USER01");
    Wizard->SetPassword(" secret ");
    Wizard->Next();
    ASSERT_EQ(Page, TWizardPage::UsbToken);
    Wizard->Next();

    ASSERT_EQ(Hook.size(), 1u);
    EXPECT_EQ(Hook[0].DeviceLine, Lines[0]);
    EXPECT_EQ(Hook[0].Password, " secret ");
    EXPECT_EQ(Hook[0].Login, "USER01");
    EXPECT_THAT(Hook[0].Files, ElementsAre("ca", "transport", "cert", binary, "", "gost key"));
    EXPECT_THAT(Success, ElementsAre("Ключи пользователя USER01 перенесены на USB токен"));
    EXPECT_TRUE(Green);
    EXPECT_FALSE(Red);
    EXPECT_TRUE(Wizard->Done());
    EXPECT_TRUE(DoneShown);
    EXPECT_FALSE(PrevEnabled);

    // Done: "Готово" closes; "< Назад" and "Отмена" do nothing any more.
    Wizard->Prev();
    Wizard->Exit();
    EXPECT_EQ(Closed, 0);
    EXPECT_EQ(Page, TWizardPage::UsbToken);
    Wizard->Next();
    EXPECT_EQ(Closed, 1);
    EXPECT_EQ(Hook.size(), 1u);
}

TEST_F(KeyTransferControllerTest, WithoutGostThePairIsCarriedAsEmptyStrings) {
    ReachPageTwo();
    Put("USER01.KEY2", "stale");  // appeared after validation: not read
    Wizard->Next();
    ASSERT_EQ(Hook.size(), 1u);
    EXPECT_EQ(Hook[0].Files[4], "");
    EXPECT_EQ(Hook[0].Files[5], "");
}

TEST_F(KeyTransferControllerTest, LoginGoesToTheHookUpperCasedAndToTheTextAsTyped) {
    ReachPageTwo("user01");
    Wizard->Next();
    ASSERT_EQ(Hook.size(), 1u);
    EXPECT_EQ(Hook[0].Login, "USER01");
    EXPECT_EQ(Success.back(), "Ключи пользователя user01 перенесены на USB токен");
}

struct TransferFailure {
    const char* Name;
    std::function<void(const fs::path& Folder, std::function<void()>& HookFailure)> Arrange;
    std::string Shown;
};

void PrintTo(const TransferFailure& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class TransferFailureTest : public KeyTransferControllerTest,
                            public ::testing::WithParamInterface<TransferFailure> {};

TEST_P(TransferFailureTest, KeepsThePageAsItWas) {
    if (::geteuid() == 0 && std::string(GetParam().Name) == "UnreadableFile")
        GTEST_SKIP() << "root reads anyway";
    ReachPageTwo();
    GetParam().Arrange(Folder, HookFailure);
    Wizard->Next();
    ASSERT_FALSE(Errors.empty());
    EXPECT_EQ(Errors.back(), GetParam().Shown);
    EXPECT_TRUE(Red);
    EXPECT_FALSE(Wizard->Done());
    EXPECT_EQ(Page, TWizardPage::UsbToken);
    EXPECT_TRUE(Next);
    EXPECT_TRUE(PrevEnabled);
    EXPECT_EQ(Lines.size(), 1u);
    EXPECT_EQ(Selected, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferFailureTest,
    ::testing::Values(
        TransferFailure{"MissingTransport", [](auto& f, auto&) { fs::remove(f / "TRANSPORT.CER"); },
                        "Не найден файл - TRANSPORT.CER"},
        TransferFailure{"MissingKey", [](auto& f, auto&) { fs::remove(f / "USER01.KEY"); },
                        "Не найден файл - USER01.KEY"},
        TransferFailure{"UnreadableFile",
                        [](auto& f, auto&) { fs::permissions(f / "CA.CER", fs::perms::none); },
                        "Не найден файл - CA.CER"},
        TransferFailure{
            "FolderInPlaceOfFile",
            [](auto& f, auto&) { fs::remove(f / "CA.CER"), fs::create_directory(f / "CA.CER"); },
            "Не найден файл - CA.CER"},
        TransferFailure{"PinRefused",
                        [](auto&, auto& h) { h = [] { throw Exception("CKR_PIN_INCORRECT"); }; },
                        PinIncorrect + "USER01"},
        TransferFailure{"TokenRemoved",
                        [](auto&, auto& h) { h = [] { throw Exception("CKR_DEVICE_REMOVED"); }; },
                        "USB-токен был отключен во время выполнения операции"},
        TransferFailure{
            "OtherHookText",
            [](auto&, auto& h) { h = [] { throw Exception("Устройство с UID 01 не найдено"); }; },
            "Устройство с UID 01 не найдено"},
        TransferFailure{"NoHook",
                        [](auto&, auto&) { TBreloUsbTokenInt::SetWriteKeysProc(nullptr); },
                        "Модуль USB токенов не подключен к программе"}),
    [](const auto& param) { return std::string(param.param.Name); });

TEST_F(KeyTransferControllerTest, RetryAfterAFailedWriteSucceeds) {
    ReachPageTwo();
    HookFailure = [] { throw Exception("CKR_DEVICE_REMOVED"); };
    Wizard->Next();
    ASSERT_TRUE(Red);
    HookFailure = nullptr;
    Wizard->Next();
    EXPECT_EQ(Hook.size(), 2u);
    EXPECT_TRUE(Wizard->Done());
    EXPECT_TRUE(Green);
    EXPECT_FALSE(Red);
}

}  // namespace
}  // namespace brelo
