#pragma once

#include "batch/pagesource.h"
#include "batch/printbatch.h"
#include "platform/printqueue.h"
#include "waybill/printsettings.h"

#include <QObject>
#include <QTimer>

#include <memory>

class PrintJournal;
class QPrinter;

// Prints a batch one waybill at a time: each waybill is one job, followed in
// the queue until it completed, and only then is its row printed and written
// into the print journal. A stopped queue, a refused, canceled or aborted job,
// or a state that cannot be saved pauses the batch at its row; the batch is
// saved after every change of a row.
class BatchPrinter : public QObject
{
    Q_OBJECT
public:
    BatchPrinter(PrintBatch &batch, Platform &platform, PrintJournal &journal, QObject *parent = nullptr);
    ~BatchPrinter() override;

    // Prints from the first row not printed, at most count rows (all when
    // negative). A row whose job the queue still holds is followed, not sent again.
    void start(int count = -1);
    // After a batch was read back: the rows whose jobs completed meanwhile are
    // printed (and go into the journal), those the queue threw out failed. Rows
    // still in the queue are followed by start(). What could not be written
    // (the journal, the batch's file) comes back for the user.
    QStringList settle();
    // Stops once the waybill being printed is done.
    void pause();

    // The page of a printed row went into the bin (a trial the user rejected, a
    // sheet jammed): its journal entry is marked spoiled for reason, its number
    // (which was on that paper) goes, and the row is printed again. A row
    // waiting for the user's word is simply printed again.
    enum class Reprint {
        Next,    // the new page comes out next, in the old one's place (a rejected trial)
        Anywhere // printed later, put anywhere in the stack: its number is paired by its order
    };
    bool reprint(int row, const QString &reason, Reprint when, QString *error = nullptr);
    // The user saw the page of a row waiting for their word: it is printed.
    bool markPrinted(int row, QString *error = nullptr);
    bool isRunning() const { return m_running; }

    // How often a job is asked after, in milliseconds.
    void setPollInterval(int ms) { m_poll.setInterval(ms); }

    // What the user should know about the row before printing: fields cut short,
    // the same recipient printed today by the same courier, unsure fields.
    QStringList warnings(int row) const;
    // What the batch's form is printed with.
    const PageSource &pages() const;

Q_SIGNALS:
    void rowChanged(int row);
    // The queue took row's job, and the batch does not say so yet: the moment a
    // crash is hardest on, which the scheduler is asked about afterwards.
    void handedToQueue(int row);
    void rowPrinted(int row);
    // Stopped at row: reason says why, empty when the user paused or the count
    // was reached.
    void paused(int row, const QString &reason);
    void finished();

private:
    void next();
    void follow();
    void stop(int row, const QString &reason);
    bool save(int row);
    // Saves the row without stopping anything; why it failed, or empty.
    QString saveQuietly(int row);
    void sendRow(int row);
    // What the scheduler remembers of a row's job by its title: whether it
    // could be asked, and the newest such job.
    bool findByTitle(const BatchRow &row, PrintQueue::TitledJob *job) const;
    // What could not be written while settling it; empty when all was.
    QString settleRow(int row);
    // Marks the row printed and writes it into the journal; error says why that failed.
    bool rowDone(int row, QString *error);
    void rowFailed(int row, const PrintQueue::JobStatus &job);
    // Why printing cannot start (a value not given), or empty.
    QString askValues();

    PrintBatch &m_batch;
    Platform &m_platform;
    PrintJournal &m_journal;
    BatchStore m_store;
    Waybill::PrintSettings m_settings;
    mutable std::unique_ptr<PageSource> m_pages;
    mutable QString m_pagesForm;
    QHash<QString, QString> m_answers;
    QString m_answersForm;
    std::unique_ptr<QPrinter> m_printer;
    QTimer m_poll;
    bool m_running = false;
    bool m_pauseAsked = false;
    int m_left = -1;
    int m_row = -1;
};
