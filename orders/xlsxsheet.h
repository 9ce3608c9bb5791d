#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The worksheet a person sees on opening an XLSX workbook (the active one,
// never a hidden one) as text cells: shared and inline
// strings, and numbers exactly as stored ("13812345678", never 1.38E+10).
namespace XlsxSheet {

struct Table
{
    QList<QStringList> rows; // empty rows of the sheet left out
    QList<int> rowNumbers;   // each row's number in the sheet (1-based)
    QString sheetName;       // as its tab names it, when the workbook says
};

// Limits on what one part of the workbook may unpack to and how wide the sheet
// may be, against files made to exhaust the machine. False, with the reason in
// words for the user, when the bytes are no readable workbook.
bool read(const QByteArray &bytes, qint64 maxUnpackedBytes, Table *table, QString *error);

// A number as a spreadsheet stores it, without an exponent: "1.3812345678E10"
// gives "13812345678", "1.5E-3" gives "0.0015"; anything else comes back as is.
QString plainNumber(const QString &stored);

} // namespace XlsxSheet
