#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class Platform;

// Every printed waybill, one row of "journal.csv" in the program folder: time,
// courier, printer, the sixteen sender and recipient values as printed (the
// sender keys, then the recipient keys), then the order number, the waybill
// number, the entry's id, and since batches keep their own files, why the page
// was spoiled (作废), the batch it was printed in and the form's id. UTF-8 CSV with a byte order mark, unlike
// the GBK contact files: it is the program's own record, it must keep any character that was printed, and a
// spreadsheet opens it as it is.
//
// The file only ever grows: a print appends its row, and a waybill number given
// later appends the entry again, same id, with the number; a page spoiled
// appends it again marked so; the last row of an id is the entry. Files written
// before the later columns existed read as they are.
class PrintJournal
{
public:
    struct Entry
    {
        // Local time as stored, "yyyy-MM-dd HH:mm:ss". Kept as text: turning
        // every row into a QDateTime asks the system for the time zone each time.
        QString time;
        QString courier; // "顺丰" or "韵达"
        QString printer;
        QStringList values;    // sixteen, in the order of fieldKeys()
        QString orderNumber;   // 订单编号, empty when printed without an order
        QString waybillNumber; // 运单号, empty until given
        // Names the entry across the rows that repeat it. entryFor() makes one;
        // an entry of an older file gets one from its content when read.
        QString id;
        // Why the page went into the bin (a trial rejected, a sheet reprinted);
        // empty for a page that went out. A spoiled page counts for nothing.
        QString spoiled;
        QString batchId; // the batch that printed it, empty for a single print
        QString formId;  // the user's form it was printed on, empty for a courier's own

        bool isSpoiled() const { return !spoiled.isEmpty(); }

        // The value of one field by its key ("txtSentTo", ...); empty for others.
        QString value(QStringView key) const;
        // Every column as stored, case folded, one per line: what a search looks in.
        QString searchText() const;
        bool matches(QStringView text) const;
    };

    // The whole journal as read at one moment, newest first, held compactly: a
    // journal of 200,000 entries is one text, and an entry is made only when asked for.
    class Table
    {
    public:
        qsizetype size() const { return m_rows.size(); }
        bool isEmpty() const { return m_rows.isEmpty(); }
        Entry at(qsizetype index) const;
        // One column of an entry without making the whole entry: 0 time, 1
        // courier, 2 printer, 3.. the field values, then order number, waybill
        // number, spoiled, batch, form (the Column values).
        QStringView column(qsizetype index, int column) const;
        // The indexes, in order, of the entries with text in any column (case
        // ignored); every index for an empty text.
        QList<qsizetype> find(QStringView text) const;

    private:
        friend class PrintJournal;
        QString m_text;            // every row's columns but the id, each ended by a separator
        QList<qsizetype> m_starts; // where each row of the file starts in m_text
        // For each row of the file, its entry's index; -1 when a later row replaced it.
        QList<qsizetype> m_shownAs;
        QList<qsizetype> m_rows;    // where each entry's last row starts in m_text, newest first
        QList<qsizetype> m_rowEnds; // and where it ends
        QStringList m_ids;          // of each entry
        mutable QString m_folded;   // m_text case folded, made by the first search that needs it
        // The last search and what it found: a search for longer text looks only there.
        mutable QString m_lastNeedle;
        mutable bool m_lastCased = false;
        mutable QList<qsizetype> m_lastFound;
    };

    enum Column {
        TimeColumn = 0,
        CourierColumn = 1,
        PrinterColumn = 2,
        FirstValueColumn = 3,
        OrderColumn = FirstValueColumn + 16,
        WaybillColumn,
        SpoiledColumn,
        BatchColumn,
        FormColumn,
        ColumnCount
    };

    explicit PrintJournal(Platform &platform);

    // The sender keys followed by the recipient keys.
    static const QStringList &fieldKeys();
    QString fileName() const;

    // Adds one entry at the end of the file in one write, flushed to disk; every
    // earlier byte stays as it was. An entry without an id is given one. On
    // failure nothing is added and error (when given) says why.
    bool append(const Entry &entry, QString *error = nullptr);
    // Gives the entry a waybill number (or another one): appends the entry again
    // with the number. The entry is one read from this journal or just appended.
    bool setWaybillNumber(const Entry &entry, const QString &number, QString *error = nullptr);
    // Marks the entry's page spoiled, for the reason given: appends it again so marked.
    bool markSpoiled(const Entry &entry, const QString &reason, QString *error = nullptr);
    // Builds an entry from a reader of field values, stamped now, with a new id.
    static Entry entryFor(const QString &courier, const QString &printer,
                          const std::function<QString(QStringView key)> &field,
                          const QString &orderNumber = QString());
    static QString newId();

    // Newest first. A missing file is an empty journal; an unreadable one, too,
    // with error set.
    Table table(QString *error = nullptr) const;
    QList<Entry> entries(QString *error = nullptr) const;
    // Newest first, the entries with text in any column (waybill number included).
    QList<Entry> search(QStringView text) const;
    // Newest first, the entries that carry this waybill number (blanks around it ignored).
    QList<Entry> withWaybillNumber(QStringView number) const;
    // The id of the entry that carries this number now, empty when none does.
    // Reads only what was added to the file since the last call: a scanner's
    // numbers are checked without reading a long journal each time.
    QString waybillNumberOwner(QStringView number) const;

    // Whether the recipient about to be printed already got a waybill from this
    // courier on the day of now: same recipient company and person, or the same
    // recipient phone (its digits, when it has at least seven). Every entry of
    // that day counts, wherever the clock put it in the file.
    bool printedToday(const QString &courier, const std::function<QString(QStringView key)> &field,
                      const QDateTime &now = QDateTime::currentDateTime()) const;
    // The question asked before printing such a waybill.
    static QString repeatQuestion(const QString &courier);

private:
    void readNewRows(const QString &day) const;
    void takeRow(const QStringList &columns, bool ofTheDay) const;

    Platform &m_platform;
    // What the same-day check has read so far: the file up to m_readTo, the day
    // it collected, and what was printed that day. A file that did not grow as
    // expected, or another file put in its place, is read again from the start.
    mutable qint64 m_readTo = 0;
    mutable QByteArray m_tailSeen;
    mutable quint64 m_fileSeen = 0;
    struct Printed
    {
        QString id;
        QString courier;
        QString name;  // contact key, case folded
        QString phone; // digits
    };
    mutable QString m_day;
    mutable QList<Printed> m_printedOnDay;
    mutable QSet<QString> m_spoiledIds;
    // Every entry's current waybill number, and the entry holding each number.
    mutable QHash<QString, QString> m_numberOf;
    mutable QHash<QString, QString> m_ownerOf;
};
