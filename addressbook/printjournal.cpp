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
    QStringList columns{entry.time.toString(TimeFormat), entry.courier, entry.printer};
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

} // namespace

QString PrintJournal::Entry::value(QStringView key) const
{
    const qsizetype i = fieldKeys().indexOf(key);
    return i < 0 ? QString() : values.value(i);
}

bool PrintJournal::Entry::matches(QStringView text) const
{
    if (text.isEmpty())
        return true;
    for (const QString &column : row(*this)) {
        if (column.contains(text, Qt::CaseInsensitive))
            return true;
    }
    return false;
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
    const QDateTime now = QDateTime::currentDateTime();
    entry.time = now.addMSecs(-now.time().msec());
    entry.courier = courier;
    entry.printer = printer;
    for (const QString &key : fieldKeys())
        entry.values.append(field(key));
    return entry;
}

QList<PrintJournal::Entry> PrintJournal::entries(QString *error) const
{
    QList<Entry> list;
    QByteArray content;
    if (!m_platform.fileExists(fileName()) || !m_platform.readFile(fileName(), &content, error))
        return list;
    const CsvText::Rows rows = CsvText::parse(CsvText::decode(content));
    for (const QStringList &columns : rows) {
        Entry entry;
        entry.time = QDateTime::fromString(columns.value(0), TimeFormat);
        if (!entry.time.isValid())
            continue; // the header, or a line no one should have written
        entry.courier = columns.value(1);
        entry.printer = columns.value(2);
        for (int i = 0; i < fieldKeys().size(); ++i)
            entry.values.append(columns.value(FixedColumns + i));
        list.append(entry);
    }
    // Appended in time order; a stable sort keeps prints of the same second in it.
    std::reverse(list.begin(), list.end());
    std::stable_sort(list.begin(), list.end(),
                     [](const Entry &a, const Entry &b) { return a.time > b.time; });
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
    for (const Entry &entry : entries()) {
        if (entry.time.date() != now.date()) {
            if (entry.time < now)
                break; // newest first: nothing earlier is of today
            continue;
        }
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
