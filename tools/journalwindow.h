#pragma once

#include "addressbook/printjournal.h"

#include <QDialog>

class Platform;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// 打印记录: the print journal, newest first, searched as the user types.
class frmJournal : public QDialog
{
    Q_OBJECT

public:
    frmJournal(PrintJournal &journal, Platform &platform, QWidget *parent = nullptr);

    // Reads the journal again (after a print) and shows what the search matches.
    void reload();

Q_SIGNALS:
    // 再打印: the chosen entry, to open its courier's waybill window filled
    // from entry.value(key).
    void reprint(const PrintJournal::Entry &entry);

private:
    void txtSearch_Change();
    void lstJournal_SelectionChanged();
    void cmdReprint_Click();

    PrintJournal &m_journal;
    Platform &m_platform;
    QList<PrintJournal::Entry> m_entries; // newest first, one per list row
    QStringList m_searchTexts;            // of each entry

    QLineEdit *txtSearch;
    QTreeWidget *lstJournal;
    QPushButton *cmdReprint;
    QPushButton *cmdClose;
};
