#include "batch/batchprinter.h"

#include "addressbook/printjournal.h"
#include "platform/platform.h"
#include "platform/printqueue.h"
#include "waybill/printjob.h"

#include <QPrinter>

BatchPrinter::BatchPrinter(PrintBatch &batch, Platform &platform, PrintJournal &journal, QObject *parent)
    : QObject(parent), m_batch(batch), m_platform(platform), m_journal(journal), m_store(platform)
{
    m_poll.setInterval(200);
    m_poll.setSingleShot(true);
    connect(&m_poll, &QTimer::timeout, this, &BatchPrinter::follow);
}

BatchPrinter::~BatchPrinter() = default;

const PageSource &BatchPrinter::pages() const
{
    if (!m_pages || m_pagesForm != m_batch.form) {
        m_pages = PageSource::open(m_platform, m_batch.form);
        m_pagesForm = m_batch.form;
        if (m_answersForm == m_batch.form)
            m_pages->setAnswers(m_answers);
    }
    return *m_pages;
}

QStringList BatchPrinter::warnings(int row) const
{
    const PageSource::FieldReader read = [this, row](QStringView key) { return m_batch.value(row, key); };
    const PageSource &source = pages();
    QStringList found;
    const QStringList cut = source.cutFields(read);
    if (!cut.isEmpty())
        found.append(QStringLiteral("打印不全：%1").arg(cut.join(QStringLiteral("、"))));
    if (m_journal.printedToday(source.courier(), read))
        found.append(QStringLiteral("今天已用%1给此收件人打印过").arg(source.caption()));
    if (!m_batch.rows.value(row).unsure.isEmpty())
        found.append(QStringLiteral("请核对：%1").arg(m_batch.rows[row].unsure.join(QStringLiteral("、"))));
    return found;
}

void BatchPrinter::askValues()
{
    // The values a form asks for when printing (托寄物, 件数 …) are asked once,
    // when the batch's first print starts, and go onto every waybill of it: a
    // batch is one kind of parcel, and asking for each row would stand between
    // the user and a stack of pages.
    if (m_answersForm == m_batch.form)
        return;
    const QStringList labels = m_pages->askedLabels();
    for (const QString &label : labels) {
        m_answers.insert(label, m_platform.inputBox(QStringLiteral("请输入%1：").arg(label),
                                                    m_pages->caption(), m_answers.value(label)));
    }
    m_answersForm = m_batch.form;
    m_pages->setAnswers(m_answers);
}

void BatchPrinter::start(int count)
{
    if (m_running)
        return;
    m_running = true;
    m_pauseAsked = false;
    m_left = count;
    // Read afresh: the form or its print settings may have changed since the last start.
    m_pages.reset();
    const PageSource &source = pages();
    if (!source.problem().isEmpty()) {
        stop(std::max(m_batch.firstNotPrinted(), 0), source.problem());
        return;
    }
    askValues();
    m_settings = source.settings();
    m_printer.reset();
    next();
}

void BatchPrinter::pause()
{
    m_pauseAsked = true;
}

void BatchPrinter::stop(int row, const QString &reason)
{
    m_poll.stop();
    m_running = false;
    m_printer.reset();
    Q_EMIT paused(row, reason);
}

bool BatchPrinter::save(int row)
{
    QString error;
    if (m_store.save(m_batch, &error))
        return true;
    stop(row, QStringLiteral("批量打印的进度无法保存，已暂停：%1").arg(error));
    return false;
}

void BatchPrinter::next()
{
    m_row = m_batch.firstNotPrinted();
    if (m_row < 0) {
        m_running = false;
        m_printer.reset();
        Q_EMIT finished();
        return;
    }
    if (m_pauseAsked || m_left == 0) {
        stop(m_row, QString());
        return;
    }
    if (m_batch.rows[m_row].state == BatchRow::State::Sent) {
        follow();
        return;
    }
    sendRow(m_row);
}

void BatchPrinter::sendRow(int row)
{
    BatchRow &current = m_batch.rows[row];
    if (!m_printer) {
        QString error;
        m_printer = Waybill::openPrinter(m_settings, &error);
        if (!m_printer) {
            stop(row, error);
            return;
        }
    }
    // Marked before the job goes, so that a crash in between is never taken
    // for a row not yet printed.
    current.state = BatchRow::State::Sending;
    current.problem.clear();
    if (!save(row))
        return;
    Q_EMIT rowChanged(row);

    const PageSource &source = pages();
    const PageSource::FieldReader read = [this, row](QStringView key) { return m_batch.value(row, key); };
    int jobId = 0;
    const QString failure = Waybill::printPage(
        *m_printer, m_settings, source.jobTitle(),
        [&source, &read](QPainter &painter) { source.paint(painter, read); }, m_platform.printQueue(),
        &jobId);
    if (!failure.isEmpty()) {
        current.state = BatchRow::State::Failed;
        current.problem = failure;
        save(row);
        Q_EMIT rowChanged(row);
        stop(row, failure);
        return;
    }
    current.state = BatchRow::State::Sent;
    current.jobId = jobId;
    current.printer = Waybill::printerShownName(*m_printer);
    if (!save(row))
        return;
    Q_EMIT rowChanged(row);
    follow();
}

bool BatchPrinter::rowDone(int row, QString *error)
{
    BatchRow &current = m_batch.rows[row];
    current.state = BatchRow::State::Printed;
    PrintJournal::Entry entry = PrintJournal::entryFor(
        pages().courier(), current.printer, [this, row](QStringView key) { return m_batch.value(row, key); },
        current.orderNumber);
    QString why;
    if (m_journal.append(entry, &why))
        current.journalId = entry.id;
    else
        *error = QStringLiteral("快递单已打印，但打印记录未能保存：%1").arg(why);
    if (!save(row))
        return false;
    Q_EMIT rowChanged(row);
    return true;
}

void BatchPrinter::rowFailed(int row, const PrintQueue::JobStatus &job)
{
    BatchRow &current = m_batch.rows[row];
    current.state = BatchRow::State::Failed;
    current.problem = QStringLiteral("打印机“%1”的打印作业%2，这张没有打印%3。")
                          .arg(current.printer,
                               job.state == PrintQueue::JobState::Canceled ? QStringLiteral("被取消")
                                                                           : QStringLiteral("失败"),
                               job.reason.isEmpty() ? QString() : QStringLiteral("（%1）").arg(job.reason));
    current.jobId = 0;
    save(row);
    Q_EMIT rowChanged(row);
}

void BatchPrinter::settle()
{
    for (int row = 0; row < m_batch.rows.size(); ++row) {
        if (m_batch.rows[row].state != BatchRow::State::Sent)
            continue;
        const PrintQueue::JobStatus job = m_platform.printQueue().jobStatus(m_batch.rows[row].jobId);
        QString error;
        if (job.state == PrintQueue::JobState::Completed)
            rowDone(row, &error);
        else if (job.state == PrintQueue::JobState::Canceled || job.state == PrintQueue::JobState::Aborted)
            rowFailed(row, job);
    }
}

void BatchPrinter::follow()
{
    BatchRow &current = m_batch.rows[m_row];
    // A printer that writes to a file has finished with the page when it was sent.
    PrintQueue::JobStatus job;
    job.state = PrintQueue::JobState::Completed;
    if (current.jobId != 0)
        job = m_platform.printQueue().jobStatus(current.jobId);

    switch (job.state) {
    case PrintQueue::JobState::Completed: {
        QString error;
        if (!rowDone(m_row, &error))
            return;
        Q_EMIT rowPrinted(m_row);
        if (!error.isEmpty()) {
            stop(m_row, error);
            return;
        }
        if (m_left > 0)
            --m_left;
        if (m_running)
            next();
        return;
    }
    case PrintQueue::JobState::Canceled:
    case PrintQueue::JobState::Aborted:
        rowFailed(m_row, job);
        stop(m_row, current.problem);
        return;
    case PrintQueue::JobState::Unknown:
        stop(m_row, QStringLiteral("无法得知打印作业 %1 的情况%2。请查看打印机后按“继续”。")
                        .arg(current.jobId)
                        .arg(job.reason.isEmpty() ? QString() : QStringLiteral("（%1）").arg(job.reason)));
        return;
    case PrintQueue::JobState::Held:
        stop(m_row, QStringLiteral("打印作业 %1 被挂起。请在打印机上放行后按“继续”。").arg(current.jobId));
        return;
    case PrintQueue::JobState::Pending:
    case PrintQueue::JobState::Processing:
    case PrintQueue::JobState::Stopped: {
        const PrintQueue::QueueStatus queue = m_platform.printQueue().queueStatus(current.printer);
        if (queue.state == PrintQueue::QueueState::Stopped || job.state == PrintQueue::JobState::Stopped) {
            stop(m_row,
                 QStringLiteral("打印机“%1”已停止%2，这张还在等待打印。请检查打印机，开启后按“继续”。")
                     .arg(current.printer,
                          queue.reason.isEmpty() ? QString() : QStringLiteral("（%1）").arg(queue.reason)));
            return;
        }
        m_poll.start();
        return;
    }
    }
}
