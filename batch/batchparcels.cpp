#include "batch/batchparcels.h"

#include "batch/printbatch.h"
#include "orders/buyermerge.h"

#include <algorithm>

namespace {

BuyerMerge::Buyer buyerOf(const QStringList &recipient)
{
    // In the order of the recipient keys: company, person, province, city,
    // district, street, phone, postcode.
    return {recipient.value(1), recipient.value(6), recipient.value(2),
            recipient.value(3), recipient.value(4), recipient.value(5)};
}

QString groupKey(QStringList rowIds)
{
    std::sort(rowIds.begin(), rowIds.end());
    return rowIds.join(u' ');
}

} // namespace

namespace BatchParcels {

bool canRepack(const PrintBatch &batch, int row)
{
    if (row < 0 || row >= batch.rows.size())
        return false;
    const BatchRow &r = batch.rows[row];
    const bool untouched =
        r.state == BatchRow::State::Waiting || (r.state == BatchRow::State::Failed && r.journalId.isEmpty());
    return untouched && r.waybillNumber.isEmpty() && r.parcels == 1;
}

QList<Proposal> proposals(const PrintBatch &batch)
{
    QList<int> candidates;
    QList<BuyerMerge::Buyer> buyers;
    for (int i = 0; i < batch.rows.size(); ++i) {
        if (!canRepack(batch, i))
            continue;
        candidates.append(i);
        buyers.append(buyerOf(batch.rows[i].recipient));
    }
    QList<Proposal> result;
    for (const BuyerMerge::Proposal &p : BuyerMerge::propose(buyers)) {
        Proposal proposal;
        proposal.reason = p.reason;
        for (const int at : p.orders)
            proposal.rowIds.append(batch.rows[candidates[at]].id);
        if (!batch.refusedMerges.contains(groupKey(proposal.rowIds)))
            result.append(proposal);
    }
    return result;
}

int merge(PrintBatch &batch, const QStringList &rowIds, QString *error)
{
    QList<int> rows;
    for (const QString &id : rowIds) {
        const int at = batch.rowWithId(id);
        if (at < 0 || !canRepack(batch, at)) {
            *error = at < 0 ? QStringLiteral("要合并的订单已不在批次里。")
                            : QStringLiteral("第 %1 张已打印或已有运单号，不能再合单。").arg(at + 1);
            return -1;
        }
        if (!rows.contains(at))
            rows.append(at);
    }
    std::sort(rows.begin(), rows.end());
    if (rows.size() < 2) {
        *error = QStringLiteral("合单至少要有两个订单。");
        return -1;
    }
    // Whatever the names, a parcel goes to one address.
    const QString address = BuyerMerge::addressKey(buyerOf(batch.rows[rows.first()].recipient));
    for (const int at : rows) {
        if (address.isEmpty() || BuyerMerge::addressKey(buyerOf(batch.rows[at].recipient)) != address) {
            *error = QStringLiteral("第 %1 张与第 %2 张的收货地址不同，不能合成一个包裹。")
                         .arg(rows.first() + 1)
                         .arg(at + 1);
            return -1;
        }
    }
    BatchRow &target = batch.rows[rows.first()];
    for (qsizetype k = 1; k < rows.size(); ++k) {
        const BatchRow &from = batch.rows[rows[k]];
        target.merged.append({from.id, from.orderNumber, from.recipient, from.unsure, from.items, from.note});
        target.merged.append(from.merged);
    }
    for (qsizetype k = rows.size() - 1; k >= 1; --k)
        batch.rows.removeAt(rows[k]);
    return rows.first();
}

void refuse(PrintBatch &batch, const QStringList &rowIds)
{
    const QString key = groupKey(rowIds);
    if (!batch.refusedMerges.contains(key))
        batch.refusedMerges.append(key);
}

int split(PrintBatch &batch, int row, QString *error)
{
    if (row < 0 || row >= batch.rows.size() || batch.rows[row].merged.isEmpty()) {
        *error = QStringLiteral("这一张不是合单，无需拆开。");
        return -1;
    }
    if (!canRepack(batch, row)) {
        *error = QStringLiteral("第 %1 张已打印或已有运单号：请先重打，再拆单。").arg(row + 1);
        return -1;
    }
    const QList<MergedOrder> orders = std::exchange(batch.rows[row].merged, {});
    for (qsizetype k = 0; k < orders.size(); ++k) {
        const MergedOrder &order = orders[k];
        BatchRow again;
        again.id =
            order.rowId.isEmpty() || batch.rowWithId(order.rowId) >= 0 ? BatchRow::newId() : order.rowId;
        again.orderNumber = order.orderNumber;
        again.recipient = order.recipient;
        again.unsure = order.unsure;
        again.items = order.items;
        again.note = order.note;
        batch.rows.insert(row + 1 + k, again);
    }
    // Taken apart on purpose: not to be proposed again as it was.
    QStringList ids{batch.rows[row].id};
    for (qsizetype k = 0; k < orders.size(); ++k)
        ids.append(batch.rows[row + 1 + k].id);
    refuse(batch, ids);
    return int(orders.size()) + 1;
}

int firstParcel(const PrintBatch &batch, int row)
{
    if (row < 0 || row >= batch.rows.size() || batch.rows[row].parcelOf.isEmpty())
        return row;
    const int first = batch.rowWithId(batch.rows[row].parcelOf);
    return first >= 0 ? first : row;
}

bool setParcels(PrintBatch &batch, int row, int parcels, QString *error)
{
    row = firstParcel(batch, row);
    if (row < 0 || row >= batch.rows.size()) {
        *error = QStringLiteral("请先选中一张。");
        return false;
    }
    parcels = std::clamp(parcels, 1, PrintBatch::MaxParcels);
    const QString firstId = batch.rows[row].id;
    QList<int> further;
    for (int i = 0; i < batch.rows.size(); ++i) {
        if (batch.rows[i].parcelOf == firstId)
            further.append(i);
    }
    const int now = int(further.size()) + 1;
    if (parcels == now)
        return true;
    const auto untouched = [&](int at) {
        const BatchRow &r = batch.rows[at];
        return (r.state == BatchRow::State::Waiting ||
                (r.state == BatchRow::State::Failed && r.journalId.isEmpty())) &&
               r.waybillNumber.isEmpty();
    };
    // Parcels taken away must not have gone to the printer.
    for (qsizetype k = parcels - 1; k < further.size(); ++k) {
        if (!untouched(further[k])) {
            *error = QStringLiteral("第 %1 张（%2）已打印或已有运单号：请先重打，再减少件数。")
                         .arg(further[k] + 1)
                         .arg(batch.rows[further[k]].parcelText());
            return false;
        }
    }
    for (qsizetype k = further.size() - 1; k >= parcels - 1 && k >= 0; --k)
        batch.rows.removeAt(further[k]);
    further.resize(std::min<qsizetype>(further.size(), parcels - 1));
    BatchRow &first = batch.rows[row];
    const int insertAt = further.isEmpty() ? row + 1 : further.last() + 1;
    for (int k = int(further.size()) + 2; k <= parcels; ++k) {
        BatchRow parcel;
        parcel.recipient = first.recipient;
        parcel.orderNumber = first.orderNumber;
        parcel.unsure = first.unsure;
        parcel.parcelOf = first.id;
        batch.rows.insert(insertAt + (k - int(further.size()) - 2), parcel);
    }
    // Every parcel row knows its place and the count, the first included.
    int k = 1;
    batch.rows[row].parcel = 1;
    batch.rows[row].parcels = parcels;
    for (int i = 0; i < batch.rows.size(); ++i) {
        if (batch.rows[i].parcelOf == firstId) {
            batch.rows[i].parcel = ++k;
            batch.rows[i].parcels = parcels;
        }
    }
    if (parcels == 1)
        batch.rows[row].parcelOf.clear();
    return true;
}

QList<ShippingFile::Line> shippingLines(const PrintBatch &batch, const QString &courier, bool onlyNew,
                                        QList<int> *rows, int *withoutOrder, int *exportedBefore)
{
    QList<ShippingFile::Line> lines;
    *withoutOrder = 0;
    *exportedBefore = 0;
    for (int i = 0; i < batch.rows.size(); ++i) {
        const BatchRow &row = batch.rows[i];
        if (row.waybillNumber.isEmpty())
            continue;
        if (onlyNew && row.exported) {
            ++*exportedBefore;
            continue;
        }
        // A further parcel ships the orders of its first.
        const QStringList orders = batch.rows[firstParcel(batch, i)].orderNumbers();
        // A web shop matches the file by order number: a line without one ships nothing.
        if (orders.isEmpty()) {
            ++*withoutOrder;
            continue;
        }
        for (const QString &order : orders)
            lines.append({order, courier, row.waybillNumber});
        rows->append(i);
    }
    return lines;
}

} // namespace BatchParcels
