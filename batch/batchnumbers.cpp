#include "batch/batchnumbers.h"

#include "addressbook/printjournal.h"
#include "batch/pagesource.h"
#include "batch/printbatch.h"
#include "orders/waybillnumber.h"

#include <QRegularExpression>

BatchNumbers::BatchNumbers(PrintBatch &batch, PrintJournal &journal, const BatchStore &store, Pages pages)
    : m_batch(batch), m_journal(journal), m_store(store), m_pages(std::move(pages))
{
}

QString BatchNumbers::rowName(int row) const
{
    const BatchRow &r = m_batch.rows[row];
    const QString name = r.value(u"txtNameTo");
    return r.orderNumber.isEmpty()
               ? QStringLiteral("第 %1 张（%2）").arg(row + 1).arg(name)
               : QStringLiteral("第 %1 张（%2，订单 %3）").arg(row + 1).arg(name, r.orderNumber);
}

int BatchNumbers::chosenRow() const
{
    return m_chosenId.isEmpty() ? -1 : m_batch.rowWithId(m_chosenId);
}

int BatchNumbers::rowForOrderOrSheet(const QString &text) const
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return -1;
    // An order may have several rows (reprints): the first without a number.
    int found = -1;
    for (int i = 0; i < m_batch.rows.size(); ++i) {
        if (m_batch.rows[i].orderNumber.compare(wanted, Qt::CaseInsensitive) == 0 ||
            m_batch.rows[i].id == wanted) {
            if (m_batch.rows[i].waybillNumber.isEmpty())
                return i;
            if (found < 0)
                found = i;
        }
    }
    if (found >= 0)
        return found;
    // A sheet's number as printed on it: "3" or "第3张". Waybill numbers are far longer.
    static const QRegularExpression sheet(QStringLiteral("^第?\\s*(\\d{1,5})\\s*张?$"));
    const QRegularExpressionMatch match = sheet.match(wanted);
    if (match.hasMatch()) {
        const int n = match.captured(1).toInt();
        if (n >= 1 && n <= m_batch.rows.size())
            return n - 1;
    }
    return -1;
}

int BatchNumbers::nextPrintedWithoutNumber() const
{
    // In the order the pages came out: a rejected trial's row is printed again
    // at once, in its place; a sheet printed again later may be put anywhere, so
    // it waits for its order number; a row not printed has no page to scan.
    int best = -1;
    for (int i = 0; i < m_batch.rows.size(); ++i) {
        const BatchRow &r = m_batch.rows[i];
        if (r.state != BatchRow::State::Printed || !r.waybillNumber.isEmpty() || r.pairByOrder)
            continue;
        if (best < 0 || r.printOrder < m_batch.rows[best].printOrder)
            best = i;
    }
    return best;
}

QString BatchNumbers::refusal(int row, const QString &number) const
{
    const QString problem = WaybillNumber::problem(number, WaybillNumber::courierFor(m_pages().caption()));
    if (!problem.isEmpty())
        return problem;
    for (int i = 0; i < m_batch.rows.size(); ++i) {
        if (i != row && m_batch.rows[i].waybillNumber == number)
            return QStringLiteral("这个运单号已给了第 %1 张。").arg(i + 1);
    }
    const QString owner = m_journal.waybillNumberOwner(number);
    if (!owner.isEmpty() && (row < 0 || owner != m_batch.rows[row].journalId))
        return QStringLiteral("这个运单号已记在打印记录里。");
    return QString();
}

bool BatchNumbers::store(int row, const QString &number, QString *error)
{
    BatchRow &target = m_batch.rows[row];
    const QString before = target.waybillNumber;
    target.waybillNumber = number;
    // A number changed after the shipping file went out goes out again.
    target.exported = false;
    if (!target.journalId.isEmpty()) {
        QString why;
        if (!m_journal.setWaybillNumber(m_batch.journalEntry(row, m_pages().courier(), m_pages().formId()),
                                        number, &why)) {
            target.waybillNumber = before;
            if (error)
                *error = QStringLiteral("运单号未能记入打印记录：%1").arg(why);
            return false;
        }
    }
    QString why;
    if (!m_store.saveRow(m_batch, row, &why)) {
        if (error)
            *error = QStringLiteral("运单号已记入打印记录，但批量打印的进度无法保存：%1").arg(why);
        return false;
    }
    return true;
}

BatchNumbers::Outcome BatchNumbers::take(const QString &text)
{
    const int chosen = rowForOrderOrSheet(text);
    if (chosen >= 0) {
        m_chosenId = m_batch.rows[chosen].id;
        const BatchRow &r = m_batch.rows[chosen];
        const QString who = r.orderNumber.isEmpty()
                                ? QStringLiteral("第 %1 张（%2）").arg(chosen + 1).arg(r.value(u"txtNameTo"))
                                : QStringLiteral("订单 %1（%2）").arg(r.orderNumber, r.value(u"txtNameTo"));
        const QString has = r.waybillNumber.isEmpty()
                                ? QString()
                                : QStringLiteral("，现有运单号 %1，扫新的将替换它").arg(r.waybillNumber);
        return {Outcome::Chosen, chosen, QStringLiteral("%1→ 请扫运单号%2").arg(who, has)};
    }
    const QString number = WaybillNumber::normalised(text);
    if (number.isEmpty())
        return {Outcome::Refused, -1, QString()};
    const int chosenNow = chosenRow();
    const int row = chosenNow >= 0 ? chosenNow : nextPrintedWithoutNumber();
    const QString refused = refusal(row, number);
    if (!refused.isEmpty())
        return {Outcome::Refused, -1, QStringLiteral("%1 未采用：%2").arg(number, refused)};
    if (row < 0) {
        return {Outcome::Refused, -1,
                QStringLiteral("%1 未采用：已打印的运单都有运单号了。要给某个订单，请先扫它的订单编号。")
                    .arg(number)};
    }
    QString error;
    if (!store(row, number, &error))
        return {Outcome::Refused, row, QStringLiteral("%1 未采用：%2").arg(number, error)};
    m_chosenId.clear();
    return {Outcome::Given, row, QStringLiteral("%1 → %2").arg(number, rowName(row))};
}

BatchNumbers::Outcome BatchNumbers::give(int row, const QString &text)
{
    if (row < 0 || row >= m_batch.rows.size())
        return {};
    const QString number = WaybillNumber::normalised(text);
    if (number == m_batch.rows[row].waybillNumber)
        return {Outcome::Given, row, QString()};
    if (number.isEmpty()) {
        QString error;
        if (!clear(row, &error))
            return {Outcome::Refused, row, error};
        return {Outcome::Given, row, QStringLiteral("%1 的运单号已清除").arg(rowName(row))};
    }
    const QString refused = refusal(row, number);
    if (!refused.isEmpty())
        return {Outcome::Refused, row, QStringLiteral("%1 未采用：%2").arg(number, refused)};
    QString error;
    if (!store(row, number, &error))
        return {Outcome::Refused, row, QStringLiteral("%1 未采用：%2").arg(number, error)};
    return {Outcome::Given, row, QStringLiteral("%1 → %2").arg(number, rowName(row))};
}

bool BatchNumbers::clear(int row, QString *error)
{
    if (row < 0 || row >= m_batch.rows.size() || m_batch.rows[row].waybillNumber.isEmpty())
        return true;
    return store(row, QString(), error);
}
