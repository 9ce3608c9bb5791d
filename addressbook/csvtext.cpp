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

bool startsFormula(QChar c)
{
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

// How many "'" the cell starts with when a formula character follows them; -1 when none does.
qsizetype quotesBeforeFormula(QStringView cell)
{
    qsizetype quotes = 0;
    while (quotes < cell.size() && cell[quotes] == u'\'')
        ++quotes;
    return quotes < cell.size() && startsFormula(cell[quotes]) ? quotes : -1;
}

bool endsRow(QChar c)
{
    return c == u'\r' || c == u'\n';
}

} // namespace

namespace CsvText {

QString guarded(const QString &cell)
{
    return quotesBeforeFormula(cell) >= 0 ? QLatin1Char('\'') + cell : cell;
}

QString unguarded(const QString &cell)
{
    return quotesBeforeFormula(cell) > 0 ? cell.sliced(1) : cell;
}

QByteArray write(const Rows &rows)
{
    QString text;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                text += u',';
            const QString field = guarded(row[i]);
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

Table read(QStringView text)
{
    Table table;
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    // Past one line end at i (CR LF, LF or CR).
    const auto skipLineEnd = [&] {
        if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        ++i;
        ++line;
    };
    while (i < n) {
        const qsizetype rowStart = i;
        const int rowLine = line;
        QStringList row;
        QString field;
        bool fieldStarted = false;
        bool rowStarted = false;
        bool broken = false;
        while (i < n && !endsRow(text[i])) {
            const QChar c = text[i];
            if (c == u',') {
                row.append(unguarded(field));
                field.clear();
                fieldStarted = false;
                rowStarted = true;
                ++i;
            } else if (c == u'"' && !fieldStarted) {
                fieldStarted = rowStarted = true;
                ++i;
                bool closed = false;
                bool spansLines = false;
                while (i < n) {
                    if (text[i] == u'"') {
                        if (i + 1 < n && text[i + 1] == u'"') {
                            field += u'"';
                            i += 2;
                            continue;
                        }
                        closed = true;
                        ++i;
                        break;
                    }
                    if (endsRow(text[i])) {
                        spansLines = true;
                        const qsizetype from = i;
                        skipLineEnd();
                        field += text.sliced(from, i - from);
                        continue;
                    }
                    qsizetype end = i;
                    while (end < n && text[end] != u'"' && !endsRow(text[end]))
                        ++end;
                    field += text.sliced(i, end - i);
                    i = end;
                }
                // A quote that runs to the end, or past a line end into text that
                // is not a field's end, was never meant to enclose those lines.
                if (!closed || (spansLines && i < n && text[i] != u',' && !endsRow(text[i]))) {
                    broken = true;
                    break;
                }
            } else {
                fieldStarted = rowStarted = true;
                qsizetype end = i + 1;
                while (end < n && text[end] != u',' && text[end] != u'"' && !endsRow(text[end]))
                    ++end;
                field += text.sliced(i, end - i);
                i = end;
            }
        }
        if (broken) {
            table.unclosed.append(rowLine);
            i = rowStart;
            line = rowLine;
            while (i < n && !endsRow(text[i]))
                ++i;
            if (i < n)
                skipLineEnd();
            continue;
        }
        if (i < n)
            skipLineEnd();
        if (rowStarted) {
            row.append(unguarded(field));
            table.rows.append(row);
            table.lines.append(rowLine);
        }
    }
    return table;
}

Rows parse(QStringView text)
{
    return read(text).rows;
}

QString decode(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        // The mark says UTF-8: a damaged byte is one unknown character, not
        // the whole file in another encoding.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        return utf8.decode(bytes.sliced(3));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gb("GB18030");
    return gb.decode(bytes);
}

} // namespace CsvText
