#include "platform/printqueue.h"

#include <QFile>

#include <cups/cups.h>

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
    switch (state ? ippGetInteger(state, 0) : 0) {
    case IPP_JSTATE_PENDING:
        status.state = JobState::Pending;
        break;
    case IPP_JSTATE_HELD:
        status.state = JobState::Held;
        break;
    case IPP_JSTATE_PROCESSING:
        status.state = JobState::Processing;
        break;
    case IPP_JSTATE_STOPPED:
        status.state = JobState::Stopped;
        break;
    case IPP_JSTATE_CANCELED:
        status.state = JobState::Canceled;
        break;
    case IPP_JSTATE_ABORTED:
        status.state = JobState::Aborted;
        break;
    case IPP_JSTATE_COMPLETED:
        status.state = JobState::Completed;
        break;
    default:
        break;
    }
    status.reason = text(response.get(), "job-printer-state-message");
    if (status.reason.isEmpty())
        status.reason = reasons(response.get(), "job-state-reasons");
    return status;
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
