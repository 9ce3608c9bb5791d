// User-defined waybill forms: the ink they print through the print queue, their
// file surviving export and import, bad form files, and the courier slots of
// the main window.
#include "addressbook/printjournal.h"
#include "designer/formcanvas.h"
#include "designer/frmformeditor.h"
#include "designer/frmformlist.h"
#include "forms/formfile.h"
#include "forms/formlibrary.h"
#include "forms/formpainter.h"
#include "forms/formpicture.h"
#include "forms/frmform.h"
#include "mainwindow.h"
#include "printedpages.h"
#include "ui/twips.h"
#include "waybill/printjob.h"
#include "waybill/printsettings.h"

#include <QBuffer>
#include <QFileDialog>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>
#include <zlib.h>

#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <functional>

using Forms::Form;
using Forms::FormField;

namespace {

// Twenty pixels to the millimetre: fine enough to tell 0.2 mm apart.
constexpr int Dpi = 508;
constexpr double InkTolerance = 0.2; // mm

QRectF grown(const QRectF &r, double by)
{
    return r.adjusted(-by, -by, by, by);
}

QString queueProblem()
{
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull() || !printer.makeAndModel().contains("CUPS-PDF", Qt::CaseInsensitive))
        return "the default printer is not a CUPS-PDF queue; scripts/printer.sh sets one up (as root)";
    if (findTool("lpstat").isEmpty() || findTool("pdftoppm").isEmpty())
        return "lpstat (cups-client) and pdftoppm (poppler-utils) are needed";
    return QString();
}

FormField contactField(const QStringList &keys, QRectF box, FormField::Fit fit = FormField::Fit::OneLine)
{
    FormField f;
    f.source = FormField::Source::Contact;
    f.keys = keys;
    f.box = box;
    f.fit = fit;
    return f;
}

// Fields far enough apart that each one's ink is found on its own.
enum FieldRole { Name, Address, PhoneRight, Fixed, Date, Check, Asked, Postcode, Shrunk };

Form userForm()
{
    Form form;
    form.id = Form::newId();
    form.name = "申通快递";
    form.paper = QSizeF(230, 127);
    form.fields.push_back(contactField({"txtName"}, QRectF(20, 20, 30, 6)));
    form.fields.push_back(
        contactField({"txtP", "txtC", "txtA", "txtAdd"}, QRectF(20, 30, 45, 12), FormField::Fit::Wrap));
    FormField phone = contactField({"txtTelTo"}, QRectF(120, 20, 60, 6));
    phone.alignment = Qt::AlignRight | Qt::AlignTop;
    phone.bold = true;
    form.fields.push_back(phone);
    FormField fixed;
    fixed.source = FormField::Source::FixedText;
    fixed.text = "寄付";
    fixed.box = QRectF(120, 32, 20, 6);
    form.fields.push_back(fixed);
    FormField date;
    date.source = FormField::Source::Date;
    date.dateFormat = "yyyy年M月d日";
    date.box = QRectF(150, 32, 40, 6);
    date.pointSize = 10;
    form.fields.push_back(date);
    FormField check;
    check.source = FormField::Source::CheckMark;
    check.box = QRectF(200, 32, 5, 5);
    form.fields.push_back(check);
    FormField asked;
    asked.source = FormField::Source::Asked;
    asked.askLabel = "件数";
    asked.box = QRectF(120, 45, 20, 6);
    form.fields.push_back(asked);
    FormField zip = contactField({"txtZipTo"}, QRectF(20, 60, 42, 7));
    zip.pitch = 7;
    form.fields.push_back(zip);
    form.fields.push_back(contactField({"txtSentTo"}, QRectF(20, 80, 30, 6), FormField::Fit::Shrink));
    return form;
}

const QHash<QString, QString> Contacts{
    {"txtName", "张三"},     {"txtP", "广东省"},
    {"txtC", "深圳市"},      {"txtA", "南山区"},
    {"txtAdd", "科技园1号"}, {"txtTelTo", "0571-88886666"},
    {"txtZipTo", "310000"},  {"txtSentTo", "杭州西湖贸易有限责任公司国际物流部"},
};

Forms::FieldReader contacts()
{
    return [](QStringView key) { return Contacts.value(key.toString()); };
}

// A small PNG, and one whose header claims a picture far too large to decode.
QByteArray png(QSize size = QSize(40, 20))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray bytes = png(QSize(2, 2));
    // IHDR's width and height follow the signature, the length and the type.
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = char(width >> (24 - 8 * i));
        bytes[20 + i] = char(height >> (24 - 8 * i));
    }
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(bytes.constData() + 12), 17);
    for (int i = 0; i < 4; ++i)
        bytes[29 + i] = char(crc >> (24 - 8 * i));
    return bytes;
}

// A small PNG carrying count compressed text chunks, each unpacking to
// unpacked bytes: a picture of a few pixels that costs gigabytes to read whole.
QByteArray pngWithText(int count, int unpacked)
{
    const QByteArray text(unpacked, 'a');
    QByteArray packed(int(compressBound(uLong(text.size()))), Qt::Uninitialized);
    uLongf packedSize = uLongf(packed.size());
    compress2(reinterpret_cast<Bytef *>(packed.data()), &packedSize,
              reinterpret_cast<const Bytef *>(text.constData()), uLong(text.size()), 9);
    packed.truncate(int(packedSize));
    QByteArray chunk = QByteArray("zTXt") + QByteArray("Comment\0\0", 9) + packed;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(chunk.constData()), uInt(chunk.size()));
    QByteArray whole;
    for (int i = 3; i >= 0; --i)
        whole.append(char((chunk.size() - 4) >> (8 * i)));
    whole.append(chunk);
    for (int i = 3; i >= 0; --i)
        whole.append(char(crc >> (8 * i)));
    QByteArray bytes = png(QSize(2, 2));
    // After the signature and IHDR.
    bytes.insert(33, whole.repeated(count));
    return bytes;
}

// The process's peak memory so far, in MB.
long peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// A JPEG or PNG of that size, grey, as a scanner gives it.
QByteArray scan(QSize size, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 200, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray zipOf(const QList<std::pair<QString, QByteArray>> &entries)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    for (const auto &[name, bytes] : entries) {
        QuaZipFile file(&zip);
        file.open(QIODevice::WriteOnly, QuaZipNewInfo(name));
        file.write(bytes);
        file.close();
    }
    zip.close();
    return buffer.data();
}

// A form file whose description is the sound one with change applied.
QByteArray describedAs(const std::function<void(QJsonObject &)> &change,
                       const QList<std::pair<QString, QByteArray>> &more = {})
{
    Form form = userForm();
    QByteArray sound = Forms::FormFile::write(form);
    QJsonObject root;
    {
        QBuffer buffer(&sound);
        QuaZip in(&buffer);
        in.open(QuaZip::mdUnzip);
        in.setCurrentFile("form.json");
        QuaZipFile file(&in);
        file.open(QIODevice::ReadOnly);
        root = QJsonDocument::fromJson(file.readAll()).object();
    }
    change(root);
    QList<std::pair<QString, QByteArray>> entries{{"form.json", QJsonDocument(root).toJson()}};
    entries.append(more);
    return zipOf(entries);
}

QJsonObject firstField(const QJsonObject &root)
{
    return root["fields"].toArray().first().toObject();
}

void setFirstField(QJsonObject &root, const QJsonObject &field)
{
    QJsonArray fields = root["fields"].toArray();
    fields[0] = field;
    root["fields"] = fields;
}

// The description inside a form file, as its bytes.
QByteArray descriptionOf(QByteArray file)
{
    QBuffer buffer(&file);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdUnzip) || !zip.setCurrentFile("form.json"))
        return QByteArray();
    QuaZipFile entry(&zip);
    if (!entry.open(QIODevice::ReadOnly))
        return QByteArray();
    return entry.readAll();
}

// A parcel of two merged orders as a batch row gives it: five items of long
// titles, three remarks, the second of three parcels.
const QString FirstOrder = "3348811003123456789";
const QStringList SlipTitles{
    "纯棉宽松圆领短袖T恤男女同款夏季新款上衣", "高腰显瘦阔腿牛仔裤女春秋季新款直筒长裤子",
    "加厚珊瑚绒家居服套装女冬季保暖睡衣两件套", "儿童运动鞋男童网面透气防滑软底休闲跑步鞋",
    "大容量双肩包男士商务电脑背包学生书包旅行"};

QString slipItems(int count)
{
    const QStringList specs{"白色 XL", "浅蓝 27码", "粉色 均码", "黑色 34码", "深灰"};
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(QString("%1 %2 ×%3").arg(SlipTitles.at(i % 5), specs.at(i % 5)).arg(i % 3 + 1));
    return lines.join('\n');
}

Forms::FormValues slipValues(int items = 5)
{
    const QHash<QString, QString> row{
        {"orderNumber", FirstOrder},
        {"orderNumbers", FirstOrder + "\n3348811003987654321"},
        {"items", slipItems(items)},
        {"remarks", "请用顺丰发货，不要放发票\n两单一起发，谢谢\n送朋友的礼物，包装好一点"},
        {"parcel", "2/3"},
        {"txtNameTo", "欧阳晓明"},
        {"txtTelTo", "13912345678"},
        {"txtPTo", "浙江省"},
        {"txtCTo", "杭州市"},
        {"txtATo", "西湖区"},
        {"txtAddTo", "文三路478号华星时代广场A座1203室"},
        {"txtSent", "杭州西湖贸易有限公司"},
        {"txtName", "张三"},
    };
    Forms::FormValues values;
    values.contact = [row](QStringView key) { return row.value(key.toString()); };
    values.today = QDate(2026, 12, 8);
    return values;
}

// The form drawn as paper takes it, grey, at dpi.
QImage drawn(const Form &form, const Forms::FormValues &values, int dpi)
{
    QImage image((form.paper * dpi / 25.4).toSize(), QImage::Format_Grayscale8);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(dpi / 25.4, dpi / 25.4);
    Forms::FormPainter(form).paint(painter, values);
    painter.end();
    return image;
}

// The rows of the area that hold ink, as runs: one run a line of text.
int inkLines(const QImage &page, const QRectF &areaMm, int dpi)
{
    const QRect r = rasterRect(areaMm, dpi).intersected(page.rect());
    int lines = 0;
    bool inLine = false;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const uchar *row = page.constScanLine(y);
        const bool ink = std::any_of(row + r.left(), row + r.right() + 1, [](uchar v) { return v < 128; });
        lines += ink && !inLine;
        inLine = ink;
    }
    return lines;
}

} // namespace

class FormsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printedInk_data();
    void printedInk();
    void exportedAndImportedPrintsAlike();
    void unknownKeysSurviveRewrite();
    void presets();
    void formKind_data();
    void formKind();
    void slipPresets_data();
    void slipPresets();
    void lineBreaksAndEmptyValues_data();
    void lineBreaksAndEmptyValues();
    void libraryByKind();
    void badFile_data();
    void badFile();
    void windowShowsPictureFaintly();
    void pictureTextNotUnpacked();
    void largePictureWithinLimits_data();
    void largePictureWithinLimits();
    void slotButtons();
    void reprintUsesItsOwnForm();
    void librarySlotsCopiesAndTrash();
    void damagedFormKeepsItsSlot();
    void importSameFormTwice_data();
    void importSameFormTwice();
    void printGoesIntoJournal();
    void cancelAskedValueStopsPrint();
    void fileDialogInChinese();

private:
    // The page printed with default settings, to compare the imported form's with.
    QImage m_defaultPage;
};

// Prints the user form through its window's 打印 on the CUPS PDF queue: a job
// like any the shop prints, with the form's own print settings.
static QImage printThroughWindow(Platform &platform, ScriptedDialogs &dialogs, const Form &form, QString *why)
{
    const QStringList before = cupsJobs();
    frmForm window(platform, form, contacts());
    dialogs.inputs = QStringList{"12"};
    QSignalSpy printed(&window, &frmForm::printed);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        *why = "window not shown";
        return QImage();
    }
    window.findChild<QPushButton *>("Command1")->click();
    if (printed.count() != 1) {
        *why = "not printed: " + (dialogs.messages.isEmpty() ? QString() : dialogs.messages.last().text);
        return QImage();
    }
    const QString queue = printed.first().first().toString();
    QStringList added;
    (void)QTest::qWaitFor(
        [&] {
            added.clear();
            for (const QString &job : cupsJobs()) {
                if (!before.contains(job) && job.startsWith(queue + '-') &&
                    !job.mid(queue.size() + 1).contains('-'))
                    added.append(job);
            }
            return !added.isEmpty();
        },
        30000);
    if (added.size() != 1) {
        *why = "no job on " + queue;
        return QImage();
    }
    const QImage page = rasterise(jobFile(added.first()), Dpi);
    if (page.isNull())
        *why = "job " + added.first() + " printed no page";
    return page;
}

void FormsTest::printedInk_data()
{
    QTest::addColumn<QPointF>("offset");
    QTest::addColumn<double>("scaleX");
    QTest::addColumn<double>("scaleY");
    QTest::addColumn<bool>("landscape");
    QTest::newRow("default settings") << QPointF() << 1.0 << 1.0 << false;
    QTest::newRow("offset") << QPointF(4.5, -3) << 1.0 << 1.0 << false;
    QTest::newRow("offset and scale") << QPointF(-2, 1.5) << 1.05 << 0.95 << false;
    // Printed 横向: the job's page is the paper turned, and the queue turns it back.
    QTest::newRow("landscape") << QPointF() << 1.0 << 1.0 << true;
}

void FormsTest::printedInk()
{
    QFETCH(QPointF, offset);
    QFETCH(double, scaleX);
    QFETCH(double, scaleY);
    QFETCH(bool, landscape);
    const QString problem = queueProblem();
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));

    ProgramFolder folder;
    ScriptedDialogs dialogs;
    Platform platform(folder.root, folder.settingsFile(), dialogs);
    Form form = userForm();
    form.landscape = landscape;
    Waybill::PrintSettings settings = frmForm::loadSettings(platform, form);
    QCOMPARE(settings.paper, form.paper);
    settings.offset = offset;
    settings.scaleX = scaleX;
    settings.scaleY = scaleY;
    QVERIFY(settings.save(platform, frmForm::settingsSection(form)));

    QString why;
    const QImage page = printThroughWindow(platform, dialogs, form, &why);
    QVERIFY2(!page.isNull(), qPrintable(why));
    QCOMPARE(dialogs.prompts.size(), 1); // 件数, asked when printing
    if (offset.isNull() && scaleX == 1 && !landscape)
        m_defaultPage = page;

    std::unique_ptr<QPrinter> printer = Waybill::openPrinter(settings, &why);
    const QPointF corner = Waybill::printableCorner(*printer, settings);
    // The PDF queue makes the page whole points (230 mm becomes 651 pt, 229.66
    // mm) and centres what it was sent on it: the fields move by half the
    // difference, as they would on a printer with that page.
    const QPointF queueShift((page.width() * 25.4 / Dpi - form.paper.width()) / 2,
                             (page.height() * 25.4 / Dpi - form.paper.height()) / 2);
    const auto onPaper = [&](const QRectF &box) {
        return settings.toPaper(box, corner).translated(queueShift);
    };

    for (const FormField &field : form.fields) {
        const QRectF box = onPaper(field.box);
        const QString caption = Forms::fieldCaption(field);
        // All the ink near the box lies in it.
        const QRectF ink = inkMm(page, grown(box, 2), Dpi);
        QVERIFY2(!ink.isNull(), qPrintable("no ink for " + caption));
        QVERIFY2(grown(box, InkTolerance).contains(ink),
                 qPrintable(QString("%1: ink %2,%3 %4x%5 mm outside its box %6,%7 %8x%9 mm")
                                .arg(caption)
                                .arg(ink.x())
                                .arg(ink.y())
                                .arg(ink.width())
                                .arg(ink.height())
                                .arg(box.x())
                                .arg(box.y())
                                .arg(box.width())
                                .arg(box.height())));
        // And starts where the field's alignment puts it, not somewhere in the box.
        if (field.pitch == 0 && field.source != FormField::Source::CheckMark) {
            if (field.alignment & Qt::AlignRight)
                QVERIFY2(box.right() - ink.right() < 1, qPrintable(caption + " not at the right"));
            else
                QVERIFY2(ink.left() - box.left() < 1, qPrintable(caption + " not at the left"));
            QVERIFY2(ink.top() - box.top() < 1.5, qPrintable(caption + " not at the top"));
        }
    }

    // Each postcode digit in the middle of its own 7 mm box.
    const FormField &zip = form.fields.at(Postcode);
    for (int i = 0; i < 6; ++i) {
        const QRectF cell =
            onPaper(QRectF(zip.box.x() + i * zip.pitch, zip.box.y(), zip.pitch, zip.box.height()));
        const QRectF ink = inkMm(page, cell, Dpi);
        QVERIFY2(!ink.isNull(), qPrintable(QString("no ink for digit %1").arg(i + 1)));
        QVERIFY2(qAbs(ink.center().x() - cell.center().x()) <= InkTolerance,
                 qPrintable(QString("digit %1 centred at %2 mm, its box at %3 mm")
                                .arg(i + 1)
                                .arg(ink.center().x())
                                .arg(cell.center().x())));
    }

    // The long company name made smaller, not cut: all of it within the box, in
    // letters well below the 12 points of its font.
    const QRectF shrunkBox = onPaper(form.fields.at(Shrunk).box);
    const QRectF shrunk = inkMm(page, grown(shrunkBox, 2), Dpi);
    QVERIFY2(shrunk.height() < 2.5, qPrintable(QString("shrunk text %1 mm high").arg(shrunk.height())));
    QVERIFY2(shrunk.width() > shrunkBox.width() * 0.8,
             qPrintable(QString("shrunk text %1 mm wide").arg(shrunk.width())));
}

void FormsTest::exportedAndImportedPrintsAlike()
{
    const QString problem = queueProblem();
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));
    if (m_defaultPage.isNull())
        QSKIP("needs the page printedInk printed with default settings");

    ProgramFolder shop;
    ScriptedDialogs dialogs;
    Platform platform(shop.root, shop.settingsFile(), dialogs);
    Forms::FormLibrary library(platform);
    Form form = userForm();
    form.picture = png();
    form.picturePlace = QRectF(0, 0, 230, 127);
    QString fileName;
    QVERIFY(library.save(form, &fileName));
    QVERIFY(shop.exists("forms/" + fileName));
    const QString exported = shop.dir.path() + "/寄给分店.qbform";
    QVERIFY(library.exportFile(fileName, exported));

    ProgramFolder otherShop;
    Platform otherPlatform(otherShop.root, otherShop.settingsFile(), dialogs);
    Forms::FormLibrary otherLibrary(otherPlatform);
    QString error;
    const std::optional<QString> imported = otherLibrary.importFile(exported, &error);
    QVERIFY2(imported, qPrintable(error));
    const std::optional<Form> read = otherLibrary.load(*imported, &error);
    QVERIFY2(read, qPrintable(error));
    QCOMPARE(read->fields.size(), form.fields.size());
    QVERIFY(*read == form);

    QString why;
    const QImage page = printThroughWindow(otherPlatform, dialogs, *read, &why);
    QVERIFY2(!page.isNull(), qPrintable(why));
    QCOMPARE(page.size(), m_defaultPage.size());
    int differing = 0;
    for (int y = 0; y < page.height(); ++y) {
        const uchar *a = page.constScanLine(y), *b = m_defaultPage.constScanLine(y);
        for (int x = 0; x < page.width(); ++x)
            differing += (a[x] < 128) != (b[x] < 128);
    }
    QCOMPARE(differing, 0);
}

void FormsTest::unknownKeysSurviveRewrite()
{
    // What a later version adds, at the form and at a field, comes back out.
    const QByteArray later = describedAs([](QJsonObject &root) {
        root["barcode"] = QJsonObject{{"kind", "code128"}};
        QJsonObject field = firstField(root);
        field["colour"] = "#c00000";
        setFirstField(root, field);
    });
    QString error;
    const std::optional<Form> form = Forms::FormFile::read(later, &error);
    QVERIFY2(form, qPrintable(error));
    const std::optional<Form> again = Forms::FormFile::read(Forms::FormFile::write(*form), &error);
    QVERIFY2(again, qPrintable(error));
    QCOMPARE(again->unknown.value("barcode").toObject().value("kind").toString(), QString("code128"));
    QCOMPARE(again->fields.front().unknown.value("colour").toString(), QString("#c00000"));
    QVERIFY(*again == *form);

    // Barcode fields come back as they were; their content may name other fields.
    Form labelled = userForm();
    FormField code = labelled.fields.front();
    code.source = FormField::Source::FixedText;
    code.keys.clear();
    code.text = "{订单编号}-{txtNameTo}-{无此栏}";
    code.symbol = FormField::Symbol::QrCode;
    code.showText = false;
    code.moduleMm = 0.33;
    code.errorLevel = u'H';
    labelled.fields.push_back(code);
    const std::optional<Form> read = Forms::FormFile::read(Forms::FormFile::write(labelled), &error);
    QVERIFY2(read, qPrintable(error));
    QVERIFY(read->fields.back() == code);
    QVERIFY(*read == labelled);
    Forms::FormValues values;
    values.contact = [](QStringView key) {
        return key == u"orderNumber" ? QString("3348811003")
               : key == u"txtNameTo" ? QString("马超")
                                     : QString();
    };
    QCOMPARE(Forms::fieldText(read->fields.back(), values), QString("3348811003-马超-{无此栏}"));
    // Text fields keep their braces as written.
    FormField plain = code;
    plain.symbol = FormField::Symbol::None;
    QCOMPARE(Forms::fieldText(plain, values), code.text);

    // A barcode that cannot be printed is named before printing: here no waybill number yet.
    Form waiting;
    waiting.paper = QSizeF(100, 150);
    code.text = "{运单号}";
    code.box = QRectF(10, 10, 60, 20);
    waiting.fields.push_back(code);
    QCOMPARE(Forms::FormPainter(waiting).overflowingFields(values), QStringList{"二维码“{运单号}”"});
    values.contact = [](QStringView key) {
        return key == u"waybillNumber" ? QString("SF1442037800012") : QString();
    };
    QCOMPARE(Forms::FormPainter(waiting).overflowingFields(values), QStringList());
}

void FormsTest::presets()
{
    // The paper waybill blank, the labels' boxes on their page; every preset
    // is a file the reader takes.
    const std::vector<Form> presets = Forms::presets();
    QList<QSizeF> papers;
    for (const Form &preset : presets) {
        papers.append(preset.paper);
        QCOMPARE(preset.fields.empty(), preset.paper == QSizeF(230, 127));
        for (const FormField &field : preset.fields)
            QVERIFY2(QRectF(QPointF(), preset.paper).contains(field.box), qPrintable(preset.name));
        QString error;
        const std::optional<Form> read = Forms::FormFile::read(Forms::FormFile::write(preset), &error);
        QVERIFY2(read && *read == preset, qPrintable(preset.name + error));
    }
    QCOMPARE(papers, (QList<QSizeF>{{230, 127}, {76, 130}, {100, 150}, {100, 180}}));
    // Each a new form with its own print settings.
    QVERIFY(!presets.front().id.isEmpty());
    QVERIFY(presets.front().id != Forms::presets().front().id);
}

// A form's kind in its file: a waybill's file as every earlier version wrote
// it, byte for byte; a slip marked; a kind of a later version read as a
// waybill and written back as it came.
void FormsTest::formKind_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QJsonValue>("written");
    const QByteArray waybill = Forms::FormFile::write(userForm());
    QTest::newRow("waybill, as before")
        << waybill << int(Form::Kind::Waybill) << QJsonValue(QJsonValue::Undefined);
    Form slip = userForm();
    slip.kind = Form::Kind::PackingSlip;
    QTest::newRow("packing slip") << Forms::FormFile::write(slip) << int(Form::Kind::PackingSlip)
                                  << QJsonValue("packingSlip");
    QTest::newRow("a later version's kind") << describedAs([](QJsonObject &r) { r["kind"] = "invoice"; })
                                            << int(Form::Kind::Waybill) << QJsonValue("invoice");
    QTest::newRow("a kind not a word")
        << describedAs([](QJsonObject &r) { r["kind"] = 2; }) << int(Form::Kind::Waybill) << QJsonValue(2);
}

void FormsTest::formKind()
{
    QFETCH(QByteArray, file);
    QFETCH(int, kind);
    QFETCH(QJsonValue, written);
    QString error;
    const std::optional<Form> form = Forms::FormFile::read(file, &error);
    QVERIFY2(form, qPrintable(error));
    QCOMPARE(int(form->kind), kind);
    const QByteArray rewritten = Forms::FormFile::write(*form);
    const QByteArray description = descriptionOf(rewritten);
    QCOMPARE(QJsonDocument::fromJson(description).object().value("kind"), written);
    QCOMPARE(description, descriptionOf(file));
    const std::optional<Form> again = Forms::FormFile::read(rewritten, &error);
    QVERIFY2(again, qPrintable(error));
    QVERIFY(*again == *form);
}

// Each slip preset takes a parcel of two orders, five items and three remarks
// whole, and room for its share of items more; its barcode scans back as the
// first order number.
void FormsTest::slipPresets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSizeF>("paper");
    QTest::addColumn<int>("room"); // items of long titles that still fit
    QTest::addColumn<int>("dpi");  // of the printer it goes to
    QTest::newRow("A4") << "发货单 A4" << QSizeF(210, 297) << 10 << 300;
    QTest::newRow("A5") << "发货单 A5" << QSizeF(148, 210) << 10 << 300;
    QTest::newRow("half an A4") << "发货单 半张A4" << QSizeF(210, 148.5) << 10 << 300;
    QTest::newRow("label") << "发货单 标签 100×150" << QSizeF(100, 150) << 6 << 203;
}

void FormsTest::slipPresets()
{
    QFETCH(QString, name);
    QFETCH(QSizeF, paper);
    QFETCH(int, room);
    QFETCH(int, dpi);
    const std::vector<Form> presets = Forms::slipPresets();
    const auto found =
        std::find_if(presets.begin(), presets.end(), [&](const Form &f) { return f.name == name; });
    QVERIFY(found != presets.end());
    const Form &slip = *found;
    QCOMPARE(int(slip.kind), int(Form::Kind::PackingSlip));
    QCOMPARE(slip.paper, paper);
    QString error;
    const std::optional<Form> read = Forms::FormFile::read(Forms::FormFile::write(slip), &error);
    QVERIFY2(read && *read == slip, qPrintable(error));

    // What a packer and a buyer look for, each in a box of its own on the page.
    QStringList shown;
    for (const FormField &field : slip.fields) {
        shown.append(field.source == FormField::Source::FixedText ? field.text : Forms::fieldCaption(field));
        QVERIFY2(QRectF(QPointF(), paper).contains(field.box), qPrintable(Forms::fieldCaption(field)));
        for (const FormField &other : slip.fields) {
            QVERIFY2(&other == &field || !field.box.intersects(other.box),
                     qPrintable(Forms::fieldCaption(field) + " over " + Forms::fieldCaption(other)));
        }
    }
    for (const QString &wanted :
         QStringList{"发货单", "{订单编号}", "全部订单编号", "收件人+收件电话", "收件地址", "商品明细",
                     "备注", "件数", "日期", "寄件单位+寄件人"})
        QVERIFY2(shown.contains(wanted), qPrintable(wanted + " not in " + shown.join(", ")));

    const Forms::FormPainter painter(slip);
    QCOMPARE(painter.overflowingFields(slipValues()), QStringList());
    QCOMPARE(painter.overflowingFields(slipValues(room)), QStringList());

    if (findTool("zbarimg").isEmpty())
        QSKIP("zbarimg (zbar-tools) is needed to read the barcode back");
    QTemporaryDir dir;
    const QString png = dir.filePath("slip.png");
    QVERIFY(drawn(slip, slipValues(), dpi).save(png));
    const QString scanned = QString::fromUtf8(
        runTool(findTool("zbarimg"), {"--raw", "-q", "-Sdisable", "-Scode128.enable", png}));
    QCOMPARE(scanned.trimmed(), FirstOrder);
}

// A wrapped field breaks its text where the text breaks, whatever line ending
// it has; a field of one line runs the lines on. A value that is empty prints
// nothing, and no separator stands alone.
void FormsTest::lineBreaksAndEmptyValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fit");
    QTest::addColumn<int>("lines");
    QTest::newRow("line feeds") << "衬衫 ×1\n裤子 ×2\n袜子 ×3" << int(FormField::Fit::Wrap) << 3;
    QTest::newRow("Windows line ends") << "衬衫 ×1\r\n裤子 ×2" << int(FormField::Fit::Wrap) << 2;
    QTest::newRow("one line") << "衬衫 ×1\n裤子 ×2\n袜子 ×3" << int(FormField::Fit::OneLine) << 1;
    QTest::newRow("empty") << QString() << int(FormField::Fit::Wrap) << 0;
}

void FormsTest::lineBreaksAndEmptyValues()
{
    QFETCH(QString, text);
    QFETCH(int, fit);
    QFETCH(int, lines);
    Form form;
    form.paper = QSizeF(100, 60);
    // Wide enough for all of the text on one line.
    FormField items = contactField({"items"}, QRectF(5, 5, 90, 30), FormField::Fit(fit));
    form.fields.push_back(items);
    FormField sender = contactField({"txtSent", "txtName"}, QRectF(5, 45, 90, 8));
    sender.separator = " / ";
    form.fields.push_back(sender);
    Forms::FormValues values;
    values.contact = [text](QStringView key) {
        return key == u"items" ? text : key == u"txtName" ? QString("张三") : QString();
    };
    const QImage page = drawn(form, values, 254);
    QCOMPARE(inkLines(page, items.box, 254), lines);
    QCOMPARE(Forms::FormPainter(form).overflows(items, values), false);
    // A line more than the box holds is named as cut.
    FormField low = items;
    low.box.setHeight(12 * 25.4 / 72 * 1.2 * 2);
    QCOMPARE(Forms::FormPainter(form).overflows(low, values), lines > 2);
    QCOMPARE(Forms::fieldText(sender, values), QString("张三"));
}

// The forms of each kind, for where a waybill is chosen and where a slip is;
// the list marks a slip.
void FormsTest::libraryByKind()
{
    ProgramFolder shop;
    ScriptedDialogs dialogs;
    Platform platform(shop.root, shop.settingsFile(), dialogs);
    Forms::FormLibrary library(platform);
    QString sto, slipFile;
    QVERIFY(library.save(userForm(), &sto));
    Form slip = Forms::slipPresets().front();
    slip.name = "本店发货单";
    QVERIFY(library.save(slip, &slipFile));
    shop.write("forms/新版.qbform", describedAs([](QJsonObject &r) {
                   r["kind"] = "invoice";
                   r["name"] = "新版";
               }));
    shop.write("forms/坏的.qbform", QByteArray("不是模板"));

    const auto captions = [](const QList<Forms::FormLibrary::Entry> &entries) {
        QStringList names;
        for (const Forms::FormLibrary::Entry &entry : entries)
            names.append(entry.caption());
        return names;
    };
    QCOMPARE(captions(library.waybillForms()), (QStringList{"申通快递", "新版"}));
    QCOMPARE(captions(library.slipForms()), QStringList{"本店发货单（发货单）"});
    QCOMPARE(captions(library.list(Forms::FormLibrary::Damaged::Listed)),
             (QStringList{"本店发货单（发货单）", "坏的（已损坏）", "申通快递", "新版"}));
}

void FormsTest::badFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QByteArray sound = Forms::FormFile::write(userForm());
    QTest::newRow("empty") << QByteArray() << "文件是空的";
    QTest::newRow("truncated") << sound.left(sound.size() / 2) << "损坏";
    QTest::newRow("not a zip") << QByteArray("寄件人=张三\n").repeated(20) << "不是快递单模板";
    QTest::newRow("no description") << zipOf({{"readme.txt", "hello"}}) << "缺少“form.json”";
    QTest::newRow("description not JSON")
        << zipOf({{"form.json", "{\"format\": \"quillbox-form\", "}}) << "模板描述已损坏";
    QTest::newRow("other format") << describedAs([](QJsonObject &r) { r["format"] = "something-else"; })
                                  << "不是快递单模板";
    QTest::newRow("later version") << describedAs([](QJsonObject &r) { r["version"] = 7; }) << "请先升级";
    QTest::newRow("name not text") << describedAs([](QJsonObject &r) { r["name"] = 42; }) << "“name”应为文字";
    QTest::newRow("negative paper") << describedAs([](QJsonObject &r) {
        r["paper"] = QJsonObject{{"width", -230}, {"height", 127}};
    }) << "纸张的“width”为 -230";
    QTest::newRow("huge paper") << describedAs([](QJsonObject &r) {
        r["paper"] = QJsonObject{{"width", 230}, {"height", 1e300}};
    }) << "纸张的“height”";
    QTest::newRow("too many fields") << describedAs([](QJsonObject &r) {
        QJsonArray fields;
        for (int i = 0; i < Form::MaxFields + 1; ++i)
            fields.append(firstField(r));
        r["fields"] = fields;
    }) << "字段太多";
    QTest::newRow("box of wrong type") << describedAs([](QJsonObject &r) {
        QJsonObject f = firstField(r);
        f["width"] = "30mm";
        setFirstField(r, f);
    }) << "第 1 个字段缺少数值“width”";
    QTest::newRow("negative box") << describedAs([](QJsonObject &r) {
        QJsonObject f = firstField(r);
        f["height"] = -6;
        setFirstField(r, f);
    }) << "第 1 个字段的“height”为 -6";
    QTest::newRow("unknown barcode kind") << describedAs([](QJsonObject &r) {
        QJsonObject f = firstField(r);
        f["symbol"] = "pdf417";
        setFirstField(r, f);
    }) << "第 1 个字段的条码种类“pdf417”无法识别";
    QTest::newRow("unknown QR error level") << describedAs([](QJsonObject &r) {
        QJsonObject f = firstField(r);
        f["symbol"] = "qr";
        f["ecc"] = "X";
        setFirstField(r, f);
    }) << "纠错等级“X”无法识别";
    QTest::newRow("module too narrow to print") << describedAs([](QJsonObject &r) {
        QJsonObject f = firstField(r);
        f["symbol"] = "code128";
        f["module"] = 0.01;
        setFirstField(r, f);
    }) << "第 1 个字段的“module”为 0.01";
    QTest::newRow("unknown contact field") << describedAs([](QJsonObject &r) {
        QJsonObject f = firstField(r);
        f["keys"] = QJsonArray{"txtPassword"};
        setFirstField(r, f);
    }) << "联系人栏目“txtPassword”无法识别";
    QTest::newRow("picture missing") << describedAs([](QJsonObject &r) {
        r["picture"] =
            QJsonObject{{"file", "picture.png"}, {"x", 0}, {"y", 0}, {"width", 230}, {"height", 127}};
    }) << "缺少“picture.png”";
    QTest::newRow("picture bomb") << describedAs(
                                         [](QJsonObject &r) {
                                             r["picture"] = QJsonObject{{"file", "picture.png"},
                                                                        {"x", 0},
                                                                        {"y", 0},
                                                                        {"width", 230},
                                                                        {"height", 127}};
                                         },
                                         {{"picture.png", pngClaiming(60000, 60000)}})
                                  << "底图太大（60000×60000 像素）";
    QTest::newRow("picture not a picture")
        << describedAs(
               [](QJsonObject &r) {
                   r["picture"] = QJsonObject{
                       {"file", "picture.png"}, {"x", 0}, {"y", 0}, {"width", 230}, {"height", 127}};
               },
               {{"picture.png", QByteArray(500, 'x')}})
        << "不是 PNG 或 JPEG";
}

void FormsTest::badFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);

    ProgramFolder shop;
    ScriptedDialogs dialogs;
    Platform platform(shop.root, shop.settingsFile(), dialogs);
    Forms::FormLibrary library(platform);
    Form kept = userForm();
    QString keptFile;
    QVERIFY(library.save(kept, &keptFile));
    const QStringList before = shop.tree();

    const QString bad = shop.dir.path() + "/bad.qbform";
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QString error;
    QVERIFY(!library.importFile(bad, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(shop.tree().size(), before.size() + 1); // the bad file itself, outside the program folder
    QCOMPARE(library.list().size(), 1);
}

void FormsTest::windowShowsPictureFaintly()
{
    ProgramFolder shop;
    ScriptedDialogs dialogs;
    Platform platform(shop.root, shop.settingsFile(), dialogs);
    Form form = userForm();
    // A black scan over the lower right quarter of the page.
    QImage black(QSize(100, 50), QImage::Format_RGB32);
    black.fill(Qt::black);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    black.save(&buffer, "PNG");
    form.picture = bytes;
    form.picturePlace = QRectF(115, 63.5, 115, 63.5);
    frmForm window(platform, form, contacts());
    const QImage shown = window.grab().toImage();
    const QPoint inPicture((115 + 100) * Forms::FormPainter::PixelsPerMm,
                           (63.5 + 50) * Forms::FormPainter::PixelsPerMm);
    const QPoint outside(100 * Forms::FormPainter::PixelsPerMm, 110 * Forms::FormPainter::PixelsPerMm);
    const int grey = qGray(shown.pixel(inPicture));
    QVERIFY2(grey > 120 && grey < 230, qPrintable(QString("the picture shows at grey %1").arg(grey)));
    QCOMPARE(qGray(shown.pixel(outside)), 255);
}

// A form whose picture carries compressed text is read, listed and opened
// without unpacking the text: memory stays where it was.
void FormsTest::pictureTextNotUnpacked()
{
    Form form = userForm();
    form.picture = pngWithText(20, 7900000);
    form.picturePlace = QRectF(0, 0, 230, 127);
    const QByteArray file = Forms::FormFile::write(form);
    QVERIFY(file.size() < 200000);

    ProgramFolder shop;
    ScriptedDialogs dialogs;
    Platform platform(shop.root, shop.settingsFile(), dialogs);
    Forms::FormLibrary library(platform);
    const QString path = shop.dir.path() + "/text.qbform";
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();

    const long before = peakMb();
    QString error;
    const std::optional<QString> imported = library.importFile(path, &error);
    QVERIFY2(imported, qPrintable(error));
    QCOMPARE(library.list().size(), 1);
    QVERIFY2(library.load(*imported, &error), qPrintable(error));
    const std::optional<Form> read = Forms::FormFile::read(file, &error);
    QVERIFY2(read, qPrintable(error));
    QVERIFY(!Forms::FormPainter(*read).background().isNull());
    const long grown = peakMb() - before;
    QVERIFY2(grown < 100, qPrintable(QString("memory grew by %1 MB").arg(grown)));
}

// Pictures within the form's limits are read whole, however many pixels
// they have; the window decodes its picture once, at the size it shows it.
void FormsTest::largePictureWithinLimits_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("PNG of 35 million pixels") << QSize(7000, 5000) << QByteArray("PNG");
    QTest::newRow("JPEG of 80 million pixels") << QSize(10000, 8000) << QByteArray("JPEG");
}

void FormsTest::largePictureWithinLimits()
{
    QFETCH(QSize, pixels);
    QFETCH(QByteArray, format);
    Form form = userForm();
    form.picture = scan(pixels, format.constData());
    form.picturePlace = QRectF(0, 0, 230, 127);
    QString error;
    const std::optional<Form> read = Forms::FormFile::read(Forms::FormFile::write(form), &error);
    QVERIFY2(read, qPrintable(error));

    ProgramFolder shop;
    ScriptedDialogs dialogs;
    Platform platform(shop.root, shop.settingsFile(), dialogs);
    frmForm window(platform, *read, contacts());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shown = window.grab().toImage();
    QCOMPARE(qGray(shown.pixel(shown.width() - 5, shown.height() - 5)) < 255, true);
    // What the window keeps of the picture: the size it is drawn at, 96 dpi.
    const QSize kept = window.background().size();
    QVERIFY2(kept.width() <= qRound(230 / 25.4 * 96) + 1,
             qPrintable(QString("%1 × %2").arg(kept.width()).arg(kept.height())));
    // The editor's page: no finer than paper needs, 200 dpi.
    Forms::FormLibrary library(platform);
    Designer::frmFormEditor editor(platform, library, *read, QString(), Designer::FilePicker{}, nullptr);
    const QSize onPage = editor.canvas().picture().size();
    QVERIFY2(!onPage.isEmpty() && onPage.width() <= Forms::FormPicture::pixelsFor(QSizeF(230, 127)).width(),
             qPrintable(QString("%1 × %2").arg(onPage.width()).arg(onPage.height())));
}

// 再打印 opens the form the entry was printed on, not another of the same name;
// an entry whose form is gone says so and opens nothing.
void FormsTest::reprintUsesItsOwnForm()
{
    MainWindow w;
    Forms::FormLibrary library(*w.platform);
    Form first = userForm();
    QString firstFile, secondFile;
    QVERIFY(library.save(first, &firstFile));
    Form second = userForm(); // the same name, a label's paper
    second.paper = QSizeF(100, 150);
    QVERIFY(library.save(second, &secondFile));
    PrintJournal journal(*w.platform);
    const auto recipient = [](QStringView key) { return key == u"txtNameTo" ? QString("李娜") : QString(); };
    PrintJournal::Entry entry = PrintJournal::entryFor(second.name, "Q", recipient);
    entry.formId = second.id;
    QVERIFY(journal.append(entry));
    QVERIFY(w.start());
    w.show();

    const auto reprintFirstEntry = [&] {
        QSize opened;
        bool clicked = false;
        const qsizetype told = w.dialogs.messages.size();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && modal->objectName() == "frmJournal") {
                auto *reprint = modal->findChild<QPushButton *>("cmdReprint");
                if (!clicked && reprint->isEnabled()) {
                    clicked = true;
                    // Queued: the form's own loop must not run inside this slot.
                    QTimer::singleShot(0, reprint, &QPushButton::click);
                } else if (clicked && (opened.isValid() || w.dialogs.messages.size() > told)) {
                    modal->close();
                }
            } else if (auto *form = qobject_cast<frmForm *>(modal)) {
                opened = form->size();
                form->close();
            }
        });
        poll.start(10);
        w.form->findChild<QAction *>("actJournal")->trigger();
        poll.stop();
        return opened;
    };
    QCOMPARE(reprintFirstEntry(), QSize(qRound(100 * Forms::FormPainter::PixelsPerMm),
                                        qRound(150 * Forms::FormPainter::PixelsPerMm)));

    QVERIFY(QFile::remove(library.folder() + "/" + secondFile));
    QCOMPARE(reprintFirstEntry(), QSize());
    QVERIFY(!w.dialogs.messages.isEmpty());
    QVERIFY2(w.dialogs.messages.last().text.contains("已不在了"), qPrintable(w.dialogs.messages.last().text));
}

void FormsTest::slotButtons()
{
    MainWindow w;
    Forms::FormLibrary library(*w.platform);
    QString sto, zto, ems;
    Form form = userForm();
    QVERIFY(library.save(form, &sto));
    form.id = Form::newId();
    form.name = "中通快递";
    QVERIFY(library.save(form, &zto));
    form.id = Form::newId();
    form.name = "EMS";
    QVERIFY(library.save(form, &ems));
    QVERIFY(library.setSlot(sto, 4));
    QVERIFY(library.setSlot(zto, 6));
    QVERIFY(w.start());
    w.show();

    const QStringList buttons{"Command3", "Command1", "Command2", "Command4", "Command6", "Command5"};
    for (int slot = 3; slot <= 8; ++slot) {
        QPushButton *b = w.button(buttons.at(slot - 3));
        QCOMPARE(b->isVisible(), slot == 4 || slot == 6);
        // At the slot's own place in the courier column, whatever it shows.
        QCOMPARE(b->geometry(), Twips::rect(120, 1920 + (slot - 3) * 720, 1215, 495));
    }
    QCOMPARE(w.button("Command1")->text(), QString("申通快递 &4"));
    QCOMPARE(w.button("Command4")->text(), QString("中通快递 &6"));

    // Alt+3 reaches a hidden slot and opens nothing; Alt+4 opens 申通快递. An
    // access key clicks after a short delay, the same for every button, so
    // once the form shows, Alt+3 has had its chance.
    QSignalSpy slot3(w.button("Command3"), &QPushButton::clicked);
    QSize size;
    QStringList opened = runModal(
        [&] {
            QTest::keyClick(w.form->windowHandle(), Qt::Key_3, Qt::AltModifier);
            QTest::keyClick(w.form->windowHandle(), Qt::Key_4, Qt::AltModifier);
            QVERIFY(QTest::qWaitFor([&] { return size.isValid(); }, 5000));
        },
        [&](QDialog &window) { size = window.size(); });
    QCOMPARE(opened, QStringList{"frmForm"});
    QCOMPARE(slot3.count(), 0);
    QCOMPARE(size, QSize(qRound(230 * Forms::FormPainter::PixelsPerMm),
                         qRound(127 * Forms::FormPainter::PixelsPerMm)));

    // The form in no slot is reached from the 工具 menu.
    auto *menu = w.form->findChild<QMenu *>("mnuTools");
    w.button("cmdTools")->click();
    QTRY_VERIFY(menu->isVisible());
    QStringList entries;
    for (QAction *action : menu->actions())
        entries.append(action->text());
    menu->close();
    QVERIFY2(entries.contains("打印EMS…"), qPrintable(entries.join(", ")));
    QVERIFY(!entries.contains("打印申通快递…"));

    // Out of its slot, the button goes and its Alt key does nothing again.
    QVERIFY(library.setSlot(sto, 0));
    w.form->refreshFormSlots();
    QVERIFY(!w.button("Command1")->isVisible());
    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    QSignalSpy slot4(w.button("Command1"), &QPushButton::clicked);
    QSignalSpy sf(w.button("cmdSF"), &QPushButton::clicked);
    opened = runModal([&] {
        QTest::keyClick(w.form->windowHandle(), Qt::Key_4, Qt::AltModifier);
        QTest::keyClick(w.form->windowHandle(), Qt::Key_1, Qt::AltModifier);
        QVERIFY(QTest::qWaitFor([&] { return sf.count() == 1; }, 5000));
    });
    QCOMPARE(opened, QStringList{"frmSF"});
    QCOMPARE(slot4.count(), 0);
}

void FormsTest::librarySlotsCopiesAndTrash()
{
    TemporaryHome home;
    ProgramFolder shop;
    ScriptedDialogs dialogs;
    Platform platform(shop.root, shop.settingsFile(), dialogs);
    Forms::FormLibrary library(platform);
    const Form form = userForm();
    QString sto;
    QVERIFY(library.save(form, &sto));
    QCOMPARE(sto, QString("申通快递.qbform"));

    // A copy is a form of its own: new id (its own print settings), no slot.
    QVERIFY(library.setSlot(sto, 4));
    QString error;
    const std::optional<QString> copy = library.copy(sto, "申通快递 分店", &error);
    QVERIFY2(copy, qPrintable(error));
    QCOMPARE(library.slotOf(*copy), 0);
    QVERIFY(library.load(*copy)->id != form.id);
    // The same name again gets a file beside the first, not over it.
    QString again;
    QVERIFY(library.save(form, &again));
    QCOMPARE(again, QString("申通快递 (2).qbform"));

    // One form, one slot: moved to 6, slot 4 is free; a slot takes one form.
    QVERIFY(library.setSlot(sto, 6));
    QCOMPARE(library.formInSlot(4), QString());
    QVERIFY(library.setSlot(*copy, 6));
    QCOMPARE(library.slotOf(sto), 0);
    QCOMPARE(library.formInSlot(6), *copy);

    // Deleted to the trash, its slot freed.
    QVERIFY(library.remove(*copy, &error));
    QCOMPARE(home.trashed(), QStringList{*copy});
    QCOMPARE(library.formInSlot(6), QString());
    QCOMPARE(library.list().size(), 2);

    // Gone from the folder by other means, its slot still named: a new form of
    // that file name does not take it.
    QVERIFY(library.setSlot(again, 5));
    QVERIFY(QFile::remove(library.folder() + again));
    QString newer;
    QVERIFY(library.save(form, &newer));
    QCOMPARE(newer, again);
    QCOMPARE(library.slotOf(newer), 0);
}

// A form whose file cannot be read stays in the list, marked, and keeps its
// slot; its button says it cannot be read and opening it says why.
void FormsTest::damagedFormKeepsItsSlot()
{
    MainWindow w;
    Forms::FormLibrary library(*w.platform);
    QString sto;
    QVERIFY(library.save(userForm(), &sto));
    QVERIFY(library.setSlot(sto, 4));
    const QByteArray sound = Forms::FormFile::write(userForm());
    w.folder.write("forms/中通快递.qbform", sound.left(sound.size() / 2));
    QVERIFY(library.setSlot("中通快递.qbform", 6));
    QVERIFY(w.start());
    w.show();

    // Where a form is chosen to print, only the readable ones.
    QCOMPARE(library.list().size(), 1);
    const QList<Forms::FormLibrary::Entry> all = library.list(Forms::FormLibrary::Damaged::Listed);
    QCOMPARE(all.size(), 2);
    const Forms::FormLibrary::Entry damaged = all.at(0).fileName == sto ? all.at(1) : all.at(0);
    QCOMPARE(damaged.fileName, QString("中通快递.qbform"));
    QCOMPARE(damaged.caption(), QString("中通快递（已损坏）"));
    QCOMPARE(damaged.slot, 6);
    QVERIFY2(damaged.problem.contains("损坏"), qPrintable(damaged.problem));

    QPushButton *slot6 = w.button("Command4");
    QVERIFY(slot6->isVisible());
    QCOMPARE(slot6->text(), QString("模板无法读取 &6"));
    QCOMPARE(slot6->toolTip(), damaged.problem);
    QCOMPARE(runModal([&] { slot6->click(); }), QStringList());
    QCOMPARE(w.dialogs.messages.size(), 1);
    QVERIFY2(w.dialogs.messages.first().text.contains(damaged.problem),
             qPrintable(w.dialogs.messages.first().text));
    QVERIFY(slot6->isVisible());
    QCOMPARE(library.formInSlot(6), QString("中通快递.qbform"));

    // In the list, to be deleted or replaced.
    Designer::frmFormList list(*w.platform, library, Designer::FilePicker{});
    auto *rows = list.findChild<QTreeWidget *>("lstForms");
    QCOMPARE(rows->topLevelItemCount(), 2);
    const QList<QTreeWidgetItem *> found = rows->findItems("中通快递（已损坏）", Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first()->toolTip(0), damaged.problem);
    QCOMPARE(found.first()->text(1), QString("Alt+6"));
}

// The same form brought in twice: replaced, or kept beside the first as a
// form of its own, or not brought in.
void FormsTest::importSameFormTwice_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("replace") << int(Dialogs::Yes);
    QTest::newRow("keep both") << int(Dialogs::No);
}

void FormsTest::importSameFormTwice()
{
    QFETCH(int, answer);
    ProgramFolder shop;
    ScriptedDialogs dialogs;
    Platform platform(shop.root, shop.settingsFile(), dialogs);
    Forms::FormLibrary library(platform);
    const Form form = userForm();
    const QString path = shop.dir.path() + "/申通快递.qbform";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Forms::FormFile::write(form));
    file.close();
    QString error;
    const std::optional<QString> first = library.importFile(path, &error);
    QVERIFY2(first, qPrintable(error));
    QVERIFY(library.setSlot(*first, 4));
    QCOMPARE(library.fileWithId(form.id), *first);

    const auto same = answer == Dialogs::Yes ? Forms::FormLibrary::SameForm::Replace
                                             : Forms::FormLibrary::SameForm::KeepBoth;
    const std::optional<QString> second = library.importFile(path, &error, same);
    QVERIFY2(second, qPrintable(error));
    const QList<Forms::FormLibrary::Entry> entries = library.list();
    if (answer == Dialogs::Yes) {
        QCOMPARE(*second, *first);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(library.slotOf(*first), 4);
        return;
    }
    QCOMPARE(entries.size(), 2);
    const std::optional<Form> copy = library.load(*second);
    QVERIFY(copy);
    QCOMPARE(copy->name, QString("申通快递（2）"));
    QVERIFY(copy->id != form.id);
    QVERIFY(frmForm::settingsSection(*copy) != frmForm::settingsSection(form));
    QCOMPARE(library.slotOf(*second), 0);
    QCOMPARE(library.slotOf(*first), 4);
    // A third time: a name of its own again.
    const std::optional<QString> third = library.importFile(path, &error, same);
    QVERIFY(third);
    QCOMPARE(library.load(*third)->name, QString("申通快递（3）"));
}

void FormsTest::printGoesIntoJournal()
{
    const QString problem = queueProblem();
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));
    MainWindow w;
    Forms::FormLibrary library(*w.platform);
    QString sto;
    QVERIFY(library.save(userForm(), &sto));
    QVERIFY(library.setSlot(sto, 4));
    QVERIFY(w.start());
    w.show();
    for (auto it = Contacts.cbegin(); it != Contacts.cend(); ++it)
        w.field(it.key())->setText(it.value());

    const auto printOnce = [&] {
        return runModal([&] { w.button("Command1")->click(); },
                        [](QDialog &window) { window.findChild<QPushButton *>("Command1")->click(); });
    };
    w.dialogs.inputs = QStringList{"2"};
    QCOMPARE(printOnce(), QStringList{"frmForm"});
    PrintJournal journal(*w.platform);
    QList<PrintJournal::Entry> entries = journal.entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().courier, QString("申通快递"));
    QCOMPARE(entries.first().value(u"txtSentTo"), Contacts.value("txtSentTo"));

    // The same recipient again today: asked first, and 否 prints nothing.
    w.dialogs.messages.clear();
    w.dialogs.inputs = QStringList{"2"};
    w.dialogs.answers = QList<int>{Dialogs::No};
    QCOMPARE(printOnce(), QStringList{"frmForm"});
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.dialogs.messages.first().text, QString("今天已为该收件人打印过申通快递单，仍要打印吗？"));
    QCOMPARE(journal.entries().size(), 1);
}

// 取消 on a value asked when printing prints nothing and asks nothing more.
void FormsTest::cancelAskedValueStopsPrint()
{
    const QString problem = queueProblem();
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));
    ProgramFolder shop;
    ScriptedDialogs dialogs;
    Platform platform(shop.root, shop.settingsFile(), dialogs);
    Form form = userForm();
    FormField second = form.fields.at(Asked);
    second.askLabel = "托寄物";
    second.box.translate(0, 10);
    form.fields.push_back(second);
    frmForm window(platform, form, contacts());
    QSignalSpy printed(&window, &frmForm::printed);
    bool checked = false;
    window.addPrintCheck([&] { return checked = true; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    dialogs.inputs = QStringList{"2"}; // 件数; 托寄物 cancelled
    window.findChild<QPushButton *>("Command1")->click();
    QCOMPARE(dialogs.prompts.size(), 2);
    QCOMPARE(printed.count(), 0);
    QVERIFY(!checked);
    QVERIFY(dialogs.messages.isEmpty());
    QVERIFY(window.isVisible());
}

// The file dialog a form is brought in or sent out through speaks Chinese.
void FormsTest::fileDialogInChinese()
{
    QFileDialog dialog(nullptr, "导入快递单模板", QString(), "快递单模板 (*.qbform)");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QStringList english;
    const QRegularExpression latin("[A-Za-z]{2,}");
    for (const QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->isVisible() && latin.match(button->text()).hasMatch())
            english.append(button->text());
    }
    for (const QLabel *label : dialog.findChildren<QLabel *>()) {
        if (label->isVisible() && latin.match(label->text()).hasMatch())
            english.append(label->text());
    }
    dialog.close();
    QVERIFY2(english.isEmpty(), qPrintable(english.join(", ")));
}

QUILLBOX_TEST_MAIN(FormsTest)
#include "tst_forms.moc"
