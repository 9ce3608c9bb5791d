#pragma once

#include "dispatch/parcelcheck.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// 验货: the packer scans each parcel's slip and its waybill; the window shows
// what belongs in the parcel and whether the waybill is its own, and sounds on
// a wrong one so that eyes can stay on the parcel.
class frmCheck : public QDialog
{
    Q_OBJECT
public:
    // Played on a mismatch.
    using Sound = std::function<void()>;

    // Works on the batch as the caller holds it (the batch window's own), so
    // that both see each check and each number at once.
    frmCheck(PrintBatch &batch, BatchNumbers &numbers, const BatchStore &store, Sound sound,
             QWidget *parent = nullptr);

Q_SIGNALS:
    // A row may have been checked or given its waybill number here.
    void rowChanged(int row);

private:
    void txtScan_ReturnPressed();

    void showParcel(int row);
    void showOutcome(const ParcelCheck::Outcome &outcome);
    void showCount();

    PrintBatch &m_batch;
    ParcelCheck m_check;
    Sound m_sound;

    QLineEdit *txtScan = nullptr;
    QLabel *lblBuyer = nullptr;
    QLabel *lblItems = nullptr;
    QLabel *lblRemarks = nullptr;
    QLabel *lblWaybill = nullptr;
    QLabel *lblParcel = nullptr;
    QLabel *lblStatus = nullptr;
    QLabel *lblCount = nullptr;
    QPushButton *cmdClose = nullptr;
};
