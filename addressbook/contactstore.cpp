#include "addressbook/contactstore.h"

#include "addressbook/contactfile.h"
#include "platform/platform.h"

#include <QDir>

QString StoreResult::warning(const QString &action) const
{
    return QStringLiteral("%1：\n%2\n\n%3").arg(action, QDir::toNativeSeparators(path), reason);
}

ContactStore::ContactStore(Platform &platform, QObject *parent) : QObject(parent), m_platform(platform) {}

QString ContactStore::senderFolder() const
{
    return m_platform.folderPath({u"sent"});
}

QString ContactStore::recipientRoot() const
{
    return m_platform.folderPath({u"to"});
}

QString ContactStore::groupFolder(const QString &group) const
{
    return m_platform.folderPath({u"to", group});
}

QString ContactStore::defaultGroup()
{
    return QStringLiteral("_未分类");
}

StoreResult ContactStore::createFolders()
{
    for (const QString &folder : {senderFolder(), recipientRoot(), groupFolder(defaultGroup())}) {
        QString reason;
        if (!m_platform.folderExists(folder) && !m_platform.createFolder(folder, &reason))
            return {folder, reason};
    }
    return {};
}

void ContactStore::setCurrentPath(const QString &path)
{
    if (path == m_currentPath)
        return;
    m_currentPath = path;
    Q_EMIT currentPathChanged(m_currentPath);
}

QString ContactStore::ReadContactValue(const QString &section, const QString &key,
                                       const QString &defaultValue) const
{
    return m_platform.readProfileString(m_currentPath, section, key, defaultValue);
}

QStringList ContactStore::readContactValues(const QString &section, const QStringList &keys) const
{
    return m_platform.readProfileStrings(m_currentPath, section, keys);
}

StoreResult ContactStore::WriteContactValue(const QString &section, const QString &key, const QString &value)
{
    return WriteContactValues(section, {{key, value}});
}

StoreResult ContactStore::WriteContactValues(const QString &section, const Profile::Values &values)
{
    QString reason;
    if (m_platform.writeProfileStrings(m_currentPath, section, values, &reason))
        return {};
    return {m_currentPath, reason};
}

QString ContactStore::ContactNameFromFile(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

QStringList ContactStore::ContactListing() const
{
    QStringList names = m_platform.listContactFiles(m_currentPath);
    for (QString &name : names)
        name = ContactNameFromFile(name);
    return names;
}

StoreResult ContactStore::deleteContact(const QString &relative)
{
    const QString file = m_currentPath + relative;
    // Gone already: what the delete was for.
    if (!m_platform.fileExists(file))
        return {};
    QString reason;
    if (m_platform.moveToTrash(file) || m_platform.deleteFile(file, &reason))
        return {};
    return {file, reason};
}

QStringList ContactStore::groups() const
{
    return m_platform.listSubfolders(recipientRoot());
}

StoreResult ContactStore::addGroup(const QString &name)
{
    const QString folder = groupFolder(name);
    QString reason;
    if (m_platform.folderExists(folder) || m_platform.createFolder(folder, &reason))
        return {};
    return {folder, reason};
}

StoreResult ContactStore::deleteGroup(const QString &name)
{
    const QString folder = groupFolder(name);
    if (!m_platform.folderExists(folder))
        return {};
    // In one piece, when nothing else lives in it, so that it comes back whole.
    const bool holdsFolders = m_platform.holdsFolders(folder);
    if (!holdsFolders && m_platform.moveToTrash(folder)) {
        Q_EMIT groupDeleted(name);
        return {};
    }
    StoreResult result;
    for (const QString &name : m_platform.listFiles(folder)) {
        const QString file = folder + name;
        QString reason;
        if (!m_platform.moveToTrash(file) && !m_platform.deleteFile(file, &reason) && result.ok())
            result = {file, reason};
    }
    // Folders of its own keep the group's folder, as they always did.
    QString reason;
    if (!m_platform.removeFolder(folder, &reason) && !holdsFolders && result.ok())
        result = {folder, reason};
    if (!m_platform.folderExists(folder))
        Q_EMIT groupDeleted(name);
    return result;
}

QString ContactStore::defaultSender() const
{
    const QString name = ContactFile::defaultSenderName();
    return m_platform.readSetting(name, name, name);
}

StoreResult ContactStore::setDefaultSender(const QString &text)
{
    const QString name = ContactFile::defaultSenderName();
    QString reason;
    if (m_platform.writeSetting(name, name, name, text, &reason))
        return {};
    return {m_platform.settingsFile(), reason};
}
