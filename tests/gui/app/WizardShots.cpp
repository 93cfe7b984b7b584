// brelo-wizard-shots FOLDER: pictures of the wizard for the documentation: page one filled
// in, page two with two tokens, the success state and a refused password. The window is the
// real one; the keys are taken as proved and the hand-over succeeds without a token.

#include <QDir>
#include <QPixmap>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "FormDriver.h"
#include "StubLayers.h"
#include "core/CryptoErrors.h"
#include "token/BreloUsbTokenUtils.h"

namespace {

using namespace brelo;

bool Save(QWidget& Form, const QString& File) {
    QApplication::processEvents();
    const bool ok = Form.grab().save(File);
    std::cout << (ok ? "saved " : "could not save ") << File.toStdString() << '\n';
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: brelo-wizard-shots FOLDER\n";
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QApplication& app = brelo::test::App();
    (void)app;
    const std::filesystem::path keys = std::filesystem::temp_directory_path() / "brelo-shots-keys";
    std::filesystem::create_directories(keys);
    for (const char* name : {"CA.CER", "TRANSPORT.CER", "IVANOV.CER", "IVANOV.KEY"})
        std::ofstream(keys / name) << name;
    TBreloUsbTokenInt::SetWriteKeysProc([](auto&&...) { return true; });

    test::TStubKeys shownKeys;
    test::TStubTokens tokens{{{"Токен Иванова", "6f782b3b412505a0"}, {"BRELO-0002", "00a3f1c9e5d27b14"}}};
    bool ok = true;
    {
        TMain form(shownKeys, tokens);
        brelo::test::TFormDriver ui(form);
        form.show();
        ui.Type("edUserName", "ivanov");
        ui.Type("edUserPrivKeyPassw", "secret");
        ui.Get<QLineEdit>("edPath")->setText(QString::fromStdString(keys.string()));
        ok &= Save(form, out + "/page-one.png");
        ui.Click("buNext");
        ok &= Save(form, out + "/page-two.png");
        ui.Click("buNext");
        ok &= Save(form, out + "/done.png");
    }
    {
        shownKeys.RefusePassword = true;
        TMain form(shownKeys, tokens);
        brelo::test::TFormDriver ui(form);
        form.show();
        ui.Type("edUserName", "ivanov");
        ui.Type("edUserPrivKeyPassw", "wrong");
        ui.Get<QLineEdit>("edPath")->setText(QString::fromStdString(keys.string()));
        ui.Click("buNext");
        ok &= Save(form, out + "/wrong-password.png");
    }
    std::filesystem::remove_all(keys);
    return ok ? 0 : 1;
}
