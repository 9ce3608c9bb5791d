#include "platform/platform.h"

#include "platform/textcodec.h"
#include "platform/trash.h"
#include "platform/writeall.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
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
    mode_t mode = 0;
    qint64 size = 0;
};

Stat statPath(const QByteArray &native)
{
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        return {};
    return {true, S_ISDIR(st.st_mode), S_ISREG(st.st_mode), st.st_mode, static_cast<qint64>(st.st_size)};
}

bool isUtf8(QByteArrayView bytes)
{
    return bytes.isValidUtf8();
}

// The name as the user sees it. A folder from Windows is GBK as a whole: there
// every name is read as GBK / GB18030, even one whose bytes happen to be UTF-8
// too (志强's are), so that a name reads the same in every listing.
QString displayName(QByteArrayView native, bool windowsFolder)
{
    if (!isUtf8(native))
        return TextCodec::decode(native);
    if (!windowsFolder)
        return QString::fromUtf8(native);
    // A UTF-8 name that is no GBK at all was put there since (the default group
    // the program made before the folders were copied in, say): read as UTF-8.
    // No GBK means bytes that do not come back from the text, or characters
    // only the private-use area holds.
    QString gbk = TextCodec::decode(native);
    const bool privateUse = std::any_of(gbk.cbegin(), gbk.cend(), [](QChar c) {
        return c == QChar::ReplacementCharacter || (c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF);
    });
    if (privateUse || TextCodec::encode(gbk) != native)
        return QString::fromUtf8(native);
    return gbk;
}

// The bytes a new name gets: the folder's own encoding, so that it reads back as
// typed and is found again under the same bytes.
QByteArray nameOnDisk(QStringView name, bool windowsFolder)
{
    return windowsFolder ? TextCodec::encode(name) : name.toUtf8();
}

// Calls visit(nativeName, stat) for each entry of the folder but "." and "..".
template <typename Visit> bool forEachEntry(const QByteArray &native, Visit visit)
{
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return false;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        Stat st;
        if (entry->d_type == DT_DIR) {
            st = {true, true, false, 0};
        } else if (entry->d_type == DT_REG) {
            st = {true, false, true, 0};
        } else {
            // Links and file systems that do not give the type: ask the entry itself.
            st = statPath(native + '/' + name);
        }
        visit(QByteArrayView(name), st);
    }
    ::closedir(dir);
    return true;
}

// The names of the folder's entries that keep() accepts, as on disk; windows
// tells whether any entry's name (kept or not) is not UTF-8.
template <typename Keep> QList<QByteArray> entriesIn(const QByteArray &folder, Keep keep, bool *windows)
{
    QList<QByteArray> names;
    *windows = false;
    if (!folder.isEmpty()) {
        forEachEntry(folder, [&](QByteArrayView native, const Stat &st) {
            if (!*windows && !isUtf8(native))
                *windows = true;
            if (keep(native, st))
                names.append(native.toByteArray());
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
    case EISDIR:
        return QStringLiteral("已有同名的文件夹。");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限。");
    case EROFS:
        return QStringLiteral("磁盘是只读的。");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足。");
    case EFBIG:
        return QStringLiteral("文件超出了允许的大小。");
    case ENOENT:
        return QStringLiteral("上一级文件夹不存在。");
    case ENAMETOOLONG:
        return QStringLiteral("名称太长。");
    case ENOTEMPTY:
        return QStringLiteral("文件夹不是空的。");
    case EIO:
        return QStringLiteral("读写磁盘时出错。");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

bool failWithErrno(QString *error)
{
    return fail(error, reasonFor(errno));
}

QString invalidName()
{
    return QStringLiteral("名称无效。");
}

// The whole file, at most MaxProfileBytes of it; nullopt when it cannot be read.
std::optional<QByteArray> readWholeFile(const QByteArray &native)
{
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray content;
    char buffer[16384];
    while (content.size() < MaxProfileBytes) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        content.append(buffer, got);
    }
    ::close(fd);
    return content.left(MaxProfileBytes);
}

// Puts bytes in place of the file native (in folder, as st found it) in one step,
// so that after a crash it holds all of the old or all of the new bytes.
bool replaceFile(const QByteArray &native, const QByteArray &folder, const Stat &st,
                 const QByteArray &updated, QString *error)
{
    if (st.exists) {
        // The rename would replace a file that is not to be written: ask first.
        if (::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) != 0)
            return failWithErrno(error);
    }

    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = st.exists ? (st.mode & 07777) : (0666 & ~mask);
    // Written unnamed where the file system allows, so that a crash leaves nothing
    // behind; named only once complete, with a short name, so that a contact whose
    // own name is at the limit saves as well.
    QByteArray temporary;
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    const bool unnamed = fd >= 0;
    if (!unnamed) {
        temporary = folder + "/.quillbox-XXXXXX";
        fd = ::mkstemp(temporary.data());
        if (fd < 0)
            return failWithErrno(error);
    }
    // The rename must not reach the disk before the data it points at.
    bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, updated) && ::fsync(fd) == 0;
    for (int attempt = 0; written && unnamed && temporary.isEmpty(); ++attempt) {
        QByteArray name =
            folder + "/.quillbox-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            temporary = std::move(name);
        else if (errno != EEXIST || attempt == 100)
            written = false;
    }
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const int closeError = written ? errno : writeError;
        if (!temporary.isEmpty())
            ::unlink(temporary.constData());
        return fail(error, reasonFor(closeError));
    }
    if (::rename(temporary.constData(), native.constData()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.constData());
        return fail(error, reasonFor(renameError));
    }
    // The new name must reach the disk too, or a power cut can bring back the old
    // file. The contact is in place by now, so a failure here is not reported.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

Platform::Platform(QString programFolder, QString settingsFile, Dialogs &dialogs)
    : m_root(std::move(programFolder)),
      m_settings(std::make_unique<QSettings>(settingsFile, QSettings::IniFormat)), m_dialogs(dialogs),
      m_folderKinds(std::make_unique<FolderKinds>())
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

QString Platform::userDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quillbox");
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
    QString shown;
    return nativePath(path, &shown).isEmpty() ? QString() : shown;
}

// What a look at a folder found (its encoding, and its names by their text
// without regard to letter case) is used again while the folder stays as it was.
// The program's own changes to a folder keep what was known of it up to date, so
// that writing thousands of new contacts does not read the folder each time.
struct Platform::FolderKinds
{
    // Entries by their names as shown, case folded.
    using Names = QHash<QString, QList<QByteArray>>;
    struct Kind
    {
        struct stat stamp;
        bool windows;
        std::shared_ptr<Names> names; // null until a name was looked for
    };
    QHash<QByteArray, Kind> kinds;
    QHash<QByteArray, struct stat> ownStamps;

    static bool same(const struct stat &a, const struct stat &b)
    {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
               a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
               a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
    }

    static QByteArray key(const QByteArray &folder)
    {
        return folder.size() > 1 && folder.endsWith('/') ? folder.chopped(1) : folder;
    }

    // Remembers what a look at the folder found, stamped as the folder stood
    // before the look. A folder changed within the file system's timestamp
    // granularity of the look might change again unseen: not remembered then.
    void remember(const QByteArray &folder, const struct stat &before, bool windows,
                  std::shared_ptr<Names> names = nullptr)
    {
        const auto known = kinds.find(key(folder));
        if (known != kinds.end() && same(known->stamp, before)) {
            if (known->windows != windows)
                known->names.reset();
            known->windows = windows;
            if (names)
                known->names = std::move(names);
            return;
        }
        timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        const qint64 changed = qint64(before.st_mtim.tv_sec) * 1000000000 + before.st_mtim.tv_nsec;
        const qint64 looked = qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
        // Changed just now by the program itself, which knows what it did.
        const auto own = ownStamps.constFind(key(folder));
        if (looked - changed > 50 * 1000000 || (own != ownStamps.cend() && same(*own, before)))
            kinds.insert(key(folder), {before, windows, std::move(names)});
        else
            kinds.remove(key(folder));
    }

    // The folder as the program's own last change left it.
    void changedHere(const QByteArray &folder)
    {
        struct stat st;
        if (::stat(folder.constData(), &st) == 0)
            ownStamps.insert(key(folder), st);
        else
            ownStamps.remove(key(folder));
    }

    // The folder as it stands, to tell afterwards whether what is known of it
    // was still true when the program changed it.
    static struct stat stampOf(const QByteArray &folder)
    {
        struct stat st;
        if (::stat(folder.constData(), &st) != 0)
            std::memset(&st, 0, sizeof st);
        return st;
    }

    // After the program added (or replaced) the entry native in the folder, which
    // stood as before then: what was known of it stands, with that name.
    void added(const QByteArray &folder, const struct stat &before, const QByteArray &native)
    {
        changedHere(folder);
        const auto known = kinds.find(key(folder));
        if (known == kinds.end())
            return;
        struct stat st;
        if (!same(known->stamp, before) || ::stat(folder.constData(), &st) != 0 ||
            (!known->windows && !isUtf8(native))) {
            kinds.erase(known);
            return;
        }
        known->stamp = st;
        if (known->names) {
            QList<QByteArray> &same = (*known->names)[displayName(native, known->windows).toCaseFolded()];
            if (!same.contains(native))
                same.append(native);
        }
    }

    // After the program removed the entry native from the folder.
    void removed(const QByteArray &folder, const struct stat &before, const QByteArray &native)
    {
        changedHere(folder);
        const auto known = kinds.find(key(folder));
        if (known == kinds.end())
            return;
        struct stat st;
        // The last name that was not UTF-8 may have gone: the kind is looked at again.
        if (!same(known->stamp, before) || ::stat(folder.constData(), &st) != 0 || !isUtf8(native)) {
            kinds.erase(known);
            return;
        }
        known->stamp = st;
        if (known->names) {
            const QString text = displayName(native, known->windows).toCaseFolded();
            const auto bucket = known->names->find(text);
            if (bucket != known->names->end()) {
                bucket->removeAll(native);
                if (bucket->isEmpty())
                    known->names->erase(bucket);
            }
        }
    }

    // The folder's names, read now unless known.
    std::shared_ptr<Names> names(const QByteArray &folder, bool *windows)
    {
        struct stat st;
        if (::stat(folder.constData(), &st) != 0)
            return std::make_shared<Names>();
        const auto known = kinds.constFind(key(folder));
        if (known != kinds.cend() && same(known->stamp, st) && known->names) {
            *windows = known->windows;
            return known->names;
        }
        QList<QByteArray> natives;
        *windows = false;
        forEachEntry(folder, [&](QByteArrayView native, const Stat &) {
            *windows = *windows || !isUtf8(native);
            natives.append(native.toByteArray());
        });
        auto found = std::make_shared<Names>();
        found->reserve(natives.size());
        for (const QByteArray &native : natives)
            (*found)[displayName(native, *windows).toCaseFolded()].append(native);
        remember(folder, st, *windows, found);
        return found;
    }
};

bool Platform::isWindowsFolder(const QByteArray &folder) const
{
    struct stat st;
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const auto known = m_folderKinds->kinds.constFind(FolderKinds::key(folder));
    if (known != m_folderKinds->kinds.cend() && FolderKinds::same(known->stamp, st))
        return known->windows;
    bool windows = false;
    entriesIn(
        folder, [](QByteArrayView, const Stat &) { return false; }, &windows);
    m_folderKinds->remember(folder, st, windows);
    return windows;
}

template <typename Keep> QStringList Platform::namesIn(const QByteArray &folder, Keep keep) const
{
    struct stat before;
    if (folder.isEmpty() || ::stat(folder.constData(), &before) != 0)
        return {};
    bool windows = false;
    const QList<QByteArray> native = entriesIn(folder, keep, &windows);
    m_folderKinds->remember(folder, before, windows);
    QStringList names;
    names.reserve(native.size());
    for (const QByteArray &name : native)
        names.append(displayName(name, windows));
    return names;
}

QByteArray Platform::nativePath(const QString &path, QString *shown) const
{
    const QString prefix = m_root + QLatin1Char('/');
    if (path == m_root || path == prefix) {
        if (shown)
            *shown = path;
        return QFile::encodeName(path);
    }
    if (!path.startsWith(prefix))
        return {};
    QStringView rest = QStringView(path).sliced(prefix.size());
    const bool isFolder = rest.endsWith(QLatin1Char('/'));
    if (isFolder)
        rest.chop(1);

    QByteArray resolved = QFile::encodeName(m_root);
    QString shownPath = m_root;
    bool parentExists = true;
    for (QStringView name : rest.split(QLatin1Char('/'))) {
        if (name.isEmpty() || name == u"." || name == u".." || name.contains(QChar(0)))
            return {};
        const bool windows = parentExists && isWindowsFolder(resolved);
        QByteArray exact = resolved + '/' + nameOnDisk(name, windows);
        QString shownName = name.toString();
        if (parentExists && !statPath(exact).exists) {
            // Not there as spelled: look for the name as shown, then in other
            // letter case; the first in name order should there be several.
            QString otherCase;
            QByteArray sameTextNative;
            QByteArray otherCaseNative;
            bool listedWindows = windows;
            const auto names = m_folderKinds->names(resolved, &listedWindows);
            for (const QByteArray &native : names->value(name.toString().toCaseFolded())) {
                const QString candidate = displayName(native, listedWindows);
                if (candidate == name) {
                    if (sameTextNative.isEmpty() || native < sameTextNative)
                        sameTextNative = native;
                } else if (candidate.compare(name, Qt::CaseInsensitive) == 0 &&
                           (otherCase.isEmpty() || candidate < otherCase)) {
                    otherCase = candidate;
                    otherCaseNative = native;
                }
            }
            if (!sameTextNative.isEmpty()) {
                exact = resolved + '/' + sameTextNative;
            } else if (!otherCaseNative.isEmpty()) {
                exact = resolved + '/' + otherCaseNative;
                shownName = otherCase;
            } else {
                parentExists = false;
            }
        }
        resolved = std::move(exact);
        shownPath += QLatin1Char('/') + shownName;
    }
    if (isFolder) {
        resolved += '/';
        shownPath += QLatin1Char('/');
    }
    if (shown)
        *shown = shownPath;
    return resolved;
}

bool Platform::folderExists(const QString &path) const
{
    const QByteArray native = nativePath(path);
    return !native.isEmpty() && statPath(native).isDir;
}

bool Platform::fileExists(const QString &path) const
{
    const QByteArray native = nativePath(path);
    return !native.isEmpty() && !native.endsWith('/') && statPath(native).isFile;
}

bool Platform::createFolder(const QString &path, QString *error) const
{
    const QByteArray native = nativePath(path);
    if (native.isEmpty())
        return fail(error, invalidName());
    const QByteArray made = FolderKinds::key(native);
    const QByteArray parent = made.left(made.lastIndexOf('/'));
    const struct stat before = FolderKinds::stampOf(parent);
    if (::mkdir(native.constData(), 0777) != 0)
        return failWithErrno(error);
    m_folderKinds->added(parent, before, made.sliced(parent.size() + 1));
    m_folderKinds->changedHere(made);
    return true;
}

QStringList Platform::listContactFiles(const QString &folder) const
{
    return namesIn(nativePath(folder),
                   [](QByteArrayView name, const Stat &st) { return st.isFile && hasDatExtension(name); });
}

QStringList Platform::listSubfolders(const QString &folder) const
{
    return namesIn(nativePath(folder),
                   [](QByteArrayView name, const Stat &st) { return st.isDir && !name.startsWith('.'); });
}

QStringList Platform::listFiles(const QString &folder) const
{
    return namesIn(nativePath(folder), [](QByteArrayView, const Stat &st) { return !st.isDir; });
}

bool Platform::holdsFolders(const QString &folder) const
{
    return !namesIn(nativePath(folder), [](QByteArrayView, const Stat &st) { return st.isDir; }).isEmpty();
}

bool Platform::deleteFile(const QString &path, QString *error) const
{
    const QByteArray native = nativePath(path);
    if (native.isEmpty() || native.endsWith('/'))
        return fail(error, invalidName());
    if (statPath(native).isDir)
        return fail(error, reasonFor(EISDIR));
    const qsizetype slash = native.lastIndexOf('/');
    const struct stat before = FolderKinds::stampOf(native.left(slash));
    if (::unlink(native.constData()) != 0)
        return failWithErrno(error);
    m_folderKinds->removed(native.left(slash), before, native.sliced(slash + 1));
    return true;
}

bool Platform::removeFolder(const QString &path, QString *error) const
{
    const QByteArray native = nativePath(path);
    if (native.isEmpty())
        return fail(error, invalidName());
    const QByteArray gone = FolderKinds::key(native);
    const qsizetype slash = gone.lastIndexOf('/');
    const struct stat before = FolderKinds::stampOf(gone.left(slash));
    if (::rmdir(native.constData()) != 0)
        return failWithErrno(error);
    m_folderKinds->removed(gone.left(slash), before, gone.sliced(slash + 1));
    return true;
}

bool Platform::moveToTrash(const QString &path) const
{
    QByteArray native = nativePath(path);
    while (native.endsWith('/'))
        native.chop(1);
    if (native.isEmpty())
        return false;
    // Inside the trash under its name as shown, so that it lists readably there;
    // the record keeps the bytes it had.
    const QByteArray absolute =
        native.startsWith('/') ? native : QFile::encodeName(QDir::currentPath()) + '/' + native;
    const qsizetype slash = native.lastIndexOf('/');
    const struct stat before = FolderKinds::stampOf(native.left(slash));
    if (!Trash::move(absolute, displayName(native.sliced(slash + 1), isWindowsFolder(native.left(slash)))))
        return false;
    m_folderKinds->removed(native.left(slash), before, native.sliced(slash + 1));
    return true;
}

std::optional<QByteArray> Platform::readContactFile(const QString &file) const
{
    const QByteArray native = nativePath(file);
    if (native.isEmpty() || native.endsWith('/') || !statPath(native).isFile)
        return std::nullopt;
    return readWholeFile(native);
}

QString Platform::readProfileString(const QString &file, QStringView section, QStringView key,
                                    const QString &defaultValue) const
{
    const auto content = readContactFile(file);
    return content ? Profile::read(*content, section, key).value_or(defaultValue) : defaultValue;
}

QStringList Platform::readProfileStrings(const QString &file, QStringView section,
                                         const QStringList &keys) const
{
    QStringList values;
    const auto content = readContactFile(file);
    for (const QString &key : keys)
        values.append(content ? Profile::read(*content, section, key).value_or(QString()) : QString());
    return values;
}

bool Platform::writeProfileStrings(const QString &file, QStringView section, const Profile::Values &values,
                                   QString *error) const
{
    const QByteArray native = nativePath(file);
    if (native.isEmpty() || native.endsWith('/'))
        return fail(error, invalidName());
    const qsizetype slash = native.lastIndexOf('/');
    const QByteArray folder = native.left(slash);
    if (!statPath(folder).isDir)
        return fail(error, reasonFor(ENOENT));

    QByteArray content;
    const Stat st = statPath(native);
    if (st.exists) {
        if (st.isDir)
            return fail(error, reasonFor(EISDIR));
        const auto existing = readWholeFile(native);
        if (!existing)
            return failWithErrno(error);
        if (!st.isFile || existing->size() >= MaxProfileBytes)
            return fail(error, QStringLiteral("这不是联系人文件。"));
        content = *existing;
    }
    const QByteArray updated = Profile::write(content, section, values);
    if (st.exists && updated == content)
        return true;
    const struct stat before = FolderKinds::stampOf(folder);
    if (!replaceFile(native, folder, st, updated, error))
        return false;
    m_folderKinds->added(folder, before, native.sliced(slash + 1));
    return true;
}

// Files below the program folder are matched as contact files are; any other
// absolute path is the user's own choice and is used as given.
QByteArray Platform::wholeFilePath(const QString &path) const
{
    if (path.startsWith(m_root + QLatin1Char('/')))
        return nativePath(path);
    return QDir::isAbsolutePath(path) ? QFile::encodeName(QDir::cleanPath(path)) : QByteArray();
}

bool Platform::readFile(const QString &path, QByteArray *content, QString *error) const
{
    const QByteArray native = wholeFilePath(path);
    if (native.isEmpty() || native.endsWith('/'))
        return fail(error, invalidName());
    const Stat st = statPath(native);
    if (!st.isFile)
        return fail(error, st.exists ? QStringLiteral("这不是文件。") : QStringLiteral("文件不存在。"));
    if (st.size >= MaxProfileBytes)
        return fail(error, QStringLiteral("文件太大。"));
    const auto read = readWholeFile(native);
    if (!read)
        return failWithErrno(error);
    *content = *read;
    return true;
}

bool Platform::wholeFileExists(const QString &path) const
{
    const QByteArray native = wholeFilePath(path);
    if (native.isEmpty() || native.endsWith('/'))
        return false;
    const Stat st = statPath(native);
    return st.exists && !st.isDir;
}

bool Platform::writeFileAtomically(const QString &path, const QByteArray &content, QString *error) const
{
    const QByteArray native = wholeFilePath(path);
    if (native.isEmpty() || native.endsWith('/'))
        return fail(error, invalidName());
    const QByteArray folder = native.left(native.lastIndexOf('/'));
    if (!statPath(folder).isDir)
        return fail(error, reasonFor(ENOENT));
    const Stat st = statPath(native);
    if (st.exists && !st.isFile)
        return fail(error, reasonFor(EEXIST));
    const struct stat before = FolderKinds::stampOf(folder);
    if (!replaceFile(native, folder, st, content, error))
        return false;
    m_folderKinds->added(folder, before, native.sliced(folder.size() + 1));
    return true;
}

bool Platform::appendToFile(const QString &path, const QByteArray &bytes, const QByteArray &firstBytes,
                            QString *error) const
{
    const QByteArray native = wholeFilePath(path);
    if (native.isEmpty() || native.endsWith('/'))
        return fail(error, invalidName());
    const QByteArray folder = native.left(native.lastIndexOf('/'));
    if (!statPath(folder).isDir)
        return fail(error, reasonFor(ENOENT));
    const bool existed = statPath(native).exists;
    const struct stat before = FolderKinds::stampOf(folder);
    const int fd = ::open(native.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return failWithErrno(error);
    struct stat st;
    const bool statted = ::fstat(fd, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        const int statError = statted ? EEXIST : errno;
        ::close(fd);
        return fail(error, reasonFor(statError));
    }
    QByteArray out;
    if (st.st_size == 0) {
        out = firstBytes + bytes;
    } else {
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) != 1)
            last = '\n';
        out = last == '\n' ? bytes : QByteArray("\r\n") + bytes;
    }
    // One write, so that a crash leaves at most this line cut short; a write that
    // fails half way is taken back, so that the next line does not join it.
    const bool written = writeAll(fd, out) && ::fdatasync(fd) == 0;
    const int writeError = errno;
    if (!written) {
        if (::ftruncate(fd, st.st_size) == 0)
            ::fdatasync(fd);
    }
    ::close(fd);
    if (!written) {
        if (!existed)
            ::unlink(native.constData());
        return fail(error, reasonFor(writeError));
    }
    if (!existed)
        m_folderKinds->added(folder, before, native.sliced(folder.size() + 1));
    if (st.st_size == 0) {
        // A new file's name must reach the disk as well.
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return true;
}

bool Platform::readFileFrom(const QString &path, qint64 offset, QByteArray *content, QString *error,
                            quint64 *identity, qint64 maxBytes) const
{
    const QByteArray native = wholeFilePath(path);
    if (native.isEmpty() || native.endsWith('/'))
        return fail(error, invalidName());
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failWithErrno(error);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(error, QStringLiteral("这不是文件。"));
    }
    if (identity)
        *identity = (quint64(st.st_dev) << 40) ^ quint64(st.st_ino);
    // Read as large as it is now; what is added meanwhile is for the next read.
    qint64 size = std::max<qint64>(0, st.st_size - offset);
    if (maxBytes >= 0)
        size = std::min(size, maxBytes);
    content->resize(size);
    qint64 done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(fd, content->data() + done, static_cast<size_t>(size - done), offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int readError = errno;
            ::close(fd);
            content->clear();
            return fail(error, reasonFor(readError));
        }
        if (got == 0)
            break;
        done += got;
    }
    content->truncate(done);
    ::close(fd);
    return true;
}

QString Platform::readSetting(const QString &application, const QString &section, const QString &key,
                              const QString &defaultValue) const
{
    return m_settings->value(application + QLatin1Char('/') + section + QLatin1Char('/') + key, defaultValue)
        .toString();
}

bool Platform::writeSetting(const QString &application, const QString &section, const QString &key,
                            const QString &value, QString *error)
{
    const QString name = application + QLatin1Char('/') + section + QLatin1Char('/') + key;
    const QVariant before = m_settings->value(name);
    m_settings->setValue(name, value);
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError)
        return true;
    // What was not stored must not be read back either.
    if (before.isValid())
        m_settings->setValue(name, before);
    else
        m_settings->remove(name);
    return fail(error, QStringLiteral("无法写入设置文件。"));
}

QString Platform::settingsFile() const
{
    return m_settings->fileName();
}

int Platform::messageBox(const QString &text, const QString &title, int flags)
{
    return m_dialogs.messageBox(text, title, flags);
}

QString Platform::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    return m_dialogs.inputBox(prompt, title, defaultText);
}
