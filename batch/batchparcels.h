#pragma once

#include "orders/shippingfile.h"

#include <QList>
#include <QString>
#include <QStringList>

class PrintBatch;

// What goes into which parcel: a buyer's orders packed as one (合单), taken
// apart again, and an order sent as several parcels (件数). Rows are named by
// their ids throughout, so that a proposal stays right whatever was added,
// removed or printed meanwhile.
namespace BatchParcels {

struct Proposal
{
    QStringList rowIds; // in the batch's order; the first keeps the parcel
    QString reason;     // "同一手机号和地址"
};

// Rows that may still be packed together or apart: nothing of them sent to a
// printer, no waybill number, one parcel.
bool canRepack(const PrintBatch &batch, int row);

// The buyers' orders that could go as one parcel, leaving out groups the user
// refused and rows that can no longer be repacked.
QList<Proposal> proposals(const PrintBatch &batch);
// Packs the rows into the first one's parcel; its index, or -1 with error
// when any of them cannot be repacked or they go to different addresses.
int merge(PrintBatch &batch, const QStringList &rowIds, QString *error);
// Not to be proposed again, until an order is added to the group.
void refuse(PrintBatch &batch, const QStringList &rowIds);
// Takes a merged row apart again into the rows it was, right after it, each
// with its own id; the number of rows it became, or -1 with error.
int split(PrintBatch &batch, int row, QString *error);
// Gives a row parcels parcels (1 to PrintBatch::MaxParcels): the rows of the
// further parcels follow it, each printed and numbered on its own. false with
// error when a parcel to be added or taken away has been sent to a printer.
bool setParcels(PrintBatch &batch, int row, int parcels, QString *error);
// The row of the first parcel of row's order: itself for most rows.
int firstParcel(const PrintBatch &batch, int row);

// The shipping file's lines: every order of a numbered row with that row's
// number, one line per order and number. onlyNew leaves out rows exported
// before. rows gets the rows written; withoutOrder counts the numbered rows
// that name no order (a web shop cannot match those).
QList<ShippingFile::Line> shippingLines(const PrintBatch &batch, const QString &courier, bool onlyNew,
                                        QList<int> *rows, int *withoutOrder, int *exportedBefore);

} // namespace BatchParcels
