#include "forms/formpainter.h"

#include "barcode/barcodepainter.h"

#include "forms/formpicture.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <cmath>

namespace Forms {

namespace {

// Text is laid out in hundredths of a millimetre: fonts are sized in whole
// pixels, and a pixel this small keeps every size true to 0.01 mm whatever
// device draws it.
constexpr double Units = 100;

// What a barcode field asks of the barcode painter, at the device's resolution
// (0: the nominal module, for a check before the printer is known).
Barcode::Request barcodeRequest(const FormField &field, const QString &content, int dpi)
{
    Barcode::Request request;
    request.content = content;
    request.kind = field.symbol == FormField::Symbol::QrCode ? Barcode::Kind::QrCode : Barcode::Kind::Code128;
    request.moduleMm = field.moduleMm;
    request.showText = field.showText;
    const QString levels = QStringLiteral("LMQH");
    request.level = Barcode::QrLevel(std::max<qsizetype>(0, levels.indexOf(field.errorLevel)));
    request.box = field.box;
    request.dpi = dpi;
    return request;
}

// Anything but the screen is paper, where a barcode must scan: a printer, a
// PDF, a page drawn as an image.
bool onPaper(const QPainter &painter)
{
    const QPaintDevice *device = painter.device();
    return device && device->devType() != QInternal::Widget && device->devType() != QInternal::Pixmap;
}
constexpr double MmPerPoint = 25.4 / 72;

// The picture behind the fields on screen: pale enough that the text stays clear.
constexpr double FaintOpacity = 0.3;

int pixelSize(const FormField &field, double factor)
{
    return qMax(1, int(std::floor(field.pointSize * MmPerPoint * Units * factor + 0.5)));
}

QFont fieldFont(const FormField &field, int pixels)
{
    QFont font;
    QStringList families{field.fontFamily};
    // The waybills are laid out for 宋体; where it is missing a Song face from
    // the distribution keeps the look and the width.
    if (field.fontFamily == QStringLiteral("宋体") || field.fontFamily == QStringLiteral("SimSun"))
        families << QStringLiteral("SimSun") << QStringLiteral("AR PL UMing CN");
    font.setFamilies(families);
    font.setPixelSize(pixels);
    font.setWeight(field.bold ? QFont::Bold : QFont::Normal);
    font.setKerning(false);
    // Outlines as designed: hinting would move glyphs by whole pixels of a
    // device the layout does not know.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QRectF unitsBox(const FormField &field)
{
    const QRectF &b = field.box;
    return QRectF(b.x() * Units, b.y() * Units, b.width() * Units, b.height() * Units);
}

QString flowText(const FormField &field, QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Only a wrapped field keeps the user's line breaks.
    text.replace(QLatin1Char('\n'),
                 field.fit == FormField::Fit::Wrap ? QString(QChar::LineSeparator) : QStringLiteral(" "));
    return text;
}

// Lays text out in the box from its top; the lines that show, and in cut
// whether a line was left out or a line is wider than the box.
struct Laid
{
    int shown = 0;
    double height = 0;
    bool cut = false;
};

Laid layOut(QTextLayout &layout, const FormField &field, const QString &text, const QFont &font,
            const QRectF &box)
{
    layout.setText(flowText(field, text));
    layout.setFont(font);
    QTextOption option(field.alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(field.fit == FormField::Fit::Wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                                         : QTextOption::NoWrap);
    layout.setTextOption(option);
    Laid laid;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(box.width());
        // The first line always shows; a later one only when all of it fits.
        if (laid.shown > 0 && laid.height + line.height() > box.height() + 0.5) {
            laid.cut = true;
            break;
        }
        line.setPosition(QPointF(0, laid.height));
        laid.height += line.height();
        if (line.naturalTextWidth() > box.width() + 0.5)
            laid.cut = true;
        ++laid.shown;
    }
    layout.endLayout();
    return laid;
}

double verticalOffset(Qt::Alignment alignment, double boxHeight, double textHeight)
{
    if (alignment & Qt::AlignBottom)
        return boxHeight - textHeight;
    if (alignment & Qt::AlignVCenter)
        return (boxHeight - textHeight) / 2;
    return 0;
}

QStringList characters(const QString &text)
{
    QStringList list;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\r') || text.at(i) == QLatin1Char('\n'))
            continue;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size()) {
            list.append(text.mid(i, 2));
            ++i;
        } else {
            list.append(text.at(i));
        }
    }
    return list;
}

void paintPitched(QPainter &painter, const FormField &field, const QString &text, const QRectF &box)
{
    const QFont font = fieldFont(field, pixelSize(field, 1));
    const QFontMetricsF metrics(font);
    const double pitch = field.pitch * Units;
    const double baseline =
        box.top() + verticalOffset(field.alignment, box.height(), metrics.height()) + metrics.ascent();
    painter.setFont(font);
    const QStringList chars = characters(text);
    for (int i = 0; i < chars.size(); ++i) {
        // Centred by its ink, not its advance: narrow digits such as 1 sit in
        // the middle of their box too.
        const QRectF ink = metrics.tightBoundingRect(chars.at(i));
        const double centre = box.left() + pitch * (i + 0.5);
        painter.drawText(QPointF(centre - ink.center().x(), baseline), chars.at(i));
    }
}

void paintCheckMark(QPainter &painter, const QRectF &box)
{
    const double side = qMin(box.width(), box.height());
    const double pen = side * 0.12;
    // A tick inside the box, its stroke kept within it.
    const QRectF r = QRectF(0, 0, side, side)
                         .adjusted(pen, pen, -pen, -pen)
                         .translated(box.center() - QPointF(side / 2, side / 2));
    QPainterPath tick;
    tick.moveTo(r.left(), r.top() + r.height() * 0.55);
    tick.lineTo(r.left() + r.width() * 0.38, r.bottom());
    tick.lineTo(r.right(), r.top());
    painter.setPen(QPen(Qt::black, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tick);
}

} // namespace

FormPainter::FormPainter(const Form &form, double backgroundDpi)
    : m_form(form), m_backgroundDpi(backgroundDpi)
{
}

const QImage &FormPainter::background() const
{
    if (!m_faintPicture) {
        const QSizeF shown = m_form.picturePlace.size() * m_backgroundDpi / 25.4;
        m_faintPicture = m_form.picture.isEmpty()
                             ? QImage()
                             : FormPicture::decode(m_form.picture, shown.toSize().expandedTo(QSize(1, 1)));
    }
    return *m_faintPicture;
}

double FormPainter::shrinkFactor(const FormField &field, const QString &text) const
{
    if (field.fit != FormField::Fit::Shrink || text.isEmpty())
        return 1;
    const QRectF box = unitsBox(field);
    double factor = 1;
    // The widths follow the size almost in proportion; a few rounds settle
    // the pixel the rounding of the size adds.
    for (int round = 0; round < 8; ++round) {
        QTextLayout layout;
        layOut(layout, field, text, fieldFont(field, pixelSize(field, factor)), QRectF(0, 0, 1e9, 1e9));
        const QTextLine line = layout.lineAt(0);
        const double width = line.naturalTextWidth(), height = line.height();
        if (width <= box.width() && height <= box.height())
            break;
        factor *= qMin(box.width() / qMax(width, 1.0), box.height() / qMax(height, 1.0)) * 0.995;
    }
    return factor;
}

void FormPainter::paint(QPainter &painter, const FormValues &values, Background background) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (background == FaintBackground && !this->background().isNull()) {
        painter.setOpacity(FaintOpacity);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(m_form.picturePlace, this->background());
        painter.setOpacity(1);
    }
    painter.scale(1 / Units, 1 / Units);
    painter.setPen(Qt::black);
    for (const FormField &field : m_form.fields) {
        const QString text = fieldText(field, values);
        if (field.symbol != FormField::Symbol::None) {
            // Drawn in millimetres on the device's dot grid, never shrunk; one
            // that cannot scan is red on the screen and left off the paper.
            const Barcode::BarcodePainter barcode(
                barcodeRequest(field, text, painter.device() ? painter.device()->logicalDpiX() : 0));
            if (barcode.ok() || !onPaper(painter)) {
                painter.save();
                painter.scale(Units, Units);
                barcode.paint(painter);
                painter.restore();
            }
            continue;
        }
        if (text.isEmpty())
            continue;
        const QRectF box = unitsBox(field);
        painter.save();
        // Nothing a field draws leaves its box.
        painter.setClipRect(box, Qt::IntersectClip);
        if (field.source == FormField::Source::CheckMark) {
            paintCheckMark(painter, box);
        } else if (field.pitch > 0) {
            paintPitched(painter, field, text, box);
        } else {
            QTextLayout layout;
            const Laid laid = layOut(layout, field, text,
                                     fieldFont(field, pixelSize(field, shrinkFactor(field, text))), box);
            const QPointF at(box.left(),
                             box.top() + verticalOffset(field.alignment, box.height(), laid.height));
            for (int i = 0; i < laid.shown; ++i)
                layout.lineAt(i).draw(&painter, at);
        }
        painter.restore();
    }
    painter.restore();
}

void FormPainter::paintClientPixels(QPainter &painter, const FormValues &values, Background background) const
{
    painter.save();
    painter.scale(PixelsPerMm, PixelsPerMm);
    paint(painter, values, background);
    painter.restore();
}

void FormPainter::paintOnPage(QPainter &painter, const FormValues &values, bool turned,
                              Background background) const
{
    painter.save();
    if (turned) {
        painter.translate(m_form.paper.height() * PixelsPerMm, 0);
        painter.rotate(90);
    }
    paintClientPixels(painter, values, background);
    painter.restore();
}

bool FormPainter::turnedOnPage(const Form &form, QSizeF paper, bool landscape)
{
    if (!landscape || paper.isEmpty())
        return false;
    const bool wideForm = form.paper.width() > form.paper.height();
    const bool widePaper = paper.width() > paper.height();
    return wideForm == widePaper && form.paper.width() != form.paper.height();
}

bool FormPainter::overflows(const FormField &field, const FormValues &values) const
{
    const QString text = fieldText(field, values);
    if (field.symbol != FormField::Symbol::None)
        return !Barcode::BarcodePainter(barcodeRequest(field, text, 0)).ok();
    if (text.isEmpty() || field.source == FormField::Source::CheckMark || field.fit == FormField::Fit::Shrink)
        return false;
    if (field.pitch > 0)
        return characters(text).size() * field.pitch > field.box.width() + 0.01;
    QTextLayout layout;
    return layOut(layout, field, text, fieldFont(field, pixelSize(field, 1)), unitsBox(field)).cut;
}

QStringList FormPainter::overflowingFields(const FormValues &values) const
{
    QStringList names;
    for (const FormField &field : m_form.fields) {
        if (overflows(field, values))
            names.append(fieldCaption(field));
    }
    return names;
}

} // namespace Forms
