// What users' data must survive: a program killed in the middle of saving.
#include "ads/adpane.h"
#include "mainwindow.h"
#include "platform/profile.h"
#include "testsupport.h"

#include <QProcess>
#include <QRandomGenerator>

#include <QComboBox>
#include <QDirIterator>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWebEngineView>

#include <csignal>
#include <functional>

class ReliabilityTest : public QObject
{
    Q_OBJECT

    TemporaryHome m_home;

    int m_badInputsTried = 0;

private Q_SLOTS:
    void cleanupTestCase()
    {
        if (m_badInputsTried > 0)
            qInfo("bad inputs tried with no loss: %d", m_badInputsTried);
    }
    void killedWhileSaving();
    void badInput_data();
    void badInput();
};

namespace {

const QStringList SenderKeys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};
const QStringList RecipientKeys{"txtSentTo", "txtNameTo", "txtPTo",   "txtCTo",
                                "txtATo",    "txtAddTo",  "txtTelTo", "txtZipTo"};

// One odd input: what the folder holds before start-up, what the user or the world
// does after it, and what the program must say. Every case is also checked for: no
// contact file lost or changed unless the case says so, and nothing outside the
// program folder touched.
struct BadInput
{
    BadInput(const char *name, std::function<void(const ProgramFolder &)> prepare,
             std::function<void(MainWindow &)> act, QStringList messages, QStringList mayChange = {},
             bool startFails = false, QString adServer = {}, bool noPrinter = false)
        : name(name), prepare(std::move(prepare)), act(std::move(act)), messages(std::move(messages)),
          mayChange(std::move(mayChange)), startFails(startFails), adServer(std::move(adServer)),
          noPrinter(noPrinter)
    {
    }

    const char *name;
    std::function<void(const ProgramFolder &)> prepare;
    std::function<void(MainWindow &)> act;
    QStringList messages;  // parts of the expected message texts, in order; none: silence
    QStringList mayChange; // contact files the case may write or remove, relative to the program folder
    bool startFails;
    QString adServer; // empty: the advertisement panes stay blank
    bool noPrinter;   // runs where no printing system answers
};

// libcups settles on its server once per process: cases without a printer run in
// a process of their own pointed at a port where nothing answers. So do cases that
// start the browser engine, which under the sanitizers needs one check off.
const QString ClosedCupsServer = QStringLiteral("127.0.0.1:9");

void saveSender(MainWindow &w, const QString &company, const QString &person,
                const QString &address = "路1号")
{
    w.setFields(SenderKeys, {company, person, "广东省", "深圳市", "南山区", address, "021-1", "518000"});
    QTest::mouseClick(w.button("cmdNew"), Qt::LeftButton);
}

int entryIndex(PickerList *picker, const QString &text)
{
    return static_cast<int>(picker->entries().indexOf(text));
}

const QString Refused = QStringLiteral("不能包含");

QList<BadInput> badInputs()
{
    QList<BadInput> cases;
    for (const char *name :
         {"a\\b", "a/b", "上海:浦东", "a*", "为什么?", "\"引号\"", "<a", "b>", "a|b", "a\x01", "tab\there"}) {
        const QString company = QString::fromUtf8(name);
        cases.append({name, {}, [company](MainWindow &w) { saveSender(w, company, "x"); }, {Refused}, {}});
    }
    cases.append({"300-byte name",
                  {},
                  [](MainWindow &w) { saveSender(w, QString(100, QChar(0x5F20)), "x"); },
                  {Refused},
                  {}});
    cases.append(
        {"company and person short, joined name too long",
         {},
         [](MainWindow &w) { saveSender(w, QString(40, QChar(0x5F20)), QString(45, QChar(0x5F20))); },
         {Refused},
         {}});
    cases.append(
        {"name at the file-name limit, saved twice",
         {},
         [](MainWindow &w) {
             const QString company(120, QLatin1Char('A'));
             const QString person(128, QLatin1Char('b'));
             saveSender(w, company, person, "一号");
             saveSender(w, company, person, "二号");
             w.cmbSent()->selectIndex(entryIndex(w.cmbSent(), company + " - " + person));
             QCOMPARE(w.field("txtAdd")->text(), QStringLiteral("二号"));
         },
         {},
         {"sent/" + QString(120, QLatin1Char('A')) + " - " + QString(128, QLatin1Char('b')) + ".dat"}});
    cases.append({"read-only sender folder",
                  {},
                  [](MainWindow &w) {
                      ReadOnly folder(w.folder.path("sent"));
                      saveSender(w, "A", "B");
                      QCOMPARE(w.cmbSent()->entries(), QStringList{"Keep - 张三"});
                  },
                  {QStringLiteral("没有写入权限")},
                  {}});
    cases.append({"hidden folders in to",
                  [](const ProgramFolder &f) {
                      f.mkdir("to/.git");
                      f.mkdir("to/.Trash-1000");
                  },
                  [](MainWindow &w) { QCOMPARE(w.Combo1()->count(), 1); },
                  {},
                  {}});
    cases.append({"company ..",
                  {},
                  [](MainWindow &w) {
                      saveSender(w, "..", "x");
                      QCOMPARE(w.cmbSent()->entries(), (QStringList{".. - x", "Keep - 张三"}));
                  },
                  {},
                  {"sent/.. - x.dat"}});
    cases.append({"group named ..",
                  {},
                  [](MainWindow &w) {
                      w.dialogs.inputs = {".."};
                      QTest::mouseClick(w.button("cmdNew2"), Qt::LeftButton);
                      QCOMPARE(w.Combo1()->count(), 1);
                  },
                  {Refused},
                  {}});
    cases.append({"delete with a path in the picker",
                  {},
                  [](MainWindow &w) {
                      w.cmbSent()->editLine()->setText("../../outside");
                      QTest::mouseClick(w.button("cmdDel"), Qt::LeftButton);
                  },
                  {QStringLiteral("确认要删除")},
                  {}});
    cases.append({"characters outside GBK",
                  {},
                  [](MainWindow &w) {
                      saveSender(w, "王䶮", "😀", "𠀀路");
                      QCOMPARE(w.folder.read("sent/王䶮 - 😀.dat").left(25),
                               QByteArray("[Pellory]\r\ntxtSent=\xCD\xF5\xFE\x9F\r\n"));
                      w.setFields(SenderKeys, {});
                      w.cmbSent()->selectIndex(entryIndex(w.cmbSent(), "王䶮 - 😀"));
                      QCOMPARE(w.fields(SenderKeys).mid(0, 2), (QStringList{"王䶮", "😀"}));
                      QCOMPARE(w.field("txtAdd")->text(), QStringLiteral("𠀀路"));
                  },
                  {},
                  {"sent/王䶮 - 😀.dat"}});
    cases.append({"40,000-byte value",
                  [](const ProgramFolder &f) {
                      f.write("sent/长 - 地址.dat", "[Pellory]\r\ntxtAdd=" + QByteArray(40000, 'x') + "\r\n");
                  },
                  [](MainWindow &w) {
                      w.cmbSent()->selectIndex(entryIndex(w.cmbSent(), "长 - 地址"));
                      QCOMPARE(w.field("txtAdd")->text(), QString(32766, QLatin1Char('x')));
                  },
                  {},
                  {}});
    cases.append({"contact file of random bytes",
                  [](const ProgramFolder &f) {
                      QByteArray noise(4096, 0);
                      QRandomGenerator random(7);
                      for (char &c : noise)
                          c = static_cast<char>(random.bounded(256));
                      f.write("sent/随机 - 字节.dat", noise);
                  },
                  [](MainWindow &w) { w.cmbSent()->selectIndex(0); },
                  {},
                  {}});
    cases.append({"empty contact file",
                  [](const ProgramFolder &f) { f.write("sent/空 - 文件.dat", ""); },
                  [](MainWindow &w) {
                      w.cmbSent()->selectIndex(0);
                      QCOMPARE(w.fields(SenderKeys), QStringList(8));
                  },
                  {},
                  {}});
    cases.append(
        {"only a byte order mark",
         [](const ProgramFolder &f) { f.write("sent/A - B.dat", "\xEF\xBB\xBF"); },
         [](MainWindow &w) {
             w.cmbSent()->selectIndex(0);
             QCOMPARE(w.fields(SenderKeys), QStringList(8));
             saveSender(w, "A", "B");
             QVERIFY(w.folder.read("sent/A - B.dat").startsWith("\xEF\xBB\xBF[Pellory]\r\ntxtSent=A\r\n"));
         },
         {},
         {"sent/A - B.dat"}});
    cases.append(
        {"only LF line ends",
         [](const ProgramFolder &f) { f.write("sent/A - B.dat", "[Pellory]\ntxtSent=A\ntxtName=B\n"); },
         [](MainWindow &w) {
             w.cmbSent()->selectIndex(0);
             QCOMPARE(w.fields(SenderKeys).mid(0, 3), (QStringList{"A", "B", ""}));
         },
         {},
         {}});
    cases.append({"folder named like a contact file",
                  [](const ProgramFolder &f) { f.write("sent/A - B.dat/inside.dat", "kept"); },
                  [](MainWindow &w) {
                      QCOMPARE(w.cmbSent()->entries(), QStringList{"Keep - 张三"});
                      saveSender(w, "A", "B");
                      QCOMPARE(w.folder.read("sent/A - B.dat/inside.dat"), QByteArray("kept"));
                      QCOMPARE(w.cmbSent()->entries(), QStringList{"Keep - 张三"});
                  },
                  {QStringLiteral("已有同名的文件夹")},
                  {}});
    cases.append({"contact file replaced by a folder before the pick",
                  [](const ProgramFolder &f) {
                      f.write("sent/A - B.dat", contactBytes(SenderKeys, {"A", "B"}));
                  },
                  [](MainWindow &w) {
                      QVERIFY(QFile::remove(w.folder.path("sent/A - B.dat")));
                      w.folder.mkdir("sent/A - B.dat");
                      w.cmbSent()->selectIndex(0);
                      QCOMPARE(w.fields(SenderKeys), QStringList(8));
                  },
                  {},
                  {"sent/A - B.dat"}});
    cases.append({"group folder deleted outside the program",
                  [](const ProgramFolder &f) {
                      f.write("to/客户/A - B.dat", contactBytes(RecipientKeys, {"A", "B"}));
                  },
                  [](MainWindow &w) {
                      QVERIFY(QDir(w.folder.path("to/客户")).removeRecursively());
                      chooseGroup(w.Combo1(), 1);
                      QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(0)个"));
                      w.setFields(RecipientKeys, {"C", "D"});
                      QTest::mouseClick(w.button("cmdNewTo"), Qt::LeftButton);
                      QTest::mouseClick(w.button("cmdDel2"), Qt::LeftButton);
                      QVERIFY(!w.folder.exists("to/客户"));
                  },
                  {QStringLiteral("无法保存联系人"), QStringLiteral("确认要删除（分类）")},
                  {"to/客户/A - B.dat"}});
    cases.append({"\"sent\" is a plain file",
                  [](const ProgramFolder &f) {
                      QVERIFY(QDir(f.path("sent")).removeRecursively());
                      f.write("sent", "not a folder");
                  },
                  {},
                  {QStringLiteral("已有同名的文件")},
                  {},
                  true});
    cases.append({"unreachable advertising server",
                  {},
                  [](MainWindow &w) {
                      for (const char *name : {"WebBrowser1", "WebBrowser2"}) {
                          // A pane starts its page once the window has been painted.
                          QTRY_VERIFY_WITH_TIMEOUT(w.get<AdPane>(name)->view(), 30000);
                          QWebEngineView *view = w.get<AdPane>(name)->view();
                          // However far the first load got, a reload fails in front of the test.
                          QSignalSpy finished(view, &QWebEngineView::loadFinished);
                          view->reload();
                          QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
                          QCOMPARE(finished[0][0].toBool(), false);
                      }
                      saveSender(w, "A", "B");
                      QCOMPARE(w.cmbSent()->entries(), (QStringList{"A - B", "Keep - 张三"}));
                  },
                  {},
                  {"sent/A - B.dat"},
                  false,
                  "127.0.0.1:9"}); // nothing listens on the discard port
    cases.append({"no default printer",
                  {},
                  [](MainWindow &w) {
                      QStringList seen;
                      // The waybill window is modal: act inside it once it shows.
                      QTimer::singleShot(0, [&seen] {
                          QWidget *form = QApplication::activeModalWidget();
                          QVERIFY(form);
                          seen.append(form->objectName());
                          QTest::mouseClick(form->findChild<QPushButton *>("Command1"), Qt::LeftButton);
                          seen.append(form->isVisible() ? "still open" : "closed");
                          QTest::mouseClick(form->findChild<QPushButton *>("Command2"), Qt::LeftButton);
                      });
                      QTest::mouseClick(w.button("cmdSF"), Qt::LeftButton);
                      QCOMPARE(seen, (QStringList{"frmSF", "still open"}));
                      saveSender(w, "A", "B");
                  },
                  {QStringLiteral("没有找到默认打印机")},
                  {"sent/A - B.dat"},
                  false,
                  {},
                  true});
    return cases;
}

// Every file below the folder with its bytes; folders map to a marker.
QMap<QString, QByteArray> snapshot(const QString &root, const QString &skip = QString())
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!skip.isEmpty() && (path == skip || path.startsWith(skip + "/")))
            continue;
        QFile file(path);
        files.insert(path.mid(root.size() + 1),
                     it.fileInfo().isDir()
                         ? QByteArray("<folder>")
                         : (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>")));
    }
    return files;
}

} // namespace

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

void ReliabilityTest::badInput_data()
{
    QTest::addColumn<int>("index");
    const QList<BadInput> cases = badInputs();
    for (int i = 0; i < cases.size(); ++i)
        QTest::newRow(cases[i].name) << i;
}

void ReliabilityTest::badInput()
{
    QFETCH(int, index);
    const BadInput input = badInputs()[index];
    if ((input.noPrinter || !input.adServer.isEmpty()) && !inCaseProcess()) {
        bool passed = false;
        const QString output = runCaseInOwnProcess(
            "badInput", input.name,
            [&input](QProcessEnvironment &environment) {
                if (input.noPrinter)
                    environment.insert("CUPS_SERVER", ClosedCupsServer);
                if (!input.adServer.isEmpty() && environment.contains("ASAN_OPTIONS"))
                    environment.insert("ASAN_OPTIONS",
                                       environment.value("ASAN_OPTIONS") + ":new_delete_type_mismatch=0");
            },
            &passed);
        QVERIFY2(passed, qPrintable(output));
        ++m_badInputsTried;
        return;
    }
    MainWindow w;
    // Neighbours of the program folder that nothing may touch.
    QFile outside(w.folder.dir.path() + "/outside.dat");
    QVERIFY(outside.open(QIODevice::WriteOnly));
    outside.write("[Pellory]\r\ntxtSent=outside\r\n");
    outside.close();
    w.folder.write("sent/Keep - 张三.dat", contactBytes(SenderKeys, {"Keep", "张三"}));
    if (input.prepare)
        input.prepare(w.folder);
    if (QTest::currentTestFailed())
        return;
    const QMap<QString, QByteArray> outsideBefore = snapshot(w.folder.dir.path(), w.folder.root);
    const QMap<QString, QByteArray> before = snapshot(w.folder.root);

    const bool started = w.start(input.adServer);
    QCOMPARE(!started, input.startFails);
    if (started) {
        w.show();
        if (input.act)
            input.act(w);
        if (QTest::currentTestFailed())
            return;
    }

    QCOMPARE(w.dialogs.messages.size(), input.messages.size());
    for (int i = 0; i < input.messages.size(); ++i)
        QVERIFY2(w.dialogs.messages[i].text.contains(input.messages[i]),
                 qPrintable(w.dialogs.messages[i].text));
    const QMap<QString, QByteArray> after = snapshot(w.folder.root);
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (it.key().endsWith(".dat") && !input.mayChange.contains(it.key()))
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable("contact lost or changed: " + it.key()));
    }
    QCOMPARE(snapshot(w.folder.dir.path(), w.folder.root), outsideBefore);
    ++m_badInputsTried;
}

QUILLBOX_TEST_MAIN(ReliabilityTest)
#include "tst_reliability.moc"
