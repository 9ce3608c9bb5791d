#include "dispatch/frmdayclose.h"

#include "ui/appicon.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

template <typename Widget> Widget *named(Widget *widget, const char *name, const QString &label)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(label);
    return widget;
}

const QString &captionOf(int list)
{
    static const QString captions[] = {QStringLiteral("已打印未录运单号"), QStringLiteral("运单号未导出"),
                                       QStringLiteral("已导出未验货"), QStringLiteral("作废重打")};
    return captions[list];
}

} // namespace

frmDayClose::frmDayClose(const PrintJournal &journal, const BatchStore &store, OpenBatchRow openBatchRow,
                         OpenJournalEntry openJournalEntry, QWidget *parent, const QDate &day)
    : QDialog(parent), m_dayClose(journal, store), m_openBatchRow(std::move(openBatchRow)),
      m_openJournalEntry(std::move(openJournalEntry))
{
    setObjectName(QStringLiteral("frmDayClose"));
    setWindowTitle(QStringLiteral("日结"));
    setWindowIcon(appIcon());

    dtpDay = named(new QDateEdit(day, this), "dtpDay", QStringLiteral("日期"));
    dtpDay->setCalendarPopup(true);
    dtpDay->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    cmdRefresh = named(new QPushButton(QStringLiteral("刷新"), this), "cmdRefresh", QStringLiteral("刷新"));
    tabLists = named(new QTabWidget(this), "tabLists", QStringLiteral("日结清单"));
    const auto list = [this](const char *name, int index, const QString &last) {
        auto *grid = named(new QTableWidget(0, 6, this), name, captionOf(index));
        grid->setHorizontalHeaderLabels({QStringLiteral("打印时间"), QStringLiteral("收件人"),
                                         QStringLiteral("订单编号"), QStringLiteral("运单号"),
                                         QStringLiteral("快递"), last});
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid->setSelectionMode(QAbstractItemView::SingleSelection);
        grid->horizontalHeader()->setStretchLastSection(true);
        grid->verticalHeader()->hide();
        tabLists->addTab(grid, captionOf(index));
        return grid;
    };
    grdWithoutNumber = list("grdWithoutNumber", 0, QStringLiteral("出处"));
    grdNotExported = list("grdNotExported", 1, QStringLiteral("出处"));
    grdNotChecked = list("grdNotChecked", 2, QStringLiteral("出处"));
    grdSpoiled = list("grdSpoiled", 3, QStringLiteral("作废原因"));
    lblStatus = named(new QLabel(this), "lblStatus", QStringLiteral("状态"));
    lblStatus->setWordWrap(true);
    cmdOpen = named(new QPushButton(QStringLiteral("打开"), this), "cmdOpen", QStringLiteral("打开"));
    cmdClose = named(new QPushButton(QStringLiteral("关闭"), this), "cmdClose", QStringLiteral("关闭"));
    cmdRefresh->setAutoDefault(false);
    cmdOpen->setAutoDefault(false);
    cmdClose->setAutoDefault(false);

    auto *top = new QHBoxLayout;
    auto *dayLabel = new QLabel(QStringLiteral("日期"), this);
    dayLabel->setBuddy(dtpDay);
    top->addWidget(dayLabel);
    top->addWidget(dtpDay);
    top->addWidget(cmdRefresh);
    top->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lblStatus, 1);
    bottom->addWidget(cmdOpen);
    bottom->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tabLists, 1);
    layout->addLayout(bottom);
    resize(900, 520);

    connect(dtpDay, &QDateEdit::dateChanged, this, &frmDayClose::dtpDay_DateChanged);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmDayClose::cmdRefresh_Click);
    connect(cmdOpen, &QPushButton::clicked, this, &frmDayClose::cmdOpen_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    for (QTableWidget *grid : {grdWithoutNumber, grdNotExported, grdNotChecked, grdSpoiled})
        connect(grid, &QTableWidget::cellDoubleClicked, this, &frmDayClose::grdList_CellDoubleClicked);

    m_report = m_dayClose.report(day);
    showReport();
}

void frmDayClose::dtpDay_DateChanged(const QDate &day)
{
    m_report = m_dayClose.report(day);
    showReport();
}

void frmDayClose::cmdRefresh_Click()
{
    dtpDay_DateChanged(dtpDay->date());
}

void frmDayClose::grdList_CellDoubleClicked(int)
{
    cmdOpen_Click();
}

const DayClose::Line *frmDayClose::currentLine() const
{
    const QList<DayClose::Line> *lines[] = {&m_report.withoutNumber, &m_report.notExported,
                                            &m_report.notChecked, &m_report.spoiled};
    const int list = tabLists->currentIndex();
    if (list < 0 || list >= 4)
        return nullptr;
    const auto *grid = static_cast<const QTableWidget *>(tabLists->widget(list));
    const QModelIndexList chosen = grid->selectionModel()->selectedRows();
    if (chosen.isEmpty() || chosen.first().row() >= lines[list]->size())
        return nullptr;
    return &lines[list]->at(chosen.first().row());
}

void frmDayClose::cmdOpen_Click()
{
    const DayClose::Line *line = currentLine();
    if (!line) {
        lblStatus->setText(QStringLiteral("请先选中一行。"));
        return;
    }
    // A batch's page is opened in its batch, where its number is scanned and
    // its shipping file written; a single print in the journal.
    if (!line->batchFile.isEmpty()) {
        if (m_openBatchRow)
            m_openBatchRow(line->batchFile, line->rowId);
    } else if (!line->journalId.isEmpty()) {
        if (m_openJournalEntry)
            m_openJournalEntry(line->journalId);
    }
}

void frmDayClose::showReport()
{
    const QList<DayClose::Line> *lines[] = {&m_report.withoutNumber, &m_report.notExported,
                                            &m_report.notChecked, &m_report.spoiled};
    QTableWidget *grids[] = {grdWithoutNumber, grdNotExported, grdNotChecked, grdSpoiled};
    int open = 0;
    for (int list = 0; list < 4; ++list) {
        QTableWidget *grid = grids[list];
        // Emptied, not refilled in place: a line chosen on another day goes with it.
        grid->clearContents();
        grid->setRowCount(int(lines[list]->size()));
        for (int row = 0; row < lines[list]->size(); ++row) {
            const DayClose::Line &line = lines[list]->at(row);
            const QString cells[] = {line.time,          line.recipient, line.orderNumber,
                                     line.waybillNumber, line.courier,   line.detail};
            for (int column = 0; column < 6; ++column)
                grid->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
        grid->resizeColumnsToContents();
        const QString caption = QStringLiteral("%1（%2）").arg(captionOf(list)).arg(lines[list]->size());
        tabLists->setTabText(list, caption);
        if (list < 3)
            open += int(lines[list]->size());
    }
    QString status =
        open == 0 ? QStringLiteral("%1 没有未了结的运单。").arg(m_report.day.toString(Qt::ISODate))
                  : QStringLiteral("%1 还有 %2 件未了结。").arg(m_report.day.toString(Qt::ISODate)).arg(open);
    if (!m_report.problems.isEmpty())
        status += u'\n' + m_report.problems.join(u'\n');
    lblStatus->setText(status);
}
