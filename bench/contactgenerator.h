#pragma once

#include <QString>
#include <QStringList>

// Writes realistic contact folders: Chinese and Latin names, eight keys each, GBK.
class ContactGenerator
{
public:
    explicit ContactGenerator(quint32 seed) : m_state(seed) {}

    // Writes count contact files into folder (which must exist) with the given keys;
    // returns their contact keys.
    QStringList writeContacts(const QString &folder, const QStringList &keys, int count);

private:
    quint32 next();
    QString pick(const QStringList &words);
    QStringList makeContact();

    quint32 m_state;
};
