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
    // Whether others may change contact files meanwhile (a sync, another PC),
    // so that a save first asks when its contact changed since the pick.
    std::function<bool()> filesChangeElsewhere;
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
    // Lists it again as it is now, keeping the picker's text and the fields.
    void relist();

private:
    // The contact file's values now, in key order.
    QStringList valuesOnDisk(const QString &file) const;
    // False when the contact changed elsewhere since the pick and the user takes
    // that version, which the fields then show.
    bool keepOwnChanges(const QString &file, const QStringList &own);

    ContactStore &m_store;
    ContactSide m_side;
    // The contact as the last pick read it.
    QString m_pickedFile;
    QStringList m_pickedValues;
};

// The warning for a change the file system refused: what, which file, and why.
void warnFailure(Platform &platform, const StoreResult &result, const QString &action);

// Search as you type with completion, shared by both pickers and their one flag.
void searchAsYouType(PickerList &picker, bool &skipNextChange);
// A deletion must not be completed again: it suppresses the next search.
void pickerKeyDown(int key, bool &skipNextChange);
