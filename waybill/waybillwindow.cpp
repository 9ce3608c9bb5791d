#include "waybill/waybillwindow.h"

#include "platform/platform.h"
#include "ui/appicon.h"
#include "ui/twips.h"
#include "waybill/frmprintsettings.h"
#include "waybill/printjob.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
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

// What the user calls a field, for the question about cut fields.
QString fieldCaption(const QString &name)
{
    static const QHash<QString, QString> captions{
        {QStringLiteral("txtSent"), QStringLiteral("寄件单位")},
        {QStringLiteral("txtName"), QStringLiteral("寄件人")},
        {QStringLiteral("txtAdd"), QStringLiteral("寄件地址")},
        {QStringLiteral("txtTel"), QStringLiteral("寄件电话")},
        {QStringLiteral("txtSentTo"), QStringLiteral("收件单位")},
        {QStringLiteral("txtNameTo"), QStringLiteral("收件人")},
        {QStringLiteral("txtAddTo"), QStringLiteral("收件地址")},
        {QStringLiteral("txtTelTo"), QStringLiteral("收件电话")},
        {QStringLiteral("txtCTo"), QStringLiteral("目的城市")},
    };
    return captions.value(name, name);
}

// The fields of a client area cut short, named for the user.
QStringList cutFieldsOf(const QWidget &client)
{
    QStringList names;
    for (const FieldLabel *field : client.findChildren<FieldLabel *>(Qt::FindDirectChildrenOnly)) {
        if (!field->isHidden() && field->isCut())
            names.append(fieldCaption(field->objectName()));
    }
    return names;
}

// Painted field by field rather than with QWidget::render(), which hands a
// printer a bitmap: the text goes to the printer as text.
void paintFieldsOf(const QWidget &client, QPainter &painter)
{
    painter.fillRect(client.rect(), client.palette().color(client.backgroundRole()));
    painter.setClipRect(client.rect());
    const QList<FieldLabel *> fields = client.findChildren<FieldLabel *>(Qt::FindDirectChildrenOnly);
    for (const FieldLabel *field : fields) {
        if (field->isHidden())
            continue;
        painter.save();
        painter.translate(field->pos());
        field->paint(painter);
        painter.restore();
    }
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

int FieldLabel::layOut(QTextLayout &layout, bool *cut) const
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
    if (cut)
        *cut = false;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width());
        // The first line always shows, cut by the box if a font is taller than
        // the box; a later line only when all of it fits.
        if (shown > 0 && y + line.height() > height()) {
            if (cut)
                *cut = true;
            break;
        }
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

bool FieldLabel::isCut() const
{
    if (m_sizing != Field::Fixed)
        return false;
    QTextLayout layout;
    bool cut = false;
    layOut(layout, &cut);
    return cut;
}

void FieldLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter);
    // Only here, on screen: printing paints the text alone.
    if (isCut()) {
        painter.setClipping(false);
        painter.setPen(QPen(Qt::red, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

PrintWindow::PrintWindow(Platform &platform, QSize pixels, QString settingsSection, QString name,
                         QString jobTitle, PrintSettings settings)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      m_platform(platform), m_settingsSection(std::move(settingsSection)), m_name(std::move(name)),
      m_jobTitle(std::move(jobTitle)), m_settings(std::move(settings))
{
    setWindowTitle(QStringLiteral("Quillbox"));
    setWindowIcon(appIcon());
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(pixels);
    // The window colour of the paper model: white in the default scheme.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    // Created first, so they lead the tab order; the fields take no focus.
    const auto button = [this](const char16_t *objectName, const QString &caption, int left) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromUtf16(objectName));
        b->setAccessibleName(caption);
        b->setGeometry(Twips::rect(left, 120, 1215, 615));
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    // 设置 spaced from 退出 as 退出 is from 打印.
    Command1 = button(u"Command1", QStringLiteral("打印"), 120);
    Command2 = button(u"Command2", QStringLiteral("退出"), 1560);
    cmdSettings = button(u"cmdSettings", QStringLiteral("设置"), 3000);
    connect(Command1, &QPushButton::clicked, this, &PrintWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &PrintWindow::Command2_Click);
    connect(cmdSettings, &QPushButton::clicked, this, &PrintWindow::cmdSettings_Click);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect area(QPoint(), size());
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
    Command1->setFocus();
}

void PrintWindow::addPrintCheck(std::function<bool()> check)
{
    m_printChecks.push_back(std::move(check));
}

void PrintWindow::keyPressEvent(QKeyEvent *event)
{
    // Neither button is a cancel button: Escape leaves the window open.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PrintWindow::Command1_Click()
{
    aboutToPrint();
    confirmAndPrint(m_platform, cutFields(), m_printChecks, m_settings,
                    [this](QPrinter &printer) { return printOn(printer); });
}

void PrintWindow::Command2_Click()
{
    close();
}

void PrintWindow::cmdSettings_Click()
{
    frmPrintSettings dialog(m_platform, m_settingsSection, m_name, m_settings, pageMm(), fieldBoxesMm(),
                            this);
    if (dialog.exec() == QDialog::Accepted)
        m_settings = dialog.settings();
}

void PrintWindow::showButtons(bool shown)
{
    Command1->setVisible(shown);
    Command2->setVisible(shown);
    cmdSettings->setVisible(shown);
}

bool PrintWindow::printOn(QPrinter &printer)
{
    showButtons(false);
    const QString failure = printPage(
        printer, m_settings, m_jobTitle, [this](QPainter &painter) { paintPage(painter); },
        m_platform.printQueue());
    if (failure.isEmpty()) {
        Q_EMIT printed(printerShownName(printer));
        close();
        return true;
    }
    showButtons(true);
    Command1->setFocus();
    m_platform.messageBox(failure, QStringLiteral("打印失败"), Dialogs::Exclamation);
    return false;
}

namespace {

// Window pixels as millimetres.
QRectF pixelsToMm(const QRectF &pixels)
{
    constexpr double mm = 25.4 / Twips::PixelsPerInch;
    return QRectF(pixels.x() * mm, pixels.y() * mm, pixels.width() * mm, pixels.height() * mm);
}

} // namespace

Window::Window(const Description &description, Platform &platform, const FieldReader &read)
    : PrintWindow(platform,
                  QSize(Twips::toPixels(description.clientWidth), Twips::toPixels(description.clientHeight)),
                  description.settingsSection.toString(), description.courier.toString(),
                  description.jobTitle.toString(),
                  PrintSettings::load(platform, description.settingsSection.toString()))
{
    for (const Field &field : description.fields)
        (new FieldLabel(field, this))->fill(field.fill(read));
}

QStringList Window::cutFields() const
{
    return cutFieldsOf(*this);
}

void Window::paintPage(QPainter &painter) const
{
    paintFieldsOf(*this, painter);
}

QSizeF Window::pageMm() const
{
    return pixelsToMm(rect()).size();
}

QList<std::pair<QString, QRectF>> Window::fieldBoxesMm() const
{
    // Each field's box as it is now.
    QList<std::pair<QString, QRectF>> fields;
    for (const FieldLabel *field : findChildren<FieldLabel *>(Qt::FindDirectChildrenOnly))
        fields.append({fieldCaption(field->objectName()), pixelsToMm(field->geometry().intersected(rect()))});
    return fields;
}

Sheet::Sheet(const Description &description, const FieldReader &read)
{
    // Sized and coloured as the window, so that it paints the very same page.
    m_client.setFixedSize(Twips::toPixels(description.clientWidth),
                          Twips::toPixels(description.clientHeight));
    m_client.setBackgroundRole(QPalette::Base);
    for (const Field &field : description.fields) {
        auto *label = new FieldLabel(field, &m_client);
        label->fill(field.fill(read));
        // Shown as the window shows its fields, though m_client itself never shows.
        label->show();
    }
}

QStringList Sheet::cutFields() const
{
    return cutFieldsOf(m_client);
}

void Sheet::paint(QPainter &painter) const
{
    paintFieldsOf(m_client, painter);
}

} // namespace Waybill
