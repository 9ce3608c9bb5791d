// A day at scale: the batch window filled with 20,000 rows, a cell edited, a
// row's state saved, and a scanned waybill number checked and stored against a
// journal of 200,000 entries. Prints figures and their targets; returns 1 when
// something came out wrong.

#include "addressbook/csvtext.h"
#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "addressbook/printjournal.h"
#include "batch/batchnumbers.h"
#include "batch/batchprinter.h"
#include "batch/frmbatch.h"
#include "batch/printbatch.h"
#include "figures.h"
#include "platform/platform.h"
#include "unattendeddialogs.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

namespace {

BatchRow rowFor(int i)
{
    BatchRow row;
    row.recipient = {QStringLiteral("收件公司%1").arg(i),
                     QStringLiteral("收件人%1").arg(i),
                     QStringLiteral("北京市"),
                     QStringLiteral("北京市"),
                     QStringLiteral("朝阳区"),
                     QStringLiteral("建国路%1号").arg(i),
                     QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0')),
                     QStringLiteral("100000")};
    row.orderNumber = QStringLiteral("T%1").arg(i, 10, 10, QLatin1Char('0'));
    return row;
}

// A journal of entries lines, written at once as the program would have
// appended them over the years.
bool writeJournal(const QString &path, int entries)
{
    CsvText::Rows rows{{QStringLiteral("时间")}};
    rows.reserve(entries + 1);
    const QDateTime start = QDateTime::currentDateTime().addDays(-entries / 500 - 1);
    for (int i = 0; i < entries; ++i) {
        QStringList columns{start.addSecs(qint64(i) * 170).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            QStringLiteral("顺丰"), QStringLiteral("Q")};
        for (int v = 0; v < 16; ++v)
            columns.append(v == 14 ? QStringLiteral("137%1").arg(i, 8, 10, QLatin1Char('0'))
                                   : QStringLiteral("值%1").arg(v));
        columns << QStringLiteral("A%1").arg(i) << QStringLiteral("SF9%1").arg(i, 11, 10, QLatin1Char('0'))
                << QStringLiteral("J%1").arg(i, 16, 16, QLatin1Char('0'));
        rows.append(columns);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(CsvText::write(rows)) > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool smoke = app.arguments().contains(QStringLiteral("--smoke"));
    const int rowCount = smoke ? 500 : 20000;
    const int journalEntries = smoke ? 2000 : 200000;
    bool wrong = false;

    QTemporaryDir dir;
    // Yes to going on with the batch left unfinished.
    UnattendedDialogs dialogs(Dialogs::Yes);
    Platform platform(dir.path(), dir.path() + QStringLiteral("/settings.ini"), dialogs);
    PrintJournal journal(platform);
    if (!writeJournal(journal.fileName(), journalEntries))
        qFatal("cannot write the journal");
    RegionTable regions;
    regions.load();
    const AddressParser parser(regions);

    // The batch, half of it printed, saved as the window finds it.
    const BatchStore store(platform);
    PrintBatch batch;
    batch.sender = {QStringLiteral("某公司"),      QStringLiteral("张三"),     QStringLiteral("上海市"),
                    QStringLiteral("上海市"),      QStringLiteral("浦东新区"), QStringLiteral("世纪大道1号"),
                    QStringLiteral("02112345678"), QStringLiteral("200000")};
    for (int i = 0; i < rowCount; ++i)
        batch.rows.append(rowFor(i));
    const int printed = rowCount / 2;
    for (int i = 0; i < printed; ++i) {
        BatchRow &row = batch.rows[i];
        row.state = BatchRow::State::Printed;
        row.printOrder = i + 1;
        PrintJournal::Entry entry = batch.journalEntry(i, QStringLiteral("顺丰"), QString());
        if (i < 200) {
            // The rows to be numbered below are in the journal, as printing puts them.
            journal.append(entry);
        }
        row.journalId = entry.id;
        row.printedTime = entry.time;
    }
    if (!store.save(batch))
        qFatal("cannot save the batch");

    // The window opened on it and drawn.
    QElapsedTimer wall;
    double cpu = threadCpuMs();
    wall.start();
    frmBatch window(
        platform, journal, [&]() -> const AddressParser & { return parser; },
        [](QWidget *, const QString &, const QString &) { return QString(); },
        [](QWidget *, const QString &, const QString &, const QString &) { return QString(); });
    window.offerSavedBatch();
    window.resize(1280, 720);
    window.show();
    QApplication::processEvents();
    const double fillWall = wall.nsecsElapsed() / 1e6;
    const double fillCpu = threadCpuMs() - cpu;
    auto *view = window.findChild<QTableView *>(QStringLiteral("grdRows"));
    if (!view || view->model()->rowCount() != rowCount) {
        std::printf("day: the window shows %d rows of %d\n", view ? view->model()->rowCount() : -1, rowCount);
        wrong = true;
    }

    // Cells of rows still to print, edited as a user types.
    QList<double> edits;
    for (int i = 0; i < 100 && view; ++i) {
        const QModelIndex cell = view->model()->index(printed + i, 7);
        cpu = threadCpuMs();
        wall.restart();
        view->model()->setData(cell, QStringLiteral("建国路%1号院").arg(i));
        QApplication::processEvents();
        edits.append(wall.nsecsElapsed() / 1e6);
    }

    // A row's state saved, as printing saves it.
    PrintBatch saved = window.batch();
    QList<double> saves;
    for (int i = 0; i < 500; ++i) {
        saved.rows[printed + i % 100].attempts = i;
        wall.restart();
        if (!store.saveRow(saved, printed + i % 100))
            wrong = true;
        saves.append(wall.nsecsElapsed() / 1e6);
    }

    // Numbers scanned for the printed rows, against the long journal.
    PrintBatch numbered = *store.load(saved.fileName);
    BatchPrinter printer(numbered, platform, journal);
    BatchNumbers numbers(numbered, journal, store, [&]() -> const PageSource & { return printer.pages(); });
    QList<double> scans;
    double firstScan = 0;
    for (int i = 0; i < 200; ++i) {
        wall.restart();
        const BatchNumbers::Outcome outcome =
            numbers.take(QStringLiteral("SF1%1").arg(i, 11, 10, QLatin1Char('0')));
        const double ms = wall.nsecsElapsed() / 1e6;
        if (outcome.kind != BatchNumbers::Outcome::Given || outcome.row != i) {
            std::printf("day: number %d went to row %d: %s\n", i, outcome.row, qPrintable(outcome.message));
            wrong = true;
            break;
        }
        if (i == 0)
            firstScan = ms;
        else
            scans.append(ms);
    }

    std::printf("day: %d rows, journal of %d entries\n", rowCount, journalEntries);
    std::printf("day: window filled and drawn in %.0f ms (%.0f ms processor; target < 1000 ms)\n", fillWall,
                fillCpu);
    std::printf("day: cell edited and saved: median %.2f ms, p99 %.2f ms (target < 20 ms)\n", median(edits),
                percentile99(edits));
    std::printf("day: row state saved: median %.2f ms, p99 %.2f ms (target < 10 ms)\n", median(saves),
                percentile99(saves));
    std::printf("day: scanned number checked and stored: first %.1f ms, then median %.2f ms, p99 %.2f ms "
                "(target < 50 ms)\n",
                firstScan, median(scans), percentile99(scans));
    return wrong ? 1 : 0;
}
