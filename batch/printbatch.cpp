#include "batch/printbatch.h"

#include "addressbook/contactfile.h"
#include "orders/orderfile.h"
#include "platform/platform.h"
#include "waybill/frmsf.h"
#include "waybill/frmyd.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <algorithm>

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
    case BatchRow::State::Unsettled:
        return u"unsettled";
    }
    return u"waiting";
}

BatchRow::State stateNamed(const QString &name)
{
    for (const auto state : {BatchRow::State::Sending, BatchRow::State::Sent, BatchRow::State::Printed,
                             BatchRow::State::Failed, BatchRow::State::Unsettled}) {
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

QJsonArray itemsArray(const QList<OrderItem> &items)
{
    QJsonArray array;
    for (const OrderItem &item : items) {
        QJsonObject o{{QStringLiteral("title"), item.title}, {QStringLiteral("quantity"), item.quantity}};
        if (!item.spec.isEmpty())
            o.insert(QStringLiteral("spec"), item.spec);
        if (!item.code.isEmpty())
            o.insert(QStringLiteral("code"), item.code);
        array.append(o);
    }
    return array;
}

QList<OrderItem> itemsFrom(const QJsonValue &value)
{
    QList<OrderItem> items;
    for (const QJsonValue &v : value.toArray()) {
        const QJsonObject o = v.toObject();
        OrderItem item;
        item.title = o[u"title"].toString();
        item.spec = o[u"spec"].toString();
        item.code = o[u"code"].toString();
        item.quantity = std::clamp(o[u"quantity"].toInt(1), 0, OrderItem::MaxQuantity);
        items.append(item);
    }
    return items;
}

// Only what a row has beyond a single parcel of one order is written, so that
// a day's batch file stays as small as it was.
void addPackingKeys(QJsonObject &o, const BatchRow &row)
{
    if (!row.items.isEmpty())
        o.insert(QStringLiteral("items"), itemsArray(row.items));
    if (!row.note.isEmpty())
        o.insert(QStringLiteral("note"), row.note);
    if (!row.merged.isEmpty()) {
        QJsonArray merged;
        for (const MergedOrder &order : row.merged) {
            merged.append(QJsonObject{{QStringLiteral("id"), order.rowId},
                                      {QStringLiteral("order"), order.orderNumber},
                                      {QStringLiteral("recipient"), toArray(order.recipient)},
                                      {QStringLiteral("unsure"), toArray(order.unsure)},
                                      {QStringLiteral("items"), itemsArray(order.items)},
                                      {QStringLiteral("note"), order.note}});
        }
        o.insert(QStringLiteral("merged"), merged);
    }
    if (row.parcels > 1) {
        o.insert(QStringLiteral("parcel"), row.parcel);
        o.insert(QStringLiteral("parcels"), row.parcels);
        if (!row.parcelOf.isEmpty())
            o.insert(QStringLiteral("parcelOf"), row.parcelOf);
    }
    if (!row.checkedTime.isEmpty())
        o.insert(QStringLiteral("checked"), row.checkedTime);
}

void readPackingKeys(const QJsonObject &o, BatchRow &row)
{
    row.items = itemsFrom(o[u"items"]);
    row.note = o[u"note"].toString();
    for (const QJsonValue &v : o[u"merged"].toArray()) {
        const QJsonObject m = v.toObject();
        MergedOrder order;
        order.rowId = m[u"id"].toString();
        if (order.rowId.isEmpty())
            order.rowId = BatchRow::newId();
        order.orderNumber = m[u"order"].toString();
        order.recipient = toList(m[u"recipient"], ContactFile::recipientKeys().size());
        order.unsure = toList(m[u"unsure"]);
        order.items = itemsFrom(m[u"items"]);
        order.note = m[u"note"].toString();
        row.merged.append(order);
    }
    row.parcels = std::clamp(o[u"parcels"].toInt(1), 1, PrintBatch::MaxParcels);
    row.parcel = std::clamp(o[u"parcel"].toInt(1), 1, row.parcels);
    row.parcelOf = row.parcels > 1 ? o[u"parcelOf"].toString() : QString();
    row.checkedTime = o[u"checked"].toString();
}

QJsonObject rowObject(const BatchRow &row)
{
    QJsonObject o{
        {QStringLiteral("id"), row.id},
        {QStringLiteral("recipient"), toArray(row.recipient)},
        {QStringLiteral("order"), row.orderNumber},
        {QStringLiteral("unsure"), toArray(row.unsure)},
        {QStringLiteral("state"), QString::fromUtf16(stateName(row.state))},
        {QStringLiteral("job"), row.jobId},
        {QStringLiteral("jobTitle"), row.jobTitle},
        {QStringLiteral("attempts"), row.attempts},
        {QStringLiteral("printer"), row.printer},
        {QStringLiteral("problem"), row.problem},
        {QStringLiteral("journal"), row.journalId},
        {QStringLiteral("printedTime"), row.printedTime},
        {QStringLiteral("printOrder"), row.printOrder},
        {QStringLiteral("pairByOrder"), row.pairByOrder},
        {QStringLiteral("waybill"), row.waybillNumber},
        {QStringLiteral("exported"), row.exported},
    };
    addPackingKeys(o, row);
    return o;
}

BatchRow rowFrom(const QJsonObject &o)
{
    BatchRow row;
    // A batch kept before rows had ids keeps the one each row was given.
    if (!o[u"id"].toString().isEmpty())
        row.id = o[u"id"].toString();
    row.recipient = toList(o[u"recipient"], ContactFile::recipientKeys().size());
    row.orderNumber = o[u"order"].toString();
    row.unsure = toList(o[u"unsure"]);
    // Batches kept by earlier versions named unsure fields as the order reader does.
    for (QString &field : row.unsure) {
        if (field == QStringLiteral("收货人"))
            field = BatchRow::captions()[1];
        else if (field == QStringLiteral("单位"))
            field = BatchRow::captions()[0];
        else if (field == QStringLiteral("详细地址"))
            field = BatchRow::captions()[5];
    }
    row.state = stateNamed(o[u"state"].toString());
    row.jobId = o[u"job"].toInt();
    row.jobTitle = o[u"jobTitle"].toString();
    row.attempts = o[u"attempts"].toInt();
    row.printer = o[u"printer"].toString();
    row.problem = o[u"problem"].toString();
    row.journalId = o[u"journal"].toString();
    row.printedTime = o[u"printedTime"].toString();
    row.printOrder = o[u"printOrder"].toInt();
    row.pairByOrder = o[u"pairByOrder"].toBool();
    row.waybillNumber = o[u"waybill"].toString();
    row.exported = o[u"exported"].toBool();
    readPackingKeys(o, row);
    return row;
}

QString shortId()
{
    // Starts with a letter, as the journal's ids do: a spreadsheet leaves it text.
    return QLatin1Char('R') + QString::number(QRandomGenerator::global()->generate64(), 36).left(10);
}

} // namespace

QString BatchRow::newId()
{
    return shortId();
}

PrintBatch::PrintBatch()
    : id(QLatin1Char('B') + shortId().mid(1)),
      created(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
{
}

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

QStringList BatchRow::orderNumbers() const
{
    QStringList numbers;
    if (!orderNumber.isEmpty())
        numbers.append(orderNumber);
    for (const MergedOrder &order : merged) {
        if (!order.orderNumber.isEmpty() && !numbers.contains(order.orderNumber))
            numbers.append(order.orderNumber);
    }
    return numbers;
}

QList<OrderItem> BatchRow::allItems() const
{
    QList<OrderItem> all = items;
    for (const MergedOrder &order : merged)
        all.append(order.items);
    return all;
}

QStringList BatchRow::remarks() const
{
    QStringList all;
    if (!note.isEmpty())
        all.append(note);
    for (const MergedOrder &order : merged) {
        if (!order.note.isEmpty() && !all.contains(order.note))
            all.append(order.note);
    }
    return all;
}

QString BatchRow::parcelText() const
{
    return parcels > 1 ? QStringLiteral("%1/%2").arg(parcel).arg(parcels) : QString();
}

const QStringList &BatchRow::captions()
{
    static const QStringList list{
        QStringLiteral("收件单位"), QStringLiteral("收件人"), QStringLiteral("省"),   QStringLiteral("市"),
        QStringLiteral("区/县"),    QStringLiteral("地址"),   QStringLiteral("电话"), QStringLiteral("邮编")};
    return list;
}

BatchRow BatchRow::fromOrder(const OrderRow &order)
{
    BatchRow row;
    // In the order of the recipient keys: company, person, province, city,
    // district, street, phone, postcode.
    row.recipient = {order.company,  order.name,   order.province, order.city,
                     order.district, order.street, order.phone,    order.postcode};
    row.orderNumber = order.orderNumber;
    row.items = order.itemList;
    row.note = order.note;
    const OrderRow::Field fields[] = {OrderRow::Company, OrderRow::Name,     OrderRow::Province,
                                      OrderRow::City,    OrderRow::District, OrderRow::Street,
                                      OrderRow::Phone,   OrderRow::Postcode};
    for (const OrderRow::Field field : order.unsure) {
        const auto at = std::find(std::begin(fields), std::end(fields), field) - std::begin(fields);
        row.unsure.append(at < 8 ? captions()[at] : OrderRow::label(field));
    }
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
    if (key == u"orderNumber")
        return rows.value(row).orderNumber;
    if (key == u"waybillNumber")
        return rows.value(row).waybillNumber;
    if (key == u"orderNumbers")
        return rows.value(row).orderNumbers().join(u'\n');
    if (key == u"items") {
        QStringList lines;
        for (const OrderItem &item : rows.value(row).allItems())
            lines.append(item.text());
        return lines.join(u'\n');
    }
    if (key == u"remarks")
        return rows.value(row).remarks().join(u'\n');
    if (key == u"parcel")
        return rows.value(row).parcelText();
    if (key.endsWith(u"To"))
        return rows.value(row).value(key);
    return sender.value(ContactFile::senderKeys().indexOf(key));
}

int PrintBatch::firstNotPrinted() const
{
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].state != BatchRow::State::Printed && rows[i].state != BatchRow::State::Unsettled)
            return i;
    }
    return -1;
}

int PrintBatch::printedCount() const
{
    return int(std::count_if(rows.cbegin(), rows.cend(),
                             [](const BatchRow &row) { return row.state == BatchRow::State::Printed; }));
}

int PrintBatch::numberedCount() const
{
    return int(std::count_if(rows.cbegin(), rows.cend(),
                             [](const BatchRow &row) { return !row.waybillNumber.isEmpty(); }));
}

int PrintBatch::exportedCount() const
{
    return int(std::count_if(rows.cbegin(), rows.cend(), [](const BatchRow &row) { return row.exported; }));
}

int PrintBatch::unsettledCount() const
{
    return int(std::count_if(rows.cbegin(), rows.cend(),
                             [](const BatchRow &row) { return row.state == BatchRow::State::Unsettled; }));
}

bool PrintBatch::isFinished() const
{
    return !rows.isEmpty() && firstNotPrinted() < 0 && unsettledCount() == 0;
}

int PrintBatch::rowWithId(QStringView rowId) const
{
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].id == rowId)
            return i;
    }
    return -1;
}

int PrintBatch::nextPrintOrder() const
{
    int last = 0;
    for (const BatchRow &row : rows)
        last = std::max(last, row.printOrder);
    return last + 1;
}

PrintJournal::Entry PrintBatch::journalEntry(int row, const QString &courier, const QString &formId) const
{
    const BatchRow &source = rows[row];
    PrintJournal::Entry entry = PrintJournal::entryFor(
        courier, source.printer, [this, row](QStringView key) { return value(row, key); },
        source.orderNumber);
    if (!source.journalId.isEmpty())
        entry.id = source.journalId;
    if (!source.printedTime.isEmpty())
        entry.time = source.printedTime;
    entry.waybillNumber = source.waybillNumber;
    entry.batchId = id;
    entry.formId = formId;
    return entry;
}

QString PrintBatch::jobTitleFor(int row, const QString &formCaption) const
{
    // The sheet's number for the person at the printer; the ids, and which
    // attempt this is, for the program to find the job again.
    return QStringLiteral("%1 第%2张 %3-%4-%5")
        .arg(formCaption)
        .arg(row + 1)
        .arg(id, rows[row].id)
        .arg(rows[row].attempts);
}

QByteArray PrintBatch::toJson() const
{
    QJsonArray list;
    for (const BatchRow &row : rows)
        list.append(rowObject(row));
    QJsonObject batch{{QStringLiteral("id"), id},
                      {QStringLiteral("created"), created},
                      {QStringLiteral("setAside"), setAside},
                      {QStringLiteral("form"), form},
                      {QStringLiteral("sender"), toArray(sender)},
                      {QStringLiteral("rows"), list}};
    if (!refusedMerges.isEmpty())
        batch.insert(QStringLiteral("refusedMerges"), toArray(refusedMerges));
    return QJsonDocument(batch).toJson(QJsonDocument::Compact);
}

std::optional<PrintBatch> PrintBatch::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    PrintBatch batch;
    if (!object[u"id"].toString().isEmpty())
        batch.id = object[u"id"].toString();
    if (!object[u"created"].toString().isEmpty())
        batch.created = object[u"created"].toString();
    batch.setAside = object[u"setAside"].toBool();
    // A courier's key or a form's file name; a batch written before forms could
    // be chosen names a courier.
    batch.form = object[u"form"].toString();
    if (batch.form.isEmpty())
        batch.form = forms().first();
    batch.sender = toList(object[u"sender"], ContactFile::senderKeys().size());
    batch.refusedMerges = toList(object[u"refusedMerges"]);
    for (const QJsonValue &item : object[u"rows"].toArray())
        batch.rows.append(rowFrom(item.toObject()));
    return batch;
}

BatchStore::BatchStore(Platform &platform) : m_platform(platform) {}

QString BatchStore::folder() const
{
    return m_platform.programFolder() + QStringLiteral("/batches");
}

QString BatchStore::pathOf(const QString &fileName) const
{
    return folder() + QLatin1Char('/') + fileName;
}

bool BatchStore::save(PrintBatch &batch, QString *error) const
{
    if (!m_platform.folderExists(folder()) && !m_platform.createFolder(folder(), error))
        return false;
    if (batch.fileName.isEmpty()) {
        // Named by when it was begun, so that the folder lists the days in order.
        const QString stem = QDateTime::fromString(batch.created, QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                 .toString(QStringLiteral("yyyy-MM-dd HHmmss"));
        QString name = stem + QStringLiteral(".json");
        for (int n = 2; m_platform.fileExists(pathOf(name)); ++n)
            name = QStringLiteral("%1-%2.json").arg(stem).arg(n);
        batch.fileName = name;
    }
    if (!m_platform.writeFileAtomically(pathOf(batch.fileName), batch.toJson() + '\n', error))
        return false;
    batch.appendedRows = 0;
    return true;
}

bool BatchStore::saveRow(PrintBatch &batch, int row, QString *error) const
{
    // Written whole once the appended rows would outweigh it: reading it back
    // stays quick, and most changes cost one short line.
    if (batch.fileName.isEmpty() || batch.appendedRows >= std::max<qsizetype>(64, batch.rows.size()))
        return save(batch, error);
    const QByteArray line = QJsonDocument(QJsonObject{{QStringLiteral("row"), rowObject(batch.rows[row])}})
                                .toJson(QJsonDocument::Compact) +
                            '\n';
    if (!m_platform.appendToFile(pathOf(batch.fileName), line, QByteArray(), error))
        return false;
    ++batch.appendedRows;
    return true;
}

std::optional<PrintBatch> BatchStore::load(const QString &fileName, QString *problem) const
{
    QByteArray bytes;
    QString error;
    if (!m_platform.readFile(pathOf(fileName), &bytes, &error)) {
        if (problem)
            *problem = QStringLiteral("批次文件“%1”无法读取：%2").arg(fileName, error);
        return std::nullopt;
    }
    // The batch whole on its first line, then a line for each row changed since;
    // a last line cut short by a crash is a change that never finished.
    const QList<QByteArray> lines = bytes.split('\n');
    std::optional<PrintBatch> batch = PrintBatch::fromJson(lines.value(0));
    bool damaged = !batch;
    if (!batch) {
        // A batch kept whole over several lines, as earlier versions wrote it.
        batch = PrintBatch::fromJson(bytes);
        damaged = !batch;
    } else {
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (lines[i].trimmed().isEmpty())
                continue;
            const QJsonDocument change = QJsonDocument::fromJson(lines[i]);
            if (!change.isObject() || !change.object()[u"row"].isObject()) {
                const bool last = std::all_of(lines.cbegin() + i + 1, lines.cend(),
                                              [](const QByteArray &l) { return l.trimmed().isEmpty(); });
                if (last)
                    break;
                damaged = true;
                break;
            }
            const BatchRow row = rowFrom(change.object()[u"row"].toObject());
            const int at = batch->rowWithId(row.id);
            if (at >= 0)
                batch->rows[at] = row;
            ++batch->appendedRows;
        }
    }
    if (damaged) {
        // Kept beside, for whoever wants to look; never silently replaced.
        const QString aside = fileName + QStringLiteral(".damaged");
        QString why;
        if (m_platform.writeFileAtomically(pathOf(aside), bytes, &why))
            m_platform.deleteFile(pathOf(fileName), &why);
        if (problem) {
            *problem =
                QStringLiteral("批次文件“%1”已损坏，无法读取。它已改名为“%2”保留。").arg(fileName, aside);
        }
        return std::nullopt;
    }
    batch->fileName = fileName;
    return batch;
}

void BatchStore::takeOldBatch() const
{
    // Earlier versions kept the one batch in progress as batch.json beside the address book.
    const QString old = m_platform.programFolder() + QStringLiteral("/batch.json");
    if (!m_platform.fileExists(old))
        return;
    QByteArray bytes;
    if (!m_platform.readFile(old, &bytes))
        return;
    std::optional<PrintBatch> batch = PrintBatch::fromJson(bytes);
    if (!batch)
        return;
    if (save(*batch))
        m_platform.deleteFile(old);
}

QList<BatchStore::Summary> BatchStore::list(QStringList *problems) const
{
    takeOldBatch();
    QList<Summary> all;
    QStringList names = m_platform.listFiles(folder());
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString &name) { return !name.endsWith(QStringLiteral(".json")); }),
                names.end());
    std::sort(names.begin(), names.end(), std::greater<QString>());
    for (const QString &name : std::as_const(names)) {
        QString problem;
        const std::optional<PrintBatch> batch = load(name, &problem);
        if (!batch) {
            if (problems && !problem.isEmpty())
                problems->append(problem);
            continue;
        }
        all.append({name, batch->created, batch->form, int(batch->rows.size()), batch->printedCount(),
                    batch->numberedCount(), batch->exportedCount(), batch->isFinished(), batch->setAside});
    }
    return all;
}

std::optional<PrintBatch> BatchStore::load(QString *problem) const
{
    takeOldBatch();
    QStringList names = m_platform.listFiles(folder());
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString &name) { return !name.endsWith(QStringLiteral(".json")); }),
                names.end());
    // Newest first, by the date and time in the names; a batch begun more than a
    // month ago is taken up only from the history, so that opening the window
    // never reads years of batches.
    std::sort(names.begin(), names.end(), std::greater<QString>());
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString monthAgo = QDate::currentDate().addDays(-31).toString(Qt::ISODate);
    QStringList problems;
    std::optional<PrintBatch> ofToday;
    for (const QString &name : std::as_const(names)) {
        if (name < monthAgo)
            break;
        QString why;
        std::optional<PrintBatch> batch = load(name, &why);
        if (!batch) {
            if (!why.isEmpty())
                problems.append(why);
            continue;
        }
        if (!batch->isFinished() && !batch->setAside && !batch->rows.isEmpty()) {
            ofToday = std::move(batch);
            break;
        }
        if (!ofToday && batch->created.startsWith(today))
            ofToday = std::move(batch);
    }
    if (problem)
        *problem = problems.join(u'\n');
    return ofToday;
}

std::optional<PrintBatch> BatchStore::withId(const QString &batchId, const QString &notAfter) const
{
    takeOldBatch();
    QStringList names = m_platform.listFiles(folder());
    std::sort(names.begin(), names.end(), std::greater<QString>());
    // Named by the day they were begun: a batch begun after the day asked for is passed by unread.
    const QString lastDay = notAfter.left(10);
    for (const QString &name : std::as_const(names)) {
        if (!name.endsWith(QStringLiteral(".json")) || (!lastDay.isEmpty() && name.left(10) > lastDay))
            continue;
        std::optional<PrintBatch> batch = load(name);
        if (batch && batch->id == batchId)
            return batch;
    }
    return std::nullopt;
}

bool BatchStore::takeJournalNumber(const PrintJournal::Entry &entry, QString *error) const
{
    if (entry.batchId.isEmpty())
        return true;
    // Printed in it: the batch was begun on the entry's day or before.
    std::optional<PrintBatch> batch = withId(entry.batchId, entry.time);
    if (!batch)
        return true;
    for (int row = 0; row < batch->rows.size(); ++row) {
        BatchRow &r = batch->rows[row];
        if (r.journalId != entry.id || r.waybillNumber == entry.waybillNumber)
            continue;
        r.waybillNumber = entry.waybillNumber;
        r.exported = false;
        return saveRow(*batch, row, error);
    }
    return true;
}

bool BatchStore::remove(const QString &fileName, QString *error) const
{
    if (m_platform.moveToTrash(pathOf(fileName)))
        return true;
    return m_platform.deleteFile(pathOf(fileName), error);
}
