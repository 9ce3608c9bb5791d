#include "dispatch/parcelcheck.h"

#include "batch/batchnumbers.h"
#include "batch/printbatch.h"
#include "orders/waybillnumber.h"

#include <QDateTime>

#include <algorithm>

ParcelCheck::ParcelCheck(PrintBatch &batch, BatchNumbers &numbers, const BatchStore &store)
    : m_batch(batch), m_numbers(numbers), m_store(store)
{
}

int ParcelCheck::currentRow() const
{
    return m_currentId.isEmpty() ? -1 : m_batch.rowWithId(m_currentId);
}

void ParcelCheck::forget()
{
    m_currentId.clear();
    m_pendingId.clear();
}

int ParcelCheck::firstParcel(int row) const
{
    const QString &of = m_batch.rows[row].parcelOf;
    if (of.isEmpty())
        return row;
    // A first parcel removed from the batch leaves the others each on its own.
    const int first = m_batch.rowWithId(of);
    return first >= 0 ? first : row;
}

QList<int> ParcelCheck::parcelRows(int row) const
{
    if (row < 0 || row >= m_batch.rows.size())
        return {};
    const int first = firstParcel(row);
    QList<int> rows{first};
    const QString &id = m_batch.rows[first].id;
    for (int i = 0; i < m_batch.rows.size(); ++i) {
        if (i != first && m_batch.rows[i].parcelOf == id)
            rows.append(i);
    }
    std::stable_sort(rows.begin() + 1, rows.end(),
                     [this](int a, int b) { return m_batch.rows[a].parcel < m_batch.rows[b].parcel; });
    return rows;
}

int ParcelCheck::firstUnchecked(const QList<int> &rows) const
{
    for (const int row : rows) {
        if (m_batch.rows[row].checkedTime.isEmpty())
            return row;
    }
    return -1;
}

int ParcelCheck::checkedCount() const
{
    return int(std::count_if(m_batch.rows.cbegin(), m_batch.rows.cend(),
                             [](const BatchRow &row) { return !row.checkedTime.isEmpty(); }));
}

int ParcelCheck::parcelCount() const
{
    return int(m_batch.rows.size());
}

int ParcelCheck::rowForOrder(const QString &text) const
{
    for (int i = 0; i < m_batch.rows.size(); ++i) {
        const QStringList numbers = m_batch.rows[i].orderNumbers();
        if (std::any_of(numbers.cbegin(), numbers.cend(), [&text](const QString &number) {
                return number.compare(text, Qt::CaseInsensitive) == 0;
            }))
            return firstParcel(i);
    }
    return -1;
}

int ParcelCheck::rowWithNumber(const QString &number) const
{
    if (number.isEmpty())
        return -1;
    for (int i = 0; i < m_batch.rows.size(); ++i) {
        if (m_batch.rows[i].waybillNumber == number)
            return i;
    }
    return -1;
}

QString ParcelCheck::name(int row, bool withParcel) const
{
    const BatchRow &r = m_batch.rows[row];
    const QString who = r.value(u"txtNameTo");
    QString text = r.orderNumber.isEmpty() ? QStringLiteral("第 %1 张（%2）").arg(row + 1).arg(who)
                                           : QStringLiteral("订单 %1（%2）").arg(r.orderNumber, who);
    if (withParcel && r.parcels > 1)
        text += QStringLiteral("第 %1 件").arg(r.parcelText());
    return text;
}

QString ParcelCheck::numbersOf(const QList<int> &rows) const
{
    QStringList numbers;
    for (const int row : rows) {
        if (!m_batch.rows[row].waybillNumber.isEmpty())
            numbers.append(m_batch.rows[row].waybillNumber);
    }
    return numbers.join(QStringLiteral("、"));
}

ParcelCheck::Outcome ParcelCheck::take(const QString &text)
{
    const QString scanned = text.trimmed();
    if (scanned.isEmpty())
        return {};
    const int order = rowForOrder(scanned);
    if (order >= 0)
        return takeSlip(order);
    const QString number = WaybillNumber::normalised(scanned);
    if (currentRow() >= 0)
        return takeWaybill(number);

    // A waybill alone proves nothing about what is inside: its parcel is shown
    // and its slip asked for, and the two scans together check it.
    m_pendingId.clear();
    const int owner = rowWithNumber(number);
    if (owner < 0) {
        return {Outcome::Mismatch, -1,
                QStringLiteral("%1 不是这一批的订单编号或运单号。请先扫发货单上的条码。").arg(number)};
    }
    if (!m_batch.rows[owner].checkedTime.isEmpty()) {
        return {Outcome::Again, owner,
                QStringLiteral("%1 已于 %2 验过货。").arg(name(owner), m_batch.rows[owner].checkedTime)};
    }
    m_pendingId = m_batch.rows[owner].id;
    return {Outcome::Shown, owner,
            QStringLiteral("运单号 %1 是%2的包裹。请扫它的发货单核对。").arg(number, name(owner))};
}

ParcelCheck::Outcome ParcelCheck::takeSlip(int first)
{
    const QList<int> rows = parcelRows(first);
    const int pending = m_pendingId.isEmpty() ? -1 : m_batch.rowWithId(m_pendingId);
    m_pendingId.clear();
    m_currentId = m_batch.rows[first].id;
    if (pending >= 0) {
        if (rows.contains(pending))
            return check(pending);
        const int shown = std::max(firstUnchecked(rows), first);
        const QString has = numbersOf(rows);
        return {Outcome::Mismatch, shown,
                QStringLiteral("运单号不符：刚扫的运单号 %1 属于%2。%3")
                    .arg(m_batch.rows[pending].waybillNumber, name(pending),
                         has.isEmpty() ? QStringLiteral("这个包裹还没有运单号，请扫它的运单。")
                                       : QStringLiteral("这个包裹的运单号是 %1。").arg(has))};
    }
    const int shown = firstUnchecked(rows);
    if (shown < 0) {
        m_currentId.clear();
        const BatchRow &last = m_batch.rows[rows.last()];
        return {Outcome::Again, first,
                rows.size() > 1 ? QStringLiteral("%1 的 %2 件已全部验过货，最后一件于 %3。")
                                      .arg(name(first, false))
                                      .arg(rows.size())
                                      .arg(last.checkedTime)
                                : QStringLiteral("%1 已于 %2 验过货。").arg(name(first), last.checkedTime)};
    }
    const BatchRow &r = m_batch.rows[shown];
    const QString which = rows.size() > 1 ? QStringLiteral("第 %1 件的").arg(r.parcelText()) : QString();
    return {Outcome::Shown, shown,
            r.waybillNumber.isEmpty()
                ? QStringLiteral("%1 → 请扫%2运单（还没有运单号，扫到的将配给它）").arg(name(shown), which)
                : QStringLiteral("%1 → 请扫%2运单号").arg(name(shown), which)};
}

ParcelCheck::Outcome ParcelCheck::takeWaybill(const QString &number)
{
    const QList<int> rows = parcelRows(currentRow());
    const int shown = std::max(firstUnchecked(rows), rows.first());
    for (const int row : rows) {
        if (m_batch.rows[row].waybillNumber == number)
            return check(row);
    }
    const QString has = numbersOf(rows);
    const int owner = rowWithNumber(number);
    if (owner >= 0) {
        return {Outcome::Mismatch, shown,
                QStringLiteral("运单号不符：这个运单号属于%1。%2")
                    .arg(name(owner), has.isEmpty() ? QStringLiteral("这个包裹还没有运单号。")
                                                    : QStringLiteral("这个包裹的运单号是 %1。").arg(has))};
    }
    // Paired to the parcel shown when it has none yet, else to another of its
    // parcels still without one.
    int target = -1;
    for (const int row : rows) {
        if (m_batch.rows[row].waybillNumber.isEmpty() && (target < 0 || row == shown))
            target = row;
    }
    if (target < 0)
        return {Outcome::Mismatch, shown, QStringLiteral("运单号不符：这个包裹的运单号是 %1。").arg(has)};
    // Only a printed waybill can be on the parcel: a number for a page never
    // printed is another batch's or another day's.
    if (m_batch.rows[target].state != BatchRow::State::Printed) {
        return {Outcome::Mismatch, target,
                QStringLiteral("%1 未配上：%2的运单还没有打印。").arg(number, name(target))};
    }
    const BatchNumbers::Outcome given = m_numbers.give(target, number);
    if (given.kind != BatchNumbers::Outcome::Given)
        return {Outcome::Mismatch, target, given.message};
    return check(target, number);
}

ParcelCheck::Outcome ParcelCheck::check(int row, const QString &paired)
{
    BatchRow &r = m_batch.rows[row];
    const QList<int> rows = parcelRows(row);
    if (!r.checkedTime.isEmpty()) {
        if (firstUnchecked(rows) < 0)
            m_currentId.clear();
        return {Outcome::Again, row, QStringLiteral("%1 已于 %2 验过货。").arg(name(row), r.checkedTime)};
    }
    r.checkedTime = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QString error;
    if (!m_store.saveRow(m_batch, row, &error)) {
        r.checkedTime.clear();
        return {Outcome::Mismatch, row, QStringLiteral("验货未能保存：%1").arg(error)};
    }
    const QString done = paired.isEmpty()
                             ? QStringLiteral("验货通过：%1，运单号 %2。").arg(name(row), r.waybillNumber)
                             : QStringLiteral("验货通过：运单号 %1 已配给%2。").arg(paired, name(row));
    const int next = firstUnchecked(rows);
    if (next < 0) {
        // Done with this parcel: a waybill scanned next belongs to another and
        // waits for its slip.
        m_currentId.clear();
        return {Outcome::Checked, row, done};
    }
    m_currentId = m_batch.rows[rows.first()].id;
    return {Outcome::Checked, row,
            done + QStringLiteral("请扫第 %1 件的运单号。").arg(m_batch.rows[next].parcelText())};
}
