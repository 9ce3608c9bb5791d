#include "addressbook/contactexchange.h"

#include "addressbook/contactfile.h"
#include "addressbook/csvtext.h"
#include "addressbook/vcard.h"
#include "platform/platform.h"

#include <QSet>

#include <algorithm>
#include <memory>

namespace {

constexpr int ValueCount = 8;

QString label(QStringView cell)
{
    QString name = cell.trimmed().toString();
    while (name.endsWith(u'：') || name.endsWith(u':'))
        name.chop(1);
    return name;
}

// Other names spreadsheets and shops give the columns, by value.
const QList<QStringList> &otherNames()
{
    static const QList<QStringList> names{
        {QStringLiteral("单位"), QStringLiteral("公司"), QStringLiteral("公司名称")},
        {QStringLiteral("姓名"), QStringLiteral("联系人"), QStringLiteral("收货人"),
         QStringLiteral("发货人")},
        {QStringLiteral("省份"), QStringLiteral("省/直辖市")},
        {QStringLiteral("城市"), QStringLiteral("地级市")},
        {QStringLiteral("区县"), QStringLiteral("区"), QStringLiteral("县")},
        {QStringLiteral("地址"), QStringLiteral("街道地址")},
        {QStringLiteral("电话"), QStringLiteral("手机"), QStringLiteral("手机号"),
         QStringLiteral("手机号码")},
        {QStringLiteral("邮政编码")}};
    return names;
}

// Column of each value in the header row (-1: none), or nullopt when the row
// names fewer than two of them and so is taken for a contact.
std::optional<QList<int>> headerColumns(const QStringList &row)
{
    QList<int> columns(ValueCount, -1);
    const QStringList sender = ContactExchange::senderHeader();
    const QStringList recipient = ContactExchange::recipientHeader();
    int found = 0;
    for (int c = 0; c < row.size(); ++c) {
        const QString name = label(row[c]);
        for (int i = 0; i < ValueCount; ++i) {
            if (columns[i] < 0 &&
                (name == sender[i] || name == recipient[i] || otherNames()[i].contains(name))) {
                columns[i] = c;
                ++found;
                break;
            }
        }
    }
    if (found < 2)
        return std::nullopt;
    return columns;
}

// Fields are single lines; a line break inside a cell becomes a blank.
QString singleLine(QString value)
{
    value.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    value.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return value;
}

} // namespace

namespace ContactExchange {

Format formatFor(const QString &fileName)
{
    return fileName.endsWith(QStringLiteral(".vcf"), Qt::CaseInsensitive) ||
                   fileName.endsWith(QStringLiteral(".vcard"), Qt::CaseInsensitive)
               ? Format::VCard
               : Format::Csv;
}

QStringList senderHeader()
{
    return {QStringLiteral("寄件单位"), QStringLiteral("寄件人"), QStringLiteral("省"),
            QStringLiteral("市"),       QStringLiteral("区/县"),  QStringLiteral("详细地址"),
            QStringLiteral("联系电话"), QStringLiteral("邮编")};
}

QStringList recipientHeader()
{
    QStringList header = senderHeader();
    header[0] = QStringLiteral("收件单位");
    header[1] = QStringLiteral("收件人");
    return header;
}

QList<QStringList> readFolder(const Platform &platform, const QString &folder, const QStringList &keys)
{
    QStringList files = platform.listContactFiles(folder);
    std::sort(files.begin(), files.end());
    QList<QStringList> contacts;
    contacts.reserve(files.size());
    for (const QString &file : files)
        contacts.append(platform.readProfileStrings(folder + file, ContactFile::section(), keys));
    return contacts;
}

QByteArray exportContacts(const QList<QStringList> &contacts, Format format, const QStringList &header)
{
    if (format == Format::VCard)
        return VCard::write(contacts);
    CsvText::Rows rows{header};
    rows.append(contacts);
    return CsvText::write(rows);
}

QList<Row> parse(QByteArrayView bytes, Format format)
{
    const QString text = CsvText::decode(bytes);
    QList<Row> rows;
    if (format == Format::VCard) {
        int number = 0;
        for (const QStringList &contact : VCard::parse(text))
            rows.append({++number, contact, QString()});
        return rows;
    }
    const CsvText::Table table = CsvText::read(text);
    QList<int> columns{0, 1, 2, 3, 4, 5, 6, 7};
    qsizetype first = 0;
    if (table.rows.isEmpty()) {
        // Nothing read but lines left out: those are still reported below.
    } else if (const auto header = headerColumns(table.rows.front())) {
        columns = *header;
        first = 1;
    }
    for (qsizetype r = first; r < table.rows.size(); ++r) {
        QStringList values;
        for (int column : columns)
            values.append(column < 0 ? QString() : singleLine(table.rows[r].value(column)));
        rows.append({table.lines[r], values, QString()});
    }
    for (int line : table.unclosed)
        rows.append({line, QStringList(ValueCount), QStringLiteral("引号不成对，这一行没有读入。")});
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row &a, const Row &b) { return a.number < b.number; });
    return rows;
}

QString refusalFor(const QString &company, const QString &person)
{
    switch (ContactFile::contactNameProblem(company, person)) {
    case ContactFile::NameProblem::Empty:
        return QStringLiteral("单位和姓名不能为空。");
    case ContactFile::NameProblem::Unsafe:
        return QStringLiteral("名称中有不能用于文件名的字符，或名称太长。");
    case ContactFile::NameProblem::None:
        break;
    }
    return {};
}

Target folderTarget(Platform &platform, const QString &folder, const QStringList &keys)
{
    // Listed once: an import adds what it saves, and the folder is not expected
    // to change under it otherwise.
    auto names = std::make_shared<QSet<QString>>();
    for (const QString &file : platform.listContactFiles(folder))
        names->insert(file.toCaseFolded());
    Target target;
    target.exists = [names](const QString &key) {
        return names->contains(ContactFile::fileName(key).toCaseFolded());
    };
    target.save = [&platform, folder, keys, names](const QStringList &values) {
        const QString company = values.value(0);
        const QString person = values.value(1);
        if (QString refusal = refusalFor(company, person); !refusal.isEmpty())
            return refusal;
        const QString file = ContactFile::fileName(ContactFile::contactKey(company, person));
        Profile::Values pairs;
        for (int i = 0; i < keys.size(); ++i)
            pairs.append({keys[i], values.value(i)});
        QString error;
        if (!platform.writeProfileStrings(folder + file, ContactFile::section(), pairs, &error))
            return QStringLiteral("无法写入联系人文件：%1").arg(error);
        names->insert(file.toCaseFolded());
        return QString();
    };
    return target;
}

QString Summary::text(int maxListed) const
{
    QString text = QStringLiteral("导入完成：新增 %1 个，覆盖 %2 个，跳过 %3 个，未导入 %4 个。")
                       .arg(imported)
                       .arg(replaced)
                       .arg(skipped)
                       .arg(refused.size());
    if (namedAsCompany > 0)
        text += QStringLiteral("\n其中 %1 个没有单位，已用姓名作单位。").arg(namedAsCompany);
    for (qsizetype i = 0; i < refused.size() && i < maxListed; ++i) {
        const Refusal &r = refused[i];
        // A row that could not be read has no name to show.
        if (r.name.isEmpty() && r.row > 0)
            text += QStringLiteral("\n第 %1 行：%2").arg(r.row).arg(r.reason);
        else
            text += QStringLiteral("\n第 %1 行 %2：%3").arg(r.row).arg(r.name, r.reason);
    }
    if (refused.size() > maxListed)
        text += QStringLiteral("\n……另有 %1 行未导入。").arg(refused.size() - maxListed);
    return text;
}

Summary importRows(const QList<Row> &rows, const Target &target, const OverwriteQuestion &ask)
{
    Summary summary;
    std::optional<Answer> forAll;
    for (const Row &given : rows) {
        if (!given.problem.isEmpty()) {
            summary.refused.append({given.number, QString(), given.problem});
            continue;
        }
        Row row = given;
        row.values.resize(std::max<qsizetype>(row.values.size(), 2));
        row.values[0] = row.values[0].trimmed();
        row.values[1] = row.values[1].trimmed();
        const bool namedAsCompany = row.values[0].isEmpty() && !row.values[1].isEmpty();
        if (namedAsCompany)
            row.values[0] = row.values[1];
        const QString company = row.values.value(0);
        const QString person = row.values.value(1);
        const QString key = ContactFile::contactKey(company, person);
        if (QString refusal = refusalFor(company, person); !refusal.isEmpty()) {
            summary.refused.append({row.number, key, refusal});
            continue;
        }
        const bool exists = target.exists(key);
        if (exists) {
            Answer answer = forAll ? *forAll : ask(key);
            if (answer == Answer::ReplaceAll || answer == Answer::SkipAll)
                forAll = answer;
            if (answer == Answer::Skip || answer == Answer::SkipAll) {
                ++summary.skipped;
                continue;
            }
        }
        if (QString failure = target.save(row.values); !failure.isEmpty()) {
            summary.refused.append({row.number, key, failure});
            continue;
        }
        ++(exists ? summary.replaced : summary.imported);
        summary.namedAsCompany += namedAsCompany;
    }
    return summary;
}

} // namespace ContactExchange
