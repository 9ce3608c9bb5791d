#include "packing/frmpickinglist.h"

#include "batch/printbatch.h"
#include "packing/pagejob.h"
#include "packing/pickingtable.h"
#include "platform/platform.h"
#include "ui/appicon.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>

namespace {

template <typename Widget> Widget *named(Widget *widget, const char *name, const QString &label)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(label);
    return widget;
}

} // namespace

frmPickingList::frmPickingList(Platform &platform, const PrintBatch &batch, const QStringList &selectedIds,
                               ChoosePrinter choosePrinter, SaveFile saveFile, QWidget *parent)
    : QDialog(parent), m_platform(platform), m_batch(batch), m_selectedIds(selectedIds),
      m_choosePrinter(std::move(choosePrinter)), m_saveFile(std::move(saveFile))
{
    setObjectName(QStringLiteral("frmPickingList"));
    setWindowTitle(QStringLiteral("拣货单"));
    setWindowIcon(appIcon());

    const auto button = [this](const char *name, const QString &caption) {
        auto *b = named(new QPushButton(caption, this), name, caption);
        b->setAutoDefault(false);
        return b;
    };
    cmbRows = named(new QComboBox(this), "cmbRows", QStringLiteral("范围"));
    m_table = new PickingTable(this);
    grdLines = named(new QTableView(this), "grdLines", QStringLiteral("拣货单"));
    grdLines->setModel(m_table);
    grdLines->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdLines->setWordWrap(false);
    grdLines->horizontalHeader()->setStretchLastSection(true);
    lblTotals = named(new QLabel(this), "lblTotals", QStringLiteral("合计"));
    lblStatus = named(new QLabel(this), "lblStatus", QStringLiteral("状态"));
    lblStatus->setWordWrap(true);
    cmdPrint = button("cmdPrint", QStringLiteral("打印…"));
    cmdExportCsv = button("cmdExportCsv", QStringLiteral("导出 CSV…"));
    cmdClose = button("cmdClose", QStringLiteral("关闭"));

    auto *rangeLabel = new QLabel(QStringLiteral("范围"), this);
    rangeLabel->setBuddy(cmbRows);
    auto *top = new QHBoxLayout;
    top->addWidget(rangeLabel);
    top->addWidget(cmbRows);
    top->addWidget(lblTotals, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblStatus, 1);
    buttons->addWidget(cmdPrint);
    buttons->addWidget(cmdExportCsv);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grdLines, 1);
    layout->addLayout(buttons);
    resize(760, 520);

    // The rows chosen come first: the window was opened for them.
    if (!m_selectedIds.isEmpty())
        cmbRows->addItem(QStringLiteral("所选 %1 行").arg(m_selectedIds.size()));
    cmbRows->addItem(QStringLiteral("全部 %1 行").arg(m_batch.rows.size()));
    cmbRows->setEnabled(cmbRows->count() > 1);

    connect(cmbRows, &QComboBox::activated, this, &frmPickingList::cmbRows_Activated);
    connect(cmdPrint, &QPushButton::clicked, this, &frmPickingList::cmdPrint_Click);
    connect(cmdExportCsv, &QPushButton::clicked, this, &frmPickingList::cmdExportCsv_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmPickingList::cmdClose_Click);

    showList();
}

frmPickingList::~frmPickingList()
{
    // The table reads the list until it goes.
    m_table->setList(nullptr);
}

QString frmPickingList::askPrinter(QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("打印拣货单"));
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    return dialog.exec() == QDialog::Accepted ? printer.printerName() : QString();
}

void frmPickingList::cmbRows_Activated(int)
{
    showList();
}

void frmPickingList::showList()
{
    const bool selected = !m_selectedIds.isEmpty() && cmbRows->currentIndex() == 0;
    auto list = selected ? std::make_unique<PickingList>(m_batch, m_selectedIds)
                         : std::make_unique<PickingList>(m_batch);
    m_table->setList(list.get());
    m_list = std::move(list);
    lblTotals->setText(m_list->totalsText());
    const bool any = m_list->lineCount() > 0;
    cmdPrint->setEnabled(any);
    cmdExportCsv->setEnabled(any);
    lblStatus->setText(any ? QString() : QStringLiteral("这些行没有商品明细。"));
    grdLines->resizeColumnsToContents();
}

void frmPickingList::cmdPrint_Click()
{
    const QString printer = m_choosePrinter(this);
    if (printer.isEmpty())
        return;
    const PickingList &list = *m_list;
    const QString failure =
        PageJob::print(m_platform.printQueue(), printer, QStringLiteral("拣货单 %1").arg(list.batchDate()),
                       QStringLiteral("拣货单"), PickingList::pageSizeMm(), list.pageCount(),
                       [&list](QPainter &painter, int page) { list.paintPage(painter, page); });
    if (!failure.isEmpty()) {
        m_platform.messageBox(failure, QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    lblStatus->setText(
        QStringLiteral("拣货单已送到打印机“%1”，共 %2 页。").arg(printer).arg(list.pageCount()));
}

void frmPickingList::cmdExportCsv_Click()
{
    const QString path = m_saveFile(this, QStringLiteral("导出拣货单"),
                                    QStringLiteral("拣货单 %1.csv").arg(m_list->batchDate().left(10)),
                                    QStringLiteral("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const QByteArray bytes = m_list->csv();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_platform.messageBox(
            QStringLiteral("无法写入“%1”：%2").arg(QFileInfo(path).fileName(), file.errorString()),
            QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    lblStatus->setText(QStringLiteral("已导出 %1 种商品到“%2”。").arg(m_list->lineCount()).arg(path));
}

void frmPickingList::cmdClose_Click()
{
    reject();
}
