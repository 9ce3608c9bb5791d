#pragma once

#include "platform/dialogs.h"
#include "platform/profile.h"

#include <QString>
#include <QStringList>

#include <initializer_list>
#include <memory>
#include <optional>

class QSettings;

// The services of the system the program stands on: its folders and contact
// files, the desktop's trash, the per-user settings store and the two dialogs.
// Every other part of the program reaches them only through this class.
//
// Paths are full paths below the program folder, with "/" between names. Names
// below the program folder are matched exactly first and then without regard to
// letter case, as the address book has always treated them; a path that would
// leave the program folder (a ".." or an empty name) is refused. Names on disk that
// are not UTF-8 (GBK names from archives made on Chinese Windows) are shown decoded
// as GB18030 and found again by that text, so they are used under their own bytes.
//
// Whatever changes the disk says on failure why, in Chinese, through error.
class Platform
{
public:
    Platform(QString programFolder, QString settingsFile, Dialogs &dialogs);
    ~Platform();
    Platform(const Platform &) = delete;
    Platform &operator=(const Platform &) = delete;

    const QString &programFolder() const { return m_root; }

    // The program folder followed by each name and "/": the one place that
    // builds storage paths.
    QString folderPath(std::initializer_list<QStringView> names) const;

    // The path as it stands on disk, or the empty text when it leaves the
    // program folder. Names not found are kept as given.
    QString resolve(const QString &path) const;

    bool folderExists(const QString &path) const;
    bool fileExists(const QString &path) const;
    // Creates one folder level. On failure, error (when given) says why, in Chinese.
    bool createFolder(const QString &path, QString *error = nullptr) const;
    // Names of the plain files in the folder matching "*.dat", extension in any case.
    QStringList listContactFiles(const QString &folder) const;
    // Names of the subfolders, hidden ones (a name starting with ".") left out.
    QStringList listSubfolders(const QString &folder) const;
    // Names of all plain files in the folder, hidden ones included.
    QStringList listFiles(const QString &folder) const;
    // Whether the folder holds folders, hidden ones included.
    bool holdsFolders(const QString &folder) const;
    bool deleteFile(const QString &path, QString *error = nullptr) const;
    // Removes the folder when it is empty.
    bool removeFolder(const QString &path, QString *error = nullptr) const;
    // Moves the file or folder to the desktop's trash. False, with nothing
    // changed, where the desktop has no trash for that place.
    bool moveToTrash(const QString &path) const;

    // Reading never creates a file; a missing file, section or key gives the default.
    QString readProfileString(const QString &file, QStringView section, QStringView key,
                              const QString &defaultValue) const;
    // The values of several keys from one read of the file; the empty text for each missing.
    QStringList readProfileStrings(const QString &file, QStringView section, const QStringList &keys) const;
    // Replaces the file in one step (a temporary file beside it, flushed to disk
    // and renamed over it), so the file always holds either all of the old or all
    // of the new values. Never creates a folder; a file that cannot be written is
    // left alone.
    bool writeProfileStrings(const QString &file, QStringView section, const Profile::Values &values,
                             QString *error = nullptr) const;

    // Whole files: the program's own (below the program folder, matched as above)
    // or one the user chose elsewhere, taken as given. On failure, error (when
    // given) says why, in Chinese.
    bool readFile(const QString &path, QByteArray *content, QString *error = nullptr) const;
    // Replaces the file in one step, as writeProfileStrings does: after a crash it
    // holds either all of the old or all of the new bytes. Never creates a folder.
    bool writeFileAtomically(const QString &path, const QByteArray &content, QString *error = nullptr) const;
    // Adds bytes at the end of a file with one write and flushes them to disk; every
    // byte already there stays. A missing file is created (never a folder) and
    // starts with firstBytes. When a crash cut the file's last line short, the bytes
    // start on a line of their own. On failure the file is left as it was.
    bool appendToFile(const QString &path, const QByteArray &bytes, const QByteArray &firstBytes,
                      QString *error = nullptr) const;
    // The bytes of a file from offset to its end, however large the file, or at most
    // maxBytes of them. An offset past the end gives no bytes. identity (when given)
    // tells this file from one put in its place later.
    bool readFileFrom(const QString &path, qint64 offset, QByteArray *content, QString *error = nullptr,
                      quint64 *identity = nullptr, qint64 maxBytes = -1) const;

    QString readSetting(const QString &application, const QString &section, const QString &key,
                        const QString &defaultValue = QString()) const;
    bool writeSetting(const QString &application, const QString &section, const QString &key,
                      const QString &value, QString *error = nullptr);
    QString settingsFile() const;

    int messageBox(const QString &text, const QString &title, int flags);
    QString inputBox(const QString &prompt, const QString &title, const QString &defaultText = QString());

    // Where the settings of a normal run are kept: the user's config folder.
    static QString defaultSettingsFile();
    // The user's own folder for the address book of an installed program.
    static QString userDataFolder();

private:
    // The path's bytes on disk, each name found as resolve() finds it; empty when
    // the path leaves the program folder. A folder keeps its final "/".
    QByteArray nativePath(const QString &path) const;
    // The bytes of a plain file below the program folder; nothing when it cannot be read.
    std::optional<QByteArray> readContactFile(const QString &file) const;
    // Like nativePath, and any other absolute path as given: a file the user chose.
    QByteArray wholeFilePath(const QString &path) const;

    QString m_root;
    std::unique_ptr<QSettings> m_settings;
    Dialogs &m_dialogs;
};
