#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>

#include <optional>

class Platform;

namespace Waybill {

// How one courier's waybills go onto paper. The defaults are the plain page: the
// system's default printer with its default paper, the client area at true size
// with its corner on the corner of the printable area.
struct PrintSettings
{
    static constexpr double MaxOffset = 30;  // mm either way
    static constexpr double MinScale = 0.9;  // 90 %
    static constexpr double MaxScale = 1.1;  // 110 %
    static constexpr double MinPaper = 20;   // mm
    static constexpr double MaxPaper = 1000; // mm

    QString printer; // empty: the system's default printer
    QSizeF paper;    // mm; empty: the printer's default paper
    bool landscape = false;
    QPointF offset; // mm, added to the printable area's corner
    double scaleX = 1, scaleY = 1;

    bool operator==(const PrintSettings &other) const;
    bool operator!=(const PrintSettings &other) const { return !(*this == other); }

    // Where a point of the client area (in millimetres from its corner) lands,
    // in millimetres from the paper's corner, given the printable area's corner.
    QPointF toPaper(QPointF clientMm, QPointF printableCorner) const;
    QRectF toPaper(const QRectF &clientMm, QPointF printableCorner) const;
    // The same for painting: client pixels (96 to the inch) to printer pixels
    // from the printable area's corner, at dpi printer pixels to the inch.
    QTransform clientToPrintable(double dpi) const;

    // Kept in the settings file beside the default sender, one section per
    // courier. Values missing or out of range read as their defaults.
    static PrintSettings load(const Platform &platform, const QString &courier);
    bool save(Platform &platform, const QString &courier) const;
};

// Reads the printer's error off a calibration page. The page puts two crosses
// at known places of the client area; the user measures where they landed on the
// paper, and the settings that put them where they belong follow from it, per
// axis: the printer maps a place p it is given to e + f * p, so two crosses give
// f * scale, and the first cross gives e.
class Calibration
{
public:
    // Where the crosses are, in millimetres of the client area.
    static constexpr QPointF First{20, 20};
    static constexpr QPointF Second{150, 90};

    // current: the settings the page was printed with; printableCorner: of its
    // paper; first, second: where the crosses landed, mm from the paper's corner.
    // The settings that put the client area at true size on the printable
    // area's corner, or nothing when the marks cannot be right (crosses in the
    // wrong order, or a correction beyond what the settings allow).
    static std::optional<PrintSettings> solve(const PrintSettings &current, QPointF printableCorner,
                                              QPointF first, QPointF second);

    // The page the crosses are measured on: the settings it was printed with and
    // the printable corner of its paper. Kept in the settings file when it
    // prints, so that measuring it later, in another dialog, solves from it too.
    struct Page
    {
        PrintSettings printedWith;
        QPointF printableCorner;
    };
    static bool rememberPage(Platform &platform, const QString &courier, const Page &page);
    // The last page printed for the courier, or nothing when none was.
    static std::optional<Page> lastPage(const Platform &platform, const QString &courier);
};

} // namespace Waybill
