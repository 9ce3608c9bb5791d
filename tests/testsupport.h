#pragma once

#include "platform/dialogs.h"
#include "platform/platform.h"
#include "shell/application.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

// Runs trigger, which may open a modal window and returns once it is closed.
// whileOpen gets the first modal window once it shows; a window it leaves open is
// closed, so that trigger returns. Gives the class names of the modal windows that
// showed.
inline QStringList runModal(const std::function<void()> &trigger,
                            const std::function<void(QDialog &)> &whileOpen = {})
{
    QStringList opened;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!modal)
            return;
        const bool first = opened.isEmpty();
        opened.append(QString::fromLatin1(modal->metaObject()->className()));
        if (first && whileOpen)
            whileOpen(*modal);
        if (modal->isVisible())
            modal->close();
    });
    poll.start(10);
    trigger();
    poll.stop();
    return opened;
}

// Answers the program's dialogs without showing a window and remembers what was asked.
class ScriptedDialogs : public Dialogs
{
public:
    struct Message
    {
        QString text;
        QString title;
        int flags;
    };

    int messageBox(const QString &text, const QString &title, int flags) override
    {
        messages.append({text, title, flags});
        return answers.isEmpty() ? Ok : answers.takeFirst();
    }
    QString inputBox(const QString &prompt, const QString &title, const QString &defaultText) override
    {
        prompts.append({prompt, title, 0});
        Q_UNUSED(defaultText);
        return inputs.isEmpty() ? QString() : inputs.takeFirst();
    }

    QList<Message> messages;
    QList<Message> prompts;
    QList<int> answers; // message-box answers, in turn; OK when none is left
    QStringList inputs; // input-box answers, in turn; cancel when none is left
};

// A program folder of its own in a temporary folder, with its settings file beside it.
class ProgramFolder
{
public:
    ProgramFolder() : root(dir.path() + QStringLiteral("/program")) { QDir().mkpath(root); }

    QString path(const QString &relative) const { return root + QLatin1Char('/') + relative; }
    QString settingsFile() const { return dir.path() + QStringLiteral("/settings.ini"); }

    void mkdir(const QString &relative) const { QVERIFY(QDir().mkpath(path(relative))); }
    void write(const QString &relative, const QByteArray &bytes) const
    {
        QFile f(path(relative));
        QDir().mkpath(QFileInfo(f).path());
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(f.errorString()));
        f.write(bytes);
    }
    QByteArray read(const QString &relative) const
    {
        QFile f(path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool exists(const QString &relative) const { return QFileInfo::exists(path(relative)); }
    QStringList entries(const QString &relative) const
    {
        return QDir(path(relative))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

    // Every file and folder below the temporary folder, settings included.
    QStringList tree() const
    {
        QStringList paths;
        QDirIterator it(dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            paths.append(it.next());
        paths.sort();
        return paths;
    }

    QTemporaryDir dir;
    QString root;
};

// Deletes go to the desktop's trash, found through HOME and XDG_DATA_HOME.
// A test program that deletes holds one of these, so that the user's own trash
// is never touched.
class TemporaryHome
{
public:
    TemporaryHome() : m_home(qgetenv("HOME")), m_dataHome(qgetenv("XDG_DATA_HOME"))
    {
        QDir().mkpath(dataHome());
        qputenv("HOME", QFile::encodeName(dir.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    }
    ~TemporaryHome()
    {
        qputenv("HOME", m_home);
        if (m_dataHome.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", m_dataHome);
    }
    QString dataHome() const { return dir.path() + QStringLiteral("/.local/share"); }
    // What the trash holds, by name.
    QStringList trashed() const
    {
        return QDir(dataHome() + QStringLiteral("/Trash/files"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir;

private:
    QByteArray m_home;
    QByteArray m_dataHome;
};

// Takes the right to write away from a file or folder, as the system does for a
// user without it. Tests run as root, who may write anything: meanwhile this
// thread sets aside the capability to override permissions.
class ReadOnly
{
public:
    explicit ReadOnly(const QString &path) : m_path(path), m_permissions(QFile::permissions(path))
    {
        QFile::setPermissions(path, m_permissions & ~(QFile::WriteOwner | QFile::WriteUser |
                                                      QFile::WriteGroup | QFile::WriteOther));
        if (s_depth++ == 0)
            overridePermissions(false);
    }
    ~ReadOnly()
    {
        if (--s_depth == 0)
            overridePermissions(true);
        QFile::setPermissions(m_path, m_permissions);
    }
    ReadOnly(const ReadOnly &) = delete;
    ReadOnly &operator=(const ReadOnly &) = delete;

private:
    static void overridePermissions(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) != 0)
            return;
        const quint32 bit = 1u << CAP_DAC_OVERRIDE;
        data[0].effective = on ? (data[0].effective | (data[0].permitted & bit)) : (data[0].effective & ~bit);
        ::syscall(SYS_capset, &header, data);
    }

    QString m_path;
    QFile::Permissions m_permissions;
    static inline int s_depth = 0;
};

// A small file system of its own mounted on an empty folder (tests run as root),
// unmounted when done. fill() leaves no free space.
class SmallDisk
{
public:
    explicit SmallDisk(const QString &folder) : m_folder(QFile::encodeName(folder))
    {
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, "size=128k") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    void fill() const
    {
        const int fd = ::open((m_folder + "/.filler").constData(), O_WRONLY | O_CREAT, 0600);
        const QByteArray block(4096, 'x');
        while (fd >= 0 && ::write(fd, block.constData(), block.size()) > 0) {
        }
        // The last, partial block.
        while (fd >= 0 && ::write(fd, block.constData(), 1) > 0) {
        }
        ::close(fd);
    }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

inline QByteArray gbk(const char *utf8)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(QString::fromUtf8(utf8));
}

// A contact file as a save writes it: nine CRLF lines.
inline QByteArray contactBytes(const QStringList &keys, const QStringList &values)
{
    QStringEncoder encoder("GBK");
    QByteArray bytes = "[Pellory]\r\n";
    for (int i = 0; i < keys.size(); ++i)
        bytes += encoder.encode(keys[i] + QLatin1Char('=') + values.value(i)) + "\r\n";
    return bytes;
}

// Some cases need a process of their own: libcups settles on its printing server
// once per process, and the browser engine needs a sanitizer check off. Such a
// case runs itself again in a child process, which it recognises by this.
inline bool inCaseProcess()
{
    return qEnvironmentVariableIsSet("QUILLBOX_CASE_PROCESS");
}

// Runs one row of one test function of this test program in a child process whose
// environment adjust() changes; passed tells whether it passed there, and the
// child's output is returned to explain a failure.
inline QString runCaseInOwnProcess(const QString &function, const QString &row,
                                   const std::function<void(QProcessEnvironment &)> &adjust, bool *passed)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLBOX_CASE_PROCESS", "1");
    adjust(environment);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"-platform", "offscreen", function + ':' + row});
    const bool finished = child.waitForFinished(120000);
    const QString output = QString::fromLocal8Bit(child.readAll());
    *passed = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
              output.contains("PASS   : ") && output.contains("::" + function + '(' + row + ')');
    return output;
}

#define QUILLBOX_TEST_MAIN(TestClass)                                                                        \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        prepareApplication();                                                                                \
        QApplication app(argc, argv);                                                                        \
        setUpApplication(app);                                                                               \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
