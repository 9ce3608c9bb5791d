#pragma once

#include "waybill/printsettings.h"

#include <QDialog>
#include <QList>
#include <QWidget>

#include <optional>
#include <utility>

class Platform;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;

namespace Waybill {

// The page as it will come out of the printer, drawn to fit the widget: the
// paper, its unprintable margins shaded, the client area and each field's box.
class PagePreview : public QWidget
{
    Q_OBJECT
public:
    explicit PagePreview(QWidget *parent);

    // Everything in millimetres; fields and client area as on the window.
    void setPage(QSizeF paper, const QRectF &printable, const PrintSettings &settings, QSizeF client,
                 const QList<std::pair<QString, QRectF>> &fields);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSizeF m_paper;
    QRectF m_printable;
    PrintSettings m_settings;
    QSizeF m_client;
    QList<std::pair<QString, QRectF>> m_fields;
};

// 打印设置 of one courier: printer, paper, offset and scale, with a preview and
// a calibration page to read the printer's error from.
class frmPrintSettings : public QDialog
{
    Q_OBJECT
public:
    // section: the courier's key in the settings file; client and fields in
    // millimetres, as the waybill window lays them out.
    frmPrintSettings(Platform &platform, const QString &section, const QString &courier,
                     const PrintSettings &settings, QSizeF client,
                     const QList<std::pair<QString, QRectF>> &fields, QWidget *parent);

    // The settings as the controls show them.
    PrintSettings settings() const;

private:
    void cmbPaper_Change();
    void cmdCalibrationPage_Click();
    void cmdCalibrate_Click();
    void cmdOK_Click();
    void updatePreview();
    void showSettings(const PrintSettings &settings);

    Platform &m_platform;
    QString m_section;
    QSizeF m_client;
    QList<std::pair<QString, QRectF>> m_fields;
    // As the dialog opened: what the crosses are measured against when no
    // calibration page was ever printed.
    PrintSettings m_opened;

    QComboBox *cmbPrinter = nullptr;
    QComboBox *cmbPaper = nullptr;
    QDoubleSpinBox *txtPaperWidth = nullptr;
    QDoubleSpinBox *txtPaperHeight = nullptr;
    QComboBox *cmbOrientation = nullptr;
    QDoubleSpinBox *txtOffsetX = nullptr;
    QDoubleSpinBox *txtOffsetY = nullptr;
    QDoubleSpinBox *txtScaleX = nullptr;
    QDoubleSpinBox *txtScaleY = nullptr;
    PagePreview *preview = nullptr;
    QPushButton *cmdCalibrationPage = nullptr;
    QDoubleSpinBox *txtCross1X = nullptr;
    QDoubleSpinBox *txtCross1Y = nullptr;
    QDoubleSpinBox *txtCross2X = nullptr;
    QDoubleSpinBox *txtCross2Y = nullptr;
    QPushButton *cmdCalibrate = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
};

} // namespace Waybill
