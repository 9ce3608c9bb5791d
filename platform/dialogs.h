#pragma once

#include <QString>

// The program's two modal dialogs. Behind an interface so that tests answer them.
class Dialogs
{
public:
    // The classic message-box flags the program uses.
    enum Flag { OkCancel = 1, YesNo = 4, Exclamation = 48, Information = 64, DefaultButton2 = 256 };
    // The button chosen.
    enum Result { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

    virtual ~Dialogs() = default;
    virtual int messageBox(const QString &text, const QString &title, int flags) = 0;
    // The text entered, or the empty text when the user cancels.
    virtual QString inputBox(const QString &prompt, const QString &title, const QString &defaultText) = 0;
};
