#pragma once

#include "waybill/printsettings.h"

#include <QString>

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class Platform;
class PrintQueue;
class QPainter;
class QPrinter;

namespace Waybill {

// The printer the settings name, at full resolution: the system's default
// printer when none is named. Null, with error saying why for the user, when the
// named queue no longer exists.
std::unique_ptr<QPrinter> openPrinter(const PrintSettings &settings, QString *error);

// The printer's name as the user knows it: its queue, or the file it writes to.
QString printerShownName(const QPrinter &printer);

// Where the printable area's corner lies on the paper the settings give the
// printer, in millimetres.
QPointF printableCorner(QPrinter &printer, const PrintSettings &settings);

// Prints one page titled docName: paper and orientation as the settings say,
// paint given a painter in client pixels (96 to the inch) placed and scaled as
// the settings say. A printer queue gets the page as one job through queue, and
// jobId (when given) its number; a printer writing to a file writes it there
// (jobId 0). What went wrong, for the user; empty when the queue took the job
// or the file was written.
QString printPage(QPrinter &printer, const PrintSettings &settings, const QString &docName,
                  const std::function<void(QPainter &)> &paint, const PrintQueue &queue,
                  int *jobId = nullptr);

// What 打印 does in every waybill window before the page goes out: asks whether to
// print with the fields in cut cut short, runs the window's own checks, opens the
// printer the settings name (telling the user when it cannot) and hands it to print.
void confirmAndPrint(Platform &platform, const QStringList &cut,
                     const std::vector<std::function<bool()>> &checks, const PrintSettings &settings,
                     const std::function<bool(QPrinter &)> &print);

// The calibration page in client pixels: a cross at each of Calibration's two
// places and 100 mm rulers with millimetre ticks along the client area's top
// and left edges.
void paintCalibrationPage(QPainter &painter);

} // namespace Waybill
