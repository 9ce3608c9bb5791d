#pragma once

#include "platform/profile.h"

#include <QObject>
#include <QStringList>

class Platform;

// The outcome of a change to the address book: ok(), or the file or folder that
// the system refused, as the user knows it, and why, in Chinese.
struct StoreResult
{
    QString path;
    QString reason;

    bool ok() const { return reason.isEmpty(); }
    // The warning for the user: what could not be done, the path and the reason.
    QString warning(const QString &action) const;
};

// The address book on disk: the storage folders and the recipient groups, and the
// one current path through which every contact file is read, written, listed and
// deleted. Whatever fills widgets from the address book goes through one of these.
class ContactStore : public QObject
{
    Q_OBJECT
public:
    explicit ContactStore(Platform &platform, QObject *parent = nullptr);

    Platform &platform() const { return m_platform; }

    // Storage folders, each ending with "/".
    QString senderFolder() const;
    QString recipientRoot() const;
    QString groupFolder(const QString &group) const;
    static QString defaultGroup();

    // The sender folder, the recipient root and the default group, each created
    // when missing, in that order; stops at the first that cannot be.
    StoreResult createFolders();

    // A folder ending with "/", or one contact file.
    const QString &currentPath() const { return m_currentPath; }
    void setCurrentPath(const QString &path);

    // One value of the contact file named by the current path; the default when
    // the file, the section or the key is missing.
    QString ReadContactValue(const QString &section, const QString &key, const QString &defaultValue) const;
    // The values of the keys from one read of that file; the empty text for each missing.
    QStringList readContactValues(const QString &section, const QStringList &keys) const;
    StoreResult WriteContactValue(const QString &section, const QString &key, const QString &value);
    // Several values in one replacement of the file, so that a crash never leaves
    // a contact half saved.
    StoreResult WriteContactValues(const QString &section, const Profile::Values &values);

    static QString ContactNameFromFile(const QString &fileName);
    // The entries of the contact files in the folder named by the current path,
    // in the order the folder gives them.
    QStringList ContactListing() const;

    // Deletes the contact file current path + relative. A file that is not there
    // any more counts as deleted.
    StoreResult deleteContact(const QString &relative);

    // The names of the group folders.
    QStringList groups() const;
    // Creates the group's folder unless it exists.
    StoreResult addGroup(const QString &name);
    // Deletes the files of the group's folder and then the folder, which stays
    // when it holds folders of its own. A missing folder is left at that.
    StoreResult deleteGroup(const QString &name);

    // The per-user default sender; the empty text when none was stored.
    QString defaultSender() const;
    StoreResult setDefaultSender(const QString &text);

Q_SIGNALS:
    void currentPathChanged(const QString &path);
    // A group deleted through deleteGroup(), as the user asked.
    void groupDeleted(const QString &name);

private:
    Platform &m_platform;
    QString m_currentPath;
};
