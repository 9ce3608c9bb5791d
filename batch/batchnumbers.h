#pragma once

#include <QString>

#include <functional>

class BatchStore;
class PageSource;
class PrintBatch;
class PrintJournal;

// The waybill numbers of a batch, tied to their rows by what the user scans:
// an order number or a sheet's number chooses a row and the next waybill
// number goes to it; a waybill number alone goes to the next page printed
// without one, in the order the pages came out. Every number given, changed or
// cleared reaches the row's journal entry.
class BatchNumbers
{
public:
    using Pages = std::function<const PageSource &()>;
    BatchNumbers(PrintBatch &batch, PrintJournal &journal, const BatchStore &store, Pages pages);

    struct Outcome
    {
        enum Kind { Chosen, Given, Refused } kind = Refused;
        int row = -1;
        QString message; // for the line beside the box
    };

    // What the scanner typed (or the user): an order number, a sheet number or a waybill number.
    Outcome take(const QString &text);
    // The number typed into a row's cell, checked as a scan is; an empty text clears it.
    Outcome give(int row, const QString &text);
    bool clear(int row, QString *error = nullptr);
    // The row an order or sheet number chose, -1 when none is waiting for its
    // number. Kept by the row's id: rows removed or added meanwhile move it.
    int chosenRow() const;
    void forgetChoice() { m_chosenId.clear(); }

private:
    int rowForOrderOrSheet(const QString &text) const;
    int nextPrintedWithoutNumber() const;
    QString refusal(int row, const QString &number) const;
    bool store(int row, const QString &number, QString *error);
    QString rowName(int row) const;

    PrintBatch &m_batch;
    PrintJournal &m_journal;
    const BatchStore &m_store;
    Pages m_pages;
    QString m_chosenId;
};
