#pragma once

#include "forms/form.h"
#include "forms/formpainter.h"

#include <QList>
#include <QString>

class PrintBatch;
class PrintQueue;
class QPagedPaintDevice;
class QPainter;

// 发货单: a packing slip for each parcel of a batch, drawn with a form of the
// user's whose fields read the batch row (order numbers, items, remarks …),
// one page each on the form's own paper, at true size.
class SlipPrinter
{
public:
    SlipPrinter(const Forms::Form &form, const PrintQueue &queue);

    const Forms::Form &form() const { return m_form; }

    // The rows that get a slip, in the order their waybills came out (print
    // order), then those not printed in row order; a later parcel of several
    // gets none, its first has the slip.
    static QList<int> slipOrder(const PrintBatch &batch, const QList<int> &rows);
    // One row's slip on the painter's device; the painter's origin is the paper's corner.
    void paintSlip(QPainter &painter, const PrintBatch &batch, int row) const;
    // The slips of rows, in slip order, one page each onto a paged device (a PDF
    // writer or a printer) given the form's paper from its corner. False with
    // why when there is nothing to print or the device would not paint.
    bool paint(QPagedPaintDevice &device, const PrintBatch &batch, const QList<int> &rows,
               QString *error = nullptr) const;
    // The same as one job to the printer of that name. False with why for the user.
    bool print(const QString &printer, const PrintBatch &batch, const QList<int> &rows, QString *error,
               int *jobId = nullptr) const;

private:
    Forms::Form m_form;
    Forms::FormPainter m_painter;
    const PrintQueue &m_queue;
};
