#include "sync/syncengine.h"

#include "addressbook/contactfile.h"
#include "addressbook/contactstore.h"
#include "platform/platform.h"
#include "platform/profile.h"
#include "platform/textcodec.h"
#include "sync/davclient.h"
#include "sync/synccard.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QUuid>

#include <optional>
#include <string>

namespace {

// Thrown where the sync cannot go on; run() turns it into the report's reason.
struct Failure
{
    QString reason;
};

const QString SendersSegment = QStringLiteral("quillbox-senders");
const QString GroupPrefix = QStringLiteral("quillbox-g-");
constexpr int FetchBatch = 500;
// From this many cards on, a first upload into an empty address book is tried
// as one request where the server takes one (Radicale does).
constexpr int BulkUpload = 20;

QString senderCategory()
{
    return QStringLiteral("寄件人");
}

// The address book's name on the server follows from the group's name, so two
// PCs that make the same group meet in the same address book.
QString groupSegment(const QString &group)
{
    return GroupPrefix + QString::fromLatin1(group.toUtf8().toHex());
}

QString groupFromSegment(const QString &segment)
{
    if (!segment.startsWith(GroupPrefix))
        return QString();
    const QByteArray hex = segment.sliced(GroupPrefix.size()).toLatin1();
    const QString name = QString::fromUtf8(QByteArray::fromHex(hex));
    return ContactFile::isSafeGroupName(name) && groupSegment(name) == segment ? name : QString();
}

QByteArray encodedPath(const QString &path)
{
    return QUrl::toPercentEncoding(path, "/@:");
}

QString xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QByteArray propfindBody(const char *props)
{
    return QByteArrayLiteral(
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
               "<D:propfind xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><D:prop>") +
           props + QByteArrayLiteral("</D:prop></D:propfind>");
}

const QString notCardDav = QStringLiteral("服务器的回答不是 CardDAV 格式，请检查服务器地址");

// A contact file's name for a card from the server: the contact key, with what a
// file name cannot hold replaced, shortened in the middle to fit the file system's
// 255 bytes, so that what tells two long names apart at their end stays.
QString fileNameFor(const QStringList &values)
{
    QString key = ContactFile::contactKey(values.value(0), values.value(1));
    for (QChar &c : key) {
        if (c.unicode() < 0x20 || QStringView(u"\\/:*?\"<>|").contains(c))
            c = u'_';
    }
    if (!key.isValidUtf16())
        key = QString::fromUtf8(key.toUtf8());
    constexpr qsizetype MaxNameBytes = 255;
    const auto bytes = [](QStringView text) { return QFile::encodeName(text.toString()).size(); };
    if (bytes(ContactFile::fileName(key)) > MaxNameBytes) {
        const QList<uint> ucs4 = key.toUcs4();
        const std::u32string all(ucs4.cbegin(), ucs4.cend());
        const qsizetype tail = std::min<qsizetype>(16, all.size() / 2);
        const QString end = QString::fromUcs4(all.data() + all.size() - tail, tail);
        const QString mark = QStringLiteral("…");
        qsizetype head = qsizetype(all.size()) - tail;
        QString shortened;
        do {
            --head;
            shortened = QString::fromUcs4(all.data(), head) + mark + end;
        } while (head > 0 && bytes(ContactFile::fileName(shortened)) > MaxNameBytes);
        key = shortened;
    }
    if (!ContactFile::isSafeName(ContactFile::fileName(key)) || key == ContactFile::contactKey({}, {}))
        key = QStringLiteral("未命名联系人");
    return ContactFile::fileName(key);
}

// The values as this program keeps a card: a card with a name and no company
// takes the name as its company, as an import does, so that the window can save it.
QStringList normalized(QStringList values)
{
    if (values.value(0).trimmed().isEmpty() && !values.value(1).trimmed().isEmpty())
        values[0] = values[1];
    return values;
}

} // namespace

// One contact file and what the last sync saw of it.
struct SyncContact
{
    QString fileName;
    QStringList values;
    QString uid;
    QString href;
    QByteArray etag;
    QStringList base; // the values as last synced; empty when never synced
    QByteArray card;  // the server's card as last synced
    QStringList conflicts;

    bool dirty() const { return href.isEmpty() || base.isEmpty() || base != values; }
};

SyncEngine::SyncEngine(Platform &platform, DavClient &client, const std::atomic_bool *cancel)
    : m_platform(platform), m_client(client), m_cancel(cancel)
{
}

void SyncEngine::setProgress(Progress progress)
{
    m_progress = std::move(progress);
}

QString SyncEngine::section()
{
    return QStringLiteral("QuillboxSync");
}

QString SyncEngine::stateFileName()
{
    return QStringLiteral(".quillbox-sync.json");
}

QString SyncReport::summary() const
{
    const QString when = finished.toLocalTime().toString(QStringLiteral("HH:mm"));
    if (!ok)
        return QStringLiteral("上次同步 %1，未成功：%2").arg(when, reason);
    if (!deletesHeld.isEmpty() || !groupsGoneHere.isEmpty())
        return QStringLiteral("上次同步 %1，有删除等待确认").arg(when);
    if (conflicts > 0)
        return QStringLiteral("上次同步 %1，成功，%2 个联系人有冲突待处理").arg(when).arg(conflicts);
    return QStringLiteral("上次同步 %1，成功").arg(when);
}

void SyncEngine::checkCancel() const
{
    if (m_cancel && m_cancel->load())
        throw Failure{QStringLiteral("同步已中止")};
}

static Multistatus expectMultistatus(const DavReply &reply)
{
    if (!reply.ok())
        throw Failure{DavClient::statusFailure(reply)};
    const Multistatus answer = DavClient::parseMultistatus(reply.body);
    if (!answer.valid)
        throw Failure{notCardDav};
    return answer;
}

void SyncEngine::discover()
{
    const QByteArray principalProps = propfindBody("<D:current-user-principal/>");
    const Multistatus root =
        expectMultistatus(m_client.send("PROPFIND", m_client.server(), principalProps, {}, 0));
    QString principal = m_client.server().path();
    for (const DavResource &r : root.resources) {
        if (!r.principal.isEmpty())
            principal = r.principal;
    }
    const Multistatus home = expectMultistatus(
        m_client.send("PROPFIND", m_client.resolved(QString::fromLatin1(encodedPath(principal))),
                      propfindBody("<C:addressbook-home-set/>"), {}, 0));
    m_home = principal;
    for (const DavResource &r : home.resources) {
        if (!r.homeSet.isEmpty())
            m_home = r.homeSet;
    }
    if (!m_home.endsWith(u'/'))
        m_home += u'/';
}

QHash<QString, QString> SyncEngine::remoteCollections()
{
    const Multistatus list = expectMultistatus(
        m_client.send("PROPFIND", m_client.resolved(QString::fromLatin1(encodedPath(m_home))),
                      propfindBody("<D:resourcetype/><D:displayname/>"), {}, 1));
    QHash<QString, QString> found;
    for (const DavResource &r : list.resources) {
        if (!r.isAddressBook)
            continue;
        QString href = r.href;
        if (!href.endsWith(u'/'))
            href += u'/';
        const QString segment = href.section(u'/', -2, -2);
        if (segment.startsWith(u"quillbox-"))
            found.insert(segment, href);
        m_remoteNames.insert(href, r.displayName);
    }
    return found;
}

QString SyncEngine::createCollection(const QString &segment, const QString &displayName)
{
    const QString href = m_home + segment + u'/';
    const QByteArray body =
        QByteArrayLiteral(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<D:mkcol xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><D:set><D:prop>"
            "<D:resourcetype><D:collection/><C:addressbook/></D:resourcetype><D:displayname>") +
        xmlEscaped(displayName).toUtf8() + QByteArrayLiteral("</D:displayname></D:prop></D:set></D:mkcol>");
    const DavReply reply =
        m_client.send("MKCOL", m_client.resolved(QString::fromLatin1(encodedPath(href))), body);
    // 405: another PC made it a moment ago.
    if (!reply.ok() && reply.status != 405)
        throw Failure{DavClient::statusFailure(reply)};
    return href;
}

void SyncEngine::setDisplayName(const QString &href, const QString &name)
{
    m_client.send("PROPPATCH", m_client.resolved(QString::fromLatin1(encodedPath(href))),
                  QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                    "<D:propertyupdate xmlns:D=\"DAV:\"><D:set><D:prop><D:displayname>") +
                      xmlEscaped(name).toUtf8() +
                      QByteArrayLiteral("</D:displayname></D:prop></D:set></D:propertyupdate>"));
}

QString SyncEngine::testConnection()
{
    try {
        discover();
        remoteCollections();
    } catch (const Failure &failure) {
        return failure.reason;
    }
    return QString();
}

SyncReport SyncEngine::run()
{
    m_report = SyncReport();
    m_notStored.clear();
    ContactStore store(m_platform);
    const QString stateFile = m_platform.programFolder() + u'/' + stateFileName();
    QByteArray stateBytes;
    if (m_platform.fileExists(stateFile) && m_platform.readFile(stateFile, &stateBytes))
        m_state = QJsonDocument::fromJson(stateBytes).object();
    const QString account = m_client.server().toString(QUrl::RemoveUserInfo);
    if (m_state.value(u"account").toString() != account) {
        // Another server: what was known of the old one says nothing here.
        m_state = QJsonObject();
        m_state.insert(QStringLiteral("account"), account);
    }
    try {
        discover();
        checkCancel();
        const QHash<QString, QString> remote = remoteCollections();
        QJsonObject collections = m_state.value(u"collections").toObject();
        const auto syncOne = [&](const QString &stateKey, const QString &folder, const QString &href,
                                 const QString &category, const QStringList &keys) {
            QJsonObject state = collections.value(stateKey).toObject();
            if (state.value(u"href").toString() != href)
                state = QJsonObject{{QStringLiteral("href"), href}};
            syncCollection(folder, href, category, keys, state, stateKey);
            collections.insert(stateKey, state);
            m_state.insert(QStringLiteral("collections"), collections);
            saveState();
        };

        const QString sendersHref = remote.contains(SendersSegment)
                                        ? remote.value(SendersSegment)
                                        : createCollection(SendersSegment, QStringLiteral("寄件人"));
        syncOne(QStringLiteral("sent"), store.senderFolder(), sendersHref, senderCategory(),
                ContactFile::senderKeys());

        QSet<QString> names;
        const QStringList localGroups = store.groups();
        for (const QString &g : localGroups)
            names.insert(g);
        QHash<QString, QString> remoteGroups;
        for (auto it = remote.cbegin(); it != remote.cend(); ++it) {
            const QString name = groupFromSegment(it.key());
            if (!name.isEmpty()) {
                remoteGroups.insert(name, it.value());
                names.insert(name);
            }
        }
        for (auto it = collections.begin(); it != collections.end(); ++it) {
            if (it.key().startsWith(u"to/"))
                names.insert(it.key().sliced(3));
        }
        QStringList ordered(names.cbegin(), names.cend());
        ordered.sort();
        for (const QString &group : ordered) {
            checkCancel();
            const QString stateKey = QStringLiteral("to/") + group;
            const bool here = m_platform.folderExists(store.groupFolder(group));
            const bool known = collections.contains(stateKey);
            const bool there = remoteGroups.contains(group);
            if (here && known && !there) {
                m_report.groupsGoneFromServer.append(group);
                continue;
            }
            if (!here && known) {
                // Deleted here: the whole address book goes, when the user deleted
                // it; a folder gone otherwise (moved, an old backup) only asks.
                if (there && !collections.value(stateKey).toObject().value(u"deletedHere").toBool()) {
                    const int cards = cardCount(remoteGroups.value(group));
                    if (cards > 0) {
                        m_report.groupsGoneHere.append({group, cards});
                        continue;
                    }
                }
                if (there) {
                    const DavReply reply = m_client.send(
                        "DELETE",
                        m_client.resolved(QString::fromLatin1(encodedPath(remoteGroups.value(group)))));
                    if (!reply.ok() && reply.status != 404)
                        throw Failure{DavClient::statusFailure(reply)};
                }
                collections.remove(stateKey);
                m_state.insert(QStringLiteral("collections"), collections);
                saveState();
                continue;
            }
            if (!here) {
                QString reason;
                if (!m_platform.createFolder(store.groupFolder(group), &reason))
                    throw Failure{QStringLiteral("无法创建分类“%1”：%2").arg(group, reason)};
            }
            // The default group's "_" keeps it first in the list here; phones show its name.
            const QString shown = group == ContactStore::defaultGroup() ? QStringLiteral("未分类") : group;
            const QString href =
                there ? remoteGroups.value(group) : createCollection(groupSegment(group), shown);
            if (there && m_remoteNames.value(href) == group && shown != group)
                setDisplayName(href, shown);
            syncOne(stateKey, store.groupFolder(group), href, group, ContactFile::recipientKeys());
        }
        m_report.ok = m_notStored.isEmpty();
        if (!m_report.ok) {
            m_report.notStored = static_cast<int>(m_notStored.size());
            m_report.reason = QStringLiteral("服务器上有 %1 个联系人未能保存到本机（%2：%3），下次同步会再试")
                                  .arg(m_notStored.size())
                                  .arg(m_notStored[0].first, m_notStored[0].second);
        }
    } catch (const Failure &failure) {
        m_report.reason = failure.reason;
    }
    m_report.finished = QDateTime::currentDateTime();
    return m_report;
}

void SyncEngine::saveState()
{
    const QString stateFile = m_platform.programFolder() + u'/' + stateFileName();
    QString reason;
    if (!m_platform.writeFileAtomically(stateFile, QJsonDocument(m_state).toJson(QJsonDocument::Compact),
                                        &reason))
        throw Failure{QStringLiteral("无法保存同步状态：%1").arg(reason)};
}

void SyncEngine::changeBooks(Platform &platform, const std::function<void(QJsonObject &collections)> &change)
{
    const QString stateFile = platform.programFolder() + u'/' + stateFileName();
    QByteArray bytes;
    if (!platform.fileExists(stateFile) || !platform.readFile(stateFile, &bytes))
        return;
    QJsonObject state = QJsonDocument::fromJson(bytes).object();
    QJsonObject collections = state.value(u"collections").toObject();
    change(collections);
    state.insert(QStringLiteral("collections"), collections);
    platform.writeFileAtomically(stateFile, QJsonDocument(state).toJson(QJsonDocument::Compact));
}

void SyncEngine::forgetGroup(Platform &platform, const QString &group)
{
    forgetBook(platform, QStringLiteral("to/") + group);
}

void SyncEngine::forgetBook(Platform &platform, const QString &book)
{
    changeBooks(platform, [&book](QJsonObject &collections) { collections.remove(book); });
}

namespace {

// Sets a flag on an address book the state knows.
void flag(QJsonObject &collections, const QString &book, const QString &name)
{
    if (!collections.contains(book))
        return;
    QJsonObject entry = collections.value(book).toObject();
    entry.insert(name, true);
    collections.insert(book, entry);
}

} // namespace

void SyncEngine::allowDeletes(Platform &platform, const QString &book)
{
    changeBooks(platform, [&book](QJsonObject &collections) {
        flag(collections, book, QStringLiteral("allowDeletes"));
    });
}

void SyncEngine::groupDeletedHere(Platform &platform, const QString &group)
{
    changeBooks(platform, [&group](QJsonObject &collections) {
        flag(collections, QStringLiteral("to/") + group, QStringLiteral("deletedHere"));
    });
}

namespace {

// The values of one section of a profile file, read as the profile reader reads
// them, in one pass: a sync reads every contact file each time.
QHash<QString, QString> sectionValues(const QString &text, const QString &section)
{
    QHash<QString, QString> values;
    bool inside = false;
    bool seen = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            if (inside)
                break; // the first matching section only
            inside =
                !seen && line.sliced(1, line.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            seen = seen || inside;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inside || equals < 0)
            continue;
        const QString key = line.first(equals).trimmed().toString().toLower();
        if (values.contains(key))
            continue;
        QStringView value = line.sliced(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.sliced(1, value.size() - 2);
        values.insert(key, value.toString());
    }
    return values;
}

SyncContact readContact(const Platform &platform, const QString &folder, const QString &fileName,
                        const QStringList &keys)
{
    SyncContact c;
    c.fileName = fileName;
    QByteArray content;
    platform.readFile(folder + fileName, &content);
    const QString text = content.startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(content.sliced(3))
                                                            : TextCodec::decode(content);
    const QHash<QString, QString> fields = sectionValues(text, ContactFile::section());
    const QHash<QString, QString> sync = sectionValues(text, SyncEngine::section());
    const auto value = [&sync](const QString &key) { return sync.value(key.toLower()); };
    for (const QString &key : keys) {
        c.values.append(fields.value(key.toLower()));
        const QString conflict = value(QStringLiteral("Conflict.") + key);
        c.conflicts.append(conflict.startsWith(u'*') ? conflict : QString());
    }
    c.uid = value(QStringLiteral("UID"));
    c.href = value(QStringLiteral("Href"));
    c.etag = value(QStringLiteral("ETag")).toUtf8();
    c.card = QByteArray::fromBase64(value(QStringLiteral("Card")).toLatin1());
    if (value(QStringLiteral("Synced")) == u"1") {
        for (const QString &key : keys)
            c.base.append(value(QStringLiteral("Base.") + key));
    }
    return c;
}

// Writes the contact's values and sync data in one replacement of its file. False,
// with nothing written, when the file changed since it was read: the user saved
// it meanwhile, and the next sync takes that up.
bool writeContact(const Platform &platform, const QString &folder, const SyncContact &c,
                  const QStringList &keys, const QStringList &expected, const QString &fromFile = QString(),
                  QString *error = nullptr)
{
    const QString source = folder + (fromFile.isEmpty() ? c.fileName : fromFile);
    QByteArray content;
    if (platform.fileExists(source)) {
        if (!platform.readFile(source, &content))
            return false;
        if (!expected.isEmpty()) {
            for (qsizetype i = 0; i < keys.size(); ++i) {
                if (Profile::read(content, ContactFile::section(), keys[i]).value_or(QString()) !=
                    expected[i])
                    return false;
            }
        }
    }
    Profile::Values values;
    for (qsizetype i = 0; i < keys.size(); ++i)
        values.append({keys[i], c.values.value(i)});
    content = Profile::write(content, ContactFile::section(), values);
    Profile::Values sync{
        {QStringLiteral("UID"), c.uid},
        {QStringLiteral("Href"), c.href},
        // An ETag is quoted; the profile reader takes one pair of quotes off.
        {QStringLiteral("ETag"), c.etag.isEmpty() ? QString() : u'"' + QString::fromUtf8(c.etag) + u'"'},
        {QStringLiteral("Card"), QString::fromLatin1(c.card.toBase64())},
        {QStringLiteral("Synced"), c.base.isEmpty() ? QString() : QStringLiteral("1")}};
    for (qsizetype i = 0; i < keys.size(); ++i) {
        sync.append({QStringLiteral("Base.") + keys[i], c.base.value(i)});
        sync.append({QStringLiteral("Conflict.") + keys[i], c.conflicts.value(i)});
    }
    content = Profile::write(content, SyncEngine::section(), sync);
    if (!platform.writeFileAtomically(folder + c.fileName, content, error))
        return false;
    if (!fromFile.isEmpty() && fromFile.compare(c.fileName, Qt::CaseInsensitive) != 0)
        platform.deleteFile(folder + fromFile);
    return true;
}

// A UID that follows from the contact's place and name, so that a send cut off
// before its answer was recorded, or the same contact made on two PCs, meets the
// card already on the server instead of making a second one.
QString stableUid(const QString &category, const QString &fileName)
{
    const QByteArray name = (category + u'/' + fileName.toLower()).toUtf8();
    return QUuid::createUuidV5(QUuid(QStringLiteral("{6f1c1b9e-58a4-4c4e-9d57-1f0c8a2d3b71}")), name)
        .toString(QUuid::WithoutBraces);
}

} // namespace

QHash<QString, QByteArray> SyncEngine::fetchCards(const QStringList &hrefs, QHash<QString, QByteArray> *etags)
{
    QHash<QString, QByteArray> cards;
    for (qsizetype from = 0; from < hrefs.size(); from += FetchBatch) {
        checkCancel();
        QByteArray body = QByteArrayLiteral(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<C:addressbook-multiget xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\">"
            "<D:prop><D:getetag/><C:address-data/></D:prop>");
        const QStringList batch = hrefs.mid(from, FetchBatch);
        for (const QString &href : batch)
            body += "<D:href>" + encodedPath(href) + "</D:href>";
        body += "</C:addressbook-multiget>";
        const QString collection = batch.first().section(u'/', 0, -2) + u'/';
        const Multistatus answer = expectMultistatus(m_client.send(
            "REPORT", m_client.resolved(QString::fromLatin1(encodedPath(collection))), body, {}, 1));
        for (const DavResource &r : answer.resources) {
            if (r.status >= 200 && r.status < 300 && !r.cardData.isEmpty()) {
                cards.insert(r.href, r.cardData);
                etags->insert(r.href, r.etag);
            }
        }
    }
    return cards;
}

// A name no other contact file of the folder has: the card's own, else with its
// phone and then a number added to the person, which travels with the card, so
// that two cards of one company and name show as two contacts everywhere.
QStringList SyncEngine::unclaimed(const QString &folder, const QStringList &values, const QString &own) const
{
    const auto free = [&](const QStringList &v) {
        const QString name = fileNameFor(v);
        return (!own.isEmpty() && name.compare(own, Qt::CaseInsensitive) == 0) ||
               !m_platform.fileExists(folder + name);
    };
    if (free(values))
        return values;
    QStringList v = values;
    const QString phone = values.value(6).simplified();
    if (!phone.isEmpty() && !values.value(1).endsWith(phone)) {
        v[1] = values.value(1) + u' ' + phone;
        if (free(v))
            return v;
    }
    const QString stem = v[1];
    for (int n = 2; n < 1000; ++n) {
        v[1] = QStringLiteral("%1 (%2)").arg(stem).arg(n);
        if (free(v))
            return v;
    }
    return {};
}

bool SyncEngine::apply(const QString &folder, const QStringList &keys, SyncContact *local,
                       const QString &href, const QByteArray &etag, const QByteArray &card)
{
    const QStringList server = normalized(SyncCard::values(card));
    SyncContact merged;
    QString fromFile;
    QStringList expected;
    if (local) {
        merged = *local;
        expected = local->values;
        fromFile = local->fileName;
        const bool synced = !local->base.isEmpty();
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const QString mine = local->values.value(i);
            const QString theirs = server.value(i);
            if (mine == theirs) {
                merged.values[i] = theirs;
            } else if (synced && mine == local->base.value(i)) {
                merged.values[i] = theirs;
            } else if (synced && theirs == local->base.value(i)) {
                merged.values[i] = mine;
            } else {
                // Both changed it: the server's value wins, ours is kept beside it.
                merged.values[i] = theirs;
                merged.conflicts[i] = u'*' + mine;
            }
        }
    } else {
        merged.values = server;
        for (qsizetype i = 0; i < keys.size(); ++i)
            merged.conflicts.append(QString());
        merged.fileName = fileNameFor(server);
        // A file of that name not yet synced is the same contact, made on both sides.
        if (m_platform.fileExists(folder + merged.fileName)) {
            SyncContact existing = readContact(m_platform, folder, merged.fileName, keys);
            if (existing.href.isEmpty() || existing.href == href)
                return apply(folder, keys, &existing, href, etag, card);
        }
    }
    // A contact's file follows its name, and no two files hold the same name.
    merged.values = unclaimed(folder, merged.values, local ? merged.fileName : QString());
    if (merged.values.isEmpty()) {
        m_notStored.append({fileNameFor(server), QStringLiteral("同名的联系人太多")});
        return false;
    }
    const QString wanted = fileNameFor(merged.values);
    if (wanted.compare(merged.fileName, Qt::CaseInsensitive) != 0)
        merged.fileName = wanted;
    merged.href = href;
    merged.etag = etag;
    merged.card = card;
    merged.base = server;
    const QString uid = SyncCard::uid(card);
    merged.uid = uid.isEmpty() ? merged.uid : uid;
    QString error;
    if (!writeContact(m_platform, folder, merged, keys, expected, fromFile, &error)) {
        // A file the user saved meanwhile is taken up by the next sync.
        if (!local)
            m_notStored.append({merged.fileName, error});
        return false;
    }
    if (!local || merged.values != local->values)
        ++m_report.received;
    if (local)
        *local = merged;
    else
        m_received.insert(href, etag);
    return true;
}

int SyncEngine::cardCount(const QString &href)
{
    const Multistatus listing =
        expectMultistatus(m_client.send("PROPFIND", m_client.resolved(QString::fromLatin1(encodedPath(href))),
                                        propfindBody("<D:getetag/>"), {}, 1));
    int count = 0;
    for (const DavResource &r : listing.resources)
        count += r.href.startsWith(href) && r.href != href && !r.href.endsWith(u'/') && r.status != 404;
    return count;
}

void SyncEngine::syncCollection(const QString &folder, const QString &href, const QString &category,
                                const QStringList &keys, QJsonObject &state, const QString &book)
{
    checkCancel();
    const QUrl collectionUrl = m_client.resolved(QString::fromLatin1(encodedPath(href)));
    QHash<QString, QByteArray> known;
    const QJsonObject knownJson = state.value(u"known").toObject();
    for (auto it = knownJson.begin(); it != knownJson.end(); ++it)
        known.insert(it.key(), it.value().toString().toUtf8());
    const QString token = state.value(u"token").toString();

    // What the server holds now: from the changes since the last sync where the
    // server still knows that point, else from a full listing.
    QHash<QString, QByteArray> remote;
    QSet<QString> removed;
    QString newToken;
    const auto member = [&href](const DavResource &r) {
        return r.href.startsWith(href) && r.href != href && !r.href.endsWith(u'/');
    };
    const auto syncReport = [&](const QString &from) -> std::optional<Multistatus> {
        const QByteArray body = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                                  "<D:sync-collection xmlns:D=\"DAV:\"><D:sync-token>") +
                                xmlEscaped(from).toUtf8() +
                                QByteArrayLiteral("</D:sync-token><D:sync-level>1</D:sync-level>"
                                                  "<D:prop><D:getetag/></D:prop></D:sync-collection>");
        const DavReply reply = m_client.send("REPORT", collectionUrl, body, {}, 0);
        if (reply.status == 0 || reply.status == 401 || reply.status >= 500)
            throw Failure{DavClient::statusFailure(reply)};
        if (!reply.ok())
            return std::nullopt; // an expired token, or no sync-collection on this server
        Multistatus answer = DavClient::parseMultistatus(reply.body);
        if (!answer.valid)
            throw Failure{notCardDav};
        return answer;
    };
    std::optional<Multistatus> changes;
    if (!token.isEmpty())
        changes = syncReport(token);
    if (changes) {

        remote = known;
        for (const DavResource &r : changes->resources) {
            if (!member(r))
                continue;
            if (r.status == 404) {
                remote.remove(r.href);
                removed.insert(r.href);
            } else {
                remote.insert(r.href, r.etag);
            }
        }
        newToken = changes->syncToken;
    } else if ((changes = syncReport(QString()))) {
        for (const DavResource &r : changes->resources) {
            if (member(r) && r.status != 404)
                remote.insert(r.href, r.etag);
        }
        newToken = changes->syncToken;
    } else {
        const Multistatus listing =
            expectMultistatus(m_client.send("PROPFIND", collectionUrl, propfindBody("<D:getetag/>"), {}, 1));
        for (const DavResource &r : listing.resources) {
            if (member(r) && r.status != 404)
                remote.insert(r.href, r.etag);
        }
    }
    checkCancel();

    const int sentBefore = m_report.sent + m_report.deletedThere;
    const qsizetype notStoredBefore = m_notStored.size();
    ContactStore store(m_platform);
    QList<SyncContact> locals;
    for (const QString &name : m_platform.listContactFiles(folder))
        locals.append(readContact(m_platform, folder, name, keys));
    QHash<QString, qsizetype> byHref;
    for (qsizetype i = 0; i < locals.size(); ++i) {
        SyncContact &c = locals[i];
        if (!c.href.isEmpty() && (!c.href.startsWith(href) || byHref.contains(c.href))) {
            // Copied from another folder: new here.
            c.uid.clear();
            c.href.clear();
            c.etag.clear();
            c.base.clear();
            c.card.clear();
        }
        if (!c.href.isEmpty())
            byHref.insert(c.href, i);
    }

    // Deleted here since the last sync, unchanged there.
    QList<DavRequest> deletes;
    QStringList deleteHrefs;
    for (auto it = known.cbegin(); it != known.cend(); ++it) {
        if (!byHref.contains(it.key()) && remote.contains(it.key()) && remote.value(it.key()) == it.value()) {
            deletes.append({"DELETE",
                            m_client.resolved(QString::fromLatin1(encodedPath(it.key()))),
                            {},
                            {{"If-Match", it.value()}}});
            deleteHrefs.append(it.key());
        }
    }
    // Most of an address book deleted at once waits for the user, and so does the
    // rest of its sync, so that the question stays the same until answered.
    if (!state.value(u"allowDeletes").toBool() && deletes.size() >= 2 && deletes.size() * 2 > remote.size()) {
        m_report.deletesHeld.append({book, category, static_cast<int>(deletes.size())});
        return;
    }
    state.remove(QStringLiteral("allowDeletes"));
    const QList<DavReply> deleted = m_client.sendAll(deletes);
    for (qsizetype i = 0; i < deleted.size(); ++i) {
        if (deleted[i].ok() || deleted[i].status == 404) {
            remote.remove(deleteHrefs[i]);
            ++m_report.deletedThere;
        } else if (deleted[i].status != 412) { // changed there meanwhile: it comes back
            throw Failure{DavClient::statusFailure(deleted[i])};
        }
    }
    checkCancel();

    // New or changed there.
    QStringList toFetch;
    for (auto it = remote.cbegin(); it != remote.cend(); ++it) {
        const qsizetype at = byHref.value(it.key(), -1);
        if (at < 0 || it.value().isEmpty() || locals[at].etag != it.value())
            toFetch.append(it.key());
    }
    // Stored as they come, a batch at a time, so that a big address book shows its
    // progress and is never held in memory whole.
    for (qsizetype from = 0; from < toFetch.size(); from += FetchBatch) {
        const QStringList batch = toFetch.mid(from, FetchBatch);
        QHash<QString, QByteArray> etags;
        const QHash<QString, QByteArray> cards = fetchCards(batch, &etags);
        for (const QString &h : batch) {
            if (!cards.contains(h)) {
                remote.remove(h); // gone between the listing and the fetch
                removed.insert(h);
                continue;
            }
            const qsizetype at = byHref.value(h, -1);
            apply(folder, keys, at >= 0 ? &locals[at] : nullptr, h, etags.value(h), cards.value(h));
        }
        if (m_progress)
            m_progress(category, static_cast<int>(from + batch.size()), static_cast<int>(toFetch.size()));
    }

    // Deleted there: only what the last sync of this address book saw there. A
    // contact it never saw there is sent again, as a group kept here after it was
    // deleted on the server is.
    QList<bool> gone(locals.size(), false);
    for (qsizetype i = 0; i < locals.size(); ++i) {
        SyncContact &c = locals[i];
        if (c.href.isEmpty() || remote.contains(c.href))
            continue;
        const bool deletedThere = !c.base.isEmpty() && (removed.contains(c.href) || known.contains(c.href));
        if (!deletedThere || c.dirty()) {
            // Kept here, and sent again as a new card; the card keeps what other
            // programs put into it.
            c.etag.clear();
            c.base.clear();
            continue;
        }
        store.setCurrentPath(folder);
        if (store.deleteContact(c.fileName).ok()) {
            gone[i] = true;
            ++m_report.deletedHere;
        }
    }
    checkCancel();

    // New or changed here.
    QList<qsizetype> pending;
    for (qsizetype i = 0; i < locals.size(); ++i) {
        if (!gone[i] && locals[i].dirty())
            pending.append(i);
    }
    if (remote.isEmpty() && known.isEmpty() && pending.size() >= BulkUpload)
        pending = uploadWhole(folder, href, category, keys, locals, pending);
    for (int round = 0; round < 3 && !pending.isEmpty(); ++round) {
        QList<qsizetype> stale;
        for (qsizetype from = 0; from < pending.size(); from += 50) {
            checkCancel();
            QList<DavRequest> puts;
            QList<qsizetype> batch = pending.mid(from, 50);
            QList<QByteArray> bodies;
            for (qsizetype i : batch) {
                SyncContact &c = locals[i];
                if (c.uid.isEmpty())
                    c.uid = stableUid(category, c.fileName);
                if (c.href.isEmpty())
                    c.href =
                        href + QString::fromLatin1(QUrl::toPercentEncoding(c.uid)) + QStringLiteral(".vcf");
                const QByteArray card = c.card.isEmpty() ? SyncCard::create(c.values, c.uid, category)
                                                         : SyncCard::patched(c.card, c.values, category);
                bodies.append(card);
                QList<QPair<QByteArray, QByteArray>> headers{{"Content-Type", "text/vcard; charset=utf-8"}};
                if (!c.etag.isEmpty() && !c.base.isEmpty())
                    headers.append(qMakePair(QByteArray("If-Match"), c.etag));
                else
                    headers.append(qMakePair(QByteArray("If-None-Match"), QByteArray("*")));
                puts.append(
                    {"PUT", m_client.resolved(QString::fromLatin1(encodedPath(c.href))), card, headers});
            }
            const QList<DavReply> replies = m_client.sendAll(puts);
            for (qsizetype k = 0; k < replies.size(); ++k) {
                SyncContact &c = locals[batch[k]];
                if (replies[k].ok()) {
                    SyncContact done = c;
                    done.etag = replies[k].etag;
                    done.base = c.values;
                    done.card = bodies[k];
                    if (writeContact(m_platform, folder, done, keys, c.values))
                        c = done;
                    ++m_report.sent;
                } else if (replies[k].status == 412) {
                    stale.append(batch[k]);
                } else {
                    throw Failure{DavClient::statusFailure(replies[k])};
                }
            }
        }
        // Changed there since it was last fetched: merge, then send what is left.
        QStringList hrefs;
        for (qsizetype i : stale)
            hrefs.append(locals[i].href);
        QHash<QString, QByteArray> staleEtags;
        const QHash<QString, QByteArray> fresh = fetchCards(hrefs, &staleEtags);
        pending.clear();
        for (qsizetype i : stale) {
            SyncContact &c = locals[i];
            if (fresh.contains(c.href))
                apply(folder, keys, &c, c.href, staleEtags.value(c.href), fresh.value(c.href));
            if (c.dirty())
                pending.append(i);
        }
    }

    // What is in step now, for telling the next sync's deletes apart.
    QJsonObject nowKnown;
    for (qsizetype i = 0; i < locals.size(); ++i) {
        const SyncContact &c = locals[i];
        if (!gone[i] && c.href.startsWith(href) && !c.etag.isEmpty() && !c.base.isEmpty())
            nowKnown.insert(c.href, QString::fromUtf8(c.etag));
        if (!gone[i] && !c.conflicts.join(QString()).isEmpty())
            ++m_report.conflicts;
    }
    for (auto it = m_received.cbegin(); it != m_received.cend(); ++it)
        nowKnown.insert(it.key(), QString::fromUtf8(it.value()));
    m_received.clear();
    // A token from before what was sent here does not cover a card made and
    // deleted after it: move past this sync's own changes when they are all the
    // server saw since.
    if (!newToken.isEmpty() && sentBefore != m_report.sent + m_report.deletedThere) {
        std::optional<Multistatus> since = syncReport(newToken);
        // A whole address book sent in one request is a new address book to the
        // server, and the token from before it counts no more: the token comes
        // with a full listing then, taken only if that shows just this sync's
        // cards, else the next sync lists everything.
        const bool listedAfresh = !since;
        if (listedAfresh) {
            since = syncReport(QString());
            newToken.clear();
        }
        if (since) {
            bool onlyOurs = true;
            qsizetype listed = 0;
            for (const DavResource &r : since->resources) {
                if (!member(r))
                    continue;
                listed += r.status == 404 ? 0 : 1;
                onlyOurs =
                    onlyOurs && (r.status == 404 ? deleteHrefs.contains(r.href)
                                                 : nowKnown.value(r.href).toString().toUtf8() == r.etag);
            }
            if (listedAfresh)
                onlyOurs = onlyOurs && listed == nowKnown.size();
            if (onlyOurs && !since->syncToken.isEmpty())
                newToken = since->syncToken;
        }
    }
    // A card not stored here must come again: the token stays where it was.
    if (m_notStored.size() != notStoredBefore)
        newToken = token;
    state.insert(QStringLiteral("known"), nowKnown);
    state.insert(QStringLiteral("token"), newToken);
}

QList<qsizetype> SyncEngine::uploadWhole(const QString &folder, const QString &href, const QString &category,
                                         const QStringList &keys, QList<SyncContact> &locals,
                                         const QList<qsizetype> &pending)
{
    const QUrl collectionUrl = m_client.resolved(QString::fromLatin1(encodedPath(href)));
    // Only into the address book as listed: empty. Anything added meanwhile
    // changes its ETag, and the server then refuses.
    const Multistatus self = expectMultistatus(
        m_client.send("PROPFIND", collectionUrl, propfindBody("<D:getetag/><D:displayname/>"), {}, 0));
    const QByteArray collectionEtag = self.resources.value(0).etag;
    if (collectionEtag.isEmpty())
        return pending;
    QByteArray all;
    QHash<QString, QByteArray> cards;
    for (qsizetype i : pending) {
        SyncContact &c = locals[i];
        if (c.uid.isEmpty())
            c.uid = stableUid(category, c.fileName);
        c.href = href + c.uid + QStringLiteral(".vcf");
        const QByteArray card = c.card.isEmpty() ? SyncCard::create(c.values, c.uid, category)
                                                 : SyncCard::patched(c.card, c.values, category);
        cards.insert(c.href, card);
        all += card;
    }
    // The server answers only when it has stored every card.
    const int timeout = m_client.timeout();
    m_client.setTimeout(timeout + 50 * static_cast<int>(pending.size()));
    const DavReply put =
        m_client.send("PUT", collectionUrl, all,
                      {qMakePair(QByteArray("Content-Type"), QByteArray("text/vcard; charset=utf-8")),
                       qMakePair(QByteArray("If-Match"), collectionEtag)});
    m_client.setTimeout(timeout);
    if (!put.ok()) {
        for (qsizetype i : pending)
            locals[i].href.clear();
        return pending; // one card at a time, then
    }
    // The whole upload replaced the address book's properties: its name goes back.
    setDisplayName(href, self.resources.value(0).displayName.isEmpty() ? category
                                                                       : self.resources.value(0).displayName);
    const Multistatus listing =
        expectMultistatus(m_client.send("PROPFIND", collectionUrl, propfindBody("<D:getetag/>"), {}, 1));
    QHash<QString, QByteArray> etags;
    for (const DavResource &r : listing.resources)
        etags.insert(r.href, r.etag);
    QList<qsizetype> left;
    for (qsizetype i : pending) {
        SyncContact &c = locals[i];
        if (!etags.contains(c.href)) {
            left.append(i);
            continue;
        }
        SyncContact done = c;
        done.etag = etags.value(c.href);
        done.base = c.values;
        done.card = cards.value(c.href);
        if (writeContact(m_platform, folder, done, keys, c.values))
            c = done;
        ++m_report.sent;
    }
    return left;
}

QList<SyncConflict> SyncEngine::conflicts(Platform &platform)
{
    QList<SyncConflict> found;
    ContactStore store(platform);
    QList<QPair<QString, QString>> folders{{QString(), store.senderFolder()}};
    for (const QString &group : store.groups())
        folders.append({group, store.groupFolder(group)});
    for (const auto &[group, folder] : folders) {
        const QStringList &keys = group.isNull() ? ContactFile::senderKeys() : ContactFile::recipientKeys();
        for (const QString &name : platform.listContactFiles(folder)) {
            const SyncContact c = readContact(platform, folder, name, keys);
            for (qsizetype i = 0; i < keys.size(); ++i) {
                if (!c.conflicts[i].isEmpty())
                    found.append({folder + name, group, keys[i], c.conflicts[i].sliced(1), c.values[i]});
            }
        }
    }
    return found;
}

bool SyncEngine::resolve(Platform &platform, const SyncConflict &conflict, bool keepHere)
{
    QByteArray content;
    if (!platform.readFile(conflict.file, &content))
        return false;
    if (keepHere)
        content = Profile::write(content, ContactFile::section(), {{conflict.key, conflict.here}});
    content = Profile::write(content, section(), {{QStringLiteral("Conflict.") + conflict.key, QString()}});
    return platform.writeFileAtomically(conflict.file, content);
}
