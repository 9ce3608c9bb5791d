#include "addressbook/printjournal.h"
#include "batch/batchnumbers.h"
#include "batch/pagesource.h"
#include "batch/printbatch.h"
#include "dispatch/dayclose.h"
#include "dispatch/frmcheck.h"
#include "dispatch/frmdayclose.h"
#include "testsupport.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include <memory>

namespace {

// A program folder with its platform and journal, as the program has them.
struct Program
{
    Program() : platform(folder.root, folder.settingsFile(), dialogs), journal(platform), store(platform) {}
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    Platform platform;
    PrintJournal journal;
    BatchStore store;

    QByteArray journalBytes() const { return folder.read("journal.csv"); }
    QByteArray batchBytes(const PrintBatch &batch) const { return folder.read("batches/" + batch.fileName); }
};

BatchRow rowFor(const QString &name, const QString &order, const QString &waybill)
{
    BatchRow row;
    row.recipient = {QString(), name, "北京市", "北京市", "朝阳区", "建国路88号", "13800000000", "100000"};
    row.orderNumber = order;
    row.waybillNumber = waybill;
    row.state = BatchRow::State::Printed;
    row.items = {{"T恤", "白色 XL", "TX-01", 2}};
    return row;
}

// Each printed row has its journal entry, as a batch's printing leaves it,
// stamped at the time given (the row's own day when empty).
void print(Program &program, PrintBatch &batch, int row, const QString &time)
{
    PrintJournal::Entry entry = batch.journalEntry(row, PrintBatch::courierOf(batch.form), QString());
    entry.time = time;
    QVERIFY(program.journal.append(entry));
    batch.rows[row].journalId = entry.id;
    batch.rows[row].printedTime = entry.time;
}

// The control of a window that carries this accessible name, as a screen reader finds it.
template <typename Widget> Widget *control(const QWidget &window, const QString &name)
{
    for (Widget *widget : window.findChildren<Widget *>()) {
        if (widget->accessibleName() == name)
            return widget;
    }
    qWarning("no control named %s", qPrintable(name));
    return nullptr;
}

// 验货 on a batch of six parcels, five of them printed:
//   0 DD1 赵一    SF100000000001
//   1 DD2 钱二    SF100000000002, with DD2B merged into its parcel
//   2 DD3 孙三    no number yet
//   3 DD4 李四    parcel 1/2, SF100000000004
//   4 DD4 李四    parcel 2/2, SF100000000005
//   5 DD6 周五    not printed, no number
struct Packing
{
    Packing()
    {
        batch.sender = {"某公司",   "张三",        "上海市",      "上海市",
                        "浦东新区", "世纪大道1号", "02112345678", "200000"};
        batch.rows = {rowFor("赵一", "DD1", "SF100000000001"), rowFor("钱二", "DD2", "SF100000000002"),
                      rowFor("孙三", "DD3", QString()),        rowFor("李四", "DD4", "SF100000000004"),
                      rowFor("李四", "DD4", "SF100000000005"), rowFor("周五", "DD6", QString())};
        MergedOrder merged;
        merged.orderNumber = "DD2B";
        merged.recipient = batch.rows[1].recipient;
        merged.items = {{"袜子", "黑色", QString(), 3}};
        merged.note = "送袜子";
        batch.rows[1].merged = {merged};
        batch.rows[3].parcels = batch.rows[4].parcels = 2;
        batch.rows[4].parcel = 2;
        batch.rows[4].parcelOf = batch.rows[3].id;
        batch.rows[4].items.clear();
        batch.rows[5].state = BatchRow::State::Waiting;
        for (int row = 0; row < 5; ++row)
            print(program, batch, row, QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(program.store.save(batch));
        pages = PageSource::open(program.platform, batch.form);
        numbers = std::make_unique<BatchNumbers>(batch, program.journal, program.store,
                                                 [this]() -> const PageSource & { return *pages; });
        window = std::make_unique<frmCheck>(batch, *numbers, program.store, [this] { ++beeps; });
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        scanLine = control<QLineEdit>(*window, "扫描");
        status = control<QLabel>(*window, "验货结果");
        QVERIFY(scanLine && status);
    }

    // As a scanner types: into whatever has the focus, then Enter.
    void scan(const QString &text) const
    {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        QTest::keyClicks(focus, text);
        QTest::keyClick(focus, Qt::Key_Return);
    }
    QString shown(const QString &name) const { return control<QLabel>(*window, name)->text(); }
    // The whole parcel as the window shows it, one field a line.
    QString parcel() const
    {
        QStringList fields;
        for (const char *name : {"收件人", "宝贝", "备注", "运单号", "件数"})
            fields.append(shown(QString::fromUtf8(name)));
        return fields.join('\n').trimmed();
    }

    Program program;
    PrintBatch batch;
    std::unique_ptr<PageSource> pages;
    std::unique_ptr<BatchNumbers> numbers;
    int beeps = 0;
    std::unique_ptr<frmCheck> window;
    QLineEdit *scanLine = nullptr;
    QLabel *status = nullptr;
};

QDate day()
{
    return QDate(2024, 3, 5);
}

QString at(const QDate &date, const char *time)
{
    return date.toString(Qt::ISODate) + ' ' + QLatin1String(time);
}

// A day as the journal and the batches folder keep it: single prints and two
// batches, one begun the day before and gone on with that day.
struct Day
{
    Day()
    {
        const QDate before = day().addDays(-1);
        // Single prints: one without a number, one with, one of the day before.
        bool appended = true;
        const auto single = [&](const QString &name, const QString &time, const QString &number) {
            PrintJournal::Entry entry = PrintJournal::entryFor(
                "顺丰", "Q", [&name](QStringView key) { return key == u"txtNameTo" ? name : QString(); });
            entry.time = time;
            entry.waybillNumber = number;
            appended = program.journal.append(entry) && appended;
            return entry.id;
        };
        singleId = single("单张甲", at(day(), "08:30:00"), QString());
        single("单张乙", at(day(), "08:40:00"), "SF200000000001");
        single("单张丙", at(before, "17:00:00"), QString());
        QVERIFY(appended);

        yesterday.created = at(before, "16:00:00");
        yesterday.rows = {rowFor("昨一", "Y1", "SF300000000001"), rowFor("昨二", "Y2", "SF300000000002"),
                          rowFor("昨三", "Y3", QString())};
        yesterday.rows[1].exported = true;
        print(program, yesterday, 0, at(before, "16:10:00"));
        print(program, yesterday, 1, at(before, "16:11:00"));
        print(program, yesterday, 2, at(day(), "09:00:00")); // gone on with the next morning
        QVERIFY(program.store.save(yesterday));

        today.created = at(day(), "10:00:00");
        today.rows = {rowFor("赵一", "D1", "SF400000000001"), rowFor("钱二", "D2", QString()),
                      rowFor("孙三", "D3", "SF400000000003"), rowFor("李四", "D4", "SF400000000004"),
                      rowFor("周五", "D5", "SF400000000005"), rowFor("吴六", "D6", QString())};
        today.rows[2].exported = true;
        today.rows[3].exported = true;
        today.rows[3].checkedTime = at(day(), "15:00:00");
        today.rows[5].state = BatchRow::State::Waiting;
        for (int row = 0; row < 5; ++row)
            print(program, today, row, at(day(), "10:05:00"));
        // 周五's first page jammed: spoiled, printed again with a new entry.
        PrintJournal::Entry jammed = program.journal.entries().first();
        QCOMPARE(jammed.value(u"txtNameTo"), QStringLiteral("周五"));
        QVERIFY(program.journal.markSpoiled(jammed, "卡纸"));
        today.rows[4].journalId.clear();
        print(program, today, 4, at(day(), "10:20:00"));
        QVERIFY(program.store.save(today));
    }

    // Where a line lives, as the test names it: "昨" / "今" for a row of the
    // batch of the day before or of the day (its row id checked), "记录" for
    // a journal entry alone.
    QString where(const DayClose::Line &line) const
    {
        for (const PrintBatch *batch : {&yesterday, &today}) {
            if (line.batchFile != batch->fileName)
                continue;
            const int row = batch->rowWithId(line.rowId);
            if (row < 0 || batch->rows[row].value(u"txtNameTo") != line.recipient)
                return "wrong row";
            return batch == &yesterday ? "昨" : "今";
        }
        return line.batchFile.isEmpty() && !line.journalId.isEmpty() ? "记录" : "nowhere";
    }
    QStringList lines(const QList<DayClose::Line> &list) const
    {
        QStringList all;
        for (const DayClose::Line &line : list)
            all.append(line.recipient + '@' + where(line));
        return all;
    }

    Program program;
    PrintBatch yesterday;
    PrintBatch today;
    QString singleId;
};

} // namespace

class DispatchTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void check_data();
    void check();
    void pairedNumberReachesJournal();
    void dayClose_data();
    void dayClose();
    void dayCloseOpensLines();
};

void DispatchTest::check_data()
{
    QTest::addColumn<QStringList>("scans");
    QTest::addColumn<QList<int>>("checked"); // rows checked, as the batch file keeps them
    QTest::addColumn<int>("beeps");
    QTest::addColumn<QString>("shows"); // in the parcel shown after the first scan
    QTest::addColumn<QString>("says");  // in the last status
    QTest::addColumn<QString>("left");  // shown at the end; empty: no parcel

    QTest::newRow("slip, then its waybill")
        << QStringList{"DD1", "SF100000000001"} << QList<int>{0} << 0 << "赵一"
        << "验货通过"
        << "赵一";
    QTest::newRow("as a scanner set to lower case types")
        << QStringList{"dd1", "sf100000000001"} << QList<int>{0} << 0 << "赵一"
        << "验货通过"
        << "赵一";
    QTest::newRow("waybill, then its slip")
        << QStringList{"SF100000000001", "DD1"} << QList<int>{0} << 0 << "赵一"
        << "验货通过"
        << "赵一";
    QTest::newRow("a merged order's slip chooses its parcel")
        << QStringList{"DD2B", "SF100000000002"} << QList<int>{1} << 0 << "袜子 黑色 ×3"
        << "验货通过"
        << "钱二";
    QTest::newRow("another parcel's waybill")
        << QStringList{"DD1", "SF100000000002"} << QList<int>{} << 1 << "赵一"
        << "这个运单号属于订单 DD2"
        << "赵一";
    QTest::newRow("a waybill of no parcel here")
        << QStringList{"DD1", "SF199999999999"} << QList<int>{} << 1 << "赵一"
        << "这个包裹的运单号是 SF100000000001"
        << "赵一";
    QTest::newRow("waybill, then another parcel's slip")
        << QStringList{"SF100000000002", "DD1"} << QList<int>{} << 1 << "钱二"
        << "属于订单 DD2"
        << "赵一";
    QTest::newRow("a parcel without a number is given the one scanned")
        << QStringList{"DD3", "SF100000000003"} << QList<int>{2} << 0 << "孙三"
        << "已配给"
        << "孙三";
    QTest::newRow("a number of the wrong form is not given")
        << QStringList{"DD3", "1234567"} << QList<int>{} << 1 << "孙三"
        << "不像顺丰运单号"
        << "孙三";
    QTest::newRow("a parcel never printed takes no number")
        << QStringList{"DD6", "SF100000000006"} << QList<int>{} << 1 << "周五"
        << "还没有打印"
        << "周五";
    QTest::newRow("the second parcel of two, by its own waybill")
        << QStringList{"DD4", "SF100000000005"} << QList<int>{4} << 0 << "李四"
        << "请扫第 1/2 件"
        << "李四";
    QTest::newRow("both parcels of two after one slip")
        << QStringList{"DD4", "SF100000000004", "SF100000000005"} << QList<int>{3, 4} << 0 << "1/2（共 2 件）"
        << "验货通过"
        << "李四";
    QTest::newRow("a parcel's waybill scanned twice")
        << QStringList{"DD4", "SF100000000004", "SF100000000004"} << QList<int>{3} << 0 << "李四"
        << "验过货"
        << "李四";
    QTest::newRow("checked twice") << QStringList{"DD1", "SF100000000001", "DD1"} << QList<int>{0} << 0
                                   << "赵一"
                                   << "验过货"
                                   << "赵一";
    QTest::newRow("a waybill of no parcel after a check")
        << QStringList{"DD1", "SF100000000001", "SF199999999999"} << QList<int>{0} << 1 << "赵一"
        << "不是这一批的"
        << "";
}

// Scans typed into the window as a scanner types them: the right pairs are
// checked and saved, a wrong one sounds and changes nothing anywhere.
void DispatchTest::check()
{
    QFETCH(QStringList, scans);
    QFETCH(QList<int>, checked);
    QFETCH(int, beeps);
    QFETCH(QString, shows);
    QFETCH(QString, says);
    QFETCH(QString, left);

    Packing packing;
    const QByteArray batchBefore = packing.program.batchBytes(packing.batch);
    const QByteArray journalBefore = packing.program.journalBytes();
    // A look at the parcel's items on the way does not take the scanner's keys.
    QTest::mouseClick(control<QLabel>(*packing.window, "宝贝"), Qt::LeftButton);
    packing.scan(scans.first());
    QVERIFY2(packing.parcel().contains(shows), qPrintable(packing.parcel()));
    for (const QString &text : scans.mid(1))
        packing.scan(text);

    QVERIFY2(packing.status->text().contains(says), qPrintable(packing.status->text()));
    QVERIFY2(left.isEmpty() ? packing.parcel().isEmpty() : packing.parcel().contains(left),
             qPrintable(packing.parcel()));
    QCOMPARE(packing.beeps, beeps);
    QCOMPARE(QApplication::focusWidget(), packing.scanLine);
    QCOMPARE(packing.scanLine->text(), QString());
    const QColor colour = packing.status->palette().color(QPalette::Window);
    if (beeps > 0)
        QVERIFY(colour.red() > 2 * colour.green());
    else if (says == "验货通过" || says == "已配给")
        QVERIFY(colour.green() > 2 * colour.red());

    const std::optional<PrintBatch> saved = packing.program.store.load(packing.batch.fileName);
    QVERIFY(saved);
    QList<int> savedChecked;
    for (int row = 0; row < saved->rows.size(); ++row) {
        if (!saved->rows[row].checkedTime.isEmpty())
            savedChecked.append(row);
    }
    QCOMPARE(savedChecked, checked);
    QCOMPARE(control<QLabel>(*packing.window, "验货进度")->text(),
             QStringLiteral("已验货 %1 / 6").arg(checked.size()));
    if (checked.isEmpty()) {
        QCOMPARE(packing.program.batchBytes(packing.batch), batchBefore);
        QCOMPARE(packing.program.journalBytes(), journalBefore);
    }
}

// The number a parcel was given at 验货 is its number everywhere: in the
// batch's file and in its journal entry, as if scanned in the batch window.
void DispatchTest::pairedNumberReachesJournal()
{
    Packing packing;
    packing.scan("DD3");
    QCOMPARE(packing.shown("运单号"), QStringLiteral("（还没有）"));
    packing.scan("SF100000000003");
    QCOMPARE(packing.shown("运单号"), QStringLiteral("SF100000000003"));
    const std::optional<PrintBatch> saved = packing.program.store.load(packing.batch.fileName);
    QVERIFY(saved);
    QCOMPARE(saved->rows[2].waybillNumber, QStringLiteral("SF100000000003"));
    QCOMPARE(packing.program.journal.waybillNumberOwner(u"SF100000000003"), saved->rows[2].journalId);
    // Now its own: scanned for another parcel, it is refused as another's.
    packing.scan("DD1");
    packing.scan("SF100000000003");
    QVERIFY2(packing.status->text().contains("属于订单 DD3"), qPrintable(packing.status->text()));
    QCOMPARE(packing.beeps, 1);
}

void DispatchTest::dayClose_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QStringList>("withoutNumber");
    QTest::addColumn<QStringList>("notExported");
    QTest::addColumn<QStringList>("notChecked");
    QTest::addColumn<QStringList>("spoiled");

    QTest::newRow("the day") << day() << QStringList{"单张甲@记录", "昨三@昨", "钱二@今"}
                             << QStringList{"赵一@今", "周五@今"} << QStringList{"孙三@今"}
                             << QStringList{"周五@记录"};
    QTest::newRow("the day before") << day().addDays(-1) << QStringList{"单张丙@记录"}
                                    << QStringList{"昨一@昨"} << QStringList{"昨二@昨"} << QStringList{};
    QTest::newRow("a day without work")
        << day().addDays(1) << QStringList{} << QStringList{} << QStringList{} << QStringList{};
}

// The four lists of a day, from the journal and the batches begun that day,
// each line where it lives.
void DispatchTest::dayClose()
{
    QFETCH(QDate, date);
    QFETCH(QStringList, withoutNumber);
    QFETCH(QStringList, notExported);
    QFETCH(QStringList, notChecked);
    QFETCH(QStringList, spoiled);

    Day fixture;
    const DayClose::Report report = DayClose(fixture.program.journal, fixture.program.store).report(date);
    QCOMPARE(fixture.lines(report.withoutNumber), withoutNumber);
    QCOMPARE(fixture.lines(report.notExported), notExported);
    QCOMPARE(fixture.lines(report.notChecked), notChecked);
    QCOMPARE(fixture.lines(report.spoiled), spoiled);
    QCOMPARE(report.problems, QStringList());
    if (!spoiled.isEmpty())
        QCOMPARE(report.spoiled.first().detail, QStringLiteral("卡纸"));
}

// 日结's window: the day chosen, the counts in the lists' captions, and 打开
// on a line asks for its batch row or its journal entry.
void DispatchTest::dayCloseOpensLines()
{
    Day fixture;
    QStringList opened;
    frmDayClose window(
        fixture.program.journal, fixture.program.store,
        [&opened](const QString &file, const QString &row) { opened.append(file + '#' + row); },
        [&opened](const QString &entry) { opened.append(entry); }, nullptr, day().addDays(1));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *tabs = control<QTabWidget>(window, "日结清单");
    QVERIFY(tabs);
    QCOMPARE(tabs->tabText(0), QStringLiteral("已打印未录运单号（0）"));

    control<QDateEdit>(window, "日期")->setDate(day());
    QCOMPARE(tabs->tabText(0), QStringLiteral("已打印未录运单号（3）"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("运单号未导出（2）"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("已导出未验货（1）"));
    QCOMPARE(tabs->tabText(3), QStringLiteral("作废重打（1）"));

    auto *open = control<QPushButton>(window, "打开");
    auto *withoutNumber = control<QTableWidget>(window, "已打印未录运单号");
    QVERIFY(open && withoutNumber);
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(opened, QStringList()); // nothing chosen yet
    tabs->setCurrentIndex(0);
    withoutNumber->selectRow(2); // 钱二, a row of the day's batch
    QTest::mouseClick(open, Qt::LeftButton);
    withoutNumber->selectRow(0); // 单张甲, printed alone
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(opened,
             (QStringList{fixture.today.fileName + '#' + fixture.today.rows[1].id, fixture.singleId}));
    // Another day: the line chosen before is not one of its own.
    control<QDateEdit>(window, "日期")->setDate(day().addDays(-1));
    QCOMPARE(tabs->tabText(0), QStringLiteral("已打印未录运单号（1）"));
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(opened.size(), 2);
}

QUILLBOX_TEST_MAIN(DispatchTest)
#include "tst_dispatch.moc"
