#include "tools/journalwindow.h"

#include "batch/printbatch.h"
#include "orders/waybillnumber.h"
#include "platform/platform.h"
#include "ui/twips.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include <iterator>

namespace {

// Columns of a table entry (see PrintJournal::Table::column).
constexpr int TimeColumn = 0;
constexpr int CourierColumn = 1;
constexpr int PrinterColumn = 2;
constexpr int RecipientColumn = 3 + 8; // the recipient's values follow the sender's eight
constexpr int WaybillColumn = 3 + 16 + 1;

} // namespace

// The entries a search matches, each made into its line only when the list
// draws it: a journal of 200,000 entries opens and filters at once.
class JournalModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setTable(PrintJournal::Table table)
    {
        beginResetModel();
        m_table = std::move(table);
        m_shown = m_table.find(u"");
        endResetModel();
    }
    void filter(QStringView text)
    {
        beginResetModel();
        m_shown = m_table.find(text);
        endResetModel();
    }
    PrintJournal::Entry entry(int row) const { return m_table.at(m_shown[row]); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_shown.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(headers().size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const qsizetype i = m_shown[index.row()];
        const auto recipient = [&](int value) { return m_table.column(i, RecipientColumn + value); };
        switch (index.column()) {
        case 0:
            return m_table.column(i, TimeColumn).toString();
        case 1:
            return m_table.column(i, CourierColumn).toString();
        case 2: {
            const QStringView company = recipient(0);
            const QStringView person = recipient(1);
            if (company.isEmpty())
                return person.toString();
            return person.toString() + QStringLiteral("（") + company.toString() + QStringLiteral("）");
        }
        case 3:
            return recipient(6).toString();
        case 4:
            return recipient(2).toString() + recipient(3).toString() + recipient(4).toString() +
                   recipient(5).toString();
        case 5:
            return m_table.column(i, WaybillColumn).toString();
        case 6:
            return m_table.column(i, PrinterColumn).toString();
        case 7:
            return m_table.column(i, PrintJournal::SpoiledColumn).toString();
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return headers().value(section);
    }

private:
    static const QStringList &headers()
    {
        static const QStringList names{QStringLiteral("时间"),   QStringLiteral("快递"),
                                       QStringLiteral("收件人"), QStringLiteral("电话"),
                                       QStringLiteral("地址"),   QStringLiteral("运单号"),
                                       QStringLiteral("打印机"), QStringLiteral("作废")};
        return names;
    }

    PrintJournal::Table m_table;
    QList<qsizetype> m_shown;
};

frmJournal::frmJournal(PrintJournal &journal, Platform &platform, QWidget *parent)
    : QDialog(parent), m_journal(journal), m_platform(platform), m_model(new JournalModel(this))
{
    setObjectName(QStringLiteral("frmJournal"));
    setWindowTitle(QStringLiteral("打印记录"));
    resize(Twips::toPixels(12000), Twips::toPixels(6600));

    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setAccessibleName(QStringLiteral("搜索"));
    txtSearch->setPlaceholderText(QStringLiteral("搜索（姓名、电话、地址、运单号……）"));
    txtSearch->setClearButtonEnabled(true);
    txtSearch->setGeometry(Twips::rect(120, 120, 6000, 360));

    lstJournal = new QTreeView(this);
    lstJournal->setObjectName(QStringLiteral("lstJournal"));
    lstJournal->setAccessibleName(QStringLiteral("打印记录"));
    lstJournal->setRootIsDecorated(false);
    lstJournal->setUniformRowHeights(true);
    lstJournal->setSelectionMode(QAbstractItemView::SingleSelection);
    lstJournal->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstJournal->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstJournal->setModel(m_model);
    lstJournal->setGeometry(Twips::rect(120, 600, 11760, 5280));
    const int widths[] = {2100, 600, 1800, 1650, 2250, 1800};
    for (int column = 0; column < int(std::size(widths)); ++column)
        lstJournal->setColumnWidth(column, Twips::toPixels(widths[column]));

    // Left of 再打印, spaced as 再打印 is from 关闭.
    cmdWaybillNumber = new QPushButton(QStringLiteral("运单号…"), this);
    cmdWaybillNumber->setObjectName(QStringLiteral("cmdWaybillNumber"));
    cmdWaybillNumber->setAccessibleName(QStringLiteral("运单号…"));
    cmdWaybillNumber->setGeometry(Twips::rect(7980, 6060, 1140, 390));
    cmdWaybillNumber->setEnabled(false);
    cmdReprint = new QPushButton(QStringLiteral("再打印"), this);
    cmdReprint->setObjectName(QStringLiteral("cmdReprint"));
    cmdReprint->setAccessibleName(QStringLiteral("再打印"));
    cmdReprint->setGeometry(Twips::rect(9360, 6060, 1140, 390));
    cmdReprint->setEnabled(false);
    cmdClose = new QPushButton(QStringLiteral("关闭"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setAccessibleName(QStringLiteral("关闭"));
    cmdClose->setGeometry(Twips::rect(10740, 6060, 1140, 390));

    connect(txtSearch, &QLineEdit::textChanged, this, &frmJournal::txtSearch_Change);
    connect(lstJournal->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &frmJournal::lstJournal_SelectionChanged);
    connect(lstJournal, &QTreeView::doubleClicked, this, &frmJournal::cmdReprint_Click);
    connect(cmdReprint, &QPushButton::clicked, this, &frmJournal::cmdReprint_Click);
    connect(cmdWaybillNumber, &QPushButton::clicked, this, &frmJournal::cmdWaybillNumber_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    reload();
}

frmJournal::~frmJournal() = default;

void frmJournal::reload()
{
    QString error;
    PrintJournal::Table table = m_journal.table(&error);
    if (!error.isEmpty())
        m_platform.messageBox(QStringLiteral("无法读取打印记录：") + error, QStringLiteral("提示"),
                              Dialogs::Exclamation);
    m_model->setTable(std::move(table));
    txtSearch_Change();
}

void frmJournal::showEntry(const QString &entryId)
{
    // An id is in no other column: searching for it finds its entry alone.
    txtSearch->setText(entryId);
}

void frmJournal::txtSearch_Change()
{
    m_model->filter(txtSearch->text().trimmed());
    if (m_model->rowCount() > 0)
        lstJournal->setCurrentIndex(m_model->index(0, 0));
    lstJournal_SelectionChanged();
}

void frmJournal::lstJournal_SelectionChanged()
{
    cmdReprint->setEnabled(lstJournal->selectionModel()->hasSelection());
    cmdWaybillNumber->setEnabled(lstJournal->selectionModel()->hasSelection());
}

void frmJournal::cmdReprint_Click()
{
    const QModelIndexList selected = lstJournal->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    Q_EMIT reprint(m_model->entry(selected.front().row()));
}

void frmJournal::cmdWaybillNumber_Click()
{
    const QModelIndexList selected = lstJournal->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    const PrintJournal::Entry entry = m_model->entry(selected.front().row());
    const QString number = WaybillNumber::normalised(m_platform.inputBox(
        QStringLiteral("这张快递单的运单号："), QStringLiteral("运单号"), entry.waybillNumber));
    if (number.isEmpty() || number == entry.waybillNumber)
        return;
    QString refused = WaybillNumber::problem(number, WaybillNumber::courierFor(entry.courier));
    if (refused.isEmpty() && !m_journal.withWaybillNumber(number).isEmpty())
        refused = QStringLiteral("运单号“%1”已记在另一张快递单上。").arg(number);
    QString error;
    if (refused.isEmpty() && !m_journal.setWaybillNumber(entry, number, &error))
        refused = QStringLiteral("运单号未能记入打印记录：%1").arg(error);
    if (!refused.isEmpty()) {
        m_platform.messageBox(refused, QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    // The batch that printed it has the number too, for its next shipping file.
    PrintJournal::Entry numbered = entry;
    numbered.waybillNumber = number;
    if (!BatchStore(m_platform).takeJournalNumber(numbered, &error)) {
        m_platform.messageBox(QStringLiteral("运单号已记入打印记录，但未能记入它的批次：%1").arg(error),
                              QStringLiteral("提示"), Dialogs::Exclamation);
    }
    reload();
}
