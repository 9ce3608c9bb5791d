#pragma once

#include "batch/batchnumbers.h"
#include "batch/batchprinter.h"
#include "batch/printbatch.h"

#include <QDialog>

#include <functional>

class AddressParser;
class ContactStore;
class Platform;
class PrintJournal;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSpinBox;
class QPushButton;
class QTableView;
class BatchTable;
struct OrderFileResult;

// 批量打印: one sender and one form for many recipients from an order file, a
// paste or a recipient group; prints them one job each, takes the waybill
// numbers afterwards and writes the shipping file.
class frmBatch : public QDialog
{
    Q_OBJECT
public:
    // The file dialogs: title and filter for opening, title, suggested name and
    // filter for saving; each gives the empty text when the user cancels.
    using OpenFile = std::function<QString(QWidget *, const QString &, const QString &)>;
    using SaveFile = std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;

    // What packing adds, from the windows above the batch: each may be left
    // out, and its button is then not shown.
    struct PackingTools
    {
        // Prints the slips of rows (in the order given) on the slip form named
        // by its file name, to printer (empty: the batch's printer).
        std::function<bool(const PrintBatch &, const QList<int> &rows, const QString &slipForm,
                           const QString &printer, QString *error)>
            printSlips;
        // The slip forms, as file name and name.
        std::function<QList<std::pair<QString, QString>>()> slipForms;
        // 拣货单 of the rows given (all when empty).
        std::function<void(QWidget *, const PrintBatch &, const QList<int> &rows)> pickingList;
        // 验货 of the batch, its numbers paired through numbers.
        std::function<void(QWidget *, PrintBatch &, BatchNumbers &, const BatchStore &)> check;
    };

    frmBatch(Platform &platform, PrintJournal &journal, std::function<const AddressParser &()> parser,
             OpenFile openFile, SaveFile saveFile, QWidget *parent = nullptr);
    frmBatch(Platform &platform, PrintJournal &journal, std::function<const AddressParser &()> parser,
             OpenFile openFile, SaveFile saveFile, PackingTools tools, QWidget *parent = nullptr);
    ~frmBatch() override;

    const PrintBatch &batch() const { return m_batch; }
    // Offers to go on with a batch left unfinished; true when it was taken up.
    bool offerSavedBatch();
    // Opens the batch kept in fileName, its row rowId chosen; false when it cannot be read.
    bool openAt(const QString &fileName, const QString &rowId);

private:
    void cmbSender_Activated(int index);
    void cmbForm_Activated(int index);
    void cmdOpenOrders_Click();
    void cmdPaste_Click();
    void cmdGroup_Click();
    void cmdJournal_Click();
    void cmdRemoveRows_Click();
    void cmdSaveToGroup_Click();
    void cmdTrial_Click();
    void cmdPrintAll_Click();
    void cmdPause_Click();
    void cmdContinue_Click();
    void cmdMarkPrinted_Click();
    void cmdReprint_Click();
    void cmdHistory_Click();
    void cmdClearNumbers_Click();
    void txtWaybillNumber_ReturnPressed();
    void cmdExport_Click();
    void cmdMerge_Click();
    void cmdSplit_Click();
    void cmdParcels_Click();
    void cmdPrintSlips_Click();
    void cmdPickingList_Click();
    void cmdCheck_Click();
    void grdRows_CellEdited(int row, int column, const QString &text);
    void printer_RowChanged(int row);
    void printer_Paused(int row, const QString &reason);
    void printer_Finished();

    void addRows(const OrderFileResult &result);
    void showRows();
    void showRow(int row);
    void showState();
    bool save();
    bool readyToPrint();
    QList<int> selectedRows() const;
    // Takes up a batch from the store: settled with the scheduler, shown.
    void openBatch(PrintBatch batch);
    void startNewBatch();
    // The merge proposals of the batch as it is now, counted on 合单….
    void showProposals();
    // The slip of a row whose waybill just printed, when slips go with waybills.
    void printSlipAfter(int row);

    Platform &m_platform;
    PrintJournal &m_journal;
    std::function<const AddressParser &()> m_parser;
    OpenFile m_openFile;
    SaveFile m_saveFile;
    std::unique_ptr<ContactStore> m_store;
    PrintBatch m_batch;
    BatchStore m_saved;
    BatchPrinter m_printer;
    BatchNumbers m_numbers;
    bool m_trial = false;
    QString m_trialRowId; // the row the trial printed, by its id
    PackingTools m_tools;
    QStringList m_slipsSent; // rows whose slip followed their waybill, by id

    QComboBox *cmbSender = nullptr;
    QComboBox *cmbForm = nullptr;
    QComboBox *cmbGroup = nullptr;
    QPushButton *cmdOpenOrders = nullptr;
    QPushButton *cmdPaste = nullptr;
    QPushButton *cmdGroup = nullptr;
    QPushButton *cmdJournal = nullptr;
    QPushButton *cmdRemoveRows = nullptr;
    QPushButton *cmdSaveToGroup = nullptr;
    BatchTable *m_table = nullptr;
    QTableView *grdRows = nullptr;
    QPushButton *cmdTrial = nullptr;
    QPushButton *cmdPrintAll = nullptr;
    QPushButton *cmdPause = nullptr;
    QPushButton *cmdContinue = nullptr;
    QPushButton *cmdMarkPrinted = nullptr;
    QPushButton *cmdReprint = nullptr;
    QPushButton *cmdHistory = nullptr;
    QPushButton *cmdClearNumbers = nullptr;
    QProgressBar *prgBatch = nullptr;
    QLabel *lblStatus = nullptr;
    QLineEdit *txtWaybillNumber = nullptr;
    QLabel *lblWaybillNumber = nullptr;
    QCheckBox *chkGbk = nullptr;
    QPushButton *cmdExport = nullptr;
    QPushButton *cmdMerge = nullptr;
    QPushButton *cmdSplit = nullptr;
    QSpinBox *spnParcels = nullptr;
    QPushButton *cmdParcels = nullptr;
    QComboBox *cmbSlip = nullptr;
    QComboBox *cmbSlipPrinter = nullptr;
    QPushButton *cmdPrintSlips = nullptr;
    QPushButton *cmdPickingList = nullptr;
    QPushButton *cmdCheck = nullptr;
    QCheckBox *chkOnlyNew = nullptr;
};
