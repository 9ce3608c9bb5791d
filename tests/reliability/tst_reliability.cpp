// What users' data must survive: a program killed in the middle of saving.
#include "platform/profile.h"
#include "testsupport.h"

#include <QProcess>
#include <QRandomGenerator>

#include <csignal>

class ReliabilityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedWhileSaving();
};

void ReliabilityTest::killedWhileSaving()
{
    const int kills = qEnvironmentVariableIntValue("QUILLBOX_KILLS") > 0
                          ? qEnvironmentVariableIntValue("QUILLBOX_KILLS")
                          : 200;
    const QStringList keys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    Platform platform(folder.root, folder.settingsFile(), dialogs);
    QRandomGenerator random(20261207);
    QMap<QString, int> lastGeneration; // file name -> generation last seen
    int torn = 0;
    int completeSaves = 0;

    for (int round = 0; round < kills; ++round) {
        QProcess saver;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        saver.setProcessEnvironment(environment);
        saver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Each run counts on from where the last one may have got to.
        saver.start(QStringLiteral(QUILLBOX_SAVER),
                    {folder.root, folder.settingsFile(), QString::number(1 + round * 1000000)});
        QVERIFY(saver.waitForStarted());
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += saver.readAllStandardOutput()).contains("ready") ||
                                     saver.state() != QProcess::Running,
                                 20000);
        QCOMPARE(saver.state(), QProcess::Running);
        // Kill at a random moment, a few saves in.
        QElapsedTimer clock;
        clock.start();
        const qint64 delay = random.bounded(1, 40);
        QVERIFY(QTest::qWaitFor([&] { return clock.elapsed() >= delay; }));
        ::kill(static_cast<pid_t>(saver.processId()), SIGKILL);
        QVERIFY(saver.waitForFinished());

        const QStringList contacts = platform.listContactFiles(folder.path("sent/"));
        QVERIFY(contacts.size() <= 5);
        for (const QString &name : contacts) {
            QVERIFY2(name.startsWith(QStringLiteral("公司")) && name.endsWith(QStringLiteral(".dat")),
                     qPrintable(name));
            const QString file = folder.path("sent/" + name);
            QSet<QString> generations;
            bool complete = true;
            for (int i = 2; i < keys.size(); ++i) {
                const QString value = platform.readProfileString(file, u"Pellory", keys[i], "<missing>");
                complete = complete && value != QStringLiteral("<missing>");
                generations.insert(value.section(QChar(0x4EE3), 0, 0));
            }
            const int generation = generations.size() == 1 ? generations.begin()->mid(1).toInt() : -1;
            if (!complete || generation < lastGeneration.value(name, 0)) {
                ++torn;
                qWarning("torn or older file after kill %d: %s", round, qPrintable(name));
            }
            if (generation > lastGeneration.value(name, 0))
                ++completeSaves;
            lastGeneration[name] = generation;
        }
    }
    QStringList leftovers = folder.entries("sent");
    leftovers.removeIf([](const QString &name) { return name.endsWith(QStringLiteral(".dat")); });
    qInfo("kills %d, contact files checked after each, torn %d, new generations seen %d, leftover temporary "
          "files %d",
          kills, torn, completeSaves, static_cast<int>(leftovers.size()));
    QCOMPARE(torn, 0);
    QCOMPARE(lastGeneration.size(), 5);
    QVERIFY(completeSaves > 0);
}

QUILLBOX_TEST_MAIN(ReliabilityTest)
#include "tst_reliability.moc"
