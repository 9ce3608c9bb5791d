#include "shell/contactbook.h"

#include "addressbook/contactfile.h"
#include "addressbook/contactstore.h"
#include "platform/platform.h"
#include "shell/pickerlist.h"

#include <QLineEdit>

ContactBook::ContactBook(ContactStore &store, ContactSide side) : m_store(store), m_side(std::move(side)) {}

void ContactBook::pick()
{
    m_store.setCurrentPath(m_side.folder() + ContactFile::fileName(m_side.picker->text()));
    QStringList keys;
    for (const QLineEdit *field : m_side.fields)
        keys.append(field->objectName());
    const QStringList values = m_store.readContactValues(ContactFile::section(), keys);
    for (qsizetype i = 0; i < m_side.fields.size(); ++i)
        m_side.fields[i]->setText(values[i]);
    m_pickedFile = m_store.currentPath();
    m_pickedValues = values;
    if (m_side.afterPick)
        m_side.afterPick();
}

void ContactBook::save()
{
    const QString company = m_side.fields[0]->text();
    const QString person = m_side.fields[1]->text();
    // The picked contact under the name it was read with is saved into its own file,
    // whatever that file is called (a sync may have named it apart from another
    // contact of the same name); a new name makes a new contact, as ever.
    const bool picked = !m_pickedFile.isEmpty() && m_pickedValues.size() >= 2 &&
                        company == m_pickedValues[0] && person == m_pickedValues[1];
    const QString file =
        picked ? m_pickedFile
               : m_side.folder() + ContactFile::fileName(ContactFile::contactKey(company, person));
    const ContactFile::NameProblem problem =
        picked ? ContactFile::NameProblem::None : ContactFile::contactNameProblem(company, person);
    if (problem == ContactFile::NameProblem::Empty) {
        m_store.platform().messageBox(m_side.emptyNameWarning, QStringLiteral("提示"), Dialogs::Exclamation);
    } else if (problem == ContactFile::NameProblem::Unsafe) {
        m_store.platform().messageBox(ContactFile::unsafeNameMessage(), QStringLiteral("提示"),
                                      Dialogs::Exclamation);
    } else {
        const QString before = m_store.currentPath();
        QStringList own;
        for (const QLineEdit *field : m_side.fields)
            own.append(field->text());
        if (!keepOwnChanges(file, own))
            return;
        m_store.setCurrentPath(file);
        Profile::Values values;
        for (QLineEdit *field : m_side.fields)
            values.append({field->objectName(), field->text()});
        const StoreResult saved = m_store.WriteContactValues(ContactFile::section(), values);
        if (!saved.ok()) {
            // Nothing changed on disk: nothing changes on screen either.
            m_store.setCurrentPath(before);
            warnFailure(m_store.platform(), saved, QStringLiteral("无法保存联系人"));
            return;
        }
        m_pickedFile = file;
        m_pickedValues = own;
    }
    refill();
}

QStringList ContactBook::valuesOnDisk(const QString &file) const
{
    QStringList keys;
    for (const QLineEdit *field : m_side.fields)
        keys.append(field->objectName());
    return m_store.platform().readProfileStrings(file, ContactFile::section(), keys);
}

bool ContactBook::keepOwnChanges(const QString &file, const QStringList &own)
{
    if (!m_side.filesChangeElsewhere || !m_side.filesChangeElsewhere() ||
        file.compare(m_pickedFile, Qt::CaseInsensitive) != 0 || !m_store.platform().fileExists(file))
        return true;
    const QStringList now = valuesOnDisk(file);
    if (now == m_pickedValues || now == own)
        return true;
    m_pickedValues = now;
    if (m_store.platform().messageBox(
            QStringLiteral("这个联系人在您修改期间已在别处被修改（同步或其他电脑）。\n\n"
                           "选“是”保存您的修改；选“否”放弃您的修改，显示别处修改后的内容。"),
            QStringLiteral("提示"), Dialogs::YesNo | Dialogs::Exclamation) == Dialogs::Yes)
        return true;
    for (qsizetype i = 0; i < m_side.fields.size(); ++i)
        m_side.fields[i]->setText(now.value(i));
    return false;
}

void ContactBook::remove()
{
    if (m_store.platform().messageBox(m_side.deleteQuestion, QStringLiteral("提示："),
                                      Dialogs::OkCancel | Dialogs::Information) != Dialogs::Ok)
        return;
    PickerList &picker = *m_side.picker;
    const QString before = m_store.currentPath();
    m_store.setCurrentPath(m_side.deleteBase());
    // A text that is no contact name never reaches the file system.
    const QString file = ContactFile::fileName(picker.text());
    if (ContactFile::isSafeName(file)) {
        const StoreResult deleted = m_store.deleteContact(m_side.deleteSubfolder() + file);
        if (!deleted.ok()) {
            m_store.setCurrentPath(before);
            warnFailure(m_store.platform(), deleted, QStringLiteral("无法删除联系人"));
            return;
        }
    }
    picker.removeEntry(picker.selectedIndex());
    if (picker.count() > 0)
        picker.selectIndex(0);
}

void ContactBook::refill()
{
    m_side.picker->clear();
    m_store.setCurrentPath(m_side.folder());
    m_side.picker->addEntries(m_store.ContactListing());
}

void ContactBook::relist()
{
    QStringList entries;
    for (const QString &name : m_store.platform().listContactFiles(m_side.folder()))
        entries.append(ContactStore::ContactNameFromFile(name));
    m_side.picker->relist(entries);
}

void warnFailure(Platform &platform, const StoreResult &result, const QString &action)
{
    platform.messageBox(result.warning(action), QStringLiteral("提示"), Dialogs::Exclamation);
}

void searchAsYouType(PickerList &picker, bool &skipNextChange)
{
    if (skipNextChange) {
        skipNextChange = false;
        return;
    }
    const QString typed = picker.text();
    const int found = picker.findPrefix(typed);
    if (found < 0)
        return;
    const QString entry = picker.entry(found);
    const int missing = static_cast<int>(entry.size() - typed.size());
    if (missing <= 0)
        return;
    skipNextChange = true;
    // The edit raises the change notification again at once; the flag swallows it.
    picker.replaceSelection(entry.right(missing));
    picker.setSelection(static_cast<int>(typed.size()), missing);
}

void pickerKeyDown(int key, bool &skipNextChange)
{
    if (key == Qt::Key_Delete || key == Qt::Key_Backspace)
        skipNextChange = true;
}
