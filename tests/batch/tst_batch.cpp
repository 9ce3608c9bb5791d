#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "addressbook/printjournal.h"
#include "batch/batchnumbers.h"
#include "batch/batchparcels.h"
#include "batch/batchprinter.h"
#include "batch/frmbatch.h"
#include "forms/formlibrary.h"
#include "mainwindow.h"
#include "platform/printqueue.h"
#include "printedpages.h"
#include "tools/journalwindow.h"
#include "waybill/frmsf.h"
#include "waybill/printjob.h"
#include "waybill/waybillwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QTreeView>

#include <csignal>

namespace {

// Runs a CUPS command line tool; false with its output in error when it fails.
bool run(const char *tool, const QStringList &arguments, QString *error = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(findTool(tool), arguments);
    const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0;
    if (!ok && error)
        *error = QString::fromLocal8Bit(process.readAll()) + process.errorString();
    return ok;
}

QString output(const char *tool, const QStringList &arguments)
{
    QProcess process;
    process.start(findTool(tool), arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The number of jobs a queue ever had that the scheduler still remembers.
int jobsOn(const QString &queue)
{
    return int(output("lpstat", {"-W", "all", "-o", queue}).split('\n', Qt::SkipEmptyParts).size());
}

// A batch of count waybills (at most twenty), each recipient told apart by
// its name, its company and its phone.
PrintBatch batchOf(int count)
{
    static const QStringList names = QStringLiteral("赵一 钱二 孙三 李四 周五 吴六 郑七 王八 冯九 陈十 "
                                                    "褚明 卫东 蒋华 沈强 韩梅 杨洋 朱丽 秦岚 尤佳 许静")
                                         .split(' ');
    PrintBatch batch;
    batch.sender = {"某公司", "张三", "上海市", "上海市", "浦东新区", "世纪大道1号", "02112345678", "200000"};
    for (int i = 1; i <= count; ++i) {
        BatchRow row;
        row.recipient = {names[i - 1] + "商行",
                         names[i - 1],
                         "北京市",
                         "北京市",
                         "朝阳区",
                         "建国路88号",
                         QStringLiteral("138000000%1").arg(i, 2, 10, QChar('0')),
                         "100000"};
        row.orderNumber = QStringLiteral("DD%1").arg(i);
        batch.rows.append(row);
    }
    return batch;
}

// Runs one test function of this program in a child process on the given
// program folder, its output merged, to be killed or to crash there.
void startCaseInChild(QProcess &child, const char *testFunction, const QString &folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLBOX_CASE_PROCESS", "1");
    environment.insert("QUILLBOX_BATCH_FOLDER", folder);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"-platform", "offscreen", testFunction});
}

// The control of a window that carries this accessible name, as a screen reader finds it.
QWidget *controlNamed(const QWidget &window, const QString &name)
{
    for (QWidget *widget : window.findChildren<QWidget *>()) {
        if (widget->accessibleName() == name)
            return widget;
    }
    qWarning("no control named %s", qPrintable(name));
    return nullptr;
}

// A program folder with its platform and journal, as the program has them.
struct Program
{
    explicit Program(const QString &root = QString())
        : platform(root.isEmpty() ? folder.root : root,
                   (root.isEmpty() ? folder.root : root) + "/../settings.ini", dialogs),
          journal(platform)
    {
    }
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    Platform platform;
    PrintJournal journal;
};

// The batch window's table as a user meets it: cells read, and typed into
// through the table's own editor (a cell that cannot be edited opens none).
struct Grid
{
    QTableView *view = nullptr;

    QAbstractItemModel *model() const { return view->model(); }
    int rowCount() const { return model()->rowCount(); }
    QString text(int row, int column) const { return model()->index(row, column).data().toString(); }
    QBrush brush(int row, int column) const
    {
        return model()->index(row, column).data(Qt::BackgroundRole).value<QBrush>();
    }
    bool editable(int row, int column) const
    {
        return model()->flags(model()->index(row, column)) & Qt::ItemIsEditable;
    }
    void type(int row, int column, const QString &text) const
    {
        const QModelIndex index = model()->index(row, column);
        view->setCurrentIndex(index);
        view->edit(index);
        QLineEdit *editor = nullptr;
        for (QLineEdit *line : view->viewport()->findChildren<QLineEdit *>()) {
            if (line->isVisible())
                editor = line;
        }
        QVERIFY2(editor, qPrintable(QStringLiteral("cell %1,%2 opens no editor").arg(row).arg(column)));
        // As an input method commits Chinese text: keys cannot type it.
        editor->selectAll();
        editor->insert(text);
        const QPointer<QLineEdit> open(editor);
        QTest::keyClick(editor, Qt::Key_Return);
        // The table takes the text once the editor closed, a turn of the event loop later.
        QTRY_VERIFY(open.isNull() || !open->isVisible());
    }
};

// A PDF queue of this test's own, which the test may refuse and stop without
// disturbing anyone else's printing; removed with its jobs at the end.
class TestQueue
{
public:
    TestQueue() : name(QStringLiteral("Quillbox-BatchTest-%1").arg(QCoreApplication::applicationPid())) {}
    ~TestQueue()
    {
        if (created)
            run("lpadmin", {"-x", name});
    }
    // Why the queue cannot be made, or empty.
    QString create()
    {
        const QString ppd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
        if (findTool("lpadmin").isEmpty() || !QFile::exists(ppd))
            return "lpadmin and cups-pdf are needed for a queue of the test's own (scripts/printer.sh)";
        QString error;
        created = run("lpadmin", {"-p", name, "-v", "cups-pdf:/", "-E", "-P", ppd}, &error);
        return created ? QString() : "lpadmin: " + error;
    }

    const QString name;
    bool created = false;
};

} // namespace

class BatchTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void refusedSinglePrint_data();
    void refusedSinglePrint();
    void batchStoppedAndContinued();
    void batchKilledGoesOn();
    void printInChild();
    void dayWithSpoiledPagesAndAKill();
    void spoiledDayInChild();
    void dayInTheWindow();
    void pairsAndCorrectionsInTheWindow();
    void batchesKept();
    void settledByTitle();
    void choiceFollowsItsRow();
    void batchOfEarlierVersionTakenUp();
    void parcelsPackedAndTakenApart();
    void parcelsInTheWindow();
    void numberInTheJournalWindow();
    void rowWarnings();
    void barcodesOnBatchPages();
    void batchOnUserForm_data();
    void batchOnUserForm();
    void pageAsQtSendsIt_data();
    void pageAsQtSendsIt();
    void cleanupTestCase();

private:
    // The batch window on the program's folder, its file dialogs answering
    // orderFile and shippingFile; the address parser is the one of the test.
    std::unique_ptr<frmBatch> openWindow(Program &program, const QString &orderFile = QString(),
                                         const QString &shippingFile = QString(),
                                         frmBatch::PackingTools tools = {});

    TestQueue m_queue;
    RegionTable m_regions;
    std::unique_ptr<AddressParser> m_parser;
};

void BatchTest::initTestCase()
{
    // A child process prints on its parent's queue, which PRINTER names.
    if (inCaseProcess())
        return;
    const QString why = m_queue.create();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    // Every job of this test goes to its own queue; the machine's default stays.
    qputenv("PRINTER", m_queue.name.toUtf8());
    QCOMPARE(QPrinterInfo::defaultPrinterName(), m_queue.name);
}

std::unique_ptr<frmBatch> BatchTest::openWindow(Program &program, const QString &orderFile,
                                                const QString &shippingFile, frmBatch::PackingTools tools)
{
    if (!m_parser) {
        m_regions.load();
        m_parser = std::make_unique<AddressParser>(m_regions);
    }
    return std::make_unique<frmBatch>(
        program.platform, program.journal, [this]() -> const AddressParser & { return *m_parser; },
        [orderFile](QWidget *, const QString &, const QString &) { return orderFile; },
        [shippingFile](QWidget *, const QString &, const QString &, const QString &) { return shippingFile; },
        std::move(tools));
}

void BatchTest::cleanupTestCase()
{
    if (!inCaseProcess())
        qunsetenv("PRINTER");
}

void BatchTest::refusedSinglePrint_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("顺丰") << "cmdSF";
    QTest::newRow("韵达") << "cmdYD";
}

void BatchTest::refusedSinglePrint()
{
    QFETCH(QString, button);
    MainWindow w;
    QVERIFY(w.start());
    w.setFields({"txtSent", "txtName", "txtSentTo", "txtNameTo", "txtTelTo"},
                {"某公司", "张三", "收件公司", "李四", "13812345678"});
    w.show();
    PrintJournal journal(*w.platform);

    QVERIFY(run("cupsreject", {"-r", "纸用完了", m_queue.name}));
    const auto refused = [&](QDialog &form) {
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.findChild<QPushButton *>("Command1"), Qt::LeftButton);
        QCOMPARE(w.dialogs.messages.size(), 1);
        const ScriptedDialogs::Message message = w.dialogs.messages[0];
        QCOMPARE(message.flags, 48);
        QCOMPARE(message.title, QStringLiteral("打印失败"));
        QVERIFY2(message.text.contains(m_queue.name) && message.text.contains("没有打印") &&
                     message.text.contains("accepting"),
                 qPrintable(message.text));
        QVERIFY(form.isVisible());
        QVERIFY(form.findChild<QPushButton *>("Command1")->isVisible());
    };
    QCOMPARE(runModal([&] { w.button(button)->click(); }, refused).size(), 1);
    QVERIFY(journal.entries().isEmpty());

    // Taken again, the same print goes through and is written down.
    QVERIFY(run("cupsaccept", {m_queue.name}));
    const auto taken = [&](QDialog &form) {
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.findChild<QPushButton *>("Command1"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
    };
    QCOMPARE(runModal([&] { w.button(button)->click(); }, taken).size(), 1);
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(journal.entries().size(), 1);

    // The page printed is the queue's newest job; it goes once written.
    const QStringList jobs =
        output("lpstat", {"-W", "all", "-o", m_queue.name}).split('\n', Qt::SkipEmptyParts);
    QVERIFY(!jobs.isEmpty());
    QFile::remove(jobFile(jobs.last().section(' ', 0, 0).section('-', -1).toInt()));
}

void BatchTest::batchStoppedAndContinued()
{
    Program program;
    PrintBatch batch = batchOf(20);
    BatchPrinter printer(batch, program.platform, program.journal);
    printer.setPollInterval(50);
    QSignalSpy paused(&printer, &BatchPrinter::paused);
    QSignalSpy finished(&printer, &BatchPrinter::finished);
    const int jobsBefore = jobsOn(m_queue.name);

    // The queue stops once the seventh waybill is out.
    connect(&printer, &BatchPrinter::rowPrinted, this, [&](int row) {
        if (row == 6)
            QVERIFY(run("cupsdisable", {m_queue.name}));
    });
    printer.start();
    QTRY_COMPARE_WITH_TIMEOUT(paused.size(), 1, 120000);
    run("cupsenable", {m_queue.name});
    QCOMPARE(paused[0][0].toInt(), 7);
    QVERIFY2(paused[0][1].toString().contains("已停止"), qPrintable(paused[0][1].toString()));
    QCOMPARE(batch.printedCount(), 7);
    QCOMPARE(batch.firstNotPrinted(), 7);
    // Its job waits in the stopped queue, to be followed, not sent again.
    QCOMPARE(batch.rows[7].state, BatchRow::State::Sent);
    QCOMPARE(program.journal.entries().size(), 7);

    // 继续 goes on from the eighth.
    printer.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 180000);
    QCOMPARE(paused.size(), 1);
    QCOMPARE(batch.printedCount(), 20);
    QCOMPARE(jobsOn(m_queue.name) - jobsBefore, 20);
    const QList<PrintJournal::Entry> entries = program.journal.entries();
    QCOMPARE(entries.size(), 20);
    QCOMPARE(entries.first().orderNumber, QStringLiteral("DD20"));

    // Every waybill its own page, with its own recipient on it: of the twenty
    // recipients painted here, the page's ink is nearest its own.
    constexpr int dpi = 100;
    const Waybill::Description &sf = *PrintBatch::description("SF");
    const QRect recipient =
        QRectF(QPointF(1080, 3960) * dpi / 1440, QPointF(5100, 5500) * dpi / 1440).toRect();
    QList<QImage> pages;
    QImage firstPage;
    for (int i = 0; i < 20; ++i) {
        const QString file = jobFile(batch.rows[i].jobId);
        QVERIFY2(!file.isEmpty(), qPrintable(QString::number(batch.rows[i].jobId)));
        QVERIFY(output("pdfinfo", {file}).contains(QRegularExpression("Pages:\\s+1\\n")));
        pages.append(rasterise(file, dpi));
        QVERIFY(!pages.last().isNull());
        if (i == 0)
            firstPage = pages.first();
        QFile::remove(file);
    }
    QList<QImage> painted;
    for (int i = 0; i < 20; ++i) {
        QImage image(pages.first().size(), QImage::Format_Grayscale8);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.scale(dpi / 96.0, dpi / 96.0);
        Waybill::Sheet(sf, [&](QStringView key) { return batch.value(i, key); }).paint(painter);
        painter.end();
        painted.append(image);
    }
    // Compared blurred, as the rasteriser draws strokes a little apart from Qt.
    const auto blurred = [&](const QImage &image) {
        return image.copy(recipient).scaled(recipient.size() / 4, Qt::IgnoreAspectRatio,
                                            Qt::SmoothTransformation);
    };
    const auto difference = [&](const QImage &a, const QImage &b) {
        int differing = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x)
                differing += qAbs(a.constScanLine(y)[x] - b.constScanLine(y)[x]);
        }
        return differing;
    };
    for (QImage &image : pages)
        image = blurred(image);
    for (QImage &image : painted)
        image = blurred(image);
    for (int i = 0; i < 20; ++i) {
        QList<int> differences;
        for (const QImage &image : painted)
            differences.append(difference(pages[i], image));
        const auto nearest =
            std::min_element(differences.cbegin(), differences.cend()) - differences.cbegin();
        QVERIFY2(nearest == i,
                 qPrintable(QStringLiteral("page %1 looks like recipient %2").arg(i + 1).arg(nearest + 1)));
    }

    // The ink of the first page where the window puts each field, and nowhere else.
    const QImage page = firstPage;
    frmSF window(program.platform, [&](QStringView key) { return batch.value(0, key); });
    QList<QRect> boxes;
    for (const Waybill::FieldLabel *label : window.findChildren<Waybill::FieldLabel *>()) {
        const QRectF r = label->geometry();
        const double scale = double(dpi) / 96;
        // Half a millimetre either way for the rasteriser.
        const int slack = qRound(0.5 * dpi / 25.4);
        boxes.append(QRectF(r.x() * scale, r.y() * scale, r.width() * scale, r.height() * scale)
                         .toAlignedRect()
                         .adjusted(-slack, -slack, slack, slack));
    }
    int inBoxes = 0, outside = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (page.constScanLine(y)[x] >= 128)
                continue;
            const bool inBox =
                std::any_of(boxes.cbegin(), boxes.cend(), [&](const QRect &b) { return b.contains(x, y); });
            ++(inBox ? inBoxes : outside);
        }
    }
    QVERIFY(inBoxes > 200);
    QCOMPARE(outside, 0);
}

void BatchTest::batchKilledGoesOn()
{
    Program program;
    PrintBatch batch = batchOf(20);
    const BatchStore store(program.platform);
    QVERIFY(store.save(batch));
    const int jobsBefore = jobsOn(m_queue.name);

    // The batch prints in a child process, killed while its twelfth waybill is in the queue.
    QProcess child;
    startCaseInChild(child, "printInChild", program.folder.root);
    QVERIFY(child.waitForStarted());
    const auto twelfthSent = [&] {
        const std::optional<PrintBatch> saved = store.load();
        return saved && saved->rows[11].state == BatchRow::State::Sent;
    };
    QTRY_VERIFY_WITH_TIMEOUT(twelfthSent() || child.state() == QProcess::NotRunning, 120000);
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY2(child.waitForFinished(), qPrintable(QString::fromLocal8Bit(child.readAll())));
    QVERIFY2(twelfthSent(), qPrintable(QString::fromLocal8Bit(child.readAll())));

    // Opened again: the twelfth is done once its job is, and the batch goes on from the thirteenth.
    std::optional<PrintBatch> reopened = store.load();
    QVERIFY(reopened);
    QCOMPARE(reopened->printedCount(), 11);
    const int twelfthJob = reopened->rows[11].jobId;
    QTRY_VERIFY_WITH_TIMEOUT(
        program.platform.printQueue().jobStatus(twelfthJob).state == PrintQueue::JobState::Completed, 60000);
    BatchPrinter printer(*reopened, program.platform, program.journal);
    printer.settle();
    QCOMPARE(reopened->firstNotPrinted(), 12);
    QCOMPARE(program.journal.entries().size(), 12);

    QSignalSpy finished(&printer, &BatchPrinter::finished);
    printer.setPollInterval(50);
    printer.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 180000);
    QCOMPARE(reopened->printedCount(), 20);
    QCOMPARE(jobsOn(m_queue.name) - jobsBefore, 20);
    QCOMPARE(program.journal.entries().size(), 20);
    for (const BatchRow &row : reopened->rows)
        QFile::remove(jobFile(row.jobId));
}

// Not a test of its own: the child process of batchKilledGoesOn.
void BatchTest::printInChild()
{
    if (!inCaseProcess())
        QSKIP("runs only as the child of batchKilledGoesOn");
    Program program(qEnvironmentVariable("QUILLBOX_BATCH_FOLDER"));
    std::optional<PrintBatch> batch = BatchStore(program.platform).load();
    QVERIFY(batch);
    BatchPrinter printer(*batch, program.platform, program.journal);
    QSignalSpy finished(&printer, &BatchPrinter::finished);
    printer.setPollInterval(50);
    printer.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 120000);
}

// A day as a shop has it: the trial page rejected, a sheet jammed and printed
// again, the program killed the moment CUPS took a job, and the numbers scanned
// from the stack of pages. Every row prints once (twice where its page was
// spoiled), and every number lands on its own order.
void BatchTest::dayWithSpoiledPagesAndAKill()
{
    Program program;
    PrintBatch batch = batchOf(20);
    const BatchStore store(program.platform);
    QVERIFY(store.save(batch));
    const int jobsBefore = jobsOn(m_queue.name);

    // The trial and the first rows print in a child, killed right after CUPS
    // took the fifth row's job and before the batch could say so.
    QProcess child;
    startCaseInChild(child, "spoiledDayInChild", program.folder.root);
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForFinished(180000));
    QVERIFY2(child.exitStatus() == QProcess::CrashExit, qPrintable(QString::fromLocal8Bit(child.readAll())));

    std::optional<PrintBatch> reopened = store.load();
    QVERIFY(reopened);
    QCOMPARE(reopened->rows[4].state, BatchRow::State::Sending);
    BatchPrinter printer(*reopened, program.platform, program.journal);
    printer.setPollInterval(50);
    // Settled by what CUPS says of the job titled for it: printed, not printed again.
    QTRY_VERIFY_WITH_TIMEOUT((printer.settle(), reopened->rows[4].state == BatchRow::State::Printed), 60000);
    QCOMPARE(reopened->firstNotPrinted(), 5);
    QCOMPARE(program.journal.entries().size(), 6); // the rejected trial's page among them

    // The third sheet jammed: spoiled and printed again with the rest.
    QVERIFY(printer.reprint(2, "卡纸", BatchPrinter::Reprint::Anywhere));
    QSignalSpy finished(&printer, &BatchPrinter::finished);
    printer.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 180000);
    QCOMPARE(reopened->printedCount(), 20);
    QCOMPARE(jobsOn(m_queue.name) - jobsBefore, 22);
    const QList<PrintJournal::Entry> entries = program.journal.entries();
    QCOMPARE(entries.size(), 22);
    QStringList spoiled;
    for (const PrintJournal::Entry &entry : entries) {
        if (entry.isSpoiled())
            spoiled.append(entry.orderNumber + ":" + entry.spoiled);
    }
    spoiled.sort();
    QCOMPARE(spoiled, QStringList({"DD1:试打位置不对", "DD3:卡纸"}));

    // The stack of good pages, in the order CUPS printed them.
    QList<int> stack;
    for (int i = 0; i < 20; ++i)
        stack.append(i);
    std::sort(stack.begin(), stack.end(),
              [&](int a, int b) { return reopened->rows[a].jobId < reopened->rows[b].jobId; });
    QCOMPARE(stack.mid(0, 5), QList<int>({0, 1, 3, 4, 2}));
    const auto numberFor = [](int row) {
        return QStringLiteral("SF10000000%1").arg(row + 1, 4, 10, QChar('0'));
    };
    BatchNumbers numbers(*reopened, program.journal, store,
                         [&]() -> const PageSource & { return printer.pages(); });
    // One page picked out of the stack by its order number first, and the sheet
    // printed again after the jam (put back anywhere) by its own; the rest
    // scanned in the order they came out.
    QCOMPARE(numbers.take("DD11").kind, BatchNumbers::Outcome::Chosen);
    QCOMPARE(numbers.take(numberFor(10)).row, 10);
    for (const int row : std::as_const(stack)) {
        if (row == 10 || row == 2)
            continue;
        const BatchNumbers::Outcome given = numbers.take(numberFor(row));
        QVERIFY2(given.kind == BatchNumbers::Outcome::Given && given.row == row, qPrintable(given.message));
    }
    QCOMPARE(numbers.take("DD3").kind, BatchNumbers::Outcome::Chosen);
    QCOMPARE(numbers.take(numberFor(2)).row, 2);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(reopened->rows[i].waybillNumber, numberFor(i));
        const QList<PrintJournal::Entry> numbered = program.journal.withWaybillNumber(numberFor(i));
        QCOMPARE(numbered.size(), 1);
        QCOMPARE(numbered[0].orderNumber, reopened->rows[i].orderNumber);
    }
    // And the batch read back from its file says the same.
    const std::optional<PrintBatch> again = store.load(reopened->fileName);
    QVERIFY(again);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(again->rows[i].waybillNumber, numberFor(i));
    for (const BatchRow &row : reopened->rows)
        QFile::remove(jobFile(row.jobId));
}

// Not a test of its own: the child process of dayWithSpoiledPagesAndAKill.
void BatchTest::spoiledDayInChild()
{
    if (!inCaseProcess())
        QSKIP("runs only as the child of dayWithSpoiledPagesAndAKill");
    Program program(qEnvironmentVariable("QUILLBOX_BATCH_FOLDER"));
    std::optional<PrintBatch> batch = BatchStore(program.platform).load();
    QVERIFY(batch);
    BatchPrinter printer(*batch, program.platform, program.journal);
    printer.setPollInterval(50);
    QSignalSpy paused(&printer, &BatchPrinter::paused);
    connect(&printer, &BatchPrinter::handedToQueue, this, [](int row) {
        if (row == 4)
            ::kill(::getpid(), SIGKILL);
    });
    // The trial, rejected: its page spoiled, the same row printed again.
    printer.start(1);
    QTRY_COMPARE_WITH_TIMEOUT(paused.size(), 1, 60000);
    QVERIFY(printer.reprint(0, "试打位置不对", BatchPrinter::Reprint::Next));
    printer.start(1);
    QTRY_COMPARE_WITH_TIMEOUT(paused.size(), 2, 60000);
    QCOMPARE(batch->firstNotPrinted(), 1);
    QSignalSpy finished(&printer, &BatchPrinter::finished);
    printer.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 120000);
    QFAIL("the batch was to be killed at its fifth row");
}

// The day's loop in the window: an order file in, a trial print and the rest,
// the numbers scanned, the shipping file out.
void BatchTest::dayInTheWindow()
{
    Program program;
    QTemporaryDir dir;
    QFile orders(dir.path() + "/orders.csv");
    QVERIFY(orders.open(QIODevice::WriteOnly));
    orders.write("订单编号,收货人,手机,收货地址\r\n"
                 "T1001,赵一,13800000001,北京市朝阳区建国路88号\r\n"
                 "T1002,钱二,13800000002,上海市浦东新区世纪大道100号\r\n"
                 "T1003,孙三,13800000003,广东省深圳市南山区科技园路1号\r\n");
    orders.close();
    const QString shipping = dir.path() + "/发货单.csv";
    const std::unique_ptr<frmBatch> window = openWindow(program, orders.fileName(), shipping);
    frmBatch &form = *window;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const auto control = [&](const QString &name) { return controlNamed(form, name); };

    QTest::mouseClick(control("打开订单…"), Qt::LeftButton);
    Grid rows{qobject_cast<QTableView *>(control("运单"))};
    QCOMPARE(rows.rowCount(), 3);
    QCOMPARE(form.batch().rows[1].value(u"txtNameTo"), QStringLiteral("钱二"));

    // The trial prints one and asks; yes prints the rest, nothing asked row by row.
    program.dialogs.answers = {Dialogs::Yes};
    QTest::mouseClick(control("试打第一张"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(form.batch().printedCount(), 3, 60000);
    QCOMPARE(program.dialogs.messages.size(), 1);
    QCOMPARE(program.dialogs.messages[0].text, QStringLiteral("位置对吗？"));
    QCOMPARE(rows.text(2, 0), QStringLiteral("已打印"));

    // Numbers as a scanner types them: to the printed rows in order; a number
    // not of the courier's form, or given already, is refused with the reason.
    auto *number = qobject_cast<QLineEdit *>(control("录入运单号"));
    auto *where = qobject_cast<QLabel *>(control("运单号去向"));
    const auto scan = [&](const QString &text) {
        QTest::keyClicks(number, text);
        QTest::keyClick(number, Qt::Key_Return);
        return where->text();
    };
    QVERIFY2(scan("SF100000000001").contains("第 1 张"), qPrintable(where->text()));
    QVERIFY2(scan("YD123").contains("不像顺丰运单号"), qPrintable(where->text()));
    QVERIFY2(scan("SF100000000001").contains("已给了第 1 张"), qPrintable(where->text()));
    QVERIFY2(scan("sf100000000002").contains("第 2 张"), qPrintable(where->text()));
    QCOMPARE(form.batch().rows[1].waybillNumber, QStringLiteral("SF100000000002"));
    QCOMPARE(form.batch().rows[2].waybillNumber, QString());
    const QList<PrintJournal::Entry> numbered = program.journal.withWaybillNumber(u"SF100000000002");
    QCOMPARE(numbered.size(), 1);
    QCOMPARE(numbered[0].orderNumber, QStringLiteral("T1002"));

    QTest::mouseClick(control("导出发货单"), Qt::LeftButton);
    QFile file(shipping);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QVERIFY(written.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(written.mid(3)), QStringLiteral("订单编号,快递公司,运单号\r\n"
                                                               "T1001,顺丰速运,SF100000000001\r\n"
                                                               "T1002,顺丰速运,SF100000000002\r\n"));

    // A reprint from the journal: the entry's recipient and order again, not printed yet.
    program.dialogs.inputs = {"钱二"};
    QTest::mouseClick(control("从打印记录…"), Qt::LeftButton);
    QCOMPARE(rows.rowCount(), 4);
    QCOMPARE(form.batch().rows[3].value(u"txtNameTo"), QStringLiteral("钱二"));
    QCOMPARE(form.batch().rows[3].value(u"txtTelTo"), QStringLiteral("13800000002"));
    QCOMPARE(form.batch().rows[3].orderNumber, QStringLiteral("T1002"));
    QCOMPARE(form.batch().firstNotPrinted(), 3);

    // The rows saved as recipients into a group in one step, and taken back from
    // it with one of them unticked.
    program.dialogs.inputs = {"老客户"};
    QTest::mouseClick(control("保存到分组"), Qt::LeftButton);
    auto *group = qobject_cast<QComboBox *>(control("收件人分类"));
    group->setCurrentIndex(group->findText("老客户"));
    QVERIFY(group->currentIndex() >= 0);
    QString unticked;
    const auto untickFirst = [&](QDialog &dialog) {
        auto *list = dialog.findChild<QListWidget *>("lstRecipients");
        QCOMPARE(list->count(), 3);
        unticked = list->item(0)->text();
        list->item(0)->setCheckState(Qt::Unchecked);
        dialog.accept();
    };
    QCOMPARE(
        runModal([&] { QTest::mouseClick(control("加入分组的收件人"), Qt::LeftButton); }, untickFirst).size(),
        1);
    QCOMPARE(rows.rowCount(), 6);
    for (int i = 4; i < 6; ++i) {
        const BatchRow &row = form.batch().rows[i];
        QVERIFY(!unticked.endsWith(row.value(u"txtNameTo")));
        QVERIFY(QStringList({"赵一", "钱二", "孙三"}).contains(row.value(u"txtNameTo")));
        QVERIFY(!row.value(u"txtAddTo").isEmpty());
    }

    for (const BatchRow &row : form.batch().rows) {
        if (row.jobId)
            QFile::remove(jobFile(row.jobId));
    }
}

// In the window: a rejected trial page is spoiled and its row printed again;
// numbers go to the order scanned before them; a refused number stays to be
// replaced; a number is corrected in its cell and cleared; an unsure cell is
// yellow until corrected.
void BatchTest::pairsAndCorrectionsInTheWindow()
{
    Program program;
    QTemporaryDir dir;
    QFile orders(dir.path() + "/orders.csv");
    QVERIFY(orders.open(QIODevice::WriteOnly));
    orders.write("订单编号,收货人,手机,收货地址\r\n"
                 "3348811001,赵一,13800000001,北京市朝阳区建国路88号\r\n"
                 "3348811002,钱二,13800000002,上海市浦东新区世纪大道100号\r\n"
                 "3348811003,马超,13800000003,鼓楼区中山路1号\r\n"
                 "3348811004,,13800000004,北京市朝阳区建国路1号\r\n");
    orders.close();
    const QString shipping = dir.path() + "/发货单.csv";
    auto form = openWindow(program, orders.fileName(), shipping);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const auto control = [&](const QString &name) { return controlNamed(*form, name); };
    QTest::mouseClick(control("打开订单…"), Qt::LeftButton);
    Grid rows{qobject_cast<QTableView *>(control("运单"))};
    QCOMPARE(rows.rowCount(), 4);
    // The district found in several cities is yellow, and no more once corrected;
    // so is a missing name, under the window's own caption.
    const QColor yellow(255, 235, 160);
    QCOMPARE(rows.brush(3, 3).color(), yellow);
    QVERIFY2(rows.text(3, 10).contains("收件人"), qPrintable(rows.text(3, 10)));
    rows.type(3, 3, "孙四");
    QCOMPARE(rows.text(3, 3), QStringLiteral("孙四"));
    QVERIFY(rows.brush(3, 3).style() == Qt::NoBrush);
    QVERIFY2(!rows.text(3, 10).contains("收件人"), qPrintable(rows.text(3, 10)));
    const int district = 2 + 4;
    QCOMPARE(rows.brush(2, district).color(), yellow);
    rows.type(2, 4, "江苏省");
    rows.type(2, 5, "南京市");
    rows.type(2, district, "玄武区");
    QVERIFY(rows.brush(2, district).style() == Qt::NoBrush);
    QVERIFY2(!rows.text(2, 10).contains("区/县"), qPrintable(rows.text(2, 10)));

    // 否 to the trial: its page is spoiled, and the next trial prints the same row.
    const int jobsBefore = jobsOn(m_queue.name);
    program.dialogs.answers = {Dialogs::No};
    QTest::mouseClick(control("试打第一张"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(program.dialogs.messages.size(), 1, 60000);
    QCOMPARE(form->batch().rows[0].state, BatchRow::State::Waiting);
    QCOMPARE(rows.text(0, 0), QStringLiteral("未打印"));
    QList<PrintJournal::Entry> entries = program.journal.entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].spoiled, QStringLiteral("试打位置不对"));
    program.dialogs.answers = {Dialogs::Yes};
    QTest::mouseClick(control("试打第一张"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(form->batch().printedCount(), 4, 60000);
    QCOMPARE(jobsOn(m_queue.name) - jobsBefore, 5);
    QCOMPARE(program.journal.entries().size(), 5);

    auto *number = qobject_cast<QLineEdit *>(control("录入运单号"));
    auto *where = qobject_cast<QLabel *>(control("运单号去向"));
    const auto scan = [&](const QString &text) {
        number->clear();
        QTest::keyClicks(number, text);
        QTest::keyClick(number, Qt::Key_Return);
        return where->text();
    };
    // An order number chooses its row, and the next number goes there.
    QCOMPARE(scan("3348811003"), QStringLiteral("订单 3348811003（马超）→ 请扫运单号"));
    QVERIFY2(scan("SF100000000003").contains("第 3 张"), qPrintable(where->text()));
    QCOMPARE(form->batch().rows[2].waybillNumber, QStringLiteral("SF100000000003"));
    // A refused number stays, selected, for the next scan to replace.
    QVERIFY2(scan("YD123").contains("不像顺丰运单号"), qPrintable(where->text()));
    QCOMPARE(number->text(), QStringLiteral("YD123"));
    QCOMPARE(number->selectedText(), QStringLiteral("YD123"));
    QTest::keyClicks(number, "SF100000000001");
    QTest::keyClick(number, Qt::Key_Return);
    QVERIFY2(where->text().contains("第 1 张"), qPrintable(where->text()));
    QCOMPARE(form->batch().rows[0].waybillNumber, QStringLiteral("SF100000000001"));
    // A sheet's number chooses it too.
    QVERIFY2(scan("2").contains("（钱二）→ 请扫运单号"), qPrintable(where->text()));
    QVERIFY2(scan("SF100000000002").contains("第 2 张"), qPrintable(where->text()));

    // Corrected in its cell, checked as a scan is, and the journal follows.
    QVERIFY(rows.editable(0, 11));
    rows.type(0, 11, "SF100000000002");
    QCOMPARE(form->batch().rows[0].waybillNumber, QStringLiteral("SF100000000001"));
    QCOMPARE(rows.text(0, 11), QStringLiteral("SF100000000001"));
    rows.type(0, 11, "sf100000000009");
    QCOMPARE(form->batch().rows[0].waybillNumber, QStringLiteral("SF100000000009"));
    QCOMPARE(program.journal.withWaybillNumber(u"SF100000000009").value(0).orderNumber,
             QStringLiteral("3348811001"));
    QVERIFY(program.journal.withWaybillNumber(u"SF100000000001").isEmpty());
    // 清除运单号 on the second row: gone from the batch and the journal.
    rows.view->selectRow(1);
    QTest::mouseClick(control("清除运单号"), Qt::LeftButton);
    QCOMPARE(form->batch().rows[1].waybillNumber, QString());
    QVERIFY(program.journal.withWaybillNumber(u"SF100000000002").isEmpty());

    QTest::mouseClick(control("导出发货单"), Qt::LeftButton);
    QFile file(shipping);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll().mid(3)),
             QStringLiteral("订单编号,快递公司,运单号\r\n"
                            "3348811001,顺丰速运,SF100000000009\r\n"
                            "3348811003,顺丰速运,SF100000000003\r\n"));
    file.close();

    // Closed and opened again: the same batch, numbers and all, to go on with.
    form.reset();
    form = openWindow(program, orders.fileName(), shipping);
    form->offerSavedBatch();
    QCOMPARE(form->batch().rows.size(), 4);
    QCOMPARE(form->batch().rows[2].waybillNumber, QStringLiteral("SF100000000003"));
    QVERIFY(form->batch().rows[2].exported);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    number = qobject_cast<QLineEdit *>(control("录入运单号"));
    where = qobject_cast<QLabel *>(control("运单号去向"));
    QVERIFY2(scan("SF100000000002").contains("第 2 张"), qPrintable(where->text()));
    for (const BatchRow &row : form->batch().rows)
        QFile::remove(jobFile(row.jobId));
}

// Every batch stays in the history until the user deletes it: one left
// unfinished and not taken up, one damaged, one deleted to the trash.
void BatchTest::batchesKept()
{
    Program program;
    const BatchStore store(program.platform);
    PrintBatch first = batchOf(3);
    first.created = "2026-12-01 09:00:00";
    first.rows[0].state = BatchRow::State::Printed;
    first.rows[0].waybillNumber = "SF100000000001";
    QVERIFY(store.save(first));
    PrintBatch second = batchOf(2);
    second.created = "2026-12-02 09:00:00";
    QVERIFY(store.save(second));
    // A row changed is appended, and a line cut short by a crash is a change that never happened.
    second.rows[1].waybillNumber = "SF100000000002";
    QVERIFY(store.saveRow(second, 1));
    QFile cut(store.folder() + "/" + second.fileName);
    QVERIFY(cut.open(QIODevice::Append));
    cut.write("{\"row\": {\"id\": \"");
    cut.close();
    std::optional<PrintBatch> read = store.load(second.fileName);
    QVERIFY(read);
    QCOMPARE(read->rows[1].waybillNumber, QStringLiteral("SF100000000002"));

    // 否 to going on keeps the batch, printed rows and numbers and all.
    const auto window = [&] { return openWindow(program); };
    auto form = window();
    program.dialogs.answers = {Dialogs::No};
    QVERIFY(!form->offerSavedBatch());
    QVERIFY(form->batch().rows.isEmpty());
    QList<BatchStore::Summary> all = store.list();
    QCOMPARE(all.size(), 2);
    QCOMPARE(all[1].created, QStringLiteral("2026-12-01 09:00:00"));
    QCOMPARE(all[1].printed, 1);
    QCOMPARE(all[1].numbered, 1);
    // Not offered again: the next window offers the older one, and then none.
    const qsizetype asked = program.dialogs.messages.size();
    program.dialogs.answers = {Dialogs::No};
    QVERIFY(!window()->offerSavedBatch());
    QCOMPARE(program.dialogs.messages.size(), asked + 1);
    QVERIFY2(program.dialogs.messages.last().text.contains("共 3 张"),
             qPrintable(program.dialogs.messages.last().text));
    QVERIFY(!window()->offerSavedBatch());
    QCOMPARE(program.dialogs.messages.size(), asked + 1);

    // A damaged file is put aside and named, never silently replaced.
    QFile damaged(store.folder() + "/" + first.fileName);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("{ not a batch");
    damaged.close();
    QStringList problems;
    all = store.list(&problems);
    QCOMPARE(all.size(), 1);
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems[0].contains("已损坏"), qPrintable(problems[0]));
    QVERIFY(QFile::exists(store.folder() + "/" + first.fileName + ".damaged"));

    // 历史批次… opens one, and 删除批次 sends one to the trash.
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const QStringList opened = runModal([&] { form->findChild<QPushButton *>("cmdHistory")->click(); },
                                        [&](QDialog &dialog) {
                                            auto *list = dialog.findChild<QTableWidget *>("grdBatches");
                                            QCOMPARE(list->rowCount(), 1);
                                            list->selectRow(0);
                                            dialog.findChild<QPushButton *>("cmdOpenBatch")->click();
                                        });
    QCOMPARE(opened.size(), 1);
    QCOMPARE(form->batch().id, second.id);
    program.dialogs.answers = {Dialogs::Yes};
    runModal([&] { form->findChild<QPushButton *>("cmdHistory")->click(); },
             [&](QDialog &dialog) {
                 auto *list = dialog.findChild<QTableWidget *>("grdBatches");
                 list->selectRow(0);
                 dialog.findChild<QPushButton *>("cmdDeleteBatch")->click();
                 QCOMPARE(list->rowCount(), 0);
             });
    QVERIFY(store.list().isEmpty());
    QVERIFY(form->batch().rows.isEmpty());
}

// Reopened after a crash in the middle of handing rows to CUPS: a row CUPS
// took is found by its job's title and printed, one it never got is not, and
// a journal that cannot be written is said, not dropped.
void BatchTest::settledByTitle()
{
    Program program;
    PrintBatch batch = batchOf(2);
    for (int i = 0; i < 2; ++i) {
        batch.rows[i].state = BatchRow::State::Sending;
        batch.rows[i].attempts = 1;
        batch.rows[i].jobTitle = batch.jobTitleFor(i, "顺丰快递");
    }
    QVERIFY(BatchStore(program.platform).save(batch));
    QTemporaryDir dir;
    const QString page = dir.path() + "/page.pdf";
    {
        QPdfWriter writer(page);
        QPainter painter(&writer);
        painter.drawText(100, 100, "1");
    }
    const PrintQueue::Job job =
        program.platform.printQueue().submit(m_queue.name, page, batch.rows[0].jobTitle);
    QVERIFY2(job.id > 0, qPrintable(job.reason));
    QTRY_VERIFY_WITH_TIMEOUT(
        program.platform.printQueue().jobStatus(job.id).state == PrintQueue::JobState::Completed, 60000);
    // The journal cannot be written: a folder stands where its file would.
    QVERIFY(QDir(program.folder.root).mkdir("journal.csv"));

    const std::unique_ptr<frmBatch> opened = openWindow(program);
    frmBatch &form = *opened;
    program.dialogs.answers = {Dialogs::Ok, Dialogs::Yes};
    QVERIFY(form.offerSavedBatch());
    QCOMPARE(form.batch().rows[0].state, BatchRow::State::Printed);
    QCOMPARE(form.batch().rows[0].jobId, job.id);
    QCOMPARE(form.batch().rows[1].state, BatchRow::State::Waiting);
    QVERIFY(!program.dialogs.messages.isEmpty());
    QVERIFY2(program.dialogs.messages[0].text.contains("打印记录未能保存"),
             qPrintable(program.dialogs.messages[0].text));
    QFile::remove(jobFile(job.id));
}

// The order scanned chooses its row by id: a row removed above it meanwhile
// does not send the next number to its neighbour.
void BatchTest::choiceFollowsItsRow()
{
    Program program;
    PrintBatch batch = batchOf(3);
    for (BatchRow &row : batch.rows)
        row.state = BatchRow::State::Printed;
    const BatchStore store(program.platform);
    QVERIFY(store.save(batch));
    BatchPrinter printer(batch, program.platform, program.journal);
    BatchNumbers numbers(batch, program.journal, store,
                         [&]() -> const PageSource & { return printer.pages(); });
    QCOMPARE(numbers.take("DD2").kind, BatchNumbers::Outcome::Chosen);
    batch.rows.removeFirst(); // 删除所选行 on the first
    const BatchNumbers::Outcome given = numbers.take("SF100000000002");
    QCOMPARE(given.kind, BatchNumbers::Outcome::Given);
    QCOMPARE(batch.rows[given.row].orderNumber, QStringLiteral("DD2"));
    QCOMPARE(batch.rows[1].waybillNumber, QString());
}

// A batch an earlier version left as batch.json, rows without ids, is taken
// up into the batches folder, not lost.
void BatchTest::batchOfEarlierVersionTakenUp()
{
    Program program;
    QFile old(program.folder.root + "/batch.json");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(R"({
    "form": "SF",
    "sender": ["某公司", "张三", "上海市", "上海市", "浦东新区", "世纪大道1号", "02112345678", "200000"],
    "rows": [
        {"recipient": ["赵一商行", "赵一", "北京市", "北京市", "朝阳区", "建国路88号", "13800000001", "100000"],
         "order": "DD1", "state": "printed", "waybill": "SF100000000001", "unsure": ["收货人"]},
        {"recipient": ["钱二商行", "钱二", "北京市", "北京市", "朝阳区", "建国路88号", "13800000002", "100000"],
         "order": "DD2", "state": "waiting"}
    ]
})");
    old.close();
    const BatchStore store(program.platform);
    const std::optional<PrintBatch> batch = store.load();
    QVERIFY(batch);
    QCOMPARE(batch->rows.size(), 2);
    QCOMPARE(batch->rows[0].waybillNumber, QStringLiteral("SF100000000001"));
    QCOMPARE(batch->rows[0].unsure, QStringList{"收件人"}); // named as the window heads it
    QVERIFY(!batch->rows[0].id.isEmpty() && batch->rows[0].id != batch->rows[1].id);
    QVERIFY(!old.exists());
    QCOMPARE(store.list().size(), 1);
    // Its rows keep the ids they were given.
    QCOMPARE(store.load(batch->fileName)->rows[1].id, batch->rows[1].id);
}

// A buyer's orders packed as one parcel and taken apart again, an order sent as
// several parcels, and what the shipping file says of them; all kept by the store.
void BatchTest::parcelsPackedAndTakenApart()
{
    PrintBatch batch = batchOf(6);
    // Rows 1 and 4 (DD1, DD4): one buyer, one address, the address written otherwise.
    batch.rows[3].recipient = batch.rows[0].recipient;
    batch.rows[3].recipient[5] = " 建国路 88 号 ";
    batch.rows[0].items = {{"保温杯", "红色", "C-01", 2}};
    batch.rows[0].note = "请用纸箱";
    batch.rows[3].items = {{"茶叶", "", "T-9", 1}};
    batch.rows[3].note = "周末送";
    // Row 5 (DD5): DD1's name and phone, another address: never proposed.
    batch.rows[4].recipient = batch.rows[0].recipient;
    batch.rows[4].recipient[5] = "建国路99号";
    // Rows 2 and 3 (DD2, DD3): one buyer too, but DD3 is printed already.
    batch.rows[2].recipient = batch.rows[1].recipient;
    batch.rows[2].state = BatchRow::State::Printed;
    const QString dd1 = batch.rows[0].id, dd4 = batch.rows[3].id;

    QList<BatchParcels::Proposal> proposals = BatchParcels::proposals(batch);
    QCOMPARE(proposals.size(), 1);
    QCOMPARE(proposals[0].rowIds, (QStringList{dd1, dd4}));
    QCOMPARE(proposals[0].reason, QStringLiteral("同一手机号和地址"));
    QString error;
    QCOMPARE(BatchParcels::merge(batch, {dd1, batch.rows[4].id}, &error), -1);
    QVERIFY2(error.contains("地址不同"), qPrintable(error));
    QCOMPARE(BatchParcels::merge(batch, proposals[0].rowIds, &error), 0);
    QCOMPARE(batch.rows.size(), 5);
    QCOMPARE(batch.rows[0].orderNumbers(), (QStringList{"DD1", "DD4"}));
    QCOMPARE(batch.rows[0].allItems().size(), 2);
    QCOMPARE(batch.rows[0].remarks(), (QStringList{"请用纸箱", "周末送"}));
    QVERIFY(BatchParcels::proposals(batch).isEmpty());

    // DD2 in three parcels, each its own waybill; then two, the third never printed.
    const int dd2 = 1;
    QCOMPARE(batch.rows[dd2].orderNumber, QStringLiteral("DD2"));
    QVERIFY(BatchParcels::setParcels(batch, dd2, 3, &error));
    QCOMPARE(batch.rows.size(), 7);
    QCOMPARE(batch.rows[dd2 + 2].parcelText(), QStringLiteral("3/3"));
    QCOMPARE(batch.value(dd2 + 1, u"parcel"), QStringLiteral("2/3"));
    QCOMPARE(BatchParcels::firstParcel(batch, dd2 + 2), dd2);
    batch.rows[dd2 + 1].state = BatchRow::State::Printed;
    QVERIFY(!BatchParcels::setParcels(batch, dd2 + 2, 1, &error));
    QVERIFY(BatchParcels::setParcels(batch, dd2 + 2, 2, &error));
    QCOMPARE(batch.rows.size(), 6);
    QCOMPARE(batch.rows[dd2].parcelText(), QStringLiteral("1/2"));
    QCOMPARE(batch.rows[dd2 + 1].parcelText(), QStringLiteral("2/2"));

    // One line per order and number: the merged parcel names both orders, each
    // parcel of DD2 its own number.
    batch.rows[0].waybillNumber = "SF100000000001";
    batch.rows[dd2].waybillNumber = "SF100000000002";
    batch.rows[dd2 + 1].waybillNumber = "SF100000000003";
    batch.rows[dd2 + 1].exported = true;
    QList<int> rows;
    int withoutOrder = 0, before = 0;
    QList<ShippingFile::Line> lines =
        BatchParcels::shippingLines(batch, "顺丰速运", false, &rows, &withoutOrder, &before);
    QStringList written;
    for (const ShippingFile::Line &line : lines)
        written.append(line.orderNumber + ' ' + line.waybillNumber);
    QCOMPARE(written, (QStringList{"DD1 SF100000000001", "DD4 SF100000000001", "DD2 SF100000000002",
                                   "DD2 SF100000000003"}));
    lines = BatchParcels::shippingLines(batch, "顺丰速运", true, &rows, &withoutOrder, &before);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(before, 1);

    // Kept as it is, read back by the store, then taken apart into the rows it was.
    Program program;
    const BatchStore store(program.platform);
    QVERIFY(store.save(batch));
    std::optional<PrintBatch> again = store.load(batch.fileName);
    QVERIFY(again);
    QCOMPARE(again->rows[0].merged.size(), 1);
    QCOMPARE(again->rows[0].allItems(), batch.rows[0].allItems());
    QCOMPARE(again->rows[dd2 + 1].parcelOf, batch.rows[dd2].id);
    again->rows[0].waybillNumber.clear();
    QCOMPARE(BatchParcels::split(*again, 0, &error), 2);
    QCOMPARE(again->rows[1].id, dd4);
    QCOMPARE(again->rows[1].orderNumber, QStringLiteral("DD4"));
    QCOMPARE(again->rows[1].note, QStringLiteral("周末送"));
    QCOMPARE(again->rows[0].allItems().size(), 1);
    // Taken apart on purpose: not proposed again.
    QVERIFY(BatchParcels::proposals(*again).isEmpty());
    QVERIFY(store.save(*again));
    QVERIFY(BatchParcels::proposals(*store.load(again->fileName)).isEmpty());
}

// A buyer's two orders packed as one from the window, an order sent as two
// parcels, printed, numbered by scanning and written to the shipping file: each
// order with each number of its parcels, then only what is new.
void BatchTest::parcelsInTheWindow()
{
    Program program;
    QTemporaryDir dir;
    QFile orders(dir.path() + "/orders.csv");
    QVERIFY(orders.open(QIODevice::WriteOnly));
    orders.write("订单编号,收货人,手机,收货地址,宝贝标题,颜色分类,数量,商家编码,买家留言\r\n"
                 "T1,赵一,13800000001,北京市朝阳区建国路88号,保温杯,红色,2,C-01,请用纸箱\r\n"
                 "T2,钱二,13800000002,上海市浦东新区世纪大道100号,茶叶,,1,T-9,\r\n"
                 "T3,赵一,13800000001,北京市朝阳区建国路 88 号,茶叶,,3,T-9,周末送\r\n");
    orders.close();
    const QString shipping = dir.path() + "/发货单.csv";
    // Slips go with the waybills: each first parcel's, after its page came out.
    QStringList slips;
    frmBatch::PackingTools tools;
    tools.slipForms = [] { return QList<std::pair<QString, QString>>{{"slip.qbf", "本店发货单"}}; };
    tools.printSlips = [&slips](const PrintBatch &batch, const QList<int> &rows, const QString &slipForm,
                                const QString &printer, QString *) {
        for (const int row : rows)
            slips.append(batch.rows[row].orderNumbers().join(u'+') + ' ' + slipForm + ' ' + printer);
        return true;
    };
    const std::unique_ptr<frmBatch> window =
        openWindow(program, orders.fileName(), shipping, std::move(tools));
    frmBatch &form = *window;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const auto control = [&](const QString &name) { return controlNamed(form, name); };
    QTest::mouseClick(control("打开订单…"), Qt::LeftButton);
    auto *merge = qobject_cast<QPushButton *>(control("合单…"));
    QCOMPARE(merge->text(), QStringLiteral("合单（1 组）…"));
    const auto accept = [](QDialog &dialog) {
        QTest::mouseClick(dialog.findChild<QPushButton *>("cmdMergeOk"), Qt::LeftButton);
    };
    QCOMPARE(runModal([&] { merge->click(); }, accept), QStringList{"frmMerge"});
    QCOMPARE(form.batch().rows.size(), 2);
    QCOMPARE(form.batch().rows[0].orderNumbers(), (QStringList{"T1", "T3"}));
    QCOMPARE(form.batch().rows[0].remarks(), (QStringList{"请用纸箱", "周末送"}));
    QCOMPARE(merge->text(), QStringLiteral("合单…"));

    Grid rows{qobject_cast<QTableView *>(control("运单"))};
    rows.view->selectRow(1);
    qobject_cast<QSpinBox *>(control("件数"))->setValue(2);
    QTest::mouseClick(control("设为所选行的件数"), Qt::LeftButton);
    QCOMPARE(form.batch().rows.size(), 3);
    QCOMPARE(form.batch().rows[2].parcelText(), QStringLiteral("2/2"));

    auto *slipForm = qobject_cast<QComboBox *>(control("发货单"));
    slipForm->setCurrentIndex(slipForm->findData("slip.qbf"));
    QTest::mouseClick(control("打印全部"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(form.batch().printedCount(), 3, 60000);
    QCOMPARE(slips, (QStringList{"T1+T3 slip.qbf ", "T2 slip.qbf "}));
    auto *number = qobject_cast<QLineEdit *>(control("录入运单号"));
    for (const char *scanned : {"SF100000000001", "SF100000000002", "SF100000000003"}) {
        QTest::keyClicks(number, scanned);
        QTest::keyClick(number, Qt::Key_Return);
    }
    QCOMPARE(form.batch().numberedCount(), 3);
    QTest::mouseClick(control("导出发货单"), Qt::LeftButton);
    QFile file(shipping);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(file.readAll());
    QCOMPARE(written.count("\r\n"), 5); // the heading and four lines
    for (const char *line : {"T1,顺丰速运,SF100000000001", "T3,顺丰速运,SF100000000001",
                             "T2,顺丰速运,SF100000000002", "T2,顺丰速运,SF100000000003"})
        QVERIFY2(written.contains(line), qPrintable(written));
    file.close();

    // Only what is new: nothing, and said so.
    qobject_cast<QCheckBox *>(control("只导出未导出的"))->setChecked(true);
    QTest::mouseClick(control("导出发货单"), Qt::LeftButton);
    QCOMPARE(program.dialogs.messages.size(), 1);
    QVERIFY2(program.dialogs.messages[0].text.contains("都已导出过"),
             qPrintable(program.dialogs.messages[0].text));
}

// A number given to any entry of the journal from its window, checked as a scan is.
void BatchTest::numberInTheJournalWindow()
{
    Program program;
    const auto field = [](QStringView key) {
        return key == u"txtNameTo"  ? QStringLiteral("李娜")
               : key == u"txtTelTo" ? QStringLiteral("13900000000")
                                    : QString();
    };
    QVERIFY(program.journal.append(PrintJournal::entryFor("顺丰", "Q", field)));
    QVERIFY(program.journal.append(PrintJournal::entryFor("顺丰", "Q", field, "T2")));
    frmJournal window(program.journal, program.platform);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *number = window.findChild<QPushButton *>("cmdWaybillNumber");
    QCOMPARE(number->accessibleName(), QStringLiteral("运单号…"));
    auto *list = window.findChild<QTreeView *>();
    // The newest first: the second entry, then the first.
    list->setCurrentIndex(list->model()->index(1, 0));

    program.dialogs.inputs = {"12345", " sf100000000009 ", "SF100000000009"};
    QTest::mouseClick(number, Qt::LeftButton);
    QCOMPARE(program.dialogs.messages.size(), 1);
    QVERIFY2(program.dialogs.messages[0].text.contains("不像顺丰运单号"),
             qPrintable(program.dialogs.messages[0].text));
    QTest::mouseClick(number, Qt::LeftButton);
    QCOMPARE(program.dialogs.messages.size(), 1);
    QList<PrintJournal::Entry> numbered = program.journal.withWaybillNumber(u"SF100000000009");
    QCOMPARE(numbered.size(), 1);
    QCOMPARE(numbered[0].orderNumber, QString());

    // The same number for the other entry is refused.
    program.dialogs.inputs = {"SF100000000009"};
    list->setCurrentIndex(list->model()->index(0, 0));
    QTest::mouseClick(number, Qt::LeftButton);
    QCOMPARE(program.dialogs.messages.size(), 2);
    QVERIFY2(program.dialogs.messages[1].text.contains("已记在"),
             qPrintable(program.dialogs.messages[1].text));
    QCOMPARE(program.journal.withWaybillNumber(u"SF100000000009").size(), 1);

    // An entry a batch printed: the number reaches the batch, for its next shipping file.
    const BatchStore store(program.platform);
    PrintBatch batch = batchOf(2);
    batch.rows[1].state = BatchRow::State::Printed;
    PrintJournal::Entry printed = batch.journalEntry(1, "顺丰", QString());
    QVERIFY(program.journal.append(printed));
    batch.rows[1].journalId = printed.id;
    batch.rows[1].printedTime = printed.time;
    batch.rows[1].exported = true;
    QVERIFY(store.save(batch));
    window.reload();
    list->setCurrentIndex(list->model()->index(0, 0));
    program.dialogs.inputs = {"SF100000000010"};
    QTest::mouseClick(number, Qt::LeftButton);
    QCOMPARE(program.dialogs.messages.size(), 2);
    const std::optional<PrintBatch> after = store.load(batch.fileName);
    QVERIFY(after);
    QCOMPARE(after->rows[1].waybillNumber, QStringLiteral("SF100000000010"));
    QVERIFY(!after->rows[1].exported);
    QCOMPARE(after->rows[0].waybillNumber, QString());
}

// What each row shows before printing, all at once rather than asked row by row.
void BatchTest::rowWarnings()
{
    Program program;
    PrintBatch batch = batchOf(4);
    batch.rows[1].setValue(u"txtAddTo", QString(80, QChar(0x8def)));
    batch.rows[2].unsure = QStringList{"区/县"};
    const auto printed = [&](QStringView key) { return batch.value(3, key); };
    QVERIFY(program.journal.append(PrintJournal::entryFor("顺丰", "Q", printed)));
    const BatchPrinter printer(batch, program.platform, program.journal);

    QCOMPARE(printer.warnings(0), QStringList());
    QCOMPARE(printer.warnings(1), QStringList{"打印不全：收件地址"});
    QCOMPARE(printer.warnings(2), QStringList{"请核对：区/县"});
    QCOMPARE(printer.warnings(3), QStringList{"今天已用顺丰快递给此收件人打印过"});
    // Another courier's print of the same recipient is no repeat.
    batch.form = "YD";
    QCOMPARE(printer.warnings(3), QStringList());
}

// A label with the row's order number as a Code 128 and a QR code of the
// order, the name and the address: every page of the batch scans back to its row.
void BatchTest::barcodesOnBatchPages()
{
    if (findTool("zbarimg").isEmpty())
        QSKIP("zbarimg (zbar-tools) is needed to read the barcodes back");
    Program program;
    Forms::Form form;
    form.id = Forms::Form::newId();
    form.name = "条码标签";
    form.paper = {100, 150};
    Forms::FormField code;
    code.source = Forms::FormField::Source::Contact;
    code.keys = QStringList{"orderNumber"};
    code.symbol = Forms::FormField::Symbol::Code128;
    code.moduleMm = 0.33;
    code.box = {10, 10, 80, 25};
    form.fields.push_back(code);
    Forms::FormField qr;
    qr.source = Forms::FormField::Source::FixedText;
    qr.text = "{订单编号} {txtNameTo} {txtAddTo}";
    qr.symbol = Forms::FormField::Symbol::QrCode;
    qr.moduleMm = 0.5;
    qr.box = {10, 50, 50, 50};
    form.fields.push_back(qr);
    QString fileName, error;
    QVERIFY2(Forms::FormLibrary(program.platform).save(form, &fileName, &error), qPrintable(error));

    PrintBatch batch = batchOf(3);
    batch.form = fileName;
    BatchPrinter printer(batch, program.platform, program.journal);
    printer.setPollInterval(50);
    QVERIFY(printer.warnings(0).isEmpty());
    QSignalSpy finished(&printer, &BatchPrinter::finished);
    printer.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 120000);
    QTemporaryDir dir;
    for (int i = 0; i < 3; ++i) {
        const QString file = jobFile(batch.rows[i].jobId);
        QVERIFY(!file.isEmpty());
        const QString png = dir.filePath(QString("page%1.png").arg(i));
        QVERIFY(rasterise(file, 300).save(png));
        QFile::remove(file);
        QStringList read = QString::fromUtf8(runTool(findTool("zbarimg"), {"--raw", "-q", png, "-Sbinary"}))
                               .split('\n', Qt::SkipEmptyParts);
        read.sort();
        const QStringList expected = QStringList{
            batch.rows[i].orderNumber, batch.rows[i].orderNumber + " " + batch.value(i, u"txtNameTo") + " " +
                                           batch.value(i, u"txtAddTo")};
        QCOMPARE(read, expected);
    }
}

void BatchTest::batchOnUserForm_data()
{
    QTest::addColumn<QSizeF>("paper");
    QTest::addColumn<bool>("landscape");
    QTest::newRow("a label") << QSizeF(100, 150) << false;
    // Every field whole, those right of 127 mm too.
    QTest::newRow("a paper waybill, landscape") << QSizeF(230, 127) << true;
}

void BatchTest::batchOnUserForm()
{
    QFETCH(QSizeF, paper);
    QFETCH(bool, landscape);
    Program program;
    Forms::Form form;
    form.id = Forms::Form::newId();
    form.name = "测试快递";
    form.paper = paper;
    form.landscape = landscape;
    const auto field = [](const QRectF &box) {
        Forms::FormField f;
        f.box = box;
        f.fit = Forms::FormField::Fit::OneLine;
        return f;
    };
    form.fields.push_back(field({10, 10, 60, 10}));
    form.fields.back().keys = QStringList{"txtNameTo"};
    form.fields.push_back(field({10, 40, 60, 10}));
    form.fields.back().keys = QStringList{"txtTelTo"};
    form.fields.push_back(field({10, 90, 40, 10}));
    form.fields.back().source = Forms::FormField::Source::Asked;
    form.fields.back().askLabel = "托寄物";
    // The row's own order number, read like a contact field.
    form.fields.push_back(field({10, 60, 60, 10}));
    form.fields.back().keys = QStringList{"orderNumber"};
    if (paper.width() > 150) {
        form.fields.push_back(field({160, 20, 60, 10}));
        form.fields.back().keys = QStringList{"txtNameTo"};
    }
    QString fileName;
    QString error;
    QVERIFY2(Forms::FormLibrary(program.platform).save(form, &fileName, &error), qPrintable(error));

    // The batch names its form when saved; one written before forms could be chosen still reads.
    PrintBatch written = batchOf(3);
    written.form = fileName;
    std::optional<PrintBatch> read = PrintBatch::fromJson(written.toJson());
    QVERIFY(read);
    QCOMPARE(read->form, fileName);
    QCOMPARE(PrintBatch::fromJson(R"({"sender": [], "rows": [{"recipient": []}]})")->form,
             QStringLiteral("SF"));

    // Left unprinted and reopened in the window, the batch goes on the same form.
    QVERIFY(BatchStore(program.platform).save(*read));
    const std::unique_ptr<frmBatch> opened = openWindow(program);
    frmBatch &window = *opened;
    program.dialogs.answers = {Dialogs::Yes};
    QVERIFY(window.offerSavedBatch());
    QCOMPARE(window.findChild<QComboBox *>("cmbForm")->currentText(), form.name);
    const int jobsBefore = jobsOn(m_queue.name);
    // 取消 on the value asked prints nothing.
    program.dialogs.inputs = QStringList{};
    window.findChild<QPushButton *>("cmdPrintAll")->click();
    QCOMPARE(program.dialogs.prompts.size(), 1);
    QTRY_VERIFY(window.findChild<QPushButton *>("cmdPrintAll")->isEnabled());
    QCOMPARE(jobsOn(m_queue.name), jobsBefore);
    QVERIFY(program.journal.entries().isEmpty());
    program.dialogs.prompts.clear();
    program.dialogs.inputs = QStringList{"衣服"};
    window.findChild<QPushButton *>("cmdPrintAll")->click();
    QTRY_COMPARE_WITH_TIMEOUT(program.journal.entries().size(), 3, 120000);
    const PrintBatch batch = *BatchStore(program.platform).load();

    // Asked once for the whole batch.
    QCOMPARE(program.dialogs.prompts.size(), 1);
    QCOMPARE(program.dialogs.prompts[0].text, QStringLiteral("请输入托寄物："));
    QCOMPARE(batch.printedCount(), 3);
    QCOMPARE(jobsOn(m_queue.name) - jobsBefore, 3);
    const QList<PrintJournal::Entry> entries = program.journal.entries();
    QCOMPARE(entries.size(), 3);
    for (const PrintJournal::Entry &entry : entries)
        QCOMPARE(entry.courier, form.name);

    // The first page has ink in each of the form's boxes, and nowhere else.
    constexpr int dpi = 100;
    const QString file = jobFile(batch.rows[0].jobId);
    QVERIFY(!file.isEmpty());
    const QImage page = rasterise(file, dpi);
    QVERIFY(!page.isNull());
    for (int i = 1; i < 3; ++i)
        QFile::remove(jobFile(batch.rows[i].jobId));
    QFile::remove(file);
    QList<QRect> boxes;
    for (const Forms::FormField &f : form.fields) {
        const double scale = dpi / 25.4;
        // Half a millimetre either way for the rasteriser.
        const int slack = qRound(0.5 * scale);
        boxes.append(QRectF(f.box.topLeft() * scale, f.box.size() * scale)
                         .toAlignedRect()
                         .adjusted(-slack, -slack, slack, slack));
    }
    QList<int> inBox(boxes.size());
    int outside = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (page.constScanLine(y)[x] >= 128)
                continue;
            const auto box =
                std::find_if(boxes.cbegin(), boxes.cend(), [&](const QRect &b) { return b.contains(x, y); });
            if (box == boxes.cend())
                ++outside;
            else
                ++inBox[box - boxes.cbegin()];
        }
    }
    QCOMPARE(outside, 0);
    for (int i = 0; i < boxes.size(); ++i)
        QVERIFY2(inBox[i] > 20, qPrintable(QStringLiteral("box %1: %2").arg(i).arg(inBox[i])));
}

void BatchTest::pageAsQtSendsIt_data()
{
    QTest::addColumn<QSizeF>("paper");
    QTest::addColumn<bool>("landscape");
    QTest::newRow("the queue's own paper") << QSizeF() << false;
    QTest::newRow("a waybill's paper") << QSizeF(230, 127) << false;
    QTest::newRow("a waybill's paper, landscape") << QSizeF(127, 230) << true;
}

// A page sent as one job comes out of the queue as the page Qt itself sends.
void BatchTest::pageAsQtSendsIt()
{
    QFETCH(QSizeF, paper);
    QFETCH(bool, landscape);
    Waybill::PrintSettings settings;
    settings.paper = paper;
    settings.landscape = landscape;
    const auto paint = [](QPainter &painter) { painter.drawText(QPointF(100, 100), "Quillbox"); };
    const auto pageOf = [&](int job) {
        // The file is whole once the job completed.
        if (!QTest::qWaitFor(
                [&] { return PrintQueue().jobStatus(job).state == PrintQueue::JobState::Completed; }, 60000))
            return QString();
        const QString file = jobFile(job);
        const QString info = output("pdfinfo", {file});
        QFile::remove(file);
        QRegularExpressionMatch size = QRegularExpression("Page size:[^\\n]*\\n").match(info);
        QRegularExpressionMatch rotation = QRegularExpression("Page rot:[^\\n]*\\n").match(info);
        return size.captured() + rotation.captured();
    };

    // Qt's own way: painted on the queue's printer, handed over by Qt.
    QString error;
    std::unique_ptr<QPrinter> printer = Waybill::openPrinter(settings, &error);
    QVERIFY(printer);
    const QStringList before =
        output("lpstat", {"-W", "all", "-o", m_queue.name}).split('\n', Qt::SkipEmptyParts);
    printer->setDocName("qt");
    printer->setPageSize(paper.isEmpty()
                             ? printer->pageLayout().pageSize()
                             : QPageSize(paper, QPageSize::Millimeter, "运单", QPageSize::ExactMatch));
    if (landscape)
        printer->setPageOrientation(QPageLayout::Landscape);
    {
        QPainter painter(printer.get());
        paint(painter);
    }
    QStringList jobs = output("lpstat", {"-W", "all", "-o", m_queue.name}).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(jobs.size(), before.size() + 1);
    const QString qtPage = pageOf(jobs.last().section(' ', 0, 0).section('-', -1).toInt());

    Program program;
    printer = Waybill::openPrinter(settings, &error);
    int job = 0;
    QCOMPARE(Waybill::printPage(*printer, settings, "ours", paint, program.platform.printQueue(), &job),
             QString());
    const QString ourPage = pageOf(job);
    QVERIFY(!qtPage.isEmpty());
    QCOMPARE(ourPage, qtPage);
}

QUILLBOX_TEST_MAIN(BatchTest)
#include "tst_batch.moc"
