#pragma once

#include "platform/dialogs.h"

// The real dialogs, shown modally over the active window.
class WidgetDialogs : public Dialogs
{
public:
    int messageBox(const QString &text, const QString &title, int flags) override;
    QString inputBox(const QString &prompt, const QString &title, const QString &defaultText) override;
};
