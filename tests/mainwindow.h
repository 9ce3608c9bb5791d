#pragma once

#include "shell/frmmain.h"
#include "shell/pickerlist.h"
#include "testsupport.h"

#include <QComboBox>
#include <QGroupBox>
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
    std::unique_ptr<Platform> platform = std::make_unique<Platform>(folder.root, folder.settingsFile(), dialogs);
    std::unique_ptr<frmMain> form;

    // Creates the window and runs the start-up sequence, as the program does.
    bool start()
    {
        form = std::make_unique<frmMain>(*platform, QString());
        return form->Form_Load();
    }
    // A later run of the program on the same folder and settings.
    bool restart()
    {
        form.reset();
        platform = std::make_unique<Platform>(folder.root, folder.settingsFile(), dialogs);
        return start();
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
    void setFields(const QStringList &names, const QStringList &texts) const
    {
        for (int i = 0; i < names.size(); ++i)
            field(names[i])->setText(texts.value(i));
    }
};
