// The contact store on real program folders in temporary folders, with no window:
// the current path, reading, writing, listing and deleting contacts, the groups.
#include "addressbook/contactstore.h"
#include "testsupport.h"

#include <QSignalSpy>

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

QUILLBOX_TEST_MAIN(StoreTest)
#include "tst_store.moc"
