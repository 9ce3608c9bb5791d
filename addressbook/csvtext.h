#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Comma-separated text as spreadsheets write and read it (RFC 4180): a field
// holding a comma, a double quote or a line break is enclosed in double quotes,
// with each double quote doubled.
namespace CsvText {

using Rows = QList<QStringList>;

// UTF-8 with a byte order mark, lines ending in CR LF: what spreadsheets open
// without asking for the encoding. Each cell goes through guarded().
QByteArray write(const Rows &rows);
// The rows of a text: CR LF, LF and CR all end a row; a blank line is no row.
// A double quote opens a quoted field only as the field's first character;
// anywhere else it is a character of the field, as spreadsheets read it. A row
// whose quoted field never closes properly is left out and named in unclosed,
// and reading goes on at the line after the one it started on. Each cell goes
// through unguarded().
struct Table
{
    Rows rows;
    QList<int> lines;    // the line each row starts on, counted from 1
    QList<int> unclosed; // the lines of the rows left out
};
Table read(QStringView text);
Rows parse(QStringView text);

// A spreadsheet runs a cell starting with = + - @ (or a tab or CR) as a formula;
// such a cell is written with a leading "'", which spreadsheets show as text.
// A cell that already starts with "'" before one of those gets one more, so that
// taking one off on the way in gives back every value as it was.
QString guarded(const QString &cell);
QString unguarded(const QString &cell);

// Text of a file whose encoding is not declared: UTF-8 with a byte order mark
// (a damaged byte becomes U+FFFD), UTF-8 without one, else (any byte sequence
// that is not UTF-8) GB18030, of which GBK is a part.
QString decode(QByteArrayView bytes);

} // namespace CsvText
