#include "shell/widgetdialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

int WidgetDialogs::messageBox(const QString &text, const QString &title, int flags)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon((flags & 0x70) == Exclamation ? QMessageBox::Warning : QMessageBox::Information);
    if ((flags & 7) == YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        const bool save = flags & SaveDiscard;
        box.button(QMessageBox::Yes)->setText(save ? QStringLiteral("保存") : QStringLiteral("是"));
        box.button(QMessageBox::No)->setText(save ? QStringLiteral("不保存") : QStringLiteral("否"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
        box.setDefaultButton(flags & DefaultButton2 ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        const int chosen = box.exec();
        return chosen == QMessageBox::Yes ? Yes : chosen == QMessageBox::No ? No : Cancel;
    }
    if (flags & YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
        box.button(QMessageBox::No)->setText(QStringLiteral("否"));
        box.setDefaultButton(flags & DefaultButton2 ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? Yes : No;
    }
    if (flags & OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    return box.exec() == QMessageBox::Ok ? Ok : Cancel;
}

QString WidgetDialogs::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}
