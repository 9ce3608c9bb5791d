#include "packing/pagejob.h"

#include "platform/printqueue.h"

#include <QDir>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

namespace PageJob {

int printerResolution(const QString &printer)
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(printer);
    if (printer.isEmpty() || info.isNull())
        return 0;
    return QPrinter(info, QPrinter::HighResolution).resolution();
}

QString print(const PrintQueue &queue, const QString &printer, const QString &title, const QString &what,
              QSizeF pageMm, int pages, const std::function<void(QPainter &, int)> &paintPage, int *jobId)
{
    if (jobId)
        *jobId = 0;
    const int dpi = printerResolution(printer);
    if (dpi <= 0)
        return QStringLiteral("打印机“%1”不存在，%2没有打印。\n请另选打印机后再打印。").arg(printer, what);

    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/quillbox-packing-XXXXXX.pdf"));
    if (!file.open()) {
        return QStringLiteral("无法在打印机“%1”上开始打印作业，%2没有打印。\n临时文件无法写入：%3")
            .arg(printer, what, file.errorString());
    }
    file.close();
    const QPageSize size(pageMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    {
        QPdfWriter writer(file.fileName());
        writer.setResolution(dpi);
        writer.setTitle(title);
        writer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (!painter.begin(&writer))
            return QStringLiteral("无法在打印机“%1”上开始打印作业，%2没有打印。").arg(printer, what);
        for (int page = 0; page < pages; ++page) {
            if (page > 0)
                writer.newPage();
            paintPage(painter, page);
        }
        if (!painter.end())
            return QStringLiteral("打印机“%1”的打印作业失败，%2没有打印。").arg(printer, what);
    }

    // The options Qt gives a queue for such a document.
    const QList<std::pair<QByteArray, QByteArray>> options{{"media", size.key().toUtf8()},
                                                           {"sides", "one-sided"}};
    const PrintQueue::Job job = queue.submit(printer, file.fileName(), title, options);
    if (job.id == 0) {
        return QStringLiteral("打印机“%1”没有接受打印作业，%2没有打印。\n原因：%3\n请检查打印机后再打印。")
            .arg(printer, what, job.reason);
    }
    const PrintQueue::JobStatus status = queue.jobStatus(job.id);
    if (status.state == PrintQueue::JobState::Aborted || status.state == PrintQueue::JobState::Canceled) {
        return QStringLiteral("打印机“%1”的打印作业被取消，%2没有打印。\n原因：%3\n请检查打印机后再打印。")
            .arg(printer, what, status.reason);
    }
    if (jobId)
        *jobId = job.id;
    return QString();
}

} // namespace PageJob
