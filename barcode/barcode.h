#pragma once

#include <QRectF>
#include <QString>
#include <QVector>

namespace Barcode {

enum class Kind {
    Code128, // automatic subsets; printable ASCII only
    QrCode,  // UTF-8, with ECI 26 when the text is not plain ASCII
};

enum class QrLevel { L, M, Q, H };

// A symbol as the encoder gives it, in modules: the narrowest bar (or a QR
// module) is 1 wide. Code 128 bars are 1 high; they are stretched to the box.
struct Symbol
{
    QString whyNot;       // empty when the content was encoded
    QVector<QRectF> bars; // the dark rectangles, from the symbol's top-left
    QSizeF size;          // the symbol without its quiet zone
    QString text;         // the human-readable line (Code 128)
    int eci = 0;          // the character set the symbol declares: 26 is UTF-8

    bool ok() const { return whyNot.isEmpty(); }
};

// The only door to zint (libzint 2.11): every call to it is in barcode.cpp.
Symbol encode(Kind kind, const QString &content, QrLevel level = QrLevel::M);

// The light margin a scanner needs on each side, in modules.
int quietZone(Kind kind);

} // namespace Barcode
