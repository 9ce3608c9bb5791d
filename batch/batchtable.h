#pragma once

#include "batch/printbatch.h"

#include <QAbstractTableModel>

#include <functional>
#include <optional>

// The batch window's table: a line for each row of the batch, drawn only when
// the view shows it, so that a day of twenty thousand orders opens at once.
// What a row should be looked at for (提醒) is worked out when first shown and
// again once the row changed. An edit goes to the window, which checks it.
class BatchTable : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The columns: the row's state, its order, the eight recipient values, what
    // to look at before printing, the waybill number; then what packing adds:
    // the parcel of several, the items, when the parcel was checked.
    enum Column {
        ColState,
        ColOrder,
        ColFirstValue,
        ColWarnings = ColFirstValue + 8,
        ColWaybill,
        ColParcel,
        ColItems,
        ColChecked,
        ColumnCount
    };
    static QStringList captions();
    static QString stateCaption(const BatchRow &row);

    using Warnings = std::function<QStringList(int row)>;
    using Edit = std::function<void(int row, int column, const QString &text)>;
    BatchTable(const PrintBatch &batch, Warnings warnings, Edit edit, QObject *parent = nullptr);

    // The batch changed as a whole (rows added, removed, another batch), or one row of it.
    void reload();
    void rowChanged(int row);
    // The warnings of every row again: the form or the sender changed.
    void warningsChanged();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

private:
    QString warningsOf(int row) const;

    const PrintBatch &m_batch;
    Warnings m_warnings;
    Edit m_edit;
    mutable QList<std::optional<QString>> m_shownWarnings;
};
