#pragma once

#include <QFont>
#include <QPointF>
#include <QString>

class QPainter;

// Text on the packing pages, laid out in hundredths of a millimetre: fonts are
// sized in whole pixels, and a pixel this small keeps every size true to
// 0.01 mm whatever device the page is drawn on, so the page breaks found once
// hold on the screen, in a PDF and on the printer alike.
namespace PageText {

constexpr double Units = 100;

// The Song face the program prints with, at pointSize.
QFont font(double pointSize, bool bold = false);
// The height of text broken into lines at width, at most maxLines of them.
double height(const QString &text, const QFont &font, double width, int maxLines);
// Draws it from topLeft; a text of more lines than maxLines ends in "…" on the last.
void draw(QPainter &painter, const QString &text, const QFont &font, QPointF topLeft, double width,
          int maxLines, Qt::Alignment alignment = Qt::AlignLeft);

} // namespace PageText
