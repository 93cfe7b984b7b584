// The wizard end to end: typed into and clicked through its real window, over the real crypto
// manager and formats, onto a real PKCS#11 token; the result checked with pkcs11-tool.

#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>

#include "FormDriver.h"
#include "KeyTransferOnToken.h"
#include "app/demo/GostKeyPair.h"
#include "brelo_test/ScopedEnv.h"

namespace brelo::test {
namespace {

using ::testing::Each;
using ::testing::IsEmpty;

const QString PinIncorrect =
    "Ошибка аутентификации пользователя. Возможно, данный токен не был привязан к пользователю "
    "USER01";

class WizardOnTokenTest : public KeyTransferOnToken {
protected:
    QApplication& Application = App();
    std::unique_ptr<TMain> Form;
    std::unique_ptr<TFormDriver> Ui;

    TFormDriver& Open() {
        Form = std::make_unique<TMain>(Services().Keys(), Services().Devices());
        Ui = std::make_unique<TFormDriver>(*Form);
        Form->show();
        return *Ui;
    }
    // Page one as the customer fills it in: the login typed in lower case.
    void PageOne(const QString& ThePassword = QString::fromStdString(Password)) {
        Ui->Type("edUserName", "user01");
        Ui->Type("edUserPrivKeyPassw", ThePassword);
        Ui->Type("edPath", QString::fromStdString(KeyFolder()));
        Ui->Click("buNext");
    }
    ~WizardOnTokenTest() override {
        Ui.reset();
        Form.reset();
    }
};

TEST_F(WizardOnTokenTest, MovesTheSixFilesOntoTheTokenUnderThePasswordPin) {
    PrepareToken("BRELO-01");
    MakeKeyFolder(true);
    auto& ui = Open();
    PageOne();
    ASSERT_EQ(ui.Page(), "tsUsbToken") << ui.Error().toStdString();
    ASSERT_EQ(ui.Devices().size(), 1);
    EXPECT_TRUE(ui.Devices()[0].startsWith("BRELO-01" + QString(24, ' ') + "["));
    ui.Choose(0);
    ui.Click("buNext");
    ASSERT_EQ(ui.Message(), "Ключи пользователя USER01 перенесены на USB токен")
        << ui.Error().toStdString();
    EXPECT_EQ(ui.Get<QPushButton>("buNext")->text(), "Готово");

    const auto entries = TokenEntries("BRELO-01", Password);
    const char* files[] = {"CA.CER",     "TRANSPORT.CER", "USER01.CER",
                           "USER01.KEY", "USER01.CER2",   "USER01.KEY2"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(entries[i], KeyFile(files[i])) << files[i];
    EXPECT_THAT(std::vector<ByteString>(entries.begin() + 6, entries.begin() + 14),
                Each(IsEmpty()));
    EXPECT_FALSE(TokenOpensWith("BRELO-01", Login));  // the login's PIN is gone
}

TEST_F(WizardOnTokenTest, WithoutGostTheTokensGostEntriesStayEmpty) {
    PrepareToken("BRELO-01");
    MakeKeyFolder(false);
    auto& ui = Open();
    PageOne();
    ASSERT_EQ(ui.Page(), "tsUsbToken") << ui.Error().toStdString();
    ui.Click("buNext");
    ASSERT_EQ(ui.Message(), "Ключи пользователя USER01 перенесены на USB токен")
        << ui.Error().toStdString();
    const auto entries = TokenEntries("BRELO-01", Password);
    EXPECT_EQ(entries[3], KeyFile("USER01.KEY"));
    EXPECT_EQ(entries[4], "");
    EXPECT_EQ(entries[5], "");
}

TEST_F(WizardOnTokenTest, KeyFailuresStayOnPageOne) {
    PrepareToken("BRELO-01");
    MakeKeyFolder(true);
    auto& ui = Open();

    PageOne("не тот пароль");
    EXPECT_EQ(ui.Page(), "tsCert");
    EXPECT_EQ(ui.Error(), "Указан неверный пароль к секретному ключу");

    // A damaged customer key: the PEM armour stays, the body does not.
    const std::string key = KeyFile("USER01.KEY");
    WriteFile(KeyFolder() + "/USER01.KEY",
              key.substr(0, key.size() / 2) + "\n-----END RSA PRIVATE KEY-----\n");
    PageOne();
    EXPECT_EQ(ui.Page(), "tsCert");
    EXPECT_TRUE(
        ui.Error().startsWith("Не верный формат ключа пользователя. Проверьте ключевую дискету ("))
        << ui.Error().toStdString();

    WriteFile(KeyFolder() + "/USER01.KEY", key);
    std::filesystem::remove(KeyFolder() + "/USER01.KEY2");
    PageOne();
    EXPECT_EQ(ui.Error(), "Отсутствует сертификат - USER01.key2");

    // The GOST key under another password: the GOST format's own failure.
    std::filesystem::remove(KeyFolder() + "/USER01.CER2");
    MakeGostKeyPair(KeyFolder(), Login, SecureString("другой пароль"));
    PageOne();
    EXPECT_EQ(ui.Page(), "tsCert");
    EXPECT_TRUE(ui.Error().startsWith("Ошибка: ")) << ui.Error().toStdString();
}

TEST_F(WizardOnTokenTest, NoTokenLeavesNextDisabled) {
    MakeKeyFolder(false);
    auto& ui = Open();
    PageOne();
    ASSERT_EQ(ui.Page(), "tsUsbToken") << ui.Error().toStdString();
    EXPECT_THAT(ui.Devices(), IsEmpty());
    EXPECT_FALSE(ui.NextEnabled());
    EXPECT_EQ(ui.Error(), "");
}

TEST_F(WizardOnTokenTest, TokenOfAnotherCustomerRefusesTheLoginPin) {
    PrepareToken("BRELO-01", "USER02");
    MakeKeyFolder(false);
    auto& ui = Open();
    PageOne();
    ASSERT_EQ(ui.Page(), "tsUsbToken") << ui.Error().toStdString();
    ui.Click("buNext");
    EXPECT_EQ(ui.Error(), PinIncorrect);
    EXPECT_EQ(ui.Page(), "tsUsbToken");
    EXPECT_TRUE(ui.NextEnabled());
    EXPECT_EQ(ui.Get<QPushButton>("buNext")->text(), "Далее >");
    EXPECT_EQ(TokenEntries("BRELO-01", "USER02")[2], "");  // nothing written
}

TEST_F(WizardOnTokenTest, TokenRemovedDuringTheWriteThenARetrySucceeds) {
    PrepareToken("BRELO-01");
    MakeKeyFolder(true);
    auto& ui = Open();
    PageOne();
    ASSERT_EQ(ui.Page(), "tsUsbToken") << ui.Error().toStdString();
    {
        ScopedEnv fail("BRELO_P11_FAIL_FUNCTION", "C_SetAttributeValue");
        ScopedEnv rv("BRELO_P11_FAIL_RV", "CKR_DEVICE_REMOVED");
        ui.Click("buNext");
    }
    EXPECT_EQ(ui.Error(), "USB-токен был отключен во время выполнения операции");
    EXPECT_EQ(ui.Page(), "tsUsbToken");
    EXPECT_TRUE(TokenOpensWith("BRELO-01", Login));  // the block and the PIN are as they were

    ui.Click("buNext");
    EXPECT_EQ(ui.Message(), "Ключи пользователя USER01 перенесены на USB токен")
        << ui.Error().toStdString();
    EXPECT_EQ(TokenEntries("BRELO-01", Password)[5], KeyFile("USER01.KEY2"));
}

TEST_F(WizardOnTokenTest, KeyFileThatCannotBeReadIsNamed) {
    PrepareToken("BRELO-01");
    MakeKeyFolder(false);
    auto& ui = Open();
    PageOne();
    ASSERT_EQ(ui.Page(), "tsUsbToken") << ui.Error().toStdString();
    // Gone since page one, and a folder in its place (unreadable for root too).
    std::filesystem::remove(KeyFolder() + "/TRANSPORT.CER");
    std::filesystem::create_directory(KeyFolder() + "/TRANSPORT.CER");
    ui.Click("buNext");
    EXPECT_EQ(ui.Error(), "Не найден файл - TRANSPORT.CER");
    EXPECT_EQ(ui.Page(), "tsUsbToken");
    EXPECT_TRUE(TokenOpensWith("BRELO-01", Login));
}

}  // namespace
}  // namespace brelo::test
