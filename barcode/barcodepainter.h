#pragma once

#include "barcode/barcode.h"

#include <QRectF>
#include <QString>

class QPainter;

namespace Barcode {

// What a barcode field asks for.
struct Request
{
    QString content;
    Kind kind = Kind::Code128;
    double moduleMm = 0.25; // the narrowest bar, or the smallest QR module
    bool showText = true;   // the human-readable line under a Code 128
    QrLevel level = QrLevel::M;
    QRectF box;  // millimetres, in the painter's units
    int dpi = 0; // the printer's resolution; 0 draws without the dot grid
};

// The printer's dots a module of this width takes: a whole number, rounded
// up so that a bar is never narrower than asked, at least one.
int moduleDots(double moduleMm, int dpi);
// "模块宽 0.25 mm → 打印机 203 dpi：2 点 = 0.250 mm", for the editor.
QString moduleNote(double moduleMm, int dpi);

// Lays a barcode out in its box on the printer's dot grid and draws it as
// filled rectangles, so that it stays vector in a PDF and every bar edge
// falls on a printer dot boundary counted from the page's corner.
class BarcodePainter
{
public:
    explicit BarcodePainter(const Request &request);

    bool ok() const { return m_whyNot.isEmpty(); }
    // Why the barcode cannot be printed: empty content, content that cannot
    // be encoded, or a symbol that does not fit its box at the narrowest module.
    QString whyNot() const { return m_whyNot; }
    const Symbol &symbol() const { return m_symbol; }
    // The module used, in the printer's dots (0 without a resolution) and in mm.
    int dots() const { return m_dots; }
    double moduleMm() const { return m_moduleMm; }
    // The symbol's bars and their quiet zone, in millimetres.
    QSizeF sizeMm() const;

    // The painter maps one unit to one millimetre (as FormPainter::paint's
    // does), its origin anywhere; the page's corner is found from the device.
    // A barcode that cannot be printed is drawn as a red box.
    void paint(QPainter &painter) const;

private:
    double textHeightMm() const;

    Request m_request;
    Symbol m_symbol;
    QString m_whyNot;
    int m_dots = 0;
    double m_moduleMm = 0;
    double m_barHeightMm = 0;
};

} // namespace Barcode
