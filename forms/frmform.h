#pragma once

#include "forms/form.h"
#include "forms/formpainter.h"
#include "waybill/printsettings.h"

#include <QDialog>

#include <functional>
#include <vector>

class Platform;
class QPrinter;
class QPushButton;

// The waybill window of a user's form: the page at true size with the form's
// picture faint behind the fields, filled from the main window once as it
// opens, printed as one page through the form's own print settings.
class frmForm : public QDialog
{
    Q_OBJECT
public:
    frmForm(Platform &platform, const Forms::Form &form, const Forms::FieldReader &read);

    // Hides the buttons and prints the page; then closes. When printing fails
    // the user is told, the buttons come back and the window stays open. True
    // when printed.
    bool printOn(QPrinter &printer);
    // A check run when 打印 is pressed, after the questions; false stops the print.
    void addPrintCheck(std::function<bool()> check);
    const Waybill::PrintSettings &printSettings() const { return m_settings; }
    const Forms::FormValues &values() const { return m_values; }

    // The key of a form's print settings in the settings file.
    static QString settingsSection(const Forms::Form &form);
    // A form's print settings: as saved, and on the form's own paper until a
    // paper is chosen.
    static Waybill::PrintSettings loadSettings(const Platform &platform, const Forms::Form &form);

Q_SIGNALS:
    void printed(const QString &printerName);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Command1_Click();
    void Command2_Click();
    void cmdSettings_Click();
    void showButtons(bool shown);
    // Asks for each value the form asks for when printing, the last answer offered.
    void askValues();

    Platform &m_platform;
    Forms::Form m_form;
    Forms::FormPainter m_painter;
    Forms::FormValues m_values;
    Waybill::PrintSettings m_settings;
    std::vector<std::function<bool()>> m_printChecks;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *cmdSettings = nullptr;
};
