#pragma once

#include <QSizeF>
#include <QString>

#include <functional>

class PrintQueue;
class QPainter;

// The packing pages go to a printer chosen by name as one job: made into one PDF
// at the printer's resolution, as Qt makes a job for a queue, and sent through
// libcups so that a queue that refuses it is known.
namespace PageJob {

// The printer's resolution in dots per inch; 0 when there is no such printer.
int printerResolution(const QString &printer);

// Paints pages pages of pageMm (each from the paper's corner, by paintPage) and
// sends them to printer titled title. what names the pages in the messages
// ("拣货单"). The reason for the user when nothing was sent; empty when the queue
// took the job, whose number goes to jobId.
QString print(const PrintQueue &queue, const QString &printer, const QString &title, const QString &what,
              QSizeF pageMm, int pages, const std::function<void(QPainter &, int)> &paintPage,
              int *jobId = nullptr);

} // namespace PageJob
