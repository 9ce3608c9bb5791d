// Times the address book's real code paths, through the real main window on
// generated program folders, against the floor of listing and sorting the same
// folder. Run with no arguments for the full table (N up to 100,000), with
// --smoke for a quick run of every step; --sizes 1000,5000 and --runs 5 change
// the sizes and the number of runs whose median each figure is.
#include "contactgenerator.h"
#include "figures.h"
#include "journalbench.h"
#include "mainwindow.h"
#include "platform/platform.h"
#include "shell/application.h"
#include "shell/collation.h"
#include "shell/frmmain.h"
#include "shell/pickerlist.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QStringList SenderKeys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};
const QStringList RecipientKeys{"txtSentTo", "txtNameTo", "txtPTo",   "txtCTo",
                                "txtATo",    "txtAddTo",  "txtTelTo", "txtZipTo"};
const QString DefaultGroup = QStringLiteral("_未分类");
const QString EmptyGroup = QStringLiteral("空组");

class SilentDialogs : public Dialogs
{
public:
    int messageBox(const QString &, const QString &, int) override
    {
        ++shown;
        return Ok;
    }
    QString inputBox(const QString &, const QString &, const QString &) override { return {}; }
    int shown = 0;
};

struct Settings
{
    int repeats = 5; // start-ups, saves, group switches
    int keystrokes = 600;
    int picks = 300;
};

double msSince(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// The high-water mark of this process's own memory. (getrusage's ru_maxrss would
// keep the parent's peak across fork and exec, and the parent holds every size's
// contact names.)
long peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    qFatal("no VmHWM in /proc/self/status");
}

// The floor: what any program must do to show a folder's contacts in order.
double floorMs(const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    QStringList names;
    if (DIR *dir = opendir(QFile::encodeName(folder).constData())) {
        while (const dirent *entry = readdir(dir)) {
            const QString name = QFile::decodeName(entry->d_name);
            if (name.endsWith(QStringLiteral(".dat"), Qt::CaseInsensitive))
                names.append(name.chopped(4));
        }
        closedir(dir);
    }
    Collation().sort(names);
    const double ms = msSince(timer);
    if (names.isEmpty())
        qFatal("floor: nothing listed in %s", qPrintable(folder));
    return ms;
}

// One program folder, measured in this process: prints "name value" lines.
int measure(const QString &root, const QString &settingsFile, int n, const Settings &settings)
{
    SilentDialogs dialogs;
    Platform platform(root, settingsFile, dialogs);
    QMap<QString, double> out;
    QStringList broken;
    auto check = [&broken](bool ok, const QString &what) {
        if (!ok)
            broken.append(what);
    };

    // Once untimed: the first call also loads the collation data.
    floorMs(root + QStringLiteral("/sent"));
    QList<double> floors;
    for (int i = 0; i < settings.repeats; ++i)
        floors.append(floorMs(root + QStringLiteral("/to/") + DefaultGroup) +
                      floorMs(root + QStringLiteral("/sent")));
    out[QStringLiteral("floor_two_folders_ms")] = median(floors);
    QList<double> oneFloor;
    for (int i = 0; i < settings.repeats; ++i)
        oneFloor.append(floorMs(root + QStringLiteral("/to/") + DefaultGroup));
    out[QStringLiteral("floor_ms")] = median(oneFloor);

    // Start-up, until the main window is on screen.
    QList<double> startups, listings;
    std::unique_ptr<frmMain> form;
    for (int i = 0; i < settings.repeats; ++i) {
        form.reset();
        QElapsedTimer timer;
        timer.start();
        form = std::make_unique<frmMain>(platform, QString());
        QElapsedTimer load;
        load.start();
        if (!form->Form_Load())
            qFatal("start-up failed");
        listings.append(msSince(load));
        form->showCentred();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qFatal("window not shown");
        startups.append(msSince(timer));
        if (i == 0)
            out[QStringLiteral("peak_rss_kib")] = peakRssKiB();
    }
    out[QStringLiteral("startup_ms")] = median(startups);
    out[QStringLiteral("startup_listing_ms")] = median(listings);

    auto *senders = form->findChild<PickerList *>(QStringLiteral("cmbSent"));
    auto *recipients = form->findChild<PickerList *>(QStringLiteral("cmbTo"));
    auto *groups = form->findChild<QComboBox *>(QStringLiteral("Combo1"));
    const QString defaultSender =
        platform.readSetting(QStringLiteral("Pellory"), QStringLiteral("Pellory"), QStringLiteral("Pellory"));
    check(senders->count() == n, QStringLiteral("sender count"));
    check(recipients->count() == n, QStringLiteral("recipient count"));
    check(form->findChild<QGroupBox *>(QStringLiteral("Frame6"))->title() ==
              QStringLiteral("选择寄件人  共(%1)个").arg(n),
          QStringLiteral("sender caption"));
    check(form->findChild<QGroupBox *>(QStringLiteral("Frame5"))->title() ==
              QStringLiteral("选择收件人  共(%1)个").arg(n),
          QStringLiteral("recipient caption"));
    check(senders->selectedIndex() >= 0 && senders->entry(senders->selectedIndex()) == defaultSender &&
              form->fieldText(u"txtSent") + QStringLiteral(" - ") + form->fieldText(u"txtName") ==
                  defaultSender,
          QStringLiteral("default sender selection"));

    quint32 random = 12345;
    auto nextIndex = [&random, n] {
        random = random * 1103515245u + 12345u;
        return static_cast<int>((random >> 8) % static_cast<quint32>(n));
    };

    // Search as you type: the first three characters of random entries.
    QList<double> keystrokes;
    QLineEdit *line = recipients->editLine();
    line->setFocus();
    while (keystrokes.size() < settings.keystrokes) {
        const QString target = recipients->entry(nextIndex());
        line->clear();
        for (int c = 0; c < 3 && c < target.size(); ++c) {
            QElapsedTimer timer;
            timer.start();
            typeText(line, QString(target[c]));
            keystrokes.append(msSince(timer));
        }
        check(line->text().compare(target, Qt::CaseInsensitive) == 0 ||
                  recipients->entry(recipients->findPrefix(target.left(3))).startsWith(target.left(3)),
              QStringLiteral("completion"));
    }
    out[QStringLiteral("keystroke_median_ms")] = median(keystrokes);
    out[QStringLiteral("keystroke_p99_ms")] = percentile99(keystrokes);

    // Pick: an entry becomes selected and its eight values are read.
    QList<double> picks;
    for (int i = 0; i < settings.picks; ++i) {
        const int index = nextIndex();
        QElapsedTimer timer;
        timer.start();
        recipients->selectIndex(index);
        picks.append(msSince(timer));
        check(form->fieldText(u"txtSentTo") + QStringLiteral(" - ") + form->fieldText(u"txtNameTo") ==
                  recipients->entry(index),
              QStringLiteral("pick"));
    }
    out[QStringLiteral("pick_median_ms")] = median(picks);
    out[QStringLiteral("pick_p99_ms")] = percentile99(picks);

    // Save + relist: a changed phone saved over an existing recipient.
    QList<double> saves;
    auto *save = form->findChild<QPushButton *>(QStringLiteral("cmdNewTo"));
    for (int i = 0; i < settings.repeats; ++i) {
        recipients->selectIndex(nextIndex());
        form->findChild<QLineEdit *>(QStringLiteral("txtTelTo"))
            ->setText(QStringLiteral("1380000%1").arg(i, 4, 10, QLatin1Char('0')));
        QElapsedTimer timer;
        timer.start();
        save->click();
        saves.append(msSince(timer));
        check(recipients->count() == n, QStringLiteral("count after save"));
    }
    out[QStringLiteral("save_relist_ms")] = median(saves);

    // Group switch into the group of n recipients.
    QList<double> switches;
    const int full = groups->findText(DefaultGroup);
    const int empty = groups->findText(EmptyGroup);
    for (int i = 0; i < settings.repeats; ++i) {
        groups->setCurrentIndex(empty);
        check(recipients->count() == 0, QStringLiteral("empty group"));
        QElapsedTimer timer;
        timer.start();
        groups->setCurrentIndex(full);
        switches.append(msSince(timer));
        check(recipients->count() == n, QStringLiteral("count after switch"));
    }
    out[QStringLiteral("group_switch_ms")] = median(switches);

    check(dialogs.shown == 0, QStringLiteral("no message box"));
    form.reset();
    for (auto it = out.cbegin(); it != out.cend(); ++it)
        std::printf("%s %.4f\n", qPrintable(it.key()), it.value());
    std::printf("broken %d %s\n", static_cast<int>(broken.size()), qPrintable(broken.join(QLatin1Char(','))));
    return 0;
}

struct Row
{
    int n;
    QMap<QString, double> v;
    QString broken;
};

// A ratio to a floor below this is not judged: there the fixed costs of the window
// and of the file system (a few hundred microseconds) outweigh the work per contact.
constexpr double JudgedFloorMs = 5.0;

// The ratios and the floor each is taken to.
const QList<std::array<const char *, 3>> Ratios{
    {"startup_listing_ratio", "startup_listing_ms", "floor_two_folders_ms"},
    {"save_relist_ratio", "save_relist_ms", "floor_ms"},
    {"group_switch_ratio", "group_switch_ms", "floor_ms"},
};

struct Program
{
    int n;
    QString root;
    QString settingsFile;
};

// Folders stay until the whole run ends: ext4 creates files slowly for a minute
// after a mass delete, which would slow the next size's saves.
Program prepare(int n, const QString &workFolder)
{
    const QString dir = workFolder + QStringLiteral("/n%1").arg(n);
    const Program program{n, dir + QStringLiteral("/program"), dir + QStringLiteral("/settings.ini")};
    QDir().mkpath(program.root + QStringLiteral("/sent"));
    QDir().mkpath(program.root + QStringLiteral("/to/") + DefaultGroup);
    QDir().mkpath(program.root + QStringLiteral("/to/") + EmptyGroup);
    std::fprintf(stderr, "N = %d: writing %d contact files...\n", n, 2 * n);
    ContactGenerator generator(static_cast<quint32>(n) * 2654435761u + 1);
    const QStringList senders =
        generator.writeContacts(program.root + QStringLiteral("/sent"), SenderKeys, n);
    generator.writeContacts(program.root + QStringLiteral("/to/") + DefaultGroup, RecipientKeys, n);
    SilentDialogs dialogs;
    Platform platform(program.root, program.settingsFile, dialogs);
    platform.writeSetting(QStringLiteral("Pellory"), QStringLiteral("Pellory"), QStringLiteral("Pellory"),
                          senders[n / 2]);
    return program;
}

// One size measured in a fresh process, so that each start-up and peak memory
// figure is a first one.
Row measureOnce(const Program &program, const QString &executable, bool smoke)
{
    std::fprintf(stderr, "N = %d: measuring...\n", program.n);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{QStringLiteral("--measure"), program.root, program.settingsFile,
                     QString::number(program.n)};
    if (smoke)
        args.append(QStringLiteral("--smoke"));
    child.start(executable, args);
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        qFatal("measuring N = %d failed", program.n);
    Row row{program.n, {}, {}};
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 2 && parts[0] == "broken")
            row.broken = parts[1] == "0" ? QString() : QString::fromUtf8(line.mid(7));
        else if (parts.size() == 2)
            row.v[QString::fromUtf8(parts[0])] = parts[1].toDouble();
    }
    for (const auto &[ratio, time, floor] : Ratios)
        row.v[QLatin1String(ratio)] = row.v[QLatin1String(time)] / row.v[QLatin1String(floor)];
    return row;
}

// Every figure of the row is the median of its runs; a breakage in any run counts.
Row medianOf(const QList<Row> &runs)
{
    Row row{runs.first().n, {}, {}};
    for (const QString &name : runs.first().v.keys()) {
        QList<double> values;
        for (const Row &run : runs)
            values.append(run.v.value(name));
        row.v[name] = median(values);
    }
    QStringList broken;
    for (const Row &run : runs) {
        if (!run.broken.isEmpty())
            broken.append(run.broken);
    }
    row.broken = broken.join(QStringLiteral("; "));
    return row;
}

// The ratios of a row are judged when its floor (one folder) is large enough.
bool judged(const Row &row)
{
    return row.v.value(QStringLiteral("floor_ms")) >= JudgedFloorMs;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().split(' ').value(0))
                                          : QString();
}

void target(const char *name, double value, double limit)
{
    std::printf("target %s %.3f %.3f %s\n", name, value, limit, value <= limit ? "ok" : "miss");
}

// The worst ratio over the rows where it is judged.
void ratioTarget(const char *name, const QList<Row> &rows, const char *ratio, double limit)
{
    double worst = -1;
    for (const Row &r : rows) {
        if (judged(r))
            worst = std::max(worst, r.v.value(QLatin1String(ratio)));
    }
    if (worst < 0)
        std::printf("target %s - %.3f not judged (no floor of %.0f ms or more)\n", name, limit,
                    JudgedFloorMs);
    else
        target(name, worst, limit);
}

// Processor time, user and system, in ms, of one run of executable that ends after
// its first paint, its own and that of the children it waited for (wait4).
double cpuMsToFirstPaint(const QString &executable, const QStringList &environment,
                         const char *argument = nullptr)
{
    const QByteArray path = QFile::encodeName(executable);
    QList<QByteArray> variables;
    for (const QString &v : environment)
        variables.append(v.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    char *argv[] = {const_cast<char *>(path.constData()), const_cast<char *>(argument), nullptr};

    const pid_t pid = fork();
    if (pid < 0)
        qFatal("fork failed");
    if (pid == 0) {
        // The engine's and Qt's notes would bury the table.
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("%s did not end well after its first paint (status %d)", path.constData(), status);
    auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The program's processor time from its start to its first painted main window,
// against a bare Qt window linked the same way, each run `runs` times in turn. The
// program runs as a copy in a folder of its own, so that its address book (kept
// beside the executable) and its settings (in HOME) start empty there.
void startupToFirstPaint(int runs)
{
    QTemporaryDir work;
    const QString program = work.filePath(QStringLiteral("quillbox"));
    if (!QFile::copy(QStringLiteral(QUILLBOX_PROGRAM), program))
        qFatal("cannot copy %s", QUILLBOX_PROGRAM);
    QStringList environment;
    for (const QString &v : QProcess::systemEnvironment()) {
        if (!v.startsWith(QLatin1String("HOME=")) && !v.startsWith(QLatin1String("XDG_")))
            environment.append(v);
    }
    environment << QStringLiteral("HOME=") + work.path()
                << QStringLiteral("QUILLBOX_QUIT_AFTER_FIRST_PAINT=1");

    const QString bare = QStringLiteral(QUILLBOX_BARE_WINDOW);
    // One run of each untimed: the first also reads the libraries from disk.
    cpuMsToFirstPaint(program, environment);
    cpuMsToFirstPaint(bare, environment);
    QList<double> programMs, bareMs, textMs;
    for (int i = 0; i < runs; ++i) {
        programMs.append(cpuMsToFirstPaint(program, environment));
        bareMs.append(cpuMsToFirstPaint(bare, environment));
        textMs.append(cpuMsToFirstPaint(bare, environment, "--text"));
    }
    auto figure = [](QList<double> v) {
        std::sort(v.begin(), v.end());
        return QStringLiteral("%1 ms (%2-%3)")
            .arg(median(v), 0, 'f', 1)
            .arg(v.first(), 0, 'f', 1)
            .arg(v.last(), 0, 'f', 1);
    };
    const double ratio = median(programMs) / median(bareMs);
    std::printf(
        "start-up to the first painted window, processor time (user + system), median of %d runs each\n",
        runs);
    std::printf("  program %s, bare Qt window %s, ratio %.2f\n", qPrintable(figure(programMs)),
                qPrintable(figure(bareMs)), ratio);
    std::printf("  (a bare window with one line of Chinese text: %s, the program's ratio to it %.2f)\n",
                qPrintable(figure(textMs)), median(programMs) / median(textMs));
    target("startup_cpu_ratio_to_bare_window", ratio, 1.3);
}

} // namespace

int main(int argc, char *argv[])
{
    prepareApplication();
    QApplication app(argc, argv);
    setUpApplication(app);
    const QStringList args = QCoreApplication::arguments();
    const bool smoke = args.contains(QStringLiteral("--smoke"));
    Settings settings;
    if (smoke)
        settings = {2, 30, 30};

    if (args.size() >= 5 && args[1] == QStringLiteral("--measure"))
        return measure(args[2], args[3], args[4].toInt(), settings);

    // The print journal alone: --journal 200000.
    const int journalAt = args.indexOf(QStringLiteral("--journal"));
    if (journalAt > 0 && journalAt + 1 < args.size())
        return journalBenchmark(args[journalAt + 1].toInt(), smoke);

    if (args.contains(QStringLiteral("--startup-only"))) {
        startupToFirstPaint(smoke ? 2 : 8);
        return 0;
    }

    QList<int> sizes = smoke ? QList<int>{200} : QList<int>{1000, 10000, 32767, 100000};
    const int sizesAt = args.indexOf(QStringLiteral("--sizes"));
    if (sizesAt > 0 && sizesAt + 1 < args.size()) {
        sizes.clear();
        for (const QString &s : args[sizesAt + 1].split(QLatin1Char(',')))
            sizes.append(s.toInt());
    }

    int runs = 3;
    const int runsAt = args.indexOf(QStringLiteral("--runs"));
    if (runsAt > 0 && runsAt + 1 < args.size())
        runs = std::max(1, args[runsAt + 1].toInt());

    const QString loadBefore = loadAverage();
    QTemporaryDir work;
    QList<Program> programs;
    for (int n : sizes)
        programs.append(prepare(n, work.path()));
    // Whole tables, one after the other, so that a slow spell of a busy machine
    // touches one run of each size rather than every run of one.
    QList<QList<Row>> runsOfSize(programs.size());
    for (int run = 0; run < runs; ++run) {
        for (qsizetype i = 0; i < programs.size(); ++i)
            runsOfSize[i].append(measureOnce(programs[i], QCoreApplication::applicationFilePath(), smoke));
    }
    QList<Row> rows;
    for (const QList<Row> &r : runsOfSize)
        rows.append(medianOf(r));

    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    QString cpu;
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    std::printf("machine: %s, %d cores, Qt %s, load average %s before and %s after\n", qPrintable(cpu),
                QThread::idealThreadCount(), qVersion(), qPrintable(loadBefore), qPrintable(loadAverage()));
    std::printf("each figure is the median of %d runs of the whole table\n", runs);
    std::printf("%8s %10s %10s %8s %10s %10s %10s %8s %10s %8s %10s %8s %10s\n", "N", "floor ms", "startup",
                "listing", "list/flr", "key med", "key p99", "pick", "save", "save/flr", "switch", "sw/flr",
                "peak KiB");
    bool unjudged = false;
    auto ratio = [&unjudged](const Row &r, const char *name) {
        const bool counts = judged(r);
        unjudged = unjudged || !counts;
        return QStringLiteral("%1%2").arg(r.v.value(QLatin1String(name)), 0, 'f', 2).arg(counts ? ' ' : '*');
    };
    for (const Row &r : rows) {
        const auto &v = r.v;
        std::printf("%8d %10.2f %10.2f %8.2f %10s %10.3f %10.3f %8.3f %10.2f %8s %10.2f %8s %10.0f%s\n", r.n,
                    v["floor_ms"], v["startup_ms"], v["startup_listing_ms"],
                    qPrintable(ratio(r, "startup_listing_ratio")), v["keystroke_median_ms"],
                    v["keystroke_p99_ms"], v["pick_median_ms"], v["save_relist_ms"],
                    qPrintable(ratio(r, "save_relist_ratio")), v["group_switch_ms"],
                    qPrintable(ratio(r, "group_switch_ratio")), v["peak_rss_kib"],
                    r.broken.isEmpty() ? "" : qPrintable(QStringLiteral("  BROKEN: ") + r.broken));
    }
    std::printf("(floor: readdir of one folder of N contact files and sorting the names with the same "
                "collation; start-up lists two such folders, its ratio is to twice that work)\n");
    if (unjudged)
        std::printf("(*: not judged, its floor is under %.0f ms, where fixed costs outweigh the work per "
                    "contact)\n",
                    JudgedFloorMs);

    double worstPick = 0, keystroke32767 = -1;
    int breakages = 0;
    for (const Row &r : rows) {
        worstPick = std::max(worstPick, r.v["pick_median_ms"]);
        if (r.n == 32767 || (keystroke32767 < 0 && &r == &rows.last()))
            keystroke32767 = r.v["keystroke_median_ms"];
        breakages += r.broken.isEmpty() ? 0 : 1;
    }
    double bytesPerContact = 0;
    if (rows.size() >= 2) {
        const Row &small = rows.first();
        const Row &large = rows.last();
        bytesPerContact =
            (large.v["peak_rss_kib"] - small.v["peak_rss_kib"]) * 1024.0 / (2.0 * (large.n - small.n));
    }
    ratioTarget("startup_listing_ratio_worst", rows, "startup_listing_ratio", 2);
    target(rows.last().n >= 32767 ? "keystroke_median_ms_at_32767" : "keystroke_median_ms_at_largest_n",
           keystroke32767, 1);
    target(rows.last().n >= 100000 ? "keystroke_p99_ms_at_100000" : "keystroke_p99_ms_at_largest_n",
           rows.last().v["keystroke_p99_ms"], 1);
    target("pick_median_ms_worst", worstPick, 0.5);
    ratioTarget("save_relist_ratio_worst", rows, "save_relist_ratio", 3);
    if (rows.size() >= 2)
        target("peak_memory_bytes_per_contact", bytesPerContact, 500);
    else
        std::printf("target peak_memory_bytes_per_contact - 500.000 not judged (one size)\n");
    target("broken_runs", breakages, 0);
    startupToFirstPaint(smoke ? 2 : 8);
    std::printf("\n");
    const int journalBroken = journalBenchmark(smoke ? 2000 : 200000, smoke);
    return breakages == 0 && journalBroken == 0 ? 0 : 1;
}
