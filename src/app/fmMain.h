#pragma once
// The key-transfer wizard's window. It only wires its controls to TKeyTransferController;
// the controls carry the names the wizard's logic and its tests refer to.

#include <QDialog>
#include <QString>
#include <memory>
#include <optional>

#include "app/KeyTransferController.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QWidget;

namespace brelo {

class TMain : public QDialog {
    Q_OBJECT

public:
    TMain(TKeyCheck& Keys, TDeviceSource& Devices, QWidget* Parent = nullptr);
    ~TMain() override;

    /// Test seam for the folder-browse dialog: the next browse answers Folder (an empty
    /// optional: the customer cancels) instead of showing the dialog.
    static void setNextFolderName(std::optional<QString> Folder);
    /// Prompt and start folder of the last browse, shown or answered through the seam.
    static QString lastBrowsePrompt();
    static QString lastBrowseStart();

    TKeyTransferController& controller() { return *FController; }

protected:
    void showEvent(QShowEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void CreateControls();
    QWidget* CreateCertPage();
    QWidget* CreateUsbTokenPage();
    QWidget* CreateBottomPanel();
    TKeyTransferEvents Events();
    void ConnectInputs();

    void actNextExecute();
    void btPrevClick();
    void edPathPropertiesButtonClick();
    void ShowDevices(const std::vector<std::string>& Lines, int Selected);
    void ShowDone();

    std::unique_ptr<TKeyTransferController> FController;
    bool FShown = false;

    QStackedWidget* pcMain = nullptr;
    QWidget* tsCert = nullptr;
    QWidget* tsUsbToken = nullptr;
    QLineEdit* edUserName = nullptr;
    QLineEdit* edUserPrivKeyPassw = nullptr;
    QLineEdit* edPath = nullptr;
    QToolButton* edPathButton = nullptr;
    QListWidget* lbxDevices = nullptr;
    QLabel* lbError = nullptr;
    QLabel* lbMessage = nullptr;
    QPushButton* btPrev = nullptr;
    QPushButton* buNext = nullptr;
    QPushButton* btExit = nullptr;
    QAction* actNext = nullptr;
};

}  // namespace brelo
