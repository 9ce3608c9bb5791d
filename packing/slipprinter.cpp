#include "packing/slipprinter.h"

#include "batch/printbatch.h"
#include "packing/pagejob.h"

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

namespace {

const QString &nothingToPrint()
{
    static const QString text = QStringLiteral("所选的行没有要打印的发货单。");
    return text;
}

} // namespace

SlipPrinter::SlipPrinter(const Forms::Form &form, const PrintQueue &queue)
    : m_form(form), m_painter(form), m_queue(queue)
{
}

QList<int> SlipPrinter::slipOrder(const PrintBatch &batch, const QList<int> &rows)
{
    QList<int> order;
    for (const int row : rows) {
        if (row >= 0 && row < batch.rows.size() && batch.rows[row].isFirstParcel())
            order.append(row);
    }
    std::sort(order.begin(), order.end());
    order.erase(std::unique(order.begin(), order.end()), order.end());
    // Printed rows first, as their waybills lie in the stack; the stable sort
    // keeps the others in row order behind them.
    std::stable_sort(order.begin(), order.end(), [&batch](int a, int b) {
        const int x = batch.rows[a].printOrder, y = batch.rows[b].printOrder;
        if ((x > 0) != (y > 0))
            return x > 0;
        return x > 0 && x < y;
    });
    return order;
}

void SlipPrinter::paintSlip(QPainter &painter, const PrintBatch &batch, int row) const
{
    if (!painter.device())
        return;
    Forms::FormValues values;
    values.contact = [&batch, row](QStringView key) { return batch.value(row, key); };
    painter.save();
    painter.scale(painter.device()->logicalDpiX() / 25.4, painter.device()->logicalDpiY() / 25.4);
    m_painter.paint(painter, values, Forms::FormPainter::NoBackground);
    painter.restore();
}

bool SlipPrinter::paint(QPagedPaintDevice &device, const PrintBatch &batch, const QList<int> &rows,
                        QString *error) const
{
    const QList<int> order = slipOrder(batch, rows);
    if (order.isEmpty()) {
        if (error)
            *error = nothingToPrint();
        return false;
    }
    device.setPageLayout(
        QPageLayout(QPageSize(m_form.paper, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                    QPageLayout::Portrait, QMarginsF()));
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error)
            *error = QStringLiteral("无法开始绘制发货单。");
        return false;
    }
    for (qsizetype i = 0; i < order.size(); ++i) {
        if (i > 0)
            device.newPage();
        paintSlip(painter, batch, order[i]);
    }
    return painter.end();
}

bool SlipPrinter::print(const QString &printer, const PrintBatch &batch, const QList<int> &rows,
                        QString *error, int *jobId) const
{
    const QList<int> order = slipOrder(batch, rows);
    if (order.isEmpty()) {
        if (error)
            *error = nothingToPrint();
        return false;
    }
    const QString title = QStringLiteral("发货单 %1 共 %2 张").arg(batch.created.left(16)).arg(order.size());
    const QString failure = PageJob::print(
        m_queue, printer, title, QStringLiteral("发货单"), m_form.paper, int(order.size()),
        [&](QPainter &painter, int page) { paintSlip(painter, batch, order[page]); }, jobId);
    if (error)
        *error = failure;
    return failure.isEmpty();
}
