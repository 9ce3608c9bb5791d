#include "dispatch/dayclose.h"

#include "addressbook/printjournal.h"
#include "batch/printbatch.h"

#include <QHash>

#include <optional>

namespace {

QString whereIn(const PrintBatch &batch, int row)
{
    return QStringLiteral("批次 %1 第 %2 张").arg(batch.created.left(16)).arg(row + 1);
}

DayClose::Line rowLine(const PrintBatch &batch, int row)
{
    const BatchRow &r = batch.rows[row];
    DayClose::Line line;
    line.time = r.printedTime;
    line.recipient = r.value(u"txtNameTo");
    line.orderNumber = r.orderNumber;
    line.waybillNumber = r.waybillNumber;
    // A form of the user's is named by its file; the detail names the batch.
    if (PrintBatch::forms().contains(batch.form))
        line.courier = PrintBatch::courierOf(batch.form);
    line.detail = whereIn(batch, row);
    line.batchFile = batch.fileName;
    line.rowId = r.id;
    line.journalId = r.journalId;
    return line;
}

} // namespace

DayClose::DayClose(const PrintJournal &journal, const BatchStore &store) : m_journal(journal), m_store(store)
{
}

DayClose::Report DayClose::report(const QDate &day) const
{
    Report report;
    report.day = day;
    const QString dayText = day.toString(Qt::ISODate);

    // The batches begun that day, in the order they were begun.
    QList<PrintBatch> batches;
    for (const BatchStore::Summary &summary : m_store.list(&report.problems)) {
        if (!summary.created.startsWith(dayText))
            continue;
        QString problem;
        std::optional<PrintBatch> batch = m_store.load(summary.fileName, &problem);
        if (batch)
            batches.prepend(std::move(*batch));
        else if (!problem.isEmpty())
            report.problems.append(problem);
    }
    for (const PrintBatch &batch : std::as_const(batches)) {
        for (int row = 0; row < batch.rows.size(); ++row) {
            const BatchRow &r = batch.rows[row];
            if (!r.waybillNumber.isEmpty() && !r.exported)
                report.notExported.append(rowLine(batch, row));
            if (r.exported && r.checkedTime.isEmpty())
                report.notChecked.append(rowLine(batch, row));
        }
    }

    // A page printed that day may belong to a batch begun on an earlier one,
    // gone on with: looked for once per batch.
    QHash<QString, std::optional<PrintBatch>> earlier;
    const auto batchWithId = [&](const QString &id, const QString &time) -> const PrintBatch * {
        for (const PrintBatch &batch : std::as_const(batches)) {
            if (batch.id == id)
                return &batch;
        }
        auto found = earlier.find(id);
        if (found == earlier.end())
            found = earlier.insert(id, m_store.withId(id, time));
        return found->has_value() ? &**found : nullptr;
    };

    QString error;
    const PrintJournal::Table table = m_journal.table(&error);
    if (!error.isEmpty())
        report.problems.append(error);
    // Newest first in the table: read backwards, the day reads in the order it was printed.
    for (qsizetype i = table.size() - 1; i >= 0; --i) {
        if (!table.column(i, PrintJournal::TimeColumn).startsWith(dayText))
            continue;
        const PrintJournal::Entry entry = table.at(i);
        if (!entry.isSpoiled() && !entry.waybillNumber.isEmpty())
            continue;
        Line line;
        line.time = entry.time;
        line.recipient = entry.value(u"txtNameTo");
        line.orderNumber = entry.orderNumber;
        line.waybillNumber = entry.waybillNumber;
        line.courier = entry.courier;
        line.journalId = entry.id;
        if (entry.isSpoiled()) {
            // The row it was printed for has a new page since, and its own entry.
            line.detail = entry.spoiled;
            report.spoiled.append(line);
            continue;
        }
        line.detail = QStringLiteral("单张打印");
        if (!entry.batchId.isEmpty()) {
            line.detail = QStringLiteral("批量打印");
            if (const PrintBatch *batch = batchWithId(entry.batchId, entry.time)) {
                for (int row = 0; row < batch->rows.size(); ++row) {
                    if (batch->rows[row].journalId == entry.id) {
                        line.detail = whereIn(*batch, row);
                        line.batchFile = batch->fileName;
                        line.rowId = batch->rows[row].id;
                        break;
                    }
                }
            }
        }
        report.withoutNumber.append(line);
    }
    return report;
}
