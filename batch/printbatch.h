#pragma once

#include "addressbook/printjournal.h"
#include "orders/orderitem.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Platform;
struct OrderRow;

namespace Waybill {
struct Description;
}

// An order packed into the parcel of a row of another order (合单): kept whole,
// so that the row can be split again into the rows they were.
struct MergedOrder
{
    QString rowId; // the id of the row it was, given back when split
    QString orderNumber;
    QStringList recipient;
    QStringList unsure;
    QList<OrderItem> items;
    QString note;
};

// One waybill of a batch: its recipient and how far its printing got.
struct BatchRow
{
    enum class State {
        Waiting,  // not sent yet
        Sending,  // being handed to the queue: whether the queue took it is not known yet
        Sent,     // taken by the queue as job jobId, not printed yet
        Printed,  // its job completed
        Failed,   // its job was refused, canceled or aborted; problem says why
        Unsettled // may have printed, and the scheduler cannot tell: the user decides
    };

    // Names the row for good: in its job's title, in the journal, across a
    // crash and on another PC; never its place in the list.
    QString id = newId();
    QStringList recipient; // the eight recipient values, in the order of ContactFile::recipientKeys()
    QString orderNumber;
    QStringList unsure; // the fields to look at before printing, as the user knows them
    State state = State::Waiting;
    int jobId = 0;
    // The title its last job was (or is about to be) sent with, saved before
    // sending: the scheduler is asked for it when the program was ended meanwhile.
    QString jobTitle;
    int attempts = 0; // pages sent for it, spoiled ones included
    QString printer;
    QString problem;
    QString journalId;   // the print journal's entry, once printed
    QString printedTime; // that entry's time, as the journal keeps it
    int printOrder = 0;  // 1 for the first page of the batch that went out and counts, 2 …
    // Printed again later, its page put anywhere in the stack: numbers scanned
    // in print order pass it by, and it takes one only after its order number.
    bool pairByOrder = false;
    QString waybillNumber;
    bool exported = false; // in a shipping file since its number was given

    // What goes into the parcel, and what the buyer or the shop wrote.
    QList<OrderItem> items;
    QString note;
    // Orders of the same buyer packed into this row's parcel, after its own.
    QList<MergedOrder> merged;
    // Parcel parcel of parcels (件数): the rows of the second and further parcels
    // carry the orders of the first, whose id is parcelOf, and nothing to pack.
    int parcel = 1;
    int parcels = 1;
    QString parcelOf;
    QString checkedTime; // 已验货: "yyyy-MM-dd HH:mm:ss" when the parcel was checked

    // Every order number of the parcel, its own first.
    QStringList orderNumbers() const;
    // Every item of the parcel, and every remark, of all its orders.
    QList<OrderItem> allItems() const;
    QStringList remarks() const;
    // "2/3" for the second of three parcels; empty for a row of one parcel.
    QString parcelText() const;
    bool isFirstParcel() const { return parcelOf.isEmpty(); }

    QString value(QStringView key) const;
    void setValue(QStringView key, const QString &text);
    static BatchRow fromOrder(const OrderRow &order);
    static QString newId();
    // The eight recipient values as the batch window heads them, in the order of
    // the recipient keys; unsure names its fields by these.
    static const QStringList &captions();
};

// A batch of waybills: one sender and one form for many recipients. Saved after
// every change of a row, so that after a crash no printed row is printed again
// without the user asking.
class PrintBatch
{
public:
    // The forms a batch prints on: the couriers the program knows.
    static QStringList forms();                      // "SF", "YD"
    static QString courierOf(const QString &form);   // as the journal names it: 顺丰
    static QString formCaption(const QString &form); // as the user knows it: 顺丰快递
    static const Waybill::Description *description(const QString &form);
    // As web shops list the courier in their shipping files: 顺丰速运.
    static QString shippingName(const QString &form);

    // 件数 a row may be given: more is a slip of the finger.
    static constexpr int MaxParcels = 99;

    PrintBatch();

    QString id;      // names the batch for good, as a row's id names the row
    QString created; // "yyyy-MM-dd HH:mm:ss", local time
    // Not to be gone on with when the window opens (the user said 否); still in the history.
    bool setAside = false;
    // "SF", "YD", or the file name of a form of the user's (see PageSource).
    QString form = QStringLiteral("SF");
    QStringList sender; // the eight sender values, in the order of ContactFile::senderKeys()
    QList<BatchRow> rows;
    // Groups of rows the user chose not to pack as one parcel, each its row ids
    // sorted and joined by a blank.
    QStringList refusedMerges;
    // The file it is kept in, in the batches folder; empty until first saved.
    QString fileName;
    // Rows appended to that file since it was last written whole.
    int appendedRows = 0;

    // A value of the waybill of row by the main window's key (txtName, txtNameTo …)
    // or by a batch field's key (orderNumber, orderNumbers, items, remarks, parcel …).
    QString value(int row, QStringView key) const;
    // The first row still to print: not printed, not waiting for the user's word; -1 when none.
    int firstNotPrinted() const;
    int printedCount() const;
    int numberedCount() const;
    int exportedCount() const;
    int unsettledCount() const;
    bool isFinished() const;
    // The row with this id, or -1.
    int rowWithId(QStringView rowId) const;
    // The next place in the order the pages went out.
    int nextPrintOrder() const;

    // The print journal's entry of a printed row, as the batch knows it: given
    // a number or marked spoiled without reading the journal.
    PrintJournal::Entry journalEntry(int row, const QString &courier, const QString &formId) const;

    // The title of a row's next job: the form, the sheet and the ids that find it again.
    QString jobTitleFor(int row, const QString &formCaption) const;

    QByteArray toJson() const;
    static std::optional<PrintBatch> fromJson(const QByteArray &json);
};

// Every batch, one file each in the "batches" folder of the program folder,
// named by the date and time it was begun. A change of one row is appended to
// the batch's file as one line; now and then the file is written anew whole, in
// one step, so that a crash leaves the old or the new state and never a torn one.
class BatchStore
{
public:
    explicit BatchStore(Platform &platform);

    struct Summary
    {
        QString fileName;
        QString created;
        QString form;
        int rows = 0;
        int printed = 0;
        int numbered = 0;
        int exported = 0;
        bool finished = false;
        bool setAside = false;
    };

    QString folder() const;
    // The whole batch, written anew in one step; a batch new to the store gets its file.
    bool save(PrintBatch &batch, QString *error = nullptr) const;
    // Row row of the batch as it is now, appended to the batch's file.
    bool saveRow(PrintBatch &batch, int row, QString *error = nullptr) const;
    // The batch kept in fileName (a name in the folder). A file that cannot be
    // read is put aside as "….damaged" and problem says so.
    std::optional<PrintBatch> load(const QString &fileName, QString *problem = nullptr) const;
    // The batch to go on with: the newest one of the last month not finished and
    // not set aside, else the newest of today.
    std::optional<PrintBatch> load(QString *problem = nullptr) const;
    // The batch whose id this is, begun on or before the day given
    // ("yyyy-MM-dd…"; empty: any day); the newest are looked at first.
    std::optional<PrintBatch> withId(const QString &batchId, const QString &notAfter = QString()) const;
    // Gives the row that printed the journal entry the number it was given in
    // the journal; nothing to do when no batch printed it. False with error when
    // the batch cannot be saved.
    bool takeJournalNumber(const PrintJournal::Entry &entry, QString *error = nullptr) const;
    // Every batch, newest first; problems (when given) names the files put aside as damaged.
    QList<Summary> list(QStringList *problems = nullptr) const;
    // To the desktop's trash (deleted where there is none).
    bool remove(const QString &fileName, QString *error = nullptr) const;

private:
    void takeOldBatch() const;
    QString pathOf(const QString &fileName) const;

    Platform &m_platform;
};
