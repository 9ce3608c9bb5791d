#include "tools/journalwindow.h"

#include "platform/platform.h"
#include "ui/twips.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <iterator>

frmJournal::frmJournal(PrintJournal &journal, Platform &platform, QWidget *parent)
    : QDialog(parent), m_journal(journal), m_platform(platform)
{
    setObjectName(QStringLiteral("frmJournal"));
    setWindowTitle(QStringLiteral("打印记录"));
    resize(Twips::toPixels(12000), Twips::toPixels(6600));

    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setAccessibleName(QStringLiteral("搜索"));
    txtSearch->setPlaceholderText(QStringLiteral("搜索（姓名、电话、地址……）"));
    txtSearch->setClearButtonEnabled(true);
    txtSearch->setGeometry(Twips::rect(120, 120, 6000, 360));

    lstJournal = new QTreeWidget(this);
    lstJournal->setObjectName(QStringLiteral("lstJournal"));
    lstJournal->setAccessibleName(QStringLiteral("打印记录"));
    lstJournal->setRootIsDecorated(false);
    lstJournal->setUniformRowHeights(true);
    lstJournal->setHeaderLabels({QStringLiteral("时间"), QStringLiteral("快递"), QStringLiteral("收件人"),
                                 QStringLiteral("电话"), QStringLiteral("地址"), QStringLiteral("打印机")});
    lstJournal->setGeometry(Twips::rect(120, 600, 11760, 5280));
    const int widths[] = {2250, 750, 1800, 1650, 4200};
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
    connect(lstJournal, &QTreeWidget::itemSelectionChanged, this, &frmJournal::lstJournal_SelectionChanged);
    connect(lstJournal, &QTreeWidget::itemDoubleClicked, this, &frmJournal::cmdReprint_Click);
    connect(cmdReprint, &QPushButton::clicked, this, &frmJournal::cmdReprint_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    reload();
}

void frmJournal::reload()
{
    QString error;
    m_entries = m_journal.entries(&error);
    if (!error.isEmpty())
        m_platform.messageBox(QStringLiteral("无法读取打印记录：") + error, QStringLiteral("提示"),
                              Dialogs::Exclamation);
    lstJournal->clear();
    m_searchTexts.clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(m_entries.size());
    for (const PrintJournal::Entry &e : m_entries) {
        const QString company = e.value(u"txtSentTo");
        const QString person = e.value(u"txtNameTo");
        items.append(new QTreeWidgetItem(QStringList{
            e.time, e.courier,
            company.isEmpty() ? person : person + QStringLiteral("（") + company + QStringLiteral("）"),
            e.value(u"txtTelTo"),
            e.value(u"txtPTo") + e.value(u"txtCTo") + e.value(u"txtATo") + e.value(u"txtAddTo"), e.printer}));
        m_searchTexts.append(e.searchText());
    }
    lstJournal->addTopLevelItems(items);
    txtSearch_Change();
}

// Rows are hidden, not rebuilt: typing stays quick on a long journal.
void frmJournal::txtSearch_Change()
{
    const QString text = txtSearch->text().trimmed().toCaseFolded();
    QTreeWidgetItem *first = nullptr;
    for (int i = 0; i < lstJournal->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstJournal->topLevelItem(i);
        const bool shown = m_searchTexts[i].contains(text);
        item->setHidden(!shown);
        if (shown && !first)
            first = item;
    }
    lstJournal->setCurrentItem(first);
    if (!first)
        lstJournal->clearSelection();
    lstJournal_SelectionChanged();
}

void frmJournal::lstJournal_SelectionChanged()
{
    cmdReprint->setEnabled(!lstJournal->selectedItems().isEmpty());
}

void frmJournal::cmdReprint_Click()
{
    const QList<QTreeWidgetItem *> selected = lstJournal->selectedItems();
    if (selected.isEmpty())
        return;
    Q_EMIT reprint(m_entries[lstJournal->indexOfTopLevelItem(selected.front())]);
}
