#include "dispatch/frmcheck.h"

#include "batch/printbatch.h"
#include "ui/appicon.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template <typename Widget> Widget *named(Widget *widget, const char *name, const QString &label)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(label);
    return widget;
}

// Read from an arm's length while both hands hold the parcel.
void enlarge(QWidget *widget, double factor)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * factor);
    widget->setFont(font);
}

} // namespace

frmCheck::frmCheck(PrintBatch &batch, BatchNumbers &numbers, const BatchStore &store, Sound sound,
                   QWidget *parent)
    : QDialog(parent), m_batch(batch), m_check(batch, numbers, store), m_sound(std::move(sound))
{
    setObjectName(QStringLiteral("frmCheck"));
    setWindowTitle(QStringLiteral("验货"));
    setWindowIcon(appIcon());

    txtScan = named(new QLineEdit(this), "txtScan", QStringLiteral("扫描"));
    txtScan->setPlaceholderText(QStringLiteral("扫发货单条码或运单号"));
    const auto value = [this](const char *name, const QString &label) {
        auto *l = named(new QLabel(this), name, label);
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Clicking one must not take the scanner's keys away from the line.
        l->setFocusPolicy(Qt::NoFocus);
        enlarge(l, 1.8);
        return l;
    };
    lblBuyer = value("lblBuyer", QStringLiteral("收件人"));
    lblItems = value("lblItems", QStringLiteral("宝贝"));
    lblRemarks = value("lblRemarks", QStringLiteral("备注"));
    lblWaybill = value("lblWaybill", QStringLiteral("运单号"));
    lblParcel = value("lblParcel", QStringLiteral("件数"));
    lblStatus = named(new QLabel(this), "lblStatus", QStringLiteral("验货结果"));
    lblStatus->setWordWrap(true);
    lblStatus->setAutoFillBackground(true);
    lblStatus->setMargin(8);
    enlarge(lblStatus, 1.4);
    lblCount = named(new QLabel(this), "lblCount", QStringLiteral("验货进度"));
    cmdClose = named(new QPushButton(QStringLiteral("关闭"), this), "cmdClose", QStringLiteral("关闭"));
    cmdClose->setAutoDefault(false);
    cmdClose->setFocusPolicy(Qt::NoFocus);

    auto *scan = new QHBoxLayout;
    auto *scanLabel = new QLabel(QStringLiteral("扫描"), this);
    scanLabel->setBuddy(txtScan);
    scan->addWidget(scanLabel);
    scan->addWidget(txtScan, 1);
    auto *parcel = new QFormLayout;
    const auto row = [this, parcel](const QString &caption, QLabel *field) {
        auto *l = new QLabel(caption, this);
        enlarge(l, 1.2);
        parcel->addRow(l, field);
    };
    row(QStringLiteral("收件人"), lblBuyer);
    row(QStringLiteral("宝贝"), lblItems);
    row(QStringLiteral("备注"), lblRemarks);
    row(QStringLiteral("运单号"), lblWaybill);
    row(QStringLiteral("件数"), lblParcel);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lblCount, 1);
    bottom->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(scan);
    layout->addLayout(parcel, 1);
    layout->addWidget(lblStatus);
    layout->addLayout(bottom);
    resize(760, 520);

    connect(txtScan, &QLineEdit::returnPressed, this, &frmCheck::txtScan_ReturnPressed);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);

    showParcel(-1);
    showOutcome({ParcelCheck::Outcome::Nothing, -1, QStringLiteral("请扫发货单上的订单条码，再扫运单号。")});
    showCount();
    txtScan->setFocus();
}

void frmCheck::txtScan_ReturnPressed()
{
    const QString text = txtScan->text();
    txtScan->clear();
    const ParcelCheck::Outcome outcome = m_check.take(text);
    if (outcome.kind == ParcelCheck::Outcome::Nothing)
        return;
    // A scan of no parcel here leaves no other parcel's items on show beside it.
    showParcel(outcome.row);
    showOutcome(outcome);
    showCount();
    if (outcome.kind == ParcelCheck::Outcome::Mismatch && m_sound)
        m_sound();
    // A refusal may follow a number given and then not saved: redrawn all the same.
    if (outcome.row >= 0 &&
        (outcome.kind == ParcelCheck::Outcome::Checked || outcome.kind == ParcelCheck::Outcome::Mismatch))
        Q_EMIT rowChanged(outcome.row);
}

void frmCheck::showParcel(int row)
{
    if (row < 0 || row >= m_batch.rows.size()) {
        for (QLabel *label : {lblBuyer, lblItems, lblRemarks, lblWaybill, lblParcel})
            label->clear();
        return;
    }
    // The later parcels of an order carry nothing to pack: what goes in is the
    // first parcel's.
    const QList<int> group = m_check.parcelRows(row);
    const BatchRow &first = m_batch.rows[group.first()];
    const BatchRow &r = m_batch.rows[row];
    QStringList buyer{r.value(u"txtNameTo")};
    if (!r.value(u"txtPhoneTo").isEmpty())
        buyer.append(r.value(u"txtPhoneTo"));
    QStringList orders = first.orderNumbers();
    if (!orders.isEmpty())
        buyer.append(QStringLiteral("订单 %1").arg(orders.join(QStringLiteral("、"))));
    lblBuyer->setText(buyer.join(QStringLiteral("　")));
    QStringList items;
    for (const OrderItem &item : first.allItems())
        items.append(item.text());
    lblItems->setText(items.isEmpty() ? QStringLiteral("（订单里没有宝贝明细）") : items.join(u'\n'));
    lblRemarks->setText(first.remarks().join(u'\n'));
    lblWaybill->setText(r.waybillNumber.isEmpty() ? QStringLiteral("（还没有）") : r.waybillNumber);
    lblParcel->setText(r.parcels > 1 ? QStringLiteral("%1（共 %2 件）").arg(r.parcelText()).arg(r.parcels)
                                     : QStringLiteral("1"));
}

void frmCheck::showOutcome(const ParcelCheck::Outcome &outcome)
{
    QColor background = palette().color(QPalette::Window);
    QColor text = palette().color(QPalette::WindowText);
    switch (outcome.kind) {
    case ParcelCheck::Outcome::Checked:
        background = QColor(0x2e, 0x7d, 0x32);
        text = Qt::white;
        break;
    case ParcelCheck::Outcome::Mismatch:
        background = QColor(0xc6, 0x28, 0x28);
        text = Qt::white;
        break;
    case ParcelCheck::Outcome::Again:
        background = QColor(0xff, 0xe0, 0x82);
        text = Qt::black;
        break;
    case ParcelCheck::Outcome::Shown:
    case ParcelCheck::Outcome::Nothing:
        break;
    }
    QPalette colours = lblStatus->palette();
    colours.setColor(QPalette::Window, background);
    colours.setColor(QPalette::WindowText, text);
    lblStatus->setPalette(colours);
    lblStatus->setText(outcome.message);
}

void frmCheck::showCount()
{
    lblCount->setText(
        QStringLiteral("已验货 %1 / %2").arg(m_check.checkedCount()).arg(m_check.parcelCount()));
}
