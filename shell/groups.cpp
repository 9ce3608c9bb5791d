#include "shell/groups.h"

#include "addressbook/contactfile.h"
#include "addressbook/contactstore.h"
#include "platform/platform.h"
#include "shell/contactbook.h"
#include "shell/pickerlist.h"

#include <QComboBox>
#include <QGroupBox>
#include <QSignalBlocker>

RecipientGroups::RecipientGroups(ContactStore &store, QComboBox &list, PickerList &recipients,
                                 QGroupBox &recipientFrame)
    : m_store(store), m_list(list), m_recipients(recipients), m_recipientFrame(recipientFrame)
{
}

void RecipientGroups::addEntries(QStringList names)
{
    // Adding is not choosing: inserting before the selected entry or into an
    // empty list must not run a group switch.
    const QSignalBlocker blocker(m_list);
    const int selected = m_list.currentIndex();
    m_collation.sort(names);
    int row = 0;
    for (const QString &name : names) {
        while (row < m_list.count() && !m_collation.lessThan(name, m_list.itemText(row)))
            ++row;
        m_list.insertItem(row++, name);
    }
    if (selected < 0)
        m_list.setCurrentIndex(-1);
}

QString RecipientGroups::current() const
{
    return m_list.currentIndex() < 0 ? QString() : m_list.currentText();
}

void RecipientGroups::switchGroup()
{
    m_store.setCurrentPath(m_store.groupFolder(current()));
    m_recipients.clear();
    m_recipients.addEntries(m_store.ContactListing());
    m_recipientFrame.setTitle(QStringLiteral("选择收件人  共(%1)个").arg(m_recipients.count()));
}

void RecipientGroups::relist()
{
    const QStringList now = m_store.groups();
    QStringList added;
    for (const QString &name : now) {
        if (m_list.findText(name, Qt::MatchFixedString) < 0)
            added.append(name);
    }
    addEntries(added);
    const QString selected = current();
    bool currentGone = false;
    const QSignalBlocker blocker(m_list);
    for (int row = m_list.count() - 1; row >= 0; --row) {
        if (!now.contains(m_list.itemText(row), Qt::CaseInsensitive)) {
            currentGone = currentGone || row == m_list.currentIndex();
            m_list.removeItem(row);
        }
    }
    if (currentGone) {
        m_list.setCurrentIndex(m_list.findText(ContactStore::defaultGroup()));
        switchGroup();
    } else if (!selected.isEmpty()) {
        m_list.setCurrentIndex(m_list.findText(selected, Qt::MatchFixedString));
    }
}

void RecipientGroups::add()
{
    Platform &platform = m_store.platform();
    const QString name =
        platform.inputBox(QStringLiteral("请输入需要添加的类别名称："), QStringLiteral("添加分类"));
    if (name.isEmpty())
        return;
    if (!ContactFile::isSafeGroupName(name)) {
        platform.messageBox(ContactFile::unsafeGroupNameMessage(), QStringLiteral("提示"),
                            Dialogs::Exclamation);
        return;
    }
    const StoreResult added = m_store.addGroup(name);
    if (!added.ok()) {
        warnFailure(platform, added, QStringLiteral("无法创建分类"));
        return;
    }
    addEntries({name});
}

void RecipientGroups::remove()
{
    Platform &platform = m_store.platform();
    const QString group = current();
    if (group.isEmpty()) {
        platform.messageBox(QStringLiteral("选择的分类不正确，请重新选择！"), QStringLiteral("错误："),
                            Dialogs::Information);
        return;
    }
    if (platform.messageBox(QStringLiteral("确认要删除（分类）及（分类下的收件人）吗？"),
                            QStringLiteral("提示："),
                            Dialogs::OkCancel | Dialogs::Information) != Dialogs::Ok)
        return;
    const StoreResult deleted = m_store.deleteGroup(group);
    if (!deleted.ok())
        warnFailure(platform, deleted, QStringLiteral("无法删除分类"));
}
