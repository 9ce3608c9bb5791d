// Draws the main window and both waybill windows, filled with a sample sender and
// recipient, the print settings, a calibration page, the tools menu and the paste
// dialog, the journal and the sync settings, into PNG files for the README:
// quillbox-screenshot OUTPUT_FOLDER
#include "addressbook/printjournal.h"
#include "mainwindow.h"
#include "sync/passwordstore.h"
#include "sync/syncservice.h"
#include "sync/syncsettingsdialog.h"
#include "tools/journalwindow.h"
#include "tools/pasteaddressdialog.h"
#include "waybill/frmsf.h"
#include "waybill/frmyd.h"
#include "waybill/printjob.h"

#include <QClipboard>
#include <QMenu>
#include <QPainter>
#include <QTimer>

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

    // The sync settings of a shop's second PC, after a sync.
    struct SessionPasswords : PasswordStore
    {
        void read(const QString &, Done done) override { done(QStringLiteral("secret"), QString()); }
        void write(const QString &, const QString &password, Done done) override
        {
            done(password, QString());
        }
    } passwords;
    w.platform->writeSetting("Quillbox", "Sync", "Server", "http://192.168.1.10:5232/");
    w.platform->writeSetting("Quillbox", "Sync", "User", "shop");
    w.platform->writeSetting("Quillbox", "Sync", "Auto", "1");
    w.platform->writeSetting("Quillbox", "Sync", "Interval", "10");
    w.platform->writeSetting("Quillbox", "Sync", "LastResult", "上次同步 12:03，成功");
    SyncService service(*w.platform, passwords);
    frmSyncSettings syncSettings(service, *w.platform);
    syncSettings.show();
    ok = QTest::qWaitForWindowExposed(&syncSettings) &&
         syncSettings.grab().save(out + "/sync-settings.png") && ok;
    return ok ? 0 : 1;
}
