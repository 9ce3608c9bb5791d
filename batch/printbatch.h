#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Platform;
struct OrderRow;

namespace Waybill {
struct Description;
}

// One waybill of a batch: its recipient and how far its printing got.
struct BatchRow
{
    enum class State {
        Waiting, // not sent yet
        Sending, // being handed to the queue: whether the queue took it is not known yet
        Sent,    // taken by the queue as job jobId, not printed yet
        Printed, // its job completed
        Failed   // its job was refused, canceled or aborted; problem says why
    };

    QStringList recipient; // the eight recipient values, in the order of ContactFile::recipientKeys()
    QString orderNumber;
    QStringList unsure; // the fields to look at before printing, as the user knows them
    State state = State::Waiting;
    int jobId = 0;
    QString printer;
    QString problem;
    QString journalId; // the print journal's entry, once printed
    QString waybillNumber;

    QString value(QStringView key) const;
    void setValue(QStringView key, const QString &text);
    static BatchRow fromOrder(const OrderRow &order);
};

// A batch of waybills: one sender and one form for many recipients. Saved whole
// after every change of a row, so that after a crash no printed row is printed
// again without the user asking.
class PrintBatch
{
public:
    // The forms a batch prints on: the couriers the program knows.
    static QStringList forms();                      // "SF", "YD"
    static QString courierOf(const QString &form);   // as the journal names it: 顺丰
    static QString formCaption(const QString &form); // as the user knows it: 顺丰快递
    static const Waybill::Description *description(const QString &form);
    // As web shops list the courier in their shipping files: 顺丰速运.
    static QString shippingName(const QString &form);

    // "SF", "YD", or the file name of a form of the user's (see PageSource).
    QString form = QStringLiteral("SF");
    QStringList sender; // the eight sender values, in the order of ContactFile::senderKeys()
    QList<BatchRow> rows;

    // A value of the waybill of row by the main window's key (txtName, txtNameTo …).
    QString value(int row, QStringView key) const;
    // The first row not printed yet; -1 when all are.
    int firstNotPrinted() const;
    int printedCount() const;

    QByteArray toJson() const;
    static std::optional<PrintBatch> fromJson(const QByteArray &json);
};

// The batch in progress, kept in the program folder as "batch.json".
class BatchStore
{
public:
    explicit BatchStore(Platform &platform);
    QString fileName() const;
    // Replaces the file in one step; after a crash it holds the old or the new batch whole.
    bool save(const PrintBatch &batch, QString *error = nullptr) const;
    // The saved batch; nothing when there is none or it cannot be read. A row
    // caught being handed to the queue may have printed: it is marked for the user
    // to look at rather than printed again.
    std::optional<PrintBatch> load() const;
    bool clear(QString *error = nullptr) const;

private:
    Platform &m_platform;
};
