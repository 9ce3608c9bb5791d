#include "platform/trash.h"

#include "platform/writeall.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Trash folders hold what the user threw away: no one else may look in.
constexpr mode_t PrivateFolder = 0700;

bool lstatPath(const QByteArray &path, struct stat *st)
{
    return ::lstat(path.constData(), st) == 0;
}

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// Makes the folder and any parents it lacks, each private to the user, as the
// desktop's base folder rules ask of a program that needs a folder there.
bool makeFolders(const QByteArray &folder)
{
    struct stat st;
    if (::stat(folder.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (folder.isEmpty() || folder == "/")
        return false;
    if (!makeFolders(parentOf(folder)))
        return false;
    return ::mkdir(folder.constData(), PrivateFolder) == 0 || errno == EEXIST;
}

// A trash folder the user alone owns and that is no link: one another user
// could have laid out must not receive the user's files.
bool ownTrashFolder(const QByteArray &folder, bool create)
{
    struct stat st;
    if (!lstatPath(folder, &st)) {
        if (!create || ::mkdir(folder.constData(), PrivateFolder) != 0)
            return false;
        if (!lstatPath(folder, &st))
            return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

QByteArray home()
{
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        if (const passwd *pw = ::getpwuid(::getuid()))
            home = pw->pw_dir;
    }
    return home;
}

// The top folder of the file system that holds path: the highest folder above
// it on the same device.
QByteArray topFolder(const QByteArray &path, dev_t device)
{
    QByteArray top = parentOf(path);
    while (top != "/") {
        const QByteArray up = parentOf(top);
        struct stat st;
        if (::stat(up.constData(), &st) != 0 || st.st_dev != device)
            break;
        top = up;
    }
    return top;
}

struct Place
{
    QByteArray trash;  // holds files/ and info/
    QByteArray prefix; // taken off the front of the original path in the record
};

// The trash for something on device, or an empty one where none takes it.
Place trashFor(const QByteArray &path, dev_t device)
{
    const QByteArray homeTrash = Trash::homeTrash();
    struct stat st;
    if (!homeTrash.isEmpty() && makeFolders(homeTrash) && ::stat(homeTrash.constData(), &st) == 0 &&
        st.st_dev == device)
        return {homeTrash, QByteArray()};

    // Another file system: its own trash, named relative to its top folder.
    // Never on the system's own root, where a trash folder would litter the system.
    const QByteArray top = topFolder(path, device);
    if (top == "/")
        return {};
    const QByteArray uid = QByteArray::number(::getuid());
    const QByteArray prefix = top + '/';
    const QByteArray shared = prefix + ".Trash";
    // A shared .Trash counts only when the administrator made it so: a sticky
    // folder, not a link.
    if (lstatPath(shared, &st) && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        ownTrashFolder(shared + '/' + uid, true))
        return {shared + '/' + uid, prefix};
    if (ownTrashFolder(prefix + ".Trash-" + uid, true))
        return {prefix + ".Trash-" + uid, prefix};
    return {};
}

// The name inside the trash, short enough that its record's name fits the
// 255-byte limit with room for a number.
QByteArray trashName(const QString &shownName)
{
    QString name = shownName;
    while (name.toUtf8().size() > 255 - int(sizeof ".trashinfo") - 8)
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    return name.toUtf8();
}

} // namespace

namespace Trash {

QByteArray homeTrash()
{
    // A relative XDG_DATA_HOME is invalid and is ignored.
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (!data.startsWith('/')) {
        const QByteArray userHome = home();
        if (userHome.isEmpty())
            return {};
        data = userHome + "/.local/share";
    }
    while (data.size() > 1 && data.endsWith('/'))
        data.chop(1);
    return data + "/Trash";
}

bool move(const QByteArray &native, const QString &shownName)
{
    struct stat st;
    if (!native.startsWith('/') || !lstatPath(native, &st))
        return false;
    const Place place = trashFor(native, st.st_dev);
    if (place.trash.isEmpty())
        return false;
    const QByteArray files = place.trash + "/files/";
    const QByteArray info = place.trash + "/info/";
    if (!ownTrashFolder(place.trash + "/files", true) || !ownTrashFolder(place.trash + "/info", true))
        return false;

    // The record keeps the path's bytes, percent-encoded, so that a GBK name
    // from Windows goes back exactly where and as it was.
    const QByteArray original = native.sliced(place.prefix.size());
    const QByteArray record =
        "[Trash Info]\nPath=" + original.toPercentEncoding("/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toUtf8() + '\n';

    const QByteArray base = trashName(shownName);
    for (int n = 1; n <= 1000; ++n) {
        QByteArray name = base;
        if (n > 1) {
            // Before the extension, as file managers number a second copy.
            const qsizetype dot = name.lastIndexOf('.');
            name.insert(dot > 0 ? dot : name.size(), ' ' + QByteArray::number(n));
        }
        const QByteArray recordPath = info + name + ".trashinfo";
        // The record first, and exclusively: it claims the name.
        const int fd = ::open(recordPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const QByteArray target = files + name;
        struct stat taken;
        const bool free = !lstatPath(target, &taken);
        const bool written = free && writeAll(fd, record);
        if (::close(fd) == 0 && written && ::rename(native.constData(), target.constData()) == 0)
            return true;
        ::unlink(recordPath.constData());
        if (!free)
            continue;
        return false;
    }
    return false;
}

} // namespace Trash
