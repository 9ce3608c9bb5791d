#pragma once

#include "addressbook/printjournal.h"

#include <QDialog>

class JournalModel;
class Platform;
class QLineEdit;
class QPushButton;
class QTreeView;

// 打印记录: the print journal, newest first, searched as the user types.
class frmJournal : public QDialog
{
    Q_OBJECT

public:
    frmJournal(PrintJournal &journal, Platform &platform, QWidget *parent = nullptr);
    ~frmJournal() override;

    // Reads the journal again (after a print) and shows what the search matches.
    void reload();
    // Shows the entry with this id alone, chosen (from 日结).
    void showEntry(const QString &entryId);

Q_SIGNALS:
    // 再打印: the chosen entry, to open its courier's waybill window filled
    // from entry.value(key).
    void reprint(const PrintJournal::Entry &entry);

private:
    void txtSearch_Change();
    void lstJournal_SelectionChanged();
    void cmdReprint_Click();
    void cmdWaybillNumber_Click();

    PrintJournal &m_journal;
    Platform &m_platform;
    JournalModel *m_model;

    QLineEdit *txtSearch;
    QTreeView *lstJournal;
    QPushButton *cmdReprint;
    QPushButton *cmdWaybillNumber;
    QPushButton *cmdClose;
};
