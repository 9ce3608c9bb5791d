// The two waybill windows: their layout, how they fill from the main window, and
// printing at true size to a PDF file, to the CUPS default printer and with no
// printer at all.
#include "addressbook/printjournal.h"
#include "mainwindow.h"
#include "printedpages.h"
#include "ui/appicon.h"
#include "ui/twips.h"
#include "waybill/frmprintsettings.h"
#include "waybill/frmsf.h"
#include "waybill/frmyd.h"
#include "waybill/printsettings.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainterPath>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <functional>

using Waybill::FieldLabel;

namespace {

// The rasters are made at 254 dpi: ten pixels to the millimetre.
constexpr int RasterDpi = 254;
constexpr double Tolerance = 0.5; // mm

double twipsToMm(double twips)
{
    return twips * 25.4 / 1440;
}

double pixelsToMm(double pixels)
{
    return pixels * 25.4 / 96;
}

struct FieldRow
{
    const char *courier;
    const char *name;
    QRect twips;
    double points;
    bool bold;
    bool fixed;
};

// The boxes of the two paper waybills.
const FieldRow FieldTable[] = {
    {"SF", "txtSent", {1080, 1800, 2415, 255}, 12, false, true},
    {"SF", "txtName", {4080, 1680, 975, 255}, 12, false, true},
    {"SF", "txtAdd", {1080, 2280, 3615, 735}, 12, false, true},
    {"SF", "txtTel", {2280, 3000, 2205, 180}, 9, true, false},
    {"SF", "txtSentTo", {1080, 4080, 2415, 255}, 12, false, true},
    {"SF", "txtNameTo", {4080, 3960, 975, 255}, 12, false, true},
    {"SF", "txtAddTo", {1080, 4560, 3615, 735}, 12, false, true},
    {"SF", "txtTelTo", {2280, 5280, 2760, 210}, 10.5, true, false},
    {"YD", "txtName", {1440, 1080, 975, 255}, 12, false, true},
    {"YD", "txtSent", {1680, 1440, 4335, 255}, 12, false, true},
    {"YD", "txtAdd", {1320, 1800, 3975, 735}, 12, false, true},
    {"YD", "txtTel", {1800, 3120, 1485, 240}, 12, true, false},
    {"YD", "txtCTo", {6480, 1080, 1455, 255}, 12, false, true},
    {"YD", "txtTelTo", {9600, 1080, 1485, 240}, 12, true, false},
    {"YD", "txtSentTo", {6720, 1440, 4455, 255}, 12, false, true},
    {"YD", "txtAddTo", {6720, 1800, 3855, 1335}, 12, false, true},
    {"YD", "txtNameTo", {6720, 3240, 1200, 240}, 12, false, false},
};

QSize clientTwips(const QString &courier)
{
    return courier == "SF" ? QSize(9900, 6810) : QSize(12390, 6600);
}

QStringList fieldNames(const QString &courier)
{
    QStringList names;
    for (const FieldRow &row : FieldTable) {
        if (courier == row.courier)
            names.append(row.name);
    }
    return names;
}

const QStringList ContactKeys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};

QStringList withTo(const QStringList &keys)
{
    QStringList to;
    for (const QString &key : keys)
        to.append(key + "To");
    return to;
}

// A sender and a recipient with a different text in every field.
const QStringList SenderValues{"深圳前海科技有限公司", "张三",  "广东省", "深圳市", "南山区", "科技园1号",
                               "021-12345678",         "518000"};
const QStringList RecipientValues{"杭州西湖贸易公司", "李四",      "浙江省",        "杭州市",
                                  "西湖区",           "文三路2号", "0571-88886666", "310000"};

void fillMain(const MainWindow &w)
{
    w.setFields(ContactKeys, SenderValues);
    w.setFields(withTo(ContactKeys), RecipientValues);
}

std::unique_ptr<Waybill::Window> makeWindow(const QString &courier, frmMain &main)
{
    const Waybill::FieldReader read = [&main](QStringView name) { return main.fieldText(name); };
    if (courier == "SF")
        return std::make_unique<frmSF>(main.platform(), read);
    return std::make_unique<frmYD>(main.platform(), read);
}

QPushButton *courierButton(const MainWindow &w, const QString &courier)
{
    return w.button(courier == "SF" ? "cmdSF" : "cmdYD");
}

FieldLabel *field(QWidget *window, const QString &name)
{
    return window->findChild<FieldLabel *>(name);
}

QPushButton *button(QWidget *window, const QString &name)
{
    return window->findChild<QPushButton *>(name);
}

// Clicks a control through its window, as the window system delivers a click:
// a window blocked by a modal one does not get it.
void clickThroughWindow(QWidget *control)
{
    QWidget *window = control->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      control->mapTo(window, control->rect().center()));
}

bool isInk(const QImage &page, int x, int y)
{
    return page.constScanLine(y)[x] < 128;
}

// The bounding box of the ink within area (in raster pixels), leaving out what
// lies in any of the areas left out; null when there is none.
QRect inkBox(const QImage &page, const QRect &area, const QList<QRect> &leftOut = {})
{
    const QRect r = area.intersected(page.rect());
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (isInk(page, x, y) && std::none_of(leftOut.cbegin(), leftOut.cend(),
                                                  [&](const QRect &o) { return o.contains(x, y); })) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

QRectF inkBoxMm(const QRect &ink, int dpi = RasterDpi)
{
    const double perMm = dpi / 25.4;
    // From the left and top edge of the first inked pixel to the right and bottom edge of the last.
    return QRectF(ink.left() / perMm, ink.top() / perMm, ink.width() / perMm, ink.height() / perMm);
}

// Where each field of a waybill window lies in millimetres from the client
// area's corner, cut at the client area's right edge.
QMap<QString, QRectF> fieldBoxes(QWidget *window)
{
    QMap<QString, QRectF> boxes;
    const QList<FieldLabel *> labels = window->findChildren<FieldLabel *>();
    for (const FieldLabel *label : labels) {
        const QRect r = label->geometry().intersected(window->rect());
        boxes.insert(label->objectName(), QRectF(pixelsToMm(r.x()), pixelsToMm(r.y()), pixelsToMm(r.width()),
                                                 pixelsToMm(r.height())));
    }
    return boxes;
}

QRectF grown(const QRectF &r, double by)
{
    return r.adjusted(-by, -by, by, by);
}

// Checks that the page has ink in every non-empty field's box and nowhere else.
void checkInkAtFields(const QImage &page, const QMap<QString, QRectF> &boxes,
                      const QMap<QString, bool> &filled, QPointF origin)
{
    QList<QRect> allowed;
    for (auto it = boxes.cbegin(); it != boxes.cend(); ++it) {
        const QRectF box = it.value().translated(origin);
        allowed.append(rasterRect(grown(box, Tolerance), RasterDpi));
        if (filled.value(it.key()))
            QVERIFY2(!inkBox(page, rasterRect(box, RasterDpi)).isNull(), qPrintable("no ink in " + it.key()));
    }
    int stray = 0;
    QPoint first;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (!isInk(page, x, y))
                continue;
            const bool inside = std::any_of(allowed.cbegin(), allowed.cend(),
                                            [&](const QRect &r) { return r.contains(x, y); });
            if (!inside && stray++ == 0)
                first = QPoint(x, y);
        }
    }
    QVERIFY2(stray == 0, qPrintable(QString("%1 inked pixels outside the fields, first at %2 mm, %3 mm")
                                        .arg(stray)
                                        .arg(first.x() * 25.4 / RasterDpi)
                                        .arg(first.y() * 25.4 / RasterDpi)));
}

// A PDF printer, as the tests print through the same path as the print button.
void setUpPdf(QPrinter &printer, const QString &file)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    // Landscape A4 holds the whole of both client areas.
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF()));
    // What a new QPrinter would have: 10-point margins.
    printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Point);
}

const char *const ClosedCupsServer = "127.0.0.1:9";

// A control of a dialog found by its accessible name, as a screen reader finds it.
template <typename T> T *named(QWidget *root, const QString &name)
{
    const QList<T *> all = root->findChildren<T *>();
    for (T *control : all) {
        if (control->accessibleName() == name)
            return control;
    }
    return nullptr;
}

// The jobs added since before, on one queue.
QStringList newJobs(const QStringList &before, const QString &queue)
{
    QStringList added;
    for (const QString &job : cupsJobs()) {
        if (!before.contains(job) && job.startsWith(queue + '-') && !job.mid(queue.size() + 1).contains('-'))
            added.append(job);
    }
    return added;
}

// The queues for printing through CUPS, or why a test cannot.
QString cupsPdfQueues(QString *defaultQueue, const QString &second)
{
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull() || !printer.makeAndModel().contains("CUPS-PDF", Qt::CaseInsensitive))
        return "the default printer is not a CUPS-PDF queue; scripts/printer.sh sets one up (as root)";
    if (!second.isEmpty() && QPrinterInfo::printerInfo(second).isNull())
        return "no queue " + second + "; scripts/printer.sh sets it up (as root)";
    if (findTool("lpstat").isEmpty())
        return "lpstat (cups-client) is needed to follow the print jobs";
    *defaultQueue = printer.printerName();
    return QString();
}

} // namespace

class WaybillTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void window_data();
    void window();
    void fields_data();
    void fields();

    void filling_data();
    void filling();
    void fixedFieldLines_data();
    void fixedFieldLines();
    void autoFieldsWiden();

    void opensModallyFromMainWindow_data();
    void opensModallyFromMainWindow();

    void trueSize_data();
    void trueSize();
    void printedText_data();
    void printedText();
    void printJobThatCannotStart();

    void printOnDefaultPrinter_data() { couriers(); }
    void printOnDefaultPrinter();
    void printWithoutPrinter_data() { couriers(); }
    void printWithoutPrinter();

    void calibration_data();
    void calibration();
    void printSettingsKept_data() { couriers(); }
    void printSettingsKept();
    void chosenPrinterOffsetAndScale_data() { couriers(); }
    void chosenPrinterOffsetAndScale();
    void cutFieldsAsked_data() { couriers(); }
    void cutFieldsAsked();
    void calibrationPage();
    void printJournal();

    void cleanupTestCase();

private:
    static void couriers()
    {
        QTest::addColumn<QString>("courier");
        QTest::newRow("SF") << "SF";
        QTest::newRow("YD") << "YD";
    }

    QMap<QString, double> m_worstOffset;
    QMap<QString, double> m_worstPlacement;
};

void WaybillTest::window_data()
{
    QTest::addColumn<QString>("courier");
    QTest::addColumn<QSize>("client");
    QTest::newRow("SF") << "SF" << QSize(660, 454);
    QTest::newRow("YD") << "YD" << QSize(826, 440);
}

void WaybillTest::window()
{
    QFETCH(QString, courier);
    QFETCH(QSize, client);
    MainWindow w;
    QVERIFY(w.start());
    auto form = makeWindow(courier, *w.form);
    QCOMPARE(QString(form->metaObject()->className()), "frm" + courier);
    QCOMPARE(form->windowTitle(), QStringLiteral("Quillbox"));
    QCOMPARE(form->size(), client);
    QCOMPARE(form->minimumSize(), client);
    QCOMPARE(form->maximumSize(), client);
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));
    QCOMPARE(form->windowIcon().pixmap(16).toImage(), appIcon().pixmap(16).toImage());
    QCOMPARE(form->windowModality(), Qt::ApplicationModal);
    QCOMPARE(form->parentWidget(), nullptr);
    QCOMPARE(form->palette().color(form->backgroundRole()), QColor(Qt::white));

    struct Button
    {
        const char *name, *caption;
        QRect twips;
    };
    for (const Button &b : {Button{"Command1", "打印", {120, 120, 1215, 615}},
                            Button{"Command2", "退出", {1560, 120, 1215, 615}},
                            Button{"cmdSettings", "设置", {3000, 120, 1215, 615}}}) {
        QPushButton *control = button(form.get(), b.name);
        QVERIFY2(control, b.name);
        QCOMPARE(control->text(), QString(b.caption));
        QCOMPARE(control->geometry(),
                 Twips::rect(b.twips.x(), b.twips.y(), b.twips.width(), b.twips.height()));
        QVERIFY(!control->autoDefault());
        QVERIFY(!control->isDefault());
        QCOMPARE(control->font(), QApplication::font(control));
    }
    QStringList labels;
    for (const FieldLabel *label : form->findChildren<FieldLabel *>())
        labels.append(label->objectName());
    QCOMPARE(labels, fieldNames(courier));
    QCOMPARE(form->findChildren<QWidget *>().size(), labels.size() + 3);

    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QCOMPARE(QApplication::focusWidget(), button(form.get(), "Command1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(form.get(), "Command2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(form.get(), "cmdSettings"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(form.get(), "Command1"));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(form->geometry().center().x() - screen.center().x()) <= 8);
    QVERIFY(qAbs(form->geometry().center().y() - screen.center().y()) <= 16);
    // Neither button is a cancel button: Escape leaves the window open.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(form->isVisible());
    QVERIFY(w.dialogs.messages.isEmpty());
    form->close();
}

void WaybillTest::fields_data()
{
    QTest::addColumn<QString>("courier");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("fixed");
    for (const FieldRow &row : FieldTable) {
        QTest::addRow("%s %s", row.courier, row.name)
            << row.courier << row.name << row.twips << row.points << row.bold << row.fixed;
    }
}

void WaybillTest::fields()
{
    QFETCH(QString, courier);
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(double, points);
    QFETCH(bool, bold);
    QFETCH(bool, fixed);
    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    auto form = makeWindow(courier, *w.form);
    FieldLabel *label = field(form.get(), name);
    QVERIFY(label);

    const QRect box = Twips::rect(twips.x(), twips.y(), twips.width(), twips.height());
    QCOMPARE(label->pos(), box.topLeft());
    QCOMPARE(label->sizing(), fixed ? Waybill::Field::Fixed : Waybill::Field::Auto);
    const QFont font = label->font();
    // Sized on the twips grid, 96 pixels to the inch, whatever the screen.
    QCOMPARE(font.pixelSize(), qRound(points * 96 / 72));
    QCOMPARE(font.weight(), bold ? QFont::Bold : QFont::Normal);
    QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
    QCOMPARE(font.families().value(0), QStringLiteral("宋体"));
    // 宋体 where it is installed, else the Song face the set-up installs.
    const QString family = QFontInfo(font).family();
    QVERIFY2(QStringList({"宋体", "SimSun", "AR PL UMing CN"}).contains(family), qPrintable(family));
    if (fixed) {
        QCOMPARE(label->size(), box.size());
        // A line of the font fits the box: 12 points into 255 twips.
        const double lineHeight = QFontMetricsF(font).height();
        QVERIFY2(lineHeight <= box.height(), qPrintable(QString::number(lineHeight)));
    } else {
        // One line of the font is as high as the box on the paper.
        QCOMPARE(label->height(), box.height());
    }
    QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
    QCOMPARE(label->wordWrap(), fixed);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
    QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    QVERIFY(!label->autoFillBackground());
    QVERIFY(!label->testAttribute(Qt::WA_OpaquePaintEvent));
}

void WaybillTest::filling_data()
{
    QTest::addColumn<QString>("courier");
    QTest::addColumn<QStringList>("changes");  // main-window fields, "name=text"
    QTest::addColumn<QStringList>("expected"); // every waybill field, "name=text"

    const QStringList sf{"txtSent=深圳前海科技有限公司",
                         "txtName=张三",
                         "txtAdd=广东省深圳市南山区\r\n科技园1号",
                         "txtTel=0 2 1 - 1 2 3 4 5 6 7 8 ",
                         "txtSentTo=杭州西湖贸易公司",
                         "txtNameTo=李四",
                         "txtAddTo=浙江省杭州市西湖区文三路2号",
                         "txtTelTo=0571-88886666"};
    const QStringList yd{"txtName=张三",
                         "txtSent=深圳前海科技有限公司",
                         "txtAdd=广东省深圳市南山区科技园1号",
                         "txtTel=021-12345678",
                         "txtCTo=杭州市",
                         "txtTelTo=0571-88886666",
                         "txtSentTo=杭州西湖贸易公司",
                         "txtAddTo=浙江省杭州市西湖区文三路2号",
                         "txtNameTo=李四"};
    const auto with = [](QStringList fields, const QStringList &changes) {
        for (const QString &change : changes) {
            const QString name = change.section('=', 0, 0);
            for (QString &f : fields) {
                if (f.section('=', 0, 0) == name)
                    f = change;
            }
        }
        return fields;
    };

    QTest::newRow("SF contact") << "SF" << QStringList() << sf;
    QTest::newRow("SF same phone both sides")
        << "SF" << QStringList{"txtTel=021-12345678", "txtTelTo=021-12345678"}
        << with(sf, {"txtTel=0 2 1 - 1 2 3 4 5 6 7 8 ", "txtTelTo=021-12345678"});
    QTest::newRow("SF empty sender phone") << "SF" << QStringList{"txtTel="} << with(sf, {"txtTel="});
    QTest::newRow("SF phone with blanks and letters")
        << "SF" << QStringList{"txtTel= 1a-"} << with(sf, {"txtTel=  1 a - "});
    QTest::newRow("SF sender address empty keeps its line break")
        << "SF" << QStringList{"txtP=", "txtC=", "txtA=", "txtAdd="} << with(sf, {"txtAdd=\r\n"});
    QTest::newRow("SF recipient address of street only")
        << "SF" << QStringList{"txtPTo=", "txtCTo=", "txtATo="} << with(sf, {"txtAddTo=文三路2号"});
    QTest::newRow("SF same address both sides")
        << "SF" << QStringList{"txtPTo=广东省", "txtCTo=深圳市", "txtATo=南山区", "txtAddTo=科技园1号"}
        << with(sf, {"txtAddTo=广东省深圳市南山区科技园1号"});
    QTest::newRow("SF nothing trimmed")
        << "SF" << QStringList{"txtSent=  A B  ", "txtName= 张 ", "txtP= 广东 "}
        << with(sf, {"txtSent=  A B  ", "txtName= 张 ", "txtAdd= 广东 深圳市南山区\r\n科技园1号"});
    QTest::newRow("SF all empty") << "SF" << QStringList{"txtSent=",   "txtName=",   "txtP=",     "txtC=",
                                                         "txtA=",      "txtAdd=",    "txtTel=",   "txtZip=",
                                                         "txtSentTo=", "txtNameTo=", "txtPTo=",   "txtCTo=",
                                                         "txtATo=",    "txtAddTo=",  "txtTelTo=", "txtZipTo="}
                                  << QStringList{"txtSent=",   "txtName=",   "txtAdd=\r\n", "txtTel=",
                                                 "txtSentTo=", "txtNameTo=", "txtAddTo=",   "txtTelTo="};

    QTest::newRow("YD contact") << "YD" << QStringList() << yd;
    QTest::newRow("YD phones as typed") << "YD" << QStringList{"txtTel=021-12345678", "txtTelTo=021 1234"}
                                        << with(yd, {"txtTel=021-12345678", "txtTelTo=021 1234"});
    QTest::newRow("YD same address both sides")
        << "YD" << QStringList{"txtPTo=广东省", "txtCTo=深圳市", "txtATo=南山区", "txtAddTo=科技园1号"}
        << with(yd, {"txtCTo=深圳市", "txtAddTo=广东省深圳市南山区科技园1号"});
    QTest::newRow("YD empty recipient city")
        << "YD" << QStringList{"txtCTo="} << with(yd, {"txtCTo=", "txtAddTo=浙江省西湖区文三路2号"});
    QTest::newRow("YD sender address empty")
        << "YD" << QStringList{"txtP=", "txtC=", "txtA=", "txtAdd="} << with(yd, {"txtAdd="});
}

void WaybillTest::filling()
{
    QFETCH(QString, courier);
    QFETCH(QStringList, changes);
    QFETCH(QStringList, expected);
    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    for (const QString &change : changes)
        w.field(change.section('=', 0, 0))->setText(change.section('=', 1));
    QStringList before;
    for (const QString &key : ContactKeys + withTo(ContactKeys))
        before.append(w.field(key)->text());

    auto form = makeWindow(courier, *w.form);
    QStringList shown;
    for (const FieldLabel *label : form->findChildren<FieldLabel *>())
        shown.append(label->objectName() + '=' + label->text());
    QCOMPARE(shown, expected);
    // Postcodes have no place on either waybill.
    for (const QString &text : shown) {
        QVERIFY2(!text.contains("518000") && !text.contains("310000"), qPrintable(text));
    }
    form.reset();
    QStringList after;
    for (const QString &key : ContactKeys + withTo(ContactKeys))
        after.append(w.field(key)->text());
    QCOMPARE(after, before);
}

void WaybillTest::fixedFieldLines_data()
{
    QTest::addColumn<QString>("courier");
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("lines"); // empty: only check the lines' count and widths
    QTest::addColumn<int>("lineCount");

    const QString hundred = QString("国").repeated(100);
    QTest::newRow("SF sender street on a line of its own")
        << "SF" << QStringList{"txtP=广东省", "txtC=深圳市", "txtA=南山区", "txtAdd=科技园1号"} << "txtAdd"
        << QStringList{"广东省深圳市南山区", "科技园1号"} << 2;
    QTest::newRow("SF recipient address one run")
        << "SF" << QStringList{"txtPTo=广东省", "txtCTo=深圳市", "txtATo=南山区", "txtAddTo=科技园1号"}
        << "txtAddTo" << QStringList{"广东省深圳市南山区科技园1号"} << 1;
    QTest::newRow("SF recipient address broken at the field's width")
        << "SF"
        << QStringList{"txtPTo=广东省", "txtCTo=深圳市", "txtATo=南山区",
                       "txtAddTo=科技园科兴科学园甲栋一单元"}
        << "txtAddTo" << QStringList{"广东省深圳市南山区科技园科兴科", "学园甲栋一单元"} << 2;
    QTest::newRow("SF empty sender address shows nothing")
        << "SF" << QStringList{"txtP=", "txtC=", "txtA=", "txtAdd="} << "txtAdd" << QStringList{"", ""} << 2;
    QTest::newRow("SF long company cut to one line")
        << "SF" << QStringList{"txtSent=深圳市前海深港合作区某某某科技发展有限公司"} << "txtSent"
        << QStringList{"深圳市前海深港合作区"} << 1;
    QTest::newRow("SF long recipient company cut to one line")
        << "SF" << QStringList{"txtSentTo=" + hundred} << "txtSentTo" << QStringList{hundred.left(10)} << 1;
    QTest::newRow("SF company broken at a blank")
        << "SF" << QStringList{"txtSent=ABC Trading Company Limited"} << "txtSent"
        << QStringList{"ABC Trading Company "} << 1;
    QTest::newRow("SF word wider than the field")
        << "SF" << QStringList{"txtSent=" + QString(60, 'W')} << "txtSent" << QStringList() << 1;
    QTest::newRow("SF sender address cut after its third line")
        << "SF" << QStringList{"txtP=", "txtC=", "txtA=", "txtAdd=" + hundred} << "txtAdd"
        << QStringList{"", hundred.left(15), hundred.left(15)} << 3;
    QTest::newRow("SF recipient address cut after its third line")
        << "SF" << QStringList{"txtPTo=", "txtCTo=", "txtATo=", "txtAddTo=" + hundred} << "txtAddTo"
        << QStringList{hundred.left(15), hundred.left(15), hundred.left(15)} << 3;
    QTest::newRow("SF mixed address within the width")
        << "SF"
        << QStringList{"txtPTo=", "txtCTo=", "txtATo=",
                       "txtAddTo=Room 1201, Tower A, 科技园南区深南大道10000号"}
        << "txtAddTo" << QStringList() << 2;

    QTest::newRow("YD sender address one run")
        << "YD" << QStringList{"txtP=广东省", "txtC=深圳市", "txtA=南山区", "txtAdd=科技园1号"} << "txtAdd"
        << QStringList{"广东省深圳市南山区科技园1号"} << 1;
    QTest::newRow("YD sender address three lines")
        << "YD" << QStringList{"txtP=", "txtC=", "txtA=", "txtAdd=" + hundred} << "txtAdd"
        << QStringList(3, hundred.left(16)) << 3;
    QTest::newRow("YD recipient address five lines")
        << "YD" << QStringList{"txtPTo=", "txtCTo=", "txtATo=", "txtAddTo=" + hundred} << "txtAddTo"
        << QStringList(5, hundred.left(16)) << 5;
    QTest::newRow("YD sender person cut to its box")
        << "YD" << QStringList{"txtName=欧阳诸葛先生"} << "txtName" << QStringList{"欧阳诸葛"} << 1;
    QTest::newRow("YD destination city cut to its box")
        << "YD" << QStringList{"txtCTo=" + hundred} << "txtCTo" << QStringList{hundred.left(6)} << 1;
}

void WaybillTest::fixedFieldLines()
{
    QFETCH(QString, courier);
    QFETCH(QStringList, changes);
    QFETCH(QString, name);
    QFETCH(QStringList, lines);
    QFETCH(int, lineCount);
    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    for (const QString &change : changes)
        w.field(change.section('=', 0, 0))->setText(change.section('=', 1));
    auto form = makeWindow(courier, *w.form);
    const FieldLabel *label = field(form.get(), name);
    QVERIFY(label);
    const QStringList shown = label->shownLines();
    if (!lines.isEmpty())
        QCOMPARE(shown, lines);
    QCOMPARE(shown.size(), lineCount);
    // What shows is the text from its start, nothing skipped, each line within the box.
    QString joined = label->text();
    joined.remove('\r').remove('\n');
    QVERIFY2(joined.startsWith(shown.join(QString())), qPrintable(shown.join('|')));
    const QFontMetricsF metrics(label->font());
    for (const QString &line : shown)
        QVERIFY2(metrics.horizontalAdvance(line.trimmed()) <= label->width(), qPrintable(line));
    QVERIFY(metrics.height() * shown.size() <= label->height());
}

void WaybillTest::autoFieldsWiden()
{
    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    w.field("txtTel")->setText("021-12345678");
    w.field("txtTelTo")->setText("021-12345678");
    auto sf = makeWindow("SF", *w.form);
    FieldLabel *tel = field(sf.get(), "txtTel");
    FieldLabel *telTo = field(sf.get(), "txtTelTo");
    // The spaced phone is twice as long, and so is its field, the closing blank included.
    // Half-width characters, 6 pixels each at 9 points.
    QCOMPARE(tel->text().size(), 24);
    QCOMPARE(tel->width(), 24 * 6);
    QCOMPARE(tel->height(), 12);
    QCOMPARE(tel->shownLines(), QStringList{"0 2 1 - 1 2 3 4 5 6 7 8 "});
    QCOMPARE(telTo->shownLines(), QStringList{"021-12345678"});
    sf.reset();

    w.field("txtTel")->setText("");
    w.field("txtNameTo")->setText("欧阳诸葛司马上官先生女士");
    w.field("txtName")->setText("欧阳诸葛司马上官先生女士");
    auto yd = makeWindow("YD", *w.form);
    QCOMPARE(field(yd.get(), "txtTel")->width(), 0);
    // The recipient person widens to the right; the sender person keeps its box.
    FieldLabel *nameTo = field(yd.get(), "txtNameTo");
    QCOMPARE(nameTo->width(), 12 * 16);
    QCOMPARE(nameTo->shownLines(), QStringList{"欧阳诸葛司马上官先生女士"});
    QCOMPARE(field(yd.get(), "txtName")->width(), 65);
    QCOMPARE(field(yd.get(), "txtName")->shownLines(), QStringList{"欧阳诸葛"});
}

void WaybillTest::opensModallyFromMainWindow_data()
{
    QTest::addColumn<QString>("courier");
    QTest::addColumn<bool>("closeControl"); // leave with the title bar's close control, else 退出
    QTest::newRow("SF 退出") << "SF" << false;
    QTest::newRow("SF close control") << "SF" << true;
    QTest::newRow("YD 退出") << "YD" << false;
    QTest::newRow("YD close control") << "YD" << true;
}

void WaybillTest::opensModallyFromMainWindow()
{
    QFETCH(QString, courier);
    QFETCH(bool, closeControl);
    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    w.show();
    const QString other = courier == "SF" ? "YD" : "SF";
    QSignalSpy clicks(courierButton(w, courier), &QPushButton::clicked);
    QSignalSpy otherClicks(courierButton(w, other), &QPushButton::clicked);
    const QStringList before = w.fields(ContactKeys + withTo(ContactKeys));

    const auto open = [&] { courierButton(w, courier)->click(); };
    const auto checkAndLeave = [&](QDialog &form) {
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.parentWidget(), nullptr);
        QCOMPARE(form.windowModality(), Qt::ApplicationModal);
        QCOMPARE(form.focusWidget(), button(&form, "Command1"));
        QVERIFY(button(&form, "Command1")->isVisible());
        QVERIFY(button(&form, "Command2")->isVisible());
        QCOMPARE(field(&form, "txtSent")->text(), SenderValues[0]);
        // The main window stays on screen but takes no input.
        QVERIFY(w.form->isVisible());
        QVERIFY(!w.form->isMinimized());
        clickThroughWindow(courierButton(w, other));
        clickThroughWindow(courierButton(w, courier));
        if (closeControl)
            form.close();
        else
            QTest::mouseClick(button(&form, "Command2"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
    };
    QCOMPARE(runModal(open, checkAndLeave), QStringList{"frm" + courier});
    // The clicks on the main window while the waybill was open went nowhere.
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(otherClicks.count(), 0);
    QVERIFY(w.dialogs.messages.isEmpty());
    // Closed for good, and nothing written back.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows)
        QVERIFY(!qobject_cast<const Waybill::Window *>(window));
    QCOMPARE(w.fields(ContactKeys + withTo(ContactKeys)), before);

    // The next opening is a fresh load with the main window's values as they now stand.
    w.field("txtSent")->setText("新公司");
    w.field("txtTel")->setText("95338");
    const QString tel = courier == "SF" ? "9 5 3 3 8 " : "95338";
    const auto openByClick = [&] { clickThroughWindow(courierButton(w, courier)); };
    const auto checkFresh = [&](QDialog &form) {
        QCOMPARE(field(&form, "txtSent")->text(), QStringLiteral("新公司"));
        QCOMPARE(field(&form, "txtTel")->text(), tel);
        QVERIFY(button(&form, "Command1")->isVisible());
        QVERIFY(button(&form, "Command2")->isVisible());
        QTest::mouseClick(button(&form, "Command2"), Qt::LeftButton);
    };
    QCOMPARE(runModal(openByClick, checkFresh), QStringList{"frm" + courier});
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(otherClicks.count(), 0);
}

void WaybillTest::trueSize_data()
{
    QTest::addColumn<QString>("courier");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<int>("length"); // characters of text: a fixed field gets more than it holds

    for (const FieldRow &row : FieldTable) {
        QTest::addRow("%s %s", row.courier, row.name)
            << row.courier << row.name << row.twips << row.points << row.fixed << (row.fixed ? 200 : 5);
    }
    QTest::newRow("SF txtTelTo cut at the client area's edge")
        << "SF"
        << "txtTelTo" << QRect(2280, 5280, 2760, 210) << 10.5 << false << 100;
    QTest::newRow("YD txtNameTo cut at the client area's edge")
        << "YD"
        << "txtNameTo" << QRect(6720, 3240, 1200, 240) << 12.0 << false << 100;
}

void WaybillTest::trueSize()
{
    QFETCH(QString, courier);
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(double, points);
    QFETCH(bool, fixed);
    QFETCH(int, length);

    MainWindow w;
    QVERIFY(w.start());
    auto form = makeWindow(courier, *w.form);
    // One field at a time, so that all ink on the page is that field's. A CJK
    // character fills its square: the ink shows where the lines and columns lie.
    for (FieldLabel *label : form->findChildren<FieldLabel *>())
        label->fill(QString());
    field(form.get(), name)->fill(QString("国").repeated(length));

    QTemporaryDir dir;
    const QString pdf = dir.path() + "/waybill.pdf";
    QPrinter printer(QPrinter::HighResolution);
    setUpPdf(printer, pdf);
    QVERIFY(form->printOn(printer));
    QVERIFY(w.dialogs.messages.isEmpty());
    QString error;
    const QImage page = rasterise(pdf, RasterDpi, &error);
    QVERIFY2(!page.isNull(), qPrintable(error));
    // Landscape A4, give or take the rasteriser's rounding.
    QVERIFY2(qAbs(page.width() - 2970) <= 1 && qAbs(page.height() - 2100) <= 1,
             qPrintable(QString("%1 x %2").arg(page.width()).arg(page.height())));

    // Where the ink should lie: whole characters in whole lines from the box's
    // corner, each character's ink where the font puts it in its square.
    const QFont font = field(form.get(), name)->font();
    const double em = points * 96 / 72;                     // pixels a character
    const double lineHeight = QFontMetricsF(font).height(); // pixels a line
    QPainterPath outline;
    outline.addText(0, QFontMetricsF(font).ascent(), font, "国");
    const QRectF glyph = outline.boundingRect();
    const int perLine = fixed ? int(twips.width() / 15 / em) : length;
    const int lines = fixed ? int(twips.height() / 15 / lineHeight) : 1;
    const double clientRight = twipsToMm(clientTwips(courier).width());
    const QRectF box = QRectF(twipsToMm(twips.x()), twipsToMm(twips.y()), twipsToMm(twips.width()),
                              twipsToMm(twips.height()));
    const double left = box.left() + pixelsToMm(glyph.left());
    const double top = box.top() + pixelsToMm(glyph.top());
    const double right = qMin(box.left() + pixelsToMm((perLine - 1) * em + glyph.right()), clientRight);
    const double bottom = box.top() + pixelsToMm((lines - 1) * lineHeight + glyph.bottom());
    const double boxRight = fixed ? box.right() : clientRight;
    const double boxBottom = fixed ? box.bottom() : box.top() + pixelsToMm(lineHeight);

    const QRectF ink = inkBoxMm(inkBox(page, page.rect()));
    QVERIFY2(!ink.isNull(), "nothing printed");
    const QString where = QString("ink %1,%2 - %3,%4 mm; expected %5,%6 - %7,%8 mm")
                              .arg(ink.left(), 0, 'f', 2)
                              .arg(ink.top(), 0, 'f', 2)
                              .arg(ink.right(), 0, 'f', 2)
                              .arg(ink.bottom(), 0, 'f', 2)
                              .arg(left, 0, 'f', 2)
                              .arg(top, 0, 'f', 2)
                              .arg(right, 0, 'f', 2)
                              .arg(bottom, 0, 'f', 2);
    qInfo("%s", qPrintable(where));
    // Within the box on the paper...
    QVERIFY2(ink.left() >= box.left() - Tolerance && ink.top() >= box.top() - Tolerance, qPrintable(where));
    QVERIFY2(ink.right() <= boxRight + Tolerance && ink.bottom() <= boxBottom + Tolerance, qPrintable(where));
    // ...and filling it from its top-left corner at true size.
    const double offset = qMax(qMax(qAbs(ink.left() - left), qAbs(ink.top() - top)),
                               qMax(qAbs(ink.right() - right), qAbs(ink.bottom() - bottom)));
    QVERIFY2(offset <= Tolerance, qPrintable(where));
    m_worstOffset[courier] = qMax(m_worstOffset.value(courier), offset);
}

void WaybillTest::printedText_data()
{
    QTest::addColumn<QString>("courier");
    QTest::addColumn<QStringList>("printed");
    QTest::newRow("SF") << "SF" << QStringList{"新的公司名称",
                                               "广东省深圳市南山区",
                                               "科技园1号",
                                               "0 2 1 - 1 2 3 4 5 6 7 8",
                                               "浙江省杭州市西湖区文三路2号",
                                               "0571-88886666"};
    QTest::newRow("YD") << "YD"
                        << QStringList{"新的公司名称", "广东省深圳市南山区科技园1号", "021-12345678",
                                       "杭州市",       "浙江省杭州市西湖区文三路2号", "0571-88886666"};
}

void WaybillTest::printedText()
{
    QFETCH(QString, courier);
    QFETCH(QStringList, printed);
    MainWindow w;
    // The default sender comes from its file; the user then types over the company without saving.
    w.folder.write("sent/深圳前海科技有限公司 - 张三.dat", contactBytes(ContactKeys, SenderValues));
    QVERIFY(w.platform->writeSetting("Pellory", "Pellory", "Pellory", "深圳前海科技有限公司 - 张三"));
    QVERIFY(w.start());
    QCOMPARE(w.field("txtTel")->text(), SenderValues[6]);
    w.setFields(withTo(ContactKeys), RecipientValues);
    const QByteArray saved = w.folder.read("sent/深圳前海科技有限公司 - 张三.dat");
    w.show();
    w.field("txtSent")->selectAll();
    typeText(w.field("txtSent"), "新的公司名称");
    QCOMPARE(w.field("txtSent")->text(), QStringLiteral("新的公司名称"));

    auto form = makeWindow(courier, *w.form);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTemporaryDir dir;
    const QString pdf = dir.path() + "/waybill.pdf";
    QPrinter printer(QPrinter::HighResolution);
    setUpPdf(printer, pdf);
    QVERIFY(form->printOn(printer));
    // Printing closes the window, its buttons left hidden.
    QVERIFY(!form->isVisible());
    QVERIFY(button(form.get(), "Command1")->isHidden());
    QVERIFY(button(form.get(), "Command2")->isHidden());
    QVERIFY(button(form.get(), "cmdSettings")->isHidden());
    QVERIFY(w.dialogs.messages.isEmpty());

    QString error;
    const QString info = QString::fromUtf8(runTool(findTool("pdfinfo"), {pdf}, &error));
    QVERIFY2(!info.isEmpty(), qPrintable(error));
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(info));
    // Text stays text: the fonts go into the file and the words can be read back.
    const QString fonts = QString::fromUtf8(runTool(findTool("pdffonts"), {pdf}, &error));
    QVERIFY2(fonts.contains("emb"), qPrintable(fonts + error));
    const QString text =
        QString::fromUtf8(runTool(findTool("pdftotext"), {"-enc", "UTF-8", "-layout", pdf, "-"}, &error));
    QVERIFY2(!text.isEmpty(), qPrintable(error));
    for (const QString &expected : printed)
        QVERIFY2(text.contains(expected), qPrintable(expected + " not in:\n" + text));
    for (const char *absent : {"深圳前海科技有限公司", "518000", "310000", "打印", "退出"})
        QVERIFY2(!text.contains(absent), qPrintable(QString(absent) + " printed:\n" + text));
    // Nothing was saved on the way.
    QCOMPARE(w.folder.read("sent/深圳前海科技有限公司 - 张三.dat"), saved);
    QCOMPARE(w.field("txtSent")->text(), QStringLiteral("新的公司名称"));
}

void WaybillTest::printJobThatCannotStart()
{
    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    auto form = makeWindow("SF", *w.form);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    setUpPdf(printer, dir.path() + "/no such folder/waybill.pdf");
    QVERIFY(!form->printOn(printer));
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.dialogs.messages[0].flags, 48);
    QVERIFY2(w.dialogs.messages[0].text.contains("无法") && w.dialogs.messages[0].text.contains("没有打印"),
             qPrintable(w.dialogs.messages[0].text));
    QVERIFY(form->isVisible());
    QVERIFY(button(form.get(), "Command1")->isVisible());
    QVERIFY(button(form.get(), "Command2")->isVisible());
    QVERIFY(button(form.get(), "cmdSettings")->isVisible());
    QVERIFY(!QFile::exists(dir.path() + "/no such folder/waybill.pdf"));
    form->close();
}

void WaybillTest::printOnDefaultPrinter()
{
    QFETCH(QString, courier);
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull())
        QSKIP(
            "No default printer. The tests print on the CUPS PDF queue Quillbox-PDF (PRINTER=Quillbox-PDF), "
            "which scripts/test makes with scripts/printer.sh; run that as root to take this test locally.");
    if (!printer.makeAndModel().contains("CUPS-PDF", Qt::CaseInsensitive)) {
        QSKIP(qPrintable(QString("The default printer %1 (%2) is not a CUPS-PDF queue; this test prints only "
                                 "to a PDF queue, never on paper.")
                             .arg(printer.printerName(), printer.makeAndModel())));
    }
    QVERIFY2(!findTool("lpstat").isEmpty(), "lpstat (cups-client) is needed to follow the print job");
    const QString folder = cupsPdfFolder();
    // The printable area's corner, where the client area's corner goes.
    QPageLayout layout = QPrinter(printer, QPrinter::HighResolution).pageLayout();
    layout.setUnits(QPageLayout::Millimeter);
    const QPointF origin(layout.minimumMargins().left(), layout.minimumMargins().top());

    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    w.show();

    // 退出 and the close control print nothing.
    const auto open = [&] { courierButton(w, courier)->click(); };
    const QStringList before = cupsJobs();
    runModal(open, [](QDialog &form) { QTest::mouseClick(button(&form, "Command2"), Qt::LeftButton); });
    runModal(open, [](QDialog &form) { form.close(); });
    QCOMPARE(cupsJobs(), before);

    QMap<QString, QRectF> boxes;
    QMap<QString, bool> filled;
    const auto print = [&](QDialog &form) {
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        boxes = fieldBoxes(&form);
        for (const FieldLabel *label : form.findChildren<FieldLabel *>())
            filled.insert(label->objectName(), !label->text().trimmed().isEmpty());
        QTest::mouseClick(button(&form, "Command1"), Qt::LeftButton);
        QVERIFY2(!form.isVisible(), "the window stayed open after printing");
    };
    QCOMPARE(runModal(open, print), QStringList{"frm" + courier});
    QVERIFY2(w.dialogs.messages.isEmpty(), qPrintable(w.dialogs.messages.value(0).text));
    // One job, on the default printer, of one page.
    QStringList added = cupsJobs();
    for (const QString &job : before)
        added.removeOne(job);
    QCOMPARE(added.size(), 1);
    const QString job = added.first();
    QVERIFY2(job.startsWith(printer.printerName() + '-'), qPrintable(job));
    QTRY_VERIFY_WITH_TIMEOUT(cupsJobs("completed").contains(job), 60000);
    QString produced;
    QTRY_VERIFY2_WITH_TIMEOUT(!(produced = cupsPdfFile(job)).isEmpty(),
                              qPrintable("no file of " + job + " in " + folder), 30000);
    QString error;
    const QString info = QString::fromUtf8(runTool(findTool("pdfinfo"), {produced}, &error));
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(info + error));
    const QImage page = rasterise(produced, RasterDpi, &error);
    QVERIFY2(!page.isNull(), qPrintable(error));
    checkInkAtFields(page, boxes, filled, origin);
    // A page that shows a fault is kept to look at.
    if (QTest::currentTestFailed())
        qInfo("printed page: %s", qPrintable(produced));
    else
        QFile::remove(produced);

    // Opening again after printing shows both buttons and the values as they now stand.
    w.field("txtName")->setText("王五");
    const auto checkFresh = [&](QDialog &form) {
        QVERIFY(button(&form, "Command1")->isVisible());
        QVERIFY(button(&form, "Command2")->isVisible());
        QCOMPARE(field(&form, "txtName")->text(), QStringLiteral("王五"));
        QTest::mouseClick(button(&form, "Command2"), Qt::LeftButton);
    };
    QCOMPARE(runModal(open, checkFresh), QStringList{"frm" + courier});
    QCOMPARE(cupsJobs().size(), before.size() + 1);
}

void WaybillTest::printWithoutPrinter()
{
    QFETCH(QString, courier);
    if (!inCaseProcess()) {
        // libcups settles on its server once per process: run the case in a
        // process of its own that can reach no CUPS server at all.
        bool passed = false;
        const QString output = runCaseInOwnProcess(
            "printWithoutPrinter", courier,
            [](QProcessEnvironment &env) { env.insert("CUPS_SERVER", ClosedCupsServer); }, &passed);
        QVERIFY2(passed, qPrintable(output));
        return;
    }

    QVERIFY2(QPrinterInfo::defaultPrinterName().isEmpty(), "a default printer is reachable");
    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    w.show();
    const auto open = [&] { courierButton(w, courier)->click(); };
    const auto printTwiceAndLeave = [&](QDialog &form) {
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(button(&form, "Command1"), Qt::LeftButton);
        QCOMPARE(w.dialogs.messages.size(), 1);
        const ScriptedDialogs::Message message = w.dialogs.messages[0];
        QCOMPARE(message.flags, 48);
        QCOMPARE(message.title, QStringLiteral("打印失败"));
        QVERIFY2(message.text.contains("默认打印机") && message.text.contains("没有打印"),
                 qPrintable(message.text));
        // Still open with its buttons back, to print again once there is a printer, or to leave.
        QVERIFY(form.isVisible());
        QVERIFY(button(&form, "Command1")->isVisible());
        QVERIFY(button(&form, "Command2")->isVisible());
        QVERIFY(button(&form, "cmdSettings")->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), &form);
        QTest::mouseClick(button(&form, "Command1"), Qt::LeftButton);
        QCOMPARE(w.dialogs.messages.size(), 2);
        QVERIFY(form.isVisible());
        QTest::mouseClick(button(&form, "Command2"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
    };
    QCOMPARE(runModal(open, printTwiceAndLeave), QStringList{"frm" + courier});
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    // The main window is usable again: it takes clicks and opens the other waybill.
    const QString other = courier == "SF" ? "YD" : "SF";
    const auto openOther = [&] { clickThroughWindow(courierButton(w, other)); };
    QCOMPARE(runModal(openOther, [](QDialog &form) { form.close(); }), QStringList{"frm" + other});
}

void WaybillTest::calibration_data()
{
    QTest::addColumn<QPointF>("shift"); // the printer's error: it puts a place p at shift + factor * p
    QTest::addColumn<QPointF>("factor");
    QTest::addColumn<QPointF>("corner"); // the printable area's corner
    QTest::addColumn<QPointF>("offset"); // the settings the calibration page was printed with
    QTest::addColumn<QPointF>("scale");
    QTest::addColumn<bool>("solvable");
    QTest::newRow("true printer") << QPointF() << QPointF(1, 1) << QPointF() << QPointF() << QPointF(1, 1)
                                  << true;
    QTest::newRow("shift and scale") << QPointF(2.6, -1.7) << QPointF(0.982, 1.013) << QPointF() << QPointF()
                                     << QPointF(1, 1) << true;
    QTest::newRow("on earlier settings and margins")
        << QPointF(-3.1, 4.4) << QPointF(1.021, 0.968) << QPointF(4.2, 3.5) << QPointF(1.5, -2)
        << QPointF(1.01, 0.99) << true;
    QTest::newRow("error beyond the settings")
        << QPointF(0, 0) << QPointF(0.8, 1) << QPointF() << QPointF() << QPointF(1, 1) << false;
    QTest::newRow("crosses swapped") << QPointF(0, 0) << QPointF(-1, 1) << QPointF() << QPointF()
                                     << QPointF(1, 1) << false;
}

void WaybillTest::calibration()
{
    QFETCH(QPointF, shift);
    QFETCH(QPointF, factor);
    QFETCH(QPointF, corner);
    QFETCH(QPointF, offset);
    QFETCH(QPointF, scale);
    QFETCH(bool, solvable);
    using Waybill::Calibration;
    using Waybill::PrintSettings;
    // Where the printer puts what it is told to put at p.
    const auto printer = [&](QPointF p) { return shift + QPointF(factor.x() * p.x(), factor.y() * p.y()); };
    PrintSettings printed;
    printed.offset = offset;
    printed.scaleX = scale.x();
    printed.scaleY = scale.y();
    const QPointF first = printer(printed.toPaper(Calibration::First, corner));
    const QPointF second = printer(printed.toPaper(Calibration::Second, corner));
    const std::optional<PrintSettings> solved = Calibration::solve(printed, corner, first, second);
    QCOMPARE(solved.has_value(), solvable);
    if (!solved)
        return;
    // Kept as the settings file keeps them, to a hundredth.
    PrintSettings kept = *solved;
    const auto hundredth = [](double v) { return qRound(v * 100) / 100.0; };
    kept.offset = QPointF(hundredth(kept.offset.x()), hundredth(kept.offset.y()));
    kept.scaleX = hundredth(kept.scaleX * 100) / 100;
    kept.scaleY = hundredth(kept.scaleY * 100) / 100;
    // Every place of the widest client area now lands at true size on the printable corner.
    double worst = 0;
    for (const QPointF p : {QPointF(0, 0), Calibration::First, Calibration::Second, QPointF(218.5, 120.1)}) {
        const QPointF error = printer(kept.toPaper(p, corner)) - (corner + p);
        worst = qMax(worst, qMax(qAbs(error.x()), qAbs(error.y())));
    }
    QVERIFY2(worst <= 0.1, qPrintable(QString("%1 mm off").arg(worst)));
}

void WaybillTest::printSettingsKept()
{
    QFETCH(QString, courier);
    // A queue of this test's own, deleted between two runs of the program.
    const QString queue = QString("Quillbox-Test-Gone-%1").arg(QCoreApplication::applicationPid());
    QString error;
    if (findTool("lpadmin").isEmpty() ||
        (runTool(findTool("lpadmin"), {"-p", queue, "-v", "file:/dev/null", "-E", "-m", "raw"}, &error),
         QPrinterInfo::printerInfo(queue).isNull()))
        QSKIP(qPrintable("cannot add a CUPS queue (needs root): " + error));
    bool deleted = false;
    const auto removeQueue = qScopeGuard([&] {
        if (!deleted)
            runTool(findTool("lpadmin"), {"-x", queue});
    });

    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    const QString title = QStringLiteral("打印设置 – ") + (courier == "SF" ? "顺丰快递" : "韵达快递");
    Waybill::PrintSettings chosen;
    chosen.printer = queue;
    chosen.paper = QSizeF(230, 127.5);
    chosen.landscape = true;
    chosen.offset = QPointF(-12.35, 4.5);
    chosen.scaleX = 1.0175;
    chosen.scaleY = 0.9;
    const QStringList labels =
        QString("打印机|纸张|纸宽 (mm)|纸高 (mm)|方向|水平偏移 (mm)|垂直偏移 (mm)|水平缩放 (%)|"
                "垂直缩放 (%)|打印校准页|十字1 距左边 (mm)|十字1 距上边 (mm)|十字2 距左边 "
                "(mm)|十字2 距上边 (mm)|计算偏移和缩放|确定|取消|预览")
            .split('|');
    const auto setAll = [&](QDialog &dialog) {
        QCOMPARE(dialog.windowTitle(), title);
        for (const QString &label : labels)
            QVERIFY2(named<QWidget>(&dialog, label), qPrintable("no control named " + label));
        auto *printers = named<QComboBox>(&dialog, "打印机");
        QCOMPARE(printers->itemText(0), QStringLiteral("系统默认打印机"));
        printers->setCurrentIndex(printers->findData(queue));
        named<QComboBox>(&dialog, "纸张")->setCurrentIndex(1);
        named<QDoubleSpinBox>(&dialog, "纸宽 (mm)")->setValue(230);
        named<QDoubleSpinBox>(&dialog, "纸高 (mm)")->setValue(127.5);
        named<QComboBox>(&dialog, "方向")->setCurrentText("横向");
        named<QDoubleSpinBox>(&dialog, "水平偏移 (mm)")->setValue(-12.35);
        named<QDoubleSpinBox>(&dialog, "垂直偏移 (mm)")->setValue(4.5);
        named<QDoubleSpinBox>(&dialog, "水平缩放 (%)")->setValue(101.75);
        named<QDoubleSpinBox>(&dialog, "垂直缩放 (%)")->setValue(85); // below the range: 90
        QTest::mouseClick(named<QPushButton>(&dialog, "确定"), Qt::LeftButton);
    };
    {
        auto form = makeWindow(courier, *w.form);
        QCOMPARE(form->printSettings(), Waybill::PrintSettings());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const auto open = [&] { QTest::mouseClick(button(form.get(), "cmdSettings"), Qt::LeftButton); };
        QCOMPARE(runModal(open, setAll), QStringList{"Waybill::frmPrintSettings"});
        QCOMPARE(form->printSettings(), chosen);
        form->close();
    }

    // The next run of the program finds them, and the other courier keeps its own.
    QVERIFY(w.restart());
    fillMain(w);
    QCOMPARE(makeWindow(courier == "SF" ? "YD" : "SF", *w.form)->printSettings(), Waybill::PrintSettings());
    auto form = makeWindow(courier, *w.form);
    QCOMPARE(form->printSettings(), chosen);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const auto open = [&] { QTest::mouseClick(button(form.get(), "cmdSettings"), Qt::LeftButton); };
    const auto check = [&](QDialog &dialog) {
        QCOMPARE(qobject_cast<Waybill::frmPrintSettings *>(&dialog)->settings(), chosen);
        QTest::mouseClick(named<QPushButton>(&dialog, "取消"), Qt::LeftButton);
    };
    runModal(open, check);

    // The queue goes; printing says so, prints nothing and keeps the window.
    runTool(findTool("lpadmin"), {"-x", queue}, &error);
    QVERIFY2(QTest::qWaitFor([&] { return QPrinterInfo::printerInfo(queue).isNull(); }), qPrintable(error));
    deleted = true;
    QSignalSpy printed(form.get(), &Waybill::Window::printed);
    QTest::mouseClick(button(form.get(), "Command1"), Qt::LeftButton);
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.dialogs.messages[0].flags, 48);
    QVERIFY2(w.dialogs.messages[0].text.contains(queue) && w.dialogs.messages[0].text.contains("没有打印"),
             qPrintable(w.dialogs.messages[0].text));
    QCOMPARE(printed.count(), 0);
    QVERIFY(form->isVisible());
    for (const char *name : {"Command1", "Command2", "cmdSettings"})
        QVERIFY(button(form.get(), name)->isVisible());
    form->close();
}

void WaybillTest::chosenPrinterOffsetAndScale()
{
    QFETCH(QString, courier);
    const QString second = "Quillbox-PDF2";
    QString defaultQueue;
    const QString missing = cupsPdfQueues(&defaultQueue, second);
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing));
    QVERIFY(defaultQueue != second);
    constexpr int Dpi = 508; // 0.05 mm to the pixel

    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    // Prints through the print button on the settings stored; the page's ink and its job.
    const auto print = [&](const Waybill::PrintSettings &settings, QString *queue, QImage *page,
                           QMap<QString, QRectF> *boxes) {
        QVERIFY(settings.save(*w.platform, courier));
        auto form = makeWindow(courier, *w.form);
        QSignalSpy printed(form.get(), &Waybill::Window::printed);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        *boxes = fieldBoxes(form.get());
        const QStringList before = cupsJobs();
        QTest::mouseClick(button(form.get(), "Command1"), Qt::LeftButton);
        QVERIFY2(w.dialogs.messages.isEmpty(), qPrintable(w.dialogs.messages.value(0).text));
        QCOMPARE(printed.count(), 1);
        *queue = printed[0][0].toString();
        QStringList added = newJobs(before, *queue);
        QCOMPARE(added.size(), 1);
        // Nothing went to the other queue.
        QCOMPARE(newJobs(before, *queue == second ? defaultQueue : second), QStringList());
        const QString file = jobFile(added[0]);
        QVERIFY2(!file.isEmpty(), qPrintable("no file of " + added[0]));
        QString error;
        if (!settings.paper.isEmpty()) {
            const QString info = QString::fromUtf8(runTool(findTool("pdfinfo"), {file}, &error));
            const QSizeF points = settings.paper * 72 / 25.4;
            const QString expected =
                QString("Page size:\\s+%1 x %2 pts").arg(points.width()).arg(points.height());
            QVERIFY2(info.contains(QRegularExpression(expected)), qPrintable(expected + '\n' + info + error));
        }
        *page = rasterise(file, Dpi, &error);
        QVERIFY2(!page->isNull(), qPrintable(error));
        QFile::remove(file);
    };

    // The plain page first: the default printer, true size on the printable corner.
    QString queue;
    QImage plain;
    QMap<QString, QRectF> boxes;
    print(Waybill::PrintSettings(), &queue, &plain, &boxes);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(queue, defaultQueue);
    QPageLayout layout = QPrinter(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution).pageLayout();
    layout.setUnits(QPageLayout::Millimeter);
    const QPointF corner(layout.minimumMargins().left(), layout.minimumMargins().top());

    // Then the other queue on a waybill-sized sheet (648 x 360 points), shifted and scaled.
    Waybill::PrintSettings settings;
    settings.printer = second;
    settings.paper = QSizeF(228.6, 127);
    settings.offset = QPointF(-2.4, 3.1);
    settings.scaleX = 1.032;
    settings.scaleY = 0.968;
    QImage moved;
    print(settings, &queue, &moved, &boxes);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(queue, second);
    QCOMPARE(QPrinterInfo::defaultPrinterName(), defaultQueue);

    // Each field's ink, leaving out what lies in another field's box (the SF
    // phone's box overlaps the bottom of the sender address's).
    const auto fieldInk = [&](const QImage &page, const QString &name, const QRectF &search,
                              const std::function<QRectF(QRectF)> &place) {
        QList<QRect> others;
        for (auto it = boxes.cbegin(); it != boxes.cend(); ++it) {
            if (it.key() != name)
                others.append(rasterRect(place(it.value()), Dpi));
        }
        const QRect ink = inkBox(page, rasterRect(search, Dpi), others);
        return ink.isNull() ? QRectF() : inkBoxMm(ink, Dpi);
    };
    const auto plainPlace = [&](QRectF box) { return box.translated(corner); };
    // Custom paper on a cups-pdf queue has no unprintable margins.
    const auto movedPlace = [&](QRectF box) { return settings.toPaper(box, QPointF()); };
    for (auto it = boxes.cbegin(); it != boxes.cend(); ++it) {
        const QRectF plainInk = fieldInk(plain, it.key(), grown(plainPlace(it.value()), 0.5), plainPlace);
        if (plainInk.isNull())
            continue;
        const QRectF expected = movedPlace(plainInk.translated(-corner));
        const QRectF ink = fieldInk(moved, it.key(), grown(expected, 0.5), movedPlace);
        const double error =
            qMax(qMax(qAbs(ink.left() - expected.left()), qAbs(ink.top() - expected.top())),
                 qMax(qAbs(ink.right() - expected.right()), qAbs(ink.bottom() - expected.bottom())));
        qInfo("%s %s: ink %.2f,%.2f - %.2f,%.2f mm, error %.3f mm", qPrintable(courier), qPrintable(it.key()),
              ink.left(), ink.top(), ink.right(), ink.bottom(), error);
        QVERIFY2(!ink.isNull() && error <= 0.2, qPrintable(it.key()));
        m_worstPlacement[courier] = qMax(m_worstPlacement.value(courier), error);
    }
}

void WaybillTest::cutFieldsAsked()
{
    QFETCH(QString, courier);
    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    w.field("txtAddTo")->setText(QString("很长的地址").repeated(30));
    auto form = makeWindow(courier, *w.form);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    // Only the cut field carries the red frame.
    const QImage shot = form->grab().toImage();
    for (const FieldLabel *label : form->findChildren<FieldLabel *>()) {
        const QRect box = label->geometry();
        const bool red = shot.pixelColor(box.left(), box.center().y()) == QColor(Qt::red);
        QCOMPARE(label->isCut(), label->objectName() == "txtAddTo");
        QCOMPARE(red, label->isCut());
    }

    QSignalSpy printed(form.get(), &Waybill::Window::printed);
    int checks = 0;
    form->addPrintCheck([&] { return ++checks > 1; });
    // No, the default; then Yes, and a check that stops the print.
    w.dialogs.answers = {Dialogs::No, Dialogs::Yes};
    for (int press = 1; press <= 2; ++press) {
        QTest::mouseClick(button(form.get(), "Command1"), Qt::LeftButton);
        QCOMPARE(w.dialogs.messages.size(), press);
        const ScriptedDialogs::Message question = w.dialogs.messages.last();
        QCOMPARE(question.text, QStringLiteral("以下内容打印不全：收件地址。仍要打印吗？"));
        QCOMPARE(question.flags, Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2);
        QCOMPARE(checks, press - 1);
        QCOMPARE(printed.count(), 0);
        QVERIFY(form->isVisible());
        for (const char *name : {"Command1", "Command2", "cmdSettings"})
            QVERIFY(button(form.get(), name)->isVisible());
    }
    form->close();
}

void WaybillTest::calibrationPage()
{
    const QString second = "Quillbox-PDF2";
    QString defaultQueue;
    const QString missing = cupsPdfQueues(&defaultQueue, second);
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing));
    constexpr int Dpi = 508;
    MainWindow w;
    QVERIFY(w.start());
    auto form = makeWindow("SF", *w.form);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    // A page printed off by these settings on a true printer: measured and entered,
    // the crosses give back the plain settings.
    const QPointF offset(2.35, -1.6);
    const QPointF scale(1.012, 0.991);
    QPointF crosses[2];
    // The crosses entered and solved; pressed a second time (after a typo fixed,
    // say), the same numbers give the same settings.
    const auto measure = [&](QDialog &dialog) {
        named<QDoubleSpinBox>(&dialog, "十字1 距左边 (mm)")->setValue(crosses[0].x());
        named<QDoubleSpinBox>(&dialog, "十字1 距上边 (mm)")->setValue(crosses[0].y());
        named<QDoubleSpinBox>(&dialog, "十字2 距左边 (mm)")->setValue(crosses[1].x());
        named<QDoubleSpinBox>(&dialog, "十字2 距上边 (mm)")->setValue(crosses[1].y());
        for (int press = 0; press < 2; ++press) {
            QTest::mouseClick(named<QPushButton>(&dialog, "计算偏移和缩放"), Qt::LeftButton);
            QVERIFY(w.dialogs.messages.isEmpty());
            // Read to 0.1 mm, the crosses put the page back within a few tenths over 150 mm.
            const double solved[] = {named<QDoubleSpinBox>(&dialog, "水平偏移 (mm)")->value(),
                                     named<QDoubleSpinBox>(&dialog, "垂直偏移 (mm)")->value(),
                                     named<QDoubleSpinBox>(&dialog, "水平缩放 (%)")->value() - 100,
                                     named<QDoubleSpinBox>(&dialog, "垂直缩放 (%)")->value() - 100};
            for (double off : solved)
                QVERIFY2(qAbs(off) <= 0.15, qPrintable(QString("press %1: %2").arg(press + 1).arg(off)));
        }
    };
    const auto calibrate = [&](QDialog &dialog) {
        named<QComboBox>(&dialog, "打印机")
            ->setCurrentIndex(named<QComboBox>(&dialog, "打印机")->findData(second));
        named<QDoubleSpinBox>(&dialog, "水平偏移 (mm)")->setValue(offset.x());
        named<QDoubleSpinBox>(&dialog, "垂直偏移 (mm)")->setValue(offset.y());
        named<QDoubleSpinBox>(&dialog, "水平缩放 (%)")->setValue(scale.x() * 100);
        named<QDoubleSpinBox>(&dialog, "垂直缩放 (%)")->setValue(scale.y() * 100);
        const QStringList before = cupsJobs();
        QTest::mouseClick(named<QPushButton>(&dialog, "打印校准页"), Qt::LeftButton);
        QVERIFY2(w.dialogs.messages.isEmpty(), qPrintable(w.dialogs.messages.value(0).text));
        const QStringList added = newJobs(before, second);
        QCOMPARE(added.size(), 1);
        const QString file = jobFile(added[0]);
        QVERIFY2(!file.isEmpty(), qPrintable("no file of " + added[0]));
        QString error;
        const QImage page = rasterise(file, Dpi, &error);
        QVERIFY2(!page.isNull(), qPrintable(error));
        QFile::remove(file);
        // A cross's centre: the column and the row with the most ink near where it should be.
        for (int i = 0; i < 2; ++i) {
            const QPointF p = i == 0 ? Waybill::Calibration::First : Waybill::Calibration::Second;
            const QPointF at = offset + QPointF(p.x() * scale.x(), p.y() * scale.y());
            // The vertical arm below the centre and the horizontal arm left of it,
            // away from the caption at the upper right.
            const QRectF below =
                inkBoxMm(inkBox(page, rasterRect(QRectF(at + QPointF(-3, 3), QSizeF(6, 2)), Dpi)), Dpi);
            const QRectF leftOf =
                inkBoxMm(inkBox(page, rasterRect(QRectF(at + QPointF(-5, -3), QSizeF(2, 6)), Dpi)), Dpi);
            crosses[i] = QPointF(below.center().x(), leftOf.center().y());
            qInfo("cross %d at %.2f, %.2f mm; sent to %.2f, %.2f mm", i + 1, crosses[i].x(), crosses[i].y(),
                  at.x(), at.y());
        }
        measure(dialog);
        QTest::mouseClick(named<QPushButton>(&dialog, "取消"), Qt::LeftButton);
    };
    const auto open = [&] { QTest::mouseClick(button(form.get(), "cmdSettings"), Qt::LeftButton); };
    QCOMPARE(runModal(open, calibrate), QStringList{"Waybill::frmPrintSettings"});
    // Cancelled: nothing kept.
    QCOMPARE(form->printSettings(), Waybill::PrintSettings());
    QCOMPARE(Waybill::PrintSettings::load(*w.platform, "SF"), Waybill::PrintSettings());
    // Measured after the dialog was closed, the page still solves from what it was
    // printed with, not from the plain settings the dialog now shows.
    const auto measureLater = [&](QDialog &dialog) {
        QCOMPARE(named<QDoubleSpinBox>(&dialog, "水平偏移 (mm)")->value(), 0.0);
        measure(dialog);
        QTest::mouseClick(named<QPushButton>(&dialog, "取消"), Qt::LeftButton);
    };
    QCOMPARE(runModal(open, measureLater), QStringList{"Waybill::frmPrintSettings"});
    form->close();
}

// What the main window prints goes into the journal; the same recipient again today
// is asked about; 再打印 opens the waybill filled from the entry, not from the fields.
void WaybillTest::printJournal()
{
    QString queue;
    if (const QString why = cupsPdfQueues(&queue, QString()); !why.isEmpty())
        QSKIP(qPrintable(why));
    MainWindow w;
    QVERIFY(w.start());
    fillMain(w);
    w.show();
    const PrintJournal journal(*w.platform);
    const auto open = [&] { courierButton(w, "SF")->click(); };
    const auto print = [](QDialog &form) { QTest::mouseClick(button(&form, "Command1"), Qt::LeftButton); };

    const QStringList before = cupsJobs();
    QCOMPARE(runModal(open, print), QStringList{"frmSF"});
    const QStringList added = newJobs(before, queue);
    QCOMPARE(added.size(), 1);
    const QString produced = jobFile(added.first());
    QVERIFY(QFile::remove(produced));
    QList<PrintJournal::Entry> entries = journal.entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].courier, QStringLiteral("顺丰"));
    QCOMPARE(entries[0].printer, queue);
    QCOMPARE(entries[0].value(u"txtNameTo"), w.field("txtNameTo")->text());
    QVERIFY(w.dialogs.messages.isEmpty());

    // No, the default, prints nothing and keeps the window.
    const QStringList jobs = cupsJobs();
    w.dialogs.answers = {Dialogs::No};
    const auto refuse = [](QDialog &form) {
        QTest::mouseClick(button(&form, "Command1"), Qt::LeftButton);
        QVERIFY(form.isVisible());
        QVERIFY(button(&form, "Command1")->isVisible());
    };
    QCOMPARE(runModal(open, refuse), QStringList{"frmSF"});
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.dialogs.messages[0].text, QStringLiteral("今天已为该收件人打印过顺丰快递单，仍要打印吗？"));
    QCOMPARE(w.dialogs.messages[0].flags, Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2);
    QCOMPARE(cupsJobs(), jobs);
    QCOMPARE(journal.entries().size(), 1);

    const QString printedName = w.field("txtNameTo")->text();
    w.field("txtNameTo")->setText("别人");
    QString reprinted;
    bool clicked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->objectName() == "frmJournal") {
            auto *reprint = modal->findChild<QPushButton *>("cmdReprint");
            if (!clicked && reprint->isEnabled()) {
                clicked = true;
                // Queued: the waybill window's own loop must not run inside this slot.
                QTimer::singleShot(0, reprint, &QPushButton::click);
            } else if (clicked && !reprinted.isEmpty()) {
                modal->close();
            }
        } else if (auto *form = qobject_cast<frmSF *>(modal)) {
            reprinted = field(form, "txtNameTo")->text();
            form->close();
        }
    });
    poll.start(10);
    w.form->findChild<QAction *>("actJournal")->trigger();
    poll.stop();
    QCOMPARE(reprinted, printedName);
}

void WaybillTest::cleanupTestCase()
{
    for (auto it = m_worstOffset.cbegin(); it != m_worstOffset.cend(); ++it)
        qInfo("%s: worst offset of the ink from where it belongs %.2f mm", qPrintable(it.key()), it.value());
    for (auto it = m_worstPlacement.cbegin(); it != m_worstPlacement.cend(); ++it)
        qInfo("%s: worst error of a field's ink under offset and scale %.3f mm", qPrintable(it.key()),
              it.value());
}

QUILLBOX_TEST_MAIN(WaybillTest)
#include "tst_waybill.moc"
