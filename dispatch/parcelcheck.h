#pragma once

#include <QList>
#include <QString>

class BatchNumbers;
class BatchStore;
class PrintBatch;

// 验货: each parcel of a batch checked against its waybill before it leaves,
// by what the scanner types. A packing slip's order number chooses the parcel
// and its waybill number is scanned next (or the other way round); a waybill
// number that is not the parcel's changes nothing and says whose it is.
//
// A parcel of several (件数) is checked one waybill at a time: its slip shows
// the first parcel not yet checked, and the waybill of any of its parcels is
// taken for that parcel.
class ParcelCheck
{
public:
    ParcelCheck(PrintBatch &batch, BatchNumbers &numbers, const BatchStore &store);

    struct Outcome
    {
        enum Kind {
            Nothing, // an empty line
            Shown,   // a parcel chosen: its waybill (or its slip) is to be scanned next
            Checked, // its waybill matched: the row is marked checked and saved
            Again,   // checked before: nothing changes
            Mismatch // refused: nothing changes anywhere, message says why
        } kind = Nothing;
        int row = -1; // the parcel's row to show; -1 when none
        QString message;
    };

    // What the scanner typed: an order number (any of a parcel's, merged ones
    // too) or a waybill number.
    Outcome take(const QString &text);
    // The parcel whose waybill is awaited, -1 when none. Kept by the row's id.
    int currentRow() const;
    void forget();

    // The rows of the parcel row belongs to, its first parcel first.
    QList<int> parcelRows(int row) const;
    int checkedCount() const;
    int parcelCount() const;

private:
    int rowForOrder(const QString &text) const;
    int rowWithNumber(const QString &number) const;
    int firstParcel(int row) const;
    int firstUnchecked(const QList<int> &rows) const;
    Outcome takeSlip(int row);
    Outcome takeWaybill(const QString &number);
    Outcome check(int row, const QString &paired = QString());
    QString name(int row, bool withParcel = true) const;
    QString numbersOf(const QList<int> &rows) const;

    PrintBatch &m_batch;
    BatchNumbers &m_numbers;
    const BatchStore &m_store;
    QString m_currentId; // the first parcel's row, while its waybill is awaited
    QString m_pendingId; // a waybill scanned first: its row, while its slip is awaited
};
