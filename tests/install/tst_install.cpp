// Where the address book lives: beside the executable, or in the user's data
// folder when the program runs from the folder it was installed into.
#include "shell/application.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class InstallTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addressBookFolder_data();
    void addressBookFolder();
};

void InstallTest::addressBookFolder_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("userFolder");

    QTest::newRow("installed place") << "usr/bin"
                                     << "usr/bin" << true;
    QTest::newRow("installed place named with a slash") << "usr/bin"
                                                        << "usr/bin/" << true;
    // Debian's /bin is a link to /usr/bin.
    QTest::newRow("run through a link") << "bin"
                                        << "usr/bin" << true;
    QTest::newRow("installed through a link") << "usr/bin"
                                              << "bin" << true;
    QTest::newRow("build tree") << "src/build"
                                << "usr/bin" << false;
    QTest::newRow("folder beside the installed one") << "usr/bin2"
                                                     << "usr/bin" << false;
    QTest::newRow("installed place inside the build tree") << "usr/bin"
                                                           << "usr/bin/x" << false;
    QTest::newRow("installed place missing") << "src/build"
                                             << "usr/local/bin" << false;
    QTest::newRow("both missing") << "opt/gone"
                                  << "opt/gone" << false;
}

void InstallTest::addressBookFolder()
{
    QFETCH(QString, executable);
    QFETCH(QString, installed);
    QFETCH(bool, userFolder);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir dir(root.path());
    for (const char *folder : {"usr/bin", "usr/bin2", "usr/bin/x", "src/build"})
        QVERIFY(dir.mkpath(folder));
    QVERIFY(QFile::link(dir.filePath("usr/bin"), dir.filePath("bin")));

    const QString executableFolder = dir.filePath(executable);
    const QString userData = dir.filePath("home/.local/share/Quillbox");
    QCOMPARE(::addressBookFolder(executableFolder, dir.filePath(installed), userData),
             userFolder ? userData : executableFolder);
}

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
