#include "forms/frmform.h"

#include "platform/platform.h"
#include "ui/appicon.h"
#include "ui/twips.h"
#include "waybill/frmprintsettings.h"
#include "waybill/printjob.h"
#include "waybill/waybillwindow.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QtMath>

using Forms::FormPainter;

frmForm::frmForm(Platform &platform, const Forms::Form &form, const Forms::FieldReader &read)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      m_platform(platform), m_form(form), m_painter(form), m_settings(loadSettings(platform, form))
{
    setObjectName(QStringLiteral("frmForm"));
    setWindowTitle(QStringLiteral("Quillbox"));
    setWindowIcon(appIcon());
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(qRound(form.paper.width() * FormPainter::PixelsPerMm),
                 qRound(form.paper.height() * FormPainter::PixelsPerMm));
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    // The contact fields are read once, now: the window shows the main window's
    // values as they stood when it opened.
    QHash<QString, QString> contact;
    for (const auto &[name, caption] : Forms::contactFields())
        contact.insert(name, read(name));
    m_values.contact = [contact](QStringView name) { return contact.value(name.toString()); };

    // Where the courier waybills have theirs.
    const Waybill::WindowButtons buttons = Waybill::addWindowButtons(this);
    Command1 = buttons.print;
    Command2 = buttons.quit;
    cmdSettings = buttons.settings;
    connect(Command1, &QPushButton::clicked, this, &frmForm::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmForm::Command2_Click);
    connect(cmdSettings, &QPushButton::clicked, this, &frmForm::cmdSettings_Click);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect area(QPoint(), size());
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
    Command1->setFocus();
}

QString frmForm::settingsSection(const Forms::Form &form)
{
    return QStringLiteral("Form") + QString(form.id).remove(QLatin1Char('-'));
}

Waybill::PrintSettings frmForm::loadSettings(const Platform &platform, const Forms::Form &form)
{
    Waybill::PrintSettings settings = Waybill::PrintSettings::load(platform, settingsSection(form));
    if (settings.paper.isEmpty()) {
        settings.paper = form.paper;
        settings.landscape = form.landscape;
    }
    return settings;
}

void frmForm::addPrintCheck(std::function<bool()> check)
{
    m_printChecks.push_back(std::move(check));
}

void frmForm::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_painter.paintClientPixels(painter, m_values, FormPainter::FaintBackground);
    // As on the courier waybills, a field cut short shows a red frame here,
    // never on paper.
    painter.setPen(QPen(Qt::red, 1));
    painter.setBrush(Qt::NoBrush);
    for (const Forms::FormField &field : m_form.fields) {
        if (m_painter.overflows(field, m_values)) {
            const QRectF &b = field.box;
            painter.drawRect(QRectF(b.x() * FormPainter::PixelsPerMm, b.y() * FormPainter::PixelsPerMm,
                                    b.width() * FormPainter::PixelsPerMm,
                                    b.height() * FormPainter::PixelsPerMm)
                                 .toAlignedRect()
                                 .adjusted(0, 0, -1, -1));
        }
    }
}

void frmForm::keyPressEvent(QKeyEvent *event)
{
    // As on the courier waybills, Escape leaves the window open.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmForm::askValues()
{
    for (const QString &label : Forms::askedLabels(m_form)) {
        m_values.asked.insert(label, m_platform.inputBox(QStringLiteral("请输入%1：").arg(label), m_form.name,
                                                         m_values.asked.value(label)));
    }
    update();
}

void frmForm::Command1_Click()
{
    askValues();
    Waybill::confirmAndPrint(m_platform, m_painter.overflowingFields(m_values), m_printChecks, m_settings,
                             [this](QPrinter &printer) { return printOn(printer); });
}

void frmForm::Command2_Click()
{
    close();
}

void frmForm::cmdSettings_Click()
{
    QList<std::pair<QString, QRectF>> fields;
    for (const Forms::FormField &field : m_form.fields)
        fields.append({Forms::fieldCaption(field), field.box});
    Waybill::frmPrintSettings dialog(m_platform, settingsSection(m_form), m_form.name, m_settings,
                                     m_form.paper, fields, this);
    if (dialog.exec() == QDialog::Accepted)
        m_settings = dialog.settings();
}

void frmForm::showButtons(bool shown)
{
    Command1->setVisible(shown);
    Command2->setVisible(shown);
    cmdSettings->setVisible(shown);
}

bool frmForm::printOn(QPrinter &printer)
{
    showButtons(false);
    // On paper the fields alone: the picture is the form the printer is loaded with.
    const QString failure = Waybill::printPage(
        printer, m_settings, m_form.name + QStringLiteral("运单"),
        [this](QPainter &painter) {
            m_painter.paintClientPixels(painter, m_values, FormPainter::NoBackground);
        },
        m_platform.printQueue());
    if (failure.isEmpty()) {
        Q_EMIT printed(Waybill::printerShownName(printer));
        close();
        return true;
    }
    showButtons(true);
    Command1->setFocus();
    m_platform.messageBox(failure, QStringLiteral("打印失败"), Dialogs::Exclamation);
    return false;
}
