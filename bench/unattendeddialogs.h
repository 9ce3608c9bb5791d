#pragma once

#include "platform/dialogs.h"

// The dialogs of a benchmark, which no one sits at: every message box is
// answered with the same button, every input box is cancelled.
class UnattendedDialogs : public Dialogs
{
public:
    explicit UnattendedDialogs(int answer = Ok) : m_answer(answer) {}
    int messageBox(const QString &, const QString &, int) override { return m_answer; }
    QString inputBox(const QString &, const QString &, const QString &) override { return QString(); }

private:
    int m_answer;
};
