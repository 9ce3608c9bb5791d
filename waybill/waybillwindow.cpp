#include "waybill/waybillwindow.h"

#include "platform/platform.h"
#include "shell/appicon.h"
#include "shell/frmmain.h"
#include "shell/twips.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QTextLayout>
#include <QtMath>

namespace Waybill {

namespace {

// The paper waybills are laid out for 宋体. Where it is missing, a Song face from
// the distribution keeps the look and, like 宋体, fits a 12-point line into the
// 255-twip fields.
QFont fieldFont(const Field &field)
{
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN")});
    // Sized in pixels of the twips grid rather than in points of the screen, so
    // that the text keeps its size against the boxes on any screen and on paper.
    font.setPixelSize(qRound(field.points * Twips::PixelsPerInch / 72));
    font.setWeight(field.bold ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QString noPrinterMessage()
{
    return QStringLiteral("没有找到默认打印机，运单没有打印。\n请安装打印机并设为默认打印机后，再按“打印”。");
}

QString shownName(const QPrinter &printer)
{
    return printer.printerName().isEmpty() ? printer.outputFileName() : printer.printerName();
}

} // namespace

QString addressText(const FieldReader &main, QStringView side, QStringView beforeStreet)
{
    const auto part = [&](QStringView key) { return main(key.toString().append(side)); };
    return part(u"txtP") + part(u"txtC") + part(u"txtA") + beforeStreet.toString() + part(u"txtAdd");
}

QString spacedOut(const QString &text)
{
    QString spaced;
    spaced.reserve(text.size() * 2);
    for (const QChar c : text) {
        spaced += c;
        spaced += QLatin1Char(' ');
    }
    return spaced;
}

FieldLabel::FieldLabel(const Field &field, QWidget *parent) : QLabel(parent), m_sizing(field.sizing)
{
    setObjectName(field.name.toString());
    setGeometry(Twips::rect(field.left, field.top, field.width, field.height));
    setFont(fieldFont(field));
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(field.sizing == Field::Fixed);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(false);
    setMargin(0);
    setIndent(0);
}

void FieldLabel::fill(const QString &text)
{
    setText(text);
    if (m_sizing == Field::Auto) {
        const QFontMetricsF metrics(font());
        resize(qCeil(metrics.horizontalAdvance(text)), qCeil(metrics.height()));
    }
}

int FieldLabel::layOut(QTextLayout &layout) const
{
    QString text = this->text();
    text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    layout.setText(text);
    layout.setFont(font());
    QTextOption option(alignment());
    // Breaks at blanks and between Chinese characters; a word wider than the
    // field is broken too rather than cut off at the side.
    option.setWrapMode(m_sizing == Field::Fixed ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                                : QTextOption::NoWrap);
    layout.setTextOption(option);

    int shown = 0;
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width());
        // The first line always shows, cut by the box if a font is taller than
        // the box; a later line only when all of it fits.
        if (shown > 0 && y + line.height() > height())
            break;
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++shown;
    }
    layout.endLayout();
    return shown;
}

QStringList FieldLabel::shownLines() const
{
    QTextLayout layout;
    const int shown = layOut(layout);
    QStringList lines;
    for (int i = 0; i < shown; ++i) {
        const QTextLine line = layout.lineAt(i);
        QString part = layout.text().mid(line.textStart(), line.textLength());
        if (part.endsWith(QChar::LineSeparator))
            part.chop(1);
        lines.append(part);
    }
    return lines;
}

void FieldLabel::paint(QPainter &painter) const
{
    QTextLayout layout;
    const int shown = layOut(layout);
    painter.setClipRect(rect(), Qt::IntersectClip);
    painter.setPen(palette().color(foregroundRole()));
    for (int i = 0; i < shown; ++i)
        layout.lineAt(i).draw(&painter, QPointF());
}

void FieldLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter);
}

Window::Window(const Description &description, frmMain &main)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      m_platform(main.platform()), m_jobTitle(description.jobTitle.toString())
{
    setWindowTitle(QStringLiteral("Quillbox"));
    setWindowIcon(appIcon());
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(Twips::toPixels(description.clientWidth), Twips::toPixels(description.clientHeight));
    // The window colour of the paper model: white in the default scheme.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    // Created first, so they lead the tab order; the fields take no focus.
    const auto button = [this](const char16_t *name, const QString &caption, int left) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromUtf16(name));
        b->setGeometry(Twips::rect(left, 120, 1215, 615));
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    Command1 = button(u"Command1", QStringLiteral("打印"), 120);
    Command2 = button(u"Command2", QStringLiteral("退出"), 1560);
    connect(Command1, &QPushButton::clicked, this, &Window::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Window::Command2_Click);

    const FieldReader read = [&main](QStringView name) { return main.fieldText(name); };
    for (const Field &field : description.fields)
        (new FieldLabel(field, this))->fill(field.fill(read));

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect area(QPoint(), size());
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
    Command1->setFocus();
}

void Window::keyPressEvent(QKeyEvent *event)
{
    // Neither button is a cancel button: Escape leaves the window open.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Window::Command1_Click()
{
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    printOn(printer);
}

void Window::Command2_Click()
{
    close();
}

bool Window::printOn(QPrinter &printer)
{
    Command1->setVisible(false);
    Command2->setVisible(false);
    const QString failure = printClientArea(printer);
    if (failure.isEmpty()) {
        close();
        return true;
    }
    Command1->setVisible(true);
    Command2->setVisible(true);
    Command1->setFocus();
    m_platform.messageBox(failure, QStringLiteral("打印失败"), Dialogs::Exclamation);
    return false;
}

QString Window::printClientArea(QPrinter &printer)
{
    // With no default printer Qt gives a PDF printer with nowhere to write to.
    if (printer.printerName().isEmpty() && printer.outputFileName().isEmpty())
        return noPrinterMessage();
    if (!printer.isValid())
        return QStringLiteral("打印机“%1”不可用，运单没有打印。\n请检查打印机后再打印。")
            .arg(shownName(printer));

    printer.setDocName(m_jobTitle);
    printer.setFullPage(false);
    // The client area's corner goes to the corner of the printable area; the
    // default margins of 10 points would move every field 3.5 mm.
    const QPageLayout page = printer.pageLayout();
    printer.setPageMargins(page.minimumMargins(), page.units());

    QPainter painter;
    if (!painter.begin(&printer)) {
        return QStringLiteral("无法在打印机“%1”上开始打印作业，运单没有打印。\n请检查打印机后再打印。")
            .arg(shownName(printer));
    }
    // 15 twips to the pixel: 96 pixels of the window make one inch on paper.
    const qreal scale = printer.resolution() / qreal(Twips::PixelsPerInch);
    painter.scale(scale, scale);
    paintClientArea(painter);
    if (!painter.end() || printer.printerState() == QPrinter::Error ||
        printer.printerState() == QPrinter::Aborted) {
        return QStringLiteral("打印机“%1”的打印作业失败，运单可能没有打印。\n请检查打印机后再打印。")
            .arg(shownName(printer));
    }
    return QString();
}

void Window::paintClientArea(QPainter &painter) const
{
    // Painted field by field rather than with QWidget::render(), which hands a
    // printer a bitmap: the text goes to the printer as text.
    painter.fillRect(rect(), palette().color(backgroundRole()));
    painter.setClipRect(rect());
    const QList<FieldLabel *> fields = findChildren<FieldLabel *>(Qt::FindDirectChildrenOnly);
    for (const FieldLabel *field : fields) {
        if (field->isHidden())
            continue;
        painter.save();
        painter.translate(field->pos());
        field->paint(painter);
        painter.restore();
    }
}

} // namespace Waybill
