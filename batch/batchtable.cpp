#include "batch/batchtable.h"

#include <QBrush>
#include <QColor>

QStringList BatchTable::captions()
{
    return QStringList{QStringLiteral("状态"), QStringLiteral("订单编号")} + BatchRow::captions() +
           QStringList{QStringLiteral("提醒"), QStringLiteral("运单号"), QStringLiteral("件数"),
                       QStringLiteral("商品"), QStringLiteral("验货")};
}

QString BatchTable::stateCaption(const BatchRow &row)
{
    switch (row.state) {
    case BatchRow::State::Waiting:
        return QStringLiteral("未打印");
    case BatchRow::State::Sending:
        return QStringLiteral("发送中");
    case BatchRow::State::Sent:
        return QStringLiteral("打印中");
    case BatchRow::State::Printed:
        return QStringLiteral("已打印");
    case BatchRow::State::Failed:
        return QStringLiteral("未打印（出错）");
    case BatchRow::State::Unsettled:
        return QStringLiteral("待核对");
    }
    return QString();
}

BatchTable::BatchTable(const PrintBatch &batch, Warnings warnings, Edit edit, QObject *parent)
    : QAbstractTableModel(parent), m_batch(batch), m_warnings(std::move(warnings)), m_edit(std::move(edit))
{
}

void BatchTable::reload()
{
    beginResetModel();
    m_shownWarnings = QList<std::optional<QString>>(m_batch.rows.size());
    endResetModel();
}

void BatchTable::rowChanged(int row)
{
    if (row < 0 || row >= m_shownWarnings.size())
        return;
    m_shownWarnings[row].reset();
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void BatchTable::warningsChanged()
{
    for (std::optional<QString> &shown : m_shownWarnings)
        shown.reset();
    if (!m_shownWarnings.isEmpty())
        Q_EMIT dataChanged(index(0, ColWarnings), index(int(m_shownWarnings.size()) - 1, ColWarnings));
}

int BatchTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shownWarnings.size());
}

int BatchTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString BatchTable::warningsOf(int row) const
{
    std::optional<QString> &shown = m_shownWarnings[row];
    if (!shown) {
        const BatchRow &source = m_batch.rows[row];
        // A row on paper already needs no looking at before printing.
        const bool toPrint =
            source.state == BatchRow::State::Waiting || source.state == BatchRow::State::Failed;
        shown = toPrint ? m_warnings(row).join(QStringLiteral("；")) : QString();
    }
    return *shown;
}

QVariant BatchTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_batch.rows.size())
        return {};
    const BatchRow &row = m_batch.rows[index.row()];
    const int column = index.column();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        switch (column) {
        case ColState:
            return stateCaption(row);
        case ColOrder:
            // A merged parcel names every order in it.
            return row.merged.isEmpty() ? row.orderNumber : row.orderNumbers().join(u'、');
        case ColParcel:
            return row.parcelText();
        case ColItems:
            return OrderItem::listText(row.allItems());
        case ColChecked:
            return row.checkedTime.isEmpty() ? QString()
                                             : QStringLiteral("已验货 %1").arg(row.checkedTime.mid(11, 5));
        case ColWarnings:
            return warningsOf(index.row());
        case ColWaybill:
            return row.waybillNumber;
        default:
            return row.recipient.value(column - ColFirstValue);
        }
    }
    if (role == Qt::BackgroundRole && column >= ColFirstValue && column < ColWarnings &&
        row.unsure.contains(BatchRow::captions()[column - ColFirstValue]))
        return QBrush(QColor(255, 235, 160));
    if (role == Qt::ToolTipRole && column == ColState && !row.problem.isEmpty())
        return row.problem;
    if (role == Qt::ToolTipRole && column == ColItems && !row.allItems().isEmpty()) {
        QStringList lines;
        for (const OrderItem &item : row.allItems())
            lines.append(item.text());
        lines.append(row.remarks());
        return lines.join(u'\n');
    }
    return {};
}

QVariant BatchTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return captions().value(section);
}

Qt::ItemFlags BatchTable::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid() || index.row() >= m_batch.rows.size())
        return flags;
    const BatchRow &row = m_batch.rows[index.row()];
    const bool toPrint = row.state == BatchRow::State::Waiting || row.state == BatchRow::State::Failed;
    const int column = index.column();
    if (column == ColWaybill || (toPrint && column >= ColFirstValue && column < ColWarnings))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool BatchTable::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    m_edit(index.row(), index.column(), value.toString());
    rowChanged(index.row());
    return true;
}
