#pragma once
// Drives the wizard window the way a customer does: by the controls' names, with typed keys
// and mouse clicks, on the offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "app/fmMain.h"

namespace brelo::test {

/// One application object for the whole test program.
inline QApplication& App() {
    static int argc = 1;
    static char name[] = "wizard-test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class TFormDriver {
public:
    explicit TFormDriver(TMain& Form) : FForm(Form) {}

    template <typename W>
    W* Get(const char* Name) const {
        W* widget = FForm.findChild<W*>(Name);
        if (!widget)
            ADD_FAILURE() << "no control " << Name;
        return widget;
    }
    void Type(const char* Field, const QString& Text) {
        auto* edit = Get<QLineEdit>(Field);
        edit->clear();
        for (const QChar c : Text) {
            if (c.unicode() < 128) {
                QTest::keyClick(edit, c.toLatin1());
            } else {  // QTest maps only ASCII to keys; other letters arrive as key text
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
            }
        }
    }
    void Click(const char* Button) {
        auto* button = Get<QAbstractButton>(Button);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void Choose(int Row) { Get<QListWidget>("lbxDevices")->setCurrentRow(Row); }
    QString Page() const { return Get<QStackedWidget>("pcMain")->currentWidget()->objectName(); }
    QString Error() const {
        auto* label = Get<QLabel>("lbError");
        return label->isVisible() ? label->text() : QString();
    }
    QString Message() const {
        auto* label = Get<QLabel>("lbMessage");
        return label->isVisible() ? label->text() : QString();
    }
    bool NextEnabled() const { return Get<QPushButton>("buNext")->isEnabled(); }
    QStringList Devices() const {
        QStringList lines;
        auto* list = Get<QListWidget>("lbxDevices");
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        return lines;
    }

private:
    TMain& FForm;
};

}  // namespace brelo::test
