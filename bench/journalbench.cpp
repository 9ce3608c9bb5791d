#include "journalbench.h"

#include "figures.h"
#include "unattendeddialogs.h"

#include "addressbook/csvtext.h"
#include "addressbook/printjournal.h"
#include "platform/platform.h"
#include "tools/journalwindow.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// Wall time and this process's processor time: on a busy machine the second
// says what the work costs, the first what a user waits.
class Stopwatch
{
public:
    Stopwatch() { restart(); }
    void restart()
    {
        m_wall.start();
        m_cpu = cpuNs();
    }
    double wallMs() const { return m_wall.nsecsElapsed() / 1e6; }
    double cpuMs() const { return (cpuNs() - m_cpu) / 1e6; }

private:
    static qint64 cpuNs()
    {
        timespec t;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    QElapsedTimer m_wall;
    qint64 m_cpu = 0;
};

// A journal of entries as a shop prints them: 500 a day, the last of them
// today, the recipients' phones all different.
QByteArray journalOf(int entries, const QDate &today)
{
    const QStringList people{QStringLiteral("张伟"), QStringLiteral("王芳"), QStringLiteral("李娜"),
                             QStringLiteral("刘洋"), QStringLiteral("陈杰"), QStringLiteral("Wang Lei")};
    const QStringList streets{QStringLiteral("科技园科苑路15号"), QStringLiteral("建国路89号"),
                              QStringLiteral("文三路100号"), QStringLiteral("天河路385号")};
    CsvText::Rows rows{{QStringLiteral("时间"), QStringLiteral("快递"), QStringLiteral("打印机")}};
    rows.reserve(entries + 1);
    const int perDay = 500;
    for (int i = 0; i < entries; ++i) {
        const QDate day = today.addDays(-((entries - 1 - i) / perDay));
        const QString time =
            day.toString(Qt::ISODate) + QStringLiteral(" %1:%2:00")
                                            .arg(8 + i % perDay / 60, 2, 10, QLatin1Char('0'))
                                            .arg(i % 60, 2, 10, QLatin1Char('0'));
        QStringList row{time, i % 3 ? QStringLiteral("顺丰") : QStringLiteral("韵达"),
                        QStringLiteral("Quillbox-PDF")};
        row << QStringLiteral("深圳市某某电子商行") << QStringLiteral("赵六") << QStringLiteral("广东省")
            << QStringLiteral("深圳市") << QStringLiteral("南山区") << QStringLiteral("科技园1号")
            << QStringLiteral("0755-12345678") << QStringLiteral("518000");
        row << QStringLiteral("客户%1").arg(i % 977) << people[i % people.size()] + QString::number(i % 1000)
            << QStringLiteral("广东省") << QStringLiteral("广州市") << QStringLiteral("天河区")
            << streets[i % streets.size()] << QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0'))
            << QStringLiteral("510000");
        row << QStringLiteral("TB%1").arg(i, 10, 10, QLatin1Char('0')) << QString() << PrintJournal::newId();
        rows.append(row);
    }
    return CsvText::write(rows);
}

} // namespace

int journalBenchmark(int entries, bool smoke)
{
    QTemporaryDir work;
    const QString root = work.path() + QStringLiteral("/program");
    QDir().mkpath(root);
    UnattendedDialogs dialogs;
    Platform platform(root, work.path() + QStringLiteral("/settings.ini"), dialogs);
    const QDateTime now = QDateTime::currentDateTime();
    {
        QFile file(root + QStringLiteral("/journal.csv"));
        if (!file.open(QIODevice::WriteOnly) || file.write(journalOf(entries, now.date())) < 0)
            qFatal("cannot write the journal");
    }
    const qint64 bytes = QFileInfo(root + QStringLiteral("/journal.csv")).size();

    // Recipients as the main window would give them to the checks.
    const auto recipient = [](const QString &name, const QString &phone) {
        return [name, phone](QStringView key) {
            if (key == u"txtSentTo")
                return QStringLiteral("某公司");
            if (key == u"txtNameTo")
                return name;
            return key == u"txtTelTo" ? phone : QString();
        };
    };

    // The first same-day check of a run reads the whole file; later ones only
    // what was added since.
    PrintJournal journal(platform);
    Stopwatch timer;
    const bool found = journal.printedToday(
        QStringLiteral("顺丰"), recipient(QStringLiteral("无此人"), QStringLiteral("13900000000")), now);
    const double firstCheck = timer.wallMs(), firstCheckCpu = timer.cpuMs();

    const int appends = smoke ? 5 : 50;
    QList<double> appendMs, checkMs, checkCpu;
    for (int i = 0; i < appends; ++i) {
        const PrintJournal::Entry entry =
            PrintJournal::entryFor(QStringLiteral("顺丰"), QStringLiteral("Quillbox-PDF"),
                                   recipient(QStringLiteral("新客户%1").arg(i),
                                             QStringLiteral("1370000%1").arg(i, 4, 10, QLatin1Char('0'))));
        timer.restart();
        if (!journal.append(entry))
            qFatal("append failed");
        appendMs.append(timer.wallMs());
        timer.restart();
        if (!journal.printedToday(QStringLiteral("顺丰"),
                                  recipient(QStringLiteral("新客户%1").arg(i), QString()), now))
            qFatal("the same-day check missed an entry just appended");
        checkMs.append(timer.wallMs());
        checkCpu.append(timer.cpuMs());
    }

    timer.restart();
    auto *window = new frmJournal(journal, platform);
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        qFatal("the journal window was not shown");
    QApplication::processEvents();
    const double openMs = timer.wallMs(), openCpu = timer.cpuMs();
    auto *list = window->findChild<QAbstractItemView *>(QStringLiteral("lstJournal"));
    auto *search = window->findChild<QLineEdit *>(QStringLiteral("txtSearch"));
    const int shownAll = list->model()->rowCount();

    // Typing a phone's last digits, a name, then Latin letters (the first such
    // search makes the case-folded copy), clearing in between.
    QList<double> keyMs, keyCpu;
    double firstLatinMs = 0, firstLatinCpu = 0;
    for (const QString &typed : {QStringLiteral("5678"), QStringLiteral("李娜12"), QStringLiteral("wang")}) {
        search->clear();
        QApplication::processEvents();
        for (const QChar c : typed) {
            timer.restart();
            search->insert(QString(c)); // as an input method commits it
            QApplication::processEvents();
            if (typed.startsWith(u'w') && firstLatinMs == 0) {
                firstLatinMs = timer.wallMs();
                firstLatinCpu = timer.cpuMs();
            } else {
                keyMs.append(timer.wallMs());
                keyCpu.append(timer.cpuMs());
            }
        }
    }
    const int shownWang = list->model()->rowCount();
    delete window;
    // Where the window's time goes: reading the file into a table. (After the
    // window, whose memory is measured first.)
    timer.restart();
    const qsizetype tableSize = journal.table().size();
    const double readMs = timer.wallMs(), readCpu = timer.cpuMs();

    const int expectedAll = entries + appends;
    const bool broken = found || tableSize != expectedAll || shownAll != expectedAll ||
                        shownWang != entries / 6 + (entries % 6 > 5 ? 1 : 0);
    std::printf("journal: %d entries, %.1f MiB\n", entries, bytes / 1048576.0);
    std::printf("%10s %10s %10s %10s %10s %10s %10s %10s %10s\n", "", "append ms", "1st check", "next check",
                "read ms", "window ms", "key med", "key p99", "1st latin");
    std::printf("%10s %10.2f %10.1f %10.3f %10.1f %10.1f %10.2f %10.2f %10.1f%s\n", "wall", median(appendMs),
                firstCheck, median(checkMs), readMs, openMs, median(keyMs), percentile99(keyMs), firstLatinMs,
                broken ? "  BROKEN" : "");
    std::printf("%10s %10s %10.1f %10.3f %10.1f %10.1f %10.2f %10.2f %10.1f\n", "processor", "-",
                firstCheckCpu, median(checkCpu), readCpu, openCpu, median(keyCpu), percentile99(keyCpu),
                firstLatinCpu);
    std::printf(
        "(append: one entry written and flushed to disk, median of %d; check: the same-day check, the first "
        "of a run reading the whole file, the next ones what was added; read: the whole journal read "
        "into the table the window shows; window: 打印记录 opened and painted; key: one keystroke of its "
        "search, typed digits and Chinese; 1st latin: the first "
        "keystroke that needs case folding)\n",
        appends);
    if (!smoke) {
        std::printf("target journal_append_median_ms %.3f %.3f %s\n", median(appendMs), 20.0,
                    median(appendMs) <= 20 ? "ok" : "miss");
        const auto judge = [](const char *name, double value, double limit) {
            std::printf("target %s %.3f %.3f %s\n", name, value, limit, value <= limit ? "ok" : "miss");
        };
        judge("journal_first_check_cpu_ms", firstCheckCpu, 300);
        judge("journal_next_check_median_cpu_ms", median(checkCpu), 1);
        judge("journal_window_open_cpu_ms", openCpu, 500);
        judge("journal_keystroke_p99_cpu_ms", percentile99(keyCpu), 50);
    }
    std::printf("target journal_broken %d 0 %s\n", broken ? 1 : 0, broken ? "miss" : "ok");
    return broken ? 1 : 0;
}
