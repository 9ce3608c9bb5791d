#include "addressbook/contactbook.h"

#include "addressbook/contactfile.h"
#include "platform/platform.h"
#include "shell/frmmain.h"
#include "shell/pickerlist.h"

#include <QLineEdit>

ContactBook::ContactBook(frmMain &form, ContactSide side) : m_form(form), m_side(std::move(side)) {}

void ContactBook::pick()
{
    m_form.setCurrentPath(m_side.folder() + ContactFile::fileName(m_side.picker->text()));
    for (QLineEdit *field : m_side.fields)
        field->setText(m_form.ReadContactValue(ContactFile::section(), field->objectName(), QString()));
    if (m_side.afterPick)
        m_side.afterPick();
}

void ContactBook::save()
{
    const QString company = m_side.fields[0]->text();
    const QString person = m_side.fields[1]->text();
    const QString file = ContactFile::fileName(ContactFile::contactKey(company, person));
    if (person.isEmpty() || company.isEmpty()) {
        m_form.platform().messageBox(m_side.emptyNameWarning, QStringLiteral("提示"), Dialogs::Exclamation);
    } else if (!ContactFile::isSafeName(company) || !ContactFile::isSafeName(person) ||
               !ContactFile::isSafeName(file)) {
        m_form.platform().messageBox(ContactFile::unsafeNameMessage(), QStringLiteral("提示"),
                                     Dialogs::Exclamation);
    } else {
        m_form.setCurrentPath(m_side.folder() + file);
        Profile::Values values;
        for (QLineEdit *field : m_side.fields)
            values.append({field->objectName(), field->text()});
        m_form.WriteContactValues(ContactFile::section(), values);
    }
    refill();
}

void ContactBook::remove()
{
    if (m_form.platform().messageBox(m_side.deleteQuestion, QStringLiteral("提示："),
                                     Dialogs::OkCancel | Dialogs::Information) != Dialogs::Ok)
        return;
    PickerList &picker = *m_side.picker;
    m_form.setCurrentPath(m_side.deleteBase());
    // A text that is no contact name never reaches the file system.
    const QString file = ContactFile::fileName(picker.text());
    if (ContactFile::isSafeName(file))
        m_form.platform().deleteFile(m_form.currentPath() + m_side.deleteSubfolder() + file);
    picker.removeEntry(picker.selectedIndex());
    if (picker.count() > 0)
        picker.selectIndex(0);
}

void ContactBook::refill()
{
    m_side.picker->clear();
    m_form.setCurrentPath(m_side.folder());
    m_form.ContactListing(*m_side.picker);
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
