// Times the sync against a real Radicale on loopback: the first sync of a whole
// address book, an incremental sync with one change, one with none, and a second
// PC's first sync, which fetches everything. --count N (default 5000) sets the
// size, --smoke runs 200 contacts. --vdirsyncer also times vdirsyncer's first
// sync of the same address book from the same server. --fast 2500,5000,… times
// first syncs that fetch that many cards from a server that answers at once
// (what this PC's side costs), with the progress as the window shows it.

#include "fastdavserver.h"
#include "sync/davserver.h"
#include "unattendeddialogs.h"

#include "addressbook/contactfile.h"
#include "addressbook/contactstore.h"
#include "platform/platform.h"
#include "sync/davclient.h"
#include "sync/syncengine.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>

namespace {

struct Pc
{
    QTemporaryDir dir;
    UnattendedDialogs dialogs;
    Platform platform{dir.path(), dir.path() + QStringLiteral("/settings.ini"), dialogs};
    ContactStore store{platform};

    Pc() { store.createFolders(); }

    void write(const QString &folder, const QStringList &keys, int i, const QString &phone)
    {
        const QString company = QStringLiteral("商行%1").arg(i / 10);
        const QString person = QStringLiteral("客户%1").arg(i);
        platform.writeProfileStrings(folder + ContactFile::fileName(ContactFile::contactKey(company, person)),
                                     ContactFile::section(),
                                     {{keys[0], company},
                                      {keys[1], person},
                                      {keys[2], QStringLiteral("浙江省")},
                                      {keys[3], QStringLiteral("杭州市")},
                                      {keys[4], QStringLiteral("西湖区")},
                                      {keys[5], QStringLiteral("文三路 %1 号").arg(i)},
                                      {keys[6], phone},
                                      {keys[7], QStringLiteral("310000")}});
    }

    double sync(const DavServer &server, SyncReport *report = nullptr) { return sync(server.url(), report); }
    double sync(const QUrl &url, SyncReport *report = nullptr, bool showProgress = false)
    {
        QElapsedTimer timer;
        timer.start();
        DavClient client(url, DavServer::user(), DavServer::password(), 60000);
        SyncEngine engine(platform, client);
        int shown = 0;
        if (showProgress) {
            engine.setProgress([&](const QString &book, int done, int total) {
                // About ten lines a run.
                if (done * 10 / total == shown && done != total)
                    return;
                shown = done * 10 / total;
                std::printf("sync:   %s %d/%d at %.1f s\n", qPrintable(book), done, total,
                            timer.nsecsElapsed() / 1e9);
                std::fflush(stdout);
            });
        }
        const SyncReport r = engine.run();
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!r.ok)
            std::fprintf(stderr, "sync failed: %s\n", qPrintable(r.reason));
        if (report)
            *report = r;
        return seconds;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int count = 5000;
    if (args.contains(QStringLiteral("--smoke")))
        count = 200;
    if (const qsizetype at = args.indexOf(QStringLiteral("--count")); at >= 0)
        count = args.value(at + 1).toInt();
    if (const qsizetype at = args.indexOf(QStringLiteral("--fast")); at >= 0) {
        bool ok = true;
        for (const QString &n : args.value(at + 1).split(u',')) {
            FastDavServer server;
            server.fill(n.toInt());
            Pc b;
            SyncReport report;
            std::printf("sync: first sync receiving %d cards from a server that answers at once:\n",
                        n.toInt());
            const double seconds = b.sync(server.url(), &report, true);
            const qsizetype files = b.platform.listContactFiles(b.store.senderFolder()).size();
            std::printf("sync: %d cards received in %.1f s, %d received, %lld contact files\n", n.toInt(),
                        seconds, report.received, static_cast<long long>(files));
            std::fflush(stdout);
            ok = ok && report.ok && files == n.toInt();
        }
        return ok ? 0 : 1;
    }

    DavServer server;
    if (!server.start()) {
        std::fprintf(stderr, "Radicale did not start\n");
        return 1;
    }
    Pc a;
    const int senders = count / 5;
    for (int i = 0; i < count; ++i) {
        if (i < senders)
            a.write(a.store.senderFolder(), ContactFile::senderKeys(), i, QStringLiteral("1380000%1").arg(i));
        else
            a.write(a.store.groupFolder(ContactStore::defaultGroup()), ContactFile::recipientKeys(), i,
                    QStringLiteral("1390000%1").arg(i));
    }

    SyncReport report;
    const double first = a.sync(server, &report);
    std::printf("sync: first sync of %d contacts (%d senders, %d recipients): %.1f s, %d sent\n", count,
                senders, count - senders, first, report.sent);
    a.write(a.store.senderFolder(), ContactFile::senderKeys(), 1, QStringLiteral("0571-88880000"));
    const double one = a.sync(server, &report);
    std::printf("sync: incremental sync with one change: %.3f s, %d sent\n", one, report.sent);
    const double none = a.sync(server, &report);
    std::printf("sync: incremental sync with no change: %.3f s\n", none);
    // The part of every sync spent on this PC's side: each contact file read once.
    QElapsedTimer scan;
    scan.start();
    const qsizetype conflicts = SyncEngine::conflicts(a.platform).size();
    std::printf("sync: of which reading the %d contact files: %.3f s (%lld conflicts)\n", count,
                scan.nsecsElapsed() / 1e9, static_cast<long long>(conflicts));
    Pc b;
    const double fetch = b.sync(server.url(), &report, true);
    std::printf("sync: a second PC's first sync (fetches all %d): %.1f s, %d received\n", count, fetch,
                report.received);
    if (args.contains(QStringLiteral("--vdirsyncer"))) {
        // vdirsyncer's first sync of the same two address books into empty folders.
        QTemporaryDir dir;
        QFile config(dir.filePath(QStringLiteral("config")));
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("[general]\nstatus_path = \"%1/status/\"\n"
                                    "[pair shop]\na = \"server\"\nb = \"here\"\ncollections = [\"from a\"]\n"
                                    "[storage server]\ntype = \"carddav\"\nurl = \"%2\"\n"
                                    "username = \"%3\"\npassword = \"%4\"\n"
                                    "[storage here]\ntype = \"filesystem\"\npath = \"%1/cards/\"\n"
                                    "fileext = \".vcf\"\n")
                         .arg(dir.path(), server.url().toString(), DavServer::user(), DavServer::password())
                         .toUtf8());
        config.close();
        QProcess vdirsyncer;
        vdirsyncer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VDIRSYNCER_CONFIG"), config.fileName());
        vdirsyncer.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        vdirsyncer.start(QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("yes | vdirsyncer discover >/dev/null 2>&1 && "
                                                               "vdirsyncer sync >/dev/null 2>&1")});
        vdirsyncer.waitForFinished(-1);
        const double theirs = timer.nsecsElapsed() / 1e9;
        int cards = 0;
        for (QDirIterator it(dir.filePath(QStringLiteral("cards")), {QStringLiteral("*.vcf")}, QDir::Files,
                             QDirIterator::Subdirectories);
             it.hasNext(); it.next())
            ++cards;
        std::printf("sync: vdirsyncer's first sync of the same %d cards: %.1f s, %d cards, exit %d; "
                    "ours took %.2f× that\n",
                    count, theirs, cards, vdirsyncer.exitCode(), fetch / theirs);
    }
    return report.ok && report.received == count ? 0 : 1;
}
