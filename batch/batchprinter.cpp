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

QString BatchPrinter::askValues()
{
    // The values a form asks for when printing (托寄物, 件数 …) are asked once,
    // when the batch's first print starts, and go onto every waybill of it: a
    // batch is one kind of parcel, and asking for each row would stand between
    // the user and a stack of pages.
    if (m_answersForm == m_batch.form)
        return QString();
    const QStringList labels = m_pages->askedLabels();
    QHash<QString, QString> answers = m_answers;
    for (const QString &label : labels) {
        const QString answer = m_platform.inputBox(QStringLiteral("请输入%1：").arg(label),
                                                   m_pages->caption(), m_answers.value(label));
        // 取消 (or nothing typed) prints nothing: a waybill without it is no use.
        if (answer.trimmed().isEmpty())
            return QStringLiteral("没有输入%1，未打印。").arg(label);
        answers.insert(label, answer);
    }
    m_answers = answers;
    m_answersForm = m_batch.form;
    m_pages->setAnswers(m_answers);
    return QString();
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
    const QString cancelled = askValues();
    if (!cancelled.isEmpty()) {
        stop(std::max(m_batch.firstNotPrinted(), 0), cancelled);
        return;
    }
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
    const QString error = saveQuietly(row);
    if (error.isEmpty())
        return true;
    stop(row, error + QStringLiteral("（已暂停）"));
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
    // Marked, and titled so that the scheduler can be asked about it, before the
    // job goes: a crash in between is never taken for a row not yet printed.
    ++current.attempts;
    current.jobTitle = m_batch.jobTitleFor(row, pages().caption());
    current.jobId = 0;
    current.state = BatchRow::State::Sending;
    current.problem.clear();
    if (!save(row))
        return;
    Q_EMIT rowChanged(row);

    const PageSource &source = pages();
    const PageSource::FieldReader read = [this, row](QStringView key) { return m_batch.value(row, key); };
    int jobId = 0;
    const QString failure = Waybill::printPage(
        *m_printer, m_settings, current.jobTitle,
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
    Q_EMIT handedToQueue(row);
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
    current.problem.clear();
    current.printOrder = m_batch.nextPrintOrder();
    current.journalId.clear();
    current.printedTime.clear();
    PrintJournal::Entry entry = m_batch.journalEntry(row, pages().courier(), pages().formId());
    QString why;
    if (m_journal.append(entry, &why)) {
        current.journalId = entry.id;
        current.printedTime = entry.time;
    } else {
        *error = QStringLiteral("快递单已打印，但打印记录未能保存：%1").arg(why);
    }
    if (!save(row))
        return false;
    Q_EMIT rowChanged(row);
    return true;
}

bool BatchPrinter::reprint(int row, const QString &reason, Reprint when, QString *error)
{
    if (m_running || row < 0 || row >= m_batch.rows.size())
        return false;
    BatchRow &current = m_batch.rows[row];
    if (current.state == BatchRow::State::Printed && !current.journalId.isEmpty()) {
        if (!m_journal.markSpoiled(m_batch.journalEntry(row, pages().courier(), pages().formId()), reason,
                                   error))
            return false;
    } else if (current.state != BatchRow::State::Printed && current.state != BatchRow::State::Unsettled) {
        return false;
    }
    current.state = BatchRow::State::Waiting;
    current.pairByOrder = current.pairByOrder || when == Reprint::Anywhere;
    current.problem.clear();
    current.journalId.clear();
    current.printedTime.clear();
    current.printOrder = 0;
    current.waybillNumber.clear();
    current.exported = false;
    current.jobId = 0;
    QString why;
    if (!m_store.saveRow(m_batch, row, &why)) {
        if (error)
            *error = QStringLiteral("批量打印的进度无法保存：%1").arg(why);
        return false;
    }
    Q_EMIT rowChanged(row);
    return true;
}

bool BatchPrinter::markPrinted(int row, QString *error)
{
    if (m_running || row < 0 || row >= m_batch.rows.size() ||
        m_batch.rows[row].state != BatchRow::State::Unsettled)
        return false;
    QString why;
    if (!rowDone(row, &why)) {
        if (error)
            *error = QStringLiteral("批量打印的进度无法保存。");
        return false;
    }
    if (!why.isEmpty() && error)
        *error = why;
    return why.isEmpty();
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

bool BatchPrinter::findByTitle(const BatchRow &row, PrintQueue::TitledJob *job) const
{
    QList<PrintQueue::TitledJob> jobs;
    if (row.jobTitle.isEmpty() || !m_platform.printQueue().jobsTitled(row.jobTitle, &jobs))
        return false;
    *job = jobs.isEmpty() ? PrintQueue::TitledJob() : jobs.last();
    return true;
}

QString BatchPrinter::settleRow(int row)
{
    BatchRow &current = m_batch.rows[row];
    PrintQueue::JobStatus job;
    if (current.state == BatchRow::State::Sent && current.jobId != 0)
        job = m_platform.printQueue().jobStatus(current.jobId);
    if (job.state == PrintQueue::JobState::Unknown) {
        // Caught while being handed over, or a job the scheduler no longer
        // knows by its number: asked by its title, finished jobs included.
        PrintQueue::TitledJob titled;
        const bool asked = findByTitle(current, &titled);
        if (asked && titled.id != 0) {
            current.jobId = titled.id;
            current.state = BatchRow::State::Sent;
            job.state = titled.state;
        } else if (asked && current.state == BatchRow::State::Sending) {
            // The scheduler never got it: not printed.
            current.state = BatchRow::State::Waiting;
            current.jobId = 0;
            const QString why = saveQuietly(row);
            Q_EMIT rowChanged(row);
            return why;
        } else {
            current.state = BatchRow::State::Unsettled;
            current.problem = QStringLiteral(
                "无法从打印机得知这张是否已打印（打印记录可能已被清除）。请看一看打印出的运单，"
                "再选“标为已打印”或“重打”。");
            const QString why = saveQuietly(row);
            Q_EMIT rowChanged(row);
            return why;
        }
    }
    QString error;
    if (job.state == PrintQueue::JobState::Completed) {
        if (!rowDone(row, &error) && error.isEmpty())
            error = QStringLiteral("批量打印的进度无法保存。");
    } else if (job.state == PrintQueue::JobState::Canceled || job.state == PrintQueue::JobState::Aborted) {
        rowFailed(row, PrintQueue::JobStatus{job.state, QString()});
    } else if (current.state == BatchRow::State::Sent) {
        error = saveQuietly(row);
        Q_EMIT rowChanged(row);
    }
    return error.isEmpty() ? QString() : QStringLiteral("第 %1 张：%2").arg(row + 1).arg(error);
}

QString BatchPrinter::saveQuietly(int row)
{
    QString error;
    if (m_store.saveRow(m_batch, row, &error))
        return QString();
    return QStringLiteral("批量打印的进度无法保存：%1").arg(error);
}

QStringList BatchPrinter::settle()
{
    QStringList problems;
    for (int row = 0; row < m_batch.rows.size(); ++row) {
        const BatchRow::State state = m_batch.rows[row].state;
        if (state == BatchRow::State::Sent || state == BatchRow::State::Sending) {
            const QString problem = settleRow(row);
            if (!problem.isEmpty())
                problems.append(problem);
        }
    }
    return problems;
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
    case PrintQueue::JobState::Unknown: {
        PrintQueue::TitledJob titled;
        if (findByTitle(current, &titled) && titled.id == 0) {
            // The scheduler answers but no longer knows the job: it is for the
            // user to say whether the page came out; the others go on.
            const QString why = settleRow(m_row);
            if (!why.isEmpty()) {
                stop(m_row, why);
                return;
            }
            if (m_running)
                next();
            return;
        }
        if (titled.id != 0 && titled.id != current.jobId) {
            current.jobId = titled.id;
            m_poll.start();
            return;
        }
        stop(m_row, QStringLiteral("无法得知打印作业 %1 的情况%2。请查看打印机后按“继续”。")
                        .arg(current.jobId)
                        .arg(job.reason.isEmpty() ? QString() : QStringLiteral("（%1）").arg(job.reason)));
        return;
    }
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
