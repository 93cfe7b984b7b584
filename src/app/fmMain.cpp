#include "app/fmMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

namespace brelo {

namespace {

std::optional<std::optional<QString>> NextFolderName;
QString LastBrowsePrompt;
QString LastBrowseStart;

// The login field shows and hands on upper case whatever is typed or pasted.
class TUpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& Input, int&) const override {
        Input = Input.toUpper();
        return Acceptable;
    }
};

QLabel* BoldLabel(const QString& Text, const QString& Hint) {
    auto* label = new QLabel(Text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setToolTip(Hint);
    return label;
}

QLabel* StateLabel(const char* Name, const char* Color) {
    auto* label = new QLabel;
    label->setObjectName(Name);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("QLabel { color: %1; font-weight: bold; }").arg(Color));
    label->setVisible(false);
    return label;
}

// Passwords leave the widget only as a wiped byte buffer.
SecureString SecureUtf8(const QString& Text) {
    QByteArray bytes = Text.toUtf8();
    SecureString result(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    SecureWipe(bytes.data(), static_cast<std::size_t>(bytes.size()));
    return result;
}

// Token and crypto calls block the window; the cursor says so while they run.
struct TBusyCursor {
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

TMain::TMain(TKeyCheck& Keys, TDeviceSource& Devices, QWidget* Parent) : QDialog(Parent) {
    setObjectName("Main");
    setWindowTitle(QStringLiteral("Перенос ключей на USB токен"));
    QFont small = font();  // the window was laid out for an 8-point font
    small.setPointSize(8);
    setFont(small);
    CreateControls();
    FController = std::make_unique<TKeyTransferController>(Keys, Devices, Events());
    ConnectInputs();
    resize(410, 280);
    setMinimumSize(410, 280);
}

TMain::~TMain() = default;

void TMain::setNextFolderName(std::optional<QString> Folder) {
    NextFolderName = std::move(Folder);
}
QString TMain::lastBrowsePrompt() {
    return LastBrowsePrompt;
}
QString TMain::lastBrowseStart() {
    return LastBrowseStart;
}

void TMain::CreateControls() {
    pcMain = new QStackedWidget;
    pcMain->setObjectName("pcMain");
    pcMain->addWidget(CreateCertPage());
    pcMain->addWidget(CreateUsbTokenPage());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pcMain, 1);
    layout->addWidget(CreateBottomPanel());
}

QWidget* TMain::CreateCertPage() {
    tsCert = new QWidget;
    tsCert->setObjectName("tsCert");
    auto* layout = new QVBoxLayout(tsCert);
    layout->setContentsMargins(12, 8, 12, 4);
    layout->setSpacing(2);
    layout->addWidget(
        new QLabel(QStringLiteral("Веедите наименование пользователя, пароль и путь к ключам,\n"
                                  "которые будут перенесены на USB токен")));
    layout->addSpacing(4);

    edUserName = new QLineEdit;
    edUserName->setObjectName("edUserName");
    edUserName->setValidator(new TUpperCaseValidator(edUserName));
    edUserName->setToolTip(QStringLiteral("Имя пользователя системы"));
    layout->addWidget(BoldLabel(QStringLiteral("Логин пользователя"),
                                QStringLiteral("Логин пользователя системы")));
    layout->addWidget(edUserName);

    edUserPrivKeyPassw = new QLineEdit;
    edUserPrivKeyPassw->setObjectName("edUserPrivKeyPassw");
    edUserPrivKeyPassw->setEchoMode(QLineEdit::Password);
    edUserPrivKeyPassw->setToolTip(
        QStringLiteral("Пароль пользователя к секретному ключу.\nТребуется для входа в программу"));
    layout->addWidget(
        BoldLabel(QStringLiteral("Пароль к секретному ключу"),
                  QStringLiteral("Пароль пользователя к секретному ключу.\nТребуется для входа в "
                                 "программу, как в режиме Online, так и в режиме Offline")));
    layout->addWidget(edUserPrivKeyPassw);

    edPath = new QLineEdit(QStringLiteral("A:\\"));
    edPath->setObjectName("edPath");
    edPathButton = new QToolButton;
    edPathButton->setObjectName("edPathButton");
    edPathButton->setText(QStringLiteral("…"));
    edPathButton->setFocusPolicy(Qt::NoFocus);
    auto* pathRow = new QHBoxLayout;
    pathRow->setSpacing(0);
    pathRow->addWidget(edPath);
    pathRow->addWidget(edPathButton);
    layout->addWidget(BoldLabel(QStringLiteral("Путь к секретному ключу"), QString()));
    layout->addLayout(pathRow);
    layout->addStretch(1);
    return tsCert;
}

QWidget* TMain::CreateUsbTokenPage() {
    tsUsbToken = new QWidget;
    tsUsbToken->setObjectName("tsUsbToken");
    auto* layout = new QVBoxLayout(tsUsbToken);
    layout->setContentsMargins(12, 8, 12, 4);
    layout->addWidget(
        new QLabel(QStringLiteral("Выберете USB токен, на который будут перенесены \n"
                                  "ключи пользователя ")));
    lbxDevices = new QListWidget;
    lbxDevices->setObjectName("lbxDevices");
    // Device lines are a padded name and a bracketed UID: columns line up in a fixed font.
    lbxDevices->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(lbxDevices, 1);
    return tsUsbToken;
}

QWidget* TMain::CreateBottomPanel() {
    auto* panel = new QWidget;
    panel->setObjectName("pnBottom");
    panel->setFixedHeight(82);
    lbError = StateLabel("lbError", "#d00000");
    lbMessage = StateLabel("lbMessage", "#008000");
    btPrev = new QPushButton(QStringLiteral("< Назад"));
    btPrev->setObjectName("btPrev");
    btPrev->setVisible(false);
    buNext = new QPushButton;
    buNext->setObjectName("buNext");
    buNext->setDefault(true);
    btExit = new QPushButton(QStringLiteral("Отмена"));
    btExit->setObjectName("btExit");
    actNext = new QAction(QStringLiteral("Далее >"), this);
    actNext->setObjectName("actNext");
    actNext->setEnabled(false);
    buNext->setText(actNext->text());
    buNext->setEnabled(false);
    connect(actNext, &QAction::changed, this, [this] {
        buNext->setText(actNext->text());
        buNext->setEnabled(actNext->isEnabled());
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btPrev);
    buttons->addWidget(buNext);
    buttons->addWidget(btExit);
    auto* layout = new QGridLayout(panel);
    layout->setContentsMargins(12, 4, 12, 8);
    layout->addWidget(lbError, 0, 0);
    layout->addWidget(lbMessage, 0, 0);
    layout->setRowStretch(0, 1);
    layout->addLayout(buttons, 1, 0);
    return panel;
}

TKeyTransferEvents TMain::Events() {
    TKeyTransferEvents events;
    events.ShowError = [this](const std::string& Text) {
        lbMessage->setVisible(false);
        lbError->setText(QString::fromStdString(Text));
        lbError->setVisible(true);
    };
    events.ShowSuccess = [this](const std::string& Text) {
        lbError->setVisible(false);
        lbMessage->setText(QString::fromStdString(Text));
        lbMessage->setVisible(true);
    };
    events.HideError = [this] { lbError->setVisible(false); };
    events.EnableNext = [this](bool Enabled) { actNext->setEnabled(Enabled); };
    events.SwitchPage = [this](TWizardPage Page) {
        pcMain->setCurrentWidget(Page == TWizardPage::Cert ? tsCert : tsUsbToken);
    };
    events.PrevChanged = [this](bool Visible, bool Enabled) {
        btPrev->setVisible(Visible);
        btPrev->setEnabled(Enabled);
    };
    events.DevicesChanged = [this](const std::vector<std::string>& Lines, int Selected) {
        ShowDevices(Lines, Selected);
    };
    events.Done = [this] { ShowDone(); };
    events.Close = [this] { done(FController->Done() ? Accepted : Rejected); };
    return events;
}

void TMain::ConnectInputs() {
    connect(edUserName, &QLineEdit::textChanged, this,
            [this](const QString& Text) { FController->SetUserName(Text.toStdString()); });
    connect(edUserPrivKeyPassw, &QLineEdit::textChanged, this,
            [this](const QString& Text) { FController->SetPassword(SecureUtf8(Text)); });
    connect(edPath, &QLineEdit::textChanged, this,
            [this](const QString& Text) { FController->SetKeyPath(Text.toStdString()); });
    connect(lbxDevices, &QListWidget::currentRowChanged, this,
            [this](int Row) { FController->SetSelectedDevice(Row); });
    connect(buNext, &QPushButton::clicked, actNext, &QAction::trigger);
    connect(actNext, &QAction::triggered, this, [this] { actNextExecute(); });
    connect(btPrev, &QPushButton::clicked, this, [this] { btPrevClick(); });
    connect(btExit, &QPushButton::clicked, this, [this] { FController->Exit(); });
    connect(edPathButton, &QToolButton::clicked, this, [this] { edPathPropertiesButtonClick(); });
    FController->SetKeyPath(edPath->text().toStdString());
}

void TMain::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    if (FShown)
        return;
    FShown = true;
    edPath->setText(QDir::currentPath());
    pcMain->setCurrentWidget(tsCert);
}

void TMain::keyPressEvent(QKeyEvent* Event) {
    // Escape is "Отмена": it does nothing once the button is off.
    if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
        if (btExit->isEnabled())
            btExit->click();
        return;
    }
    QDialog::keyPressEvent(Event);
}

void TMain::actNextExecute() {
    TBusyCursor busy;
    FController->Next();
}

void TMain::btPrevClick() {
    FController->Prev();
}

void TMain::edPathPropertiesButtonClick() {
    const QString typed = edPath->text();
    QString start = typed.endsWith('/') ? typed : typed + '/';
    if (!QFileInfo(typed).isDir())
        start = QDir::currentPath();
    LastBrowsePrompt = QStringLiteral("Введите путь к ключу");
    LastBrowseStart = start;
    std::optional<QString> chosen;
    if (NextFolderName) {
        chosen = *NextFolderName;
        NextFolderName.reset();
    } else {
        const QString folder = QFileDialog::getExistingDirectory(this, LastBrowsePrompt, start);
        if (!folder.isEmpty())
            chosen = folder;
    }
    if (chosen)
        edPath->setText(*chosen);
}

void TMain::ShowDevices(const std::vector<std::string>& Lines, int Selected) {
    const QSignalBlocker blocker(lbxDevices);
    lbxDevices->setUpdatesEnabled(false);
    lbxDevices->clear();
    for (const std::string& line : Lines) lbxDevices->addItem(QString::fromStdString(line));
    lbxDevices->setCurrentRow(Selected);
    lbxDevices->setUpdatesEnabled(true);
}

void TMain::ShowDone() {
    btPrev->setEnabled(false);
    btExit->setEnabled(false);
    actNext->setText(QStringLiteral("Готово"));
    actNext->setEnabled(true);
}

}  // namespace brelo
