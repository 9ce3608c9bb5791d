#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Platform;

// Every printed waybill, one row of "journal.csv" in the program folder: time,
// courier, printer and the sixteen sender and recipient values as printed (the
// sender keys, then the recipient keys). UTF-8 CSV with a byte order mark, unlike
// the GBK contact files: it is the program's own record, it must keep any
// character that was printed, and a spreadsheet opens it as it is.
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
        QStringList values; // sixteen, in the order of fieldKeys()

        // The value of one field by its key ("txtSentTo", ...); empty for others.
        QString value(QStringView key) const;
        // Every column as stored, case folded, one per line: what a search looks in.
        QString searchText() const;
        bool matches(QStringView text) const;
    };

    explicit PrintJournal(Platform &platform);

    // The sender keys followed by the recipient keys.
    static const QStringList &fieldKeys();
    QString fileName() const;

    // Adds one entry; the file is replaced in one step, so a failure or a crash
    // leaves every earlier entry. On failure error (when given) says why.
    bool append(const Entry &entry, QString *error = nullptr);
    // Builds an entry from a reader of field values, stamped now.
    static Entry entryFor(const QString &courier, const QString &printer,
                          const std::function<QString(QStringView key)> &field);

    // Newest first. A missing file is an empty journal; an unreadable one, too,
    // with error set.
    QList<Entry> entries(QString *error = nullptr) const;
    // Newest first, the entries with text in any column.
    QList<Entry> search(QStringView text) const;

    // Whether the recipient about to be printed already got a waybill from this
    // courier on the day of now: same recipient company and person, or the same
    // recipient phone (its digits, when it has at least seven).
    bool printedToday(const QString &courier, const std::function<QString(QStringView key)> &field,
                      const QDateTime &now = QDateTime::currentDateTime()) const;
    // The question asked before printing such a waybill.
    static QString repeatQuestion(const QString &courier);

private:
    QString readText(QString *error = nullptr) const;
    static QList<Entry> entriesIn(QStringView text);

    Platform &m_platform;
};
