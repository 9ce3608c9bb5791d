// The contact store on real program folders in temporary folders, with no window:
// the current path, reading, writing, listing and deleting contacts, the groups,
// what the file system refuses, names from Windows and the trash.
#include "addressbook/contactstore.h"
#include "platform/textcodec.h"
#include "testsupport.h"

#include <QScopeGuard>
#include <QSignalSpy>

#include <optional>

#include <dirent.h>
#include <sys/stat.h>

namespace {

const QStringList SenderKeys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};

// A file whose name is these bytes on disk, as an archive from Chinese Windows leaves it.
void writeRaw(const QString &folder, const QByteArray &name, const QByteArray &content)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, content.constData(), content.size()), ssize_t(content.size()));
    ::close(fd);
}

QByteArray readRaw(const QByteArray &nativeFolder, const QByteArray &name)
{
    QByteArray content(4096, 0);
    const int fd = ::open((nativeFolder + '/' + name).constData(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    const ssize_t got = ::read(fd, content.data(), content.size());
    ::close(fd);
    return content.left(got);
}

} // namespace

class StoreTest : public QObject
{
    Q_OBJECT

    TemporaryHome m_home;

    struct Fixture
    {
        ProgramFolder folder;
        ScriptedDialogs dialogs;
        Platform platform{folder.root, folder.settingsFile(), dialogs};
        ContactStore store{platform};
        QString path(const QString &relative) const { return folder.path(relative); }
    };

private Q_SLOTS:
    void contactNameFromFile_data();
    void contactNameFromFile();
    void currentPathChoosesTheFile();
    void createFoldersAndGroups();
    void pickReadsOnceAsEightReads_data();
    void pickReadsOnceAsEightReads();
    void longNamesSaveEveryTime_data();
    void longNamesSaveEveryTime();
    void refusedWrites_data();
    void refusedWrites();
    void fullDisk();
    void refusedDeletesAndGroups();
    void windowsNames();
    void windowsFolderKeepsOneEncoding_data();
    void windowsFolderKeepsOneEncoding();
    void deletesGoToTheTrash();
    void trashKeepsEveryByte_data();
    void trashKeepsEveryByte();
    void trashMadeWithItsParents();
    void deleteWithoutTrash();
};

void StoreTest::contactNameFromFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name");
    QTest::newRow("contact") << "ABC - 张三.dat"
                             << "ABC - 张三";
    QTest::newRow("only the last extension") << "a.b.dat"
                                             << "a.b";
    QTest::newRow("no dot") << "name"
                            << "name";
    QTest::newRow("just .dat") << ".dat"
                               << "";
    QTest::newRow("other case") << "X.DAT"
                                << "X";
    QTest::newRow("dot at the end") << "x."
                                    << "x";
}

void StoreTest::contactNameFromFile()
{
    QFETCH(QString, file);
    QFETCH(QString, name);
    QCOMPARE(ContactStore::ContactNameFromFile(file), name);
}

void StoreTest::currentPathChoosesTheFile()
{
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    ContactStore &store = f.store;
    QSignalSpy changed(&store, &ContactStore::currentPathChanged);
    const QString a = f.path("sent/a.dat");
    const QString b = f.path("sent/b.dat");
    store.setCurrentPath(a);
    QVERIFY(store.WriteContactValue("Pellory", "txtSent", "甲").ok());
    store.setCurrentPath(b);
    QVERIFY(store.WriteContactValue("Pellory", "txtSent", "乙").ok());
    QCOMPARE(store.ReadContactValue("Pellory", "txtSent", ""), QStringLiteral("乙"));
    QCOMPARE(store.ReadContactValue("Pellory", "txtSent", ""), QStringLiteral("乙"));
    store.setCurrentPath(a);
    QCOMPARE(store.ReadContactValue("PELLORY", "TXTSENT", ""), QStringLiteral("甲"));
    QCOMPARE(f.folder.read("sent/a.dat"), QByteArray("[Pellory]\r\ntxtSent=" + gbk("甲") + "\r\n"));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.last().first().toString(), a);
    // A folder as current path reads the default and writes nothing.
    store.setCurrentPath(f.path("sent/"));
    QCOMPARE(store.ReadContactValue("Pellory", "txtSent", "dflt"), QStringLiteral("dflt"));
    QVERIFY(!store.WriteContactValue("Pellory", "txtSent", "x").ok());
    QCOMPARE(f.folder.entries("sent"), (QStringList{"a.dat", "b.dat"}));
    // The listing gives names, in no particular order, and leaves the current path.
    QStringList names = store.ContactListing();
    names.sort();
    QCOMPARE(names, (QStringList{"a", "b"}));
    QCOMPARE(store.currentPath(), f.path("sent/"));
}

void StoreTest::createFoldersAndGroups()
{
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    QCOMPARE(f.folder.entries(""), (QStringList{"sent", "to"}));
    QVERIFY(f.store.addGroup("客户").ok());
    QVERIFY(f.store.addGroup("客户").ok()); // an existing folder is fine
    f.folder.write("to/客户/a - 1.dat", "");
    f.folder.write("to/plain.dat", "");
    f.folder.mkdir("to/.Trash-1000");
    f.folder.mkdir("to/.git");
    QStringList groups = f.store.groups();
    groups.sort();
    QCOMPARE(groups, (QStringList{"_未分类", "客户"}));
    QVERIFY(f.store.deleteGroup("客户").ok());
    QVERIFY(!f.folder.exists("to/客户"));
    QVERIFY(f.store.deleteGroup("客户").ok()); // gone already: nothing to do

    Fixture g;
    g.folder.write("to", "a file where the recipient root belongs");
    const StoreResult result = g.store.createFolders();
    QCOMPARE(result.path, g.path("to/"));
    QCOMPARE(result.reason, QStringLiteral("已有同名的文件。"));
    QVERIFY(g.folder.exists("sent"));
}

void StoreTest::pickReadsOnceAsEightReads_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("whole contact") << "sent/a.dat"
                                   << contactBytes(SenderKeys,
                                                   {"A", "张三", "省", "市", "区", "路", "1", "2"});
    QTest::newRow("some keys, other case, quotes")
        << "sent/a.dat" << QByteArray("[pellory]\r\nTXTNAME= \"x\" \r\ntxtZip=9\r\n[Other]\r\ntxtP=no\r\n");
    QTest::newRow("no such file") << "sent/none.dat" << QByteArray();
    QTest::newRow("a folder") << "sent/" << QByteArray();
}

void StoreTest::pickReadsOnceAsEightReads()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    if (!content.isEmpty())
        f.folder.write(file, content);
    f.store.setCurrentPath(f.path(file));
    QStringList oneByOne;
    for (const QString &key : SenderKeys)
        oneByOne.append(f.store.ReadContactValue("Pellory", key, QString()));
    QCOMPARE(f.store.readContactValues("Pellory", SenderKeys), oneByOne);
}

void StoreTest::longNamesSaveEveryTime_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("person");
    // File names of 255 and 253 bytes, the temporary name the rename needs included.
    QTest::newRow("255 bytes") << QString(120, QLatin1Char('A')) << QString(128, QLatin1Char('b'));
    QTest::newRow("82 Hanzi") << QString(40, QChar(0x5F20)) << QString(42, QChar(0x674E));
}

void StoreTest::longNamesSaveEveryTime()
{
    QFETCH(QString, company);
    QFETCH(QString, person);
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    const QString file = f.store.senderFolder() + company + " - " + person + ".dat";
    QVERIFY(QFile::encodeName(file.mid(file.lastIndexOf('/') + 1)).size() >= 253);
    f.store.setCurrentPath(file);
    for (const char *phone : {"1", "2", "3"}) {
        const StoreResult saved = f.store.WriteContactValues("Pellory", {{"txtTel", phone}});
        QVERIFY2(saved.ok(), qPrintable(saved.reason));
        QCOMPARE(f.store.ReadContactValue("Pellory", "txtTel", ""), QString::fromLatin1(phone));
    }
    QCOMPARE(f.folder.entries("sent").size(), 1);
}

void StoreTest::refusedWrites_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only folder") << "folder" << QStringLiteral("没有写入权限。");
    QTest::newRow("read-only file") << "file" << QStringLiteral("没有写入权限。");
    QTest::newRow("name too long") << "long" << QStringLiteral("名称太长。");
    QTest::newRow("folder removed meanwhile") << "removed" << QStringLiteral("上一级文件夹不存在。");
    QTest::newRow("a folder by that name") << "folder by name" << QStringLiteral("已有同名的文件夹。");
}

void StoreTest::refusedWrites()
{
    QFETCH(QString, situation);
    QFETCH(QString, reason);
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    f.folder.write("sent/old - x.dat", "[Pellory]\r\ntxtTel=1\r\n");
    QString name = "old - x.dat";
    std::unique_ptr<ReadOnly> readOnly;
    if (situation == "folder") {
        name = "new - y.dat";
        readOnly = std::make_unique<ReadOnly>(f.path("sent"));
    } else if (situation == "file") {
        readOnly = std::make_unique<ReadOnly>(f.path("sent/old - x.dat"));
    } else if (situation == "long") {
        name = QString(253, QLatin1Char('n')) + ".dat";
    } else if (situation == "removed") {
        QVERIFY(QDir(f.path("sent")).removeRecursively());
    } else {
        name = "dir.dat";
        f.folder.mkdir("sent/dir.dat");
    }
    const QStringList before = f.folder.tree();
    const QString file = f.path("sent/" + name);
    f.store.setCurrentPath(file);
    const StoreResult saved = f.store.WriteContactValues("Pellory", {{"txtTel", "2"}});
    readOnly.reset();
    QCOMPARE(saved.path, file);
    QCOMPARE(saved.reason, reason);
    QCOMPARE(f.folder.tree(), before);
    if (situation != "removed")
        QCOMPARE(f.folder.read("sent/old - x.dat"), QByteArray("[Pellory]\r\ntxtTel=1\r\n"));
    QVERIFY(saved.warning("无法保存联系人").contains(file));
}

void StoreTest::fullDisk()
{
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    SmallDisk disk(f.path("sent"));
    if (!disk.mounted())
        QSKIP("cannot mount a small file system here (needs root)");
    f.store.setCurrentPath(f.path("sent/A - B.dat"));
    QVERIFY(f.store.WriteContactValues("Pellory", {{"txtTel", "1"}}).ok());
    const QByteArray saved = f.folder.read("sent/A - B.dat");
    disk.fill();
    const StoreResult update = f.store.WriteContactValues("Pellory", {{"txtTel", QString(2000, 'x')}});
    QCOMPARE(update.reason, QStringLiteral("磁盘空间不足。"));
    QCOMPARE(f.folder.read("sent/A - B.dat"), saved);
    f.store.setCurrentPath(f.path("sent/C - D.dat"));
    QCOMPARE(f.store.WriteContactValues("Pellory", {{"txtTel", QString(2000, 'x')}}).reason,
             QStringLiteral("磁盘空间不足。"));
    QCOMPARE(f.folder.entries("sent"), (QStringList{".filler", "A - B.dat"}));
}

void StoreTest::refusedDeletesAndGroups()
{
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    f.folder.write("sent/A - B.dat", "kept");
    f.folder.write("to/客户/C - D.dat", "kept");
    {
        ReadOnly sent(f.path("sent"));
        ReadOnly to(f.path("to"));
        QVERIFY(f.platform.writeSetting("Other", "Other", "Other", "x"));
        ReadOnly settingsFolder(f.folder.dir.path());
        ReadOnly settings(f.folder.settingsFile());
        f.store.setCurrentPath(f.store.senderFolder());
        const StoreResult deleted = f.store.deleteContact("A - B.dat");
        QCOMPARE(deleted.path, f.path("sent/A - B.dat"));
        QCOMPARE(deleted.reason, QStringLiteral("没有写入权限。"));
        const StoreResult added = f.store.addGroup("北京");
        QCOMPARE(added.path, f.path("to/北京/"));
        QCOMPARE(added.reason, QStringLiteral("没有写入权限。"));
        // The files go, the folder cannot: that is said.
        const StoreResult group = f.store.deleteGroup("客户");
        QCOMPARE(group.path, f.path("to/客户/"));
        QCOMPARE(group.reason, QStringLiteral("没有写入权限。"));
        const StoreResult sender = f.store.setDefaultSender("A - B");
        QCOMPARE(sender.path, f.folder.settingsFile());
        QVERIFY(!sender.ok());
        QCOMPARE(f.store.defaultSender(), QString());
    }
    QCOMPARE(f.folder.read("sent/A - B.dat"), QByteArray("kept"));
    QVERIFY(!f.folder.exists("to/北京"));
    QVERIFY(f.folder.exists("to/客户"));
    // A file that is gone already is deleted, as far as the user is concerned.
    QVERIFY(f.store.deleteContact("gone.dat").ok());
}

void StoreTest::windowsNames()
{
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    const QByteArray contact = gbk("张三公司 - 李四") + ".dat";
    const QByteArray content = contactBytes(SenderKeys, {"张三公司", "李四", "广东省"});
    writeRaw(f.path("sent"), contact, content);
    QCOMPARE(::mkdir((QFile::encodeName(f.path("to/")) + gbk("客户")).constData(), 0777), 0);
    // Temporary folders are removed by name in text: remove these by their bytes.
    const auto removeRaw = qScopeGuard([&] {
        const QByteArray to = QFile::encodeName(f.path("to/"));
        ::unlink((QFile::encodeName(f.path("sent/")) + contact).constData());
        ::unlink((to + gbk("客户") + "/赵六.dat").constData());
        ::rmdir((to + gbk("客户")).constData());
    });

    QStringList groups = f.store.groups();
    groups.sort();
    QCOMPARE(groups, (QStringList{"_未分类", "客户"}));
    f.store.setCurrentPath(f.store.senderFolder());
    QCOMPARE(f.store.ContactListing(), QStringList{"张三公司 - 李四"});

    // Pick, save and delete work on the file as it is named on disk.
    f.store.setCurrentPath(f.store.senderFolder() + "张三公司 - 李四.dat");
    QCOMPARE(f.store.readContactValues("Pellory", SenderKeys).mid(0, 3),
             (QStringList{"张三公司", "李四", "广东省"}));
    QVERIFY(f.store.WriteContactValues("Pellory", {{"txtTel", "123"}}).ok());
    QVERIFY(readRaw(QFile::encodeName(f.path("sent")), contact).contains("\r\ntxtTel=123\r\n"));
    QVERIFY(!f.folder.exists("sent/张三公司 - 李四.dat"));
    f.store.setCurrentPath(f.store.groupFolder("客户") + "赵六.dat");
    QVERIFY(f.store.WriteContactValues("Pellory", {{"txtName", "赵六"}}).ok());
    QCOMPARE(readRaw(QFile::encodeName(f.path("to/")) + gbk("客户"), "赵六.dat"),
             "[Pellory]\r\ntxtName=" + gbk("赵六") + "\r\n");
    f.store.setCurrentPath(f.store.groupFolder("客户"));
    QCOMPARE(f.store.ContactListing(), QStringList{"赵六"});

    f.store.setCurrentPath(f.store.senderFolder());
    QVERIFY(f.store.deleteContact("张三公司 - 李四.dat").ok());
    QVERIFY(f.folder.entries("sent").isEmpty());
    // In the trash under its name in UTF-8, so that it comes back readable.
    QVERIFY(m_home.trashed().contains("张三公司 - 李四.dat"));
}

void StoreTest::windowsFolderKeepsOneEncoding_data()
{
    QTest::addColumn<QString>("person"); // of a contact copied from Windows
    QTest::addColumn<QString>("added");  // a contact then saved beside it
    // The GBK bytes of each of these names are UTF-8 too (志强: "־ǿ").
    QTest::newRow("志强") << "志强"
                          << "新店 - 志强";
    QTest::newRow("伟强") << "伟强"
                          << "新店 - 伟平";
    QTest::newRow("平") << "平"
                        << "新店 - 强";
    QTest::newRow("beyond GBK") << "伟平"
                                << "新店 - 王䶮";
}

// A folder copied from Windows is GBK as a whole: every name in it reads as GBK,
// one saved into it is named in GBK (GB18030 where GBK lacks the character),
// and a name always reads back as typed, one file for one name.
void StoreTest::windowsFolderKeepsOneEncoding()
{
    QFETCH(QString, person);
    QFETCH(QString, added);
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    const QByteArray sent = QFile::encodeName(f.path("sent"));
    // Names on disk as bytes: QDir cannot tell GBK names apart.
    const auto onDisk = [&] {
        QList<QByteArray> names;
        DIR *dir = ::opendir(sent.constData());
        while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
            if (entry->d_name[0] != '.')
                names.append(entry->d_name);
        }
        if (dir)
            ::closedir(dir);
        return names;
    };
    const auto removeRaw = qScopeGuard([&] {
        for (const QByteArray &name : onDisk())
            ::unlink((sent + '/' + name).constData());
    });
    const QString copied = "ABC - " + person;
    writeRaw(f.path("sent"), TextCodec::encode(copied) + ".dat", contactBytes(SenderKeys, {"ABC", person}));
    // Not UTF-8: this makes the folder one from Windows.
    writeRaw(f.path("sent"), gbk("张三公司 - 李四") + ".dat", contactBytes(SenderKeys, {"张三公司", "李四"}));
    const auto listing = [&] {
        f.store.setCurrentPath(f.store.senderFolder());
        QStringList names = f.store.ContactListing();
        names.sort();
        return names;
    };
    QCOMPARE(listing(), (QStringList{copied, "张三公司 - 李四"}));

    // Saved again, the contact updates the file it was read from.
    f.store.setCurrentPath(f.store.senderFolder() + copied + ".dat");
    QCOMPARE(f.store.readContactValues("Pellory", SenderKeys).mid(0, 2), (QStringList{"ABC", person}));
    QVERIFY(f.store.WriteContactValues("Pellory", {{"txtTel", "123"}}).ok());
    QVERIFY(readRaw(sent, TextCodec::encode(copied) + ".dat").contains("\r\ntxtTel=123\r\n"));
    QCOMPARE(onDisk().size(), 2);

    // A new contact is named as Windows names it, and is one file however often saved.
    for (const char *tel : {"1", "2"}) {
        f.store.setCurrentPath(f.store.senderFolder() + added + ".dat");
        QVERIFY(f.store.WriteContactValues("Pellory", {{"txtTel", tel}}).ok());
    }
    QVERIFY(readRaw(sent, TextCodec::encode(added) + ".dat").contains("\r\ntxtTel=2\r\n"));
    QCOMPARE(onDisk().size(), 3);
    QVERIFY(listing().contains(added));
}

void StoreTest::deletesGoToTheTrash()
{
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    f.folder.write("sent/甲 - 乙.dat", "sender");
    f.folder.write("to/整组/a - 1.dat", "1");
    f.folder.write("to/整组/notes.txt", "2");
    f.folder.write("to/有子目录/b - 2.dat", "3");
    f.folder.write("to/有子目录/archive/old.dat", "4");
    f.store.setCurrentPath(f.store.senderFolder());
    QVERIFY(f.store.deleteContact("甲 - 乙.dat").ok());
    QVERIFY(f.store.deleteGroup("整组").ok());
    QVERIFY(f.store.deleteGroup("有子目录").ok());
    QVERIFY(f.folder.entries("sent").isEmpty());
    QCOMPARE(f.folder.entries("to"), (QStringList{"_未分类", "有子目录"}));
    QCOMPARE(f.folder.entries("to/有子目录"), QStringList{"archive"});
    const QStringList trashed = m_home.trashed();
    for (const char *name : {"甲 - 乙.dat", "整组", "b - 2.dat"})
        QVERIFY2(trashed.contains(QString::fromUtf8(name)), name);
    const QString whole = m_home.dataHome() + "/Trash/files/整组";
    QCOMPARE(QDir(whole).entryList(QDir::Files, QDir::Name), (QStringList{"a - 1.dat", "notes.txt"}));
}

void StoreTest::trashKeepsEveryByte_data()
{
    QTest::addColumn<QByteArray>("group"); // on disk; empty: the senders
    QTest::addColumn<QByteArray>("file");  // on disk
    QTest::addColumn<QString>("shown");    // what the program shows for the contact, or the group
    QTest::addColumn<bool>("wholeGroup");  // the group deleted, not the contact
    QTest::addColumn<bool>("ownDisk");     // the recipients on a file system of their own
    QTest::newRow("GBK name") << QByteArray() << gbk("张三公司 - 李四") + ".dat"
                              << "张三公司 - 李四.dat" << false << false;
    QTest::newRow("GBK group") << gbk("客户") << QByteArray("王五.dat") << "王五.dat" << false << false;
    QTest::newRow("GBK name in GBK group") << gbk("客户") << gbk("王五") + ".dat"
                                           << "王五.dat" << false << false;
    QTest::newRow("GBK group, whole") << gbk("客户") << gbk("王五") + ".dat"
                                      << "客户" << true << false;
    QTest::newRow("GBK group, its own disk") << gbk("客户") << gbk("王五") + ".dat"
                                             << "王五.dat" << false << true;
}

// What a trash record names is the path's bytes: a file manager puts the
// contact back where it was, under the name it had.
void StoreTest::trashKeepsEveryByte()
{
    QFETCH(QByteArray, group);
    QFETCH(QByteArray, file);
    QFETCH(QString, shown);
    QFETCH(bool, wholeGroup);
    QFETCH(bool, ownDisk);
    Fixture f;
    f.folder.mkdir("to");
    std::optional<SmallDisk> disk;
    if (ownDisk) {
        disk.emplace(f.path("to"));
        if (!disk->mounted())
            QSKIP("cannot mount a small file system here (needs root)");
    }
    QVERIFY(f.store.createFolders().ok());
    const QByteArray to = QFile::encodeName(f.path("to"));
    const QByteArray folder = group.isEmpty() ? QFile::encodeName(f.path("sent")) : to + '/' + group;
    if (!group.isEmpty())
        QCOMPARE(::mkdir(folder.constData(), 0777), 0);
    writeRaw(QString(), folder + '/' + file, "kept");
    const auto removeRaw = qScopeGuard([&] {
        ::unlink((folder + '/' + file).constData());
        ::rmdir(folder.constData());
    });
    const QString trash =
        ownDisk ? f.path("to/.Trash-" + QString::number(::getuid())) : m_home.dataHome() + "/Trash";
    const auto records = [&] { return QDir(trash + "/info").entryList(QDir::Files); };
    const QStringList before = records();

    if (wholeGroup) {
        QVERIFY(f.store.deleteGroup(shown).ok());
    } else {
        f.store.setCurrentPath(group.isEmpty() ? f.store.senderFolder()
                                               : f.store.groupFolder(TextCodec::decode(group)));
        QVERIFY(f.store.deleteContact(shown).ok());
    }
    const QByteArray trashed = wholeGroup ? folder : folder + '/' + file;
    struct stat st;
    QVERIFY(::lstat(trashed.constData(), &st) != 0);

    // In the trash under its name as shown (numbered when taken); the record
    // holds the bytes it had, and inside a whole group every name keeps its own.
    QStringList added = records();
    for (const QString &name : before)
        added.removeOne(name);
    QCOMPARE(added.size(), 1);
    const QString inTrash = trash + "/files/" + added[0].chopped(int(sizeof ".trashinfo") - 1);
    QVERIFY2(QFileInfo(inTrash).fileName().startsWith(shown.section('.', 0, 0)), qPrintable(inTrash));
    QCOMPARE(wholeGroup ? readRaw(QFile::encodeName(inTrash), file)
                        : readRaw(QFile::encodeName(trash + "/files"),
                                  QFile::encodeName(QFileInfo(inTrash).fileName())),
             QByteArray("kept"));
    QFile record(trash + "/info/" + added[0]);
    QVERIFY(record.open(QIODevice::ReadOnly));
    QByteArray path;
    for (const QByteArray &line : record.readAll().split('\n')) {
        if (line.startsWith("Path="))
            path = QByteArray::fromPercentEncoding(line.sliced(5));
    }
    // On a disk of its own, relative to that disk's top folder.
    QCOMPARE(path, ownDisk ? trashed.sliced(to.size() + 1) : trashed);
    if (wholeGroup)
        ::unlink((QFile::encodeName(inTrash) + '/' + file).constData());
    QDir().remove(inTrash) || QDir(inTrash).removeRecursively();
    record.remove();
}

// A user whose data folder was never made still has a trash: it is made with
// its parents, open to the user alone.
void StoreTest::trashMadeWithItsParents()
{
    Fixture f;
    QVERIFY(f.store.createFolders().ok());
    f.folder.write("sent/a - b.dat", "kept");
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    const QString fresh = f.folder.dir.filePath("fresh/.local/share");
    QVERIFY(QDir().mkpath(f.folder.dir.filePath("fresh")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(fresh));
    f.store.setCurrentPath(f.store.senderFolder());
    const StoreResult deleted = f.store.deleteContact("a - b.dat");
    qputenv("XDG_DATA_HOME", dataHome);
    QVERIFY(deleted.ok());
    QVERIFY(!f.folder.exists("sent/a - b.dat"));
    QFile kept(fresh + "/Trash/files/a - b.dat");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("kept"));
    for (const QString &made : {fresh + "/Trash", fresh, f.folder.dir.filePath("fresh/.local")}) {
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(made).constData(), &st), 0);
        QVERIFY2((st.st_mode & 07777) == 0700, qPrintable(made + QString::number(st.st_mode & 07777, 8)));
    }
}

void StoreTest::deleteWithoutTrash()
{
    Fixture f;
    // Nowhere to put a trash: the home trash cannot be made (a file stands in the
    // way), and the data lies on a file system of its own whose top folder the
    // user may not write.
    f.folder.mkdir("to");
    SmallDisk disk(f.path("to"));
    if (!disk.mounted())
        QSKIP("cannot mount a small file system here (needs root)");
    QVERIFY(f.store.createFolders().ok());
    f.folder.write("to/_未分类/a.dat", "");
    f.folder.write("plain", "");
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    const QStringList here = QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QStringList trashed = m_home.trashed();
    qputenv("XDG_DATA_HOME", QFile::encodeName(f.path("plain/share")));
    StoreResult deleted;
    {
        ReadOnly top(f.path("to"));
        f.store.setCurrentPath(f.store.groupFolder("_未分类"));
        deleted = f.store.deleteContact("a.dat");
    }
    qputenv("XDG_DATA_HOME", dataHome);
    // Deleted as it always was.
    QVERIFY(deleted.ok());
    QVERIFY(!f.folder.exists("to/_未分类/a.dat"));
    QCOMPARE(f.folder.entries("to"), QStringList{"_未分类"});
    QCOMPARE(m_home.trashed(), trashed);
    QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), here);
}

QUILLBOX_TEST_MAIN(StoreTest)
#include "tst_store.moc"
