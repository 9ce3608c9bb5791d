#pragma once

#include <QString>
#include <QStringList>

// One contact is one profile file named after the contact: company + " - " +
// person + ".dat", holding the section "Pellory" with eight keys, each named after
// the main-window field whose text it holds.
namespace ContactFile {

inline QString section()
{
    return QStringLiteral("Pellory");
}

// The per-user setting that holds the default sender: application, section and key.
inline QString defaultSenderName()
{
    return QStringLiteral("Pellory");
}

const QStringList &senderKeys();
const QStringList &recipientKeys();

QString contactKey(const QString &company, const QString &person);
QString fileName(const QString &contactKey);

// Whether the text can be part of one file or folder name inside the address-book
// folders: no path separator, no character that Windows file names forbid, no
// control character, at most 255 bytes on disk. A company or a person.
bool isSafeNamePart(const QString &text);
// Whether the text can be one whole name there: a safe part, and not "." or "..".
bool isSafeName(const QString &name);
// A group's folder name: a safe name that is not hidden (starts with ".").
bool isSafeGroupName(const QString &name);

// What stops a company and a person from naming a contact, as the 新增/修改 button
// and an import both check it.
enum class NameProblem { None, Empty, Unsafe };
NameProblem contactNameProblem(const QString &company, const QString &person);
// The warnings shown when a contact's or a group's name is refused.
QString unsafeNameMessage();
QString unsafeGroupNameMessage();

} // namespace ContactFile
