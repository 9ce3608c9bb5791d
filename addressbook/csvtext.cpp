#include "addressbook/csvtext.h"

#include <QStringDecoder>

namespace {

bool needsQuotes(QStringView field)
{
    for (const QChar c : field) {
        if (c == u',' || c == u'"' || c == u'\n' || c == u'\r')
            return true;
    }
    // Blanks at either end are kept only inside quotes by some spreadsheets.
    return !field.isEmpty() && (field.front().isSpace() || field.back().isSpace());
}

} // namespace

namespace CsvText {

QByteArray write(const Rows &rows)
{
    QString text;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                text += u',';
            const QString &field = row[i];
            if (needsQuotes(field)) {
                text += u'"';
                text += QString(field).replace(QStringLiteral("\""), QStringLiteral("\"\""));
                text += u'"';
            } else {
                text += field;
            }
        }
        text += QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

Rows parse(QStringView text)
{
    Rows rows;
    QStringList row;
    QString field;
    bool quoted = false;     // inside a quoted field
    bool rowStarted = false; // the current row has a character
    const auto endField = [&] {
        row.append(field);
        field.clear();
    };
    const auto endRow = [&] {
        if (rowStarted) {
            endField();
            rows.append(row);
        }
        row.clear();
        field.clear();
        rowStarted = false;
    };
    // Runs of ordinary characters are copied in one piece.
    const auto runEnd = [&text](qsizetype from, bool inQuotes) {
        while (from < text.size()) {
            const QChar c = text[from];
            if (c == u'"' || (!inQuotes && (c == u',' || c == u'\r' || c == u'\n')))
                break;
            ++from;
        }
        return from;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                const qsizetype end = runEnd(i, true);
                field += text.sliced(i, end - i);
                i = end - 1;
            }
            continue;
        }
        if (c == u'"') {
            quoted = true;
            rowStarted = true;
        } else if (c == u',') {
            endField();
            rowStarted = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            endRow();
        } else {
            const qsizetype end = runEnd(i, false);
            field += text.sliced(i, end - i);
            i = end - 1;
            rowStarted = true;
        }
    }
    endRow();
    return rows;
}

QString decode(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gb("GB18030");
    return gb.decode(bytes);
}

} // namespace CsvText
