#pragma once

#include <QString>

// The program's two modal dialogs. Behind an interface so that tests answer them.
class Dialogs
{
public:
    // The classic message-box flags the program uses.
    // YesNoCancel gives Yes, No or Cancel (Escape); with SaveDiscard its buttons read 保存, 不保存, 取消.
    enum Flag {
        OkCancel = 1,
        YesNoCancel = 3,
        YesNo = 4,
        Exclamation = 48,
        Information = 64,
        DefaultButton2 = 256,
        SaveDiscard = 4096
    };
    // The button chosen.
    enum Result { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

    virtual ~Dialogs() = default;
    virtual int messageBox(const QString &text, const QString &title, int flags) = 0;
    // The text entered, or the empty text when the user cancels.
    virtual QString inputBox(const QString &prompt, const QString &title, const QString &defaultText) = 0;
};
