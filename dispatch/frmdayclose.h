#pragma once

#include "dispatch/dayclose.h"

#include <QDialog>

#include <functional>

class QDateEdit;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

// 日结: the day's loose ends in four lists, each line opened where it lives.
class frmDayClose : public QDialog
{
    Q_OBJECT
public:
    using OpenBatchRow = std::function<void(const QString &batchFileName, const QString &rowId)>;
    using OpenJournalEntry = std::function<void(const QString &entryId)>;

    frmDayClose(const PrintJournal &journal, const BatchStore &store, OpenBatchRow openBatchRow,
                OpenJournalEntry openJournalEntry, QWidget *parent = nullptr,
                const QDate &day = QDate::currentDate());

    const DayClose::Report &report() const { return m_report; }

private:
    void dtpDay_DateChanged(const QDate &day);
    void cmdRefresh_Click();
    void cmdOpen_Click();
    void grdList_CellDoubleClicked(int row);

    void showReport();
    // The line chosen in the list shown, or nullptr.
    const DayClose::Line *currentLine() const;

    DayClose m_dayClose;
    OpenBatchRow m_openBatchRow;
    OpenJournalEntry m_openJournalEntry;
    DayClose::Report m_report;

    QDateEdit *dtpDay = nullptr;
    QPushButton *cmdRefresh = nullptr;
    QTabWidget *tabLists = nullptr;
    QTableWidget *grdWithoutNumber = nullptr;
    QTableWidget *grdNotExported = nullptr;
    QTableWidget *grdNotChecked = nullptr;
    QTableWidget *grdSpoiled = nullptr;
    QLabel *lblStatus = nullptr;
    QPushButton *cmdOpen = nullptr;
    QPushButton *cmdClose = nullptr;
};
