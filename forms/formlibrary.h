#pragma once

#include "forms/form.h"

#include <QList>
#include <QString>

#include <optional>

class Platform;

namespace Forms {

// The user's forms: one file each in the folder "forms" below the program
// folder. Which form sits in which of the main window's courier slots (3 to 8)
// is kept per machine in the settings store, by file name.
//
// Every call that fails says why, in Chinese, through error and leaves the
// folder as it was.
class FormLibrary
{
public:
    static constexpr int FirstSlot = 3;
    static constexpr int LastSlot = 8;

    struct Entry
    {
        QString fileName; // in the folder: "申通快递.qbform"
        QString name;     // the form's own name; a damaged form's file name without its ending
        int slot = 0;     // 3..8, 0 when in none
        QString problem;  // why the file cannot be read, in Chinese; empty when it can
        Form::Kind kind = Form::Kind::Waybill; // a damaged form's is not known: Waybill

        // The name as lists show it: a damaged form marked so, a packing slip too.
        QString caption() const;
    };
    enum class Damaged { LeftOut, Listed };
    // What an import does with a form whose id a form here has already.
    enum class SameForm { Replace, KeepBoth };

    explicit FormLibrary(Platform &platform);

    QString folder() const;
    // Creates the folder when missing.
    bool ensureFolder(QString *error = nullptr) const;

    // The forms in the folder sorted by name, their pictures checked by their
    // headers only. Files that cannot be read are left out, or listed with
    // their problem.
    QList<Entry> list(Damaged damaged = Damaged::LeftOut) const;
    // The readable forms of one kind, sorted as list() sorts them: where a
    // waybill is chosen, and where a packing slip is.
    QList<Entry> waybillForms() const;
    QList<Entry> slipForms() const;
    std::optional<Form> load(const QString &fileName, QString *error = nullptr) const;
    // The first form of that name, for the journal's reprint.
    std::optional<Form> loadByName(const QString &name, QString *fileName = nullptr) const;
    // Writes the form in one step. fileName: the form's file to replace; empty
    // for a new one, then set to the file made from the form's name.
    bool save(const Form &form, QString *fileName, QString *error = nullptr) const;
    // To the desktop's trash; its slot is freed.
    bool remove(const QString &fileName, QString *error = nullptr);
    // A copy under newName with a fresh id, in no slot. Its file name.
    std::optional<QString> copy(const QString &fileName, const QString &newName,
                                QString *error = nullptr) const;
    // A form file from elsewhere, read whole and checked first; nothing, with
    // error, when it cannot be.
    std::optional<Form> readFile(const QString &path, QString *error = nullptr) const;
    // The file of the form here with that id; empty when there is none.
    QString fileWithId(const QString &id) const;
    // Brings in a form file from elsewhere; a form already here under the same
    // name gets a new file beside it. A form whose id one here has: same
    // replaces that one's file (its slot and print settings stay), KeepBoth
    // brings it in as a copy with a fresh id and "（2）" after its name. Its
    // file name.
    std::optional<QString> importFile(const QString &path, QString *error = nullptr,
                                      SameForm same = SameForm::KeepBoth) const;
    bool exportFile(const QString &fileName, const QString &path, QString *error = nullptr) const;

    // The form file in the slot, empty when none (or its file is gone).
    QString formInSlot(int slot) const;
    int slotOf(const QString &fileName) const;
    // Puts the form in the slot (0: in none), taking it out of any other; a
    // form already in the slot leaves it.
    bool setSlot(const QString &fileName, int slot, QString *error = nullptr);

private:
    QString pathOf(const QString &fileName) const;
    // Takes the file name out of every slot: a new file of a name a slot still
    // names (its old file deleted elsewhere) gets no button unasked.
    void forgetSlot(const QString &fileName) const;
    // A file name made from name that no file in the folder has yet.
    QString freeFileName(const QString &name) const;

    Platform &m_platform;
};

} // namespace Forms
