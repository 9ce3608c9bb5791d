#pragma once

#include "forms/form.h"
#include "forms/formpainter.h"
#include "waybill/waybillwindow.h"

class Platform;

// The waybill window of a user's form: the page at true size with the form's
// picture faint behind the fields, filled from the main window once as it
// opens, printed as one page through the form's own print settings.
class frmForm : public Waybill::PrintWindow
{
    Q_OBJECT
public:
    frmForm(Platform &platform, const Forms::Form &form, const Forms::FieldReader &read);

    const Forms::FormValues &values() const { return m_values; }
    // The picture as the window draws it behind the fields.
    const QImage &background() const { return m_painter.background(); }

    // The key of a form's print settings in the settings file.
    static QString settingsSection(const Forms::Form &form);
    // A form's print settings: as saved, and on the form's own paper until a
    // paper is chosen.
    static Waybill::PrintSettings loadSettings(const Platform &platform, const Forms::Form &form);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Asks for each value the form asks for when printing, the last answer
    // offered; 取消 (or no answer) stops the print.
    void aboutToPrint() override;
    QStringList cutFields() const override;
    // On paper the fields alone: the picture is the form the printer is loaded with.
    void paintPage(QPainter &painter) const override;
    QSizeF pageMm() const override;
    QList<std::pair<QString, QRectF>> fieldBoxesMm() const override;

    Forms::Form m_form;
    Forms::FormPainter m_painter;
    Forms::FormValues m_values;
    bool m_askCancelled = false; // a value asked for this print was not given
};
