#include "packing/pickinglist.h"

#include "addressbook/csvtext.h"
#include "batch/printbatch.h"
#include "packing/pagetext.h"

#include <QCollator>
#include <QFileInfo>
#include <QHash>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QSet>

#include <algorithm>
#include <array>
#include <numeric>

namespace {

using PageText::Units;

// The page in hundredths of a millimetre.
constexpr double Margin = 15 * Units;
constexpr double PageWidth = 210 * Units;
constexpr double PageHeight = 297 * Units;
constexpr double TitleHeight = 9 * Units;
constexpr double InfoHeight = 6 * Units;
constexpr double TableTop = Margin + TitleHeight + InfoHeight + 2 * Units;
constexpr double HeadRowHeight = 7 * Units;
constexpr double FooterTop = PageHeight - Margin - 4 * Units;
constexpr double TableBottom = FooterTop - 2 * Units;
constexpr double PadX = 1.5 * Units;
constexpr double PadY = 1.2 * Units;
// A product bought in many orders would fill a page with its rows; past this
// many lines a cell ends in "…".
constexpr int MaxCellLines = 6;

constexpr int Columns = 5;
constexpr std::array<double, Columns> ColumnWidths{32 * Units, 62 * Units, 36 * Units, 16 * Units,
                                                   34 * Units};

const QStringList &columnTitles()
{
    static const QStringList titles{QStringLiteral("商家编码"), QStringLiteral("商品"),
                                    QStringLiteral("规格"), QStringLiteral("数量"), QStringLiteral("所在行")};
    return titles;
}

double columnLeft(int column)
{
    return Margin + std::accumulate(ColumnWidths.begin(), ColumnWidths.begin() + column, 0.0);
}

double cellTextWidth(int column)
{
    return ColumnWidths[column] - 2 * PadX;
}

std::array<QString, Columns> cellsOf(const PickingList::Line &line)
{
    return {line.code, line.title, line.spec, QString::number(line.quantity), line.sheets()};
}

QString pageNumberText(int page, int pages)
{
    return QStringLiteral("第 %1 页，共 %2 页").arg(page + 1).arg(pages);
}

} // namespace

QString PickingList::Line::sheets() const
{
    QStringList parts;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype end = i;
        while (end + 1 < rows.size() && rows[end + 1] == rows[end] + 1)
            ++end;
        if (end - i >= 2) {
            parts.append(QStringLiteral("%1–%2").arg(rows[i] + 1).arg(rows[end] + 1));
        } else {
            for (qsizetype k = i; k <= end; ++k)
                parts.append(QString::number(rows[k] + 1));
        }
        i = end + 1;
    }
    return parts.join(QStringLiteral(", "));
}

PickingList::PickingList(const PrintBatch &batch)
{
    QList<int> rows(batch.rows.size());
    std::iota(rows.begin(), rows.end(), 0);
    collect(batch, rows);
}

PickingList::PickingList(const PrintBatch &batch, const QStringList &rowIds)
{
    QList<int> rows;
    for (const QString &id : rowIds) {
        int row = batch.rowWithId(id);
        if (row >= 0 && !batch.rows[row].isFirstParcel())
            row = batch.rowWithId(batch.rows[row].parcelOf);
        if (row >= 0)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    collect(batch, rows);
}

void PickingList::collect(const PrintBatch &batch, const QList<int> &rows)
{
    m_batchDate = batch.created.left(16);
    m_formName = PrintBatch::forms().contains(batch.form) ? PrintBatch::formCaption(batch.form)
                                                          : QFileInfo(batch.form).completeBaseName();

    QHash<QString, int> lineOf;
    QList<QSet<QString>> ordersOf;
    const auto add = [&](const OrderItem &item, const QString &orderNumber, int row) {
        const QString code = item.code.trimmed(), title = item.title.trimmed(), spec = item.spec.trimmed();
        if (code.isEmpty() && title.isEmpty() && spec.isEmpty())
            return false;
        // Control characters keep a code from ever meeting a title.
        const QString key = code.isEmpty() ? u'\x02' + title + u'\x1f' + spec : u'\x01' + code;
        auto found = lineOf.constFind(key);
        if (found == lineOf.cend()) {
            found = lineOf.insert(key, int(m_lines.size()));
            m_lines.append(Line{code, title, spec, 0, {}, {}});
            ordersOf.append(QSet<QString>());
        }
        Line &line = m_lines[*found];
        line.quantity += item.quantity;
        if (line.rows.isEmpty() || line.rows.last() != row)
            line.rows.append(row);
        if (!orderNumber.isEmpty() && !ordersOf[*found].contains(orderNumber)) {
            ordersOf[*found].insert(orderNumber);
            line.orderNumbers.append(orderNumber);
        }
        m_pieces += item.quantity;
        return true;
    };
    for (const int i : rows) {
        const BatchRow &row = batch.rows[i];
        // A later parcel carries the first's orders, not their items.
        if (!row.isFirstParcel())
            continue;
        bool packs = false;
        for (const OrderItem &item : row.items)
            packs |= add(item, row.orderNumber, i);
        for (const MergedOrder &order : row.merged) {
            for (const OrderItem &item : order.items)
                packs |= add(item, order.orderNumber, i);
        }
        if (packs)
            ++m_parcels;
    }

    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    struct Keys
    {
        QCollatorSortKey first, second;
    };
    std::vector<Keys> keys;
    keys.reserve(m_lines.size());
    for (const Line &line : std::as_const(m_lines)) {
        if (line.code.isEmpty())
            keys.push_back({collator.sortKey(line.title), collator.sortKey(line.spec)});
        else
            keys.push_back({collator.sortKey(line.code), collator.sortKey(QString())});
    }
    std::vector<int> order(m_lines.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const Line &x = m_lines[a], &y = m_lines[b];
        if (x.code.isEmpty() != y.code.isEmpty())
            return y.code.isEmpty();
        if (const int c = keys[a].first.compare(keys[b].first); c != 0)
            return c < 0;
        if (const int c = keys[a].second.compare(keys[b].second); c != 0)
            return c < 0;
        // Texts that collate equal keep a fixed order by their code points.
        return std::tie(x.code, x.title, x.spec) < std::tie(y.code, y.title, y.spec);
    });
    QList<Line> sorted;
    sorted.reserve(m_lines.size());
    for (const int i : order)
        sorted.append(std::move(m_lines[i]));
    m_lines = std::move(sorted);
}

QString PickingList::totalsText() const
{
    return QStringLiteral("共 %1 种商品，%2 件，%3 个包裹").arg(lineCount()).arg(m_pieces).arg(m_parcels);
}

QByteArray PickingList::csv() const
{
    CsvText::Rows rows{columnTitles()};
    for (const Line &line : m_lines) {
        const auto cells = cellsOf(line);
        rows.append(QStringList(cells.begin(), cells.end()));
    }
    return CsvText::write(rows);
}

const QList<PickingList::Page> &PickingList::pages() const
{
    if (m_laidOut)
        return m_pages;
    m_laidOut = true;
    const QFont font = PageText::font(10);
    m_heights.clear();
    m_heights.reserve(m_lines.size());
    for (const Line &line : m_lines) {
        const auto cells = cellsOf(line);
        double height = 0;
        for (int c = 0; c < Columns; ++c) {
            height = std::max(height, PageText::height(cells[c], font, cellTextWidth(c), MaxCellLines));
        }
        m_heights.append(height + 2 * PadY);
    }
    m_pages = {Page{}};
    double y = TableTop + HeadRowHeight;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (m_pages.last().count > 0 && y + m_heights[i] > TableBottom) {
            m_pages.append(Page{i, 0});
            y = TableTop + HeadRowHeight;
        }
        ++m_pages.last().count;
        y += m_heights[i];
    }
    return m_pages;
}

int PickingList::pageCount() const
{
    return int(pages().size());
}

void PickingList::paintPage(QPainter &painter, int page) const
{
    const QList<Page> &all = pages();
    if (page < 0 || page >= all.size() || !painter.device())
        return;
    painter.save();
    painter.scale(painter.device()->logicalDpiX() / 25.4 / Units,
                  painter.device()->logicalDpiY() / 25.4 / Units);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    const double tableWidth = PageWidth - 2 * Margin;

    painter.setFont(PageText::font(16, true));
    painter.drawText(QRectF(Margin, Margin, tableWidth, TitleHeight), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("拣货单"));
    painter.setFont(PageText::font(10));
    painter.drawText(QRectF(Margin, Margin + TitleHeight, tableWidth, InfoHeight),
                     Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("批次 %1　%2　%3").arg(m_batchDate, m_formName, totalsText()));

    const QFont head = PageText::font(10, true);
    const QFont body = PageText::font(10);
    const QPen thin(Qt::black, 0.2 * Units), thick(Qt::black, 0.4 * Units);
    painter.fillRect(QRectF(Margin, TableTop, tableWidth, HeadRowHeight), QColor(0xe8, 0xe8, 0xe8));
    painter.setFont(head);
    for (int c = 0; c < Columns; ++c) {
        const QRectF cell(columnLeft(c) + PadX, TableTop, cellTextWidth(c), HeadRowHeight);
        painter.drawText(cell, (c == 3 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                         columnTitles()[c]);
    }

    double y = TableTop + HeadRowHeight;
    QList<double> rules{TableTop, y};
    const Page &shown = all[page];
    for (int i = shown.first; i < shown.first + shown.count; ++i) {
        const auto cells = cellsOf(m_lines[i]);
        for (int c = 0; c < Columns; ++c) {
            PageText::draw(painter, cells[c], body, QPointF(columnLeft(c) + PadX, y + PadY), cellTextWidth(c),
                           MaxCellLines, c == 3 ? Qt::AlignRight : Qt::AlignLeft);
        }
        y += m_heights[i];
        rules.append(y);
    }
    for (qsizetype r = 0; r < rules.size(); ++r) {
        painter.setPen(r == 1 ? thick : thin);
        painter.drawLine(QPointF(Margin, rules[r]), QPointF(Margin + tableWidth, rules[r]));
    }
    painter.setPen(thin);
    for (int c = 0; c <= Columns; ++c) {
        const double x = c < Columns ? columnLeft(c) : Margin + tableWidth;
        painter.drawLine(QPointF(x, TableTop), QPointF(x, y));
    }

    painter.setFont(PageText::font(9));
    painter.drawText(QRectF(Margin, FooterTop, tableWidth, PageHeight - Margin - FooterTop),
                     Qt::AlignHCenter | Qt::AlignBottom, pageNumberText(page, int(all.size())));
    painter.restore();
}

bool PickingList::paint(QPagedPaintDevice &device, QString *error) const
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error)
            *error = QStringLiteral("无法开始绘制拣货单。");
        return false;
    }
    for (int page = 0; page < pageCount(); ++page) {
        if (page > 0)
            device.newPage();
        paintPage(painter, page);
    }
    return painter.end();
}
