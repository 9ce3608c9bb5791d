#include "orders/xlsxsheet.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

#include <QBuffer>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>

namespace XlsxSheet {

namespace {

// Wider sheets are no order export; a cell reference far to the right must not
// make every row that wide.
constexpr int MaxColumns = 512;

QString damaged(const QString &part, const QString &why)
{
    return QStringLiteral("XLSX 文件已损坏，无法读取（") + part + QStringLiteral("：") + why +
           QStringLiteral("）。");
}

class Workbook
{
public:
    Workbook(const QByteArray &bytes, qint64 maxUnpacked) : m_buffer(), m_zip(&m_buffer), m_max(maxUnpacked)
    {
        m_buffer.setData(bytes);
    }

    bool open(QString *error)
    {
        if (!m_zip.open(QuaZip::mdUnzip)) {
            *error = QStringLiteral("文件不是有效的 XLSX 表格（无法按压缩包打开）。");
            return false;
        }
        m_names = m_zip.getFileNameList();
        return true;
    }

    bool has(const QString &name) const { return m_names.contains(name); }
    const QStringList &names() const { return m_names; }

    // The part's bytes, refused before unpacking when it says it is too large, and
    // cut off while unpacking when it is larger than it said.
    bool part(const QString &name, QByteArray *out, QString *error)
    {
        QuaZipFileInfo64 info;
        if (!m_zip.setCurrentFile(name) || !m_zip.getCurrentFileInfo(&info)) {
            *error = damaged(name, QStringLiteral("找不到这一部分"));
            return false;
        }
        if (qint64(info.uncompressedSize) > m_max - m_unpacked) {
            *error = tooLarge();
            return false;
        }
        QuaZipFile file(&m_zip);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = damaged(name, QStringLiteral("无法解压"));
            return false;
        }
        out->clear();
        char chunk[64 * 1024];
        for (;;) {
            const qint64 n = file.read(chunk, sizeof chunk);
            if (n < 0) {
                *error = damaged(name, QStringLiteral("无法解压"));
                return false;
            }
            if (n == 0)
                break;
            if (m_unpacked + out->size() + n > m_max) {
                *error = tooLarge();
                return false;
            }
            out->append(chunk, n);
        }
        m_unpacked += out->size();
        file.close();
        if (file.getZipError() != UNZ_OK) {
            *error = damaged(name, QStringLiteral("校验不符"));
            return false;
        }
        return true;
    }

private:
    QString tooLarge() const
    {
        return QStringLiteral("XLSX 文件解压后超过 %1 MB，不像订单文件，未读取。").arg(m_max / (1024 * 1024));
    }

    QBuffer m_buffer;
    QuaZip m_zip;
    qint64 m_max; // for all the parts read together
    qint64 m_unpacked = 0;
    QStringList m_names;
};

// The text of an <si> or <is>: its <t> pieces, without the phonetic guide (<rPh>)
// that Excel keeps for East Asian text.
QString stringItem(QXmlStreamReader &xml)
{
    QString text;
    const QString endName = xml.name().toString();
    int phonetic = 0;
    while (xml.readNext() != QXmlStreamReader::Invalid) {
        if (xml.isStartElement()) {
            if (xml.name() == u"rPh")
                ++phonetic;
            else if (xml.name() == u"t" && phonetic == 0)
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.isEndElement()) {
            if (xml.name() == u"rPh")
                --phonetic;
            else if (xml.name() == endName)
                break;
        }
    }
    return text;
}

bool sharedStrings(const QByteArray &bytes, QStringList *strings, QString *error)
{
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"si")
            strings->append(stringItem(xml));
    }
    if (xml.hasError()) {
        *error = damaged(QStringLiteral("共享字符串"), xml.errorString());
        return false;
    }
    return true;
}

// The part of the sheet a person sees first when opening the workbook: the
// active one, or else the first that is not hidden ("xl/worksheets/sheet1.xml"),
// with its name; the first sheet part there is when the workbook does not say.
QString shownSheet(Workbook &book, QString *shownName)
{
    QByteArray workbook, rels;
    QString ignored;
    const QString relsName = QStringLiteral("xl/_rels/workbook.xml.rels");
    if (book.has(QStringLiteral("xl/workbook.xml")) && book.has(relsName) &&
        book.part(QStringLiteral("xl/workbook.xml"), &workbook, &ignored) &&
        book.part(relsName, &rels, &ignored)) {
        struct Sheet
        {
            QString name, id;
            bool hidden = false;
        };
        QList<Sheet> sheets;
        int activeTab = 0;
        QXmlStreamReader xml(workbook);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"workbookView") {
                activeTab = xml.attributes().value(QLatin1String("activeTab")).toInt();
            } else if (xml.name() == u"sheet") {
                Sheet sheet;
                for (const QXmlStreamAttribute &a : xml.attributes()) {
                    if (a.name() == u"id" && !a.namespaceUri().isEmpty())
                        sheet.id = a.value().toString();
                    else if (a.name() == u"name")
                        sheet.name = a.value().toString();
                    else if (a.name() == u"state")
                        sheet.hidden = a.value() != u"visible";
                }
                sheets.append(sheet);
            }
        }
        int chosen =
            activeTab >= 0 && activeTab < sheets.size() && !sheets[activeTab].hidden ? activeTab : -1;
        for (int i = 0; chosen < 0 && i < sheets.size(); ++i) {
            if (!sheets[i].hidden)
                chosen = i;
        }
        const QString id = chosen >= 0 ? sheets[chosen].id : QString();
        QXmlStreamReader r(rels);
        while (!r.atEnd() && !id.isEmpty()) {
            if (r.readNext() == QXmlStreamReader::StartElement && r.name() == u"Relationship" &&
                r.attributes().value(QLatin1String("Id")) == id) {
                QString target = r.attributes().value(QLatin1String("Target")).toString();
                if (target.startsWith(u'/'))
                    target.remove(0, 1);
                else
                    target.prepend(QStringLiteral("xl/"));
                if (book.has(target)) {
                    *shownName = sheets[chosen].name;
                    return target;
                }
                break;
            }
        }
    }
    QStringList sheets;
    for (const QString &name : book.names()) {
        if (name.startsWith(u"xl/worksheets/") && name.endsWith(u".xml") && name.count(u'/') == 2)
            sheets.append(name);
    }
    std::sort(sheets.begin(), sheets.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return sheets.value(0);
}

// "AB12" -> 27 (0-based column); -1 when the reference holds no column.
int columnOf(QStringView reference)
{
    int column = 0;
    int letters = 0;
    for (QChar c : reference) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'Z')
            break;
        column = column * 26 + (u - u'A' + 1);
        if (++letters > 3)
            return MaxColumns;
    }
    return letters ? column - 1 : -1;
}

} // namespace

QString plainNumber(const QString &stored)
{
    static const QRegularExpression scientific(
        QStringLiteral(R"(^([-+]?)([0-9]*)(?:\.([0-9]*))?[eE]([-+]?[0-9]{1,3})$)"));
    const QRegularExpressionMatch m = scientific.match(stored);
    if (!m.hasMatch() || (m.capturedLength(2) == 0 && m.capturedLength(3) == 0))
        return stored;
    // Shifting the decimal point in the digits keeps every digit, as no double could.
    QString digits = m.captured(2) + m.captured(3);
    int point = int(m.capturedLength(2)) + m.captured(4).toInt();
    if (point <= 0) {
        digits.prepend(QString(-point, u'0'));
        point = 0;
    } else if (point > digits.size()) {
        digits.append(QString(point - digits.size(), u'0'));
    }
    QString whole = digits.left(point);
    QString fraction = digits.mid(point);
    while (whole.size() > 1 && whole.front() == u'0')
        whole.remove(0, 1);
    while (!fraction.isEmpty() && fraction.back() == u'0')
        fraction.chop(1);
    if (whole.isEmpty())
        whole = QStringLiteral("0");
    return m.captured(1).remove(u'+') + whole + (fraction.isEmpty() ? QString() : u'.' + fraction);
}

bool read(const QByteArray &bytes, qint64 maxUnpackedBytes, Table *table, QString *error)
{
    table->rows.clear();
    table->rowNumbers.clear();
    Workbook book(bytes, maxUnpackedBytes);
    if (!book.open(error))
        return false;
    QStringList strings;
    const QString stringsName = QStringLiteral("xl/sharedStrings.xml");
    if (book.has(stringsName)) {
        QByteArray part;
        if (!book.part(stringsName, &part, error) || !sharedStrings(part, &strings, error))
            return false;
    }
    const QString sheetName = shownSheet(book, &table->sheetName);
    if (sheetName.isEmpty()) {
        *error = QStringLiteral("文件里没有工作表，不是 Excel 表格。");
        return false;
    }
    QByteArray sheet;
    if (!book.part(sheetName, &sheet, error))
        return false;

    QXmlStreamReader xml(sheet);
    int rowNumber = 0;
    QStringList row;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"row") {
            const int given = xml.attributes().value(QLatin1String("r")).toInt();
            rowNumber = given > 0 ? given : rowNumber + 1;
            row.clear();
        } else if (xml.isEndElement() && xml.name() == u"row") {
            while (!row.isEmpty() && row.back().isEmpty())
                row.removeLast();
            if (!row.isEmpty()) {
                table->rows.append(row);
                table->rowNumbers.append(rowNumber);
            }
        } else if (xml.isStartElement() && xml.name() == u"c") {
            const QXmlStreamAttributes attributes = xml.attributes();
            const QString type = attributes.value(QLatin1String("t")).toString();
            int column = columnOf(attributes.value(QLatin1String("r")));
            if (column < 0)
                column = int(row.size());
            if (column >= MaxColumns) {
                *error = QStringLiteral("第 %1 行超过 %2 列，不像订单文件，未读取。")
                             .arg(rowNumber)
                             .arg(MaxColumns);
                return false;
            }
            QString value;
            while (xml.readNext() != QXmlStreamReader::Invalid &&
                   !(xml.isEndElement() && xml.name() == u"c")) {
                if (!xml.isStartElement())
                    continue;
                if (xml.name() == u"v")
                    value = xml.readElementText();
                else if (xml.name() == u"is")
                    value = stringItem(xml);
            }
            if (type == u"s") {
                bool ok = false;
                const int index = value.toInt(&ok);
                if (!ok || index < 0 || index >= strings.size()) {
                    *error =
                        damaged(sheetName, QStringLiteral("第 %1 行引用了不存在的字符串").arg(rowNumber));
                    return false;
                }
                value = strings[index];
            } else if (type.isEmpty() || type == u"n") {
                value = plainNumber(value);
            } else if (type == u"b") {
                value = value == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            }
            while (row.size() <= column)
                row.append(QString());
            row[column] = value;
        }
    }
    if (xml.hasError()) {
        *error = damaged(sheetName, xml.errorString());
        return false;
    }
    return true;
}

} // namespace XlsxSheet
