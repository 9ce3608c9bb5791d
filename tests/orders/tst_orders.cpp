#include "addressbook/csvtext.h"
#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "orders/buyermerge.h"
#include "orders/orderfile.h"
#include "orders/shippingfile.h"
#include "orders/waybillnumber.h"
#include "orders/xlsxsheet.h"

#include <quazip/quacrc32.h>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QProcess>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using Table = QList<QStringList>;

QStringList cells(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *t : texts)
        list.append(QString::fromUtf8(t));
    return list;
}

// As a web shop names its columns; a title line above the header, a number cell
// for the phone (marked "#" here), a transferred number, no company column.
Table shopTable()
{
    return {cells({"某某旗舰店 12月7日订单"}),
            cells({"订单编号", "收货人姓名", "联系手机", "收货地址", "邮编", "买家留言", "宝贝标题"}),
            cells({"2026120712345678901", "张三", "#13812345678", "广东省深圳市南山区科技园科苑路15号",
                   "518057", "请尽快发货", "保温杯 500ml"}),
            cells({"2026120712345678902", "李四", "13812345678转7804", "广东省深圳市科苑路20号", "", "",
                   "茶叶"})};
}

// Regions and the street office in columns of their own, a company column, a hidden number, an order
// number kept as text by a formula.
Table regionsTable()
{
    return {cells({"订单号", "收件人", "单位", "手机", "省", "市", "区", "街道", "详细地址", "备注", "商品"}),
            cells({"=\"A1001\"", "王五", "恒通科技有限公司", "138****5678[7804]", "广东省", "广州市",
                   "天河区", "石牌街道", "天河路385号", "", "书"})};
}

// The whole address beside its detail, and a blank header cell at the end that
// the rows leave out.
Table twoAddressesTable()
{
    return {cells({"订单编号", "收货人", "手机", "收货地址", "详细地址", ""}),
            cells({"3", "赵六", "0755-8765-4321", "广东省深圳市福田区深南大道6008号", "深南大道6008号"})};
}

QStringList expectedShop()
{
    return cells(
        {"2026120712345678901|张三|张三|13812345678|广东省|深圳市|南山区|科技园科苑路15号|518057|请尽快发货|"
         "保温杯 500ml|",
         "2026120712345678902|李四|李四|13812345678转7804|广东省|深圳市||科苑路20号|||茶叶|区/县"});
}

QStringList expectedRegions()
{
    return cells(
        {"A1001|王五|恒通科技有限公司|138****5678[7804]|广东省|广州市|天河区|石牌街道天河路385号|||书|"});
}

QString describe(const OrderRow &row)
{
    QStringList parts;
    for (int f = 0; f < OrderRow::FieldCount; ++f)
        parts.append(row.value(OrderRow::Field(f)));
    QStringList unsure;
    for (OrderRow::Field f : row.unsure)
        unsure.append(OrderRow::label(f));
    return parts.join(u'|') + u'|' + unsure.join(u',');
}

QByteArray csvBytes(const Table &table, const QString &encoding)
{
    Table plain = table;
    for (QStringList &row : plain) {
        for (QString &cell : row) {
            if (cell.startsWith(u'#'))
                cell.remove(0, 1);
        }
    }
    const QByteArray withBom = CsvText::write(plain);
    if (encoding == u"utf-8-bom")
        return withBom;
    const QByteArray bare = withBom.mid(3);
    if (encoding == u"utf-8")
        return bare;
    QStringEncoder gbk("GBK");
    return gbk.encode(QString::fromUtf8(bare));
}

bool writeXlsx(const QString &path, const Table &table, bool inlineStrings)
{
    QProcess writer;
    QStringList arguments{path};
    if (inlineStrings)
        arguments.append(QStringLiteral("--inline"));
    writer.start(QStringLiteral(WRITE_XLSX_FIXTURE), arguments);
    for (const QStringList &row : table)
        writer.write(row.join(u'\t').toUtf8() + '\n');
    writer.closeWriteChannel();
    return writer.waitForFinished() && writer.exitStatus() == QProcess::NormalExit && writer.exitCode() == 0;
}

// A zip of the given parts, for workbooks no spreadsheet program would write.
bool writeZip(const QString &path, const QList<std::pair<QString, QByteArray>> &parts)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const auto &[name, bytes] : parts) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name), nullptr, 0, Z_DEFLATED, 1) ||
            file.write(bytes) != bytes.size())
            return false;
        file.close();
    }
    zip.close();
    return zip.getZipError() == 0;
}

// A sheet that says it unpacks to far more than it holds: the size a zip bomb
// declares is all a reader can check before unpacking.
bool writeLyingZip(const QString &path, const QByteArray &sheet, quint64 declaredSize)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    // qCompress gives a 4-byte length, a 2-byte zlib header, the deflate stream and
    // a 4-byte checksum; a zip holds the deflate stream alone.
    const QByteArray zlib = qCompress(sheet);
    const QByteArray deflated = zlib.mid(6, zlib.size() - 10);
    QuaZipNewInfo info(QStringLiteral("xl/worksheets/sheet1.xml"));
    info.uncompressedSize = ulong(declaredSize);
    QuaZipFile file(&zip);
    QuaCrc32 crc;
    if (!file.open(QIODevice::WriteOnly, info, nullptr, quint32(crc.calculate(sheet)), Z_DEFLATED,
                   Z_DEFAULT_COMPRESSION, true) ||
        file.write(deflated) != deflated.size())
        return false;
    file.close();
    zip.close();
    return zip.getZipError() == 0;
}

} // namespace

Q_DECLARE_METATYPE(BuyerMerge::Buyer)

class OrdersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void itemsAsShopsWriteThem_data();
    void itemsAsShopsWriteThem();
    void readFile_data();
    void readFile();
    void badFile_data();
    void badFile();
    void plainNumber_data();
    void plainNumber();
    void splitPasted_data();
    void splitPasted();
    void waybillNumber_data();
    void waybillNumber();
    void shippingFile();
    void exportsAsShopsWriteThem_data();
    void exportsAsShopsWriteThem();
    void visibleSheet();
    void buyerMerge_data();
    void buyerMerge();
    void buyerMergeDay();

private:
    RegionTable m_table;
    std::unique_ptr<AddressParser> m_parser;
    QTemporaryDir m_dir;
};

void OrdersTest::initTestCase()
{
    QVERIFY(m_table.load());
    m_parser = std::make_unique<AddressParser>(m_table);
    QVERIFY(m_dir.isValid());
}

void OrdersTest::readFile_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<Table>("table");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("companyFromName");
    QTest::addColumn<int>("firstLine");
    for (const char *format : {"utf-8-bom", "utf-8", "gbk", "xlsx", "xlsx-inline"}) {
        QTest::addRow("%s, title line, no company", format)
            << QString::fromUtf8(format) << shopTable() << expectedShop() << 2 << 3;
        QTest::addRow("%s, whole address and detail", format)
            << QString::fromUtf8(format) << twoAddressesTable()
            << cells({"3|赵六|赵六|0755-87654321|广东省|深圳市|福田区|深南大道6008号||||"}) << 1 << 2;
        QTest::addRow("%s, region columns", format)
            << QString::fromUtf8(format) << regionsTable() << expectedRegions() << 0 << 2;
    }
}

void OrdersTest::readFile()
{
    QFETCH(QString, format);
    QFETCH(Table, table);
    QFETCH(QStringList, expected);
    QFETCH(int, companyFromName);
    QFETCH(int, firstLine);
    const bool xlsx = format.startsWith(u"xlsx");
    const QString path = m_dir.filePath(QStringLiteral("orders-") + QTest::currentDataTag() +
                                        (xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".csv")));
    if (xlsx) {
        QVERIFY(writeXlsx(path, table, format.endsWith(u"inline")));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(csvBytes(table, format));
    }
    const OrderFileResult result = OrderFileReader(*m_parser).readFile(path);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QStringList got;
    for (const OrderRow &row : result.rows)
        got.append(describe(row));
    QCOMPARE(got, expected);
    QCOMPARE(result.companyFromName, companyFromName);
    QCOMPARE(result.rows.first().sourceLine, firstLine);
    QCOMPARE(result.unsureRows, int(std::count_if(expected.begin(), expected.end(),
                                                  [](const QString &e) { return !e.endsWith(u'|'); })));
}

void OrdersTest::badFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    auto row = [](const char *tag, const char *name, const char *kind, const char *says) {
        QTest::newRow(tag) << QString::fromLatin1(name) << QString::fromLatin1(kind)
                           << QString::fromUtf8(says);
    };
    row("picture", "orders.csv", "png", "不是表格");
    row("text without a header", "orders.csv", "prose", "没有找到表头");
    row("rows of different lengths", "orders.csv", "ragged", "第 3 行有 5 列，表头有 4 列");
    row("old Excel", "orders.xls", "xls", ".xls");
    row("100 MB", "orders.csv", "huge", "100 MB");
    row("zip bomb", "orders.xlsx", "bomb", "解压后超过");
    row("zip bomb by its declared size", "orders.xlsx", "declared", "解压后超过");
    row("zip bomb in two parts", "orders.xlsx", "halves", "解压后超过");
    row("broken XML", "orders.xlsx", "broken", "已损坏");
    row("zip without a sheet", "orders.xlsx", "nosheet", "没有工作表");
    row("truncated zip", "orders.xlsx", "truncated", "XLSX");
}

void OrdersTest::badFile()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, says);
    const QString path = m_dir.filePath(kind + u'-' + name);
    const QByteArray header = "订单编号,收货人,手机,收货地址\r\n";
    const QByteArray sheetStart = "<?xml version=\"1.0\"?><worksheet><sheetData><row r=\"1\"><c r=\"A1\" "
                                  "t=\"inlineStr\"><is><t>收货人</t></is></c>";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (kind == u"png") {
        file.write(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + QByteArray(64, '\0'));
    } else if (kind == u"prose") {
        file.write("今天天气很好，\r\n我们去公园。\r\n");
    } else if (kind == u"ragged") {
        file.write(header + "1,张三,13812345678,广东省深圳市南山区科苑路15号\r\n"
                            "2,李四,13812345679,广东省深圳市南山区,科苑路16号\r\n");
    } else if (kind == u"xls") {
        file.write(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(512, '\0'));
    } else if (kind == u"huge") {
        file.write(header);
        QVERIFY(file.resize(100 * 1024 * 1024));
    } else if (kind == u"bomb" || kind == u"broken" || kind == u"nosheet") {
        file.close();
        QByteArray sheet = sheetStart;
        if (kind == u"bomb")
            sheet += QByteArray(OrderFileReader::MaxUnpackedBytes, ' ') + "</row></sheetData></worksheet>";
        else if (kind == u"broken")
            sheet += "<c r=\"B1\"><v>1</c></row></sheetData></worksheet>";
        const QString part = kind == u"nosheet" ? QStringLiteral("docProps/app.xml")
                                                : QStringLiteral("xl/worksheets/sheet1.xml");
        QVERIFY(writeZip(path, {{part, sheet}}));
    } else if (kind == u"halves") {
        file.close();
        const QByteArray half(OrderFileReader::MaxUnpackedBytes * 3 / 5, ' ');
        QVERIFY(writeZip(path, {{QStringLiteral("xl/sharedStrings.xml"), "<sst>" + half + "</sst>"},
                                {QStringLiteral("xl/worksheets/sheet1.xml"),
                                 sheetStart + half + "</row></sheetData></worksheet>"}}));
    } else if (kind == u"declared") {
        file.close();
        QVERIFY(writeLyingZip(path, sheetStart + "</row></sheetData></worksheet>", 1ULL << 31));
    } else if (kind == u"truncated") {
        file.close();
        QVERIFY(writeXlsx(path, shopTable(), false));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() / 2));
    }
    file.close();
    const QByteArray before = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.read(1024 * 1024) : QByteArray();
    }();

    const OrderFileResult result = OrderFileReader(*m_parser).readFile(path);
    QVERIFY2(result.error.contains(says), qPrintable(result.error));
    QVERIFY(result.rows.isEmpty());
    QFile after(path);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.read(1024 * 1024), before);
}

void OrdersTest::plainNumber_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("phone with exponent") << "1.3812345678E10"
                                         << "13812345678";
    QTest::newRow("phone as written") << "13812345678"
                                      << "13812345678";
    QTest::newRow("exponent with sign") << "1.3812345678E+10"
                                        << "13812345678";
    QTest::newRow("small") << "1.5E-3"
                           << "0.0015";
    QTest::newRow("negative") << "-2.5e2"
                              << "-250";
    QTest::newRow("decimal") << "12.50"
                             << "12.50";
    QTest::newRow("text") << "E10"
                          << "E10";
}

void OrdersTest::plainNumber()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(XlsxSheet::plainNumber(stored), shown);
}

void OrdersTest::splitPasted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("phones");
    QTest::newRow("one per line") << QStringLiteral("张三 13812345678 广东省深圳市南山区科技园科苑路15号\n"
                                                    "李四 13912345678 北京市朝阳区建国路88号\n\n")
                                  << QStringList{u"张三"_qs, u"李四"_qs}
                                  << QStringList{u"13812345678"_qs, u"13912345678"_qs};
    QTest::newRow("labelled, one after the other")
        << QStringLiteral("收件人：张三 广东省深圳市南山区科技园科苑路15号 13812345678\n"
                          "收货人: 李四，广东省广州市天河区天河路385号，13800138000-7804")
        << QStringList{u"张三"_qs, u"李四"_qs} << QStringList{u"13812345678"_qs, u"13800138000-7804"_qs};
    QTest::newRow("labelled lines without blank lines")
        << QStringLiteral("收货人：张三\n手机号码：13812345678\n详细地址：广东省深圳市南山区科苑路15号\n"
                          "收货人：李四\n手机号码：13912345678\n详细地址：北京市朝阳区建国路88号")
        << QStringList{u"张三"_qs, u"李四"_qs} << QStringList{u"13812345678"_qs, u"13912345678"_qs};
    QTest::newRow("blocks between blank lines")
        << QStringLiteral("张三\n13812345678\n广东省深圳市南山区科苑路15号\n\n\n"
                          "李四\r\n13912345678\r\n北京市朝阳区建国路88号\r\n\r\n"
                          "王五 138****5678[7804] 广东省广州市天河区天河路385号")
        << QStringList{u"张三"_qs, u"李四"_qs, u"王五"_qs}
        << QStringList{u"13812345678"_qs, u"13912345678"_qs, u"138****5678[7804]"_qs};
}

void OrdersTest::splitPasted()
{
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    QFETCH(QStringList, phones);
    const OrderFileResult result = OrderFileReader(*m_parser).splitPasted(text);
    QStringList gotNames, gotPhones;
    for (const OrderRow &row : result.rows) {
        gotNames.append(row.name);
        gotPhones.append(row.phone);
        QCOMPARE(row.company, row.name);
    }
    QCOMPARE(gotNames, names);
    QCOMPARE(gotPhones, phones);
    QCOMPARE(result.companyFromName, names.size());
}

void OrdersTest::waybillNumber_data()
{
    QTest::addColumn<QString>("courier");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("valid");
    QTest::newRow("SF, 13 digits") << u"顺丰速运"_qs << u" sf1234567890123 "_qs << true;
    QTest::newRow("SF, 12 digits after SF") << u"顺丰速运"_qs << u"SF123456789012"_qs << true;
    QTest::newRow("SF, 12 digits") << u"顺丰速运"_qs << u"１２３４５６７８９０１２"_qs << true;
    QTest::newRow("SF, 14 digits") << u"顺丰速运"_qs << u"SF12345678901234"_qs << false;
    QTest::newRow("SF, 11 digits") << u"顺丰速运"_qs << u"12345678901"_qs << false;
    QTest::newRow("Yunda, 13 digits") << u"韵达快递"_qs << u"1234567890123"_qs << true;
    QTest::newRow("Yunda, 15 digits") << u"韵达快递"_qs << u"123456789012345"_qs << true;
    QTest::newRow("Yunda, 14 digits") << u"韵达快递"_qs << u"12345678901234"_qs << false;
    QTest::newRow("Yunda, letters") << u"韵达快递"_qs << u"SF1234567890123"_qs << false;
    QTest::newRow("other, letters and digits") << u"中通快递"_qs << u"ZT78901234567"_qs << true;
    QTest::newRow("other, a blank inside") << u"中通快递"_qs << u"7890 1234567"_qs << false;
    QTest::newRow("other, too short") << u"中通快递"_qs << u"1234567"_qs << false;
    QTest::newRow("other, too long") << u"中通快递"_qs << u"123456789012345678901"_qs << false;
}

void OrdersTest::waybillNumber()
{
    QFETCH(QString, courier);
    QFETCH(QString, typed);
    QFETCH(bool, valid);
    const QString number = WaybillNumber::normalised(typed);
    const QString problem = WaybillNumber::problem(number, WaybillNumber::courierFor(courier));
    QVERIFY2(problem.isEmpty() == valid, qPrintable(number + u' ' + problem));
}

// Both encodings give the same cells back, with formulas shown as text, and
// every character written (GB18030 where GBK lacks one).
void OrdersTest::shippingFile()
{
    const QList<ShippingFile::Line> lines{{u"2026120712345678901"_qs, u"顺丰速运"_qs, u"SF1234567890123"_qs},
                                          {u"=HYPERLINK(\"x\")"_qs, u"韵达快递"_qs, u"+1234567890123"_qs},
                                          {u"@SUM(A1)"_qs, u"䶮记快递"_qs, u"-12"_qs}};
    // Read back as a spreadsheet reads it, guards taken off: every value as it was.
    const CsvText::Rows expected{{u"订单编号"_qs, u"快递公司"_qs, u"运单号"_qs},
                                 {u"2026120712345678901"_qs, u"顺丰速运"_qs, u"SF1234567890123"_qs},
                                 {u"=HYPERLINK(\"x\")"_qs, u"韵达快递"_qs, u"+1234567890123"_qs},
                                 {u"@SUM(A1)"_qs, u"䶮记快递"_qs, u"-12"_qs}};
    const QByteArray utf8 = ShippingFile::contents(lines, ShippingFile::Encoding::Utf8Bom);
    QVERIFY(utf8.startsWith("\xEF\xBB\xBF"));
    // Guarded once: a spreadsheet shows -12, not '-12.
    QVERIFY2(utf8.contains(",'-12\r\n") && !utf8.contains("''"), utf8.constData());
    QCOMPARE(CsvText::parse(QString::fromUtf8(utf8.mid(3))), expected);

    const QByteArray gbk = ShippingFile::contents(lines, ShippingFile::Encoding::Gbk);
    QVERIFY(gbk.startsWith("\xB6\xA9")); // 订 in GBK, no byte order mark
    QStringDecoder decoder("GB18030");
    QCOMPARE(CsvText::parse(QString(decoder.decode(gbk))), expected);

    const QString path = m_dir.filePath(u"发货单.csv"_qs);
    QString error;
    QVERIFY2(ShippingFile::save(path, lines, ShippingFile::Encoding::Gbk, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), gbk);
    QVERIFY(!ShippingFile::save(m_dir.filePath(u"no/such/folder.csv"_qs), lines,
                                ShippingFile::Encoding::Utf8Bom, &error));
    QVERIFY(!error.isEmpty());
}

// Exports as real shops write them: what was read wrongly or dropped silently.
void OrdersTest::exportsAsShopsWriteThem_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("summary"); // a part of the summary
    QTest::addColumn<QString>("reasons"); // every row's doubts, joined

    const QByteArray head = "订单编号,收货人,手机,收货地址,宝贝标题\r\n";
    QTest::newRow("a quote that never closes")
        << head + "A1,张三,13800000001,北京市朝阳区建国路1号,杯\r\n"
                  "A2,\"李四,13800000002,北京市朝阳区建国路2号,杯\r\n"
                  "A3,王五,13800000003,北京市朝阳区建国路3号,杯\r\n"
        << cells({"A1|张三|张三|13800000001|北京市|北京市|朝阳区|建国路1号|||杯|",
                  "A3|王五|王五|13800000003|北京市|北京市|朝阳区|建国路3号|||杯|"})
        << QString("第 3 行引号不成对") << QString();
    QTest::newRow("a row per product")
        << head + "A1,张三,13800000001,北京市朝阳区建国路1号,保温杯\r\n"
                  "A1,,,,茶叶\r\n"
                  "A2,李四,13800000002,北京市朝阳区建国路2号,书\r\n"
                  "A2,李四,13800000002,北京市朝阳区建国路2号,笔\r\n"
        << cells({"A1|张三|张三|13800000001|北京市|北京市|朝阳区|建国路1号|||保温杯；茶叶|",
                  "A2|李四|李四|13800000002|北京市|北京市|朝阳区|建国路2号|||书；笔|"})
        << QString("2 行是同一订单的其他商品") << QString();
    QTest::newRow("masked buyer data")
        << head + "A1,张*,186****4444,北京市朝阳区****,杯\r\n"
                  "A2,李四,1**********,北京市朝阳区建国路2号,杯\r\n"
                  "A3,王五,138****5678[7804],北京市朝阳区建国路3号,杯\r\n"
        << cells({"A1|张*|张*|186****4444|北京市|北京市|朝阳区|****|||杯|电话,收货人,详细地址",
                  "A2|李四|李四|1**********|北京市|北京市|朝阳区|建国路2号|||杯|电话",
                  "A3|王五|王五|138****5678[7804]|北京市|北京市|朝阳区|建国路3号|||杯|"})
        << QString("2 个有待核对") << QString("手机号被隐藏,姓名被隐藏,地址被隐藏,手机号被隐藏");
    QTest::newRow("a damaged byte after a byte order mark")
        << "\xEF\xBB\xBF" + head + "A1,张\xFF三,13800000001,北京市朝阳区建国路1号,杯\r\n"
        << cells({"A1|张\uFFFD三|张\uFFFD三|13800000001|北京市|北京市|朝阳区|建国路1号|||杯|收货人"})
        << QString("读入 1 个订单") << QString("有无法识别的字符（文件里有损坏的字节）");
    QTest::newRow("pick-up, a postcode in a number cell, the changed address, a column not known")
        << QByteArray("订单编号,收货人/提货人,手机,收货地址,修改后的收货地址,邮编,买家会员名\r\n"
                      "A1,张三,13800000001,北京市朝阳区建国路1号,上海市浦东新区世纪大道1号,10010,zs\r\n"
                      "A2,李四,13800000002,北京市朝阳区建国路2号,,100020,ls\r\n")
        << cells({"A1|张三|张三|13800000001|上海市|上海市|浦东新区|世纪大道1号|010010|||",
                  "A2|李四|李四|13800000002|北京市|北京市|朝阳区|建国路2号|100020|||"})
        << QString("未识别的列（未读入）：买家会员名") << QString();
}

void OrdersTest::exportsAsShopsWriteThem()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, expected);
    QFETCH(QString, summary);
    QFETCH(QString, reasons);
    const OrderFileResult result = OrderFileReader(*m_parser).readBytes(csv, QStringLiteral("orders.csv"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QStringList got, doubts;
    for (const OrderRow &row : result.rows) {
        got.append(describe(row));
        doubts += row.unsureReasons;
    }
    QCOMPARE(got, expected);
    QVERIFY2(result.summary().contains(summary), qPrintable(result.summary()));
    QCOMPARE(doubts.join(u','), reasons);
}

// Items as the shops export them: a column each for title, variant,
// count and code, an order over several rows, several items in one cell.
void OrdersTest::itemsAsShopsWriteThem_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("items"); // each order's items, orders split by "|"
    const QByteArray head = "订单编号,收货人,手机,收货地址,";
    QTest::newRow("columns of their own")
        << head + "宝贝标题,颜色分类,购买数量,商家编码\r\nA1,张三,13800000001,北京市朝阳区建国路1号,T恤,白色 "
                  "XL,2.0,TX-1\r\n"
        << "T恤 白色 XL ×2 [TX-1]";
    QTest::newRow("a row per product")
        << head +
               "商品名称,商品规格,商品数量,货号\r\nA1,张三,13800000001,北京市朝阳区建国路1号,杯,红,1,B-1\r\n"
               "A1,,,,茶叶,,3,C-2\r\nA2,李四,13800000002,上海市浦东新区世纪大道1号,杯,蓝,1,B-2\r\n"
        << "杯 红 ×1 [B-1]；茶叶 ×3 [C-2]|杯 蓝 ×1 [B-2]";
    QTest::newRow("several in one cell")
        << head + "商品\r\nA1,张三,13800000001,北京市朝阳区建国路1号,保温杯×2；茶叶 x1；围巾\r\n"
                  "A2,李四,13800000002,上海市浦东新区世纪大道1号,\"杯*2,碟*3\"\r\n"
        << "保温杯 ×2；茶叶 ×1；围巾 ×1|杯 ×2；碟 ×3";
    QTest::newRow("a comma in a title")
        << head + "商品,数量\r\nA1,张三,13800000001,北京市朝阳区建国路1号,\"大号,加厚\",4\r\n"
        << "大号,加厚 ×4";
    QTest::newRow("no items") << head + "备注\r\nA1,张三,13800000001,北京市朝阳区建国路1号,\r\n"
                              << "";
}

void OrdersTest::itemsAsShopsWriteThem()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, items);
    const OrderFileResult result = OrderFileReader(*m_parser).readBytes(csv, QStringLiteral("orders.csv"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QStringList orders;
    for (const OrderRow &row : result.rows) {
        QStringList texts;
        for (const OrderItem &item : row.itemList)
            texts.append(item.code.isEmpty() ? item.text() : item.text() + " [" + item.code + "]");
        orders.append(texts.join(QStringLiteral("；")));
    }
    QCOMPARE(orders.join(u'|'), items);
}

// A workbook whose first sheet is hidden is read from the sheet a person sees,
// and the summary names it.
void OrdersTest::visibleSheet()
{
    const auto sheet = [](const char *name) {
        return QByteArray("<?xml version=\"1.0\"?><worksheet><sheetData>"
                          "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>收货人</t></is></c>"
                          "<c r=\"B1\" t=\"inlineStr\"><is><t>收货地址</t></is></c></row>"
                          "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>") +
               name +
               "</t></is></c><c r=\"B2\" t=\"inlineStr\"><is><t>北京市朝阳区建国路1号</t></is></c></row>"
               "</sheetData></worksheet>";
    };
    const QByteArray workbook =
        "<?xml version=\"1.0\"?><workbook "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
        "<sheet name=\"模板\" sheetId=\"1\" state=\"hidden\" r:id=\"rId1\"/>"
        "<sheet name=\"订单\" sheetId=\"2\" r:id=\"rId2\"/></sheets></workbook>";
    const QByteArray rels = "<?xml version=\"1.0\"?><Relationships "
                            "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                            "<Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>"
                            "<Relationship Id=\"rId2\" Target=\"worksheets/sheet2.xml\"/></Relationships>";
    const QString path = m_dir.filePath(u"hidden-first.xlsx"_qs);
    QVERIFY(writeZip(path, {{u"xl/workbook.xml"_qs, workbook},
                            {u"xl/_rels/workbook.xml.rels"_qs, rels},
                            {u"xl/worksheets/sheet1.xml"_qs, sheet("样例")},
                            {u"xl/worksheets/sheet2.xml"_qs, sheet("赵一")}}));
    const OrderFileResult result = OrderFileReader(*m_parser).readFile(path);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.rows.size(), 1);
    QCOMPARE(result.rows[0].name, u"赵一"_qs);
    QVERIFY2(result.summary().contains(u"工作表“订单”"_qs), qPrintable(result.summary()));
}

// Two orders, proposed as one parcel or not.
void OrdersTest::buyerMerge_data()
{
    using B = BuyerMerge::Buyer;
    QTest::addColumn<BuyerMerge::Buyer>("first");
    QTest::addColumn<BuyerMerge::Buyer>("second");
    QTest::addColumn<QString>("reason"); // empty: not proposed
    const B zhang{"张三", "13812345678", "广东省", "深圳市", "南山区", "科技园科苑路15号"};
    QTest::newRow("same phone and address, written differently")
        << zhang << B{"张先生", "+86 138-1234-5678",
                      "广东省", "深圳市",
                      "南山区", "广东省深圳市南山区 科技园科苑路 15 号"}
        << "同一手机号和地址";
    QTest::newRow("same name and address, another phone")
        << zhang << B{"张三", "13900000000", "广东省", "深圳市", "南山区", "科技园科苑路１５号"}
        << "同一收货人和地址";
    QTest::newRow("privacy numbers with the same extension")
        << B{"李*", "138****5678[7804]", "北京市", "北京市", "朝阳区", "建国路88号"}
        << B{"李*", "138****5678-7804", "北京市", "北京市", "朝阳区", "建国路88号"} << "同一手机号和地址";
    QTest::newRow("same name, another address")
        << zhang << B{"张三", "13812345678", "广东省", "深圳市", "南山区", "科技园科苑路16号"} << "";
    QTest::newRow("same address, another phone and name")
        << zhang << B{"李四", "13900000000", "广东省", "深圳市", "南山区", "科技园科苑路15号"} << "";
    QTest::newRow("masked numbers without extension, masked names")
        << B{"王*", "1**********", "北京市", "北京市", "朝阳区", "建国路88号"}
        << B{"王*", "1**********", "北京市", "北京市", "朝阳区", "建国路88号"} << "";
    QTest::newRow("same district name in another city")
        << B{"赵六", "13800000006", "江苏省", "南京市", "鼓楼区", "中山路1号"}
        << B{"赵六", "13800000006", "福建省", "福州市", "鼓楼区", "中山路1号"} << "";
}

void OrdersTest::buyerMerge()
{
    QFETCH(BuyerMerge::Buyer, first);
    QFETCH(BuyerMerge::Buyer, second);
    QFETCH(QString, reason);
    const QList<BuyerMerge::Proposal> proposals = BuyerMerge::propose({first, second});
    if (reason.isEmpty()) {
        QVERIFY(proposals.isEmpty());
        return;
    }
    QCOMPARE(proposals.size(), 1);
    QCOMPARE(proposals[0].orders, QList<int>({0, 1}));
    QCOMPARE(proposals[0].reason, reason);
}

// A day of 300 orders: 40 pairs to one buyer among them, and 10 traps (the same
// name to another address, another buyer at the same address): every pair
// proposed, no trap.
void OrdersTest::buyerMergeDay()
{
    QList<BuyerMerge::Buyer> day;
    QSet<QPair<int, int>> pairs;
    const auto buyer = [](int i) {
        return BuyerMerge::Buyer{QStringLiteral("买家%1").arg(i),
                                 QStringLiteral("139%1").arg(i, 8, 10, QChar('0')),
                                 "浙江省",
                                 "杭州市",
                                 "西湖区",
                                 QStringLiteral("文三路%1号").arg(i)};
    };
    for (int i = 0; i < 250; ++i)
        day.append(buyer(i));
    for (int p = 0; p < 40; ++p) {
        BuyerMerge::Buyer again = buyer(p * 6);
        if (p % 2)
            again.phone = QStringLiteral("137%1").arg(p, 8, 10, QChar('0')); // the name and address alone
        else
            again.name = QStringLiteral("同一人%1").arg(p); // the phone and address alone
        pairs.insert({p * 6, int(day.size())});
        day.append(again);
    }
    for (int t = 0; t < 10; ++t) {
        BuyerMerge::Buyer trap = buyer(t * 6 + 1);
        if (t % 2)
            trap.street += QStringLiteral("旁"); // the same name and phone, another address
        else
            trap = {QStringLiteral("别人%1").arg(t),
                    QStringLiteral("136%1").arg(t, 8, 10, QChar('0')),
                    trap.province,
                    trap.city,
                    trap.district,
                    trap.street}; // another buyer at the same address
        day.append(trap);
    }
    const QList<BuyerMerge::Proposal> proposals = BuyerMerge::propose(day);
    QSet<QPair<int, int>> found;
    for (const BuyerMerge::Proposal &p : proposals) {
        QCOMPARE(p.orders.size(), 2);
        found.insert({p.orders[0], p.orders[1]});
    }
    QCOMPARE(found, pairs);
}

QTEST_GUILESS_MAIN(OrdersTest)
#include "tst_orders.moc"
