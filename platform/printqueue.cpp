#include "platform/printqueue.h"

#include <QFile>

#include <cups/cups.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct IppDeleter
{
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDeleter>;

QString lastError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

QString text(ipp_t *response, const char *name)
{
    ipp_attribute_t *attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    return attribute ? QString::fromUtf8(ippGetString(attribute, 0, nullptr)) : QString();
}

// The reasons a scheduler gives beside a state, "none" left out.
QString reasons(ipp_t *response, const char *name)
{
    ipp_attribute_t *attribute = ippFindAttribute(response, name, IPP_TAG_KEYWORD);
    QStringList all;
    for (int i = 0; attribute && i < ippGetCount(attribute); ++i) {
        const QString reason = QString::fromUtf8(ippGetString(attribute, i, nullptr));
        if (reason != QLatin1String("none"))
            all.append(reason);
    }
    return all.join(QLatin1String(", "));
}

PrintQueue::JobState stateOf(int ippState)
{
    using JobState = PrintQueue::JobState;
    switch (ippState) {
    case IPP_JSTATE_PENDING:
        return JobState::Pending;
    case IPP_JSTATE_HELD:
        return JobState::Held;
    case IPP_JSTATE_PROCESSING:
        return JobState::Processing;
    case IPP_JSTATE_STOPPED:
        return JobState::Stopped;
    case IPP_JSTATE_CANCELED:
        return JobState::Canceled;
    case IPP_JSTATE_ABORTED:
        return JobState::Aborted;
    case IPP_JSTATE_COMPLETED:
        return JobState::Completed;
    default:
        return JobState::Unknown;
    }
}

} // namespace

PrintQueue::Job PrintQueue::submit(const QString &queue, const QString &path, const QString &title,
                                   const QList<std::pair<QByteArray, QByteArray>> &options) const
{
    cups_option_t *list = nullptr;
    int count = 0;
    for (const auto &[name, value] : options)
        count = cupsAddOption(name.constData(), value.constData(), count, &list);
    Job job;
    job.id = cupsPrintFile2(CUPS_HTTP_DEFAULT, queue.toUtf8().constData(),
                            QFile::encodeName(path).constData(), title.toUtf8().constData(), count, list);
    cupsFreeOptions(count, list);
    if (job.id <= 0) {
        job.id = 0;
        job.reason = lastError();
    }
    return job;
}

PrintQueue::JobStatus PrintQueue::jobStatus(int jobId) const
{
    JobStatus status;
    if (jobId <= 0)
        return status;
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%d", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    static const char *const wanted[] = {"job-state", "job-state-reasons", "job-printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    const Ipp response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
    if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_CONFLICTING) {
        status.reason = lastError();
        return status;
    }
    ipp_attribute_t *state = ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM);
    status.state = stateOf(state ? ippGetInteger(state, 0) : 0);
    status.reason = text(response.get(), "job-printer-state-message");
    if (status.reason.isEmpty())
        status.reason = reasons(response.get(), "job-state-reasons");
    return status;
}

bool PrintQueue::jobsTitled(const QString &title, QList<TitledJob> *jobs, QString *error) const
{
    jobs->clear();
    cups_job_t *list = nullptr;
    // Every queue, every user's jobs, finished ones too.
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, nullptr, 0, CUPS_WHICHJOBS_ALL);
    if (count < 0) {
        if (error)
            *error = lastError();
        return false;
    }
    const QByteArray wanted = title.toUtf8();
    for (int i = 0; i < count; ++i) {
        if (list[i].title && wanted == list[i].title)
            jobs->append({list[i].id, stateOf(list[i].state)});
    }
    cupsFreeJobs(count, list);
    std::sort(jobs->begin(), jobs->end(), [](const TitledJob &a, const TitledJob &b) { return a.id < b.id; });
    return true;
}

PrintQueue::QueueStatus PrintQueue::queueStatus(const QString &queue) const
{
    QueueStatus status;
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
                     queue.toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    static const char *const wanted[] = {"printer-state", "printer-is-accepting-jobs",
                                         "printer-state-message", "printer-state-reasons"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
    const Ipp response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
    if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_CONFLICTING) {
        status.reason = lastError();
        return status;
    }
    ipp_attribute_t *state = ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM);
    switch (state ? ippGetInteger(state, 0) : 0) {
    case IPP_PSTATE_IDLE:
        status.state = QueueState::Idle;
        break;
    case IPP_PSTATE_PROCESSING:
        status.state = QueueState::Processing;
        break;
    case IPP_PSTATE_STOPPED:
        status.state = QueueState::Stopped;
        break;
    default:
        break;
    }
    ipp_attribute_t *accepting =
        ippFindAttribute(response.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    status.accepting = accepting && ippGetBoolean(accepting, 0);
    status.reason = text(response.get(), "printer-state-message");
    if (status.reason.isEmpty())
        status.reason = reasons(response.get(), "printer-state-reasons");
    return status;
}
