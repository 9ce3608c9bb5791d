// Draws the main window and both waybill windows, filled with a sample sender and
// recipient, the print settings, a calibration page, the tools menu and the paste
// dialog, the print journal, the batch window, the form designer and a test print of a
// form, and the sync settings, into PNG files for the README: quillbox-screenshot
// OUTPUT_FOLDER
#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "addressbook/printjournal.h"
#include "batch/frmbatch.h"
#include "batch/printbatch.h"
#include "batch/batchnumbers.h"
#include "batch/pagesource.h"
#include "designer/formcanvas.h"
#include "dispatch/frmcheck.h"
#include "dispatch/frmdayclose.h"
#include "designer/formdocument.h"
#include "designer/frmformeditor.h"
#include "designer/frmformlist.h"
#include "forms/formlibrary.h"
#include "forms/formpainter.h"
#include "mainwindow.h"
#include "packing/frmpickinglist.h"
#include "packing/slipprinter.h"
#include "platform/printqueue.h"
#include "sync/passwordstore.h"
#include "sync/syncservice.h"
#include "sync/syncsettingsdialog.h"
#include "tools/journalwindow.h"
#include "tools/pasteaddressdialog.h"
#include "waybill/frmsf.h"
#include "waybill/frmyd.h"
#include "waybill/printjob.h"

#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QTimer>

namespace {

// A made-up blank paper waybill of 230 × 127 mm, as a scan at 8 pixels to the
// millimetre, a little off the page as a scanner leaves it: boxes with their
// printed captions, six postcode boxes each side.
QByteArray blankWaybillScan()
{
    constexpr double perMm = 8;
    QImage scan(QSize(236, 131) * perMm, QImage::Format_RGB32);
    scan.fill(QColor(250, 247, 240));
    scan.setDotsPerMeterX(perMm * 1000);
    scan.setDotsPerMeterY(perMm * 1000);
    QPainter painter(&scan);
    painter.scale(perMm, perMm);
    painter.translate(3, 2);
    painter.setPen(QPen(QColor(200, 40, 40), 0.4));
    QFont font(QStringLiteral("AR PL UMing CN"));
    font.setPixelSize(3);
    painter.setFont(font);
    painter.drawRect(QRectF(4, 4, 222, 119));
    const auto box = [&](QRectF r, const char *caption) {
        painter.drawRect(r);
        painter.drawText(r.adjusted(1, 0.5, 0, 0), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(caption));
    };
    for (int side = 0; side < 2; ++side) {
        const double x = 8 + side * 108;
        box(QRectF(x, 10, 104, 12), side ? "收件人姓名" : "寄件人姓名");
        box(QRectF(x, 22, 104, 12), side ? "收件单位" : "寄件单位");
        box(QRectF(x, 34, 104, 24), side ? "收件地址" : "寄件地址");
        box(QRectF(x, 58, 64, 12), "联系电话");
        painter.drawText(QRectF(x + 66, 58, 38, 5), Qt::AlignLeft, QStringLiteral("邮编"));
        for (int digit = 0; digit < 6; ++digit)
            painter.drawRect(QRectF(x + 68 + digit * 6, 63, 6, 7));
    }
    box(QRectF(8, 74, 104, 16), "托寄物内容");
    box(QRectF(116, 74, 104, 16), "寄件日期");
    box(QRectF(8, 90, 212, 28), "收件人签名");
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    scan.save(&buffer, "JPEG", 85);
    return bytes;
}

// The form laid out on that scan, as a shop makes it in the designer.
Forms::Form formOnScan()
{
    Forms::Form form;
    form.id = Forms::Form::newId();
    form.name = QStringLiteral("申通快递");
    form.picture = blankWaybillScan();
    // Aligned by two points: the scan's margin taken off.
    form.picturePlace = QRectF(-3, -2, 236, 131);
    const auto field = [&](QStringList keys, QRectF box, double pitch = 0) {
        Forms::FormField f;
        f.keys = std::move(keys);
        f.box = box;
        f.pointSize = 11;
        f.fit = pitch > 0 ? Forms::FormField::Fit::OneLine : Forms::FormField::Fit::Shrink;
        f.pitch = pitch;
        form.fields.push_back(f);
    };
    for (const QString &side : {QStringLiteral(""), QStringLiteral("To")}) {
        const double x = side.isEmpty() ? 20 : 128;
        field({"txtName" + side}, QRectF(x, 14, 60, 7));
        field({"txtSent" + side}, QRectF(x, 26, 90, 7));
        Forms::FormField address;
        address.keys = QStringList{"txtP" + side, "txtC" + side, "txtA" + side, "txtAdd" + side};
        address.box = QRectF(x, 38, 90, 14);
        address.pointSize = 11;
        form.fields.push_back(address);
        field({"txtTel" + side}, QRectF(x, 62, 50, 7));
        field({"txtZip" + side}, QRectF(x + 56, 64.5, 36, 6), 6);
    }
    Forms::FormField goods;
    goods.source = Forms::FormField::Source::Asked;
    goods.askLabel = QStringLiteral("托寄物");
    goods.box = QRectF(20, 80, 80, 7);
    form.fields.push_back(goods);
    Forms::FormField date;
    date.source = Forms::FormField::Source::Date;
    date.box = QRectF(128, 80, 40, 7);
    form.fields.push_back(date);
    return form;
}

// The list of forms with one on Alt+4, the editor with the scan and its
// fields, and the test print laid over the scan.
// The 100 × 150 mm label preset with a Code 128 of the order number and a QR
// code of the order, the buyer and the address, as a 203-dpi label printer gets it.
bool drawBarcodeLabel(const QString &out)
{
    Forms::Form label;
    for (const Forms::Form &preset : Forms::presets()) {
        if (preset.paper == QSizeF(100, 150))
            label = preset;
    }
    Forms::FormField code;
    code.source = Forms::FormField::Source::FixedText;
    code.text = QStringLiteral("{订单编号}");
    code.symbol = Forms::FormField::Symbol::Code128;
    code.moduleMm = 0.25;
    code.box = QRectF(8, 112, 60, 18);
    label.fields.push_back(code);
    Forms::FormField qr = code;
    qr.text = QStringLiteral("{订单编号} {txtNameTo} {txtPTo}{txtCTo}{txtATo}{txtAddTo}");
    qr.symbol = Forms::FormField::Symbol::QrCode;
    qr.box = QRectF(72, 112, 24, 24);
    label.fields.push_back(qr);
    const QHash<QString, QString> values{{"txtSent", "上海华强电子有限公司"},
                                         {"txtName", "张伟"},
                                         {"txtTel", "021-62345678"},
                                         {"txtP", "上海市"},
                                         {"txtC", "上海市"},
                                         {"txtA", "浦东新区"},
                                         {"txtAdd", "世纪大道100号"},
                                         {"txtSentTo", "李娜"},
                                         {"txtNameTo", "李娜"},
                                         {"txtTelTo", "13812345678"},
                                         {"txtPTo", "广东省"},
                                         {"txtCTo", "深圳市"},
                                         {"txtATo", "南山区"},
                                         {"txtAddTo", "科技园南区1号楼"},
                                         {"orderNumber", "3348811003"}};
    Forms::FormValues fill;
    fill.contact = [&values](QStringView key) { return values.value(key.toString()); };
    constexpr int dpi = 203;
    QImage page(qRound(100 / 25.4 * dpi), qRound(150 / 25.4 * dpi), QImage::Format_Grayscale8);
    page.setDotsPerMeterX(qRound(dpi / 0.0254));
    page.setDotsPerMeterY(qRound(dpi / 0.0254));
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.scale(dpi / 25.4, dpi / 25.4);
    Forms::FormPainter(label).paint(painter, fill);
    painter.end();
    return page.save(out + "/barcode-form-label.png");
}

bool drawDesigner(MainWindow &w, const QString &out)
{
    Forms::FormLibrary &library = w.form->forms();
    const Forms::Form form = formOnScan();
    QString fileName;
    if (!library.save(form, &fileName) || !library.setSlot(fileName, 4))
        return false;
    for (const QString &name : {QStringLiteral("中通快递"), QStringLiteral("店铺标签 100×180")}) {
        Forms::Form other = Forms::presets().back();
        other.id = Forms::Form::newId();
        other.name = name;
        QString otherFile;
        library.save(other, &otherFile);
    }
    const Designer::FilePicker picker{
        [](QWidget *, const QString &, const QString &) { return QString(); },
        [](QWidget *, const QString &, const QString &, const QString &) { return QString(); }};
    Designer::frmFormList list(*w.platform, library, picker);
    list.reload(fileName);
    list.show();
    bool ok = QTest::qWaitForWindowExposed(&list) && list.grab().save(out + "/form-list.png");

    Designer::frmFormEditor editor(*w.platform, library, form, fileName, picker, nullptr);
    editor.findChild<QComboBox *>("cboZoom")->setCurrentIndex(2); // 100 %
    editor.canvas().setSelected(9);                               // the recipient's postcode, one box a digit
    editor.resize(editor.sizeHint());
    editor.show();
    ok = QTest::qWaitForWindowExposed(&editor) && editor.grab().save(out + "/form-editor.png") && ok;

    // The test print as it comes out on plain paper with the picture faint, 5 pixels to the millimetre.
    constexpr double perMm = 5;
    QImage page((form.paper * perMm).toSize(), QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.scale(perMm, perMm);
    Forms::FormValues values;
    values.contact = [&w](QStringView name) { return w.form->fieldText(name); };
    values.asked.insert(QStringLiteral("托寄物"), QStringLiteral("文件"));
    Forms::FormPainter(form).paint(painter, values, Forms::FormPainter::FaintBackground);
    painter.end();
    return page.save(out + "/form-test-print.png") && ok;
}

} // namespace

int main(int argc, char *argv[])
{
    prepareApplication();
    QApplication app(argc, argv);
    setUpApplication(app);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    MainWindow w;
    const QStringList senderKeys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};
    QStringList recipientKeys;
    for (const QString &key : senderKeys)
        recipientKeys.append(key + "To");
    w.folder.write("sent/上海华强电子有限公司 - 张伟.dat",
                   contactBytes(senderKeys, {"上海华强电子有限公司", "张伟", "上海市", "上海市", "浦东新区",
                                             "张江路88号", "021-12345678", "201203"}));
    w.folder.write("sent/Acme Trading Co - Li Na.dat",
                   contactBytes(senderKeys, {"Acme Trading Co", "Li Na"}));
    for (const char *name :
         {"北京金达贸易商行 - 王芳", "杭州博雅文化工作室 - 陈杰", "成都天成食品经营部 - 刘洋"})
        w.folder.write(QStringLiteral("to/_未分类/") + QString::fromUtf8(name) + ".dat", "");
    w.folder.write("to/_未分类/深圳恒通科技有限公司 - 李娜.dat",
                   contactBytes(recipientKeys, {"深圳恒通科技有限公司", "李娜", "广东省", "深圳市", "南山区",
                                                "科技园南区1号楼", "0755-87654321", "518057"}));
    w.folder.mkdir("to/老客户");
    w.platform->writeSetting("Pellory", "Pellory", "Pellory", "上海华强电子有限公司 - 张伟");
    if (!w.start())
        return 1;
    w.cmbTo()->selectIndex(w.cmbTo()->entries().indexOf("深圳恒通科技有限公司 - 李娜"));
    w.form->show();
    bool ok = w.form->grab().save(out + "/main-window.png");
    const Waybill::FieldReader read = [&w](QStringView name) { return w.form->fieldText(name); };
    frmSF sf(*w.platform, read);
    ok = sf.grab().save(out + "/waybill-sf.png") && ok;
    frmYD yd(*w.platform, read);
    ok = yd.grab().save(out + "/waybill-yd.png") && ok;

    // The settings of a printer that feeds a waybill-sized sheet a little off.
    Waybill::PrintSettings fitted;
    fitted.paper = QSizeF(230, 127);
    fitted.offset = QPointF(1.6, -0.8);
    fitted.scaleX = 1.004;
    fitted.scaleY = 0.996;
    fitted.save(*w.platform, "SF");
    frmSF fittedSf(*w.platform, read);
    fittedSf.show();
    bool grabbed = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || dialog == &fittedSf)
            return;
        dialog->resize(dialog->sizeHint().width() + 120, dialog->sizeHint().height());
        grabbed = dialog->grab().save(out + "/print-settings.png");
        dialog->close();
    });
    poll.start(50);
    fittedSf.findChild<QPushButton *>("cmdSettings")->click();
    poll.stop();
    ok = grabbed && ok;

    // The calibration page as it comes out of a true printer, 5 pixels to the millimetre.
    constexpr double perMm = 5;
    QImage page(QSize(175, 110) * perMm, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.scale(perMm * 25.4 / 96, perMm * 25.4 / 96);
    Waybill::paintCalibrationPage(painter);
    painter.end();
    ok = page.save(out + "/calibration-page.png") && ok;

    // The tools menu drawn open over the window, as the user sees it.
    QTest::mouseClick(w.button("cmdTools"), Qt::LeftButton);
    auto *menu = w.form->findChild<QMenu *>("mnuTools");
    ok = QTest::qWaitFor([menu] { return menu->isVisible(); }) && ok;
    const QRect window(w.form->mapToGlobal(QPoint(0, 0)), w.form->size());
    const QRect both = window.united(menu->geometry());
    QPixmap withMenu(both.size());
    withMenu.fill(Qt::white);
    {
        QPainter painter(&withMenu);
        painter.drawPixmap(window.topLeft() - both.topLeft(), w.form->grab());
        painter.drawPixmap(menu->geometry().topLeft() - both.topLeft(), menu->grab());
    }
    ok = withMenu.save(out + "/tools-menu.png") && ok;
    menu->close();

    // Two numbers in the text: the dialog fills the first and marks the field.
    QGuiApplication::clipboard()->setText(
        "王芳 13611112222 0571-88881234 浙江省杭州市余杭区文一西路969号 311121");
    w.form->findChild<QAction *>("actPaste")->trigger();
    auto *paste = w.form->findChild<PasteAddressDialog *>();
    ok = paste && QTest::qWaitForWindowExposed(paste) && paste->grab().save(out + "/paste-dialog.png") && ok;
    paste->close();

    // A few days of prints, searched for one recipient.
    PrintJournal journal(*w.platform);
    const QList<QStringList> recipients{
        {"深圳恒通科技有限公司", "李娜", "广东省", "深圳市", "南山区", "科技园南区1号楼", "0755-87655678"},
        {"北京金达贸易商行", "王芳", "北京市", "北京市", "朝阳区", "建国路89号", "13811115678"},
        {"杭州博雅文化工作室", "陈杰", "浙江省", "杭州市", "西湖区", "文三路100号", "13922223333"}};
    for (int i = 0; i < 6; ++i) {
        const QStringList &to = recipients[i % recipients.size()];
        const auto value = [&](QStringView key) {
            const int at = recipientKeys.indexOf(key.toString());
            return at >= 0 ? to.value(at) : w.form->fieldText(key);
        };
        const PrintJournal::Entry printed =
            PrintJournal::entryFor(i % 2 ? "韵达" : "顺丰", "Quillbox-PDF", value);
        journal.append(printed);
        // The older ones have their waybill numbers by now.
        if (i < 4)
            journal.setWaybillNumber(printed,
                                     i % 2 ? QStringLiteral("43120034567%1").arg(i, 2, 10, QLatin1Char('0'))
                                           : QStringLiteral("SF14420378%1").arg(i, 4, 10, QLatin1Char('0')));
    }
    frmJournal journalWindow(journal, *w.platform);
    journalWindow.show();
    journalWindow.findChild<QLineEdit *>("txtSearch")->setText("李娜");
    ok = QTest::qWaitForWindowExposed(&journalWindow) &&
         journalWindow.grab().save(out + "/journal-window.png") && ok;
    journalWindow.close();

    // A day's orders read into the batch window, before printing.
    QTemporaryDir orderFolder;
    const QString orders = orderFolder.path() + "/orders.csv";
    QFile file(orders);
    ok = file.open(QIODevice::WriteOnly) && ok;
    file.write("订单编号,收货人,手机,收货地址,宝贝标题,颜色分类,数量,商家编码,买家留言\r\n"
               "202612070001,王芳,13811115678,北京市朝阳区建国路89号,保温杯,红色 500ml,1,BW-500,\r\n"
               "202612070002,陈杰,13922223333,浙江省杭州市西湖区文三路100号,西湖龙井,,2,LJ-250,\r\n"
               "202612070003,刘洋,13733334444,四川省成都市武侯区人民南路四段1号,纯棉T恤,白色 XL,1,TX-XL,\r\n"
               "202612070004,赵敏,13644445555-7804,江苏省南京市鼓楼区中山北路200号,羊毛围巾,灰色,1,WJ-01,\r\n"
               "202612070005,李娜,0755-87655678,深圳市南山区科技园南区1号楼,陶瓷茶具,六件套,1,CJ-6,\r\n"
               "202612070006,王芳,13811115678,北京市朝阳区建国路 89 号,西湖龙井,,1,LJ-250,请和上一单一起发\r\n");
    file.close();
    RegionTable regions;
    regions.load();
    const AddressParser parser(regions);
    // Yesterday's batch, printed, numbered and shipped, kept in the history.
    PrintBatch yesterday;
    yesterday.created = QDateTime::currentDateTime().addDays(-1).toString("yyyy-MM-dd 09:12:00");
    yesterday.sender = QStringList(8, QString());
    for (int i = 0; i < 12; ++i) {
        BatchRow row;
        row.recipient = QStringList(8, QStringLiteral("收件人%1").arg(i));
        row.orderNumber = QStringLiteral("20261206%1").arg(i, 4, 10, QLatin1Char('0'));
        row.state = BatchRow::State::Printed;
        row.waybillNumber = QStringLiteral("SF14420379%1").arg(i, 4, 10, QLatin1Char('0'));
        row.exported = true;
        yesterday.rows.append(row);
    }
    ok = BatchStore(*w.platform).save(yesterday) && ok;
    frmBatch batchWindow(
        *w.platform, journal, [&]() -> const AddressParser & { return parser; },
        [&](QWidget *, const QString &, const QString &) { return orders; },
        [](QWidget *, const QString &, const QString &, const QString &) { return QString(); });
    batchWindow.show();
    batchWindow.findChild<QPushButton *>("cmdOpenOrders")->click();
    ok = QTest::qWaitForWindowExposed(&batchWindow) && batchWindow.grab().save(out + "/batch-window.png") &&
         ok;
    // 合单…: 王芳's two orders proposed as one parcel, and packed so.
    bool mergeDrawn = false;
    QTimer mergePoll;
    QObject::connect(&mergePoll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog && dialog->objectName() == "frmMerge" && dialog->isVisible()) {
            mergeDrawn = dialog->grab().save(out + "/batch-merge.png");
            dialog->accept();
        }
    });
    mergePoll.start(20);
    batchWindow.findChild<QPushButton *>("cmdMerge")->click();
    mergePoll.stop();
    ok = mergeDrawn && ok;
    // 历史批次…: today's batch and yesterday's.
    bool historyDrawn = false;
    QTimer historyPoll;
    QObject::connect(&historyPoll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog && dialog->objectName() == "dlgBatchHistory" && dialog->isVisible()) {
            historyDrawn = dialog->grab().save(out + "/batch-history.png");
            dialog->close();
        }
    });
    historyPoll.start(20);
    batchWindow.findChild<QPushButton *>("cmdHistory")->click();
    historyPoll.stop();
    ok = historyDrawn && ok;

    // The merged parcel's packing slip, the day's picking list, 验货 and 日结.
    PrintBatch packed = batchWindow.batch();
    packed.created = QDateTime::currentDateTime().toString("yyyy-MM-dd 09:30:00");
    for (int i = 0; i < packed.rows.size(); ++i) {
        packed.rows[i].state = BatchRow::State::Printed;
        packed.rows[i].printOrder = i + 1;
        if (i < 3)
            packed.rows[i].waybillNumber = QStringLiteral("SF14420380%1").arg(i, 4, 10, QLatin1Char('0'));
    }
    packed.rows[1].checkedTime = packed.created.left(11) + "10:02:00";
    const PrintQueue queue;
    const SlipPrinter slips(Forms::slipPresets()[1], queue);
    QImage slip((slips.form().paper * 5).toSize(), QImage::Format_RGB32);
    slip.setDotsPerMeterX(5000);
    slip.setDotsPerMeterY(5000);
    slip.fill(Qt::white);
    {
        QPainter painter(&slip);
        slips.paintSlip(painter, packed, 0);
    }
    ok = slip.save(out + "/packing-slip.png") && ok;
    frmPickingList picking(*w.platform, packed, {}, frmPickingList::askPrinter,
                           [](QWidget *, const QString &, const QString &, const QString &) { return QString(); });
    picking.show();
    ok = QTest::qWaitForWindowExposed(&picking) && picking.grab().save(out + "/picking-list.png") && ok;
    BatchStore packedStore(*w.platform);
    ok = packedStore.save(packed) && ok;
    const std::unique_ptr<PageSource> pages = PageSource::open(*w.platform, packed.form);
    BatchNumbers numbers(packed, journal, packedStore, [&]() -> const PageSource & { return *pages; });
    frmCheck check(packed, numbers, packedStore, [] {});
    check.show();
    ok = QTest::qWaitForWindowExposed(&check) && ok;
    QTest::keyClicks(QApplication::focusWidget(), packed.rows[0].orderNumber);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClicks(QApplication::focusWidget(), packed.rows[0].waybillNumber);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // The larger labels take their height once the layout runs again.
    QCoreApplication::sendPostedEvents();
    check.layout()->activate();
    ok = check.grab().save(out + "/check-window.png") && ok;
    frmDayClose dayClose(journal, packedStore, [](const QString &, const QString &) {}, [](const QString &) {});
    dayClose.show();
    ok = QTest::qWaitForWindowExposed(&dayClose) && dayClose.grab().save(out + "/day-close.png") && ok;

    ok = drawDesigner(w, out) && ok;
    ok = drawBarcodeLabel(out) && ok;

    // The sync settings of a shop's second PC, after a sync.
    struct SessionPasswords : PasswordStore
    {
        void read(const QString &, Done done) override { done(QStringLiteral("secret"), QString()); }
        void write(const QString &, const QString &password, Done done) override
        {
            done(password, QString());
        }
    } passwords;
    w.platform->writeSetting("Quillbox", "Sync", "Server", "http://127.0.0.1:5232/");
    w.platform->writeSetting("Quillbox", "Sync", "User", "shop");
    w.platform->writeSetting("Quillbox", "Sync", "Auto", "1");
    w.platform->writeSetting("Quillbox", "Sync", "Interval", "10");
    w.platform->writeSetting("Quillbox", "Sync", "LastResult", "上次同步 12:03，成功");
    SyncService service(*w.platform, passwords);
    frmSyncSettings syncSettings(service, *w.platform);
    syncSettings.show();
    ok = QTest::qWaitForWindowExposed(&syncSettings) &&
         syncSettings.grab().save(out + "/sync-settings.png") && ok;

    // A shop's own server over https, its certificate trusted at the first test.
    const QString fingerprint = QStringLiteral("3F:A1:0C:77:5B:E2:94:D8:61:0A:CE:39:F5:12:8B:47:"
                                               "D0:6E:2C:99:A4:13:7F:B5:E8:02:5D:C6:91:3A:B7:4E");
    w.platform->writeSetting("Quillbox", "Sync", "Server", "https://192.168.1.10:5232/");
    w.platform->writeSetting("Quillbox", "Sync", "Certificate", fingerprint);
    SyncService httpsService(*w.platform, passwords);
    frmSyncSettings httpsSettings(httpsService, *w.platform);
    // What 测试连接 shows once the user trusted the certificate.
    httpsSettings.findChild<QLabel *>("lblTest")->setText(
        QStringLiteral("连接成功。（信任的证书 SHA-256 指纹 %1）").arg(fingerprint));
    httpsSettings.show();
    ok = QTest::qWaitForWindowExposed(&httpsSettings) && httpsSettings.grab().save(out + "/sync-https.png") &&
         ok;
    return ok ? 0 : 1;
}
