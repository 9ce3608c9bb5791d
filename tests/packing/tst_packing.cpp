// The picking list and the packing slips: what is summed and in which order,
// the CSV a spreadsheet reads back, the A4 pages read back from their PDF, and
// slips that come out in the order of the waybills and scan back to their orders.
#include "addressbook/csvtext.h"
#include "batch/printbatch.h"
#include "packing/frmpickinglist.h"
#include "packing/pickinglist.h"
#include "packing/slipprinter.h"
#include "platform/printqueue.h"
#include "printedpages.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>

#include <numeric>

Q_DECLARE_METATYPE(PrintBatch)

namespace {

OrderItem item(const QString &code, const QString &title, const QString &spec, int quantity)
{
    OrderItem i;
    i.code = code;
    i.title = title;
    i.spec = spec;
    i.quantity = quantity;
    return i;
}

BatchRow row(const QString &orderNumber, const QList<OrderItem> &items, const QString &name = "张三")
{
    BatchRow r;
    r.recipient = {QString(), name, "广东省", "深圳市", "南山区", "科技园路1号", "13812345678", "518000"};
    r.orderNumber = orderNumber;
    r.items = items;
    return r;
}

MergedOrder merged(const QString &orderNumber, const QList<OrderItem> &items, const QString &note = QString())
{
    MergedOrder m;
    m.orderNumber = orderNumber;
    m.items = items;
    m.note = note;
    return m;
}

// Parcels 2 … n of row's parcel, placed after it; they repeat its items, as a
// copy of its row would.
void splitIntoParcels(PrintBatch &batch, int first, int parcels)
{
    batch.rows[first].parcels = parcels;
    for (int p = 2; p <= parcels; ++p) {
        BatchRow later = batch.rows[first];
        later.id = BatchRow::newId();
        later.parcel = p;
        later.parcelOf = batch.rows[first].id;
        batch.rows.insert(first + p - 1, later);
    }
}

// Each line as "code|title|spec|quantity|sheets".
QStringList linesOf(const PickingList &list)
{
    QStringList lines;
    for (const PickingList::Line &l : list.lines())
        lines.append(QStringList{l.code, l.title, l.spec, QString::number(l.quantity), l.sheets()}.join('|'));
    return lines;
}

// The text of every page of a PDF, page by page.
QStringList pageTexts(const QString &pdf)
{
    QString error;
    const QString text = QString::fromUtf8(runTool(findTool("pdftotext"), {"-layout", pdf, "-"}, &error));
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    QStringList pages = text.split('\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// Every page of a PDF as a grey PNG file in folder, in page order.
QStringList rasterisePages(const QString &pdf, int dpi, const QString &folder)
{
    QString error;
    runTool(findTool("pdftoppm"), {"-r", QString::number(dpi), "-gray", "-png", pdf, folder + "/page"},
            &error);
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    QStringList pages;
    for (const QString &name : QDir(folder).entryList({"page*.png"}, QDir::Files, QDir::Name))
        pages.append(folder + '/' + name);
    return pages;
}

QStringList decodeBarcodes(const QString &png)
{
    return QString::fromUtf8(
               runTool(findTool("zbarimg"), {"--raw", "-q", "-Sdisable", "-Scode128.enable", png}))
        .split('\n', Qt::SkipEmptyParts);
}

// A packing slip as a shop lays one out on A5: the order numbers, the items,
// the remarks and a Code 128 of the first order number.
Forms::Form slipForm()
{
    Forms::Form form;
    form.id = Forms::Form::newId();
    form.name = "发货单";
    form.paper = {148, 210};
    const auto text = [&](const QString &key, QRectF box) {
        Forms::FormField f;
        f.keys = QStringList{key};
        f.box = box;
        f.pointSize = 11;
        form.fields.push_back(f);
    };
    text("txtNameTo", {10, 10, 80, 8});
    text("orderNumbers", {10, 20, 80, 20});
    text("items", {10, 45, 128, 100});
    text("remarks", {10, 150, 128, 20});
    Forms::FormField code;
    code.source = Forms::FormField::Source::FixedText;
    code.text = "{订单编号}";
    code.symbol = Forms::FormField::Symbol::Code128;
    code.moduleMm = 0.33;
    code.box = {10, 175, 110, 25};
    form.fields.push_back(code);
    return form;
}

QString testPrinter()
{
    const QString name = qEnvironmentVariable("PRINTER");
    return !name.isEmpty() && !QPrinterInfo::printerInfo(name).isNull() ? name : QString();
}

} // namespace

class PackingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void summed_data();
    void summed();
    void sumOfEveryParcel();
    void chosenRows();
    void order();
    void csvReadBack();
    void pagesOfALongList();
    void slipsInPrintOrder();
    void slipOnAnImage();
    void slipsAsOneJob();
    void pickingWindow();
    void pickingWindowPrints_data();
    void pickingWindowPrints();
    void printDialog_data();
    void printDialog();
};

void PackingTest::summed_data()
{
    QTest::addColumn<PrintBatch>("batch");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("pieces");
    QTest::addColumn<int>("parcels");

    {
        // The orders merged into a parcel pack with it.
        PrintBatch b;
        b.rows = {row("A1", {item("T-01", "T恤", "白色 XL", 2)}),
                  row("A2", {item("T-01", "T恤", "白色 XL", 1)}), row("A3", {item("M-9", "马克杯", "", 1)})};
        b.rows[1].merged = {merged("A4", {item("T-01", "T恤", "白色 XL", 3), item("M-9", "马克杯", "", 2)})};
        QTest::newRow("merged orders")
            << b << QStringList{"M-9|马克杯||3|2, 3", "T-01|T恤|白色 XL|6|1, 2"} << 9 << 3;
    }
    {
        // Parcels 2 and 3 of the first row carry its order, not its items again.
        PrintBatch b;
        b.rows = {row("B1", {item("K-1", "键盘", "", 1), item("K-2", "键帽", "", 4)}),
                  row("B2", {item("K-1", "键盘", "", 1)})};
        splitIntoParcels(b, 0, 3);
        QTest::newRow("later parcels") << b << QStringList{"K-1|键盘||2|1, 4", "K-2|键帽||4|1"} << 6 << 2;
    }
    {
        // One code is one product, however each shop titled it; without a code
        // the title and the variant tell products apart.
        PrintBatch b;
        b.rows = {row("C1", {item("X-1", "帆布包", "黑色", 1), item("", "袜子", "白色", 2)}),
                  row("C2", {item("X-1", "帆布包 新款", "黑", 2), item("", "袜子", "黑色", 1)}),
                  row("C3", {item("", "袜子", "白色", 3), item("", "X-1", "", 1)})};
        QTest::newRow("by code, else by title and variant")
            << b << QStringList{"X-1|帆布包|黑色|3|1, 2", "|袜子|白色|5|1, 3", "|袜子|黑色|1|2", "|X-1||1|3"}
            << 10 << 3;
    }
    {
        // A row with nothing to pack is no parcel of the list; the sheets are
        // counted as the user counts them, runs of three shortened.
        PrintBatch b;
        for (int i = 0; i < 8; ++i)
            b.rows.append(row(QString("D%1").arg(i), i == 3 || i == 5
                                                         ? QList<OrderItem>{}
                                                         : QList<OrderItem>{item("P", "笔", "", 1)}));
        QTest::newRow("rows without items") << b << QStringList{"P|笔||6|1–3, 5, 7, 8"} << 6 << 6;
    }
}

void PackingTest::summed()
{
    QFETCH(PrintBatch, batch);
    QFETCH(QStringList, lines);
    QFETCH(int, pieces);
    QFETCH(int, parcels);
    const PickingList list(batch);
    QCOMPARE(linesOf(list), lines);
    QCOMPARE(list.pieces(), pieces);
    QCOMPARE(list.lineCount(), lines.size());
    QCOMPARE(list.parcels(), parcels);
}

// On a day's batch of many rows, merged orders and parcels of several, the
// list holds every piece of every first parcel once, in the rows it came from.
void PackingTest::sumOfEveryParcel()
{
    QRandomGenerator random(7);
    PrintBatch batch;
    for (int i = 0; i < 300; ++i) {
        const auto someItems = [&] {
            QList<OrderItem> items;
            for (int n = random.bounded(4); n > 0; --n) {
                const int product = random.bounded(40);
                items.append(item(product % 3 ? QString("SKU-%1").arg(product) : QString(),
                                  QString("商品%1").arg(product), QString("规格%1").arg(product % 2),
                                  1 + random.bounded(5)));
            }
            return items;
        };
        BatchRow r = row(QString("E%1").arg(i), someItems());
        if (random.bounded(5) == 0)
            r.merged = {merged(QString("E%1-m").arg(i), someItems())};
        batch.rows.append(r);
    }
    for (int i = batch.rows.size() - 1; i >= 0; i -= 37)
        splitIntoParcels(batch, i, 2);

    QHash<QString, int> expected; // by order number and product
    int pieces = 0;
    for (int i = 0; i < batch.rows.size(); ++i) {
        if (!batch.rows[i].isFirstParcel())
            continue;
        for (const OrderItem &it : batch.rows[i].allItems()) {
            expected[it.code.isEmpty() ? it.title + it.spec : it.code] += it.quantity;
            pieces += it.quantity;
        }
    }
    const PickingList list(batch);
    QHash<QString, int> found;
    for (const PickingList::Line &line : list.lines()) {
        QVERIFY2(!found.contains(line.code.isEmpty() ? line.title + line.spec : line.code),
                 qPrintable(line.code));
        found[line.code.isEmpty() ? line.title + line.spec : line.code] = line.quantity;
        for (const int r : line.rows) {
            const QList<OrderItem> items = batch.rows[r].allItems();
            QVERIFY(batch.rows[r].isFirstParcel());
            QVERIFY(std::any_of(items.cbegin(), items.cend(), [&](const OrderItem &it) {
                return line.code.isEmpty()
                           ? it.code.isEmpty() && it.title == line.title && it.spec == line.spec
                           : it.code == line.code;
            }));
        }
    }
    QCOMPARE(found, expected);
    QCOMPARE(list.pieces(), pieces);
}

// The rows chosen in the batch window, each once; a later parcel stands for its first.
void PackingTest::chosenRows()
{
    PrintBatch batch;
    batch.rows = {row("F1", {item("A", "甲", "", 1)}), row("F2", {item("A", "甲", "", 2)}),
                  row("F3", {item("B", "乙", "", 5)})};
    batch.rows[2].merged = {merged("F4", {item("A", "甲", "", 4)})};
    splitIntoParcels(batch, 2, 2);
    const PickingList list(batch, {batch.rows[0].id, batch.rows[3].id, "R-unknown", batch.rows[0].id});
    QCOMPARE(linesOf(list), (QStringList{"A|甲||5|1, 3", "B|乙||5|3"}));
    QCOMPARE(list.lines()[0].orderNumbers, (QStringList{"F1", "F4"}));
    QCOMPARE(list.parcels(), 2);
    QCOMPARE(PickingList(batch, {}).lineCount(), 0);
}

// Codes in the order a person reads numbers in them, then the products without
// a code by pinyin.
void PackingTest::order()
{
    PrintBatch batch;
    batch.rows = {row("G1", {item("A10", "x", "", 1), item("", "香蕉", "", 1), item("B1", "x", "", 1),
                             item("a3", "x", "", 1), item("", "苹果", "绿", 1)}),
                  row("G2", {item("10", "x", "", 1), item("", "白菜", "", 1), item("A2", "x", "", 1),
                             item("9", "x", "", 1), item("", "苹果", "红", 1)})};
    QStringList shown;
    const PickingList list(batch);
    for (const PickingList::Line &line : list.lines())
        shown.append(line.code.isEmpty() ? line.title + line.spec : line.code);
    QCOMPARE(shown, (QStringList{"9", "10", "A2", "a3", "A10", "B1", "白菜", "苹果红", "苹果绿", "香蕉"}));
}

// What a spreadsheet opens: the cells as they were, none run as a formula.
void PackingTest::csvReadBack()
{
    PrintBatch batch;
    batch.rows = {
        row("H1", {item("=SUM(A1:A9)", "T恤, 白", "他说\"好\"", 2), item("-12", "+86 手机壳", "@黑", 1)}),
        row("H2", {item("", "多行\n标题", "=红", 3)})};
    const PickingList list(batch);
    const QByteArray bytes = list.csv();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    QVERIFY(text.endsWith("\r\n"));
    QCOMPARE(text.count("\r\n"), 4); // a line break in a cell stays a bare LF, within quotes
    // Each cell a spreadsheet would run is written after a "'".
    for (const char *guarded : {"'=SUM(A1:A9)", "'-12", "'+86 手机壳", "'@黑", "'=红"})
        QVERIFY2(text.contains(QString::fromUtf8(guarded)), guarded);

    const CsvText::Table read = CsvText::read(CsvText::decode(bytes));
    QCOMPARE(read.rows.size(), 4);
    QCOMPARE(read.rows[0], (QStringList{"商家编码", "商品", "规格", "数量", "所在行"}));
    for (int i = 0; i < list.lineCount(); ++i) {
        const PickingList::Line &l = list.lines()[i];
        QCOMPARE(read.rows[i + 1],
                 (QStringList{l.code, l.title, l.spec, QString::number(l.quantity), l.sheets()}));
    }
}

// 120 products on A4: every product once, in order, the pages full but the
// last, each with the column heading and its number of all, at true size.
void PackingTest::pagesOfALongList()
{
    if (findTool("pdftotext").isEmpty() || findTool("pdftoppm").isEmpty())
        QSKIP("pdftotext and pdftoppm (poppler-utils) are needed to read the pages back");
    PrintBatch batch;
    batch.created = "2026-12-08 09:30:00";
    for (int i = 0; i < 120; ++i)
        batch.rows.append(row(QString("J%1").arg(i), {item(QString("SKU%1").arg(i + 1, 4, 10, QChar('0')),
                                                           "纯棉短袖T恤", "白色 XL", 1 + i % 3)}));
    // One product in nearly every row: its rows fill cells of several lines.
    for (int i = 0; i < 120; i += 2)
        batch.rows[i].items.append(item("SKU0001", "纯棉短袖T恤", "白色 XL", 1));
    const PickingList list(batch);
    QCOMPARE(list.lineCount(), 120);

    QTemporaryDir dir;
    const QString pdf = dir.filePath("list.pdf");
    {
        QPdfWriter writer(pdf);
        writer.setResolution(600);
        QString error;
        QVERIFY2(list.paint(writer, &error), qPrintable(error));
    }
    const QStringList pages = pageTexts(pdf);
    QVERIFY2(pages.size() > 1, qPrintable(QString::number(pages.size())));
    QCOMPARE(pages.size(), list.pageCount());
    QList<int> perPage;
    int next = 1;
    for (int p = 0; p < pages.size(); ++p) {
        const QString &page = pages[p];
        QVERIFY2(page.contains(QString("第 %1 页，共 %2 页").arg(p + 1).arg(pages.size())), qPrintable(page));
        QVERIFY2(page.contains("商家编码") && page.contains("所在行"), qPrintable(page));
        QVERIFY2(page.contains("批次 2026-12-08 09:30") && page.contains(list.totalsText()),
                 qPrintable(page));
        static const QRegularExpression code("SKU(\\d{4})");
        int count = 0;
        for (auto it = code.globalMatch(page); it.hasNext(); ++count)
            QCOMPARE(it.next().captured(1).toInt(), next++);
        perPage.append(count);
    }
    QCOMPARE(next, 121);
    // Only the first page has the tall line; the pages after it hold as many lines each.
    for (int p = 2; p + 1 < perPage.size(); ++p)
        QCOMPARE(perPage[p], perPage[1]);
    QVERIFY(perPage.last() <= perPage[1]);

    // On paper: the table's rules span 15 to 195 mm, and the page number stands
    // clear below the table.
    const int dpi = 100;
    const QStringList images = rasterisePages(pdf, dpi, dir.path());
    QCOMPARE(images.size(), pages.size());
    for (const QString &file : images) {
        const QImage page = QImage(file).convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(page.size(), QSize(827, 1170)); // A4 at 100 dpi
        const QRectF ink = inkMm(page, QRectF(0, 40, 210, 200), dpi);
        QVERIFY2(qAbs(ink.left() - 15) < 0.5 && qAbs(ink.right() - 195) < 0.5,
                 qPrintable(QString("%1 … %2 mm").arg(ink.left()).arg(ink.right())));
        QList<bool> inked(page.height());
        for (int y = 0; y < page.height(); ++y)
            inked[y] = !inkMm(page, QRectF(15, y * 25.4 / dpi, 180, 25.4 / dpi * 0.9), dpi).isNull();
        int y = page.height() - 1;
        while (y > 0 && !inked[y])
            --y;
        while (y > 0 && inked[y]) // the page number
            --y;
        int gap = 0;
        while (y > 0 && !inked[y])
            --y, ++gap;
        QVERIFY2(gap * 25.4 / dpi >= 2, qPrintable(QString("%1: %2 mm").arg(file).arg(gap * 25.4 / dpi)));
    }
}

void PackingTest::slipsInPrintOrder()
{
    if (findTool("pdftotext").isEmpty() || findTool("pdftoppm").isEmpty() || findTool("zbarimg").isEmpty())
        QSKIP("poppler-utils and zbar-tools are needed to read the slips back");
    PrintBatch batch;
    for (int i = 0; i < 5; ++i)
        batch.rows.append(row(QString("20261208%1").arg(i, 3, 10, QChar('0')),
                              {item("S", "围巾", "灰色", i + 1)}, "收件人"));
    batch.rows[1].merged = {merged("2026120999", {item("G", "手套", "", 1)}, "请勿折叠")};
    batch.rows[1].note = "送人的，别放发票";
    splitIntoParcels(batch, 1, 2); // rows: 0, 1 (1/2), 2 (2/2), 3, 4, 5
    // The waybills came out as rows 4, 1, 5; then the second parcel and row 3 were never printed.
    batch.rows[4].printOrder = 1;
    batch.rows[1].printOrder = 2;
    batch.rows[5].printOrder = 3;
    batch.rows[2].printOrder = 4;
    QList<int> all(batch.rows.size());
    std::iota(all.begin(), all.end(), 0);
    QCOMPARE(SlipPrinter::slipOrder(batch, all), (QList<int>{4, 1, 5, 0, 3}));
    QCOMPARE(SlipPrinter::slipOrder(batch, {3, 2, 5, 5}), (QList<int>{5, 3}));

    const PrintQueue queue;
    const SlipPrinter slips(slipForm(), queue);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("slips.pdf");
    {
        QPdfWriter writer(pdf);
        writer.setResolution(300);
        QString error;
        QVERIFY2(slips.paint(writer, batch, all, &error), qPrintable(error));
    }
    const QList<int> expected{4, 1, 5, 0, 3};
    const QStringList texts = pageTexts(pdf);
    QCOMPARE(texts.size(), expected.size());
    const QStringList images = rasterisePages(pdf, 300, dir.path());
    QCOMPARE(images.size(), expected.size());
    // The form's paper, 148 × 210 mm (a PDF page is whole points).
    const QSizeF paper = QSizeF(QImage(images[0]).size()) * 25.4 / 300;
    QVERIFY2(qAbs(paper.width() - 148) < 0.5 && qAbs(paper.height() - 210) < 0.5,
             qPrintable(QString("%1 × %2 mm").arg(paper.width()).arg(paper.height())));
    for (int p = 0; p < expected.size(); ++p) {
        const BatchRow &r = batch.rows[expected[p]];
        QVERIFY2(texts[p].contains(r.orderNumber) &&
                     texts[p].contains(QString("围巾 灰色 ×%1").arg(r.items[0].quantity)),
                 qPrintable(texts[p]));
        QCOMPARE(decodeBarcodes(images[p]), QStringList{r.orderNumber});
    }
    // The merged order's items and remarks are on its parcel's slip.
    QVERIFY2(texts[1].contains("2026120999") && texts[1].contains("手套 ×1") &&
                 texts[1].contains("请勿折叠") && texts[1].contains("送人的，别放发票"),
             qPrintable(texts[1]));

    QString error;
    QPdfWriter none(dir.filePath("none.pdf"));
    QVERIFY(!slips.paint(none, batch, {2}, &error));
    QCOMPARE(error, QStringLiteral("所选的行没有要打印的发货单。"));
}

// A slip after each waybill: one row's slip drawn on its own, at a label
// printer's resolution, scans back to its order.
void PackingTest::slipOnAnImage()
{
    if (findTool("zbarimg").isEmpty())
        QSKIP("zbarimg (zbar-tools) is needed to read the slip back");
    PrintBatch batch;
    batch.rows = {row("888001", {item("S", "围巾", "", 1)}), row("888002", {item("S", "围巾", "", 1)})};
    batch.rows[1].merged = {merged("888003", {})};
    const PrintQueue queue;
    const SlipPrinter slips(slipForm(), queue);
    const int dpi = 203;
    QImage image(qRound(148 / 25.4 * dpi), qRound(210 / 25.4 * dpi), QImage::Format_Grayscale8);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        slips.paintSlip(painter, batch, 1);
    }
    QTemporaryDir dir;
    const QString png = dir.filePath("slip.png");
    QVERIFY(image.save(png));
    QCOMPARE(decodeBarcodes(png), QStringList{"888002"});
    // At true size: the bars from the field's top, 175 mm down, centred in it.
    const QRectF bars = inkMm(image, QRectF(0, 170, 148, 15), dpi);
    QVERIFY2(qAbs(bars.top() - 175) < 0.3 && qAbs(bars.center().x() - 65) < 0.5,
             qPrintable(QString("%1, %2 mm").arg(bars.center().x()).arg(bars.top())));
}

// Sent to a printer by its name: one job with a page for each slip; a printer
// that is not there is named in the reason.
void PackingTest::slipsAsOneJob()
{
    const QString printer = testPrinter();
    if (printer.isEmpty() || findTool("pdftoppm").isEmpty() || findTool("zbarimg").isEmpty())
        QSKIP("a PDF queue named by PRINTER (scripts/printer.sh), pdftoppm and zbarimg are needed");
    PrintBatch batch;
    for (int i = 0; i < 3; ++i)
        batch.rows.append(row(QString("77700%1").arg(i), {item("S", "围巾", "", 1)}));
    batch.rows[2].printOrder = 1;
    const PrintQueue queue;
    const SlipPrinter slips(slipForm(), queue);
    QString error;
    int job = 0;
    QVERIFY2(slips.print(printer, batch, {0, 1, 2}, &error, &job), qPrintable(error));
    QVERIFY(job > 0);
    const QString file = jobFile(job);
    QVERIFY(!file.isEmpty());
    // The queue's PDF keeps no text to read back; the barcodes on its pages tell the orders.
    QTemporaryDir dir;
    const QStringList pages = rasterisePages(file, 300, dir.path());
    QFile::remove(file);
    QCOMPARE(pages.size(), 3);
    QStringList orders;
    for (const QString &page : pages)
        orders += decodeBarcodes(page);
    QCOMPARE(orders, (QStringList{"777002", "777000", "777001"}));

    QVERIFY(!slips.print("Quillbox-No-Such-Queue", batch, {0}, &error, &job));
    QVERIFY2(error.contains("Quillbox-No-Such-Queue") && error.contains("没有打印"), qPrintable(error));
    QCOMPARE(job, 0);
}

// The window shows the rows chosen first, all rows at a key; its CSV is the list's.
void PackingTest::pickingWindow()
{
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    Platform platform(folder.root, folder.settingsFile(), dialogs);
    PrintBatch batch;
    batch.rows = {row("K1", {item("A", "甲", "", 1)}), row("K2", {item("B", "乙", "", 2)}),
                  row("K3", {item("A", "甲", "", 3)})};
    const QString csv = folder.dir.filePath("拣货单.csv");
    QStringList asked;
    auto window = std::make_unique<frmPickingList>(
        platform, batch, QStringList{batch.rows[1].id, batch.rows[2].id}, [](QWidget *) { return QString(); },
        [&](QWidget *, const QString &title, const QString &name, const QString &) {
            asked << title << name;
            return csv;
        });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *grid = window->findChild<QTableView *>("grdLines");
    auto *range = window->findChild<QComboBox *>("cmbRows");
    auto *totals = window->findChild<QLabel *>("lblTotals");
    QVERIFY(grid && range && totals);
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (qobject_cast<QPushButton *>(control) || qobject_cast<QComboBox *>(control) ||
            qobject_cast<QTableView *>(control))
            QVERIFY2(!control->accessibleName().isEmpty() && !control->objectName().isEmpty(),
                     control->metaObject()->className());
    }

    const auto shown = [grid] {
        QStringList lines;
        for (int r = 0; r < grid->model()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid->model()->columnCount(); ++c)
                cells.append(grid->model()->index(r, c).data().toString());
            lines.append(cells.join('|'));
        }
        return lines;
    };
    QCOMPARE(range->currentText(), QStringLiteral("所选 2 行"));
    QCOMPARE(shown(), (QStringList{"A|甲||3|3", "B|乙||2|2"}));
    QCOMPARE(totals->text(), QStringLiteral("共 2 种商品，5 件，2 个包裹"));

    range->setFocus();
    QTest::keyClick(range, Qt::Key_Down);
    QCOMPARE(range->currentText(), QStringLiteral("全部 3 行"));
    QCOMPARE(shown(), (QStringList{"A|甲||4|1, 3", "B|乙||2|2"}));
    QCOMPARE(totals->text(), QStringLiteral("共 2 种商品，6 件，3 个包裹"));

    window->findChild<QPushButton *>("cmdExportCsv")->click();
    QCOMPARE(asked, (QStringList{"导出拣货单", "拣货单 " + batch.created.left(10) + ".csv"}));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), window->list().csv());
    QVERIFY(dialogs.messages.isEmpty());

    // A file that cannot be written is named, and the window stays.
    const ReadOnly locked(folder.dir.path());
    QFile::remove(csv);
    window->findChild<QPushButton *>("cmdExportCsv")->click();
    QCOMPARE(dialogs.messages.size(), 1);
    QVERIFY2(dialogs.messages[0].text.contains("拣货单.csv"), qPrintable(dialogs.messages[0].text));
    QVERIFY(window->isVisible());

    window->findChild<QPushButton *>("cmdClose")->click();
    QVERIFY(!window->isVisible());
}

void PackingTest::pickingWindowPrints_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<bool>("sent");
    QTest::newRow("the test queue") << testPrinter() << true;
    QTest::newRow("a queue that is gone") << "Quillbox-No-Such-Queue" << false;
    QTest::newRow("cancelled") << QString() << false;
}

// 打印… prints the list on the printer chosen, as one job of all its pages.
void PackingTest::pickingWindowPrints()
{
    QFETCH(QString, printer);
    QFETCH(bool, sent);
    if (testPrinter().isEmpty() || findTool("pdfinfo").isEmpty())
        QSKIP("a PDF queue named by PRINTER (scripts/printer.sh) and pdfinfo are needed");
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    Platform platform(folder.root, folder.settingsFile(), dialogs);
    PrintBatch batch;
    batch.created = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss");
    for (int i = 0; i < 60; ++i)
        batch.rows.append(row(QString("L%1").arg(i), {item(QString("C%1").arg(i), "商品", "", 1)}));
    const QString title = "拣货单 " + batch.created.left(16);
    QList<PrintQueue::TitledJob> before;
    QVERIFY(platform.printQueue().jobsTitled(title, &before));
    int asked = 0;
    frmPickingList window(
        platform, batch, {},
        [&](QWidget *) {
            ++asked;
            return printer;
        },
        [](QWidget *, const QString &, const QString &, const QString &) { return QString(); });
    window.findChild<QPushButton *>("cmdPrint")->click();
    QCOMPARE(asked, 1);
    QList<PrintQueue::TitledJob> jobs;
    QVERIFY(platform.printQueue().jobsTitled(title, &jobs));
    QCOMPARE(jobs.size() - before.size(), sent ? 1 : 0);
    QCOMPARE(dialogs.messages.size(), !sent && !printer.isEmpty() ? 1 : 0);
    if (!sent) {
        if (!printer.isEmpty())
            QVERIFY2(dialogs.messages[0].text.contains(printer), qPrintable(dialogs.messages[0].text));
        return;
    }
    const QString file = jobFile(jobs.last().id);
    QVERIFY(!file.isEmpty());
    // The queue's PDF keeps no text to read back: its pages are counted and measured.
    const QString info = QString::fromUtf8(runTool(findTool("pdfinfo"), {file}));
    QFile::remove(file);
    QVERIFY(window.list().pageCount() >= 2);
    QVERIFY2(info.contains(QRegularExpression(QString("Pages:\\s+%1\\n").arg(window.list().pageCount()))),
             qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression("Page size:.*\\(A4\\)")), qPrintable(info));
}

void PackingTest::printDialog_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("printed") << true;
    QTest::newRow("cancelled") << false;
}

// The print dialog the program asks with gives the queue chosen by its name.
void PackingTest::printDialog()
{
    QFETCH(bool, accept);
    const QString printer = testPrinter();
    if (printer.isEmpty())
        QSKIP("a PDF queue named by PRINTER (scripts/printer.sh) is needed");
    QString chosen = "-";
    const QStringList shown = runModal([&] { chosen = frmPickingList::askPrinter(nullptr); },
                                       [&](QDialog &dialog) {
                                           QCOMPARE(dialog.windowTitle(), QStringLiteral("打印拣货单"));
                                           if (accept)
                                               dialog.accept();
                                       });
    QCOMPARE(shown.size(), 1);
    QCOMPARE(chosen, accept ? printer : QString());
}

QTEST_MAIN(PackingTest)
#include "tst_packing.moc"
