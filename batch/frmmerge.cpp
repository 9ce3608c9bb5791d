#include "batch/frmmerge.h"

#include "batch/printbatch.h"
#include "ui/appicon.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

template <typename Widget> Widget *named(Widget *widget, const char *name, const QString &label)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(label);
    return widget;
}

// In the order of the recipient keys: company, person, province, city, district, street, phone.
QString addressOf(const QStringList &recipient)
{
    return recipient.value(2) + recipient.value(3) + recipient.value(4) + recipient.value(5);
}

} // namespace

frmMerge::frmMerge(const PrintBatch &batch, QList<BatchParcels::Proposal> proposals, QWidget *parent)
    : QDialog(parent), m_proposals(std::move(proposals))
{
    setObjectName(QStringLiteral("frmMerge"));
    setWindowTitle(QStringLiteral("合单"));
    setWindowIcon(appIcon());
    auto *intro = new QLabel(QStringLiteral("下面的订单寄给同一位买家、同一个地址，可以合成一个包裹，"
                                            "只打一张运单。勾选要合并的，未勾选的以后不再提示。"),
                             this);
    intro->setWordWrap(true);
    grdProposals = named(new QTableWidget(0, 5, this), "grdProposals", QStringLiteral("合单建议"));
    grdProposals->setHorizontalHeaderLabels({QStringLiteral("合并"), QStringLiteral("原因"),
                                             QStringLiteral("订单"), QStringLiteral("收件人"),
                                             QStringLiteral("地址")});
    grdProposals->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdProposals->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdProposals->horizontalHeader()->setStretchLastSection(true);
    grdProposals->setRowCount(int(m_proposals.size()));
    for (int i = 0; i < m_proposals.size(); ++i) {
        QStringList orders, names;
        QString address;
        for (const QString &id : m_proposals[i].rowIds) {
            const int at = batch.rowWithId(id);
            if (at < 0)
                continue;
            const BatchRow &row = batch.rows[at];
            const QStringList numbers = row.orderNumbers();
            orders.append(QStringLiteral("第%1张 %2").arg(at + 1).arg(numbers.join(u'、')));
            if (!names.contains(row.recipient.value(1)))
                names.append(row.recipient.value(1));
            if (address.isEmpty())
                address = addressOf(row.recipient);
        }
        auto *tick = new QTableWidgetItem;
        tick->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        tick->setCheckState(Qt::Checked);
        grdProposals->setItem(i, 0, tick);
        grdProposals->setItem(i, 1, new QTableWidgetItem(m_proposals[i].reason));
        grdProposals->setItem(i, 2, new QTableWidgetItem(orders.join(QStringLiteral("；"))));
        grdProposals->setItem(i, 3, new QTableWidgetItem(names.join(u'、')));
        grdProposals->setItem(i, 4, new QTableWidgetItem(address));
    }
    grdProposals->resizeColumnsToContents();

    cmdAll = named(new QPushButton(QStringLiteral("全选"), this), "cmdMergeAll", QStringLiteral("全选"));
    cmdNone =
        named(new QPushButton(QStringLiteral("全不选"), this), "cmdMergeNone", QStringLiteral("全不选"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdMergeOk"));
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("以后再说"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("以后再说"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cmdAll, &QPushButton::clicked, this, &frmMerge::cmdAll_Click);
    connect(cmdNone, &QPushButton::clicked, this, &frmMerge::cmdNone_Click);

    auto *row = new QHBoxLayout;
    row->addWidget(cmdAll);
    row->addWidget(cmdNone);
    row->addStretch();
    row->addWidget(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(grdProposals, 1);
    layout->addLayout(row);
    resize(900, 420);
}

void frmMerge::cmdAll_Click()
{
    for (int i = 0; i < grdProposals->rowCount(); ++i)
        grdProposals->item(i, 0)->setCheckState(Qt::Checked);
}

void frmMerge::cmdNone_Click()
{
    for (int i = 0; i < grdProposals->rowCount(); ++i)
        grdProposals->item(i, 0)->setCheckState(Qt::Unchecked);
}

QList<BatchParcels::Proposal> frmMerge::accepted() const
{
    QList<BatchParcels::Proposal> list;
    for (int i = 0; i < m_proposals.size(); ++i) {
        if (grdProposals->item(i, 0)->checkState() == Qt::Checked)
            list.append(m_proposals[i]);
    }
    return list;
}

QList<BatchParcels::Proposal> frmMerge::refused() const
{
    QList<BatchParcels::Proposal> list;
    for (int i = 0; i < m_proposals.size(); ++i) {
        if (grdProposals->item(i, 0)->checkState() != Qt::Checked)
            list.append(m_proposals[i]);
    }
    return list;
}
