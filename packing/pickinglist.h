#pragma once

#include <QByteArray>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

class PrintBatch;
class QPagedPaintDevice;
class QPainter;

// 拣货单: what to take off the shelves for a batch, each product once with the
// number of pieces of all its parcels. A product is known by the shop's code;
// an item without one by its title and variant.
class PickingList
{
public:
    struct Line
    {
        QString code; // 商家编码; empty when the items had none
        QString title;
        QString spec;
        int quantity = 0;
        QList<int> rows;          // the batch rows it goes into, by index, ascending
        QStringList orderNumbers; // the orders it was bought in, each once, in row order

        // The rows as the user counts the sheets: "3, 7, 12", a run of three or
        // more as "3–5".
        QString sheets() const;
    };

    // Every row of the batch.
    explicit PickingList(const PrintBatch &batch);
    // Only the rows with these ids; a later parcel's row stands for its first,
    // whose parcel holds the items.
    PickingList(const PrintBatch &batch, const QStringList &rowIds);

    // By code in natural order (A2 before A10), then the lines without a code
    // by title and variant in Chinese collation (pinyin).
    const QList<Line> &lines() const { return m_lines; }
    int pieces() const { return m_pieces; }
    int lineCount() const { return int(m_lines.size()); }
    int parcels() const { return m_parcels; }
    // What the heading says of the batch: the day it was begun and its form.
    QString batchDate() const { return m_batchDate; }
    QString formName() const { return m_formName; }
    // "共 12 种商品，30 件，8 个包裹".
    QString totalsText() const;

    // 商家编码, 商品, 规格, 数量, 所在行; UTF-8 with a byte order mark, CR LF,
    // formula starts guarded.
    QByteArray csv() const;

    // The printed list: A4 portrait, the heading and the column heading on
    // every page, the page's number at its foot.
    static QSizeF pageSizeMm() { return QSizeF(210, 297); }
    int pageCount() const;
    // One page at true size on the painter's device; its origin is the paper's corner.
    void paintPage(QPainter &painter, int page) const;
    // Every page onto a paged device (a PDF writer or a printer) whose page is
    // A4 from the paper's corner; false with why when the device would not paint.
    bool paint(QPagedPaintDevice &device, QString *error = nullptr) const;

private:
    void collect(const PrintBatch &batch, const QList<int> &rows);
    struct Page
    {
        int first = 0; // the index of its first line
        int count = 0;
    };
    const QList<Page> &pages() const;

    QList<Line> m_lines;
    int m_pieces = 0;
    int m_parcels = 0;
    QString m_batchDate;
    QString m_formName;
    mutable QList<Page> m_pages; // laid out on the first call that needs them
    mutable QList<double> m_heights;
    mutable bool m_laidOut = false;
};
