#include "batch/frmbatch.h"

#include "batch/batchparcels.h"
#include "batch/batchtable.h"
#include "batch/frmmerge.h"

#include "addressbook/contactfile.h"
#include "addressbook/contactstore.h"
#include "addressbook/printjournal.h"
#include "forms/formlibrary.h"
#include "orders/orderfile.h"
#include "orders/shippingfile.h"
#include "orders/waybillnumber.h"
#include "platform/platform.h"
#include "ui/appicon.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int ColFirstValue = BatchTable::ColFirstValue;
constexpr int ColWarnings = BatchTable::ColWarnings;
constexpr int ColWaybill = BatchTable::ColWaybill;

template <typename Widget> Widget *named(Widget *widget, const char *name, const QString &label)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(label);
    return widget;
}

} // namespace

frmBatch::frmBatch(Platform &platform, PrintJournal &journal, std::function<const AddressParser &()> parser,
                   OpenFile openFile, SaveFile saveFile, QWidget *parent)
    : frmBatch(platform, journal, std::move(parser), std::move(openFile), std::move(saveFile), PackingTools(),
               parent)
{
}

frmBatch::frmBatch(Platform &platform, PrintJournal &journal, std::function<const AddressParser &()> parser,
                   OpenFile openFile, SaveFile saveFile, PackingTools tools, QWidget *parent)
    : QDialog(parent), m_platform(platform), m_journal(journal), m_parser(std::move(parser)),
      m_openFile(std::move(openFile)), m_saveFile(std::move(saveFile)),
      m_store(std::make_unique<ContactStore>(platform)), m_saved(platform),
      m_printer(m_batch, platform, journal),
      m_numbers(m_batch, journal, m_saved, [this]() -> const PageSource & { return m_printer.pages(); }),
      m_tools(std::move(tools))
{
    setObjectName(QStringLiteral("frmBatch"));
    setWindowTitle(QStringLiteral("批量打印"));
    setWindowIcon(appIcon());

    const auto button = [this](const char *name, const QString &caption) {
        auto *b = named(new QPushButton(caption, this), name, caption);
        b->setAutoDefault(false);
        return b;
    };
    const auto label = [this](const QString &caption, QWidget *buddy) {
        auto *l = new QLabel(caption, this);
        l->setBuddy(buddy);
        return l;
    };

    cmbSender = named(new QComboBox(this), "cmbSender", QStringLiteral("寄件人"));
    cmbForm = named(new QComboBox(this), "cmbForm", QStringLiteral("快递单"));
    cmbGroup = named(new QComboBox(this), "cmbGroup", QStringLiteral("收件人分类"));
    cmdOpenOrders = button("cmdOpenOrders", QStringLiteral("打开订单…"));
    cmdPaste = button("cmdPaste", QStringLiteral("粘贴地址…"));
    cmdGroup = button("cmdGroup", QStringLiteral("加入分组的收件人"));
    cmdJournal = button("cmdJournal", QStringLiteral("从打印记录…"));
    cmdRemoveRows = button("cmdRemoveRows", QStringLiteral("删除所选行"));
    cmdSaveToGroup = button("cmdSaveToGroup", QStringLiteral("保存到分组"));
    m_table = new BatchTable(
        m_batch, [this](int row) { return m_printer.warnings(row); },
        [this](int row, int column, const QString &text) { grdRows_CellEdited(row, column, text); }, this);
    grdRows = named(new QTableView(this), "grdRows", QStringLiteral("运单"));
    grdRows->setModel(m_table);
    grdRows->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdRows->horizontalHeader()->setStretchLastSection(true);
    cmdTrial = button("cmdTrial", QStringLiteral("试打第一张"));
    cmdPrintAll = button("cmdPrintAll", QStringLiteral("打印全部"));
    cmdPause = button("cmdPause", QStringLiteral("暂停"));
    cmdContinue = button("cmdContinue", QStringLiteral("继续"));
    cmdMarkPrinted = button("cmdMarkPrinted", QStringLiteral("标为已打印"));
    cmdReprint = button("cmdReprint", QStringLiteral("重打"));
    cmdHistory = button("cmdHistory", QStringLiteral("历史批次…"));
    cmdClearNumbers = button("cmdClearNumbers", QStringLiteral("清除运单号"));
    prgBatch = named(new QProgressBar(this), "prgBatch", QStringLiteral("进度"));
    lblStatus = named(new QLabel(this), "lblStatus", QStringLiteral("状态"));
    lblStatus->setWordWrap(true);
    txtWaybillNumber = named(new QLineEdit(this), "txtWaybillNumber", QStringLiteral("录入运单号"));
    lblWaybillNumber = named(new QLabel(this), "lblWaybillNumber", QStringLiteral("运单号去向"));
    chkGbk = named(new QCheckBox(QStringLiteral("GBK 编码"), this), "chkGbk", QStringLiteral("GBK 编码"));
    cmdExport = button("cmdExport", QStringLiteral("导出发货单"));
    cmdMerge = button("cmdMerge", QStringLiteral("合单…"));
    cmdSplit = button("cmdSplit", QStringLiteral("拆单"));
    spnParcels = named(new QSpinBox(this), "spnParcels", QStringLiteral("件数"));
    spnParcels->setRange(1, PrintBatch::MaxParcels);
    cmdParcels = button("cmdParcels", QStringLiteral("设为所选行的件数"));
    cmbSlip = named(new QComboBox(this), "cmbSlip", QStringLiteral("发货单"));
    cmbSlipPrinter = named(new QComboBox(this), "cmbSlipPrinter", QStringLiteral("发货单打印机"));
    cmdPrintSlips = button("cmdPrintSlips", QStringLiteral("打印发货单"));
    cmdPickingList = button("cmdPickingList", QStringLiteral("拣货单…"));
    cmdCheck = button("cmdCheck", QStringLiteral("验货…"));
    chkOnlyNew = named(new QCheckBox(QStringLiteral("只导出未导出的"), this), "chkOnlyNew",
                       QStringLiteral("只导出未导出的"));

    auto *top = new QHBoxLayout;
    top->addWidget(label(QStringLiteral("寄件人"), cmbSender));
    top->addWidget(cmbSender, 1);
    top->addWidget(label(QStringLiteral("快递单"), cmbForm));
    top->addWidget(cmbForm);
    top->addWidget(cmdHistory);
    auto *sources = new QHBoxLayout;
    sources->addWidget(cmdOpenOrders);
    sources->addWidget(cmdPaste);
    sources->addWidget(cmbGroup);
    sources->addWidget(cmdGroup);
    sources->addWidget(cmdJournal);
    sources->addStretch();
    sources->addWidget(cmdRemoveRows);
    sources->addWidget(cmdSaveToGroup);
    auto *printing = new QHBoxLayout;
    printing->addWidget(cmdTrial);
    printing->addWidget(cmdPrintAll);
    printing->addWidget(cmdPause);
    printing->addWidget(cmdContinue);
    printing->addWidget(cmdMarkPrinted);
    printing->addWidget(cmdReprint);
    printing->addWidget(prgBatch, 1);
    auto *numbers = new QHBoxLayout;
    numbers->addWidget(label(QStringLiteral("录入运单号"), txtWaybillNumber));
    numbers->addWidget(txtWaybillNumber);
    numbers->addWidget(lblWaybillNumber, 1);
    numbers->addWidget(cmdClearNumbers);
    numbers->addWidget(chkGbk);
    numbers->addWidget(cmdExport);
    // Packing comes after everything else, on a line of its own, so that the
    // window keeps the rest where it was.
    auto *packing = new QHBoxLayout;
    packing->addWidget(cmdMerge);
    packing->addWidget(cmdSplit);
    packing->addWidget(label(QStringLiteral("件数"), spnParcels));
    packing->addWidget(spnParcels);
    packing->addWidget(cmdParcels);
    QLabel *lblSlip = label(QStringLiteral("发货单"), cmbSlip);
    QLabel *lblSlipPrinter = label(QStringLiteral("发货单打印机"), cmbSlipPrinter);
    packing->addWidget(lblSlip);
    packing->addWidget(cmbSlip);
    packing->addWidget(lblSlipPrinter);
    packing->addWidget(cmbSlipPrinter);
    packing->addWidget(cmdPrintSlips);
    packing->addStretch();
    packing->addWidget(cmdPickingList);
    packing->addWidget(cmdCheck);
    packing->addWidget(chkOnlyNew);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(sources);
    layout->addWidget(grdRows, 1);
    layout->addLayout(printing);
    layout->addWidget(lblStatus);
    layout->addLayout(numbers);
    layout->addLayout(packing);
    resize(1000, 600 + layout->spacing() + cmdMerge->sizeHint().height());

    m_store->setCurrentPath(m_store->senderFolder());
    cmbSender->addItems(m_store->ContactListing());
    const int standard = cmbSender->findText(m_store->defaultSender());
    for (const QString &form : PrintBatch::forms())
        cmbForm->addItem(PrintBatch::formCaption(form), form);
    // Packing slips print beside the waybills, never as them.
    for (const Forms::FormLibrary::Entry &form : Forms::FormLibrary(m_platform).waybillForms())
        cmbForm->addItem(form.name, form.fileName);
    cmbGroup->addItems(m_store->groups());
    // Slips go with the waybills only when asked for: by default nothing more is printed.
    cmbSlip->addItem(QStringLiteral("不随运单打印"), QString());
    if (m_tools.slipForms) {
        for (const auto &[fileName, name] : m_tools.slipForms())
            cmbSlip->addItem(name, fileName);
    }
    cmbSlipPrinter->addItem(QStringLiteral("与运单相同"), QString());
    for (const QString &printer : QPrinterInfo::availablePrinterNames())
        cmbSlipPrinter->addItem(printer, printer);
    for (QWidget *slip : {static_cast<QWidget *>(cmbSlip), static_cast<QWidget *>(cmbSlipPrinter),
                          static_cast<QWidget *>(cmdPrintSlips), static_cast<QWidget *>(lblSlip),
                          static_cast<QWidget *>(lblSlipPrinter)})
        slip->setVisible(bool(m_tools.printSlips));
    cmdPickingList->setVisible(bool(m_tools.pickingList));
    cmdCheck->setVisible(bool(m_tools.check));

    connect(cmbSender, &QComboBox::activated, this, &frmBatch::cmbSender_Activated);
    connect(cmbForm, &QComboBox::activated, this, &frmBatch::cmbForm_Activated);
    connect(cmdOpenOrders, &QPushButton::clicked, this, &frmBatch::cmdOpenOrders_Click);
    connect(cmdPaste, &QPushButton::clicked, this, &frmBatch::cmdPaste_Click);
    connect(cmdGroup, &QPushButton::clicked, this, &frmBatch::cmdGroup_Click);
    connect(cmdJournal, &QPushButton::clicked, this, &frmBatch::cmdJournal_Click);
    connect(cmdRemoveRows, &QPushButton::clicked, this, &frmBatch::cmdRemoveRows_Click);
    connect(cmdSaveToGroup, &QPushButton::clicked, this, &frmBatch::cmdSaveToGroup_Click);
    connect(cmdTrial, &QPushButton::clicked, this, &frmBatch::cmdTrial_Click);
    connect(cmdPrintAll, &QPushButton::clicked, this, &frmBatch::cmdPrintAll_Click);
    connect(cmdPause, &QPushButton::clicked, this, &frmBatch::cmdPause_Click);
    connect(cmdContinue, &QPushButton::clicked, this, &frmBatch::cmdContinue_Click);
    connect(cmdMarkPrinted, &QPushButton::clicked, this, &frmBatch::cmdMarkPrinted_Click);
    connect(cmdReprint, &QPushButton::clicked, this, &frmBatch::cmdReprint_Click);
    connect(cmdHistory, &QPushButton::clicked, this, &frmBatch::cmdHistory_Click);
    connect(cmdClearNumbers, &QPushButton::clicked, this, &frmBatch::cmdClearNumbers_Click);
    connect(txtWaybillNumber, &QLineEdit::returnPressed, this, &frmBatch::txtWaybillNumber_ReturnPressed);
    connect(cmdExport, &QPushButton::clicked, this, &frmBatch::cmdExport_Click);
    connect(cmdMerge, &QPushButton::clicked, this, &frmBatch::cmdMerge_Click);
    connect(cmdSplit, &QPushButton::clicked, this, &frmBatch::cmdSplit_Click);
    connect(cmdParcels, &QPushButton::clicked, this, &frmBatch::cmdParcels_Click);
    connect(cmdPrintSlips, &QPushButton::clicked, this, &frmBatch::cmdPrintSlips_Click);
    connect(cmdPickingList, &QPushButton::clicked, this, &frmBatch::cmdPickingList_Click);
    connect(cmdCheck, &QPushButton::clicked, this, &frmBatch::cmdCheck_Click);
    connect(&m_printer, &BatchPrinter::rowChanged, this, &frmBatch::printer_RowChanged);
    connect(&m_printer, &BatchPrinter::paused, this, &frmBatch::printer_Paused);
    connect(&m_printer, &BatchPrinter::finished, this, &frmBatch::printer_Finished);

    if (standard >= 0)
        cmbSender->setCurrentIndex(standard);
    cmbSender_Activated(cmbSender->currentIndex());
    showRows();
}

frmBatch::~frmBatch()
{
    // An editor still open commits into the batch as the table goes: the table
    // goes first, while the batch is still there.
    delete grdRows;
    delete m_table;
}

bool frmBatch::offerSavedBatch()
{
    QString problem;
    std::optional<PrintBatch> saved = m_saved.load(&problem);
    if (!problem.isEmpty())
        m_platform.messageBox(problem, QStringLiteral("批量打印"), Dialogs::Exclamation);
    if (!saved || saved->rows.isEmpty())
        return false;
    openBatch(*saved);
    const int next = m_batch.firstNotPrinted();
    if (next < 0)
        return true;
    const int answer = m_platform.messageBox(
        QStringLiteral("上次的批量打印没有打完：共 %1 张，已打印 %2 张。\n从第 %3 张继续吗？%4")
            .arg(m_batch.rows.size())
            .arg(m_batch.printedCount())
            .arg(next + 1)
            .arg(m_batch.rows[next].problem.isEmpty()
                     ? QString()
                     : QStringLiteral("\n\n第 %1 张：%2").arg(next + 1).arg(m_batch.rows[next].problem)),
        QStringLiteral("批量打印"), Dialogs::YesNo | Dialogs::Exclamation);
    if (answer != Dialogs::Yes) {
        // Kept in 历史批次…, printed rows and numbers and all, and not offered again.
        m_batch.setAside = true;
        save();
        startNewBatch();
        lblStatus->setText(QStringLiteral("上次的批次已留在“历史批次…”里。"));
        return false;
    }
    return true;
}

void frmBatch::openBatch(PrintBatch batch)
{
    m_batch = std::move(batch);
    m_numbers.forgetChoice();
    const QStringList problems = m_printer.settle();
    if (!problems.isEmpty())
        m_platform.messageBox(
            QStringLiteral("核对上次的打印时，有些内容未能保存：\n%1").arg(problems.join(u'\n')),
            QStringLiteral("批量打印"), Dialogs::Exclamation);
    int form = cmbForm->findData(m_batch.form);
    if (form < 0) {
        // A form gone from the folder since: shown by name, and printing says why it cannot.
        cmbForm->addItem(m_printer.pages().caption(), m_batch.form);
        form = cmbForm->count() - 1;
    }
    cmbForm->setCurrentIndex(form);
    showRows();
    // Numbers are scanned next: the journal's numbers are read now, once, so
    // that the first scan is as quick as the others.
    if (m_batch.printedCount() > 0)
        m_journal.waybillNumberOwner(QString());
    const int unsettled = m_batch.unsettledCount();
    if (unsettled > 0) {
        lblStatus->setText(QStringLiteral("有 %1 张无法得知是否已打印（待核对）：请看一看打印出的运单，"
                                          "选中后按“标为已打印”或“重打”。")
                               .arg(unsettled));
    }
}

void frmBatch::startNewBatch()
{
    m_batch = PrintBatch();
    m_numbers.forgetChoice();
    m_batch.form = cmbForm->currentData().toString();
    cmbSender_Activated(cmbSender->currentIndex());
    showRows();
}

QList<int> frmBatch::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : grdRows->selectionModel()->selectedRows())
        rows.append(index.row());
    if (rows.isEmpty() && grdRows->currentIndex().isValid())
        rows.append(grdRows->currentIndex().row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void frmBatch::cmdMarkPrinted_Click()
{
    int marked = 0;
    for (const int row : selectedRows()) {
        QString error;
        if (m_printer.markPrinted(row, &error))
            ++marked;
        else if (!error.isEmpty())
            m_platform.messageBox(error, QStringLiteral("提示"), Dialogs::Exclamation);
    }
    if (marked == 0) {
        lblStatus->setText(QStringLiteral("请先选中“待核对”的行。"));
        return;
    }
    lblStatus->setText(QStringLiteral("%1 张标为已打印，已记入打印记录。").arg(marked));
    showState();
}

void frmBatch::cmdReprint_Click()
{
    int again = 0;
    for (const int row : selectedRows()) {
        QString error;
        if (m_printer.reprint(row, QStringLiteral("重打"), BatchPrinter::Reprint::Anywhere, &error))
            ++again;
        else if (!error.isEmpty())
            m_platform.messageBox(error, QStringLiteral("提示"), Dialogs::Exclamation);
    }
    if (again == 0) {
        lblStatus->setText(QStringLiteral("请先选中要重打的已打印或待核对的行。"));
        return;
    }
    lblStatus->setText(
        QStringLiteral("%1 张将重打：原来那张在打印记录里记为作废，按“继续”打印。").arg(again));
    showState();
}

void frmBatch::cmdClearNumbers_Click()
{
    int cleared = 0;
    for (const int row : selectedRows()) {
        if (m_batch.rows[row].waybillNumber.isEmpty())
            continue;
        QString error;
        if (!m_numbers.clear(row, &error)) {
            m_platform.messageBox(error, QStringLiteral("提示"), Dialogs::Exclamation);
            break;
        }
        ++cleared;
        showRow(row);
    }
    lblWaybillNumber->setText(QStringLiteral("已清除 %1 个运单号。").arg(cleared));
}

void frmBatch::cmdHistory_Click()
{
    if (m_printer.isRunning())
        return;
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgBatchHistory"));
    dialog.setWindowTitle(QStringLiteral("历史批次"));
    auto *list = named(new QTableWidget(0, 7, &dialog), "grdBatches", QStringLiteral("批次"));
    list->setHorizontalHeaderLabels({QStringLiteral("开始时间"), QStringLiteral("快递单"),
                                     QStringLiteral("张数"), QStringLiteral("已打印"),
                                     QStringLiteral("有运单号"), QStringLiteral("已导出"),
                                     QStringLiteral("状态")});
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->horizontalHeader()->setStretchLastSection(true);
    auto *open =
        named(new QPushButton(QStringLiteral("打开"), &dialog), "cmdOpenBatch", QStringLiteral("打开"));
    auto *remove = named(new QPushButton(QStringLiteral("删除批次"), &dialog), "cmdDeleteBatch",
                         QStringLiteral("删除批次"));
    auto *close =
        named(new QPushButton(QStringLiteral("关闭"), &dialog), "cmdCloseHistory", QStringLiteral("关闭"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(open);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addLayout(buttons);
    dialog.resize(720, 400);

    QList<BatchStore::Summary> batches;
    const auto fill = [&] {
        QStringList problems;
        batches = m_saved.list(&problems);
        if (!problems.isEmpty())
            m_platform.messageBox(problems.join(u'\n'), QStringLiteral("历史批次"), Dialogs::Exclamation);
        list->setRowCount(int(batches.size()));
        for (int i = 0; i < batches.size(); ++i) {
            const BatchStore::Summary &b = batches[i];
            const QString form =
                PrintBatch::forms().contains(b.form) ? PrintBatch::formCaption(b.form) : [&] {
                    const int at = cmbForm->findData(b.form);
                    return at >= 0 ? cmbForm->itemText(at) : b.form;
                }();
            const QStringList cells{b.created,
                                    form,
                                    QString::number(b.rows),
                                    QString::number(b.printed),
                                    QString::number(b.numbered),
                                    QString::number(b.exported),
                                    b.fileName == m_batch.fileName ? QStringLiteral("正在使用")
                                    : b.finished                   ? QStringLiteral("已打完")
                                    : b.setAside ? QStringLiteral("未打完（已搁置）")
                                                 : QStringLiteral("未打完")};
            for (int c = 0; c < cells.size(); ++c)
                list->setItem(i, c, new QTableWidgetItem(cells[c]));
        }
        list->resizeColumnsToContents();
        if (!batches.isEmpty())
            list->selectRow(0);
    };
    fill();
    connect(close, &QPushButton::clicked, &dialog, &QDialog::reject);
    connect(open, &QPushButton::clicked, &dialog, [&] {
        const int at = list->currentRow();
        if (at < 0 || at >= batches.size())
            return;
        QString problem;
        std::optional<PrintBatch> batch = m_saved.load(batches[at].fileName, &problem);
        if (!batch) {
            m_platform.messageBox(problem, QStringLiteral("历史批次"), Dialogs::Exclamation);
            fill();
            return;
        }
        // Taken up again: offered when the window opens, until finished.
        batch->setAside = false;
        openBatch(*batch);
        save();
        lblStatus->setText(QStringLiteral("已打开 %1 开始的批次。").arg(m_batch.created));
        dialog.accept();
    });
    connect(remove, &QPushButton::clicked, &dialog, [&] {
        const int at = list->currentRow();
        if (at < 0 || at >= batches.size())
            return;
        const int answer =
            m_platform.messageBox(QStringLiteral("要删除 %1 开始的批次（%2 张）吗？它将移到回收站。")
                                      .arg(batches[at].created)
                                      .arg(batches[at].rows),
                                  QStringLiteral("删除批次"), Dialogs::YesNo | Dialogs::Exclamation);
        if (answer != Dialogs::Yes)
            return;
        QString error;
        if (!m_saved.remove(batches[at].fileName, &error)) {
            m_platform.messageBox(QStringLiteral("批次无法删除：%1").arg(error), QStringLiteral("提示"),
                                  Dialogs::Exclamation);
            return;
        }
        if (batches[at].fileName == m_batch.fileName)
            startNewBatch();
        fill();
    });
    dialog.exec();
}

void frmBatch::cmbSender_Activated(int index)
{
    if (index < 0)
        return;
    m_store->setCurrentPath(m_store->senderFolder() + ContactFile::fileName(cmbSender->itemText(index)));
    m_batch.sender = m_store->readContactValues(ContactFile::section(), ContactFile::senderKeys());
    showRows();
}

void frmBatch::cmbForm_Activated(int index)
{
    m_batch.form = cmbForm->itemData(index).toString();
    showRows();
}

void frmBatch::addRows(const OrderFileResult &result)
{
    if (!result.ok()) {
        m_platform.messageBox(result.error, QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    for (const OrderRow &order : result.rows)
        m_batch.rows.append(BatchRow::fromOrder(order));
    lblStatus->setText(result.summary());
    save();
    showRows();
}

void frmBatch::showProposals()
{
    const qsizetype count = BatchParcels::proposals(m_batch).size();
    cmdMerge->setText(count > 0 ? QStringLiteral("合单（%1 组）…").arg(count) : QStringLiteral("合单…"));
}

void frmBatch::cmdMerge_Click()
{
    const QList<BatchParcels::Proposal> proposals = BatchParcels::proposals(m_batch);
    if (proposals.isEmpty()) {
        lblStatus->setText(
            QStringLiteral("没有可以合单的订单：同一买家、同一地址的未打印订单才能合成一个包裹。"));
        return;
    }
    frmMerge dialog(m_batch, proposals, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    int merged = 0;
    QStringList problems;
    for (const BatchParcels::Proposal &proposal : dialog.accepted()) {
        QString error;
        if (BatchParcels::merge(m_batch, proposal.rowIds, &error) >= 0)
            ++merged;
        else
            problems.append(error);
    }
    const QList<BatchParcels::Proposal> refused = dialog.refused();
    for (const BatchParcels::Proposal &proposal : refused)
        BatchParcels::refuse(m_batch, proposal.rowIds);
    m_numbers.forgetChoice();
    save();
    showRows();
    lblStatus->setText(QStringLiteral("合并了 %1 组订单，%2 组不合并。%3")
                           .arg(merged)
                           .arg(refused.size())
                           .arg(problems.join(QString())));
}

void frmBatch::cmdSplit_Click()
{
    const QList<int> rows = selectedRows();
    int split = 0;
    // From the bottom up: the rows a split puts back go below it.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        if (m_batch.rows[*it].merged.isEmpty())
            continue;
        QString error;
        if (BatchParcels::split(m_batch, *it, &error) < 0) {
            m_platform.messageBox(error, QStringLiteral("提示"), Dialogs::Exclamation);
            continue;
        }
        ++split;
    }
    if (split == 0) {
        lblStatus->setText(QStringLiteral("请先选中合单的行。"));
        return;
    }
    save();
    showRows();
    lblStatus->setText(QStringLiteral("%1 个合单已拆开，每个订单又是一张运单。").arg(split));
}

void frmBatch::cmdParcels_Click()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        lblStatus->setText(QStringLiteral("请先选中要设定件数的行。"));
        return;
    }
    // By id: giving one row its parcels moves the rows below it.
    QStringList ids;
    for (const int row : rows)
        ids.append(m_batch.rows[BatchParcels::firstParcel(m_batch, row)].id);
    ids.removeDuplicates();
    int done = 0;
    for (const QString &id : std::as_const(ids)) {
        QString error;
        if (BatchParcels::setParcels(m_batch, m_batch.rowWithId(id), spnParcels->value(), &error))
            ++done;
        else
            m_platform.messageBox(error, QStringLiteral("提示"), Dialogs::Exclamation);
    }
    save();
    showRows();
    lblStatus->setText(
        QStringLiteral("%1 张设为 %2 件，每件一张运单、一个运单号。").arg(done).arg(spnParcels->value()));
}

void frmBatch::cmdPrintSlips_Click()
{
    if (!m_tools.printSlips)
        return;
    const QString form = cmbSlip->currentData().toString();
    if (form.isEmpty()) {
        lblStatus->setText(QStringLiteral("请先在“发货单”里选一个发货单模板。"));
        return;
    }
    QList<int> rows = selectedRows();
    if (rows.size() <= 1)
        rows.clear(); // one row chosen by clicking: the whole batch is meant
    QString error;
    if (!m_tools.printSlips(m_batch, rows, form, cmbSlipPrinter->currentData().toString(), &error)) {
        m_platform.messageBox(QStringLiteral("发货单没有打印：%1").arg(error), QStringLiteral("提示"),
                              Dialogs::Exclamation);
        return;
    }
    lblStatus->setText(QStringLiteral("发货单已送往打印机，与运单的次序相同。"));
}

void frmBatch::printSlipAfter(int row)
{
    const QString form = cmbSlip->currentData().toString();
    if (form.isEmpty() || !m_tools.printSlips || row < 0 || row >= m_batch.rows.size())
        return;
    const BatchRow &printed = m_batch.rows[row];
    // One slip a parcel: the further parcels of an order have nothing of their own to pack.
    if (printed.state != BatchRow::State::Printed || !printed.isFirstParcel() ||
        m_slipsSent.contains(printed.id))
        return;
    m_slipsSent.append(printed.id);
    QString error;
    if (!m_tools.printSlips(m_batch, {row}, form, cmbSlipPrinter->currentData().toString(), &error))
        lblStatus->setText(QStringLiteral("第 %1 张的发货单没有打印：%2").arg(row + 1).arg(error));
}

void frmBatch::cmdPickingList_Click()
{
    if (!m_tools.pickingList)
        return;
    QList<int> rows = selectedRows();
    if (rows.size() <= 1)
        rows.clear();
    m_tools.pickingList(this, m_batch, rows);
}

void frmBatch::cmdCheck_Click()
{
    if (!m_tools.check || m_printer.isRunning())
        return;
    m_tools.check(this, m_batch, m_numbers, m_saved);
    showRows();
}

bool frmBatch::openAt(const QString &fileName, const QString &rowId)
{
    if (m_printer.isRunning())
        return false;
    QString problem;
    std::optional<PrintBatch> batch = m_saved.load(fileName, &problem);
    if (!batch) {
        m_platform.messageBox(problem, QStringLiteral("批量打印"), Dialogs::Exclamation);
        return false;
    }
    openBatch(*batch);
    const int row = m_batch.rowWithId(rowId);
    if (row >= 0) {
        grdRows->selectRow(row);
        grdRows->scrollTo(m_table->index(row, 0));
    }
    return true;
}

void frmBatch::cmdOpenOrders_Click()
{
    const QString path = m_openFile(this, QStringLiteral("打开订单"),
                                    QStringLiteral("订单文件 (*.csv *.xlsx *.txt);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    addRows(OrderFileReader(m_parser()).readFile(path));
}

void frmBatch::cmdPaste_Click()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("粘贴地址"));
    auto *text = named(new QPlainTextEdit(&dialog), "txtPaste", QStringLiteral("地址"));
    text->setPlaceholderText(QStringLiteral("每行一个地址，或以空行隔开"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    dialog.resize(500, 300);
    if (dialog.exec() == QDialog::Accepted && !text->toPlainText().trimmed().isEmpty())
        addRows(OrderFileReader(m_parser()).splitPasted(text->toPlainText()));
}

void frmBatch::cmdGroup_Click()
{
    if (cmbGroup->currentText().isEmpty())
        return;
    const QString folder = m_store->groupFolder(cmbGroup->currentText());
    m_store->setCurrentPath(folder);
    const QStringList names = m_store->ContactListing();

    // All the group's recipients are ticked; untick those not to print.
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("加入分组的收件人"));
    auto *list = named(new QListWidget(&dialog), "lstRecipients", QStringLiteral("收件人"));
    for (const QString &name : names) {
        auto *item = new QListWidgetItem(name, list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("加入"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;

    int added = 0;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() != Qt::Checked)
            continue;
        m_store->setCurrentPath(folder + ContactFile::fileName(names[i]));
        BatchRow row;
        row.recipient = m_store->readContactValues(ContactFile::section(), ContactFile::recipientKeys());
        m_batch.rows.append(row);
        ++added;
    }
    lblStatus->setText(
        QStringLiteral("加入分组“%1”的 %2 个收件人。").arg(cmbGroup->currentText()).arg(added));
    save();
    showRows();
}

void frmBatch::cmdJournal_Click()
{
    const QString text = m_platform.inputBox(
        QStringLiteral("要重打哪些打印记录？输入姓名、电话、订单编号等查找（如“2026-12-07”为当天全部）："),
        QStringLiteral("从打印记录"));
    if (text.trimmed().isEmpty())
        return;
    const QList<PrintJournal::Entry> entries = m_journal.search(text.trimmed());
    // Oldest first, as they were printed.
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        BatchRow row;
        for (const QString &key : ContactFile::recipientKeys())
            row.recipient.append(it->value(key));
        row.orderNumber = it->orderNumber;
        m_batch.rows.append(row);
    }
    lblStatus->setText(QStringLiteral("从打印记录加入 %1 张。").arg(entries.size()));
    save();
    showRows();
}

void frmBatch::cmdRemoveRows_Click()
{
    if (m_printer.isRunning())
        return;
    QList<int> rows;
    for (const QModelIndex &index : grdRows->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.rbegin(), rows.rend());
    for (const int row : rows)
        m_batch.rows.removeAt(row);
    save();
    showRows();
}

void frmBatch::cmdSaveToGroup_Click()
{
    const QString group = m_platform.inputBox(QStringLiteral("保存到哪个收件人分类？"),
                                              QStringLiteral("保存到分组"), cmbGroup->currentText());
    if (group.isEmpty())
        return;
    if (!ContactFile::isSafeGroupName(group)) {
        m_platform.messageBox(ContactFile::unsafeGroupNameMessage(), QStringLiteral("提示"),
                              Dialogs::Exclamation);
        return;
    }
    // The address book's folders exist once the main window started; made here
    // too should they have gone meanwhile.
    StoreResult result = m_store->createFolders();
    if (result.ok())
        result = m_store->addGroup(group);
    int saved = 0, refused = 0;
    for (const BatchRow &row : std::as_const(m_batch.rows)) {
        if (!result.ok())
            break;
        const QString company = row.value(u"txtSentTo"), person = row.value(u"txtNameTo");
        if (ContactFile::contactNameProblem(company, person) != ContactFile::NameProblem::None) {
            ++refused;
            continue;
        }
        m_store->setCurrentPath(m_store->groupFolder(group) +
                                ContactFile::fileName(ContactFile::contactKey(company, person)));
        Profile::Values values;
        for (const QString &key : ContactFile::recipientKeys())
            values.append({key, row.value(key)});
        result = m_store->WriteContactValues(ContactFile::section(), values);
        if (result.ok())
            ++saved;
    }
    if (!result.ok()) {
        m_platform.messageBox(result.warning(QStringLiteral("保存收件人")), QStringLiteral("提示"),
                              Dialogs::Exclamation);
    }
    if (cmbGroup->findText(group) < 0)
        cmbGroup->addItem(group);
    lblStatus->setText(
        QStringLiteral("已将 %1 个收件人保存到分组“%2”%3。")
            .arg(saved)
            .arg(group)
            .arg(refused ? QStringLiteral("，%1 个没有单位和姓名未保存").arg(refused) : QString()));
}

bool frmBatch::readyToPrint()
{
    if (m_printer.isRunning())
        return false;
    if (m_batch.firstNotPrinted() < 0) {
        m_platform.messageBox(QStringLiteral("没有要打印的运单。"), QStringLiteral("提示"),
                              Dialogs::Information);
        return false;
    }
    return save();
}

void frmBatch::cmdTrial_Click()
{
    if (!readyToPrint())
        return;
    m_trial = true;
    const int trialRow = m_batch.firstNotPrinted();
    m_trialRowId = m_batch.rows[trialRow].id;
    lblStatus->setText(QStringLiteral("正在试打第 %1 张…").arg(trialRow + 1));
    m_printer.start(1);
    showState();
}

void frmBatch::cmdPrintAll_Click()
{
    if (!readyToPrint())
        return;
    m_trial = false;
    lblStatus->setText(QStringLiteral("正在打印…"));
    m_printer.start();
    showState();
}

void frmBatch::cmdPause_Click()
{
    m_printer.pause();
    lblStatus->setText(QStringLiteral("打完这一张后暂停…"));
}

void frmBatch::cmdContinue_Click()
{
    cmdPrintAll_Click();
}

void frmBatch::printer_RowChanged(int row)
{
    showRow(row);
    showState();
    // A trial's page may go into the bin: its slip waits for the user's word.
    if (!m_trial)
        printSlipAfter(row);
}

void frmBatch::printer_Paused(int row, const QString &reason)
{
    showState();
    if (m_trial && reason.isEmpty()) {
        m_trial = false;
        lblStatus->setText(QStringLiteral("试打完成。"));
        const int answer =
            m_platform.messageBox(QStringLiteral("位置对吗？"), QStringLiteral("试打第一张"), Dialogs::YesNo);
        if (answer == Dialogs::Yes) {
            printSlipAfter(m_batch.rowWithId(m_trialRowId));
            cmdPrintAll_Click();
            return;
        }
        // The page went into the bin: its row is printed again by the next trial.
        QString error;
        const int trialRow = m_batch.rowWithId(m_trialRowId);
        if (trialRow >= 0 && m_batch.rows[trialRow].state == BatchRow::State::Printed &&
            !m_printer.reprint(trialRow, QStringLiteral("试打位置不对"), BatchPrinter::Reprint::Next,
                               &error)) {
            m_platform.messageBox(error, QStringLiteral("提示"), Dialogs::Exclamation);
        }
        showState();
        lblStatus->setText(QStringLiteral("试打的那张已作废。请在快递单窗口的“设置”里调整位置后再试打。"));
        return;
    }
    m_trial = false;
    if (reason.isEmpty()) {
        lblStatus->setText(QStringLiteral("已暂停，下一张是第 %1 张。按“继续”接着打印。").arg(row + 1));
        return;
    }
    lblStatus->setText(QStringLiteral("在第 %1 张暂停：%2").arg(row + 1).arg(reason));
    m_platform.messageBox(QStringLiteral("批量打印在第 %1 张暂停。\n%2").arg(row + 1).arg(reason),
                          QStringLiteral("批量打印"), Dialogs::Exclamation);
}

void frmBatch::printer_Finished()
{
    m_journal.waybillNumberOwner(QString());
    m_trial = false;
    showState();
    const int unsettled = m_batch.unsettledCount();
    lblStatus->setText(
        unsettled == 0
            ? QStringLiteral("全部 %1 张已打印。可以录入运单号了。").arg(m_batch.rows.size())
            : QStringLiteral(
                  "已打印 %1 张，%2 张待核对：请看一看打印出的运单，选中后按“标为已打印”或“重打”。")
                  .arg(m_batch.printedCount())
                  .arg(unsettled));
    txtWaybillNumber->setFocus();
}

void frmBatch::txtWaybillNumber_ReturnPressed()
{
    const BatchNumbers::Outcome outcome = m_numbers.take(txtWaybillNumber->text());
    lblWaybillNumber->setText(outcome.message);
    if (outcome.kind == BatchNumbers::Outcome::Refused) {
        // Stays, selected, so that the next scan replaces it.
        txtWaybillNumber->selectAll();
        return;
    }
    txtWaybillNumber->clear();
    if (outcome.row >= 0) {
        showRow(outcome.row);
        grdRows->selectRow(outcome.row);
        grdRows->scrollTo(m_table->index(outcome.row, ColWaybill));
        txtWaybillNumber->setFocus();
    }
}

void frmBatch::cmdExport_Click()
{
    QList<int> rows;
    int withoutOrder = 0;
    int exportedBefore = 0;
    const QList<ShippingFile::Line> lines =
        BatchParcels::shippingLines(m_batch, m_printer.pages().shippingName(), chkOnlyNew->isChecked(), &rows,
                                    &withoutOrder, &exportedBefore);
    if (lines.isEmpty() && exportedBefore > 0) {
        m_platform.messageBox(
            QStringLiteral("有运单号的 %1 张都已导出过，没有新的发货单可导出。").arg(exportedBefore),
            QStringLiteral("提示"), Dialogs::Information);
        return;
    }
    if (lines.isEmpty()) {
        m_platform.messageBox(
            withoutOrder > 0
                ? QStringLiteral("有运单号的 %1 张都没有订单编号，没有可导出的发货单。").arg(withoutOrder)
                : QStringLiteral("还没有录入运单号，没有可导出的发货单。"),
            QStringLiteral("提示"), Dialogs::Information);
        return;
    }
    const QString path = m_saveFile(this, QStringLiteral("导出发货单"), QStringLiteral("发货单.csv"),
                                    QStringLiteral("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!ShippingFile::save(
            path, lines, chkGbk->isChecked() ? ShippingFile::Encoding::Gbk : ShippingFile::Encoding::Utf8Bom,
            &error)) {
        m_platform.messageBox(error, QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    for (const int row : std::as_const(rows))
        m_batch.rows[row].exported = true;
    save();
    lblStatus->setText(
        QStringLiteral("已导出 %1 个订单的发货单%2%3。")
            .arg(lines.size())
            .arg(withoutOrder > 0 ? QStringLiteral("；%1 张没有订单编号，未写入").arg(withoutOrder)
                                  : QString())
            .arg(exportedBefore > 0 ? QStringLiteral("；%1 张以前已导出过，这次没有再写").arg(exportedBefore)
                                    : QString()));
}

void frmBatch::grdRows_CellEdited(int row, int column, const QString &text)
{
    if (row >= m_batch.rows.size())
        return;
    if (column == ColWaybill) {
        const BatchNumbers::Outcome outcome = m_numbers.give(row, text);
        if (!outcome.message.isEmpty())
            lblWaybillNumber->setText(outcome.message);
        return;
    }
    if (column < ColFirstValue || column >= ColWarnings)
        return;
    BatchRow &target = m_batch.rows[row];
    target.setValue(ContactFile::recipientKeys()[column - ColFirstValue], text);
    // A field the user corrected needs no more looking at.
    target.unsure.removeAll(BatchRow::captions()[column - ColFirstValue]);
    QString error;
    if (!m_saved.saveRow(m_batch, row, &error))
        m_platform.messageBox(QStringLiteral("批量打印的进度无法保存：%1").arg(error), QStringLiteral("提示"),
                              Dialogs::Exclamation);
}

bool frmBatch::save()
{
    QString error;
    if (m_saved.save(m_batch, &error))
        return true;
    m_platform.messageBox(QStringLiteral("批量打印的进度无法保存：%1").arg(error), QStringLiteral("提示"),
                          Dialogs::Exclamation);
    return false;
}

void frmBatch::showRows()
{
    m_table->reload();
    showState();
    showProposals();
}

void frmBatch::showRow(int row)
{
    m_table->rowChanged(row);
}

void frmBatch::showState()
{
    const bool running = m_printer.isRunning();
    prgBatch->setMaximum(qMax(1, int(m_batch.rows.size())));
    prgBatch->setValue(m_batch.printedCount());
    for (QWidget *control : {static_cast<QWidget *>(cmdTrial),       static_cast<QWidget *>(cmdPrintAll),
                             static_cast<QWidget *>(cmdContinue),    static_cast<QWidget *>(cmdOpenOrders),
                             static_cast<QWidget *>(cmdPaste),       static_cast<QWidget *>(cmdGroup),
                             static_cast<QWidget *>(cmdJournal),     static_cast<QWidget *>(cmdRemoveRows),
                             static_cast<QWidget *>(cmbForm),        static_cast<QWidget *>(cmbSender),
                             static_cast<QWidget *>(cmdMarkPrinted), static_cast<QWidget *>(cmdReprint),
                             static_cast<QWidget *>(cmdHistory),     static_cast<QWidget *>(cmdMerge),
                             static_cast<QWidget *>(cmdSplit),       static_cast<QWidget *>(cmdParcels),
                             static_cast<QWidget *>(cmdCheck),       static_cast<QWidget *>(cmbSlip),
                             static_cast<QWidget *>(cmbSlipPrinter), static_cast<QWidget *>(cmdPrintSlips)})
        control->setEnabled(!running);
    cmdPause->setEnabled(running);
}
