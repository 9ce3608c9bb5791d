#include "shell/packingwindows.h"

#include "addressbook/printjournal.h"
#include "batch/batchnumbers.h"
#include "batch/pagesource.h"
#include "batch/printbatch.h"
#include "dispatch/frmcheck.h"
#include "dispatch/frmdayclose.h"
#include "forms/formlibrary.h"
#include "packing/frmpickinglist.h"
#include "packing/slipprinter.h"
#include "platform/platform.h"
#include "tools/journalwindow.h"

#include <QApplication>
#include <QDate>
#include <QPrinterInfo>

namespace {

void beep()
{
    QApplication::beep();
}

} // namespace

PackingWindows::PackingWindows(Platform &platform, PrintJournal &journal, SaveFile saveFile,
                               OpenBatchRow openBatchRow)
    : m_platform(platform), m_journal(journal), m_saveFile(std::move(saveFile)),
      m_openBatchRow(std::move(openBatchRow))
{
}

frmBatch::PackingTools PackingWindows::batchTools() const
{
    frmBatch::PackingTools tools;
    Platform &platform = m_platform;
    tools.slipForms = [&platform] {
        QList<std::pair<QString, QString>> forms;
        for (const Forms::FormLibrary::Entry &entry : Forms::FormLibrary(platform).slipForms())
            forms.append({entry.fileName, entry.name});
        return forms;
    };
    tools.printSlips = [&platform](const PrintBatch &batch, const QList<int> &rows, const QString &slipForm,
                                   const QString &printer, QString *error) {
        const std::optional<Forms::Form> form = Forms::FormLibrary(platform).load(slipForm, error);
        if (!form)
            return false;
        // The same printer as the waybills unless another is chosen.
        QString to = printer.isEmpty() ? PageSource::open(platform, batch.form)->settings().printer : printer;
        // A form printing on the system's default printer names none.
        if (to.isEmpty())
            to = QPrinterInfo::defaultPrinterName();
        QList<int> chosen = rows;
        if (chosen.isEmpty()) {
            for (int i = 0; i < batch.rows.size(); ++i)
                chosen.append(i);
        }
        return SlipPrinter(*form, platform.printQueue()).print(to, batch, chosen, error);
    };
    SaveFile saveFile = m_saveFile;
    tools.pickingList = [&platform, saveFile](QWidget *parent, const PrintBatch &batch,
                                              const QList<int> &rows) {
        QStringList ids;
        for (const int row : rows)
            ids.append(batch.rows.value(row).id);
        frmPickingList list(platform, batch, ids, frmPickingList::askPrinter, saveFile, parent);
        list.exec();
    };
    tools.check = [](QWidget *parent, PrintBatch &batch, BatchNumbers &numbers, const BatchStore &store) {
        frmCheck check(batch, numbers, store, beep, parent);
        check.exec();
    };
    return tools;
}

void PackingWindows::checkNewestBatch(QWidget *parent) const
{
    const BatchStore store(m_platform);
    QStringList problems;
    const QList<BatchStore::Summary> batches = store.list(&problems);
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    // Newest first: today's newest, or else the newest of all.
    const auto todays = std::find_if(batches.cbegin(), batches.cend(), [&](const BatchStore::Summary &b) {
        return b.created.startsWith(today);
    });
    if (batches.isEmpty()) {
        m_platform.messageBox(QStringLiteral("还没有批量打印过，没有可验货的包裹。"), QStringLiteral("验货"),
                              Dialogs::Information);
        return;
    }
    QString problem;
    std::optional<PrintBatch> batch =
        store.load(todays != batches.cend() ? todays->fileName : batches.first().fileName, &problem);
    if (!batch) {
        m_platform.messageBox(problem, QStringLiteral("验货"), Dialogs::Exclamation);
        return;
    }
    const std::unique_ptr<PageSource> pages = PageSource::open(m_platform, batch->form);
    BatchNumbers numbers(*batch, m_journal, store, [&pages]() -> const PageSource & { return *pages; });
    frmCheck check(*batch, numbers, store, beep, parent);
    check.exec();
}

void PackingWindows::closeDay(QWidget *parent) const
{
    const BatchStore store(m_platform);
    frmDayClose *shown = nullptr;
    frmDayClose dayClose(
        m_journal, store,
        [&](const QString &fileName, const QString &rowId) { m_openBatchRow(shown, fileName, rowId); },
        [&](const QString &entryId) {
            frmJournal journal(m_journal, m_platform, shown);
            journal.showEntry(entryId);
            journal.exec();
        },
        parent);
    shown = &dayClose;
    dayClose.exec();
}
