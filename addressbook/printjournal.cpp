#include "addressbook/printjournal.h"

#include "addressbook/contactfile.h"
#include "addressbook/csvtext.h"
#include "platform/platform.h"

#include <QHash>
#include <QRandomGenerator>
#include <QStringMatcher>

#include <algorithm>
#include <numeric>

namespace {

const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr int FixedColumns = 3; // time, courier, printer
constexpr int FieldCount = 16;  // the sender and the recipient values
constexpr int OrderColumn = PrintJournal::OrderColumn;
constexpr int WaybillColumn = PrintJournal::WaybillColumn;
// In the file the id stands after the waybill number and before the columns
// added later; a table keeps ids apart, so its columns are the file's without it.
constexpr int IdColumn = WaybillColumn + 1;
constexpr int FileColumns = PrintJournal::ColumnCount + 1;
constexpr QChar Separator = QChar(0x1F); // ends each column in a table's text
// A same-day check reads on from where it stopped, after making sure these last
// bytes are still where it left them.
constexpr qsizetype TailCheck = 64;
constexpr qint64 ReadPiece = 4 * 1024 * 1024;

QStringList header()
{
    QStringList columns{QStringLiteral("时间"), QStringLiteral("快递"), QStringLiteral("打印机")};
    const QStringList labels{QStringLiteral("单位"), QStringLiteral("人"),    QStringLiteral("省"),
                             QStringLiteral("市"),   QStringLiteral("区/县"), QStringLiteral("详细地址"),
                             QStringLiteral("电话"), QStringLiteral("邮编")};
    for (const QString &side : {QStringLiteral("寄件"), QStringLiteral("收件")}) {
        for (const QString &label : labels)
            columns.append(side + label);
    }
    columns << QStringLiteral("订单编号") << QStringLiteral("运单号") << QStringLiteral("记录号")
            << QStringLiteral("作废") << QStringLiteral("批次") << QStringLiteral("模板");
    return columns;
}

// Every column but the id, as the table and a search see them.
QStringList shownColumns(const PrintJournal::Entry &entry)
{
    QStringList columns{entry.time, entry.courier, entry.printer};
    for (int i = 0; i < FieldCount; ++i)
        columns.append(entry.values.value(i));
    columns << entry.orderNumber << entry.waybillNumber << entry.spoiled << entry.batchId << entry.formId;
    return columns;
}

// One line of the file: the reader takes each line for a row.
QString oneLine(QString value)
{
    for (QChar &c : value) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    return value;
}

// The digits of a phone number without the country code, so that
// "+86 138-1234-5678" and "13812345678" are the same number.
QString digits(QStringView phone)
{
    QString out;
    for (const QChar c : phone) {
        if (c.isDigit())
            out += c;
    }
    if (out.startsWith(u"0086"))
        out.remove(0, 4);
    else if (out.size() == 13 && out.startsWith(u"86"))
        out.remove(0, 2);
    return out;
}

// Whether the text is a time as stored, "yyyy-MM-dd HH:mm:ss".
bool isTime(QStringView text)
{
    if (text.size() != 19 || text[4] != u'-' || text[7] != u'-' || text[10] != u' ' || text[13] != u':' ||
        text[16] != u':')
        return false;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
    }
    return true;
}

// The columns of one line of the file. Lines without quotes, nearly all of them,
// are split directly.
QStringList columnsOf(QStringView line)
{
    if (!line.contains(u'"')) {
        QStringList columns;
        for (QStringView cell : line.split(u','))
            columns.append(CsvText::unguarded(cell.toString()));
        return columns;
    }
    return CsvText::parse(line).value(0);
}

// Calls take(line) for each whole line of text, line ends left off.
template <typename Take> void forEachLine(QStringView text, Take take)
{
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype end = text.indexOf(u'\n', from);
        if (end < 0)
            end = text.size();
        QStringView line = text.sliced(from, end - from);
        if (line.endsWith(u'\r'))
            line.chop(1);
        take(line);
        from = end + 1;
    }
}

// An entry written before entries had ids is named by its content (its columns
// as a table keeps them), and by how many identical rows came before it, so that
// two alike are still two.
QString idFromContent(QStringView columns, QHash<QString, int> &seen)
{
    quint64 hash = 14695981039346656037ULL; // FNV-1a
    for (const QChar ch : columns)
        hash = (hash ^ ch.unicode()) * 1099511628211ULL;
    QString id = QLatin1Char('H') + QString::number(hash, 16).rightJustified(16, u'0');
    const int before = seen[id]++;
    return before == 0 ? id : id + QLatin1Char('-') + QString::number(before + 1);
}

// A cell as CsvText::unguarded gives it, without copying.
QStringView unguardedView(QStringView cell)
{
    if (!cell.startsWith(u'\''))
        return cell;
    return CsvText::unguarded(cell.toString()).size() < cell.size() ? cell.sliced(1) : cell;
}

// Case folded character by character, so that every position stays where it
// was: a hit in the folded text is a hit in the text.
QString foldedText(const QString &text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *to = out.data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            *to++ = QChar(u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u);
        else
            *to++ = c.isSurrogate() ? c : c.toCaseFolded();
    }
    return out;
}

PrintJournal::Entry entryFromColumns(QStringView text, qsizetype start)
{
    PrintJournal::Entry entry;
    QStringList columns;
    qsizetype from = start;
    for (int c = 0; c < PrintJournal::ColumnCount; ++c) {
        const qsizetype end = text.indexOf(Separator, from);
        columns.append(text.sliced(from, end - from).toString());
        from = end + 1;
    }
    entry.time = columns[0];
    entry.courier = columns[1];
    entry.printer = columns[2];
    entry.values = columns.mid(FixedColumns, FieldCount);
    entry.orderNumber = columns[OrderColumn];
    entry.waybillNumber = columns[WaybillColumn];
    entry.spoiled = columns[PrintJournal::SpoiledColumn];
    entry.batchId = columns[PrintJournal::BatchColumn];
    entry.formId = columns[PrintJournal::FormColumn];
    return entry;
}

} // namespace

QString PrintJournal::Entry::value(QStringView key) const
{
    const qsizetype i = fieldKeys().indexOf(key);
    return i < 0 ? QString() : values.value(i);
}

QString PrintJournal::Entry::searchText() const
{
    return shownColumns(*this).join(QLatin1Char('\n')).toCaseFolded();
}

bool PrintJournal::Entry::matches(QStringView text) const
{
    return searchText().contains(text.toString().toCaseFolded());
}

PrintJournal::Entry PrintJournal::Table::at(qsizetype index) const
{
    Entry entry = entryFromColumns(m_text, m_rows[index]);
    entry.id = m_ids[index];
    return entry;
}

QStringView PrintJournal::Table::column(qsizetype index, int column) const
{
    qsizetype from = m_rows[index];
    for (int c = 0; c < column; ++c)
        from = m_text.indexOf(Separator, from) + 1;
    return QStringView(m_text).sliced(from, m_text.indexOf(Separator, from) - from);
}

QList<qsizetype> PrintJournal::Table::find(QStringView text) const
{
    QList<qsizetype> found;
    if (text.isEmpty() || text.contains(Separator)) {
        if (text.isEmpty()) {
            found.resize(m_rows.size());
            std::iota(found.begin(), found.end(), 0);
        }
        return found;
    }
    // One search through the whole text finds the rows; the rows are not visited
    // one by one. Text whose letters have no case is looked for as it is.
    const QString needle = foldedText(text.toString());
    const bool cased = needle != text || text.toString().toUpper() != text;
    if (cased && m_folded.isEmpty())
        m_folded = foldedText(m_text);
    const QStringView haystack = cased ? m_folded : m_text;
    if (!m_lastNeedle.isEmpty() && m_lastCased == cased && needle.contains(m_lastNeedle) &&
        m_lastFound.size() < m_rows.size() / 4) {
        // Typing on: only the entries found a keystroke ago can still match, and
        // when they are few, looking at each is quicker than the whole text.
        for (qsizetype i : std::as_const(m_lastFound)) {
            if (haystack.sliced(m_rows[i], m_rowEnds[i] - m_rows[i]).contains(needle))
                found.append(i);
        }
    } else {
        const QStringMatcher matcher(needle);
        QList<bool> hit(m_rows.size(), false);
        // A single character is found quicker without the matcher's table.
        const auto next = [&](qsizetype from) {
            return needle.size() == 1 ? haystack.indexOf(needle.front(), from)
                                      : matcher.indexIn(haystack, from);
        };
        qsizetype at = next(0);
        while (at >= 0) {
            const qsizetype row =
                std::upper_bound(m_starts.begin(), m_starts.end(), at) - m_starts.begin() - 1;
            if (m_shownAs[row] >= 0)
                hit[m_shownAs[row]] = true;
            at = next(row + 1 < m_starts.size() ? m_starts[row + 1] : haystack.size());
        }
        for (qsizetype i = 0; i < hit.size(); ++i) {
            if (hit[i])
                found.append(i);
        }
    }
    m_lastNeedle = needle;
    m_lastCased = cased;
    m_lastFound = found;
    return found;
}

PrintJournal::PrintJournal(Platform &platform) : m_platform(platform) {}

const QStringList &PrintJournal::fieldKeys()
{
    static const QStringList keys = ContactFile::senderKeys() + ContactFile::recipientKeys();
    return keys;
}

QString PrintJournal::fileName() const
{
    return m_platform.programFolder() + QStringLiteral("/journal.csv");
}

QString PrintJournal::newId()
{
    // Starts with a letter: a spreadsheet would turn "0012e456…" into a number.
    return QLatin1Char('J') +
           QString::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, u'0');
}

bool PrintJournal::append(const Entry &entry, QString *error)
{
    QStringList columns;
    for (const QString &column : shownColumns(entry))
        columns.append(oneLine(column));
    columns.insert(IdColumn, entry.id.isEmpty() ? newId() : oneLine(entry.id));
    // Without its byte order mark: it goes after the rows already there.
    const QByteArray line = CsvText::write({columns}).sliced(3);
    return m_platform.appendToFile(fileName(), line, CsvText::write({header()}), error);
}

bool PrintJournal::setWaybillNumber(const Entry &entry, const QString &number, QString *error)
{
    Entry numbered = entry;
    numbered.waybillNumber = number.trimmed();
    return append(numbered, error);
}

bool PrintJournal::markSpoiled(const Entry &entry, const QString &reason, QString *error)
{
    Entry spoiled = entry;
    spoiled.spoiled = reason;
    return append(spoiled, error);
}

PrintJournal::Entry PrintJournal::entryFor(const QString &courier, const QString &printer,
                                           const std::function<QString(QStringView)> &field,
                                           const QString &orderNumber)
{
    Entry entry;
    entry.time = QDateTime::currentDateTime().toString(TimeFormat);
    entry.courier = courier;
    entry.printer = printer;
    for (const QString &key : fieldKeys())
        entry.values.append(field(key));
    entry.orderNumber = orderNumber;
    entry.id = newId();
    return entry;
}

PrintJournal::Table PrintJournal::table(QString *error) const
{
    Table table;
    QByteArray bytes;
    if (!m_platform.fileExists(fileName()) || !m_platform.readFileFrom(fileName(), 0, &bytes, error))
        return table;
    const QString text = CsvText::decode(bytes);
    bytes.clear();

    QStringList ids;
    QHash<QString, int> seenContent;
    table.m_text.reserve(text.size());
    QString &out = table.m_text;
    // Cells as the line holds them; parsed ones come unguarded already.
    const auto appendColumn = [&out](QStringView cell, bool guarded) {
        if (guarded)
            cell = unguardedView(cell);
        if (cell.contains(Separator))
            out += cell.toString().replace(Separator, u' ');
        else
            out += cell;
        out += Separator;
    };
    forEachLine(text, [&](QStringView line) {
        if (line.size() < 19 || !isTime(line.left(19)))
            return; // the header, or a line no one should have written
        const qsizetype start = out.size();
        QString id;
        int column = 0;
        if (!line.contains(u'"')) {
            // Nearly every line: the cells are taken from it as they are.
            qsizetype from = 0;
            for (;;) {
                const qsizetype comma = line.indexOf(u',', from);
                const QStringView cell = line.sliced(from, (comma < 0 ? line.size() : comma) - from);
                if (column < IdColumn || (column > IdColumn && column < FileColumns))
                    appendColumn(cell, true);
                else if (column == IdColumn)
                    id = unguardedView(cell).toString();
                ++column;
                if (comma < 0)
                    break;
                from = comma + 1;
            }
        } else {
            const QStringList columns = CsvText::parse(line).value(0);
            for (; column < IdColumn && column < columns.size(); ++column)
                appendColumn(columns[column], false);
            id = columns.value(IdColumn);
            for (int later = IdColumn + 1; later < FileColumns && later < columns.size(); ++later)
                appendColumn(columns[later], false);
            column = int(std::min<qsizetype>(columns.size(), FileColumns));
        }
        // Columns the line lacks are empty: before the id, and after it.
        for (int c = column; c < FileColumns; ++c) {
            if (c != IdColumn)
                out += Separator;
        }
        table.m_starts.append(start);
        if (id.isEmpty()) {
            // Named by the columns such a row has always had, so that its id
            // stays what earlier versions gave it.
            qsizetype end = start;
            for (int c = 0; c < IdColumn; ++c)
                end = out.indexOf(Separator, end) + 1;
            id = idFromContent(QStringView(out).sliced(start, end - start), seenContent);
        }
        ids.append(id);
    });

    // An entry shows where it was first printed, with what its last row says.
    QHash<QString, std::pair<qsizetype, qsizetype>> rowsOf; // first and last row of each id
    rowsOf.reserve(ids.size());
    for (qsizetype r = 0; r < ids.size(); ++r) {
        auto it = rowsOf.find(ids[r]);
        if (it == rowsOf.end())
            rowsOf.insert(ids[r], {r, r});
        else
            it->second = r;
    }
    table.m_shownAs.fill(-1, ids.size());
    table.m_rows.reserve(rowsOf.size());
    table.m_ids.reserve(rowsOf.size());
    // Appended as printed: the last row is the newest. (Not sorted by time: a
    // clock set back must not hide a print among older ones.)
    for (qsizetype r = ids.size() - 1; r >= 0; --r) {
        const auto [first, last] = rowsOf.value(ids[r]);
        if (first != r)
            continue;
        table.m_shownAs[last] = table.m_rows.size();
        table.m_rows.append(table.m_starts[last]);
        table.m_rowEnds.append(last + 1 < table.m_starts.size() ? table.m_starts[last + 1]
                                                                : table.m_text.size());
        table.m_ids.append(ids[r]);
    }
    return table;
}

QList<PrintJournal::Entry> PrintJournal::entries(QString *error) const
{
    const Table all = table(error);
    QList<Entry> list;
    list.reserve(all.size());
    for (qsizetype i = 0; i < all.size(); ++i)
        list.append(all.at(i));
    return list;
}

QList<PrintJournal::Entry> PrintJournal::search(QStringView text) const
{
    const Table all = table();
    QList<Entry> found;
    for (qsizetype i : all.find(text))
        found.append(all.at(i));
    return found;
}

QList<PrintJournal::Entry> PrintJournal::withWaybillNumber(QStringView number) const
{
    const QStringView wanted = number.trimmed();
    QList<Entry> found;
    if (wanted.isEmpty())
        return found;
    const Table all = table();
    for (qsizetype i : all.find(wanted)) {
        if (all.column(i, WaybillColumn) == wanted)
            found.append(all.at(i));
    }
    return found;
}

void PrintJournal::readNewRows(const QString &day) const
{
    const auto forget = [this] {
        m_readTo = 0;
        m_tailSeen.clear();
        m_printedOnDay.clear();
        m_spoiledIds.clear();
        m_numberOf.clear();
        m_ownerOf.clear();
    };
    if (day != m_day) {
        m_day = day;
        forget();
    }
    // Still the file read before, grown at its end? Else it is read again whole.
    QByteArray bytes;
    quint64 file = 0;
    if (!m_platform.fileExists(fileName()) ||
        !m_platform.readFileFrom(fileName(), m_readTo - m_tailSeen.size(), &bytes, nullptr, &file,
                                 m_tailSeen.size())) {
        forget();
        return;
    }
    if (file != m_fileSeen || bytes != m_tailSeen) {
        forget();
        m_fileSeen = file;
    }
    // Read on in pieces, so that a long journal is never held whole. The day's
    // rows are found by their first bytes; of the others only the few cells
    // that say which number an entry holds are decoded.
    const QByteArray wanted = day.toUtf8();
    const QByteArray bom("\xEF\xBB\xBF");
    for (;;) {
        if (!m_platform.readFileFrom(fileName(), m_readTo, &bytes, nullptr, nullptr, ReadPiece))
            return;
        // Only whole lines: a line being written is read the next time.
        qsizetype end = bytes.lastIndexOf('\n') + 1;
        if (end == 0 && bytes.size() == ReadPiece)
            end = bytes.size(); // no line is that long: no entry, passed over
        qsizetype at = 0;
        while (at < end) {
            qsizetype lineEnd = bytes.indexOf('\n', at);
            if (lineEnd < 0 || lineEnd > end)
                lineEnd = end;
            QByteArrayView line(bytes.constData() + at, lineEnd - at);
            if (line.startsWith(bom))
                line = line.sliced(bom.size());
            while (line.endsWith('\r') || line.endsWith(' '))
                line.chop(1);
            at = lineEnd + 1;
            if (line.size() < 19)
                continue;
            const bool ofTheDay = line.startsWith(wanted);
            if (ofTheDay || line.contains('"')) {
                takeRow(columnsOf(QString::fromUtf8(line)), ofTheDay);
                continue;
            }
            // Nearly every line: its cells are found by their commas, and only
            // the number, the id and the spoiled mark are decoded.
            QStringList columns;
            qsizetype from = 0;
            for (int column = 0; column <= IdColumn + 1; ++column) {
                const qsizetype comma = line.indexOf(',', from);
                const qsizetype cellEnd = comma < 0 ? line.size() : comma;
                columns.append(column >= WaybillColumn
                                   ? CsvText::unguarded(QString::fromUtf8(line.sliced(from, cellEnd - from)))
                                   : QString());
                if (comma < 0)
                    break;
                from = comma + 1;
            }
            takeRow(columns, false);
        }
        if (end > 0) {
            m_readTo += end;
            m_tailSeen = bytes.left(end).right(TailCheck);
        }
        if (bytes.size() < ReadPiece)
            return;
    }
}

void PrintJournal::takeRow(const QStringList &columns, bool ofTheDay) const
{
    if (columns.size() < OrderColumn)
        return;
    const QString id = columns.value(IdColumn);
    if (!id.isEmpty()) {
        // The last row of an id says what the entry is now.
        const bool spoiled = !columns.value(IdColumn + 1).isEmpty();
        if (spoiled)
            m_spoiledIds.insert(id);
        else
            m_spoiledIds.remove(id);
        const QString before = m_numberOf.value(id);
        const QString number = spoiled ? QString() : columns.value(WaybillColumn).trimmed();
        if (!before.isEmpty() && m_ownerOf.value(before) == id)
            m_ownerOf.remove(before);
        if (number.isEmpty()) {
            m_numberOf.remove(id);
        } else {
            m_numberOf.insert(id, number);
            m_ownerOf.insert(number, id);
        }
    }
    if (ofTheDay && isTime(columns[0])) {
        const QStringList values = columns.mid(FixedColumns, FieldCount);
        const int recipient = FieldCount / 2;
        m_printedOnDay.append(
            {id, columns[1],
             ContactFile::contactKey(values.value(recipient), values.value(recipient + 1)).toCaseFolded(),
             digits(values.value(recipient + 6))});
    }
}

QString PrintJournal::waybillNumberOwner(QStringView number) const
{
    readNewRows(QDate::currentDate().toString(Qt::ISODate));
    return m_ownerOf.value(number.trimmed().toString());
}

bool PrintJournal::printedToday(const QString &courier, const std::function<QString(QStringView)> &field,
                                const QDateTime &now) const
{
    const QString company = field(u"txtSentTo");
    const QString person = field(u"txtNameTo");
    const QString phone = digits(field(u"txtTelTo"));
    const QString key = ContactFile::contactKey(company, person).toCaseFolded();
    readNewRows(now.date().toString(Qt::ISODate));
    // Every row of the day, wherever it is: a clock set wrong for a while puts
    // rows of other days between them.
    for (const Printed &printed : m_printedOnDay) {
        if (printed.courier != courier || m_spoiledIds.contains(printed.id))
            continue;
        const bool sameName = !company.isEmpty() && !person.isEmpty() && printed.name == key;
        const bool samePhone = phone.size() >= 7 && printed.phone == phone;
        if (sameName || samePhone)
            return true;
    }
    return false;
}

QString PrintJournal::repeatQuestion(const QString &courier)
{
    return QStringLiteral("今天已为该收件人打印过%1快递单，仍要打印吗？").arg(courier);
}
