#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <climits>

// The print tests' view of CUPS and of what it printed: the tools run to their
// end, the scheduler's jobs, the PDF file cups-pdf writes of each job, and the
// ink on its page in millimetres.

// Where cups-pdf writes its files, from its configuration ("Out").
inline QString cupsPdfFolder()
{
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    QString out = QStringLiteral("/var/spool/cups-pdf/${USER}");
    if (conf.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : conf.readAll().split('\n')) {
            if (line.startsWith("Out ") || line.startsWith("Out\t"))
                out = QString::fromLocal8Bit(line.mid(4).trimmed());
        }
    }
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = QDir::home().dirName();
    return out.replace(QStringLiteral("${HOME}"), QDir::homePath()).replace(QStringLiteral("${USER}"), user);
}

inline QString findTool(const char *name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// Runs a program to its end; its standard output, or the empty text (and why in
// error) when it failed.
inline QByteArray runTool(const QString &program, const QStringList &arguments, QString *error = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        if (error) {
            *error = QStringLiteral("%1 %2 failed: %3 %4")
                         .arg(program, arguments.join(u' '), process.errorString(),
                              QString::fromLocal8Bit(process.readAllStandardError()));
        }
        return QByteArray();
    }
    return process.readAllStandardOutput();
}

// The print jobs the scheduler knows of ("all" or only the "completed" ones),
// each as queue-number.
inline QStringList cupsJobs(const char *which = "all")
{
    const QString out = QString::fromLocal8Bit(runTool(
        findTool("lpstat"), {QStringLiteral("-W"), QString::fromLatin1(which), QStringLiteral("-o")}));
    QStringList jobs;
    static const QRegularExpression job(QStringLiteral("^(\\S+-\\d+)\\s"),
                                        QRegularExpression::MultilineOption);
    for (auto it = job.globalMatch(out); it.hasNext();)
        jobs.append(it.next().captured(1));
    return jobs;
}

// The file cups-pdf made of a job (queue-number, or the number alone): it names
// it after the job's number. Empty while there is none.
inline QString cupsPdfFile(const QString &job)
{
    const QString number = job.section(u'-', -1);
    const QStringList files = QDir(cupsPdfFolder())
                                  .entryList({QStringLiteral("*-job_") + number + QStringLiteral(".pdf"),
                                              QStringLiteral("job_") + number + QStringLiteral("-*.pdf")},
                                             QDir::Files);
    return files.size() == 1 ? cupsPdfFolder() + u'/' + files.first() : QString();
}

// The file cups-pdf made of a job once the scheduler completed it; empty when
// that did not happen.
inline QString jobFile(const QString &job)
{
    const QString suffix = u'-' + job.section(u'-', -1);
    const auto completed = [&] {
        const QStringList jobs = cupsJobs("completed");
        return std::any_of(jobs.cbegin(), jobs.cend(), [&](const QString &j) { return j.endsWith(suffix); });
    };
    if (!QTest::qWaitFor(completed, 60000))
        return QString();
    QString file;
    return QTest::qWaitFor([&] { return !(file = cupsPdfFile(job)).isEmpty(); }, 30000) ? file : QString();
}

inline QString jobFile(int job)
{
    return jobFile(QString::number(job));
}

// The first page of a PDF file in grey at dpi; null (and why in error) when it
// could not be read.
inline QImage rasterise(const QString &pdf, int dpi, QString *error = nullptr)
{
    QString why;
    const QString pdftoppm = findTool("pdftoppm");
    QImage image;
    if (pdftoppm.isEmpty()) {
        why = QStringLiteral("pdftoppm (poppler-utils) is needed to read the printed page");
    } else {
        QTemporaryDir dir;
        const QString base = dir.path() + QStringLiteral("/page");
        runTool(pdftoppm,
                {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"), QStringLiteral("-f"),
                 QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                 QStringLiteral("-singlefile"), pdf, base},
                &why);
        image = QImage(base + QStringLiteral(".pgm"));
        if (image.isNull() && why.isEmpty())
            why = QStringLiteral("no page rasterised from ") + pdf;
    }
    if (error)
        *error = why;
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// Millimetres as raster pixels.
inline QRect rasterRect(const QRectF &mm, int dpi)
{
    const double perMm = dpi / 25.4;
    return QRectF(mm.x() * perMm, mm.y() * perMm, mm.width() * perMm, mm.height() * perMm).toAlignedRect();
}

// The pixels darker than below within the area, as a box in millimetres from
// the left and top edge of the first to the right and bottom edge of the last;
// null when there are none.
inline QRectF inkMm(const QImage &page, const QRectF &areaMm, int dpi, int below = 128)
{
    const QRect r = rasterRect(areaMm, dpi).intersected(page.rect());
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const uchar *line = page.constScanLine(y);
        for (int x = r.left(); x <= r.right(); ++x) {
            if (line[x] < below) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    if (right < 0)
        return QRectF();
    const double perMm = dpi / 25.4;
    return QRectF(left / perMm, top / perMm, (right - left + 1) / perMm, (bottom - top + 1) / perMm);
}
