#include "designer/pagemapping.h"

#include <QLineF>
#include <QtMath>

namespace Designer {

QPointF PageMapping::toPixels(QPointF mm) const
{
    return mm * pixelsPerMm() + QPointF(Margin, Margin);
}

QRectF PageMapping::toPixels(const QRectF &mm) const
{
    return QRectF(toPixels(mm.topLeft()), mm.size() * pixelsPerMm());
}

QPointF PageMapping::toMm(QPointF pixels) const
{
    return (pixels - QPointF(Margin, Margin)) / pixelsPerMm();
}

QSizeF PageMapping::canvasSize(QSizeF paper) const
{
    return paper * pixelsPerMm() + QSizeF(2 * Margin, 2 * Margin);
}

std::optional<QRectF> alignPicture(const QRectF &place, QPointF clicked1, QPointF clicked2, QPointF true1,
                                   QPointF true2)
{
    const double onPage = QLineF(clicked1, clicked2).length();
    const double onForm = QLineF(true1, true2).length();
    if (onPage < 0.5 || onForm < 0.5)
        return std::nullopt;
    const double scale = onForm / onPage;
    // The first point stays on the same spot of the picture and moves to its true place.
    const QPointF topLeft = true1 - (clicked1 - place.topLeft()) * scale;
    return roundMm(QRectF(topLeft, place.size() * scale));
}

double roundMm(double mm)
{
    return qRound64(mm * 100) / 100.0;
}

QRectF roundMm(const QRectF &mm)
{
    return QRectF(roundMm(mm.x()), roundMm(mm.y()), roundMm(mm.width()), roundMm(mm.height()));
}

} // namespace Designer
