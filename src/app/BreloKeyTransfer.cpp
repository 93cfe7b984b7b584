// BreloKeyTransfer: the key-transfer wizard. Takes no arguments.

#include <QApplication>

#include "app/KeyTransferServices.h"
#include "app/fmMain.h"

int main(int argc, char** argv) {
    brelo::StartUpKeyTransfer();
    {
        QApplication app(argc, argv);
        brelo::TKeyTransferServices services;
        brelo::TMain form(services.Keys(), services.Devices());
        // The window is the whole program: its end (closed, "Отмена" or "Готово") ends the run.
        form.exec();
    }
    brelo::ShutDownKeyTransfer();
    return 0;
}
