#include "batch/printbatch.h"

#include "addressbook/contactfile.h"
#include "orders/orderfile.h"
#include "platform/platform.h"
#include "waybill/frmsf.h"
#include "waybill/frmyd.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char16_t *stateName(BatchRow::State state)
{
    switch (state) {
    case BatchRow::State::Waiting:
        return u"waiting";
    case BatchRow::State::Sending:
        return u"sending";
    case BatchRow::State::Sent:
        return u"sent";
    case BatchRow::State::Printed:
        return u"printed";
    case BatchRow::State::Failed:
        return u"failed";
    }
    return u"waiting";
}

BatchRow::State stateNamed(const QString &name)
{
    for (const auto state : {BatchRow::State::Sending, BatchRow::State::Sent, BatchRow::State::Printed,
                             BatchRow::State::Failed}) {
        if (name == QStringView(stateName(state)))
            return state;
    }
    return BatchRow::State::Waiting;
}

QJsonArray toArray(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QStringList toList(const QJsonValue &value, qsizetype size = -1)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list.append(item.toString());
    if (size >= 0)
        list.resize(size);
    return list;
}

} // namespace

QString BatchRow::value(QStringView key) const
{
    return recipient.value(ContactFile::recipientKeys().indexOf(key));
}

void BatchRow::setValue(QStringView key, const QString &text)
{
    const qsizetype i = ContactFile::recipientKeys().indexOf(key);
    if (i < 0)
        return;
    recipient.resize(ContactFile::recipientKeys().size());
    recipient[i] = text;
}

BatchRow BatchRow::fromOrder(const OrderRow &order)
{
    BatchRow row;
    // In the order of the recipient keys: company, person, province, city,
    // district, street, phone, postcode.
    row.recipient = {order.company,  order.name,   order.province, order.city,
                     order.district, order.street, order.phone,    order.postcode};
    row.orderNumber = order.orderNumber;
    for (const OrderRow::Field field : order.unsure)
        row.unsure.append(OrderRow::label(field));
    return row;
}

QStringList PrintBatch::forms()
{
    return {QStringLiteral("SF"), QStringLiteral("YD")};
}

QString PrintBatch::courierOf(const QString &form)
{
    return form == QStringLiteral("YD") ? QStringLiteral("韵达") : QStringLiteral("顺丰");
}

QString PrintBatch::formCaption(const QString &form)
{
    return description(form)->courier.toString();
}

QString PrintBatch::shippingName(const QString &form)
{
    return form == QStringLiteral("YD") ? QStringLiteral("韵达快递") : QStringLiteral("顺丰速运");
}

const Waybill::Description *PrintBatch::description(const QString &form)
{
    return form == QStringLiteral("YD") ? &frmYD::description() : &frmSF::description();
}

QString PrintBatch::value(int row, QStringView key) const
{
    if (key.endsWith(u"To"))
        return rows.value(row).value(key);
    return sender.value(ContactFile::senderKeys().indexOf(key));
}

int PrintBatch::firstNotPrinted() const
{
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].state != BatchRow::State::Printed)
            return i;
    }
    return -1;
}

int PrintBatch::printedCount() const
{
    return int(std::count_if(rows.cbegin(), rows.cend(),
                             [](const BatchRow &row) { return row.state == BatchRow::State::Printed; }));
}

QByteArray PrintBatch::toJson() const
{
    QJsonArray list;
    for (const BatchRow &row : rows) {
        list.append(QJsonObject{
            {QStringLiteral("recipient"), toArray(row.recipient)},
            {QStringLiteral("order"), row.orderNumber},
            {QStringLiteral("unsure"), toArray(row.unsure)},
            {QStringLiteral("state"), QString::fromUtf16(stateName(row.state))},
            {QStringLiteral("job"), row.jobId},
            {QStringLiteral("printer"), row.printer},
            {QStringLiteral("problem"), row.problem},
            {QStringLiteral("journal"), row.journalId},
            {QStringLiteral("waybill"), row.waybillNumber},
        });
    }
    const QJsonObject batch{{QStringLiteral("form"), form},
                            {QStringLiteral("sender"), toArray(sender)},
                            {QStringLiteral("rows"), list}};
    return QJsonDocument(batch).toJson(QJsonDocument::Indented);
}

std::optional<PrintBatch> PrintBatch::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    PrintBatch batch;
    // A courier's key or a form's file name; a batch written before forms could
    // be chosen names a courier.
    batch.form = object[u"form"].toString();
    if (batch.form.isEmpty())
        batch.form = forms().first();
    batch.sender = toList(object[u"sender"], ContactFile::senderKeys().size());
    for (const QJsonValue &item : object[u"rows"].toArray()) {
        const QJsonObject o = item.toObject();
        BatchRow row;
        row.recipient = toList(o[u"recipient"], ContactFile::recipientKeys().size());
        row.orderNumber = o[u"order"].toString();
        row.unsure = toList(o[u"unsure"]);
        row.state = stateNamed(o[u"state"].toString());
        row.jobId = o[u"job"].toInt();
        row.printer = o[u"printer"].toString();
        row.problem = o[u"problem"].toString();
        row.journalId = o[u"journal"].toString();
        row.waybillNumber = o[u"waybill"].toString();
        batch.rows.append(row);
    }
    return batch;
}

BatchStore::BatchStore(Platform &platform) : m_platform(platform) {}

QString BatchStore::fileName() const
{
    return m_platform.programFolder() + QStringLiteral("/batch.json");
}

bool BatchStore::save(const PrintBatch &batch, QString *error) const
{
    return m_platform.writeFileAtomically(fileName(), batch.toJson(), error);
}

std::optional<PrintBatch> BatchStore::load() const
{
    if (!m_platform.fileExists(fileName()))
        return std::nullopt;
    QByteArray json;
    if (!m_platform.readFile(fileName(), &json))
        return std::nullopt;
    std::optional<PrintBatch> batch = PrintBatch::fromJson(json);
    if (!batch)
        return std::nullopt;
    for (BatchRow &row : batch->rows) {
        if (row.state == BatchRow::State::Sending) {
            row.state = BatchRow::State::Failed;
            row.problem =
                QStringLiteral("程序中断时这张正在送往打印机，可能已经打印，请核对后再决定是否重打。");
        }
    }
    return batch;
}

bool BatchStore::clear(QString *error) const
{
    return !m_platform.fileExists(fileName()) || m_platform.deleteFile(fileName(), error);
}
