#include "forms/frmform.h"

#include "platform/platform.h"

#include <QPainter>

using Forms::FormPainter;

frmForm::frmForm(Platform &platform, const Forms::Form &form, const Forms::FieldReader &read)
    : Waybill::PrintWindow(platform,
                           QSize(qRound(form.paper.width() * FormPainter::PixelsPerMm),
                                 qRound(form.paper.height() * FormPainter::PixelsPerMm)),
                           settingsSection(form), form.name, form.name + QStringLiteral("运单"),
                           loadSettings(platform, form)),
      m_form(form), m_painter(form, FormPainter::PixelsPerMm * 25.4)
{
    setObjectName(QStringLiteral("frmForm"));
    // The contact fields are read once, now: the window shows the main window's
    // values as they stood when it opened.
    QHash<QString, QString> contact;
    for (const auto *fields : {&Forms::contactFields(), &Forms::batchFields()}) {
        for (const auto &[name, caption] : *fields)
            contact.insert(name, read(name));
    }
    m_values.contact = [contact](QStringView name) { return contact.value(name.toString()); };
    addPrintCheck([this] { return !m_askCancelled; });
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

void frmForm::aboutToPrint()
{
    m_askCancelled = false;
    for (const QString &label : Forms::askedLabels(m_form)) {
        // The dialog gives no answer and 取消 alike: either stops the print.
        const QString answer = platform().inputBox(QStringLiteral("请输入%1：").arg(label), m_form.name,
                                                   m_values.asked.value(label));
        if (answer.isEmpty()) {
            m_askCancelled = true;
            break;
        }
        m_values.asked.insert(label, answer);
    }
    update();
}

QStringList frmForm::cutFields() const
{
    // Nothing to ask about a print that stops.
    return m_askCancelled ? QStringList() : m_painter.overflowingFields(m_values);
}

void frmForm::paintPage(QPainter &painter) const
{
    const Waybill::PrintSettings &settings = printSettings();
    m_painter.paintOnPage(painter, m_values,
                          FormPainter::turnedOnPage(m_form, settings.paper, settings.landscape),
                          FormPainter::NoBackground);
}

QSizeF frmForm::pageMm() const
{
    return m_form.paper;
}

QList<std::pair<QString, QRectF>> frmForm::fieldBoxesMm() const
{
    QList<std::pair<QString, QRectF>> fields;
    for (const Forms::FormField &field : m_form.fields)
        fields.append({Forms::fieldCaption(field), field.box});
    return fields;
}
