// The form designer driven as the user drives it: fields dragged with the mouse
// and moved with the keys, undone; the picture of a blank form opened and
// aligned by two points; the list of forms made, copied, deleted, sent out,
// brought in and given a courier button.
#include "designer/formcanvas.h"
#include "designer/formdocument.h"
#include "designer/frmformeditor.h"
#include "designer/frmformlist.h"
#include "designer/pagemapping.h"
#include "designer/picturefile.h"
#include "forms/formfile.h"
#include "forms/formlibrary.h"
#include "forms/formpicture.h"
#include "forms/frmform.h"
#include "mainwindow.h"
#include "printedpages.h"
#include "waybill/printsettings.h"

#include <QAbstractSpinBox>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>

#include <climits>
#include <memory>
#include <optional>

using Designer::FormCanvas;
using Designer::frmFormEditor;
using Designer::frmFormList;
using Forms::Form;
using Forms::FormField;

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

namespace {

Form twoFields()
{
    Form form;
    form.id = Form::newId();
    form.name = QStringLiteral("申通快递");
    form.paper = QSizeF(230, 127);
    FormField name;
    name.keys = QStringList{QStringLiteral("txtNameTo")};
    name.box = QRectF(40, 30, 40, 8);
    FormField phone;
    phone.keys = QStringList{QStringLiteral("txtTelTo")};
    phone.box = QRectF(120, 60, 50, 8);
    form.fields = {name, phone};
    return form;
}

template <typename T = QWidget> T *child(const QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qWarning("no control %s", name);
    return found;
}

// A program folder with its forms, and the file dialogs' answers.
struct Shop
{
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    Platform platform{folder.root, folder.settingsFile(), dialogs};
    Forms::FormLibrary library{platform};
    QString openPath; // what the open dialog gives
    QString savePath; // what the save dialog gives

    Designer::FilePicker picker()
    {
        return {[this](QWidget *, const QString &, const QString &) { return openPath; },
                [this](QWidget *, const QString &, const QString &, const QString &) { return savePath; }};
    }
};

// The editor of a form, shown and ready for input.
struct Editor
{
    Shop shop;
    std::unique_ptr<frmFormEditor> window;

    explicit Editor(const Form &form = twoFields())
    {
        window = std::make_unique<frmFormEditor>(shop.platform, shop.library, form, QString(), shop.picker(),
                                                 nullptr);
        window->show();
    }
    FormCanvas *canvas() const { return &window->canvas(); }
    QRectF box(int index) const { return window->document().form().fields.at(index).box; }
    QPoint pixel(QPointF mm) const { return canvas()->mapping().toPixels(mm).toPoint(); }
};

void compareRects(const QRectF &actual, const QRectF &expected, double tolerance)
{
    const auto near = [tolerance](double a, double b) { return qAbs(a - b) <= tolerance; };
    QVERIFY2(near(actual.x(), expected.x()) && near(actual.y(), expected.y()) &&
                 near(actual.width(), expected.width()) && near(actual.height(), expected.height()),
             qPrintable(QStringLiteral("(%1, %2, %3 × %4) mm, expected (%5, %6, %7 × %8) ± %9")
                            .arg(actual.x())
                            .arg(actual.y())
                            .arg(actual.width())
                            .arg(actual.height())
                            .arg(expected.x())
                            .arg(expected.y())
                            .arg(expected.width())
                            .arg(expected.height())
                            .arg(tolerance)));
}

QString writePng(const QString &path, QSize pixels, int dotsPerMeter)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (dotsPerMeter > 0) {
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
    }
    image.save(path, "PNG");
    return path;
}

constexpr int RasterDpi = 254; // ten pixels to the millimetre

} // namespace

// Stops the test at the first box that is off, as QCOMPARE does.
#define COMPARE_RECTS(actual, expected, tolerance)                                                           \
    do {                                                                                                     \
        compareRects(actual, expected, tolerance);                                                           \
        if (QTest::currentTestFailed())                                                                      \
            return;                                                                                          \
    } while (false)

class DesignerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dragField_data();
    void dragField();
    void arrowKeys_data();
    void arrowKeys();
    void typedBox();
    void fieldStyle();
    void addFromPalette_data();
    void addFromPalette();
    void barcodeProperties();
    void closeAsksToSave_data();
    void closeAsksToSave();
    void escapeAsksAboutTypedEdits_data();
    void escapeAsksAboutTypedEdits();
    void keyboardAlone();
    void editorFitsSmallScreen();
    void alignPicture_data();
    void alignPicture();
    void alignPictureOnPage_data();
    void alignPictureOnPage();
    void alignNeedsTwoPoints();
    void readPicture_data();
    void readPicture();
    void testPrint_data();
    void testPrint();
    void listOperations();
    void newFromPreset_data();
    void newFromPreset();
    void deleteFreesSlotImportAsks();
    void toolsMenuOpensList();
};

// The field follows the mouse at any zoom, within the screen pixel the mouse
// lands on and the tenth of a millimetre a field moves by; one undo puts the
// whole drag back.
void DesignerTest::dragField_data()
{
    QTest::addColumn<int>("zoomIndex");
    QTest::addColumn<bool>("resize");
    QTest::addColumn<QPointF>("delta");
    QTest::newRow("move 100 %") << 2 << false << QPointF(10, 10);
    QTest::newRow("move 200 % left") << 4 << false << QPointF(-10, 0);
    QTest::newRow("move 50 % down") << 0 << false << QPointF(0, 10);
    QTest::newRow("resize 150 %") << 3 << true << QPointF(10, 10);
}

void DesignerTest::dragField()
{
    QFETCH(int, zoomIndex);
    QFETCH(bool, resize);
    QFETCH(QPointF, delta);
    Editor e;
    QVERIFY(QTest::qWaitForWindowExposed(e.window.get()));
    child<QComboBox>(e.window.get(), "cboZoom")->setCurrentIndex(zoomIndex);
    const QRectF before = e.box(0);
    const QPointF grip = resize ? before.bottomRight() : before.center();
    const QPoint from = e.pixel(grip);
    const QPoint to = e.pixel(grip + delta);
    QTest::mousePress(e.canvas(), Qt::LeftButton, Qt::NoModifier, from);
    for (int step = 1; step <= 5; ++step)
        QTest::mouseMove(e.canvas(), from + (to - from) * step / 5);
    QTest::mouseRelease(e.canvas(), Qt::LeftButton, Qt::NoModifier, to);

    // The mouse went 10 mm as near as whole screen pixels take it; the field
    // went as far as the mouse, to the tenth of a millimetre.
    const QPointF moved = e.canvas()->mapping().lengthToMm(QPointF(to - from));
    const double pixel = 1 / e.canvas()->mapping().pixelsPerMm();
    QVERIFY(qAbs(moved.x() - delta.x()) <= pixel && qAbs(moved.y() - delta.y()) <= pixel);
    const QRectF expected = resize ? before.adjusted(0, 0, moved.x(), moved.y()) : before.translated(moved);
    COMPARE_RECTS(e.box(0), expected, 0.05 + 1e-9);
    QCOMPARE(e.box(1), twoFields().fields[1].box);
    QCOMPARE(child<QDoubleSpinBox>(e.window.get(), "spnX")->value(), e.box(0).x());

    QTest::keyClick(e.canvas(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(e.box(0), before);
}

// Each press moves the chosen field 0.1 mm (1 mm with Shift), Ctrl resizes it;
// a run of presses undoes as one.
void DesignerTest::arrowKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QRectF>("change"); // after three presses: x, y, width, height
    QTest::newRow("right") << int(Qt::Key_Right) << Qt::KeyboardModifiers() << QRectF(0.3, 0, 0, 0);
    QTest::newRow("left") << int(Qt::Key_Left) << Qt::KeyboardModifiers() << QRectF(-0.3, 0, 0, 0);
    QTest::newRow("up") << int(Qt::Key_Up) << Qt::KeyboardModifiers() << QRectF(0, -0.3, 0, 0);
    QTest::newRow("down") << int(Qt::Key_Down) << Qt::KeyboardModifiers() << QRectF(0, 0.3, 0, 0);
    QTest::newRow("shift right") << int(Qt::Key_Right) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                                 << QRectF(3, 0, 0, 0);
    QTest::newRow("shift up") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                              << QRectF(0, -3, 0, 0);
    QTest::newRow("ctrl right: wider")
        << int(Qt::Key_Right) << Qt::KeyboardModifiers(Qt::ControlModifier) << QRectF(0, 0, 0.3, 0);
    QTest::newRow("ctrl shift down: taller")
        << int(Qt::Key_Down) << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)
        << QRectF(0, 0, 0, 3);
}

void DesignerTest::arrowKeys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QRectF, change);
    Editor e;
    QVERIFY(QTest::qWaitForWindowActive(e.window.get()));
    e.canvas()->setFocus();
    // The second field, chosen with the keys.
    QTest::keyClick(e.canvas(), Qt::Key_PageDown);
    QCOMPARE(e.canvas()->selected(), 1);
    const QRectF before = e.box(1);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(e.canvas(), Qt::Key(key), modifiers);
    const QRectF expected(before.x() + change.x(), before.y() + change.y(), before.width() + change.width(),
                          before.height() + change.height());
    COMPARE_RECTS(e.box(1), expected, 1e-9);
    QCOMPARE(e.box(0), twoFields().fields[0].box);

    QTest::keyClick(e.canvas(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(e.box(1), before);
    QTest::keyClick(e.canvas(), Qt::Key_Y, Qt::ControlModifier);
    COMPARE_RECTS(e.box(1), expected, 1e-9);
}

// The box typed as numbers; a box typed past the page's edge stays on the page.
void DesignerTest::typedBox()
{
    Editor e;
    QVERIFY(QTest::qWaitForWindowActive(e.window.get()));
    auto *spnX = child<QDoubleSpinBox>(e.window.get(), "spnX");
    auto *spnWidth = child<QDoubleSpinBox>(e.window.get(), "spnWidth");
    spnX->setFocus();
    spnX->selectAll();
    QTest::keyClicks(spnX, QStringLiteral("25.5"));
    QTest::keyClick(spnX, Qt::Key_Return);
    QCOMPARE(e.box(0).x(), 25.5);
    spnWidth->setFocus();
    spnWidth->selectAll();
    QTest::keyClicks(spnWidth, QStringLiteral("300"));
    QTest::keyClick(spnWidth, Qt::Key_Return);
    QCOMPARE(e.box(0).right(), 230.0);
    QCOMPARE(spnWidth->value(), e.box(0).width());

    auto *cmdUndo = child<QPushButton>(e.window.get(), "cmdUndo");
    QTest::mouseClick(cmdUndo, Qt::LeftButton);
    QCOMPARE(e.box(0).x(), 25.5);
    QCOMPARE(e.box(0).width(), 40.0);
    QTest::mouseClick(cmdUndo, Qt::LeftButton);
    QCOMPARE(e.box(0), twoFields().fields[0].box);
    QVERIFY(!cmdUndo->isEnabled());
}

// The lettering set through the controls, one undo step each; a font this
// machine lacks stays the form's font when something else is changed.
void DesignerTest::fieldStyle()
{
    Form form = twoFields();
    form.fields[0].fontFamily = QStringLiteral("某种本机没有的字体");
    Editor e(form);
    QVERIFY(QTest::qWaitForWindowActive(e.window.get()));
    auto *chkBold = child<QCheckBox>(e.window.get(), "chkBold");
    chkBold->setFocus();
    QTest::keyClick(chkBold, Qt::Key_Space);
    auto *cboFit = child<QComboBox>(e.window.get(), "cboFit");
    cboFit->setFocus();
    QTest::keyClick(cboFit, Qt::Key_Down); // 自动换行 → 缩小字号以放下
    auto *spnPitch = child<QDoubleSpinBox>(e.window.get(), "spnPitch");
    spnPitch->setFocus();
    spnPitch->selectAll();
    QTest::keyClicks(spnPitch, QStringLiteral("4.5"));
    QTest::keyClick(spnPitch, Qt::Key_Return);

    const FormField &field = e.window->document().form().fields[0];
    QVERIFY(field.bold);
    QCOMPARE(field.fit, FormField::Fit::Shrink);
    QCOMPARE(field.pitch, 4.5);
    QCOMPARE(field.fontFamily, QStringLiteral("某种本机没有的字体"));
    QCOMPARE(e.window->document().undoStack().count(), 3);
    QTest::keyClick(e.canvas(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(e.canvas(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(e.canvas(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(e.window->document().form(), form);
}

// Each kind of the palette adds its field, chosen at once; Delete on the page
// removes it again.
void DesignerTest::addFromPalette_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("source");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<double>("pitch");
    QTest::addColumn<bool>("lines"); // keeps the value's line breaks
    QTest::newRow("recipient") << "收件人" << int(FormField::Source::Contact) << QStringList{"txtNameTo"}
                               << 0.0 << false;
    QTest::newRow("postcode, a box a digit")
        << "寄件邮编" << int(FormField::Source::Contact) << QStringList{"txtZip"} << 5.0 << false;
    QTest::newRow("whole address") << "收件地址（省市区+详细地址）" << int(FormField::Source::Contact)
                                   << QStringList{"txtPTo", "txtCTo", "txtATo", "txtAddTo"} << 0.0 << true;
    QTest::newRow("a batch row's order number")
        << "订单编号" << int(FormField::Source::Contact) << QStringList{"orderNumber"} << 0.0 << false;
    QTest::newRow("a batch row's waybill number")
        << "运单号" << int(FormField::Source::Contact) << QStringList{"waybillNumber"} << 0.0 << false;
    QTest::newRow("every order number of a parcel")
        << "全部订单编号" << int(FormField::Source::Contact) << QStringList{"orderNumbers"} << 0.0 << true;
    QTest::newRow("items") << "商品明细" << int(FormField::Source::Contact) << QStringList{"items"} << 0.0
                           << true;
    QTest::newRow("remarks") << "备注" << int(FormField::Source::Contact) << QStringList{"remarks"} << 0.0
                             << true;
    QTest::newRow("parcel of several")
        << "件数" << int(FormField::Source::Contact) << QStringList{"parcel"} << 0.0 << false;
    QTest::newRow("Code 128") << "条码" << int(FormField::Source::FixedText) << QStringList() << 0.0 << true;
    QTest::newRow("QR code") << "二维码" << int(FormField::Source::FixedText) << QStringList() << 0.0 << true;
    QTest::newRow("date") << "日期" << int(FormField::Source::Date) << QStringList() << 0.0 << true;
    QTest::newRow("check mark") << "勾选" << int(FormField::Source::CheckMark) << QStringList() << 0.0
                                << true;
    QTest::newRow("asked") << "打印时填写（如托寄物、件数）" << int(FormField::Source::Asked) << QStringList()
                           << 0.0 << true;
}

void DesignerTest::addFromPalette()
{
    QFETCH(QString, kind);
    QFETCH(int, source);
    QFETCH(QStringList, keys);
    QFETCH(double, pitch);
    QFETCH(bool, lines);
    Editor e;
    QVERIFY(QTest::qWaitForWindowActive(e.window.get()));
    auto *cboKind = child<QComboBox>(e.window.get(), "cboKind");
    const int index = cboKind->findText(kind);
    QVERIFY(index >= 0);
    cboKind->setCurrentIndex(index);
    auto *cmdAdd = child<QPushButton>(e.window.get(), "cmdAdd");
    cmdAdd->setFocus();
    QTest::keyClick(cmdAdd, Qt::Key_Space);

    const std::vector<FormField> &fields = e.window->document().form().fields;
    QCOMPARE(int(fields.size()), 3);
    QCOMPARE(int(fields[2].source), source);
    QCOMPARE(fields[2].keys, keys);
    QCOMPARE(fields[2].pitch, pitch);
    QCOMPARE(fields[2].fit == FormField::Fit::Wrap, lines);
    QCOMPARE(e.canvas()->selected(), 2);
    QCOMPARE(child<QListWidget>(e.window.get(), "lstFields")->currentRow(), 2);
    QVERIFY(e.canvas()->hasFocus());
    QTest::keyClick(e.canvas(), Qt::Key_Delete);
    QCOMPARE(e.window->document().form().fields, twoFields().fields);
}

// A barcode field's properties, each under its label, change the field; the
// module the printer will use is shown.
void DesignerTest::barcodeProperties()
{
    Editor e;
    QVERIFY(QTest::qWaitForWindowActive(e.window.get()));
    auto *cboKind = child<QComboBox>(e.window.get(), "cboKind");
    const auto add = [&](const QString &kind) {
        cboKind->setCurrentIndex(cboKind->findText(kind));
        QVERIFY(cboKind->currentIndex() >= 0);
        child<QPushButton>(e.window.get(), "cmdAdd")->click();
    };
    const auto last = [&]() -> const FormField & { return e.window->document().form().fields.back(); };
    const auto control = [&](const QString &name) -> QWidget * {
        for (QWidget *w : e.window->findChildren<QWidget *>()) {
            if (w->accessibleName() == name && w->isEnabled())
                return w;
        }
        return nullptr;
    };

    add("条码");
    QCOMPARE(int(last().symbol), int(FormField::Symbol::Code128));
    QCOMPARE(last().text, QString("{订单编号}"));
    QVERIFY(control("条码内容"));
    QVERIFY(!control("纠错等级")); // a QR code's alone
    auto *module = qobject_cast<QDoubleSpinBox *>(control("模块宽"));
    QVERIFY(module);
    QCOMPARE(module->value(), 0.25);
    module->setValue(0.33);
    QCOMPARE(last().moduleMm, 0.33);
    auto *showText = qobject_cast<QCheckBox *>(control("显示文字"));
    QVERIFY(showText && showText->isChecked());
    showText->setChecked(false);
    QVERIFY(!last().showText);
    QVERIFY2(child<QLabel>(e.window.get(), "lblModule")->text().contains("dpi"),
             qPrintable(child<QLabel>(e.window.get(), "lblModule")->text()));

    add("二维码");
    QCOMPARE(int(last().symbol), int(FormField::Symbol::QrCode));
    QVERIFY(!control("显示文字"));
    auto *level = qobject_cast<QComboBox *>(control("纠错等级"));
    QVERIFY(level);
    QCOMPARE(level->currentText(), QString("M"));
    level->setCurrentIndex(level->findText("H"));
    QCOMPARE(last().errorLevel, QChar(u'H'));
}

// 关闭 with changes asks first: 是 saves them, 否 leaves the file as it was.
void DesignerTest::closeAsksToSave_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("是") << int(Dialogs::Yes);
    QTest::newRow("否") << int(Dialogs::No);
}

void DesignerTest::closeAsksToSave()
{
    QFETCH(int, answer);
    Shop shop;
    QString fileName;
    QVERIFY(shop.library.save(twoFields(), &fileName));
    frmFormEditor editor(shop.platform, shop.library, twoFields(), fileName, shop.picker(), nullptr);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QTest::keyClick(&editor.canvas(), Qt::Key_Right, Qt::ShiftModifier);
    shop.dialogs.answers = QList<int>{answer};
    QTest::mouseClick(child<QPushButton>(&editor, "cmdClose"), Qt::LeftButton);
    QCOMPARE(shop.dialogs.messages.size(), 1);
    QVERIFY(!editor.isVisible());
    QCOMPARE(shop.library.load(fileName)->fields[0].box.x(), answer == Dialogs::Yes ? 41.0 : 40.0);
}

// Escape right after typing a number or a name, before Enter or Tab: the
// question comes, with 保存, 不保存 and 取消.
void DesignerTest::escapeAsksAboutTypedEdits_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("answer");
    QTest::newRow("number, 保存") << "spnX" << int(Dialogs::Yes);
    QTest::newRow("number, 不保存") << "spnX" << int(Dialogs::No);
    QTest::newRow("number, 取消") << "spnX" << int(Dialogs::Cancel);
    QTest::newRow("name, 保存") << "txtName" << int(Dialogs::Yes);
}

void DesignerTest::escapeAsksAboutTypedEdits()
{
    QFETCH(QString, control);
    QFETCH(int, answer);
    Shop shop;
    QString fileName;
    QVERIFY(shop.library.save(twoFields(), &fileName));
    frmFormEditor editor(shop.platform, shop.library, twoFields(), fileName, shop.picker(), nullptr);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    auto *typed = child<QWidget>(&editor, control.toLatin1().constData());
    typed->setFocus();
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(typed)) {
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("55"));
    } else {
        qobject_cast<QLineEdit *>(typed)->selectAll();
        QTest::keyClicks(typed, QStringLiteral("EMS"));
    }
    shop.dialogs.answers = QList<int>{answer};
    QTest::keyClick(typed, Qt::Key_Escape);
    QCOMPARE(shop.dialogs.messages.size(), 1);
    QCOMPARE(shop.dialogs.messages.first().flags & (7 | Dialogs::SaveDiscard),
             int(Dialogs::YesNoCancel | Dialogs::SaveDiscard));
    QCOMPARE(editor.isVisible(), answer == Dialogs::Cancel);
    const Form saved = *shop.library.load(fileName);
    if (control == QLatin1String("txtName"))
        QCOMPARE(saved.name, answer == Dialogs::Yes ? QStringLiteral("EMS") : QStringLiteral("申通快递"));
    else
        QCOMPARE(saved.fields[0].box.x(), answer == Dialogs::Yes ? 55.0 : 40.0);
    if (answer == Dialogs::Cancel) {
        // Still there to go on with.
        QCOMPARE(editor.document().form().fields[0].box.x(), 55.0);
        shop.dialogs.answers = QList<int>{Dialogs::No};
        editor.close();
        QVERIFY(!editor.isVisible());
    }
}

// Every control reached with Tab is named by its label, and Tab reaches the
// page, the field's box and the buttons.
void DesignerTest::keyboardAlone()
{
    Shop shop;
    frmFormList list(shop.platform, shop.library, shop.picker());
    frmFormEditor editor(shop.platform, shop.library, twoFields(), QString(), shop.picker(), nullptr);
    for (QWidget *window : std::initializer_list<QWidget *>{&list, &editor}) {
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QSet<QString> reached;
        QWidget *first = window->focusWidget();
        QVERIFY(first);
        QWidget *w = first;
        for (int i = 0; i < 200; ++i) {
            QVERIFY2(!w->accessibleName().isEmpty(),
                     qPrintable(window->objectName() + QStringLiteral(": ") + w->objectName()));
            reached.insert(w->objectName());
            QTest::keyClick(w, Qt::Key_Tab);
            w = window->focusWidget();
            if (w == first)
                break;
        }
        const QStringList wanted =
            window == &editor ? QStringList{"canvas", "spnX",       "spnHeight",    "cboKind",
                                            "cmdAdd", "cmdPicture", "cmdTestPrint", "cmdSave"}
                              : QStringList{"lstForms", "cboPreset", "cmdNew", "cmdImport", "cmdClose"};
        for (const QString &name : wanted)
            QVERIFY2(reached.contains(name), qPrintable(name));
        // Controls Tab skips while they are disabled are named too, and the
        // text field of a box typed into.
        for (const QWidget *control : window->findChildren<QWidget *>()) {
            if ((control->focusPolicy() & Qt::TabFocus) && control->window() == window &&
                !qobject_cast<const QAbstractSpinBox *>(control->parentWidget()))
                QVERIFY2(!control->accessibleName().isEmpty(),
                         qPrintable(QStringLiteral("%1 (%2)").arg(control->objectName(),
                                                                  control->metaObject()->className())));
        }
        window->hide();
    }
}

// On a 1366 × 768 screen, less its panel, the window's frame and title and a
// margin (1280 × 688): every control within the editor.
void DesignerTest::editorFitsSmallScreen()
{
    Shop shop;
    frmFormEditor editor(shop.platform, shop.library, twoFields(), QString(), shop.picker(), nullptr);
    const QSize room(1280, 768 - 80);
    const QSize least = editor.minimumSizeHint();
    QVERIFY2(least.width() <= room.width() && least.height() <= room.height(),
             qPrintable(QStringLiteral("%1 × %2").arg(least.width()).arg(least.height())));
    editor.resize(room);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCOMPARE(editor.size(), room);
    QStringList outside;
    for (const QWidget *control : editor.findChildren<QWidget *>()) {
        if (control->isVisible() && !control->objectName().isEmpty() &&
            !editor.rect().contains(QRect(control->mapTo(&editor, QPoint()), control->size())))
            outside.append(control->objectName());
    }
    QVERIFY2(outside.isEmpty(), qPrintable(outside.join(QStringLiteral(", "))));
}

void DesignerTest::alignPicture_data()
{
    QTest::addColumn<QRectF>("place");
    QTest::addColumn<QPointF>("clicked1");
    QTest::addColumn<QPointF>("clicked2");
    QTest::addColumn<QPointF>("true1");
    QTest::addColumn<QPointF>("true2");
    QTest::addColumn<QRectF>("expected"); // empty: refused
    QTest::newRow("moved only") << QRectF(0, 0, 100, 50) << QPointF(10, 10) << QPointF(90, 10)
                                << QPointF(12, 15) << QPointF(92, 15) << QRectF(2, 5, 100, 50);
    QTest::newRow("twice as large") << QRectF(0, 0, 100, 50) << QPointF(10, 10) << QPointF(60, 10)
                                    << QPointF(20, 20) << QPointF(120, 20) << QRectF(0, 0, 200, 100);
    QTest::newRow("smaller, placed off the corner")
        << QRectF(5, 5, 100, 50) << QPointF(15, 15) << QPointF(55, 45) << QPointF(10, 10) << QPointF(34, 42)
        << QRectF(2, 2, 80, 40);
    QTest::newRow("second point first") << QRectF(0, 0, 100, 50) << QPointF(60, 10) << QPointF(10, 10)
                                        << QPointF(120, 20) << QPointF(20, 20) << QRectF(0, 0, 200, 100);
    QTest::newRow("one point twice") << QRectF(0, 0, 100, 50) << QPointF(10, 10) << QPointF(10, 10)
                                     << QPointF(12, 15) << QPointF(92, 15) << QRectF();
    QTest::newRow("true places the same") << QRectF(0, 0, 100, 50) << QPointF(10, 10) << QPointF(90, 10)
                                          << QPointF(12, 15) << QPointF(12, 15) << QRectF();
}

void DesignerTest::alignPicture()
{
    QFETCH(QRectF, place);
    QFETCH(QPointF, clicked1);
    QFETCH(QPointF, clicked2);
    QFETCH(QPointF, true1);
    QFETCH(QPointF, true2);
    QFETCH(QRectF, expected);
    const std::optional<QRectF> aligned = Designer::alignPicture(place, clicked1, clicked2, true1, true2);
    QCOMPARE(aligned.has_value(), !expected.isNull());
    if (aligned)
        COMPARE_RECTS(*aligned, expected, 0.01);
}

// The picture opened from a file, then two points taken on it, by clicks or by
// moving a cross with the keys, and their true places typed: the picture's
// place follows, as one step to undo.
void DesignerTest::alignPictureOnPage_data()
{
    QTest::addColumn<bool>("keys");
    QTest::newRow("mouse") << false;
    QTest::newRow("keys") << true;
}

void DesignerTest::alignPictureOnPage()
{
    QFETCH(bool, keys);
    Editor e;
    QVERIFY(QTest::qWaitForWindowActive(e.window.get()));
    // 2300 × 1270 pixels at 10 to the millimetre: the page's own size.
    e.shop.openPath =
        writePng(e.shop.folder.dir.filePath(QStringLiteral("scan.png")), QSize(2300, 1270), 10000);
    QTest::mouseClick(child<QPushButton>(e.window.get(), "cmdPicture"), Qt::LeftButton);
    QVERIFY2(e.shop.dialogs.messages.isEmpty(), qPrintable(e.shop.dialogs.messages.value(0).text));
    COMPARE_RECTS(e.window->document().form().picturePlace, QRectF(0, 0, 230, 127), 0.01);

    // The scan's marks at (20, 20) and (200, 100) truly lie at (22, 17) and (184, 89): the
    // picture is 0.9 of its size and moved.
    const std::pair<const char *, QPointF> picks[] = {{"cmdPick1", QPointF(20, 20)},
                                                      {"cmdPick2", QPointF(200, 100)}};
    for (const auto &[button, at] : picks) {
        auto *pick = child<QPushButton>(e.window.get(), button);
        if (!keys) {
            QTest::mouseClick(pick, Qt::LeftButton);
            QTest::mouseClick(e.canvas(), Qt::LeftButton, Qt::NoModifier, e.pixel(at));
            continue;
        }
        pick->setFocus();
        QTest::keyClick(pick, Qt::Key_Space);
        QVERIFY(e.canvas()->hasFocus());
        // The cross starts at the page's corner: 10 mm a press with Ctrl, 1 with Shift.
        for (int i = 0; i < int(at.x()) / 10; ++i)
            QTest::keyClick(e.canvas(), Qt::Key_Right, Qt::ControlModifier);
        for (int i = 0; i < int(at.y()) / 10 + 1; ++i)
            QTest::keyClick(e.canvas(), Qt::Key_Down, Qt::ControlModifier);
        for (int i = 0; i < 10; ++i)
            QTest::keyClick(e.canvas(), Qt::Key_Up, Qt::ShiftModifier);
        QTest::keyClick(e.canvas(), Qt::Key_Return);
        QVERIFY(!e.canvas()->picking());
    }
    const double pixelMm = keys ? 1e-9 : 0.5 / e.canvas()->mapping().pixelsPerMm() + 1e-9;
    QVERIFY(qAbs(child<QDoubleSpinBox>(e.window.get(), "spnOnPage2X")->value() - 200) <= pixelMm);
    // No field was chosen or moved by the clicks.
    QCOMPARE(e.box(0), twoFields().fields[0].box);
    // The true places typed, the first where the click left the focus.
    const std::pair<const char *, const char *> typed[] = {
        {"spnOnForm1X", "22"}, {"spnOnForm1Y", "17"}, {"spnOnForm2X", "184"}, {"spnOnForm2Y", "89"}};
    QCOMPARE(e.window->focusWidget(), child<QWidget>(e.window.get(), "spnOnForm2X"));
    for (const auto &[name, text] : typed) {
        auto *spin = child<QDoubleSpinBox>(e.window.get(), name);
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QString::fromLatin1(text));
        QTest::keyClick(spin, Qt::Key_Tab);
    }
    QVERIFY(qAbs(child<QDoubleSpinBox>(e.window.get(), "spnOnPage1Y")->value() - 20) <= pixelMm);
    // Set exactly, rather than where the click landed on the screen.
    child<QDoubleSpinBox>(e.window.get(), "spnOnPage1X")->setValue(20);
    child<QDoubleSpinBox>(e.window.get(), "spnOnPage1Y")->setValue(20);
    child<QDoubleSpinBox>(e.window.get(), "spnOnPage2X")->setValue(200);
    child<QDoubleSpinBox>(e.window.get(), "spnOnPage2Y")->setValue(100);
    QTest::mouseClick(child<QPushButton>(e.window.get(), "cmdAlign"), Qt::LeftButton);
    COMPARE_RECTS(e.window->document().form().picturePlace, QRectF(4, -1, 207, 114.3), 0.01);

    QTest::keyClick(e.canvas(), Qt::Key_Z, Qt::ControlModifier);
    COMPARE_RECTS(e.window->document().form().picturePlace, QRectF(0, 0, 230, 127), 0.01);
}

// 对齐底图 waits for both points; an alignment the reader would refuse, and a
// save of a form it would refuse, change nothing.
void DesignerTest::alignNeedsTwoPoints()
{
    Shop shop;
    QString fileName;
    QVERIFY(shop.library.save(twoFields(), &fileName));
    frmFormEditor editor(shop.platform, shop.library, twoFields(), fileName, shop.picker(), nullptr);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    shop.openPath = writePng(shop.folder.dir.filePath(QStringLiteral("scan.png")), QSize(2300, 1270), 10000);
    QTest::mouseClick(child<QPushButton>(&editor, "cmdPicture"), Qt::LeftButton);
    QVERIFY(!editor.document().form().picture.isEmpty());
    const QRectF opened = editor.document().form().picturePlace;
    auto *cmdAlign = child<QPushButton>(&editor, "cmdAlign");
    QVERIFY(!cmdAlign->isEnabled());

    const auto pick = [&](const char *button, QPointF mm) {
        QTest::mouseClick(child<QPushButton>(&editor, button), Qt::LeftButton);
        QTest::mouseClick(&editor.canvas(), Qt::LeftButton, Qt::NoModifier,
                          editor.canvas().mapping().toPixels(mm).toPoint());
    };
    pick("cmdPick1", QPointF(20, 20));
    const std::pair<const char *, double> typed[] = {
        {"spnOnForm1X", 22}, {"spnOnForm1Y", 17}, {"spnOnForm2X", 184}, {"spnOnForm2Y", 89}};
    for (const auto &[name, value] : typed)
        child<QDoubleSpinBox>(&editor, name)->setValue(value);
    // The second point still at the page's corner, never taken.
    QVERIFY(!cmdAlign->isEnabled());
    QTest::mouseClick(cmdAlign, Qt::LeftButton);
    QCOMPARE(editor.document().form().picturePlace, opened);

    // Two points a hair apart on the picture, far apart on the form: the
    // picture would grow past what a form may hold.
    pick("cmdPick2", QPointF(21, 20));
    QVERIFY(cmdAlign->isEnabled());
    child<QDoubleSpinBox>(&editor, "spnOnPage2X")->setValue(21);
    child<QDoubleSpinBox>(&editor, "spnOnPage2Y")->setValue(20);
    QTest::mouseClick(cmdAlign, Qt::LeftButton);
    QCOMPARE(shop.dialogs.messages.size(), 1);
    QVERIFY2(shop.dialogs.messages.first().text.contains(QStringLiteral("底图没有改变")),
             qPrintable(shop.dialogs.messages.first().text));
    QCOMPARE(editor.document().form().picturePlace, opened);

    // A form the reader refuses is not saved over the old file.
    QFile file(shop.library.folder() + fileName);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    Form huge = editor.document().form();
    huge.picturePlace = QRectF(0, 0, 3824, 2112);
    editor.document().edit(QStringLiteral("对齐底图"), huge);
    QVERIFY(!editor.save());
    QCOMPARE(shop.dialogs.messages.size(), 2);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    file.close();
    shop.dialogs.answers = QList<int>{Dialogs::No};
    editor.close();
}

void DesignerTest::readPicture_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QSizeF>("sizeMm");
    QTest::addColumn<bool>("read");
    QTest::newRow("PNG at 10 px/mm") << "png" << QSizeF(230, 127) << true;
    QTest::newRow("PNG at 96 dpi") << "png-96" << QSizeF(460 * 25.4 / 96, 254 * 25.4 / 96) << true;
    QTest::newRow("PDF page") << "pdf" << QSizeF(230, 127) << true;
    QTest::newRow("PDF page of 3000 × 2000 pt")
        << "pdf-large" << QSizeF(3000 * 25.4 / 72, 2000 * 25.4 / 72) << true;
    QTest::newRow("PNG of 35 million pixels at 600 dpi")
        << "png-600" << QSizeF(7000 * 25.4 / 600, 5000 * 25.4 / 600) << true;
    QTest::newRow("text file") << "text" << QSizeF() << false;
    QTest::newRow("PNG wider than a form keeps") << "png-wide" << QSizeF() << false;
}

void DesignerTest::readPicture()
{
    QFETCH(QString, kind);
    QFETCH(QSizeF, sizeMm);
    QFETCH(bool, read);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("scan"));
    if (kind == QLatin1String("png")) {
        writePng(path, QSize(2300, 1270), 10000);
    } else if (kind == QLatin1String("png-96")) {
        writePng(path, QSize(460, 254), 3780);
    } else if (kind == QLatin1String("png-600")) {
        writePng(path, QSize(7000, 5000), qRound(600 / 0.0254));
    } else if (kind.startsWith(QLatin1String("pdf"))) {
        QPdfWriter pdf(path);
        pdf.setPageSize(kind == QLatin1String("pdf") ? QPageSize(QSizeF(230, 127), QPageSize::Millimeter)
                                                     : QPageSize(QSizeF(3000, 2000), QPageSize::Point,
                                                                 QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF());
        QPainter painter(&pdf);
        painter.fillRect(QRect(0, 0, 100, 100), Qt::black);
    } else if (kind == QLatin1String("text")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("寄件人 收件人\n");
    } else {
        writePng(path, QSize(Form::MaxPictureSide + 1, 2), 0);
    }
    QString error;
    const std::optional<Designer::FormPicture> picture =
        Designer::readFormPicture(path, QSizeF(230, 127), &error);
    QCOMPARE(picture.has_value(), read);
    if (!read) {
        QVERIFY(!error.isEmpty());
        return;
    }
    const QImage image = QImage::fromData(picture->bytes);
    QVERIFY(!image.isNull());
    // No finer than its place on the page needs at 200 dpi, and a form with it
    // reads back whole.
    const QSize needed = Forms::FormPicture::pixelsFor(picture->place.size());
    QVERIFY2(image.width() <= needed.width() && image.height() <= needed.height(),
             qPrintable(QStringLiteral("%1 × %2 pixels").arg(image.width()).arg(image.height())));
    Form form = twoFields();
    form.picture = picture->bytes;
    form.picturePlace = picture->place;
    QString readError;
    QVERIFY2(Forms::FormFile::read(Forms::FormFile::write(form), &readError), qPrintable(readError));
    QVERIFY2(
        qAbs(picture->sizeMm.width() - sizeMm.width()) < 0.5 &&
            qAbs(picture->sizeMm.height() - sizeMm.height()) < 0.5,
        qPrintable(QStringLiteral("%1 × %2").arg(picture->sizeMm.width()).arg(picture->sizeMm.height())));
    if (kind == QLatin1String("pdf")) {
        QCOMPARE(image.width(), qRound(230 / 25.4 * Designer::RenderDpi));
        // What the page drew is in the picture: its top-left corner is dark.
        QVERIFY(qGray(image.pixel(2, 2)) < 64);
        QVERIFY(qGray(image.pixel(image.width() - 3, image.height() - 3)) > 192);
    }
}

// 试印 goes through the form's own print settings, as its waybill window
// prints: the fields land in their boxes moved by the settings' offset; the
// picture comes out faint only when asked for.
void DesignerTest::testPrint_data()
{
    QTest::addColumn<bool>("faint");
    QTest::newRow("fields alone") << false;
    QTest::newRow("picture faint") << true;
}

void DesignerTest::testPrint()
{
    QFETCH(bool, faint);
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull() || !printer.makeAndModel().contains("CUPS-PDF", Qt::CaseInsensitive) ||
        QStandardPaths::findExecutable("pdftoppm").isEmpty())
        QSKIP("needs the CUPS-PDF test queue (scripts/printer.sh) and pdftoppm");
    // A queue of the test's own, named in the form's print settings: no one
    // else's job lands on it, and the job shows the settings' printer is used.
    const QString queue = QStringLiteral("Quillbox-Designer-%1").arg(QCoreApplication::applicationPid());
    if (runTool(findTool("lpadmin"),
                {"-p", queue, "-v", "cups-pdf:/", "-E", "-P", "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"})
            .isNull() &&
        !QPrinterInfo::availablePrinterNames().contains(queue))
        QSKIP("cannot add a print queue (lpadmin) here");
    const auto removeQueue = qScopeGuard([&] { runTool(findTool("lpadmin"), {"-x", queue}); });
    Form form = twoFields();
    // A grey picture over the whole page: on paper it shows only where it is faint.
    QImage grey(QSize(230, 127), QImage::Format_RGB32);
    grey.fill(QColor(90, 90, 90));
    QBuffer buffer(&form.picture);
    buffer.open(QIODevice::WriteOnly);
    grey.save(&buffer, "PNG");
    form.picturePlace = QRectF(0, 0, 230, 127);
    Editor e(form);
    Waybill::PrintSettings settings;
    settings.printer = queue;
    settings.paper = form.paper;
    settings.offset = QPointF(5, 3);
    QVERIFY(settings.save(e.shop.platform, frmForm::settingsSection(form)));
    QVERIFY(QTest::qWaitForWindowExposed(e.window.get()));
    child<QCheckBox>(e.window.get(), "chkFaint")->setChecked(faint);

    const QStringList before = cupsJobs("all");
    QTest::mouseClick(child<QPushButton>(e.window.get(), "cmdTestPrint"), Qt::LeftButton);
    QVERIFY2(e.shop.dialogs.messages.isEmpty(), qPrintable(e.shop.dialogs.messages.value(0).text));
    QStringList jobs;
    for (const QString &job : cupsJobs("all")) {
        if (!before.contains(job) && job.startsWith(queue + '-'))
            jobs.append(job);
    }
    QCOMPARE(jobs.size(), 1);
    const QImage page = rasterise(jobFile(jobs.first()), RasterDpi);
    QVERIFY(!page.isNull());
    QVERIFY2(qAbs(page.width() - 2300) <= 3 && qAbs(page.height() - 1270) <= 3,
             qPrintable(QStringLiteral("%1 × %2").arg(page.width()).arg(page.height())));

    // The sample name and phone, each within its box where the offset puts it.
    for (const FormField &field : form.fields) {
        const QRectF box = field.box.translated(settings.offset);
        const QRectF ink = inkMm(page, box.adjusted(-3, -3, 3, 3), RasterDpi, 128);
        QVERIFY2(!ink.isNull(), qPrintable(Forms::fieldCaption(field)));
        QVERIFY2(box.adjusted(-0.2, -0.2, 0.2, 0.2).contains(ink),
                 qPrintable(QStringLiteral("%1: ink at %2, %3")
                                .arg(Forms::fieldCaption(field))
                                .arg(ink.x())
                                .arg(ink.y())));
    }
    // Away from the fields: the faint picture, or bare paper.
    const QRectF away(150, 100, 40, 10);
    QCOMPARE(inkMm(page, away, RasterDpi, 128).isNull(), true);
    QCOMPARE(inkMm(page, away, RasterDpi, 250).isNull(), !faint);
}

// 新建 from a preset, 复制, 删除 to the trash, 导出… and 导入… on another shop's
// folder, and a courier button, all through the window's controls.
void DesignerTest::listOperations()
{
    TemporaryHome home;
    Shop shop;
    frmFormList list(shop.platform, shop.library, shop.picker());
    QSignalSpy changed(&list, &frmFormList::formsChanged);
    list.show();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    auto *lstForms = child<QTreeWidget>(&list, "lstForms");
    auto *cboPreset = child<QComboBox>(&list, "cboPreset");
    const int preset = cboPreset->findText(QStringLiteral("标签 100×150"));
    QVERIFY(preset >= 0);
    cboPreset->setCurrentIndex(preset);

    shop.dialogs.inputs = QStringList{QStringLiteral("申通快递")};
    QTest::mouseClick(child<QPushButton>(&list, "cmdNew"), Qt::LeftButton);
    QTRY_VERIFY(list.editor() && list.editor()->isVisible());
    const Form made = list.editor()->document().form();
    QCOMPARE(made.name, QStringLiteral("申通快递"));
    QCOMPARE(made.paper, QSizeF(100, 150));
    QCOMPARE(made.fields, Forms::presets()[preset].fields);
    QVERIFY(!made.id.isEmpty());
    QCOMPARE(changed.count(), 1);
    // A change saved from the editor shows in the list's file.
    QTest::keyClick(&list.editor()->canvas(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::mouseClick(child<QPushButton>(list.editor(), "cmdSave"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(list.editor(), "cmdClose"), Qt::LeftButton);
    QTRY_VERIFY(!list.editor());
    QCOMPARE(lstForms->topLevelItemCount(), 1);
    const QString original = shop.library.list().at(0).fileName;
    QCOMPARE(shop.library.load(original)->fields.at(0).box.x(), made.fields.at(0).box.x() + 1);

    shop.dialogs.inputs = QStringList{QStringLiteral("圆通速递")};
    QTest::mouseClick(child<QPushButton>(&list, "cmdCopy"), Qt::LeftButton);
    QCOMPARE(lstForms->topLevelItemCount(), 2);
    QCOMPARE(lstForms->currentItem()->text(0), QStringLiteral("圆通速递"));

    // The copy is chosen: it goes to the trash after a question answered 是.
    shop.dialogs.answers = QList<int>{Dialogs::Yes};
    QTest::mouseClick(child<QPushButton>(&list, "cmdDelete"), Qt::LeftButton);
    QCOMPARE(lstForms->topLevelItemCount(), 1);
    QCOMPARE(lstForms->topLevelItem(0)->text(0), QStringLiteral("申通快递"));
    QCOMPARE(home.trashed().size(), 1);
    QVERIFY(home.trashed().at(0).endsWith(QStringLiteral(".qbform")));

    // Slot 4, chosen with the keys on the 快递按钮 list.
    auto *cboSlot = child<QComboBox>(&list, "cboSlot");
    lstForms->setCurrentItem(lstForms->topLevelItem(0));
    cboSlot->setFocus();
    QTest::keyClick(cboSlot, Qt::Key_Down);
    QTest::keyClick(cboSlot, Qt::Key_Down);
    QCOMPARE(shop.library.formInSlot(4), original);
    QCOMPARE(lstForms->topLevelItem(0)->text(1), QStringLiteral("Alt+4"));

    shop.savePath = shop.folder.dir.filePath(QStringLiteral("sent.qbform"));
    QTest::mouseClick(child<QPushButton>(&list, "cmdExport"), Qt::LeftButton);
    QVERIFY(QFile::exists(shop.savePath));

    Shop other;
    other.openPath = shop.savePath;
    frmFormList otherList(other.platform, other.library, other.picker());
    otherList.show();
    QVERIFY(QTest::qWaitForWindowActive(&otherList));
    QTest::mouseClick(child<QPushButton>(&otherList, "cmdImport"), Qt::LeftButton);
    QVERIFY2(other.dialogs.messages.isEmpty(), qPrintable(other.dialogs.messages.value(0).text));
    QCOMPARE(child<QTreeWidget>(&otherList, "lstForms")->topLevelItemCount(), 1);
    QCOMPARE(other.library.load(other.library.list().at(0).fileName)->fields,
             shop.library.load(original)->fields);
    // A form comes in without a button: the other shop's buttons are its own.
    QCOMPARE(other.library.list().at(0).slot, 0);
    QVERIFY(shop.dialogs.messages.size() == 1); // the delete question only
}

// 新建 offers the packing slips beside the waybills: each made from its
// preset, a slip asked for by a slip's name and marked so in the list.
void DesignerTest::newFromPreset_data()
{
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QSizeF>("paper");
    QTest::addColumn<bool>("slip");
    QTest::newRow("label") << "标签 100×150" << QSizeF(100, 150) << false;
    QTest::newRow("slip A4") << "发货单 A4" << QSizeF(210, 297) << true;
    QTest::newRow("slip A5") << "发货单 A5" << QSizeF(148, 210) << true;
    QTest::newRow("slip half an A4") << "发货单 半张A4" << QSizeF(210, 148.5) << true;
    QTest::newRow("slip label") << "发货单 标签 100×150" << QSizeF(100, 150) << true;
}

void DesignerTest::newFromPreset()
{
    QFETCH(QString, preset);
    QFETCH(QSizeF, paper);
    QFETCH(bool, slip);
    Shop shop;
    frmFormList list(shop.platform, shop.library, shop.picker());
    list.show();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    auto *cboPreset = child<QComboBox>(&list, "cboPreset");
    const int index = cboPreset->findText(preset);
    QVERIFY(index >= 0);
    cboPreset->setCurrentIndex(index);
    shop.dialogs.inputs = QStringList{QStringLiteral("本店")};
    QTest::mouseClick(child<QPushButton>(&list, "cmdNew"), Qt::LeftButton);
    QTRY_VERIFY(list.editor() && list.editor()->isVisible());
    QCOMPARE(shop.dialogs.prompts.size(), 1);
    QCOMPARE(shop.dialogs.prompts.first().title,
             slip ? QStringLiteral("新建发货单模板") : QStringLiteral("新建快递单模板"));

    const Form made = list.editor()->document().form();
    QCOMPARE(int(made.kind), int(slip ? Form::Kind::PackingSlip : Form::Kind::Waybill));
    QCOMPARE(made.paper, paper);
    const std::vector<Form> presets = slip ? Forms::slipPresets() : Forms::presets();
    const auto from =
        std::find_if(presets.begin(), presets.end(), [&](const Form &f) { return f.name == preset; });
    QVERIFY(from != presets.end());
    QCOMPARE(made.fields, from->fields);
    QVERIFY(list.editor()->windowTitle().startsWith(slip ? QStringLiteral("发货单模板")
                                                         : QStringLiteral("快递单模板")));
    QTest::mouseClick(child<QPushButton>(list.editor(), "cmdClose"), Qt::LeftButton);
    QTRY_VERIFY(!list.editor());

    const std::optional<Form> saved = shop.library.load(shop.library.list().at(0).fileName);
    QVERIFY(saved && int(saved->kind) == int(made.kind));
    auto *lstForms = child<QTreeWidget>(&list, "lstForms");
    QCOMPARE(lstForms->topLevelItemCount(), 1);
    QCOMPARE(lstForms->topLevelItem(0)->text(0),
             slip ? QStringLiteral("本店（发货单）") : QStringLiteral("本店"));
}

// A form deleted from its slot frees it for good; bringing in a form the
// shop has asks, and the main window's buttons follow the import.
void DesignerTest::deleteFreesSlotImportAsks()
{
    TemporaryHome home;
    MainWindow w;
    QVERIFY(w.start());
    w.show();
    Forms::FormLibrary &library = w.form->forms();
    QString fileName;
    QVERIFY(library.save(twoFields(), &fileName));
    QVERIFY(library.setSlot(fileName, 4));
    const QString sent = w.folder.dir.filePath(QStringLiteral("sent.qbform"));
    QVERIFY(library.exportFile(fileName, sent));

    const auto inList = [&](const std::function<void(frmFormList &)> &act) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto *list = qobject_cast<frmFormList *>(QApplication::activeModalWidget());
            seen = list != nullptr;
            if (list)
                act(*list);
            if (list)
                list->close();
        });
        for (QAction *action : w.get<QMenu>(QStringLiteral("mnuTools"))->actions()) {
            if (action->objectName() == QLatin1String("actForms"))
                action->trigger();
        }
        QVERIFY(seen);
    };
    // 删除, answered 是.
    w.dialogs.answers = QList<int>{Dialogs::Yes};
    inList(
        [](frmFormList &list) { QTest::mouseClick(child<QPushButton>(&list, "cmdDelete"), Qt::LeftButton); });
    QVERIFY(!w.button("Command1")->isVisible());
    // A new form of the same file name takes no slot unasked.
    QString again;
    QVERIFY(library.save(twoFields(), &again));
    QCOMPARE(again, fileName);
    QCOMPARE(library.slotOf(again), 0);
    w.form->refreshFormSlots();
    QVERIFY(!w.button("Command1")->isVisible());

    // Into slot 4 again, then the sent file brought back in under another name:
    // it is the same form, asked about, and 是 replaces it, the button following.
    QVERIFY(library.setSlot(again, 4));
    Form renamed = twoFields();
    renamed.id = library.load(again)->id;
    renamed.name = QStringLiteral("申通速递");
    QFile out(sent);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(Forms::FormFile::write(renamed));
    out.close();
    w.form->refreshFormSlots();
    QCOMPARE(w.button("Command1")->text(), QStringLiteral("申通快递 &4"));
    w.dialogs.messages.clear();
    w.dialogs.answers = QList<int>{Dialogs::Yes};
    Designer::FilePicker picker{
        [&](QWidget *, const QString &, const QString &) { return sent; },
        [](QWidget *, const QString &, const QString &, const QString &) { return QString(); }};
    frmFormList list(*w.platform, library, picker);
    QSignalSpy changed(&list, &frmFormList::formsChanged);
    QObject::connect(&list, &frmFormList::formsChanged, w.form.get(), &frmMain::refreshFormSlots);
    list.show();
    QTest::mouseClick(child<QPushButton>(&list, "cmdImport"), Qt::LeftButton);
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.dialogs.messages.first().flags & 7, int(Dialogs::YesNoCancel));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(library.list().size(), 1);
    QCOMPARE(w.button("Command1")->text(), QStringLiteral("申通速递 &4"));
    // 取消 brings in nothing.
    w.dialogs.answers = QList<int>{Dialogs::Cancel};
    QTest::mouseClick(child<QPushButton>(&list, "cmdImport"), Qt::LeftButton);
    QCOMPARE(library.list().size(), 1);
    QCOMPARE(changed.count(), 1);
    list.close();
}

// 工具 → 快递单模板… opens the list; a button given there shows on the main
// window when the list closes.
void DesignerTest::toolsMenuOpensList()
{
    MainWindow w;
    QVERIFY(w.start());
    w.show();
    Form form = twoFields();
    QString fileName;
    QVERIFY(w.form->forms().save(form, &fileName));
    auto *menu = w.form->findChild<QMenu *>(QStringLiteral("mnuTools"));
    QAction *actForms = nullptr;
    for (QAction *action : menu->actions()) {
        if (action->objectName() == QLatin1String("actForms"))
            actForms = action;
    }
    QVERIFY(actForms);
    QCOMPARE(actForms->text(), QStringLiteral("快递单模板…"));
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto *list = qobject_cast<frmFormList *>(QApplication::activeModalWidget());
        seen = list != nullptr;
        if (!list)
            return;
        child<QComboBox>(list, "cboSlot")->setCurrentIndex(2); // Alt+4
        list->close();
    });
    actForms->trigger();
    QVERIFY(seen);
    QPushButton *slot4 = w.button("Command1");
    QVERIFY(slot4->isVisible());
    QCOMPARE(slot4->text(), QStringLiteral("申通快递 &4"));
}

QTEST_MAIN(DesignerTest)
#include "tst_designer.moc"
