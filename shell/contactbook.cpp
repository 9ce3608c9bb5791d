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
    if (m_side.afterPick)
        m_side.afterPick();
}

void ContactBook::save()
{
    const QString company = m_side.fields[0]->text();
    const QString person = m_side.fields[1]->text();
    const QString file = ContactFile::fileName(ContactFile::contactKey(company, person));
    const ContactFile::NameProblem problem = ContactFile::contactNameProblem(company, person);
    if (problem == ContactFile::NameProblem::Empty) {
        m_store.platform().messageBox(m_side.emptyNameWarning, QStringLiteral("提示"), Dialogs::Exclamation);
    } else if (problem == ContactFile::NameProblem::Unsafe) {
        m_store.platform().messageBox(ContactFile::unsafeNameMessage(), QStringLiteral("提示"),
                                      Dialogs::Exclamation);
    } else {
        const QString before = m_store.currentPath();
        m_store.setCurrentPath(m_side.folder() + file);
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
    }
    refill();
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
