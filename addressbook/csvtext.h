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
// without asking for the encoding.
QByteArray write(const Rows &rows);
// Rows of fields; CR LF, LF and CR all end a row; a blank line is no row.
Rows parse(QStringView text);

// Text of a file whose encoding is not declared: UTF-8 with or without a byte
// order mark, else (any byte sequence that is not UTF-8) GB18030, of which GBK
// is a part.
QString decode(QByteArrayView bytes);

} // namespace CsvText
