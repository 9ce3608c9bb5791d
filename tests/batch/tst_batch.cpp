#include "addressbook/printjournal.h"
#include "mainwindow.h"
#include "platform/printqueue.h"
#include "waybill/waybillwindow.h"

#include <QPrinterInfo>
#include <QStandardPaths>
#include <QTimer>

namespace {

QString findTool(const char *name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// Runs a CUPS command line tool; false with its output in error when it fails.
bool run(const char *tool, const QStringList &arguments, QString *error = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(findTool(tool), arguments);
    const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0;
    if (!ok && error)
        *error = QString::fromLocal8Bit(process.readAll()) + process.errorString();
    return ok;
}

// A PDF queue of this test's own, which the test may refuse and stop without
// disturbing anyone else's printing; removed with its jobs at the end.
class TestQueue
{
public:
    TestQueue() : name(QStringLiteral("Quillbox-BatchTest-%1").arg(QCoreApplication::applicationPid())) {}
    ~TestQueue()
    {
        if (created)
            run("lpadmin", {"-x", name});
    }
    // Why the queue cannot be made, or empty.
    QString create()
    {
        const QString ppd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
        if (findTool("lpadmin").isEmpty() || !QFile::exists(ppd))
            return "lpadmin and cups-pdf are needed for a queue of the test's own (scripts/printer.sh)";
        QString error;
        created = run("lpadmin", {"-p", name, "-v", "cups-pdf:/", "-E", "-P", ppd}, &error);
        return created ? QString() : "lpadmin: " + error;
    }

    const QString name;
    bool created = false;
};

// The main window's modal window that trigger opens, handed to whileOpen, closed afterwards.
QStringList runModal(const std::function<void()> &trigger, const std::function<void(QDialog &)> &whileOpen)
{
    QStringList opened;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!modal)
            return;
        const bool first = opened.isEmpty();
        opened.append(modal->metaObject()->className());
        if (first)
            whileOpen(*modal);
        if (modal->isVisible())
            modal->close();
    });
    poll.start(10);
    trigger();
    poll.stop();
    return opened;
}

} // namespace

class BatchTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void refusedSinglePrint_data();
    void refusedSinglePrint();
    void cleanupTestCase();

private:
    TestQueue m_queue;
};

void BatchTest::initTestCase()
{
    const QString why = m_queue.create();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    // Every job of this test goes to its own queue; the machine's default stays.
    qputenv("PRINTER", m_queue.name.toUtf8());
    QCOMPARE(QPrinterInfo::defaultPrinterName(), m_queue.name);
}

void BatchTest::cleanupTestCase()
{
    qunsetenv("PRINTER");
}

void BatchTest::refusedSinglePrint_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("顺丰") << "cmdSF";
    QTest::newRow("韵达") << "cmdYD";
}

void BatchTest::refusedSinglePrint()
{
    QFETCH(QString, button);
    MainWindow w;
    QVERIFY(w.start());
    w.setFields({"txtSent", "txtName", "txtSentTo", "txtNameTo", "txtTelTo"},
                {"某公司", "张三", "收件公司", "李四", "13812345678"});
    w.show();
    PrintJournal journal(*w.platform);

    QVERIFY(run("cupsreject", {"-r", "纸用完了", m_queue.name}));
    const auto refused = [&](QDialog &form) {
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.findChild<QPushButton *>("Command1"), Qt::LeftButton);
        QCOMPARE(w.dialogs.messages.size(), 1);
        const ScriptedDialogs::Message message = w.dialogs.messages[0];
        QCOMPARE(message.flags, 48);
        QCOMPARE(message.title, QStringLiteral("打印失败"));
        QVERIFY2(message.text.contains(m_queue.name) && message.text.contains("没有打印") &&
                     message.text.contains("accepting"),
                 qPrintable(message.text));
        QVERIFY(form.isVisible());
        QVERIFY(form.findChild<QPushButton *>("Command1")->isVisible());
    };
    QCOMPARE(runModal([&] { w.button(button)->click(); }, refused).size(), 1);
    QVERIFY(journal.entries().isEmpty());

    // Taken again, the same print goes through and is written down.
    QVERIFY(run("cupsaccept", {m_queue.name}));
    const auto taken = [&](QDialog &form) {
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.findChild<QPushButton *>("Command1"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
    };
    QCOMPARE(runModal([&] { w.button(button)->click(); }, taken).size(), 1);
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(journal.entries().size(), 1);
}

QUILLBOX_TEST_MAIN(BatchTest)
#include "tst_batch.moc"
