#include "waybill/frmprintsettings.h"

#include "platform/platform.h"
#include "waybill/printjob.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QVBoxLayout>

namespace Waybill {

namespace {

QDoubleSpinBox *numberBox(const QString &name, double low, double high, int decimals, QWidget *parent)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setSingleStep(0.1);
    box->setKeyboardTracking(false);
    return box;
}

// A labelled row whose control carries the label as its accessible name.
void addRow(QFormLayout *form, const QString &label, QWidget *control)
{
    control->setAccessibleName(label);
    form->addRow(label + QStringLiteral("："), control);
}

} // namespace

PagePreview::PagePreview(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("preview"));
    setAccessibleName(QStringLiteral("预览"));
    setMinimumSize(320, 400);
}

void PagePreview::setPage(QSizeF paper, const QRectF &printable, const PrintSettings &settings, QSizeF client,
                          const QList<std::pair<QString, QRectF>> &fields)
{
    m_paper = paper;
    m_printable = printable;
    m_settings = settings;
    m_client = client;
    m_fields = fields;
    update();
}

void PagePreview::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (m_paper.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    // Millimetres to the widget, the whole paper in view with a small border.
    const double scale = qMin((width() - 12) / m_paper.width(), (height() - 12) / m_paper.height());
    painter.translate((width() - m_paper.width() * scale) / 2, (height() - m_paper.height() * scale) / 2);
    painter.scale(scale, scale);
    const QRectF paper(QPointF(), m_paper);
    painter.fillRect(paper, QColor(0xd0, 0xd0, 0xd0));
    painter.fillRect(m_printable, Qt::white);
    painter.setPen(QPen(Qt::black, 0));
    painter.drawRect(paper);

    const QPointF corner = m_printable.topLeft();
    painter.setPen(QPen(Qt::darkGray, 0, Qt::DashLine));
    painter.drawRect(m_settings.toPaper(QRectF(QPointF(), m_client), corner));
    QFont small = font();
    small.setPixelSize(10);
    for (const auto &[caption, box] : m_fields) {
        const QRectF r = m_settings.toPaper(box, corner);
        painter.fillRect(r, QColor(0x40, 0x80, 0xff, 0x50));
        painter.setPen(QPen(QColor(0x20, 0x50, 0xc0), 0));
        painter.drawRect(r);
        // Captions in widget pixels, so that they stay legible at any scale.
        const QRectF onWidget = painter.transform().mapRect(r);
        painter.save();
        painter.resetTransform();
        painter.setFont(small);
        painter.drawText(onWidget.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                         caption);
        painter.restore();
    }
}

frmPrintSettings::frmPrintSettings(Platform &platform, const QString &section, const QString &courier,
                                   const PrintSettings &settings, QSizeF client,
                                   const QList<std::pair<QString, QRectF>> &fields, QWidget *parent)
    : QDialog(parent), m_platform(platform), m_section(section), m_client(client), m_fields(fields),
      m_opened(settings)
{
    setObjectName(QStringLiteral("frmPrintSettings"));
    setWindowTitle(QStringLiteral("打印设置 – ") + courier);

    auto *form = new QFormLayout;
    cmbPrinter = new QComboBox(this);
    cmbPrinter->setObjectName(QStringLiteral("cmbPrinter"));
    cmbPrinter->addItem(QStringLiteral("系统默认打印机"), QString());
    for (const QString &name : QPrinterInfo::availablePrinterNames())
        cmbPrinter->addItem(name, name);
    // A queue that is gone stays listed, so that the user sees what is set.
    if (!settings.printer.isEmpty() && cmbPrinter->findData(settings.printer) < 0)
        cmbPrinter->addItem(settings.printer + QStringLiteral("（已不存在）"), settings.printer);
    addRow(form, QStringLiteral("打印机"), cmbPrinter);

    cmbPaper = new QComboBox(this);
    cmbPaper->setObjectName(QStringLiteral("cmbPaper"));
    cmbPaper->addItems({QStringLiteral("打印机默认纸张"), QStringLiteral("自定义尺寸")});
    addRow(form, QStringLiteral("纸张"), cmbPaper);
    txtPaperWidth =
        numberBox(QStringLiteral("txtPaperWidth"), PrintSettings::MinPaper, PrintSettings::MaxPaper, 1, this);
    addRow(form, QStringLiteral("纸宽 (mm)"), txtPaperWidth);
    txtPaperHeight = numberBox(QStringLiteral("txtPaperHeight"), PrintSettings::MinPaper,
                               PrintSettings::MaxPaper, 1, this);
    addRow(form, QStringLiteral("纸高 (mm)"), txtPaperHeight);
    cmbOrientation = new QComboBox(this);
    cmbOrientation->setObjectName(QStringLiteral("cmbOrientation"));
    cmbOrientation->addItems({QStringLiteral("纵向"), QStringLiteral("横向")});
    addRow(form, QStringLiteral("方向"), cmbOrientation);

    txtOffsetX =
        numberBox(QStringLiteral("txtOffsetX"), -PrintSettings::MaxOffset, PrintSettings::MaxOffset, 2, this);
    addRow(form, QStringLiteral("水平偏移 (mm)"), txtOffsetX);
    txtOffsetY =
        numberBox(QStringLiteral("txtOffsetY"), -PrintSettings::MaxOffset, PrintSettings::MaxOffset, 2, this);
    addRow(form, QStringLiteral("垂直偏移 (mm)"), txtOffsetY);
    txtScaleX = numberBox(QStringLiteral("txtScaleX"), PrintSettings::MinScale * 100,
                          PrintSettings::MaxScale * 100, 2, this);
    addRow(form, QStringLiteral("水平缩放 (%)"), txtScaleX);
    txtScaleY = numberBox(QStringLiteral("txtScaleY"), PrintSettings::MinScale * 100,
                          PrintSettings::MaxScale * 100, 2, this);
    addRow(form, QStringLiteral("垂直缩放 (%)"), txtScaleY);

    auto *calibration = new QGroupBox(QStringLiteral("校准"), this);
    auto *calibrationLayout = new QVBoxLayout(calibration);
    cmdCalibrationPage = new QPushButton(QStringLiteral("打印校准页"), calibration);
    cmdCalibrationPage->setObjectName(QStringLiteral("cmdCalibrationPage"));
    cmdCalibrationPage->setAccessibleName(cmdCalibrationPage->text());
    auto *help =
        new QLabel(QStringLiteral("1. 在打印机里放一张运单纸，按“打印校准页”。\n"
                                  "2. 用直尺量出两个十字的中心距纸张左边和上边各多少毫米，填入下面四格。\n"
                                  "3. 按“计算偏移和缩放”，再按“确定”。\n"
                                  "十字本应落在可打印区左上角起 (%1, %2) 和 (%3, %4) 毫米处。")
                       .arg(Calibration::First.x())
                       .arg(Calibration::First.y())
                       .arg(Calibration::Second.x())
                       .arg(Calibration::Second.y()),
                   calibration);
    help->setObjectName(QStringLiteral("lblCalibrationHelp"));
    help->setWordWrap(true);
    auto *measured = new QFormLayout;
    txtCross1X = numberBox(QStringLiteral("txtCross1X"), 0, PrintSettings::MaxPaper, 1, calibration);
    addRow(measured, QStringLiteral("十字1 距左边 (mm)"), txtCross1X);
    txtCross1Y = numberBox(QStringLiteral("txtCross1Y"), 0, PrintSettings::MaxPaper, 1, calibration);
    addRow(measured, QStringLiteral("十字1 距上边 (mm)"), txtCross1Y);
    txtCross2X = numberBox(QStringLiteral("txtCross2X"), 0, PrintSettings::MaxPaper, 1, calibration);
    addRow(measured, QStringLiteral("十字2 距左边 (mm)"), txtCross2X);
    txtCross2Y = numberBox(QStringLiteral("txtCross2Y"), 0, PrintSettings::MaxPaper, 1, calibration);
    addRow(measured, QStringLiteral("十字2 距上边 (mm)"), txtCross2Y);
    cmdCalibrate = new QPushButton(QStringLiteral("计算偏移和缩放"), calibration);
    cmdCalibrate->setObjectName(QStringLiteral("cmdCalibrate"));
    cmdCalibrate->setAccessibleName(cmdCalibrate->text());
    calibrationLayout->addWidget(cmdCalibrationPage);
    calibrationLayout->addWidget(help);
    calibrationLayout->addLayout(measured);
    calibrationLayout->addWidget(cmdCalibrate);

    preview = new PagePreview(this);

    cmdOK = new QPushButton(QStringLiteral("确定"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setAccessibleName(cmdOK->text());
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAccessibleName(cmdCancel->text());

    auto *left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(calibration);
    left->addStretch();
    auto *top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(preview, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    showSettings(settings);

    connect(cmbPaper, &QComboBox::currentIndexChanged, this, &frmPrintSettings::cmbPaper_Change);
    for (QComboBox *box : {cmbPrinter, cmbOrientation})
        connect(box, &QComboBox::currentIndexChanged, this, &frmPrintSettings::updatePreview);
    for (QDoubleSpinBox *box : {txtPaperWidth, txtPaperHeight, txtOffsetX, txtOffsetY, txtScaleX, txtScaleY})
        connect(box, &QDoubleSpinBox::valueChanged, this, &frmPrintSettings::updatePreview);
    connect(cmdCalibrationPage, &QPushButton::clicked, this, &frmPrintSettings::cmdCalibrationPage_Click);
    connect(cmdCalibrate, &QPushButton::clicked, this, &frmPrintSettings::cmdCalibrate_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmPrintSettings::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmPrintSettings::showSettings(const PrintSettings &settings)
{
    const QSignalBlocker blockPaper(cmbPaper);
    cmbPrinter->setCurrentIndex(qMax(0, cmbPrinter->findData(settings.printer)));
    const bool custom = !settings.paper.isEmpty();
    cmbPaper->setCurrentIndex(custom ? 1 : 0);
    // A custom size starts from the waybill's own size.
    txtPaperWidth->setValue(custom ? settings.paper.width() : 230);
    txtPaperHeight->setValue(custom ? settings.paper.height() : 127);
    cmbOrientation->setCurrentIndex(settings.landscape ? 1 : 0);
    txtOffsetX->setValue(settings.offset.x());
    txtOffsetY->setValue(settings.offset.y());
    txtScaleX->setValue(settings.scaleX * 100);
    txtScaleY->setValue(settings.scaleY * 100);
    cmbPaper_Change();
}

PrintSettings frmPrintSettings::settings() const
{
    PrintSettings s;
    s.printer = cmbPrinter->currentData().toString();
    if (cmbPaper->currentIndex() == 1)
        s.paper = QSizeF(txtPaperWidth->value(), txtPaperHeight->value());
    s.landscape = cmbOrientation->currentIndex() == 1;
    s.offset = QPointF(txtOffsetX->value(), txtOffsetY->value());
    s.scaleX = txtScaleX->value() / 100;
    s.scaleY = txtScaleY->value() / 100;
    return s;
}

void frmPrintSettings::cmbPaper_Change()
{
    const bool custom = cmbPaper->currentIndex() == 1;
    txtPaperWidth->setEnabled(custom);
    txtPaperHeight->setEnabled(custom);
    updatePreview();
}

void frmPrintSettings::updatePreview()
{
    const PrintSettings s = settings();
    QString error;
    std::unique_ptr<QPrinter> printer = openPrinter(s, &error);
    if (!printer || (printer->printerName().isEmpty() && printer->outputFileName().isEmpty())) {
        // No such printer: the paper alone, all of it printable.
        const QSizeF paper = s.paper.isEmpty() ? QSizeF(210, 297) : s.paper;
        const QSizeF shown = s.landscape ? paper.transposed() : paper;
        preview->setPage(shown, QRectF(QPointF(), shown), s, m_client, m_fields);
        return;
    }
    printableCorner(*printer, s);
    const QPageLayout layout = printer->pageLayout();
    const QRectF paper = layout.fullRect(QPageLayout::Millimeter);
    QPageLayout mm = layout;
    mm.setUnits(QPageLayout::Millimeter);
    preview->setPage(paper.size(), paper.marginsRemoved(mm.minimumMargins()), s, m_client, m_fields);
}

void frmPrintSettings::cmdCalibrationPage_Click()
{
    const PrintSettings s = settings();
    QString error;
    std::unique_ptr<QPrinter> printer = openPrinter(s, &error);
    if (printer) {
        const QPointF corner = printableCorner(*printer, s);
        error = printPage(*printer, s, QStringLiteral("打印校准页"), paintCalibrationPage,
                          m_platform.printQueue());
        if (error.isEmpty()) {
            if (!Calibration::rememberPage(m_platform, m_section, {s, corner}))
                m_platform.messageBox(QStringLiteral("校准页已打印，但无法写入设置文件：关闭本窗口后"
                                                     "量得的位置将无法换算。"),
                                      QStringLiteral("提示"), Dialogs::Exclamation);
            return;
        }
    }
    m_platform.messageBox(error, QStringLiteral("打印失败"), Dialogs::Exclamation);
}

void frmPrintSettings::cmdCalibrate_Click()
{
    // Solved from what the measured page was printed with, never from the boxes,
    // which this button itself fills: pressed again, it gives the same answer.
    std::optional<Calibration::Page> page = Calibration::lastPage(m_platform, m_section);
    if (!page) {
        page = Calibration::Page{m_opened, QPointF()};
        QString error;
        std::unique_ptr<QPrinter> printer = openPrinter(m_opened, &error);
        if (printer)
            page->printableCorner = printableCorner(*printer, m_opened);
    }
    const std::optional<PrintSettings> solved = Calibration::solve(
        page->printedWith, page->printableCorner, QPointF(txtCross1X->value(), txtCross1Y->value()),
        QPointF(txtCross2X->value(), txtCross2Y->value()));
    if (!solved) {
        m_platform.messageBox(
            QStringLiteral("量得的位置无法换算成偏移和缩放。\n请检查四个数：十字2 应在十字1 "
                           "的右下方，相距约 130 和 70 毫米。"),
            QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    PrintSettings shown = settings();
    shown.offset = solved->offset;
    shown.scaleX = solved->scaleX;
    shown.scaleY = solved->scaleY;
    txtOffsetX->setValue(shown.offset.x());
    txtOffsetY->setValue(shown.offset.y());
    txtScaleX->setValue(shown.scaleX * 100);
    txtScaleY->setValue(shown.scaleY * 100);
}

void frmPrintSettings::cmdOK_Click()
{
    if (!settings().save(m_platform, m_section)) {
        m_platform.messageBox(QStringLiteral("打印设置没有保存。\n请检查设置文件能否写入后再按“确定”。"),
                              QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    accept();
}

} // namespace Waybill
