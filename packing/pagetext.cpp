#include "packing/pagetext.h"

#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace PageText {

namespace {

// Lays text out at width; the number of lines it took, all of them.
int layOut(QTextLayout &layout, const QString &text, const QFont &font, double width, Qt::Alignment alignment)
{
    QString flowing = text;
    flowing.replace(QLatin1Char('\n'), QChar::LineSeparator);
    layout.setText(flowing);
    layout.setFont(font);
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++lines;
    }
    layout.endLayout();
    return lines;
}

// The text as it is shown in at most maxLines: cut after the last whole line
// that fits, with "…" at its end.
QString fitted(const QString &text, const QFont &font, double width, int maxLines)
{
    QTextLayout layout;
    if (layOut(layout, text, font, width, Qt::AlignLeft) <= maxLines)
        return text;
    const QTextLine last = layout.lineAt(maxLines - 1);
    QString cut = text.left(last.textStart() + last.textLength()).trimmed();
    while (!cut.isEmpty()) {
        const QString shown = cut + QStringLiteral("…");
        QTextLayout trial;
        if (layOut(trial, shown, font, width, Qt::AlignLeft) <= maxLines)
            return shown;
        cut.chop(1);
    }
    return QStringLiteral("…");
}

} // namespace

QFont font(double pointSize, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN")});
    f.setPixelSize(std::max(1, int(std::lround(pointSize * 25.4 / 72 * Units))));
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setKerning(false);
    // Outlines as designed: hinting would move glyphs by whole pixels of a
    // device the layout does not know.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

double height(const QString &text, const QFont &font, double width, int maxLines)
{
    QTextLayout layout;
    layOut(layout, fitted(text, font, width, maxLines), font, width, Qt::AlignLeft);
    double h = 0;
    for (int i = 0; i < layout.lineCount(); ++i)
        h += layout.lineAt(i).height();
    return h;
}

void draw(QPainter &painter, const QString &text, const QFont &font, QPointF topLeft, double width,
          int maxLines, Qt::Alignment alignment)
{
    if (text.isEmpty())
        return;
    QTextLayout layout;
    layOut(layout, fitted(text, font, width, maxLines), font, width, alignment);
    layout.draw(&painter, topLeft);
}

} // namespace PageText
