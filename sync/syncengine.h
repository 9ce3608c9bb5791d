#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class DavClient;
class Platform;
struct SyncContact;

// Deletes a sync holds back until the user says so: most of an address book at
// once is more often a moved folder or an old backup than the user's wish.
struct HeldDeletes
{
    QString book;  // the address book's key in the sync state: "sent" or "to/" + group
    QString name;  // as the user knows it: 寄件人 or the group
    int count = 0; // the cards the sync would delete
};

// What one sync did, or why it stopped.
struct SyncReport
{
    bool ok = false;
    QString reason;
    QDateTime finished;
    int sent = 0;
    int received = 0;
    int deletedHere = 0;
    int deletedThere = 0;
    int conflicts = 0;
    // Cards from the server that could not be stored here; fetched again next time.
    int notStored = 0;
    // Groups whose address book is gone from the server while the group is still
    // here: only the user may delete a whole group, so the sync leaves them alone.
    QStringList groupsGoneFromServer;
    QList<HeldDeletes> deletesHeld;
    // Groups shared before whose folder is gone here while the server still holds
    // cards of theirs, with the count: deleted on the server only when the user says so.
    QList<QPair<QString, int>> groupsGoneHere;

    // "上次同步 12:03，成功" or the reason.
    QString summary() const;
};

// A field on which both sides changed a contact: the server's value is in the
// field, the value from here is kept beside it until the user chooses.
struct SyncConflict
{
    QString file;  // the contact file
    QString group; // empty for a sender
    QString key;   // the field's key
    QString here;  // the value that was here
    QString server;
};

// Brings the address book's folders and the server's address books together:
// the sender book and each recipient group are one address book on the server,
// each contact one vCard. What the last sync saw of a contact lives in its own
// section of the contact file; what it saw of each address book in one state
// file in the program folder. Every step leaves the files whole, so a sync cut
// anywhere is completed by the next.
class SyncEngine
{
public:
    SyncEngine(Platform &platform, DavClient &client, const std::atomic_bool *cancel = nullptr);

    // Called on the sync's thread while cards arrive: the address book's name, the
    // cards stored so far and the cards to fetch.
    using Progress = std::function<void(const QString &book, int done, int total)>;
    void setProgress(Progress progress);

    SyncReport run();
    // Finds the user's address books on the server; the empty text when that works.
    QString testConnection();

    // The section of a contact file that holds its sync data.
    static QString section();
    static QString stateFileName();
    // Leaves the group out of the state, so that the next sync sends it as new.
    static void forgetGroup(Platform &platform, const QString &group);
    // Leaves the address book out of the state: the next sync fetches its cards
    // again and sends what is here as new; nothing is deleted on either side.
    static void forgetBook(Platform &platform, const QString &book);
    // Lets the next sync make the deletes it held back in that address book.
    static void allowDeletes(Platform &platform, const QString &book);
    // The user deleted the group here: the next sync deletes its address book.
    static void groupDeletedHere(Platform &platform, const QString &group);

    static QList<SyncConflict> conflicts(Platform &platform);
    // Ends a conflict: keepHere puts the value from here back into the field (it
    // is sent at the next sync), else the server's value stays.
    static bool resolve(Platform &platform, const SyncConflict &conflict, bool keepHere);

private:
    void discover();
    QHash<QString, QString> remoteCollections();
    QString createCollection(const QString &segment, const QString &displayName);
    void setDisplayName(const QString &href, const QString &name);
    void syncCollection(const QString &folder, const QString &href, const QString &category,
                        const QStringList &keys, QJsonObject &state, const QString &book);
    // The cards in the address book on the server.
    int cardCount(const QString &href);
    QHash<QString, QByteArray> fetchCards(const QStringList &hrefs, QHash<QString, QByteArray> *etags);
    // Merges the server's card into the contact here, or stores it as a new one;
    // false when nothing was written.
    bool apply(const QString &folder, const QStringList &keys, SyncContact *local, const QString &href,
               const QByteArray &etag, const QByteArray &card);
    QStringList unclaimed(const QString &folder, const QStringList &values, const QString &own) const;
    bool upload(const QString &folder, const QString &href, const QString &category, const QStringList &keys,
                SyncContact &contact);
    // Sends the cards in one request; the ones still to send one by one.
    QList<qsizetype> uploadWhole(const QString &folder, const QString &href, const QString &category,
                                 const QStringList &keys, QList<SyncContact> &locals,
                                 const QList<qsizetype> &pending);
    void saveState();
    // Changes the address books' entries in the state file, where there is one.
    static void changeBooks(Platform &platform, const std::function<void(QJsonObject &collections)> &change);
    void checkCancel() const;

    Platform &m_platform;
    DavClient &m_client;
    const std::atomic_bool *m_cancel;
    Progress m_progress;
    QString m_home;
    QJsonObject m_state;
    SyncReport m_report;
    // Cards fetched into new contact files in the address book being synced.
    QHash<QString, QByteArray> m_received;
    // The address books' names on the server, by href.
    QHash<QString, QString> m_remoteNames;
    // New cards that could not be stored here: the file and why.
    QList<QPair<QString, QString>> m_notStored;
};
