#pragma once

#include "shell/frmmain.h"
#include "shell/pickerlist.h"
#include "testsupport.h"

#include <QComboBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include <memory>

// The main window on a program folder of its own, its dialogs answered by the test.
struct MainWindow
{
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    std::unique_ptr<Platform> platform =
        std::make_unique<Platform>(folder.root, folder.settingsFile(), dialogs);
    std::unique_ptr<frmMain> form;

    // Creates the window and runs the start-up sequence, as the program does.
    // adServer empty: the advertisement panes stay blank and no browser starts.
    bool start(const QString &adServer = QString())
    {
        form = std::make_unique<frmMain>(*platform, adServer);
        return form->Form_Load();
    }
    // A later run of the program on the same folder and settings.
    bool restart()
    {
        form.reset();
        platform = std::make_unique<Platform>(folder.root, folder.settingsFile(), dialogs);
        return start();
    }

    void show() const
    {
        form->showCentred();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    template <typename T = QWidget> T *get(const QString &name) const
    {
        T *child = form->findChild<T *>(name);
        if (!child)
            qWarning("no control %s", qPrintable(name));
        return child;
    }
    PickerList *cmbSent() const { return get<PickerList>("cmbSent"); }
    PickerList *cmbTo() const { return get<PickerList>("cmbTo"); }
    QComboBox *Combo1() const { return get<QComboBox>("Combo1"); }
    QLineEdit *field(const QString &name) const { return get<QLineEdit>(name); }
    QPushButton *button(const QString &name) const { return get<QPushButton>(name); }
    QString title(const QString &frame) const { return get<QGroupBox>(frame)->title(); }

    QStringList fields(const QStringList &names) const
    {
        QStringList texts;
        for (const QString &name : names)
            texts.append(field(name)->text());
        return texts;
    }
    QString setting() const { return platform->readSetting("Pellory", "Pellory", "Pellory"); }

    void setFields(const QStringList &names, const QStringList &texts) const
    {
        for (int i = 0; i < names.size(); ++i)
            field(names[i])->setText(texts.value(i));
    }
};

// Types as the user does: Latin characters as key presses, Chinese through the input
// method, which commits whole characters without key presses.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(widget, c.toLatin1());
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(widget, &commit);
        }
    }
}

// Clicks one entry of a picker's open list.
inline void clickEntry(PickerList *picker, int row)
{
    QListView *view = picker->listView();
    const QRect item = view->visualRect(view->model()->index(row, 0));
    QVERIFY(item.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
}

// Chooses a group with the keyboard, as a user does in a closed drop-down list.
inline void chooseGroup(QComboBox *combo, int index)
{
    combo->setFocus();
    while (combo->currentIndex() < index)
        QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > index)
        QTest::keyClick(combo, Qt::Key_Up);
}
