#pragma once

#include "shell/collation.h"

#include <QStringList>

class ContactStore;
class PickerList;
class QComboBox;
class QGroupBox;

// The recipient groups: the subfolders of the recipient root, listed in Combo1.
class RecipientGroups
{
public:
    RecipientGroups(ContactStore &store, QComboBox &list, PickerList &recipients, QGroupBox &recipientFrame);

    // Adds the names at their sorted places without selecting any of them.
    void addEntries(QStringList names);
    // The selected group's name; empty while none is selected.
    QString current() const;

    void switchGroup();
    // Follows the group folders as they are now: new ones are added, vanished
    // ones removed; when the current group vanished, the default group is chosen.
    void relist();
    void add();
    void remove();

private:
    ContactStore &m_store;
    QComboBox &m_list;
    PickerList &m_recipients;
    QGroupBox &m_recipientFrame;
    Collation m_collation;
};
