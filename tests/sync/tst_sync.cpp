#include "davserver.h"
#include "mainwindow.h"
#include "testsupport.h"

#include "addressbook/contactfile.h"
#include "addressbook/contactstore.h"
#include "sync/davclient.h"
#include "sync/passwordstore.h"
#include "sync/synccard.h"
#include "sync/syncengine.h"
#include "sync/syncservice.h"
#include "sync/syncsettingsdialog.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSslCertificate>
#include <QTimer>

namespace {

// One PC: a program folder of its own with the address book in it.
struct Shop
{
    Shop() : platform(folder.root, folder.settingsFile(), dialogs), store(platform)
    {
        store.createFolders();
        // As the window does: a group the user deletes goes from the server too.
        QObject::connect(&store, &ContactStore::groupDeleted,
                         [this](const QString &group) { SyncEngine::groupDeletedHere(platform, group); });
    }

    SyncReport sync(const DavServer &server)
    {
        DavClient client(server.url(), DavServer::user(), DavServer::password(), 10000);
        SyncEngine engine(platform, client);
        return engine.run();
    }
    SyncReport syncWith(const QUrl &url, const QString &password = DavServer::password())
    {
        DavClient client(url, DavServer::user(), password, 3000);
        SyncEngine engine(platform, client);
        return engine.run();
    }

    void saveSender(const QStringList &values)
    {
        store.setCurrentPath(store.senderFolder() +
                             ContactFile::fileName(ContactFile::contactKey(values[0], values[1])));
        save(ContactFile::senderKeys(), values);
    }
    void saveRecipient(const QString &group, const QStringList &values)
    {
        store.addGroup(group);
        store.setCurrentPath(store.groupFolder(group) +
                             ContactFile::fileName(ContactFile::contactKey(values[0], values[1])));
        save(ContactFile::recipientKeys(), values);
    }
    void save(const QStringList &keys, const QStringList &values)
    {
        Profile::Values pairs;
        for (int i = 0; i < keys.size(); ++i)
            pairs.append({keys[i], values.value(i)});
        QVERIFY(store.WriteContactValues(ContactFile::section(), pairs).ok());
    }
    QStringList sender(const QString &key) const
    {
        return read(store.senderFolder(), key, ContactFile::senderKeys());
    }
    QStringList recipient(const QString &group, const QString &key) const
    {
        return read(store.groupFolder(group), key, ContactFile::recipientKeys());
    }
    QStringList read(const QString &folder, const QString &key, const QStringList &keys) const
    {
        return platform.readProfileStrings(folder + ContactFile::fileName(key), ContactFile::section(), keys);
    }
    QStringList senders() const
    {
        QStringList names = platform.listContactFiles(store.senderFolder());
        names.sort();
        return names;
    }
    void deleteSender(const QString &key)
    {
        store.setCurrentPath(store.senderFolder());
        QVERIFY(store.deleteContact(ContactFile::fileName(key)).ok());
    }
    // Every byte below the program folder, for telling what a failed sync touched.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(folder.root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            files.insert(path, f.readAll());
        }
        return files;
    }

    ProgramFolder folder;
    ScriptedDialogs dialogs;
    Platform platform;
    ContactStore store;
};

QStringList contact(const QString &company, const QString &person,
                    const QString &phone = QStringLiteral("13800000000"),
                    const QString &street = QStringLiteral("文一西路 1 号"))
{
    return {company, person, QStringLiteral("浙江省"), QStringLiteral("杭州市"), QStringLiteral("余杭区"),
            street,  phone,  QStringLiteral("311100")};
}

QString key(const QStringList &values)
{
    return ContactFile::contactKey(values[0], values[1]);
}

// The secret store in memory; broken, it fails as a desktop without one does.
class MemoryPasswords : public PasswordStore
{
public:
    void read(const QString &account, Done done) override
    {
        done(broken ? QString() : kept.value(account),
             broken ? QStringLiteral("这台电脑没有可用的密码保管服务") : QString());
    }
    void write(const QString &account, const QString &password, Done done) override
    {
        if (!broken)
            kept.insert(account, password);
        done(password, broken ? QStringLiteral("这台电脑没有可用的密码保管服务") : QString());
    }
    QHash<QString, QString> kept;
    bool broken = false;
};

} // namespace

class tst_Sync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void changesTravelBothWays_data();
    void changesTravelBothWays();
    void sameContactChangedOnBothSides_data() { changesTravelBothWays_data(); }
    void sameContactChangedOnBothSides();
    void groupsCreatedAndDeleted_data() { changesTravelBothWays_data(); }
    void groupsCreatedAndDeleted();
    void tokenHoldsAfterWholeUpload();
    void serverKilledMidSync();
    void badAnswers_data();
    void badAnswers();
    void foreignCardsKeepTheirProperties();
    void settingsDialogKeepsThePasswordOut_data();
    void settingsDialogKeepsThePasswordOut();
    void listsFollowChangesFromElsewhere();
    void groupDeletedOnServerAsksInTheWindow_data();
    void groupDeletedOnServerAsksInTheWindow();
    void everyCardArrivesAsItsOwnContact_data();
    void everyCardArrivesAsItsOwnContact();
    void cardNotStoredComesAgain();
    void addressBookGoneHereAsks_data();
    void progressShownWhileCardsArrive();
    void answerTricklingInIsGivenUp();
    void cardTooLargeSaysSo();
    void cardsReadAsOtherClientsWriteThem_data();
    void cardsReadAsOtherClientsWriteThem();
    void defaultGroupShowsUnderItsName();
    void ownCertificateTrustedOnceAsked();
    void renamedOnServerToATakenName();
    void addressBookGoneHereAsks();

private:
    TemporaryHome m_home;
};

void tst_Sync::initTestCase()
{
    if (!QFile::exists(QStringLiteral("/usr/bin/htpasswd")))
        QSKIP("htpasswd (apache2-utils) is missing");
}

void tst_Sync::changesTravelBothWays_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("radicale") << int(DavServer::Radicale);
    if (QFile::exists(QStringLiteral("/usr/bin/xandikos")))
        QTest::newRow("xandikos") << int(DavServer::Xandikos);
}

void tst_Sync::changesTravelBothWays()
{
    QFETCH(int, kind);
    DavServer server(static_cast<DavServer::Kind>(kind));
    QVERIFY(server.start());
    Shop a;
    Shop b;
    const QStringList sender = contact(QStringLiteral("杭州小铺"), QStringLiteral("张三"));
    const QStringList recipient = contact(QStringLiteral("宁波商行"), QStringLiteral("李四"));
    a.saveSender(sender);
    a.saveRecipient(QStringLiteral("老客户"), recipient);

    SyncReport report = a.sync(server);
    QVERIFY2(report.ok, qPrintable(report.reason));
    QCOMPARE(report.sent, 2);
    report = b.sync(server);
    QVERIFY2(report.ok, qPrintable(report.reason));
    QCOMPARE(b.sender(key(sender)), sender);
    QCOMPARE(b.recipient(QStringLiteral("老客户"), key(recipient)), recipient);

    // Changed on B, seen on A.
    QStringList changed = sender;
    changed[6] = QStringLiteral("0571-88886666");
    b.saveSender(changed);
    QVERIFY(b.sync(server).ok);
    QVERIFY(a.sync(server).ok);
    QCOMPARE(a.sender(key(sender)), changed);

    // Added and deleted on A, seen on B.
    const QStringList second = contact(QStringLiteral("杭州小铺"), QStringLiteral("王五"));
    a.saveSender(second);
    a.deleteSender(key(sender));
    report = a.sync(server);
    QVERIFY(report.ok);
    QCOMPARE(report.deletedThere, 1);
    report = b.sync(server);
    QVERIFY(report.ok);
    QCOMPARE(report.deletedHere, 1);
    QCOMPARE(b.senders(), QStringList{ContactFile::fileName(key(second))});

    // Deleted on B, gone from A; nothing comes back.
    b.deleteSender(key(second));
    QVERIFY(b.sync(server).ok);
    QVERIFY(a.sync(server).ok);
    QVERIFY(a.senders().isEmpty());
    QVERIFY(b.sync(server).ok);
    QVERIFY(b.senders().isEmpty());
}

void tst_Sync::sameContactChangedOnBothSides()
{
    QFETCH(int, kind);
    DavServer server(static_cast<DavServer::Kind>(kind));
    QVERIFY(server.start());
    Shop a;
    Shop b;
    const QStringList original = contact(QStringLiteral("杭州小铺"), QStringLiteral("张三"));
    a.saveSender(original);
    QVERIFY(a.sync(server).ok);
    QVERIFY(b.sync(server).ok);

    QStringList onA = original;
    onA[6] = QStringLiteral("13911112222");
    a.saveSender(onA);
    QVERIFY(a.sync(server).ok);
    QStringList onB = original;
    onB[6] = QStringLiteral("13733334444");
    onB[5] = QStringLiteral("文一西路 99 号");
    b.saveSender(onB);

    const SyncReport report = b.sync(server);
    QVERIFY2(report.ok, qPrintable(report.reason));
    QCOMPARE(report.conflicts, 1);
    QStringList merged = onA;
    merged[5] = onB[5];
    QCOMPARE(b.sender(key(original)), merged);
    const QList<SyncConflict> conflicts = SyncEngine::conflicts(b.platform);
    QCOMPARE(conflicts.size(), 1);
    QCOMPARE(conflicts[0].key, QStringLiteral("txtTel"));
    QCOMPARE(conflicts[0].here, onB[6]);
    QCOMPARE(conflicts[0].server, onA[6]);
    QVERIFY(a.sync(server).ok);
    QCOMPARE(a.sender(key(original)), merged);

    // Resolved later in favour of this PC: sent at the next sync.
    QVERIFY(SyncEngine::resolve(b.platform, conflicts[0], true));
    QVERIFY(SyncEngine::conflicts(b.platform).isEmpty());
    QVERIFY(b.sync(server).ok);
    QVERIFY(a.sync(server).ok);
    merged[6] = onB[6];
    QCOMPARE(a.sender(key(original)), merged);
}

void tst_Sync::groupsCreatedAndDeleted()
{
    QFETCH(int, kind);
    DavServer server(static_cast<DavServer::Kind>(kind));
    QVERIFY(server.start());
    Shop a;
    Shop b;
    const QStringList first = contact(QStringLiteral("宁波商行"), QStringLiteral("李四"));
    const QStringList second = contact(QStringLiteral("温州鞋业"), QStringLiteral("赵六"));
    a.saveRecipient(QStringLiteral("老客户"), first);
    a.saveRecipient(QStringLiteral("批发"), second);
    QVERIFY(a.sync(server).ok);
    QVERIFY(b.sync(server).ok);
    QCOMPARE(b.recipient(QStringLiteral("批发"), key(second)), second);

    // A group made on B reaches A; a group deleted on B is gone from the server.
    b.saveRecipient(QStringLiteral("新客户"), first);
    QVERIFY(b.store.deleteGroup(QStringLiteral("批发")).ok());
    QVERIFY(b.sync(server).ok);
    SyncReport report = a.sync(server);
    QVERIFY(report.ok);
    QCOMPARE(a.recipient(QStringLiteral("新客户"), key(first)), first);
    // ... but A only deletes a whole group when the user says so.
    QCOMPARE(report.groupsGoneFromServer, QStringList{QStringLiteral("批发")});
    QCOMPARE(a.recipient(QStringLiteral("批发"), key(second)), second);

    // Kept here: shared again from A.
    SyncEngine::forgetGroup(a.platform, QStringLiteral("批发"));
    report = a.sync(server);
    QVERIFY(report.ok);
    QVERIFY(report.groupsGoneFromServer.isEmpty());
    QVERIFY(b.sync(server).ok);
    QCOMPARE(b.recipient(QStringLiteral("批发"), key(second)), second);
}

// A first sync sends a big address book in one request, which makes it anew on
// the server; the token it keeps must be one the server still knows, or every
// later sync lists the whole address book again.
void tst_Sync::tokenHoldsAfterWholeUpload()
{
    DavServer server(DavServer::Radicale);
    QVERIFY(server.start());
    Shop a;
    for (int i = 0; i < 30; ++i)
        a.saveSender(contact(QStringLiteral("杭州小铺"), QStringLiteral("客户%1").arg(i)));
    const SyncReport report = a.sync(server);
    QVERIFY2(report.ok, qPrintable(report.reason));
    QCOMPARE(report.sent, 30);

    QFile stateFile(a.folder.path(SyncEngine::stateFileName()));
    QVERIFY(stateFile.open(QIODevice::ReadOnly));
    const QJsonObject sent =
        QJsonDocument::fromJson(stateFile.readAll()).object()[u"collections"].toObject()[u"sent"].toObject();
    const QString token = sent[u"token"].toString();
    QVERIFY(!token.isEmpty());
    DavClient client(server.url(), DavServer::user(), DavServer::password(), 10000);
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                            "<D:sync-collection xmlns:D=\"DAV:\"><D:sync-token>" +
                            token.toUtf8() +
                            "</D:sync-token><D:sync-level>1</D:sync-level>"
                            "<D:prop><D:getetag/></D:prop></D:sync-collection>";
    const DavReply reply = client.send("REPORT", client.resolved(sent[u"href"].toString()), body, {}, 0);
    QCOMPARE(reply.status, 207);
    // Nothing changed since: the server has nothing to tell.
    QCOMPARE(DavClient::parseMultistatus(reply.body).resources.size(), 0);
}

void tst_Sync::serverKilledMidSync()
{
    DavServer server;
    QVERIFY(server.start());
    Shop a;
    // Already shared, so that the new cards go one by one, as everyday changes do.
    a.saveSender(contact(QStringLiteral("杭州小铺"), QStringLiteral("店主")));
    QVERIFY(a.sync(server).ok);
    constexpr int count = 201;
    for (int i = 1; i < count; ++i)
        a.saveSender(
            contact(QStringLiteral("杭州小铺"), QStringLiteral("客户%1").arg(i, 3, 10, QLatin1Char('0'))));
    QTimer killer;
    QObject::connect(&killer, &QTimer::timeout, [&] {
        if (server.cardCount(QStringLiteral("quillbox-senders")) >= 40) {
            server.stop();
            killer.stop();
        }
    });
    killer.start(5);
    SyncReport report = a.sync(server);
    QVERIFY(!report.ok);
    QVERIFY2(report.reason.contains(QStringLiteral("服务器")), qPrintable(report.reason));
    QVERIFY(server.cardCount(QStringLiteral("quillbox-senders")) < count);
    QCOMPARE(a.senders().size(), count);

    QVERIFY(server.start());
    report = a.sync(server);
    QVERIFY2(report.ok, qPrintable(report.reason));
    QCOMPARE(server.cardCount(QStringLiteral("quillbox-senders")), count);
    Shop b;
    QVERIFY(b.sync(server).ok);
    QCOMPARE(b.senders().size(), count);
}

void tst_Sync::badAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("reason");
    const auto http = [](const QByteArray &status, const QByteArray &type, const QByteArray &body,
                         const QByteArray &extra = QByteArray()) {
        return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\n" + extra +
               "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    };
    QTest::newRow("html error page") << http("200 OK", "text/html",
                                             "<html><body><h1>无线路由器登录</h1></body></html>")
                                     << QStringLiteral("不是 CardDAV");
    QTest::newRow("malformed xml")
        << http("207 Multi-Status", "application/xml",
                "<?xml version=\"1.0\"?><multistatus xmlns=\"DAV:\"><response><href>/dav/</href><propstat>")
        << QStringLiteral("不是 CardDAV");
    QTest::newRow("500") << http("500 Internal Server Error", "text/plain", "boom")
                         << QStringLiteral("HTTP 500");
    QTest::newRow("redirect loop") << http("301 Moved Permanently", "text/plain", "", "Location: /dav/\r\n")
                                   << QStringLiteral("重定向");
    QTest::newRow("redirect to another host")
        << http("302 Found", "text/plain", "", "Location: http://127.0.0.2:1/dav/\r\n")
        << QStringLiteral("另一个地址");
    QTest::newRow("50 MB answer") << http("207 Multi-Status", "application/xml",
                                          QByteArray(50 * 1024 * 1024, ' '))
                                  << QStringLiteral("过大");
    QTest::newRow("wrong password") << http("401 Unauthorized", "text/plain", "no",
                                            "WWW-Authenticate: Basic realm=\"shop\"\r\n")
                                    << QStringLiteral("用户名或密码不正确");
}

void tst_Sync::badAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, reason);
    CannedServer server(answer);
    Shop a;
    a.saveSender(contact(QStringLiteral("杭州小铺"), QStringLiteral("张三")));
    const QMap<QString, QByteArray> before = a.snapshot();
    const SyncReport report = a.syncWith(server.url());
    QVERIFY(!report.ok);
    QVERIFY2(report.reason.contains(reason), qPrintable(report.reason));
    QVERIFY(!report.reason.contains(DavServer::password()));
    // Gives up at once rather than asking again and again.
    QVERIFY(server.requests > 0 && server.requests <= 10);
    QCOMPARE(a.snapshot(), before);
}

void tst_Sync::foreignCardsKeepTheirProperties()
{
    DavServer server;
    QVERIFY(server.start());
    Shop a;
    QVERIFY(a.sync(server).ok);
    // As a phone writes it.
    const QByteArray card =
        "BEGIN:VCARD\r\n"
        "VERSION:4.0\r\n"
        "PRODID:+//IDN bitfire.at//DAVx5/4.3 ez-vcard/0.11.3\r\n"
        "UID:urn:uuid:5d2b7e0a-6f4e-4a57-9bb1-2f1d0c1e9a11\r\n"
        "FN:赵六\r\n"
        "N:赵;六;;;\r\n"
        "ORG:温州鞋业;销售部\r\n"
        "TEL;TYPE=cell;VALUE=uri:tel:+86-138-0000-1234\r\n"
        "TEL;TYPE=work;VALUE=uri:tel:+86-577-8888-0000\r\n"
        "ADR;TYPE=work:;;人民路 8 号;温州市;浙江省;325000;中国\r\n"
        "PHOTO:data:image/jpeg;base64,/9j/4AAQSkZJRgABAQAAAQABAAD/"
        "2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8UHRofHh0aHBwgJC4nICIsIxwcKDcpLDAxNDQ0Hyc5PTgyPC4zNDL/\r\n"
        "NOTE:月结客户\r\n"
        "X-DAVX5-COLOR:#ff0000\r\n"
        "END:VCARD\r\n";
    DavClient client(server.url(), DavServer::user(), DavServer::password());
    const QString href = QStringLiteral("/shop/quillbox-senders/davx5-1.vcf");
    QVERIFY(client.send("PUT", client.resolved(href), card, {{"Content-Type", "text/vcard"}}).ok());

    QVERIFY(a.sync(server).ok);
    const QString name = QStringLiteral("温州鞋业 - 赵六");
    const QStringList expected{QStringLiteral("温州鞋业"),
                               QStringLiteral("赵六"),
                               QStringLiteral("浙江省"),
                               QStringLiteral("温州市"),
                               QString(),
                               QStringLiteral("人民路 8 号"),
                               QStringLiteral("+86-138-0000-1234"),
                               QStringLiteral("325000")};
    QCOMPARE(a.sender(name), expected);

    QStringList changed = expected;
    changed[6] = QStringLiteral("13900001111");
    changed[4] = QStringLiteral("鹿城区");
    a.saveSender(changed);
    QVERIFY(a.sync(server).ok);
    const DavReply fetched = client.send("GET", client.resolved(href));
    QVERIFY(fetched.ok());
    const QByteArray after = fetched.body;
    for (const QByteArray &kept :
         {QByteArrayLiteral("PHOTO:data:image/jpeg"), QByteArrayLiteral("X-DAVX5-COLOR:#ff0000"),
          QByteArrayLiteral("NOTE:月结客户"), QByteArrayLiteral("tel:+86-577-8888-0000"),
          QByteArrayLiteral("VERSION:4.0"), QByteArrayLiteral("销售部")})
        QVERIFY2(after.contains(kept), after.constData());
    QCOMPARE(SyncCard::values(after), changed);
    QCOMPARE(SyncCard::uid(after), QStringLiteral("urn:uuid:5d2b7e0a-6f4e-4a57-9bb1-2f1d0c1e9a11"));
}

void tst_Sync::settingsDialogKeepsThePasswordOut_data()
{
    QTest::addColumn<bool>("secretStore");
    QTest::newRow("secret store") << true;
    QTest::newRow("no secret store") << false;
}

void tst_Sync::settingsDialogKeepsThePasswordOut()
{
    QFETCH(bool, secretStore);
    DavServer server;
    QVERIFY(server.start());
    Shop a;
    a.saveSender(contact(QStringLiteral("杭州小铺"), QStringLiteral("张三")));
    MemoryPasswords passwords;
    passwords.broken = !secretStore;
    SyncService service(a.platform, passwords);
    QVERIFY(!service.enabled());

    {
        frmSyncSettings form(service, a.platform);
        QCOMPARE(form.windowTitle(), QStringLiteral("同步设置"));
        form.findChild<QLineEdit *>(QStringLiteral("txtServer"))->setText(server.url().toString());
        form.findChild<QLineEdit *>(QStringLiteral("txtUser"))->setText(DavServer::user());
        form.findChild<QLineEdit *>(QStringLiteral("txtPassword"))->setText(DavServer::password());
        form.findChild<QPushButton *>(QStringLiteral("cmdTest"))->click();
        QLabel *result = form.findChild<QLabel *>(QStringLiteral("lblTest"));
        QTRY_COMPARE_WITH_TIMEOUT(result->text(), QStringLiteral("连接成功。"), 15000);
        form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }
    QVERIFY(service.enabled());
    QCOMPARE(service.password(), DavServer::password());
    QCOMPARE(service.passwordProblem().isEmpty(), secretStore);
    QCOMPARE(passwords.kept.size(), secretStore ? 1 : 0);

    QSignalSpy done(&service, &SyncService::finished);
    service.syncNow();
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 30000);
    QVERIFY2(service.lastResult().startsWith(QStringLiteral("上次同步 ")), qPrintable(service.lastResult()));
    QVERIFY2(service.lastResult().endsWith(QStringLiteral("，成功")), qPrintable(service.lastResult()));
    QCOMPARE(server.cardCount(QStringLiteral("quillbox-senders")), 1);

    // Neither the settings nor the address book hold the password, in any encoding.
    const QByteArray secret = DavServer::password().toUtf8();
    for (const QString &file : a.folder.tree()) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = f.readAll();
        QVERIFY2(!bytes.contains(secret) && !bytes.contains(secret.toBase64()), qPrintable(file));
    }
}

void tst_Sync::listsFollowChangesFromElsewhere()
{
    MainWindow w;
    MemoryPasswords passwords;
    // A server is set: another PC may write into the folders meanwhile.
    w.platform->writeSetting(QStringLiteral("Quillbox"), QStringLiteral("Sync"), QStringLiteral("Server"),
                             QStringLiteral("http://127.0.0.1:9/"));
    const QStringList keys = ContactFile::senderKeys();
    const QStringList first = contact(QStringLiteral("杭州小铺"), QStringLiteral("张三"));
    Shop elsewhere;
    const auto writeSender = [&w, &keys](const QStringList &values) {
        Profile::Values pairs;
        for (int i = 0; i < keys.size(); ++i)
            pairs.append({keys[i], values[i]});
        QVERIFY(w.platform->writeProfileStrings(w.folder.path(QStringLiteral("sent/")) +
                                                    ContactFile::fileName(key(values)),
                                                ContactFile::section(), pairs));
    };
    w.folder.mkdir(QStringLiteral("sent"));
    writeSender(first);
    w.form = std::make_unique<frmMain>(*w.platform, QString(), nullptr, nullptr, &passwords);
    QVERIFY(w.form->Form_Load());
    w.cmbSent()->selectIndex(0);
    QCOMPARE(w.fields(keys), first);
    w.field(QStringLiteral("txtTel"))->setText(QStringLiteral("13512345678")); // being typed

    // Another PC adds a sender and a group, and changes the picked one.
    const QStringList second = contact(QStringLiteral("杭州小铺"), QStringLiteral("李四"));
    writeSender(second);
    w.folder.mkdir(QStringLiteral("to/新客户"));
    QStringList changedThere = first;
    changedThere[5] = QStringLiteral("文三路 5 号");
    writeSender(changedThere);
    QTRY_COMPARE(w.cmbSent()->count(), 2);
    QTRY_VERIFY(w.Combo1()->findText(QStringLiteral("新客户")) >= 0);
    QCOMPARE(w.title(QStringLiteral("Frame6")), QStringLiteral("选择寄件人  共(2)个"));
    QCOMPARE(w.cmbSent()->text(), key(first));
    QCOMPARE(w.cmbSent()->selectedIndex(), w.cmbSent()->entries().indexOf(key(first)));
    QCOMPARE(w.field(QStringLiteral("txtTel"))->text(), QStringLiteral("13512345678"));
    QCOMPARE(w.field(QStringLiteral("txtAdd"))->text(), first[5]);

    // Saving asks; "no" shows what is on disk and writes nothing.
    w.dialogs.answers = {Dialogs::No};
    w.button(QStringLiteral("cmdNew"))->click();
    QCOMPARE(w.dialogs.messages.size(), 1);
    QVERIFY(w.dialogs.messages[0].text.contains(QStringLiteral("已在别处被修改")));
    QCOMPARE(w.fields(keys), changedThere);
    QCOMPARE(w.form->store().readContactValues(ContactFile::section(), keys), changedThere);

    // A group folder removed elsewhere leaves the list.
    QVERIFY(QDir(w.folder.path(QStringLiteral("to/新客户"))).removeRecursively());
    QTRY_COMPARE(w.Combo1()->findText(QStringLiteral("新客户")), -1);
    w.form.reset();
}

void tst_Sync::groupDeletedOnServerAsksInTheWindow_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("delete here too") << int(Dialogs::Yes);
    QTest::newRow("keep and share again") << int(Dialogs::No);
}

void tst_Sync::groupDeletedOnServerAsksInTheWindow()
{
    QFETCH(int, answer);
    DavServer server;
    QVERIFY(server.start());
    MainWindow w;
    MemoryPasswords passwords;
    const QString group = QStringLiteral("批发");
    const QStringList recipient = contact(QStringLiteral("温州鞋业"), QStringLiteral("赵六"));
    w.platform->writeSetting(QStringLiteral("Quillbox"), QStringLiteral("Sync"), QStringLiteral("Server"),
                             server.url().toString());
    w.platform->writeSetting(QStringLiteral("Quillbox"), QStringLiteral("Sync"), QStringLiteral("User"),
                             DavServer::user());
    passwords.kept.insert(DavServer::user() + u'@' + server.url().toString(), DavServer::password());
    Shop other;
    other.saveRecipient(group, recipient);
    QVERIFY(other.sync(server).ok);

    w.form = std::make_unique<frmMain>(*w.platform, QString(), nullptr, nullptr, &passwords);
    QVERIFY(w.form->Form_Load());
    QAction *syncNow = w.form->findChild<QAction *>(QStringLiteral("actSyncNow"));
    QAction *status = w.form->findChild<QAction *>(QStringLiteral("actSyncStatus"));
    QVERIFY(syncNow->isEnabled());
    syncNow->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(status->text().endsWith(QStringLiteral("，成功")), 20000);
    QTRY_VERIFY(w.Combo1()->findText(group) >= 0);

    QVERIFY(other.store.deleteGroup(group).ok());
    QVERIFY(other.sync(server).ok);
    syncNow->trigger();
    w.dialogs.answers = {answer};
    QTRY_COMPARE_WITH_TIMEOUT(w.dialogs.messages.size(), 1, 20000);
    QVERIFY(w.dialogs.messages[0].text.contains(group));
    if (answer == Dialogs::Yes) {
        QTRY_COMPARE(w.Combo1()->findText(group), -1);
        QVERIFY(!w.folder.exists(QStringLiteral("to/") + group));
    } else {
        // Kept here, and shared again by the next sync.
        QCOMPARE(w.form->store().groups().contains(group), true);
        DavClient client(server.url(), DavServer::user(), DavServer::password());
        QVERIFY(SyncEngine(*w.platform, client).run().ok);
        QVERIFY(other.sync(server).ok);
        QCOMPARE(other.recipient(group, key(recipient)), recipient);
    }
    QCOMPARE(w.dialogs.messages.size(), 1);
    w.form.reset();
}

void tst_Sync::everyCardArrivesAsItsOwnContact_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QByteArray>("second"); // a second card, at phone-2.vcf
    const auto card = [](const QByteArray &lines, const QByteArray &uid = "phone-1") {
        return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\n" + lines + "END:VCARD\r\n";
    };
    const QByteArray longName = "FN:" + QString(78, QChar(u'长')).toUtf8() + "\r\nORG:温州鞋业\r\n";
    QTest::newRow("same company and name as a contact here")
        << QStringLiteral("phone-1.vcf") << card("FN:种子\r\nN:种子;;;;\r\nORG:种子店\r\nTEL:13900000001\r\n")
        << QByteArray();
    QTest::newRow("no company") << QStringLiteral("phone-1.vcf") << card("FN:只有电话\r\nTEL:13900000001\r\n")
                                << QByteArray();
    QTest::newRow("a character no file name holds")
        << QStringLiteral("phone-1.vcf") << card("FN:种子\r\nORG:种子店/二店\r\nTEL:13900000001\r\n")
        << QByteArray();
    QTest::newRow("href with %3F") << QStringLiteral("phone%3F1.vcf")
                                   << card("FN:王五\r\nORG:温州鞋业\r\nTEL:13900000001\r\n") << QByteArray();
    QTest::newRow("href with %23") << QStringLiteral("phone%231.vcf")
                                   << card("FN:王五\r\nORG:温州鞋业\r\nTEL:13900000001\r\n") << QByteArray();
    QTest::newRow("name past 255 bytes")
        << QStringLiteral("phone-1.vcf")
        << card("FN:" + QString(90, QChar(u'长')).toUtf8() + "\r\nORG:温州鞋业\r\nTEL:13900000001\r\n")
        << QByteArray();
    QTest::newRow("the same name near 255 bytes twice")
        << QStringLiteral("phone-1.vcf") << card(longName + "TEL:13900000001\r\n")
        << card(longName + "TEL:13900000002\r\n", "phone-2");
    QTest::newRow("two cards of the same company and name")
        << QStringLiteral("phone-1.vcf") << card("FN:王五\r\nORG:温州鞋业\r\nTEL:13900000001\r\n")
        << card("FN:王五\r\nORG:温州鞋业\r\nTEL:13900000001\r\n", "phone-2");
}

// A card from a phone, whatever its name or place, arrives as a contact of its own
// that the window edits in its own file, here and on the next PC.
void tst_Sync::everyCardArrivesAsItsOwnContact()
{
    QFETCH(QString, href);
    QFETCH(QByteArray, card);
    QFETCH(QByteArray, second);
    const int cards = second.isEmpty() ? 1 : 2;
    DavServer server;
    QVERIFY(server.start());
    MainWindow w;
    const QStringList mine = contact(QStringLiteral("种子店"), QStringLiteral("种子"));
    const QStringList keys = ContactFile::senderKeys();
    const auto sync = [&server](Platform &platform) {
        DavClient client(server.url(), DavServer::user(), DavServer::password(), 10000);
        return SyncEngine(platform, client).run();
    };
    ContactStore(*w.platform).createFolders();
    Profile::Values pairs;
    for (int i = 0; i < keys.size(); ++i)
        pairs.append({keys[i], mine[i]});
    const QString sent = w.folder.path(QStringLiteral("sent/"));
    QVERIFY(w.platform->writeProfileStrings(sent + ContactFile::fileName(key(mine)), ContactFile::section(),
                                            pairs));
    QVERIFY(sync(*w.platform).ok);
    DavClient client(server.url(), DavServer::user(), DavServer::password());
    QVERIFY(client
                .send("PUT", client.resolved(QStringLiteral("/shop/quillbox-senders/") + href), card,
                      {{"Content-Type", "text/vcard"}})
                .ok());
    QVERIFY(second.isEmpty() ||
            client
                .send("PUT", client.resolved(QStringLiteral("/shop/quillbox-senders/phone-2.vcf")), second,
                      {{"Content-Type", "text/vcard"}})
                .ok());

    SyncReport report = sync(*w.platform);
    QVERIFY2(report.ok, qPrintable(report.reason));
    QCOMPARE(report.received, cards);
    QStringList files = w.platform->listContactFiles(sent);
    QCOMPARE(files.size(), 1 + cards);
    // Two contacts, told apart by what the window shows of them.
    QSet<QString> shown;
    for (const QString &file : files) {
        const QStringList values = w.platform->readProfileStrings(sent + file, ContactFile::section(), keys);
        QVERIFY2(!values[0].isEmpty() && !values[1].isEmpty(), qPrintable(file));
        shown.insert(key(values).toLower());
    }
    QCOMPARE(shown.size(), 1 + cards);
    QCOMPARE(
        w.platform->readProfileStrings(sent + ContactFile::fileName(key(mine)), ContactFile::section(), keys),
        mine);

    // Each one picked and changed in the window changes that one only.
    QVERIFY(w.start());
    for (int i = 0; i < w.cmbSent()->count(); ++i) {
        const QString file = w.cmbSent()->entry(i) + QStringLiteral(".dat");
        w.cmbSent()->selectIndex(i);
        const QString phone = QStringLiteral("1360000000%1").arg(i);
        w.field(QStringLiteral("txtTel"))->setText(phone);
        w.button(QStringLiteral("cmdNew"))->click();
        QVERIFY2(w.dialogs.messages.isEmpty(), qPrintable(w.dialogs.messages.value(0).text));
        QCOMPARE(w.platform->listContactFiles(sent).size(), 1 + cards);
        QCOMPARE(w.platform->readProfileString(sent + file, ContactFile::section(), QStringLiteral("txtTel"),
                                               QString()),
                 phone);
    }
    const QStringList before = [&] {
        QStringList all;
        for (const QString &file : w.platform->listContactFiles(sent))
            all.append(w.platform->readProfileStrings(sent + file, ContactFile::section(), keys).join(u'|'));
        all.sort();
        return all;
    }();
    w.form.reset();

    // The next PC gets both, as they are here.
    QVERIFY(sync(*w.platform).ok);
    Shop b;
    QVERIFY(b.sync(server).ok);
    QStringList there;
    for (const QString &file : b.senders())
        there.append(
            b.read(b.store.senderFolder(), ContactStore::ContactNameFromFile(file), keys).join(u'|'));
    there.sort();
    QCOMPARE(there, before);
}

// A card this PC cannot store is reported, and fetched again once it can be.
void tst_Sync::cardNotStoredComesAgain()
{
    DavServer server;
    QVERIFY(server.start());
    Shop a;
    QVERIFY(a.sync(server).ok);
    DavClient client(server.url(), DavServer::user(), DavServer::password());
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-1\r\nFN:王五\r\nORG:温州鞋业\r\n"
                            "TEL:13900000001\r\nEND:VCARD\r\n";
    QVERIFY(client
                .send("PUT", client.resolved(QStringLiteral("/shop/quillbox-senders/phone-1.vcf")), card,
                      {{"Content-Type", "text/vcard"}})
                .ok());
    // A folder where its file would go.
    const QString name = QStringLiteral("温州鞋业 - 王五");
    const QString inTheWay = a.folder.path(QStringLiteral("sent/") + ContactFile::fileName(name));
    QVERIFY(QDir().mkpath(inTheWay));

    SyncReport report = a.sync(server);
    QVERIFY(!report.ok);
    QVERIFY2(report.reason.contains(QStringLiteral("未能保存")), qPrintable(report.reason));
    QCOMPARE(report.notStored, 1);
    report = a.sync(server);
    QVERIFY(!report.ok);

    QVERIFY(QDir(inTheWay).removeRecursively());
    report = a.sync(server);
    QVERIFY2(report.ok, qPrintable(report.reason));
    QCOMPARE(report.received, 1);
    QCOMPARE(a.sender(name).value(6), QStringLiteral("13900000001"));
}

void tst_Sync::addressBookGoneHereAsks_data()
{
    groupDeletedOnServerAsksInTheWindow_data();
}

// The contact folders moved away (a wrong data folder, an old backup) must not
// empty the server and the other PCs: the window asks first.
void tst_Sync::addressBookGoneHereAsks()
{
    QFETCH(int, answer);
    DavServer server;
    QVERIFY(server.start());
    MainWindow w;
    MemoryPasswords passwords;
    w.platform->writeSetting(QStringLiteral("Quillbox"), QStringLiteral("Sync"), QStringLiteral("Server"),
                             server.url().toString());
    w.platform->writeSetting(QStringLiteral("Quillbox"), QStringLiteral("Sync"), QStringLiteral("User"),
                             DavServer::user());
    passwords.kept.insert(DavServer::user() + u'@' + server.url().toString(), DavServer::password());
    const QString group = QStringLiteral("老客户");
    const QString groupBook = server.storage() + QStringLiteral("/collection-root/shop/quillbox-g-") +
                              QString::fromLatin1(group.toUtf8().toHex());
    Shop other;
    for (int i = 0; i < 4; ++i)
        other.saveSender(contact(QStringLiteral("杭州小铺"), QStringLiteral("店员%1").arg(i)));
    for (int i = 0; i < 3; ++i)
        other.saveRecipient(group, contact(QStringLiteral("宁波商行"), QStringLiteral("客户%1").arg(i)));
    QVERIFY(other.sync(server).ok);
    {
        ContactStore store(*w.platform);
        QVERIFY(store.createFolders().ok());
        DavClient client(server.url(), DavServer::user(), DavServer::password(), 10000);
        QVERIFY(SyncEngine(*w.platform, client).run().ok);
        QCOMPARE(w.platform->listContactFiles(store.senderFolder()).size(), 4);
    }
    QTemporaryDir away;
    QVERIFY(QDir().rename(w.folder.path(QStringLiteral("sent")), away.filePath(QStringLiteral("sent"))));
    QVERIFY(QDir().rename(w.folder.path(QStringLiteral("to")), away.filePath(QStringLiteral("to"))));

    QVERIFY(ContactStore(*w.platform).createFolders().ok()); // as the program does at start
    // Nothing deleted while the question stands, however often the sync runs.
    for (int run = 0; run < 2; ++run) {
        DavClient client(server.url(), DavServer::user(), DavServer::password(), 10000);
        const SyncReport held = SyncEngine(*w.platform, client).run();
        QVERIFY2(held.ok, qPrintable(held.reason));
        QCOMPARE(held.deletesHeld.size(), 1);
        QCOMPARE(held.deletesHeld[0].count, 4);
        QCOMPARE(held.groupsGoneHere, (QList<QPair<QString, int>>{{group, 3}}));
        QCOMPARE(server.cardCount(QStringLiteral("quillbox-senders")), 4);
        QCOMPARE(QDir(groupBook).entryList({QStringLiteral("*.vcf")}).size(), 3);
    }

    w.form = std::make_unique<frmMain>(*w.platform, QString(), nullptr, nullptr, &passwords);
    QVERIFY(w.form->Form_Load());
    w.dialogs.answers = {answer, answer};
    w.form->findChild<QAction *>(QStringLiteral("actSyncNow"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(w.dialogs.messages.size(), 2, 20000);
    QVERIFY2(w.dialogs.messages[0].text.contains(QStringLiteral("服务器上的 4 个联系人将被删除")),
             qPrintable(w.dialogs.messages[0].text));
    QVERIFY2(w.dialogs.messages[1].text.contains(group), qPrintable(w.dialogs.messages[1].text));

    if (answer == Dialogs::Yes) {
        QTRY_COMPARE_WITH_TIMEOUT(server.cardCount(QStringLiteral("quillbox-senders")), 0, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(groupBook).exists(), 20000);
        QVERIFY(other.sync(server).ok);
        QVERIFY(other.senders().isEmpty());
    } else {
        // Kept, and fetched back from the server.
        QTRY_COMPARE_WITH_TIMEOUT(w.platform->listContactFiles(w.folder.path(QStringLiteral("sent/"))).size(),
                                  4, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(
            w.platform->listContactFiles(w.folder.path(QStringLiteral("to/") + group + u'/')).size(), 3,
            20000);
        QAction *status = w.form->findChild<QAction *>(QStringLiteral("actSyncStatus"));
        QTRY_VERIFY_WITH_TIMEOUT(status->text().endsWith(QStringLiteral("，成功")), 20000);
        QCOMPARE(server.cardCount(QStringLiteral("quillbox-senders")), 4);
        QVERIFY(other.sync(server).ok);
        QCOMPARE(other.senders().size(), 4);
    }
    QCOMPARE(w.dialogs.messages.size(), 2);
    w.form.reset();
}

void tst_Sync::progressShownWhileCardsArrive()
{
    DavServer server;
    QVERIFY(server.start());
    Shop other;
    for (int i = 0; i < 150; ++i)
        other.saveSender(contact(QStringLiteral("杭州小铺"), QStringLiteral("客户%1").arg(i)));
    QVERIFY(other.sync(server).ok);

    MainWindow w;
    MemoryPasswords passwords;
    w.platform->writeSetting(QStringLiteral("Quillbox"), QStringLiteral("Sync"), QStringLiteral("Server"),
                             server.url().toString());
    w.platform->writeSetting(QStringLiteral("Quillbox"), QStringLiteral("Sync"), QStringLiteral("User"),
                             DavServer::user());
    passwords.kept.insert(DavServer::user() + u'@' + server.url().toString(), DavServer::password());
    w.form = std::make_unique<frmMain>(*w.platform, QString(), nullptr, nullptr, &passwords);
    QVERIFY(w.form->Form_Load());
    QAction *status = w.form->findChild<QAction *>(QStringLiteral("actSyncStatus"));
    QStringList shown;
    connect(status, &QAction::changed, this, [&] {
        if (shown.value(shown.size() - 1) != status->text())
            shown.append(status->text());
    });
    w.form->findChild<QAction *>(QStringLiteral("actSyncNow"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(status->text().endsWith(QStringLiteral("，成功")), 20000);
    QVERIFY2(shown.contains(QStringLiteral("正在同步……（寄件人 150/150）")), qPrintable(shown.join(u'\n')));
    w.form.reset();
}

// Each byte restarts the wait for silence; the request as a whole still ends.
void tst_Sync::answerTricklingInIsGivenUp()
{
    DripServer server(120); // half a minute of answer
    Shop a;
    a.saveSender(contact(QStringLiteral("杭州小铺"), QStringLiteral("张三")));
    const QMap<QString, QByteArray> before = a.snapshot();
    DavClient client(server.url(), DavServer::user(), DavServer::password(), 1000);
    const SyncReport report = SyncEngine(a.platform, client).run();
    QVERIFY(!report.ok);
    QVERIFY2(report.reason.contains(QStringLiteral("太慢")), qPrintable(report.reason));
    QCOMPARE(a.snapshot(), before);
}

void tst_Sync::cardTooLargeSaysSo()
{
    DavServer server;
    QVERIFY(server.start());
    Shop a;
    QVERIFY(a.sync(server).ok);
    // A photo of 40 MB, as a phone may attach.
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:big\r\nFN:王五\r\nORG:温州鞋业\r\n"
                            "PHOTO;ENCODING=b;TYPE=JPEG:" +
                            QByteArray(40 * 1024 * 1024, 'A') + "\r\nEND:VCARD\r\n";
    DavClient client(server.url(), DavServer::user(), DavServer::password(), 60000);
    const DavReply put = client.send("PUT", client.resolved(QStringLiteral("/shop/quillbox-senders/big.vcf")),
                                     card, {{"Content-Type", "text/vcard"}});
    QVERIFY2(put.ok(), qPrintable(DavClient::statusFailure(put)));
    const SyncReport report = a.sync(server);
    QVERIFY(!report.ok);
    QVERIFY2(report.reason.contains(QStringLiteral("过大")), qPrintable(report.reason));
}

void tst_Sync::cardsReadAsOtherClientsWriteThem_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QStringList>("values");
    const auto values = [](const QString &city, const QString &district, const QString &phone) {
        return QStringList{QStringLiteral("温州鞋业"),
                           QStringLiteral("赵六"),
                           QStringLiteral("浙江省"),
                           city,
                           district,
                           QStringLiteral("人民路 8 号"),
                           phone,
                           QStringLiteral("325000")};
    };
    QTest::newRow("extension as Radicale keeps it")
        << QByteArray("TEL;VALUE=uri:tel:+86-577-8888-0000\\;ext=22\r\n"
                      "ADR:;;人民路 8 号;温州市;浙江省;325000;中国\r\n")
        << values(QStringLiteral("温州市"), QString(), QStringLiteral("+86-577-8888-0000转22"));
    QTest::newRow("district after the city")
        << QByteArray("TEL:13800001234\r\nADR:;;人民路 8 号;温州市鹿城区;浙江省;325000;中国\r\n")
        << values(QStringLiteral("温州市"), QStringLiteral("鹿城区"), QStringLiteral("13800001234"));
    QTest::newRow("autonomous prefecture")
        << QByteArray("TEL:13800001234\r\nADR:;;人民路 8 号;延边朝鲜族自治州延吉市;浙江省;325000;中国\r\n")
        << values(QStringLiteral("延边朝鲜族自治州"), QStringLiteral("延吉市"),
                  QStringLiteral("13800001234"));
    QTest::newRow("district in the extended address")
        << QByteArray("TEL:13800001234\r\nADR:;鹿城区;人民路 8 号;温州市;浙江省;325000;中国\r\n")
        << values(QStringLiteral("温州市"), QStringLiteral("鹿城区"), QStringLiteral("13800001234"));
}

// Cards as other clients and servers write them read as the user typed them; the
// cards this program writes read back the same and keep the extended address empty.
void tst_Sync::cardsReadAsOtherClientsWriteThem()
{
    QFETCH(QByteArray, lines);
    QFETCH(QStringList, values);
    const QByteArray card =
        "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:x\r\nFN:赵六\r\nORG:温州鞋业\r\n" + lines + "END:VCARD\r\n";
    QCOMPARE(SyncCard::values(card), values);
    const QByteArray made = SyncCard::create(values, QStringLiteral("x"), QStringLiteral("寄件人"));
    QCOMPARE(SyncCard::values(made), values);
    QVERIFY2(made.contains("ADR;TYPE=WORK:;;人民路 8 号;" + values[3].toUtf8() + values[4].toUtf8() + ";"),
             made.constData());
    QStringList changed = values;
    changed[5] = QStringLiteral("解放路 1 号");
    QCOMPARE(SyncCard::values(SyncCard::patched(card, changed, QStringLiteral("寄件人"))), changed);
}

void tst_Sync::defaultGroupShowsUnderItsName()
{
    DavServer server;
    QVERIFY(server.start());
    Shop a;
    a.saveRecipient(ContactStore::defaultGroup(),
                    contact(QStringLiteral("宁波商行"), QStringLiteral("李四")));
    QVERIFY(a.sync(server).ok);
    DavClient client(server.url(), DavServer::user(), DavServer::password());
    const DavReply reply = client.send(
        "PROPFIND", client.resolved(QStringLiteral("/shop/")),
        "<?xml version=\"1.0\"?><D:propfind xmlns:D=\"DAV:\"><D:prop><D:displayname/></D:prop></D:propfind>",
        {}, 1);
    QStringList names;
    for (const DavResource &r : DavClient::parseMultistatus(reply.body).resources)
        names.append(r.displayName);
    QVERIFY2(names.contains(QStringLiteral("未分类")), qPrintable(names.join(u',')));
    QVERIFY2(!names.contains(ContactStore::defaultGroup()), qPrintable(names.join(u',')));
}

// A shop's own server over https: its certificate is shown and trusted once the
// user says so, kept with the settings, and a different one is refused.
void tst_Sync::ownCertificateTrustedOnceAsked()
{
    DavServer server;
    const QString certificateFile = server.useOwnCertificate();
    if (certificateFile.isEmpty())
        QSKIP("openssl could not make a certificate");
    QVERIFY(server.start());
    QFile pem(certificateFile);
    QVERIFY(pem.open(QIODevice::ReadOnly));
    const QString fingerprint =
        DavClient::fingerprint(QSslCertificate(pem.readAll()).digest(QCryptographicHash::Sha256));
    Shop a;
    a.saveSender(contact(QStringLiteral("杭州小铺"), QStringLiteral("张三")));
    MemoryPasswords passwords;
    SyncService service(a.platform, passwords);
    {
        frmSyncSettings form(service, a.platform);
        form.findChild<QLineEdit *>(QStringLiteral("txtUser"))->setText(DavServer::user());
        form.findChild<QLineEdit *>(QStringLiteral("txtPassword"))->setText(DavServer::password());
        QLabel *warning = form.findChild<QLabel *>(QStringLiteral("lblClearText"));
        QVERIFY(warning->text().isEmpty());
        // The password in the clear over the network is said; to this PC it is not.
        QLineEdit *address = form.findChild<QLineEdit *>(QStringLiteral("txtServer"));
        address->clear();
        QTest::keyClicks(address, QStringLiteral("http://192.168.1.10:5232/"));
        QVERIFY(warning->text().contains(QStringLiteral("明文")));
        address->clear();
        QTest::keyClicks(address, QStringLiteral("http://127.0.0.1:5232/"));
        QVERIFY(warning->text().isEmpty());
        address->setText(server.url().toString());
        // Refused once, then trusted.
        a.dialogs.answers = {Dialogs::No, Dialogs::Yes};
        QLabel *result = form.findChild<QLabel *>(QStringLiteral("lblTest"));
        form.findChild<QPushButton *>(QStringLiteral("cmdTest"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(result->text().startsWith(QStringLiteral("连接失败")), 15000);
        QCOMPARE(a.dialogs.messages.size(), 1);
        QVERIFY2(a.dialogs.messages[0].text.contains(fingerprint), qPrintable(a.dialogs.messages[0].text));
        form.findChild<QPushButton *>(QStringLiteral("cmdTest"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(result->text().startsWith(QStringLiteral("连接成功")), 15000);
        QCOMPARE(a.dialogs.messages.size(), 2);
        form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
    }
    QCOMPARE(service.settings().certificate, fingerprint);
    QCOMPARE(a.platform.readSetting(QStringLiteral("Quillbox"), QStringLiteral("Sync"),
                                    QStringLiteral("Certificate")),
             fingerprint);
    QSignalSpy done(&service, &SyncService::finished);
    service.syncNow();
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 30000);
    QVERIFY2(service.lastResult().endsWith(QStringLiteral("，成功")), qPrintable(service.lastResult()));
    QCOMPARE(server.cardCount(QStringLiteral("quillbox-senders")), 1);

    // Another certificate at the same address: refused, nothing sent.
    server.stop();
    QVERIFY(!server.useOwnCertificate().isEmpty());
    QVERIFY(server.start());
    a.saveSender(contact(QStringLiteral("杭州小铺"), QStringLiteral("李四")));
    service.syncNow();
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, 30000);
    QVERIFY2(service.lastResult().contains(QStringLiteral("可能有人冒充服务器")),
             qPrintable(service.lastResult()));
    QCOMPARE(server.cardCount(QStringLiteral("quillbox-senders")), 1);
}

// A card renamed elsewhere to the name of another contact here: two contacts still,
// told apart by name, neither written over the other.
void tst_Sync::renamedOnServerToATakenName()
{
    DavServer server;
    QVERIFY(server.start());
    Shop a;
    const QStringList first =
        contact(QStringLiteral("种子店"), QStringLiteral("种子"), QStringLiteral("13800000001"));
    const QStringList second =
        contact(QStringLiteral("种子店"), QStringLiteral("小王"), QStringLiteral("13800000002"));
    a.saveSender(first);
    a.saveSender(second);
    QVERIFY(a.sync(server).ok);
    // A phone renames 小王 to 种子.
    const QString href =
        a.platform.readProfileString(a.store.senderFolder() + ContactFile::fileName(key(second)),
                                     SyncEngine::section(), QStringLiteral("Href"), QString());
    DavClient client(server.url(), DavServer::user(), DavServer::password());
    DavReply card = client.send("GET", client.resolved(href));
    QVERIFY(card.ok());
    card.body.replace("小王", "种子");
    QVERIFY(client.send("PUT", client.resolved(href), card.body, {{"Content-Type", "text/vcard"}}).ok());

    QVERIFY(a.sync(server).ok);
    const QStringList files = a.senders();
    QCOMPARE(files.size(), 2);
    QCOMPARE(a.sender(key(first)), first);
    QSet<QString> keys;
    for (const QString &file : files)
        keys.insert(key(a.read(a.store.senderFolder(), ContactStore::ContactNameFromFile(file),
                               ContactFile::senderKeys())));
    QCOMPARE(keys.size(), 2);
}

QTEST_MAIN(tst_Sync)
#include "tst_sync.moc"
