// The wizard window over fake crypto and token layers: controls, captions, the upper-case
// login, the browse seam and the page flow, driven by typing and clicking.

#include <gtest/gtest.h>

#include <QDir>
#include <QFontInfo>
#include <filesystem>
#include <fstream>

#include "FormDriver.h"
#include "StubLayers.h"
#include "core/CryptoErrors.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo::test {
namespace {

namespace fs = std::filesystem;

class WizardFormTest : public ::testing::Test {
protected:
    WizardFormTest() {
        std::string pattern = (fs::temp_directory_path() / "brelo-form-XXXXXX").string();
        Folder = ::mkdtemp(pattern.data());
        for (const char* name : {"CA.CER", "TRANSPORT.CER", "USER01.CER", "USER01.KEY"})
            std::ofstream(Folder / name) << name;
        TBreloUsbTokenInt::SetWriteKeysProc(
            [this](const std::string& line, const SecureString&, const std::string& login,
                   const ByteString&, const ByteString&, const ByteString&, const ByteString&,
                   const ByteString&, const ByteString&) {
                Written.push_back(line + "|" + login);
                return true;
            });
        Form.show();
    }
    ~WizardFormTest() override {
        TBreloUsbTokenInt::SetWriteKeysProc(nullptr);
        fs::remove_all(Folder);
    }
    void FillPageOne(const QString& Login = "user01") {
        Ui.Type("edUserName", Login);
        Ui.Type("edUserPrivKeyPassw", "secret");
        Ui.Type("edPath", QString::fromStdString(Folder.string()));
    }

    QApplication& Application = App();
    fs::path Folder;
    TStubKeys Keys;
    TStubTokens Devices{{{"TOKEN A", "0A"}, {"TOKEN B", "0B"}}};
    std::vector<std::string> Written;
    TMain Form{Keys, Devices};
    TFormDriver Ui{Form};
};

TEST_F(WizardFormTest, StartsOnPageOneWithItsControls) {
    EXPECT_EQ(Form.windowTitle(), "Перенос ключей на USB токен");
    EXPECT_GE(Form.width(), 410);
    EXPECT_GE(Form.height(), 280);
    EXPECT_EQ(Form.minimumSize(), QSize(410, 280));
    EXPECT_EQ(Ui.Page(), "tsCert");
    EXPECT_FALSE(Ui.Get<QPushButton>("btPrev")->isVisible());
    EXPECT_EQ(Ui.Get<QPushButton>("buNext")->text(), "Далее >");
    EXPECT_EQ(Ui.Get<QPushButton>("btExit")->text(), "Отмена");
    EXPECT_FALSE(Ui.NextEnabled());
    EXPECT_EQ(Ui.Error(), "");
    EXPECT_EQ(Ui.Message(), "");
    EXPECT_EQ(Ui.Get<QLineEdit>("edPath")->text(), QDir::currentPath());
    EXPECT_EQ(Ui.Get<QLineEdit>("edUserPrivKeyPassw")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Ui.Get<QLineEdit>("edUserName")->toolTip(), "Имя пользователя системы");
    EXPECT_EQ(Ui.Get<QWidget>("pnBottom")->height(), 82);
}

TEST_F(WizardFormTest, LoginIsUpperCasedAndNextNeedsLoginAndPassword) {
    Ui.Type("edUserName", "user01 ф");
    EXPECT_EQ(Ui.Get<QLineEdit>("edUserName")->text(), "USER01 Ф");
    EXPECT_FALSE(Ui.NextEnabled());
    Ui.Type("edUserPrivKeyPassw", "  ");
    EXPECT_FALSE(Ui.NextEnabled());
    Ui.Type("edUserPrivKeyPassw", " b ");
    EXPECT_TRUE(Ui.NextEnabled());
    Ui.Type("edUserName", "   ");
    EXPECT_FALSE(Ui.NextEnabled());
}

TEST_F(WizardFormTest, FolderButtonBrowsesFromTheTypedFolderOrTheCurrentOne) {
    const QString folder = QString::fromStdString(Folder.string());
    Ui.Type("edPath", folder);
    TMain::setNextFolderName(QString("/chosen"));
    Ui.Click("edPathButton");
    EXPECT_EQ(TMain::lastBrowsePrompt(), "Введите путь к ключу");
    EXPECT_EQ(TMain::lastBrowseStart(), folder + "/");
    EXPECT_EQ(Ui.Get<QLineEdit>("edPath")->text(), "/chosen");

    // "/chosen" does not exist: browsing starts in the current folder; cancel keeps the text.
    TMain::setNextFolderName(std::nullopt);
    Ui.Click("edPathButton");
    EXPECT_EQ(TMain::lastBrowseStart(), QDir::currentPath());
    EXPECT_EQ(Ui.Get<QLineEdit>("edPath")->text(), "/chosen");
}

TEST_F(WizardFormTest, WalksBothPagesToTheSuccessState) {
    FillPageOne();
    Ui.Click("buNext");
    ASSERT_EQ(Ui.Page(), "tsUsbToken") << Ui.Error().toStdString();
    EXPECT_TRUE(Ui.Get<QPushButton>("btPrev")->isVisible());
    ASSERT_EQ(Ui.Devices().size(), 2);
    EXPECT_EQ(Ui.Devices()[1], "TOKEN B" + QString(25, ' ') + "[0B]");
    EXPECT_EQ(Ui.Get<QListWidget>("lbxDevices")->currentRow(), 0);

    Ui.Choose(1);
    Ui.Click("buNext");
    ASSERT_EQ(Written.size(), 1u);
    EXPECT_EQ(Written[0], "TOKEN B" + std::string(25, ' ') + "[0B]|USER01");
    EXPECT_EQ(Ui.Message(), "Ключи пользователя USER01 перенесены на USB токен");
    EXPECT_EQ(Ui.Error(), "");
    EXPECT_EQ(Ui.Get<QPushButton>("buNext")->text(), "Готово");
    EXPECT_FALSE(Ui.Get<QPushButton>("btPrev")->isEnabled());
    EXPECT_FALSE(Ui.Get<QPushButton>("btExit")->isEnabled());

    QTest::keyClick(&Form, Qt::Key_Escape);  // "Отмена" is off: Escape does nothing
    EXPECT_TRUE(Form.isVisible());
    Ui.Click("buNext");
    EXPECT_FALSE(Form.isVisible());
    EXPECT_EQ(Written.size(), 1u);
}

TEST_F(WizardFormTest, ErrorShowsInRedAndBackKeepsIt) {
    Keys.RefusePassword = true;
    FillPageOne();
    Ui.Click("buNext");
    EXPECT_EQ(Ui.Page(), "tsCert");
    EXPECT_EQ(Ui.Error(), "Указан неверный пароль к секретному ключу");
    EXPECT_EQ(Ui.Get<QLineEdit>("edUserPrivKeyPassw")->text(), "secret");

    Keys.RefusePassword = false;
    Ui.Click("buNext");
    ASSERT_EQ(Ui.Page(), "tsUsbToken");
    EXPECT_EQ(Ui.Error(), "");
    Ui.Click("btPrev");
    EXPECT_EQ(Ui.Page(), "tsCert");
    EXPECT_FALSE(Ui.Get<QPushButton>("btPrev")->isVisible());
    EXPECT_TRUE(Ui.NextEnabled());
}

TEST_F(WizardFormTest, CancelClosesOnEitherPage) {
    Ui.Click("btExit");
    EXPECT_FALSE(Form.isVisible());
    Form.show();
    FillPageOne();
    Ui.Click("buNext");
    QTest::keyClick(&Form, Qt::Key_Escape);
    EXPECT_FALSE(Form.isVisible());
}

}  // namespace
}  // namespace brelo::test
