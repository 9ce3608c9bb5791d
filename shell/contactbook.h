#pragma once

#include <QList>
#include <QString>

#include <functional>

class ContactStore;
class Platform;
struct StoreResult;
class PickerList;
class QLineEdit;

// What tells the sender book and the recipient book apart: data, not code.
struct ContactSide
{
    PickerList *picker = nullptr;
    // The eight fields in key order; each field's object name is its key.
    QList<QLineEdit *> fields;
    // The folder that holds this side's contact files.
    std::function<QString()> folder;
    // A delete sets the current path to deleteBase() and deletes
    // deleteBase() + deleteSubfolder() + the picker's text + ".dat".
    std::function<QString()> deleteBase;
    std::function<QString()> deleteSubfolder;
    QString emptyNameWarning;
    QString deleteQuestion;
    // Runs at the end of every pick.
    std::function<void()> afterPick;
};

// Pick, save and delete for one side of the address book.
class ContactBook
{
public:
    ContactBook(ContactStore &store, ContactSide side);

    void pick();
    void save();
    void remove();
    // Lists the side's folder into its picker again.
    void refill();

private:
    ContactStore &m_store;
    ContactSide m_side;
};

// The warning for a change the file system refused: what, which file, and why.
void warnFailure(Platform &platform, const StoreResult &result, const QString &action);

// Search as you type with completion, shared by both pickers and their one flag.
void searchAsYouType(PickerList &picker, bool &skipNextChange);
// A deletion must not be completed again: it suppresses the next search.
void pickerKeyDown(int key, bool &skipNextChange);
