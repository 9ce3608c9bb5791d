#pragma once

#include "packing/pickinglist.h"

#include <QAbstractTableModel>

// The picking list as the 拣货单 window's table shows it, one line a row.
class PickingTable : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit PickingTable(QObject *parent = nullptr);

    void setList(const PickingList *list);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const PickingList *m_list = nullptr;
};
