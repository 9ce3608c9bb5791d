#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace Designer {

// Where the page lies on the designer's canvas: millimetres of the page to
// canvas pixels at a zoom, the page drawn a margin away from the canvas's corner.
class PageMapping
{
public:
    static constexpr double PixelsPerMm = 96 / 25.4; // at 100 %
    static constexpr int Margin = 12;                // pixels around the page

    explicit PageMapping(double zoom = 1) : m_zoom(zoom) {}

    double zoom() const { return m_zoom; }
    double pixelsPerMm() const { return PixelsPerMm * m_zoom; }

    QPointF toPixels(QPointF mm) const;
    QRectF toPixels(const QRectF &mm) const;
    QPointF toMm(QPointF pixels) const;
    // A distance on the canvas in millimetres.
    QPointF lengthToMm(QPointF pixels) const { return pixels / pixelsPerMm(); }
    // The canvas that holds the whole page and its margin.
    QSizeF canvasSize(QSizeF paper) const;

private:
    double m_zoom;
};

// Places the picture of a blank form on the page from two of its points: where
// the user clicked them on the page as the picture is placed now, and where they
// truly are on the form, measured in millimetres. The picture keeps its
// proportions (a scan is not stretched one way only), so the scale comes from the
// distance between the points and the place from the first point; the second
// point's direction is not used, a turned scan is not straightened.
//
// The new place, or nothing when the points coincide (on the picture or on the
// form) and say nothing of the scale.
std::optional<QRectF> alignPicture(const QRectF &place, QPointF clicked1, QPointF clicked2, QPointF true1,
                                   QPointF true2);

// Millimetres kept to a hundredth, so that steps of 0.1 mm add up to round figures.
double roundMm(double mm);
QRectF roundMm(const QRectF &mm);

} // namespace Designer
