// Batch printing: processor time to send 200 waybills, one job each, and the
// memory over the batch. The jobs go to a queue of the benchmark's own, stopped,
// so that they wait there and the printer's filters take no processor time from
// the measurement; the queue is removed with its jobs at the end.

#include "addressbook/printjournal.h"
#include "batch/printbatch.h"
#include "platform/platform.h"
#include "platform/printqueue.h"
#include "unattendeddialogs.h"
#include "waybill/printjob.h"
#include "waybill/waybillwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include <ctime>

namespace {

long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith(field))
                return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

double processorSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

bool run(const QString &tool, const QStringList &arguments)
{
    return QProcess::execute(tool, arguments) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool smoke = app.arguments().contains(QStringLiteral("--smoke"));
    const int count = smoke ? 5 : 200;

    const QString queue = QStringLiteral("Quillbox-Bench-%1").arg(QCoreApplication::applicationPid());
    if (!run(QStringLiteral("lpadmin"),
             {QStringLiteral("-p"), queue, QStringLiteral("-v"), QStringLiteral("cups-pdf:/"),
              QStringLiteral("-E"), QStringLiteral("-P"),
              QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd")})) {
        qInfo("batch benchmark skipped: no queue of its own (needs cupsd, lpadmin and cups-pdf)");
        return 0;
    }
    run(QStringLiteral("cupsdisable"), {queue});
    qputenv("PRINTER", queue.toUtf8());

    QTemporaryDir dir;
    UnattendedDialogs dialogs;
    Platform platform(dir.path(), dir.path() + QStringLiteral("/settings.ini"), dialogs);
    const BatchStore store(platform);
    PrintBatch batch;
    batch.sender = {QStringLiteral("某公司"),      QStringLiteral("张三"),     QStringLiteral("上海市"),
                    QStringLiteral("上海市"),      QStringLiteral("浦东新区"), QStringLiteral("世纪大道1号"),
                    QStringLiteral("02112345678"), QStringLiteral("200000")};
    for (int i = 0; i < count + 5; ++i) {
        BatchRow row;
        row.recipient = {QStringLiteral("收件公司%1").arg(i),
                         QStringLiteral("收件人%1").arg(i),
                         QStringLiteral("北京市"),
                         QStringLiteral("北京市"),
                         QStringLiteral("朝阳区"),
                         QStringLiteral("建国路%1号").arg(i),
                         QStringLiteral("1380000%1").arg(i, 4, 10, QLatin1Char('0')),
                         QStringLiteral("100000")};
        batch.rows.append(row);
    }

    QString error;
    const Waybill::PrintSettings settings;
    const std::unique_ptr<QPrinter> printer = Waybill::openPrinter(settings, &error);
    const Waybill::Description &description = *PrintBatch::description(QStringLiteral("SF"));
    // What the batch does for each waybill: saved before and after sending,
    // painted, sent as one job and asked after once.
    const auto send = [&](int row) {
        batch.rows[row].state = BatchRow::State::Sending;
        store.save(batch);
        const Waybill::Sheet sheet(description, [&](QStringView key) { return batch.value(row, key); });
        int job = 0;
        const QString failure = Waybill::printPage(
            *printer, settings, description.jobTitle.toString(), [&](QPainter &p) { sheet.paint(p); },
            platform.printQueue(), &job);
        if (!failure.isEmpty())
            qFatal("%s", qPrintable(failure));
        batch.rows[row].state = BatchRow::State::Sent;
        batch.rows[row].jobId = job;
        store.save(batch);
        platform.printQueue().jobStatus(job);
    };

    // The first few load the fonts and the printer's details; not counted.
    for (int i = 0; i < 5; ++i)
        send(count + i);
    const long peakBefore = statusKiB("VmHWM:");
    QList<long> resident{statusKiB("VmRSS:")};
    QElapsedTimer wall;
    wall.start();
    const double start = processorSeconds();
    for (int i = 0; i < count; ++i) {
        send(i);
        if ((i + 1) % qMax(1, count / 4) == 0)
            resident.append(statusKiB("VmRSS:"));
    }
    const double processor = processorSeconds() - start;
    const double elapsed = wall.elapsed() / 1000.0;
    const long peakAfter = statusKiB("VmHWM:");

    run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), queue});

    QStringList rss;
    for (const long kib : resident)
        rss.append(QString::number(kib));
    qInfo("batch: %d waybills sent in %.2f s of processor time (%.1f waybills a second; %.2f s elapsed)",
          count, processor, count / processor, elapsed);
    qInfo("batch: resident KiB at 0, 1/4 … 4/4 of the batch: %s", qPrintable(rss.join(QStringLiteral(", "))));
    qInfo("batch: peak RSS before %ld KiB, after %ld KiB", peakBefore, peakAfter);
    return 0;
}
