#include "packing/pickingtable.h"

namespace {

enum Column { ColCode, ColTitle, ColSpec, ColQuantity, ColSheets, ColumnCount };

} // namespace

PickingTable::PickingTable(QObject *parent) : QAbstractTableModel(parent) {}

void PickingTable::setList(const PickingList *list)
{
    beginResetModel();
    m_list = list;
    endResetModel();
}

int PickingTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_list ? 0 : m_list->lineCount();
}

int PickingTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PickingTable::data(const QModelIndex &index, int role) const
{
    if (!m_list || !index.isValid() || index.row() >= m_list->lineCount())
        return QVariant();
    const PickingList::Line &line = m_list->lines()[index.row()];
    if (role == Qt::TextAlignmentRole && index.column() == ColQuantity)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == ColSheets)
        return QStringLiteral("订单：%1").arg(line.orderNumbers.join(QStringLiteral("、")));
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case ColCode:
        return line.code;
    case ColTitle:
        return line.title;
    case ColSpec:
        return line.spec;
    case ColQuantity:
        return line.quantity;
    case ColSheets:
        return line.sheets();
    }
    return QVariant();
}

QVariant PickingTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    static const QStringList titles{QStringLiteral("商家编码"), QStringLiteral("商品"),
                                    QStringLiteral("规格"), QStringLiteral("数量"), QStringLiteral("所在行")};
    return titles.value(section);
}
