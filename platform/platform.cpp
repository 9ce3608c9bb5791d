#include "platform/platform.h"

#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Larger contact files are read only this far, and refused for writing, so that a
// rewrite can never drop their tail.
constexpr qint64 MaxProfileBytes = 64 * 1024 * 1024;

struct Stat
{
    bool exists = false;
    bool isDir = false;
    bool isFile = false;
};

Stat statPath(const QByteArray &native)
{
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        return {};
    return {true, S_ISDIR(st.st_mode), S_ISREG(st.st_mode)};
}

Stat statPath(const QString &path)
{
    return statPath(QFile::encodeName(path));
}

// Calls visit(nativeName, stat) for each entry of the folder but "." and "..".
template <typename Visit> bool forEachEntry(const QString &folder, Visit visit)
{
    const QByteArray native = QFile::encodeName(folder);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return false;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        Stat st;
        if (entry->d_type == DT_DIR) {
            st = {true, true, false};
        } else if (entry->d_type == DT_REG) {
            st = {true, false, true};
        } else {
            // Links and file systems that do not give the type: ask the entry itself.
            st = statPath(native + '/' + name);
        }
        visit(QByteArrayView(name), st);
    }
    ::closedir(dir);
    return true;
}

// The names of the folder's entries that keep() accepts; none for an empty path.
template <typename Keep> QStringList namesIn(const QString &folder, Keep keep)
{
    QStringList names;
    if (!folder.isEmpty()) {
        forEachEntry(folder, [&](QByteArrayView native, const Stat &st) {
            if (keep(native, st))
                names.append(QFile::decodeName(native.toByteArray()));
        });
    }
    return names;
}

bool hasDatExtension(QByteArrayView name)
{
    return name.size() >= 4 && QByteArrayView(name.last(4)).compare(".dat", Qt::CaseInsensitive) == 0;
}

QString reasonFor(int error)
{
    switch (error) {
    case EEXIST:
    case ENOTDIR:
        return QStringLiteral("已有同名的文件。");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限。");
    case EROFS:
        return QStringLiteral("磁盘是只读的。");
    case ENOSPC:
        return QStringLiteral("磁盘空间不足。");
    case ENOENT:
        return QStringLiteral("上一级文件夹不存在。");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

Platform::Platform(QString programFolder, QString settingsFile, Dialogs &dialogs)
    : m_root(std::move(programFolder)),
      m_settings(std::make_unique<QSettings>(settingsFile, QSettings::IniFormat)), m_dialogs(dialogs)
{
    while (m_root.size() > 1 && m_root.endsWith(QLatin1Char('/')))
        m_root.chop(1);
}

Platform::~Platform() = default;

QString Platform::defaultSettingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quillbox/settings.ini");
}

QString Platform::folderPath(std::initializer_list<QStringView> names) const
{
    QString path = m_root + QLatin1Char('/');
    for (QStringView name : names) {
        path += name;
        path += QLatin1Char('/');
    }
    return path;
}

QString Platform::resolve(const QString &path) const
{
    const QString prefix = m_root + QLatin1Char('/');
    if (path == m_root || path == prefix)
        return path;
    if (!path.startsWith(prefix))
        return {};
    QStringView rest = QStringView(path).sliced(prefix.size());
    const bool isFolder = rest.endsWith(QLatin1Char('/'));
    if (isFolder)
        rest.chop(1);

    QString resolved = m_root;
    bool parentExists = true;
    for (QStringView name : rest.split(QLatin1Char('/'))) {
        if (name.isEmpty() || name == u"." || name == u".." || name.contains(QChar(0)))
            return {};
        QString exact = resolved + QLatin1Char('/') + name.toString();
        if (parentExists && !statPath(exact).exists) {
            // Not there as spelled: look for the one spelled in other letter case,
            // the first in name order should there be several.
            QString match;
            forEachEntry(resolved, [&](QByteArrayView native, const Stat &) {
                const QString candidate = QFile::decodeName(native.toByteArray());
                if (candidate.compare(name, Qt::CaseInsensitive) == 0 &&
                    (match.isEmpty() || candidate < match))
                    match = candidate;
            });
            if (match.isEmpty())
                parentExists = false;
            else
                exact = resolved + QLatin1Char('/') + match;
        }
        resolved = std::move(exact);
    }
    if (isFolder)
        resolved += QLatin1Char('/');
    return resolved;
}

bool Platform::folderExists(const QString &path) const
{
    const QString resolved = resolve(path);
    return !resolved.isEmpty() && statPath(resolved).isDir;
}

bool Platform::createFolder(const QString &path, QString *error) const
{
    const QString resolved = resolve(path);
    if (resolved.isEmpty()) {
        if (error)
            *error = QStringLiteral("名称无效。");
        return false;
    }
    if (::mkdir(QFile::encodeName(resolved).constData(), 0777) == 0)
        return true;
    if (error)
        *error = reasonFor(errno);
    return false;
}

QStringList Platform::listContactFiles(const QString &folder) const
{
    return namesIn(resolve(folder),
                   [](QByteArrayView name, const Stat &st) { return st.isFile && hasDatExtension(name); });
}

QStringList Platform::listSubfolders(const QString &folder) const
{
    return namesIn(resolve(folder), [](QByteArrayView, const Stat &st) { return st.isDir; });
}

bool Platform::deleteFile(const QString &path) const
{
    const QString resolved = resolve(path);
    if (resolved.isEmpty() || resolved.endsWith(QLatin1Char('/')) || statPath(resolved).isDir)
        return false;
    return ::unlink(QFile::encodeName(resolved).constData()) == 0;
}

bool Platform::deleteAllFiles(const QString &folder) const
{
    const QString resolved = resolve(folder);
    if (resolved.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(resolved);
    QList<QByteArray> files;
    const bool listed = forEachEntry(resolved, [&files](QByteArrayView name, const Stat &st) {
        if (!st.isDir)
            files.append(name.toByteArray());
    });
    bool allGone = listed;
    for (const QByteArray &name : files) {
        if (::unlink((native + '/' + name).constData()) != 0)
            allGone = false;
    }
    return allGone;
}

bool Platform::removeFolder(const QString &path) const
{
    const QString resolved = resolve(path);
    return !resolved.isEmpty() && ::rmdir(QFile::encodeName(resolved).constData()) == 0;
}

QString Platform::readProfileString(const QString &file, QStringView section, QStringView key,
                                    const QString &defaultValue) const
{
    const QString resolved = resolve(file);
    if (resolved.isEmpty() || resolved.endsWith(QLatin1Char('/')))
        return defaultValue;
    QFile f(resolved);
    if (!statPath(resolved).isFile || !f.open(QIODevice::ReadOnly))
        return defaultValue;
    // Asking for more than the file holds would allocate all of it, on every read.
    const QByteArray content = f.read(std::min(f.size(), MaxProfileBytes));
    return Profile::read(content, section, key).value_or(defaultValue);
}

bool Platform::writeProfileStrings(const QString &file, QStringView section,
                                   const Profile::Values &values) const
{
    const QString resolved = resolve(file);
    if (resolved.isEmpty() || resolved.endsWith(QLatin1Char('/')))
        return false;
    const qsizetype slash = resolved.lastIndexOf(QLatin1Char('/'));
    if (!statPath(resolved.left(slash)).isDir)
        return false;

    QByteArray content;
    const Stat st = statPath(resolved);
    if (st.exists) {
        QFile existing(resolved);
        if (!st.isFile || existing.size() > MaxProfileBytes || !existing.open(QIODevice::ReadOnly))
            return false;
        content = existing.readAll();
        if (existing.error() != QFileDevice::NoError)
            return false;
    }
    const QByteArray updated = Profile::write(content, section, values);
    if (st.exists && updated == content)
        return true;

    QSaveFile out(resolved);
    if (!out.open(QIODevice::WriteOnly) || out.write(updated) != updated.size() || !out.flush())
        return false;
    // The rename must not reach the disk before the data it points at.
    if (::fsync(out.handle()) != 0)
        return false;
    return out.commit();
}

QString Platform::readSetting(const QString &application, const QString &section, const QString &key,
                              const QString &defaultValue) const
{
    return m_settings->value(application + QLatin1Char('/') + section + QLatin1Char('/') + key, defaultValue)
        .toString();
}

bool Platform::writeSetting(const QString &application, const QString &section, const QString &key,
                            const QString &value)
{
    m_settings->setValue(application + QLatin1Char('/') + section + QLatin1Char('/') + key, value);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

int Platform::messageBox(const QString &text, const QString &title, int flags)
{
    return m_dialogs.messageBox(text, title, flags);
}

QString Platform::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    return m_dialogs.inputBox(prompt, title, defaultText);
}
