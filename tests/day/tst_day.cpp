#include "testday.h"

#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "batch/batchparcels.h"
#include "batch/printbatch.h"
#include "forms/form.h"
#include "orders/orderfile.h"
#include "packing/pickinglist.h"
#include "packing/slipprinter.h"
#include "platform/printqueue.h"
#include "testsupport.h"

#include <QPdfWriter>
#include <QProcess>
#include <QSet>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeXlsx(const QString &path, const QList<QStringList> &table)
{
    QProcess writer;
    writer.start(QStringLiteral(WRITE_XLSX_FIXTURE), {path});
    for (const QStringList &row : table)
        writer.write(row.join(u'\t').toUtf8() + '\n');
    writer.closeWriteChannel();
    return writer.waitForFinished() && writer.exitStatus() == QProcess::NormalExit && writer.exitCode() == 0;
}

QByteArray gbkCsv(const QList<QStringList> &table)
{
    QString text;
    for (const QStringList &row : table)
        text += row.join(u',') + QStringLiteral("\r\n");
    QStringEncoder gbk("GBK");
    return gbk.encode(text);
}

QString run(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(300000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The proposals as groups of order numbers, each sorted.
QSet<QString> proposedGroups(const PrintBatch &batch)
{
    QSet<QString> groups;
    for (const BatchParcels::Proposal &proposal : BatchParcels::proposals(batch)) {
        QStringList numbers;
        for (const QString &id : proposal.rowIds)
            numbers.append(batch.rows[batch.rowWithId(id)].orderNumber);
        numbers.sort();
        groups.insert(numbers.join(u' '));
    }
    return groups;
}

} // namespace

// A shop's day from its web shop's export to the shipping file: 300 orders, a
// row per product, 40 buyers who ordered twice and 10 look-alikes.
class DayTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void dayOfOrders_data();
    void dayOfOrders();

private:
    RegionTable m_regions;
    std::unique_ptr<AddressParser> m_parser;
};

void DayTest::initTestCase()
{
    QVERIFY(m_regions.load());
    m_parser = std::make_unique<AddressParser>(m_regions);
}

void DayTest::dayOfOrders_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("GBK CSV") << "csv";
    QTest::newRow("XLSX") << "xlsx";
}

void DayTest::dayOfOrders()
{
    QFETCH(QString, format);
    const TestDay::Day day = TestDay::make();
    QTemporaryDir dir;
    const QString path = dir.path() + "/orders." + format;
    if (format == "xlsx") {
        QVERIFY(writeXlsx(path, day.table));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(gbkCsv(day.table));
    }
    const OrderFileResult read = OrderFileReader(*m_parser).readFile(path);
    QVERIFY2(read.ok(), qPrintable(read.error));
    QCOMPARE(read.rows.size(), day.orders);
    QCOMPARE(read.joinedRows, int(day.table.size()) - 1 - day.orders);

    PrintBatch batch;
    for (const OrderRow &order : read.rows)
        batch.rows.append(BatchRow::fromOrder(order));
    int pieces = 0;
    for (const BatchRow &row : std::as_const(batch.rows)) {
        for (const OrderItem &item : row.items)
            pieces += item.quantity;
    }
    QCOMPARE(pieces, day.pieces);

    // Every buyer who ordered twice, and none of the look-alikes.
    QSet<QString> expected;
    for (QStringList pair : day.pairs) {
        pair.sort();
        expected.insert(pair.join(u' '));
    }
    const QSet<QString> proposed = proposedGroups(batch);
    for (const QStringList &trap : day.traps)
        QVERIFY2(std::none_of(proposed.cbegin(), proposed.cend(),
                              [&](const QString &group) {
                                  return group.contains(trap[0]) && group.contains(trap[1]);
                              }),
                 qPrintable(trap.join(u' ')));
    QCOMPARE(proposed, expected);

    QString error;
    for (const BatchParcels::Proposal &proposal : BatchParcels::proposals(batch))
        QVERIFY2(BatchParcels::merge(batch, proposal.rowIds, &error) >= 0, qPrintable(error));
    QCOMPARE(batch.rows.size(), day.orders - day.pairs.size());
    QStringList remarks;
    for (const BatchRow &row : std::as_const(batch.rows))
        remarks += row.remarks();
    remarks.sort();
    QStringList written = day.remarks;
    written.sort();
    QCOMPARE(remarks, written);

    // The picking list counts every piece once, merged parcels included.
    const PickingList picking(batch);
    int picked = 0;
    for (const PickingList::Line &line : picking.lines())
        picked += line.quantity;
    QCOMPARE(picked, day.pieces);
    QCOMPARE(picking.pieces(), day.pieces);

    // The merged parcels' slips (and a few others): every remark on its page,
    // the barcode read back as the parcel's first order.
    QList<int> slipped;
    for (int i = 0; i < batch.rows.size(); ++i) {
        if (!batch.rows[i].merged.isEmpty() || i % 50 == 0)
            slipped.append(i);
    }
    QVERIFY(slipped.size() > day.pairs.size());
    const Forms::Form a5 = Forms::slipPresets()[1];
    const PrintQueue queue;
    QPdfWriter pdf(dir.path() + "/slips.pdf");
    pdf.setResolution(300);
    QVERIFY2(SlipPrinter(a5, queue).paint(pdf, batch, slipped, &error), qPrintable(error));
    const QList<int> order = SlipPrinter::slipOrder(batch, slipped);
    QCOMPARE(order.size(), slipped.size());
    run("pdftoppm", {"-r", "200", "-gray", "-png", dir.path() + "/slips.pdf", dir.path() + "/slip"});
    QStringList pages = QDir(dir.path()).entryList({"slip-*.png"}, QDir::Files, QDir::Name);
    QCOMPARE(pages.size(), order.size());
    for (int page = 0; page < order.size(); ++page) {
        const BatchRow &row = batch.rows[order[page]];
        const QString code = run("zbarimg", {"--raw", "-q", dir.path() + "/" + pages[page]}).trimmed();
        QCOMPARE(code, row.orderNumber);
        const QString text = run("pdftotext", {"-f", QString::number(page + 1), "-l",
                                               QString::number(page + 1), dir.path() + "/slips.pdf", "-"});
        for (const QString &remark : row.remarks())
            QVERIFY2(text.contains(remark), qPrintable(remark + " / " + text));
        for (const QString &number : row.orderNumbers())
            QVERIFY2(text.contains(number), qPrintable(number));
    }

    // Numbered, the shipping file names every order once, with its parcel's number.
    for (int i = 0; i < batch.rows.size(); ++i)
        batch.rows[i].waybillNumber = QStringLiteral("SF1%1").arg(i, 11, 10, QChar(u'0'));
    QList<int> rows;
    int withoutOrder = 0, before = 0;
    const QList<ShippingFile::Line> lines =
        BatchParcels::shippingLines(batch, "顺丰速运", false, &rows, &withoutOrder, &before);
    QCOMPARE(lines.size(), day.orders);
    QSet<QString> orders;
    for (const ShippingFile::Line &line : lines)
        orders.insert(line.orderNumber);
    QCOMPARE(orders.size(), day.orders);
}

QTEST_MAIN(DayTest)
#include "tst_day.moc"
