#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class BatchStore;
class PrintJournal;

// 日结: what is still open at the end of a day, from the print journal and the
// batches begun that day. Each line says where it lives, so that a window can
// open it there.
class DayClose
{
public:
    DayClose(const PrintJournal &journal, const BatchStore &store);

    struct Line
    {
        QString time; // printed, as the journal keeps it; empty for a row never printed
        QString recipient;
        QString orderNumber;
        QString waybillNumber;
        QString courier;
        // Where it was printed, or why the page was spoiled.
        QString detail;
        // The batch's file in the batches folder and the row there; empty for a single print.
        QString batchFile;
        QString rowId;
        QString journalId; // empty for a batch row never printed
    };

    struct Report
    {
        QDate day;
        QList<Line> withoutNumber; // printed, not spoiled, no waybill number (batch and single prints)
        QList<Line> notExported;   // batch rows with a number not yet in a shipping file
        QList<Line> notChecked;    // batch rows exported and not checked (验货)
        QList<Line> spoiled;       // pages spoiled that day, with their reason
        QStringList problems;      // batch files that could not be read
    };

    Report report(const QDate &day = QDate::currentDate()) const;

private:
    const PrintJournal &m_journal;
    const BatchStore &m_store;
};
