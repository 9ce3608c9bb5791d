#pragma once

#include "batch/batchparcels.h"

#include <QDialog>

class PrintBatch;
class QPushButton;
class QTableWidget;

// 合单: the buyers' orders that could go as one parcel, each with why; the
// user ticks those to pack as one and leaves or refuses the others.
class frmMerge : public QDialog
{
    Q_OBJECT
public:
    frmMerge(const PrintBatch &batch, QList<BatchParcels::Proposal> proposals, QWidget *parent = nullptr);

    // After 确定: the proposals ticked, and those left unticked (refused).
    QList<BatchParcels::Proposal> accepted() const;
    QList<BatchParcels::Proposal> refused() const;

private:
    void cmdAll_Click();
    void cmdNone_Click();

    QList<BatchParcels::Proposal> m_proposals;
    QTableWidget *grdProposals = nullptr;
    QPushButton *cmdAll = nullptr;
    QPushButton *cmdNone = nullptr;
};
