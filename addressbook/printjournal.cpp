#include "addressbook/printjournal.h"

#include "addressbook/contactfile.h"
#include "addressbook/csvtext.h"
#include "platform/platform.h"

#include <algorithm>

namespace {

const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr int FixedColumns = 3; // time, courier, printer

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
    return columns;
}

QStringList row(const PrintJournal::Entry &entry)
{
    QStringList columns{entry.time, entry.courier, entry.printer};
    for (int i = 0; i < PrintJournal::fieldKeys().size(); ++i)
        columns.append(entry.values.value(i));
    return columns;
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
    if (text.size() != 19 || text[10] != u' ')
        return false;
    return QDate::fromString(text.left(10).toString(), Qt::ISODate).isValid() &&
           QTime::fromString(text.sliced(11).toString(), Qt::ISODate).isValid();
}

} // namespace

QString PrintJournal::Entry::value(QStringView key) const
{
    const qsizetype i = fieldKeys().indexOf(key);
    return i < 0 ? QString() : values.value(i);
}

QString PrintJournal::Entry::searchText() const
{
    return row(*this).join(QLatin1Char('\n')).toCaseFolded();
}

bool PrintJournal::Entry::matches(QStringView text) const
{
    return searchText().contains(text.toString().toCaseFolded());
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

bool PrintJournal::append(const Entry &entry, QString *error)
{
    QByteArray content;
    if (!m_platform.fileExists(fileName())) {
        content = CsvText::write({header()});
    } else if (!m_platform.readFile(fileName(), &content, error)) {
        // A journal that cannot be read must not be replaced by a single entry.
        return false;
    }
    // Rows are appended as bytes: the old ones stay exactly as they were.
    content += CsvText::write({row(entry)}).sliced(3);
    return m_platform.writeFileAtomically(fileName(), content, error);
}

PrintJournal::Entry PrintJournal::entryFor(const QString &courier, const QString &printer,
                                           const std::function<QString(QStringView)> &field)
{
    Entry entry;
    entry.time = QDateTime::currentDateTime().toString(TimeFormat);
    entry.courier = courier;
    entry.printer = printer;
    for (const QString &key : fieldKeys())
        entry.values.append(field(key));
    return entry;
}

QList<PrintJournal::Entry> PrintJournal::entries(QString *error) const
{
    return entriesIn(readText(error));
}

QString PrintJournal::readText(QString *error) const
{
    QByteArray content;
    if (!m_platform.fileExists(fileName()) || !m_platform.readFile(fileName(), &content, error))
        return {};
    return CsvText::decode(content);
}

QList<PrintJournal::Entry> PrintJournal::entriesIn(QStringView text)
{
    QList<Entry> list;
    const CsvText::Rows rows = CsvText::parse(text);
    list.reserve(rows.size());
    for (const QStringList &columns : rows) {
        Entry entry;
        entry.time = columns.value(0);
        if (!isTime(entry.time))
            continue; // the header, or a line no one should have written
        entry.courier = columns.value(1);
        entry.printer = columns.value(2);
        entry.values = columns.mid(FixedColumns, fieldKeys().size());
        while (entry.values.size() < fieldKeys().size())
            entry.values.append(QString());
        list.append(entry);
    }
    // Appended as printed: the last row is the newest. (Not sorted by time: a
    // clock set back must not hide a print among older ones.)
    std::reverse(list.begin(), list.end());
    return list;
}

QList<PrintJournal::Entry> PrintJournal::search(QStringView text) const
{
    QList<Entry> found;
    for (const Entry &entry : entries()) {
        if (entry.matches(text))
            found.append(entry);
    }
    return found;
}

bool PrintJournal::printedToday(const QString &courier, const std::function<QString(QStringView)> &field,
                                const QDateTime &now) const
{
    const QString company = field(u"txtSentTo");
    const QString person = field(u"txtNameTo");
    const QString phone = digits(field(u"txtTelTo"));
    const QString key = ContactFile::contactKey(company, person).toCaseFolded();
    const QString today = now.date().toString(Qt::ISODate);
    // Rows are appended as printed, so today's begin at the first line that
    // starts with today's date; only those are read.
    const QString text = readText();
    qsizetype first = 0;
    if (!text.startsWith(today)) {
        first = text.indexOf(QLatin1Char('\n') + today);
        if (first < 0)
            return false;
        ++first;
    }
    for (const Entry &entry : entriesIn(QStringView(text).sliced(first))) {
        const QStringView day = QStringView(entry.time).left(today.size());
        if (day < today)
            break; // newest first: nothing further down is of today
        if (day != today)
            continue;
        if (entry.courier != courier)
            continue;
        const bool sameName =
            !company.isEmpty() && !person.isEmpty() &&
            ContactFile::contactKey(entry.value(u"txtSentTo"), entry.value(u"txtNameTo")).toCaseFolded() ==
                key;
        const bool samePhone = phone.size() >= 7 && digits(entry.value(u"txtTelTo")) == phone;
        if (sameName || samePhone)
            return true;
    }
    return false;
}

QString PrintJournal::repeatQuestion(const QString &courier)
{
    return QStringLiteral("今天已为该收件人打印过%1快递单，仍要打印吗？").arg(courier);
}
