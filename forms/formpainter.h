#pragma once

#include "forms/form.h"

#include <QImage>
#include <QStringList>

#include <optional>

class QPainter;

namespace Forms {

// Draws a form's fields for one set of values: each field's text in its box,
// in its font, aligned, wrapped, shrunk or spaced out as the field says.
// The same drawing serves the screen, the printer and the designer.
class FormPainter
{
public:
    enum Background {
        NoBackground,    // the fields alone: what goes onto paper
        FaintBackground, // the form's picture behind them, pale: on screen or a test print
    };

    // The picture behind the fields is decoded once, on the first faint
    // paint, at most at backgroundDpi for its place on the page: the screen
    // needs 96, paper no more than 200.
    explicit FormPainter(const Form &form, double backgroundDpi = 200);

    // The painter maps one unit to one millimetre of the page.
    void paint(QPainter &painter, const FormValues &values, Background background = NoBackground) const;
    // The painter works in client pixels, 96 to the inch (as a waybill window
    // and the print job give it).
    void paintClientPixels(QPainter &painter, const FormValues &values,
                           Background background = NoBackground) const;

    // The page as the printer is given it, in client pixels. turned: the form
    // drawn a quarter turn clockwise, its top along the page's right edge.
    void paintOnPage(QPainter &painter, const FormValues &values, bool turned,
                     Background background = NoBackground) const;
    // Whether a form printed on paper of that size (mm, empty: the printer's
    // own) is drawn turned. A landscape job's page is the paper turned, and the
    // driver turns it back onto the paper anticlockwise; a form the shape of the
    // paper is drawn turned so that it comes out upright and whole.
    static bool turnedOnPage(const Form &form, QSizeF paper, bool landscape);

    // Whether the field's text does not fit its box: a line left out, or a
    // line or spaced-out characters past its right edge.
    bool overflows(const FormField &field, const FormValues &values) const;
    // The captions of the fields whose text does not fit their boxes.
    QStringList overflowingFields(const FormValues &values) const;
    // How many times a field's own font size the text is drawn at (1 unless it
    // shrinks to fit).
    double shrinkFactor(const FormField &field, const QString &text) const;

    // The picture as the faint background draws it; null when the form has none
    // or it cannot be decoded.
    const QImage &background() const;

    // Millimetres to client pixels.
    static constexpr double PixelsPerMm = 96 / 25.4;

private:
    Form m_form;
    double m_backgroundDpi;
    mutable std::optional<QImage> m_faintPicture;
};

} // namespace Forms
