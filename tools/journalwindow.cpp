#include "tools/journalwindow.h"

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
                                       QStringLiteral("打印机")};
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
}

void frmJournal::cmdReprint_Click()
{
    const QModelIndexList selected = lstJournal->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    Q_EMIT reprint(m_model->entry(selected.front().row()));
}
