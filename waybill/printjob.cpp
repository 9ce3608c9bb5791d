#include "waybill/printjob.h"

#include "platform/platform.h"
#include "platform/printqueue.h"
#include "ui/twips.h"

#include <QDir>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

namespace Waybill {

namespace {

void applyPaper(QPrinter &printer, const PrintSettings &settings)
{
    if (!settings.paper.isEmpty()) {
        printer.setPageSize(
            QPageSize(settings.paper, QPageSize::Millimeter, QStringLiteral("运单"), QPageSize::ExactMatch));
    }
    // Left alone by default, so that the printer's own paper and orientation stay.
    if (settings.landscape)
        printer.setPageOrientation(QPageLayout::Landscape);
    // The client area's corner goes to the corner of the printable area; the
    // default margins of 10 points would move every field 3.5 mm.
    const QPageLayout page = printer.pageLayout();
    printer.setPageMargins(page.minimumMargins(), page.units());
}

} // namespace

std::unique_ptr<QPrinter> openPrinter(const PrintSettings &settings, QString *error)
{
    if (settings.printer.isEmpty())
        return std::make_unique<QPrinter>(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    const QPrinterInfo info = QPrinterInfo::printerInfo(settings.printer);
    if (info.isNull()) {
        *error =
            QStringLiteral("打印设置里的打印机“%1”已不存在，运单没有打印。\n请按“设置”另选打印机后再打印。")
                .arg(settings.printer);
        return nullptr;
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

QString printerShownName(const QPrinter &printer)
{
    return printer.printerName().isEmpty() ? printer.outputFileName() : printer.printerName();
}

QPointF printableCorner(QPrinter &printer, const PrintSettings &settings)
{
    applyPaper(printer, settings);
    QPageLayout layout = printer.pageLayout();
    layout.setUnits(QPageLayout::Millimeter);
    return QPointF(layout.minimumMargins().left(), layout.minimumMargins().top());
}

namespace {

// Paints the page onto a printer that is ready to take it.
QString paintOn(QPrinter &printer, const PrintSettings &settings,
                const std::function<void(QPainter &)> &paint, const QString &shownName)
{
    QPainter painter;
    if (!painter.begin(&printer)) {
        return QStringLiteral("无法在打印机“%1”上开始打印作业，运单没有打印。\n请检查打印机后再打印。")
            .arg(shownName);
    }
    // True size, 96 pixels of the window to the inch on paper, then the user's
    // offset and scale about the client area's corner.
    painter.setTransform(settings.clientToPrintable(printer.resolution()));
    paint(painter);
    if (!painter.end() || printer.printerState() == QPrinter::Error ||
        printer.printerState() == QPrinter::Aborted) {
        return QStringLiteral("打印机“%1”的打印作业失败，运单可能没有打印。\n请检查打印机后再打印。")
            .arg(shownName);
    }
    return QString();
}

} // namespace

QString printPage(QPrinter &printer, const PrintSettings &settings, const QString &docName,
                  const std::function<void(QPainter &)> &paint, const PrintQueue &queue, int *jobId)
{
    if (jobId)
        *jobId = 0;
    // With no default printer Qt gives a PDF printer with nowhere to write to.
    if (printer.printerName().isEmpty() && printer.outputFileName().isEmpty()) {
        return QStringLiteral(
            "没有找到默认打印机，运单没有打印。\n请安装打印机并设为默认打印机后，再按“打印”。");
    }
    if (!printer.isValid()) {
        return QStringLiteral("打印机“%1”不可用，运单没有打印。\n请检查打印机后再打印。")
            .arg(printerShownName(printer));
    }

    printer.setDocName(docName);
    printer.setFullPage(false);
    applyPaper(printer, settings);
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return paintOn(printer, settings, paint, printerShownName(printer));

    // Qt would hand the queue the page and forget whether it was taken. The page
    // is made as Qt makes it for a queue, a PDF file on the queue's paper with the
    // queue's margins and resolution, and sent as a job whose fate is known.
    const QString name = printer.printerName();
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/quillbox-page-XXXXXX.pdf"));
    if (!file.open()) {
        return QStringLiteral("无法在打印机“%1”上开始打印作业，运单没有打印。\n临时文件无法写入：%2")
            .arg(name, file.errorString());
    }
    file.close();
    QPrinter page(QPrinter::HighResolution);
    page.setOutputFormat(QPrinter::PdfFormat);
    page.setOutputFileName(file.fileName());
    page.setResolution(printer.resolution());
    page.setDocName(docName);
    page.setFullPage(false);
    page.setPageLayout(printer.pageLayout());
    const QString failure = paintOn(page, settings, paint, name);
    if (!failure.isEmpty())
        return failure;

    // The options Qt gives a queue for such a page.
    QList<std::pair<QByteArray, QByteArray>> options{
        {"media", printer.pageLayout().pageSize().key().toUtf8()}, {"sides", "one-sided"}};
    if (printer.pageLayout().orientation() == QPageLayout::Landscape)
        options.append({"landscape", QByteArray()});
    const PrintQueue::Job job = queue.submit(name, file.fileName(), docName, options);
    if (job.id == 0) {
        return QStringLiteral("打印机“%1”没有接受打印作业，运单没有打印。\n原因：%2\n请检查打印机后再打印。")
            .arg(name, job.reason);
    }
    // A job the queue threw out at once never prints.
    const PrintQueue::JobStatus status = queue.jobStatus(job.id);
    if (status.state == PrintQueue::JobState::Aborted || status.state == PrintQueue::JobState::Canceled) {
        return QStringLiteral("打印机“%1”的打印作业被取消，运单没有打印。\n原因：%2\n请检查打印机后再打印。")
            .arg(name, status.reason);
    }
    if (jobId)
        *jobId = job.id;
    return QString();
}

void paintCalibrationPage(QPainter &painter)
{
    constexpr double px = Twips::PixelsPerInch / 25.4; // pixels to the millimetre
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 0.2 * px, Qt::SolidLine, Qt::FlatCap));
    QFont font;
    font.setPixelSize(qRound(2.5 * px));
    painter.setFont(font);

    // The rulers: a tick every millimetre, longer every 5 and 10, numbered every 10.
    painter.drawLine(QPointF(0, 0), QPointF(100 * px, 0));
    painter.drawLine(QPointF(0, 0), QPointF(0, 100 * px));
    for (int mm = 0; mm <= 100; ++mm) {
        const double length = (mm % 10 == 0 ? 4 : mm % 5 == 0 ? 3 : 1.5) * px;
        painter.drawLine(QPointF(mm * px, 0), QPointF(mm * px, length));
        painter.drawLine(QPointF(0, mm * px), QPointF(length, mm * px));
        if (mm % 10 == 0 && mm > 0) {
            painter.drawText(QPointF(mm * px + 0.5 * px, 6.5 * px), QString::number(mm));
            painter.drawText(QPointF(5 * px, mm * px + 1 * px), QString::number(mm));
        }
    }

    const auto cross = [&](QPointF at, const QString &caption) {
        const QPointF c = at * px;
        painter.drawLine(c - QPointF(8 * px, 0), c + QPointF(8 * px, 0));
        painter.drawLine(c - QPointF(0, 8 * px), c + QPointF(0, 8 * px));
        painter.drawText(c + QPointF(2 * px, -2 * px), caption);
    };
    cross(Calibration::First, QStringLiteral("十字1 (20, 20)"));
    cross(Calibration::Second, QStringLiteral("十字2 (150, 90)"));
    painter.drawText(
        QPointF(30 * px, 45 * px),
        QStringLiteral("打印校准页：量出两个十字中心距纸张左边和上边各多少毫米，填入“打印设置”。"));
}

void confirmAndPrint(Platform &platform, const QStringList &cut,
                     const std::vector<std::function<bool()>> &checks, const PrintSettings &settings,
                     const std::function<bool(QPrinter &)> &print)
{
    if (!cut.isEmpty()) {
        const int answer = platform.messageBox(
            QStringLiteral("以下内容打印不全：%1。仍要打印吗？").arg(cut.join(QStringLiteral("、"))),
            QStringLiteral("提示"), Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2);
        if (answer != Dialogs::Yes)
            return;
    }
    for (const auto &check : checks) {
        if (!check())
            return;
    }
    QString error;
    const std::unique_ptr<QPrinter> printer = openPrinter(settings, &error);
    if (!printer) {
        platform.messageBox(error, QStringLiteral("打印失败"), Dialogs::Exclamation);
        return;
    }
    print(*printer);
}

} // namespace Waybill
