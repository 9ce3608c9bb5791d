#include "barcode/barcodepainter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>

#include <cmath>

namespace Barcode {

namespace {

constexpr double MmPerInch = 25.4;
// A module within this share of a dot of a whole number of dots is that
// number: 0.254 mm at 300 dpi is 3 dots, not 4.
constexpr double DotSlack = 0.01;
// Shorter bars are hard to aim a hand scanner at.
constexpr double MinBarHeightMm = 5;
// The human-readable line: its font size and its gap above, in mm.
constexpr double TextSizeMm = 2.5;
constexpr double TextGapMm = 0.5;
// Text is laid out in hundredths of a millimetre, as the form's fields are.
constexpr double Units = 100;

QFont textFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPixelSize(int(TextSizeMm * Units));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QString mm(double value)
{
    return QString::number(value, 'f', 1);
}

} // namespace

int moduleDots(double moduleMm, int dpi)
{
    if (dpi <= 0)
        return 0;
    return qMax(1, int(std::ceil(moduleMm * dpi / MmPerInch - DotSlack)));
}

QString moduleNote(double moduleMm, int dpi)
{
    const int dots = moduleDots(moduleMm, dpi);
    return QStringLiteral("模块宽 %1 mm → 打印机 %2 dpi：%3 点 = %4 mm")
        .arg(QString::number(moduleMm, 'f', 2))
        .arg(dpi)
        .arg(dots)
        .arg(QString::number(dots * MmPerInch / dpi, 'f', 3));
}

BarcodePainter::BarcodePainter(const Request &request)
    : m_request(request), m_symbol(encode(request.kind, request.content, request.level))
{
    if (!m_symbol.ok()) {
        m_whyNot = m_symbol.whyNot;
        return;
    }
    const double dotMm = request.dpi > 0 ? MmPerInch / request.dpi : 0;
    const double quiet = 2 * quietZone(request.kind);
    const QSizeF modules(m_symbol.size.width() + quiet, m_symbol.size.height() + quiet);
    const double minModule =
        request.dpi > 0 ? moduleDots(request.moduleMm, request.dpi) * dotMm : request.moduleMm;
    if (request.kind == Kind::QrCode) {
        // A QR code fills its box with the largest whole-dot module that fits.
        const double side = qMin(request.box.width(), request.box.height());
        if (modules.width() * minModule > side + 1e-9) {
            m_whyNot = QStringLiteral("二维码放不下：最小模块 %1 mm 时要 %2 × %2 mm，框只有 %3 × %4 mm。")
                           .arg(QString::number(minModule, 'f', 3), mm(modules.width() * minModule),
                                mm(request.box.width()), mm(request.box.height()));
            return;
        }
        if (request.dpi > 0) {
            m_dots = qMax(moduleDots(request.moduleMm, request.dpi),
                          int(std::floor(side / (modules.width() * dotMm) + 1e-9)));
            m_moduleMm = m_dots * dotMm;
        } else {
            m_moduleMm = side / modules.width();
        }
        return;
    }
    m_dots = request.dpi > 0 ? moduleDots(request.moduleMm, request.dpi) : 0;
    m_moduleMm = minModule;
    const double width = modules.width() * m_moduleMm;
    if (width > request.box.width() + 1e-9) {
        m_whyNot = QStringLiteral("条码放不下：模块宽 %1 mm 时要 %2 mm 宽，框只有 %3 mm 宽。")
                       .arg(QString::number(m_moduleMm, 'f', 3), mm(width), mm(request.box.width()));
        return;
    }
    m_barHeightMm = request.box.height() - textHeightMm();
    if (m_barHeightMm < MinBarHeightMm - 1e-9) {
        m_whyNot = QStringLiteral("条码放不下：框高 %1 mm，条高至少要 %2 mm。")
                       .arg(mm(request.box.height()), mm(MinBarHeightMm));
        return;
    }
    // Bars end on a dot row too.
    if (request.dpi > 0)
        m_barHeightMm = std::floor(m_barHeightMm / dotMm) * dotMm;
}

double BarcodePainter::textHeightMm() const
{
    if (!m_request.showText || m_request.kind != Kind::Code128)
        return 0;
    return QFontMetricsF(textFont()).height() / Units + TextGapMm;
}

QSizeF BarcodePainter::sizeMm() const
{
    const double quiet = 2 * quietZone(m_request.kind);
    if (m_request.kind == Kind::QrCode)
        return QSizeF((m_symbol.size.width() + quiet) * m_moduleMm,
                      (m_symbol.size.height() + quiet) * m_moduleMm);
    return QSizeF((m_symbol.size.width() + quiet) * m_moduleMm, m_barHeightMm + textHeightMm());
}

void BarcodePainter::paint(QPainter &painter) const
{
    painter.save();
    if (!ok()) {
        painter.setPen(QPen(Qt::red, 0.3));
        painter.setBrush(QColor(255, 0, 0, 40));
        painter.drawRect(m_request.box);
        painter.restore();
        return;
    }
    // From here on the painter works in millimetres from the page's corner.
    // A printer's or PDF writer's origin is the corner of its paint rectangle,
    // which Qt's PDF engine places on whole points, not where the margins say.
    QPointF deviceCorner;
    if (auto *paged = dynamic_cast<QPagedPaintDevice *>(painter.device()))
        deviceCorner = QPointF(paged->pageLayout().paintRectPoints().topLeft()) * (MmPerInch / 72);
    const double deviceDpi = painter.device()->logicalDpiX();
    const QTransform toPage = painter.deviceTransform() *
                              QTransform::fromScale(MmPerInch / deviceDpi, MmPerInch / deviceDpi) *
                              QTransform::fromTranslate(deviceCorner.x(), deviceCorner.y());
    const QRectF box = toPage.mapRect(m_request.box);
    painter.setTransform(toPage.inverted(), true);

    const QSizeF size = sizeMm();
    const double quiet = quietZone(m_request.kind) * m_moduleMm;
    QPointF origin(box.left() + (box.width() - size.width()) / 2 + quiet,
                   m_request.kind == Kind::QrCode ? box.top() + (box.height() - size.height()) / 2 + quiet
                                                  : box.top());
    if (m_request.dpi > 0) {
        const double dotMm = MmPerInch / m_request.dpi;
        origin = QPointF(std::round(origin.x() / dotMm) * dotMm, std::round(origin.y() / dotMm) * dotMm);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const double barHeight = m_request.kind == Kind::QrCode ? m_moduleMm : m_barHeightMm;
    for (const QRectF &bar : m_symbol.bars) {
        painter.drawRect(QRectF(origin.x() + bar.x() * m_moduleMm, origin.y() + bar.y() * barHeight,
                                bar.width() * m_moduleMm, bar.height() * barHeight));
    }
    if (m_request.kind == Kind::Code128 && m_request.showText) {
        painter.scale(1 / Units, 1 / Units);
        painter.setFont(textFont());
        painter.setPen(Qt::black);
        const QRectF line(box.left() * Units, (origin.y() + m_barHeightMm + TextGapMm) * Units,
                          box.width() * Units, (textHeightMm() - TextGapMm) * Units);
        painter.drawText(line, Qt::AlignHCenter | Qt::AlignTop, m_symbol.text);
    }
    painter.restore();
}

} // namespace Barcode
