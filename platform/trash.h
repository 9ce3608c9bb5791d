#pragma once

#include <QByteArray>
#include <QString>

// The desktop's trash, laid out as the freedesktop.org trash rules say,
// so that a file manager lists what was deleted and puts it back.
//
// Paths are bytes, as the file system holds them: a name from Windows in GBK
// goes into the trash, and comes back out, with every byte it had.
namespace Trash {

// Moves the file or folder at native (an absolute path) into the trash of its
// file system: the home trash, $XDG_DATA_HOME/Trash (made with its parents
// when missing), for the home's own file system, or the top folder's
// .Trash/<uid> or .Trash-<uid> for another (never on the system's root).
// shownName names it inside the trash. False, with nothing changed, where no
// trash takes it.
bool move(const QByteArray &native, const QString &shownName);

// The home trash: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash.
QByteArray homeTrash();

} // namespace Trash
