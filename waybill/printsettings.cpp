#include "waybill/printsettings.h"

#include "platform/platform.h"
#include "ui/twips.h"

#include <QtMath>

namespace Waybill {

namespace {

constexpr double MmPerInch = 25.4;

QString applicationName()
{
    return QStringLiteral("Pellory");
}

QString sectionName(const QString &courier)
{
    return QStringLiteral("Print") + courier;
}

// Two decimals: finer than any printer, and a saved value reads back the same.
QString number(double value)
{
    return QString::number(value, 'f', 2);
}

double readNumber(const Platform &platform, const QString &section, const QString &key, double fallback,
                  double low, double high)
{
    bool ok = false;
    const double value = platform.readSetting(applicationName(), section, key).toDouble(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

bool near(double a, double b)
{
    return qAbs(a - b) < 0.005;
}

} // namespace

bool PrintSettings::operator==(const PrintSettings &other) const
{
    return printer == other.printer && near(paper.width(), other.paper.width()) &&
           near(paper.height(), other.paper.height()) && landscape == other.landscape &&
           near(offset.x(), other.offset.x()) && near(offset.y(), other.offset.y()) &&
           near(scaleX * 100, other.scaleX * 100) && near(scaleY * 100, other.scaleY * 100);
}

QPointF PrintSettings::toPaper(QPointF clientMm, QPointF printableCorner) const
{
    return printableCorner + offset + QPointF(clientMm.x() * scaleX, clientMm.y() * scaleY);
}

QRectF PrintSettings::toPaper(const QRectF &clientMm, QPointF printableCorner) const
{
    return QRectF(toPaper(clientMm.topLeft(), printableCorner),
                  toPaper(clientMm.bottomRight(), printableCorner));
}

QTransform PrintSettings::clientToPrintable(double dpi) const
{
    const double perMm = dpi / MmPerInch;
    const double perPixel = dpi / Twips::PixelsPerInch;
    return QTransform::fromScale(perPixel * scaleX, perPixel * scaleY) *
           QTransform::fromTranslate(offset.x() * perMm, offset.y() * perMm);
}

PrintSettings PrintSettings::load(const Platform &platform, const QString &courier)
{
    const QString section = sectionName(courier);
    PrintSettings s;
    s.printer = platform.readSetting(applicationName(), section, QStringLiteral("Printer"));
    const double width = readNumber(platform, section, QStringLiteral("PaperWidth"), 0, MinPaper, MaxPaper);
    const double height = readNumber(platform, section, QStringLiteral("PaperHeight"), 0, MinPaper, MaxPaper);
    if (width > 0 && height > 0)
        s.paper = QSizeF(width, height);
    s.landscape =
        platform.readSetting(applicationName(), section, QStringLiteral("Landscape")) == QLatin1String("1");
    s.offset = QPointF(readNumber(platform, section, QStringLiteral("OffsetX"), 0, -MaxOffset, MaxOffset),
                       readNumber(platform, section, QStringLiteral("OffsetY"), 0, -MaxOffset, MaxOffset));
    s.scaleX =
        readNumber(platform, section, QStringLiteral("ScaleX"), 100, MinScale * 100, MaxScale * 100) / 100;
    s.scaleY =
        readNumber(platform, section, QStringLiteral("ScaleY"), 100, MinScale * 100, MaxScale * 100) / 100;
    return s;
}

bool PrintSettings::save(Platform &platform, const QString &courier) const
{
    const QString section = sectionName(courier);
    const QList<std::pair<QString, QString>> values{
        {QStringLiteral("Printer"), printer},
        {QStringLiteral("PaperWidth"), paper.isEmpty() ? QString() : number(paper.width())},
        {QStringLiteral("PaperHeight"), paper.isEmpty() ? QString() : number(paper.height())},
        {QStringLiteral("Landscape"), landscape ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("OffsetX"), number(offset.x())},
        {QStringLiteral("OffsetY"), number(offset.y())},
        {QStringLiteral("ScaleX"), number(scaleX * 100)},
        {QStringLiteral("ScaleY"), number(scaleY * 100)},
    };
    bool saved = true;
    for (const auto &[key, value] : values)
        saved = platform.writeSetting(applicationName(), section, key, value) && saved;
    return saved;
}

std::optional<PrintSettings> Calibration::solve(const PrintSettings &current, QPointF printableCorner,
                                                QPointF first, QPointF second)
{
    // Per axis: the crosses were sent to m + o + s * p and landed at L = e + f * (m + o + s * p).
    // The new settings must give e + f * (m + o' + s' * p) = m + p for every p.
    const auto axis = [](double m, double o, double s, double p1, double p2, double l1, double l2,
                         double *newOffset, double *newScale) {
        const double fs = (l2 - l1) / (p2 - p1); // f * s
        if (fs <= 0)
            return false;
        const double f = fs / s;
        const double c = l1 - fs * p1; // e + f * (m + o)
        *newScale = 1 / f;
        *newOffset = o + (m - c) / f;
        return true;
    };
    PrintSettings solved = current;
    double ox = 0, oy = 0;
    if (!axis(printableCorner.x(), current.offset.x(), current.scaleX, First.x(), Second.x(), first.x(),
              second.x(), &ox, &solved.scaleX) ||
        !axis(printableCorner.y(), current.offset.y(), current.scaleY, First.y(), Second.y(), first.y(),
              second.y(), &oy, &solved.scaleY))
        return std::nullopt;
    solved.offset = QPointF(ox, oy);
    const auto inRange = [](double value, double low, double high) {
        return value >= low - 1e-9 && value <= high + 1e-9;
    };
    using S = PrintSettings;
    if (!inRange(ox, -S::MaxOffset, S::MaxOffset) || !inRange(oy, -S::MaxOffset, S::MaxOffset) ||
        !inRange(solved.scaleX, S::MinScale, S::MaxScale) ||
        !inRange(solved.scaleY, S::MinScale, S::MaxScale))
        return std::nullopt;
    return solved;
}

namespace {

// Read back exactly: the solution must not move when the page is measured again.
QString exactNumber(double value)
{
    return QString::number(value, 'g', 17);
}

const QStringList &pageKeys()
{
    static const QStringList keys{
        QStringLiteral("CalibrationOffsetX"), QStringLiteral("CalibrationOffsetY"),
        QStringLiteral("CalibrationScaleX"),  QStringLiteral("CalibrationScaleY"),
        QStringLiteral("CalibrationCornerX"), QStringLiteral("CalibrationCornerY"),
    };
    return keys;
}

} // namespace

bool Calibration::rememberPage(Platform &platform, const QString &courier, const Page &page)
{
    const PrintSettings &s = page.printedWith;
    const double values[] = {
        s.offset.x(), s.offset.y(), s.scaleX, s.scaleY, page.printableCorner.x(), page.printableCorner.y()};
    bool saved = true;
    for (int i = 0; i < pageKeys().size(); ++i)
        saved = platform.writeSetting(applicationName(), sectionName(courier), pageKeys()[i],
                                      exactNumber(values[i])) &&
                saved;
    return saved;
}

std::optional<Calibration::Page> Calibration::lastPage(const Platform &platform, const QString &courier)
{
    double values[6];
    for (int i = 0; i < pageKeys().size(); ++i) {
        bool ok = false;
        values[i] =
            platform.readSetting(applicationName(), sectionName(courier), pageKeys()[i]).toDouble(&ok);
        if (!ok)
            return std::nullopt;
    }
    Page page;
    page.printedWith.offset = QPointF(values[0], values[1]);
    page.printedWith.scaleX = values[2];
    page.printedWith.scaleY = values[3];
    if (page.printedWith.scaleX <= 0 || page.printedWith.scaleY <= 0)
        return std::nullopt;
    page.printableCorner = QPointF(values[4], values[5]);
    return page;
}

} // namespace Waybill
