// The barcode engine: refusals with their reasons, and barcodes printed into a
// PDF, rasterised by Ghostscript as a label printer's filter does, read back
// by zbarimg and measured dot by dot.
#include "barcode/barcodepainter.h"

#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using Barcode::BarcodePainter;
using Barcode::Kind;
using Barcode::Request;

namespace {

constexpr double MmPerInch = 25.4;
// The writer's own margins: the painter's origin is not the page's corner.
constexpr double MarginMm = 3.3;
const QSizeF PageMm(210, 297);
// Code 128 boxes: two columns of rows, bars 10 mm high and the text below.
constexpr double CodeBoxW = 100, CodeBoxH = 14, CodeRowPitch = 15;
constexpr int CodeColumns = 2, CodeRows = 19;
constexpr double QrBox = 32;
constexpr int QrColumns = 6, QrRows = 8;

QString randomNumber(QRandomGenerator &random)
{
    static const QString alphabet =
        QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int length = 8 + random.bounded(13);
    QString number;
    for (int i = 0; i < length; ++i)
        number.append(alphabet.at(random.bounded(int(alphabet.size()))));
    return number;
}

QString randomAddress(QRandomGenerator &random)
{
    static const QStringList provinces{
        QStringLiteral("浙江省杭州市西湖区"), QStringLiteral("广东省深圳市南山区"),
        QStringLiteral("北京市朝阳区"),       QStringLiteral("四川省成都市武侯区"),
        QStringLiteral("江苏省南京市鼓楼区"), QStringLiteral("新疆维吾尔自治区乌鲁木齐市天山区")};
    static const QStringList streets{QStringLiteral("文三路"), QStringLiteral("科技园南区高新南一道"),
                                     QStringLiteral("建国路"), QStringLiteral("人民南路四段"),
                                     QStringLiteral("中山北路")};
    static const QStringList names{QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("王小明"),
                                   QStringLiteral("欧阳娜娜")};
    return QStringLiteral("%1%2%3号 %4 1%5")
        .arg(provinces.at(random.bounded(int(provinces.size()))),
             streets.at(random.bounded(int(streets.size()))))
        .arg(1 + random.bounded(999))
        .arg(names.at(random.bounded(int(names.size()))))
        .arg(random.bounded(1000000000, 2000000000));
}

QRectF codeBox(int index)
{
    const int onPage = index % (CodeColumns * CodeRows);
    return QRectF(2 + (onPage % CodeColumns) * (CodeBoxW + 3), 2 + (onPage / CodeColumns) * CodeRowPitch,
                  CodeBoxW, CodeBoxH);
}

QRectF qrBox(int index)
{
    const int onPage = index % (QrColumns * QrRows);
    return QRectF(2 + (onPage % QrColumns) * (QrBox + 2), 2 + (onPage / QrColumns) * (QrBox + 2), QrBox,
                  QrBox);
}

// Pages of barcodes into a PDF, the painter in mm from the paint rectangle's corner.
bool writePdf(const QString &path, const QList<Request> &requests, int perPage)
{
    QPdfWriter writer(path);
    writer.setResolution(1200);
    writer.setPageSize(QPageSize(PageMm, QPageSize::Millimeter));
    writer.setPageMargins(QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    painter.scale(writer.resolution() / MmPerInch, writer.resolution() / MmPerInch);
    for (int i = 0; i < requests.size(); ++i) {
        if (i > 0 && i % perPage == 0)
            writer.newPage();
        const BarcodePainter barcode(requests.at(i));
        if (!barcode.ok())
            return false;
        barcode.paint(painter);
    }
    return painter.end();
}

QStringList rasterise(const QString &pdf, int dpi, const QString &folder)
{
    QProcess gs;
    gs.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dSAFER"),
                                    QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"),
                                    QStringLiteral("-sDEVICE=pnggray"), QStringLiteral("-r%1").arg(dpi),
                                    QStringLiteral("-sOutputFile=%1/page-%03d.png").arg(folder), pdf});
    if (!gs.waitForFinished(300000) || gs.exitCode() != 0)
        return {};
    QStringList pages;
    for (const QString &name :
         QDir(folder).entryList({QStringLiteral("page-*.png")}, QDir::Files, QDir::Name))
        pages.append(folder + QLatin1Char('/') + name);
    return pages;
}

QStringList decode(const QStringList &pages)
{
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"),
               QStringList{QStringLiteral("--raw"), QStringLiteral("-q"), QStringLiteral("-Sdisable"),
                           QStringLiteral("-Scode128.enable"), QStringLiteral("-Sqrcode.enable")} +
                   pages);
    if (!zbar.waitForFinished(600000))
        return {};
    QStringList lines =
        QString::fromUtf8(zbar.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Dark and light runs from the first dark dot to the last, along one row.
QList<int> runs(const QImage &image, int y, int fromX, int toX)
{
    QList<int> widths;
    const uchar *row = image.constScanLine(y);
    int x = fromX;
    while (x < toX && row[x] >= 128)
        ++x;
    int last = toX - 1;
    while (last > x && row[last] >= 128)
        --last;
    while (x <= last) {
        const bool dark = row[x] < 128;
        int width = 0;
        while (x <= last && (row[x] < 128) == dark) {
            ++width;
            ++x;
        }
        widths.append(width);
    }
    return widths;
}

QList<int> nominalRuns(const BarcodePainter &barcode)
{
    QList<QRectF> bars = barcode.symbol().bars;
    std::sort(bars.begin(), bars.end(), [](const QRectF &a, const QRectF &b) { return a.x() < b.x(); });
    QList<int> widths;
    for (int i = 0; i < bars.size(); ++i) {
        if (i > 0)
            widths.append(qRound((bars.at(i).x() - bars.at(i - 1).right()) * barcode.dots()));
        widths.append(qRound(bars.at(i).width() * barcode.dots()));
    }
    return widths;
}

} // namespace

class TestBarcode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void refused_data();
    void refused();
    void characterSet_data();
    void characterSet();
    void moduleNote_data();
    void moduleNote();
    void decodes_data();
    void decodes();
    void barWidths_data();
    void barWidths();

private:
    QTemporaryDir m_dir;
    QList<Request> m_codes, m_qrCodes; // laid out for each resolution as it is tried
};

void TestBarcode::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty(), "Ghostscript (gs) is needed");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty(), "zbarimg is needed");
    QRandomGenerator random(20261208);
    for (int i = 0; i < 1000; ++i) {
        Request r;
        r.content = randomNumber(random);
        r.box = codeBox(i);
        m_codes.append(r);
    }
    for (int i = 0; i < 100; ++i) {
        Request r;
        r.kind = Kind::QrCode;
        r.content = randomAddress(random);
        r.box = qrBox(i);
        m_qrCodes.append(r);
    }
}

void TestBarcode::refused_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QSizeF>("box");
    QTest::addColumn<QString>("why");

    const QSizeF label(90, 15);
    QTest::newRow("empty Code 128") << int(Kind::Code128) << QString() << label
                                    << QStringLiteral("条码内容为空");
    QTest::newRow("empty QR code") << int(Kind::QrCode) << QString() << QSizeF(30, 30)
                                   << QStringLiteral("条码内容为空");
    QTest::newRow("Chinese in a Code 128")
        << int(Kind::Code128) << QStringLiteral("SF12张三") << label << QStringLiteral("“张”不能印成条码");
    QTest::newRow("QR text past its capacity") << int(Kind::QrCode) << QString(3000, QChar(0x4e2d))
                                               << QSizeF(60, 60) << QStringLiteral("二维码内容太长");
    QTest::newRow("Code 128 wider than its box") << int(Kind::Code128) << QStringLiteral("SF1234567890123")
                                                 << QSizeF(40, 15) << QStringLiteral("条码放不下");
    QTest::newRow("Code 128 box too low for the bars")
        << int(Kind::Code128) << QStringLiteral("SF1234567890123") << QSizeF(90, 6)
        << QStringLiteral("条高至少");
    QTest::newRow("QR code bigger than its box")
        << int(Kind::QrCode) << QStringLiteral("浙江省杭州市西湖区文三路 100 号 张三") << QSizeF(8, 8)
        << QStringLiteral("二维码放不下");
}

void TestBarcode::refused()
{
    QFETCH(int, kind);
    QFETCH(QString, content);
    QFETCH(QSizeF, box);
    QFETCH(QString, why);
    Request r;
    r.kind = Kind(kind);
    r.content = content;
    r.box = QRectF(QPointF(5, 5), box);
    r.dpi = 203;
    const BarcodePainter barcode(r);
    QVERIFY(!barcode.ok());
    QVERIFY2(barcode.whyNot().contains(why), qPrintable(barcode.whyNot()));

    // Shown red in its box, never drawn shrunk.
    QImage page(300, 300, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.scale(3, 3);
    barcode.paint(painter);
    painter.end();
    const QRgb edge = page.pixel(15, qRound((5 + box.height() / 2) * 3));
    QVERIFY(qRed(edge) > 200 && qGreen(edge) < 100);
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x)
            QVERIFY(qGray(page.pixel(x, y)) > 60 || qRed(page.pixel(x, y)) > 200);
    }
}

void TestBarcode::characterSet_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("eci");
    // Unmarked, zint writes Chinese as Shift JIS (zbarimg guesses it back,
    // other scanners read Japanese).
    QTest::newRow("Chinese address, marked UTF-8") << QStringLiteral("浙江省杭州市西湖区文三路 100 号") << 26;
    QTest::newRow("plain ASCII, unmarked") << QStringLiteral("https://shop.example/o/123") << 0;
}

void TestBarcode::characterSet()
{
    QFETCH(QString, content);
    QFETCH(int, eci);
    const Barcode::Symbol symbol = Barcode::encode(Kind::QrCode, content);
    QVERIFY(symbol.ok());
    QCOMPARE(symbol.eci, eci);
}

void TestBarcode::moduleNote_data()
{
    QTest::addColumn<double>("moduleMm");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QString>("note");

    QTest::newRow("0.25 mm at 203 dpi")
        << 0.25 << 203 << QStringLiteral("模块宽 0.25 mm → 打印机 203 dpi：2 点 = 0.250 mm");
    QTest::newRow("0.25 mm at 300 dpi, rounded up")
        << 0.25 << 300 << QStringLiteral("模块宽 0.25 mm → 打印机 300 dpi：3 点 = 0.254 mm");
    QTest::newRow("three dots exactly stay three")
        << 0.254 << 300 << QStringLiteral("模块宽 0.25 mm → 打印机 300 dpi：3 点 = 0.254 mm");
    QTest::newRow("below one dot, one dot")
        << 0.001 << 203 << QStringLiteral("模块宽 0.00 mm → 打印机 203 dpi：1 点 = 0.125 mm");
}

void TestBarcode::moduleNote()
{
    QFETCH(double, moduleMm);
    QFETCH(int, dpi);
    QFETCH(QString, note);
    QCOMPARE(Barcode::moduleNote(moduleMm, dpi), note);
}

void TestBarcode::decodes_data()
{
    QTest::addColumn<int>("dpi");
    QTest::newRow("203 dpi") << 203;
    QTest::newRow("300 dpi") << 300;
    QTest::newRow("600 dpi") << 600;
}

void TestBarcode::decodes()
{
    QFETCH(int, dpi);
    // Each kind on pages of its own, laid out for the printer's resolution.
    const QList<std::pair<QString, QList<Request>>> kinds{{QStringLiteral("code128"), m_codes},
                                                          {QStringLiteral("qr"), m_qrCodes}};
    for (const auto &[name, requests] : kinds) {
        const QString folder = m_dir.filePath(QStringLiteral("decode-%1/%2").arg(dpi).arg(name));
        QVERIFY(QDir().mkpath(folder));
        QList<Request> laidOut = requests;
        QStringList expected;
        for (Request &r : laidOut) {
            r.dpi = dpi;
            expected.append(r.content);
        }
        std::sort(expected.begin(), expected.end());
        const QString pdf = folder + QStringLiteral("/pages.pdf");
        QVERIFY(writePdf(pdf, laidOut,
                         name == QStringLiteral("qr") ? QrColumns * QrRows : CodeColumns * CodeRows));
        const QStringList pages = rasterise(pdf, dpi, folder);
        QVERIFY(!pages.isEmpty());
        QCOMPARE(decode(pages), expected);
    }
}

void TestBarcode::barWidths_data()
{
    QTest::addColumn<int>("dpi");
    QTest::newRow("203 dpi") << 203;
    QTest::newRow("300 dpi") << 300;
    QTest::newRow("600 dpi") << 600;
}

void TestBarcode::barWidths()
{
    QFETCH(int, dpi);
    // The first page's barcodes, laid out again for this resolution.
    const int perPage = CodeColumns * CodeRows;
    QList<Request> requests = m_codes.mid(0, perPage);
    for (Request &r : requests)
        r.dpi = dpi;
    const QString folder = m_dir.filePath(QStringLiteral("widths-%1").arg(dpi));
    QVERIFY(QDir().mkpath(folder));
    const QString pdf = folder + QStringLiteral("/page.pdf");
    QVERIFY(writePdf(pdf, requests, perPage));
    const QStringList pages = rasterise(pdf, dpi, folder);
    QCOMPARE(pages.size(), 1);
    // An A4 page at 600 dpi is past Qt's default limit of 128 MB (the limit is
    // the process's; this test reads only its own pages).
    QImageReader::setAllocationLimit(512);
    QImageReader reader(pages.first());
    QImage page = reader.read();
    QVERIFY2(!page.isNull(), qPrintable(reader.errorString()));
    page = page.convertToFormat(QImage::Format_Grayscale8);

    for (const Request &r : requests) {
        const BarcodePainter barcode(r);
        const QRectF box = r.box.translated(MarginMm, MarginMm);
        const int y = qRound((box.top() + 3) * dpi / MmPerInch);
        const QList<int> measured =
            runs(page, y, qRound(box.left() * dpi / MmPerInch), qRound(box.right() * dpi / MmPerInch));
        QVERIFY2(measured == nominalRuns(barcode), qPrintable(r.content));
    }
}

QTEST_MAIN(TestBarcode)
#include "tst_barcode.moc"
