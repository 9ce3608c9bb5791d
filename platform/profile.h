#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// The profile ("ini") file format of contact files, on the file's bytes.
//
// A line "[name]" opens a section; a line "key=value" gives a value. Section and
// key names match without regard to case, blanks around them ignored. Text is
// GBK/GB18030 (TextCodec), or UTF-8 when the file starts with a UTF-8 byte order
// mark. A line ends at LF, CR LF or a lone CR. Lines the program does not touch
// keep their bytes, line end included.
namespace Profile {

// The receiving buffer of the classic profile reader held 32,767 bytes with the
// terminating NUL; values read are cut to this many bytes, as they always were.
constexpr qsizetype MaxValueBytes = 32766;

using Values = QList<QPair<QString, QString>>;

// The value of the first matching key in the first matching section, with blanks
// around it and one pair of enclosing double quotes dropped; nullopt when absent.
std::optional<QString> read(QByteArrayView content, QStringView section, QStringView key);

// Sets each key in turn, as consecutive single writes would: an existing key's
// value is replaced in its line, a missing key is added at the end of the first
// matching section, a missing section is appended. New lines end with CR LF; a
// replaced line keeps its own line end.
// Line breaks inside a value would split the line, so they are stored as blanks.
QByteArray write(const QByteArray &content, QStringView section, const Values &values);

} // namespace Profile
