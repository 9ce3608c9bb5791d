#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

// The print queues of the CUPS scheduler: sends a finished document as one job
// and tells how that job and its queue stand, so that a job the scheduler
// refuses, cancels or cannot print is known rather than taken for printed.
//
// Every call talks to the scheduler the environment names (CUPS_SERVER, or the
// local one) and waits for its answer; none keeps a connection.
class PrintQueue
{
public:
    enum class JobState {
        Unknown,    // the scheduler does not know the job (any more), or cannot be asked
        Pending,    // waiting its turn, or for its queue to be started
        Held,       // held until released
        Processing, // being printed
        Stopped,    // its queue stopped while printing it
        Canceled,
        Aborted,
        Completed
    };
    enum class QueueState { Missing, Idle, Processing, Stopped };

    struct Job
    {
        int id = 0;     // the scheduler's job number; 0 when the job was not taken
        QString reason; // why not, in the scheduler's words
    };
    struct JobStatus
    {
        JobState state = JobState::Unknown;
        QString reason; // the scheduler's message about the job, when it has one
    };
    struct QueueStatus
    {
        QueueState state = QueueState::Missing;
        bool accepting = false; // takes new jobs
        QString reason;         // the scheduler's message about the queue, when it has one
    };

    // Sends the PDF file at path to queue as one job titled title, with options
    // as name and value pairs ("media", "Custom.230x127mm").
    Job submit(const QString &queue, const QString &path, const QString &title,
               const QList<std::pair<QByteArray, QByteArray>> &options = {}) const;
    JobStatus jobStatus(int jobId) const;
    // The jobs titled title that the scheduler remembers, finished ones included
    // (it keeps their history unless told not to), oldest first. False, with why
    // in error, when the scheduler cannot be asked.
    struct TitledJob
    {
        int id = 0;
        JobState state = JobState::Unknown;
    };
    bool jobsTitled(const QString &title, QList<TitledJob> *jobs, QString *error = nullptr) const;
    QueueStatus queueStatus(const QString &queue) const;

    // Whether a job in this state is over: printed, or never to be.
    static bool isFinal(JobState state)
    {
        return state == JobState::Completed || state == JobState::Canceled || state == JobState::Aborted;
    }
};
