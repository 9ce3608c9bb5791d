#pragma once

#include "packing/pickinglist.h"

#include <QDialog>

#include <functional>
#include <memory>

class Platform;
class PickingTable;
class PrintBatch;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

// 拣货单: the products a batch's parcels need, each once with its count, shown,
// printed on A4 and exported for a spreadsheet.
class frmPickingList : public QDialog
{
    Q_OBJECT
public:
    // The printer to print on, by name; the empty text when the user cancels.
    using ChoosePrinter = std::function<QString(QWidget *)>;
    // The save dialog: title, suggested name and filter; the empty text when the user cancels.
    using SaveFile = std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;

    // selectedIds: the rows chosen in the batch window, offered beside all rows
    // (and shown first) when there are any. The batch is read while the window is open.
    frmPickingList(Platform &platform, const PrintBatch &batch, const QStringList &selectedIds,
                   ChoosePrinter choosePrinter, SaveFile saveFile, QWidget *parent = nullptr);
    ~frmPickingList() override;

    const PickingList &list() const { return *m_list; }

    // The print dialog, as the program asks for a printer: the one chosen, by name.
    static QString askPrinter(QWidget *parent);

private:
    void cmbRows_Activated(int index);
    void cmdPrint_Click();
    void cmdExportCsv_Click();
    void cmdClose_Click();

    void showList();

    Platform &m_platform;
    const PrintBatch &m_batch;
    QStringList m_selectedIds;
    ChoosePrinter m_choosePrinter;
    SaveFile m_saveFile;
    std::unique_ptr<PickingList> m_list;

    QComboBox *cmbRows = nullptr;
    PickingTable *m_table = nullptr;
    QTableView *grdLines = nullptr;
    QLabel *lblTotals = nullptr;
    QLabel *lblStatus = nullptr;
    QPushButton *cmdPrint = nullptr;
    QPushButton *cmdExportCsv = nullptr;
    QPushButton *cmdClose = nullptr;
};
