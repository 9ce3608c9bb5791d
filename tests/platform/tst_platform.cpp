// The platform layer on real files in a temporary program folder: the profile
// format byte for byte, the GBK/GB18030 text, names matched without regard to
// case, listings, deletes and the settings store; and, under strace, that a save's
// data is on disk before the new file takes the old one's place.
#include "platform/instancelock.h"
#include "platform/platform.h"
#include "platform/profile.h"
#include "platform/textcodec.h"
#include "testsupport.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <sys/stat.h>

namespace {

// A save's steps as strace recorded them (strace -f -o): every rename or link
// that puts a file at the target, and whether that file had been flushed
// (fsync, fdatasync) before. Files are followed from their openat, by name and
// descriptor, so any temporary naming is seen, O_TMPFILE included.
class SaveTrace
{
public:
    struct Install
    {
        QString from;
        bool flushed;
    };

    SaveTrace(const QByteArray &log, const QString &target)
    {
        static const QRegularExpression call(QStringLiteral(R"(^(\d+)\s+(\w+)\((.*)\)\s+=\s+(-?\d+))"));
        static const QRegularExpression resumed(QStringLiteral(R"(^(\d+)\s+<\.\.\. \w+ resumed>(.*)$)"));
        QHash<QString, QString> unfinished; // pid: the call's start
        for (QString line : QString::fromLatin1(log).split(QLatin1Char('\n'))) {
            if (line.endsWith(QStringLiteral(" <unfinished ...>"))) {
                unfinished[line.section(QLatin1Char(' '), 0, 0)] = line.chopped(17);
                continue;
            }
            if (const auto m = resumed.match(line); m.hasMatch())
                line = unfinished.take(m.captured(1)) + m.captured(2);
            const auto m = call.match(line);
            if (m.hasMatch() && m.captured(4).toInt() >= 0)
                step(m.captured(2), arguments(m.captured(3)), m.captured(4).toInt(), target);
        }
    }

    QList<Install> installs;
    bool folderFlushedAfterInstall = false;

private:
    // The call's arguments, strings unquoted and decoded as file names.
    static QStringList arguments(const QString &text)
    {
        QStringList args;
        QByteArray current;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char c = text[i].toLatin1();
            if (c == '"') {
                for (++i; i < text.size() && text[i] != QLatin1Char('"'); ++i) {
                    if (text[i] != QLatin1Char('\\')) {
                        current += text[i].toLatin1();
                        continue;
                    }
                    const char e = text[++i].toLatin1();
                    if (e >= '0' && e <= '7') {
                        int value = 0;
                        for (int n = 0; n < 3 && i < text.size() && text[i] >= QLatin1Char('0') &&
                                        text[i] <= QLatin1Char('7');
                             ++n, ++i)
                            value = value * 8 + (text[i].toLatin1() - '0');
                        --i;
                        current += static_cast<char>(value);
                    } else {
                        switch (e) {
                        case 'n':
                            current += '\n';
                            break;
                        case 't':
                            current += '\t';
                            break;
                        case 'r':
                            current += '\r';
                            break;
                        case 'v':
                            current += '\v';
                            break;
                        case 'f':
                            current += '\f';
                            break;
                        default:
                            current += e; // '"' and '\\'
                        }
                    }
                }
            } else if (c == ',') {
                args.append(QFile::decodeName(current.trimmed()));
                current.clear();
            } else {
                current += c;
            }
        }
        args.append(QFile::decodeName(current.trimmed()));
        return args;
    }

    QString path(const QString &dirfd, const QString &name) const
    {
        return name.startsWith(QLatin1Char('/')) || dirfd == QStringLiteral("AT_FDCWD")
                   ? name
                   : m_fdPath.value(dirfd.toInt()) + QLatin1Char('/') + name;
    }

    void place(int file, const QString &from, const QString &to, const QString &target)
    {
        m_nameFile[to] = file;
        if (to == target) {
            installs.append({from, m_flushed.contains(file)});
            folderFlushedAfterInstall = false;
        }
    }

    void step(const QString &name, const QStringList &a, int result, const QString &target)
    {
        if (name == QStringLiteral("openat") && a.size() >= 3) {
            const QString file = path(a[0], a[1]);
            const bool unnamed = a[2].contains(QStringLiteral("O_TMPFILE"));
            const bool fresh = unnamed || a[2].contains(QStringLiteral("O_EXCL")) ||
                               a[2].contains(QStringLiteral("O_TRUNC")) || !m_nameFile.contains(file);
            const int id = fresh ? ++m_files : m_nameFile.value(file);
            if (!unnamed)
                m_nameFile[file] = id;
            m_fdFile[result] = id;
            m_fdPath[result] = file;
            m_fdFolder[result] =
                !unnamed && (a[2].contains(QStringLiteral("O_DIRECTORY")) || QFileInfo(file).isDir());
        } else if ((name == QStringLiteral("fsync") || name == QStringLiteral("fdatasync")) && !a.isEmpty()) {
            const int fd = a[0].toInt();
            if (m_fdFile.contains(fd))
                m_flushed.insert(m_fdFile[fd]);
            if (m_fdFolder.value(fd) && !installs.isEmpty() &&
                QFileInfo(m_fdPath[fd]) == QFileInfo(QFileInfo(target).path()))
                folderFlushedAfterInstall = true;
        } else if (name.startsWith(QStringLiteral("rename"))) {
            const bool at = name != QStringLiteral("rename");
            if (a.size() < (at ? 4 : 2))
                return;
            const QString from = at ? path(a[0], a[1]) : a[0];
            const QString to = at ? path(a[2], a[3]) : a[1];
            place(m_nameFile.take(from), from, to, target); // 0: a file not seen opened
        } else if (name == QStringLiteral("linkat") && a.size() >= 4) {
            static const QRegularExpression byFd(QStringLiteral(R"(^/proc/self/fd/(\d+)$)"));
            const auto fd = byFd.match(a[1]);
            const QString from = path(a[0], a[1]);
            const int file = fd.hasMatch()    ? m_fdFile.value(fd.captured(1).toInt())
                             : a[1].isEmpty() ? m_fdFile.value(a[0].toInt())
                                              : m_nameFile.value(from);
            place(file, from, path(a[2], a[3]), target);
        }
    }

    int m_files = 0; // files are numbered from 1
    QHash<int, int> m_fdFile;
    QHash<int, QString> m_fdPath;
    QHash<int, bool> m_fdFolder;
    QHash<QString, int> m_nameFile;
    QSet<int> m_flushed;
};

} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        ProgramFolder folder;
        ScriptedDialogs dialogs;
        Platform platform{folder.root, folder.settingsFile(), dialogs};
        QString path(const QString &relative) const { return folder.path(relative); }
    };

private Q_SLOTS:
    void codec_data();
    void codec();
    void codecKeepsTrailByte0x80();
    void characterBoundary();

    void read_data();
    void read();
    void write_data();
    void write();
    void writeSeveralKeysAtOnce();
    void writtenKeyReadsBack_data();
    void writtenKeyReadsBack();

    void chineseRoundTripOnDisk();
    void readingMissingFileCreatesNothing();
    void writeCreatesFileButNoFolder();
    void writeRefusesFolderAndOutsidePaths();
    void longValueIsCutWithoutSplittingCharacters_data();
    void longValueIsCutWithoutSplittingCharacters();
    void unchangedWriteLeavesFileAlone();
    void writeLeavesNoTemporaryFile();
    void saveFlushesFileBeforeRename();

    void resolveMatchesNamesWithoutCase();
    void namesFollowChangesFromBothSides();
    void listContactFiles();
    void listSubfolders();
    void createFolderReportsWhy();
    void deleteOperations();
    void settingsPersistAcrossRuns();
    void oneProgramPerFolder();
};

void PlatformTest::codec_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << QStringLiteral("ABC 123") << QByteArray("ABC 123");
    QTest::newRow("hanzi") << QStringLiteral("张三") << QByteArray::fromHex("d5c5c8fd");
    QTest::newRow("euro is code page 936's 0x80") << QStringLiteral("€5") << QByteArray::fromHex("8035");
    QTest::newRow("outside GBK: 䶮") << QStringLiteral("王䶮") << QByteArray::fromHex("cdf5fe9f");
    QTest::newRow("outside GBK: emoji") << QStringLiteral("a😀b") << QByteArray::fromHex("619439fc3662");
    QTest::newRow("fullwidth punctuation") << QStringLiteral("（寄件单位）") << gbk("（寄件单位）");
}

void PlatformTest::codec()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(TextCodec::encode(text), bytes);
    QCOMPARE(TextCodec::decode(bytes), text);
}

void PlatformTest::codecKeepsTrailByte0x80()
{
    // 0x80 as the second byte of a character is that character, not a euro sign.
    const QByteArray bytes = QByteArray::fromHex("8180") + "x" + QByteArray::fromHex("80");
    QStringDecoder gb18030("GB18030");
    const QString expected = gb18030.decode(QByteArray::fromHex("8180")) + QStringLiteral("x€");
    QCOMPARE(TextCodec::decode(bytes), expected);
    QCOMPARE(TextCodec::encode(expected), bytes);
}

void PlatformTest::characterBoundary()
{
    const QByteArray bytes = "a" + QByteArray::fromHex("d5c5") + QByteArray::fromHex("9439fc36") + "b";
    QCOMPARE(TextCodec::characterBoundary(bytes, 0), 0);
    QCOMPARE(TextCodec::characterBoundary(bytes, 2), 1);
    QCOMPARE(TextCodec::characterBoundary(bytes, 3), 3);
    QCOMPARE(TextCodec::characterBoundary(bytes, 6), 3);
    QCOMPARE(TextCodec::characterBoundary(bytes, 7), 7);
    QCOMPARE(TextCodec::characterBoundary(bytes, 100), bytes.size());
}

void PlatformTest::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected"); // "<none>" when absent

    const QByteArray file = "[Pellory]\r\ntxtSent=ABC\r\ntxtName=" + gbk("张三") + "\r\n";
    QTest::newRow("plain") << file << "Pellory"
                           << "txtName" << QStringLiteral("张三");
    QTest::newRow("section in other case") << file << "PELLORY"
                                           << "txtSent"
                                           << "ABC";
    QTest::newRow("section with blanks") << file << "  pellory "
                                         << "txtSent"
                                         << "ABC";
    QTest::newRow("key in other case, blanks") << file << "Pellory"
                                               << " TXTSENT "
                                               << "ABC";
    QTest::newRow("missing key") << file << "Pellory"
                                 << "txtZip"
                                 << "<none>";
    QTest::newRow("missing section") << file << "Other"
                                     << "txtSent"
                                     << "<none>";
    QTest::newRow("empty file") << QByteArray() << "Pellory"
                                << "txtSent"
                                << "<none>";
    QTest::newRow("empty value") << QByteArray("[Pellory]\r\ntxtTel=\r\n") << "Pellory"
                                 << "txtTel"
                                 << "";
    QTest::newRow("blanks in file names") << QByteArray("  [ Pellory ]  \r\n  txtSent  =x\r\n") << "Pellory"
                                          << "txtSent"
                                          << "x";
    QTest::newRow("blanks around value dropped") << QByteArray("[P]\r\nk= \t a b \t\r\n") << "P"
                                                 << "k"
                                                 << "a b";
    QTest::newRow("one pair of quotes dropped") << QByteArray("[P]\r\nk= \"\"a\"\" \r\n") << "P"
                                                << "k"
                                                << "\"a\"";
    QTest::newRow("lone quote kept") << QByteArray("[P]\r\nk=\"a\r\n") << "P"
                                     << "k"
                                     << "\"a";
    QTest::newRow("first of two keys") << QByteArray("[P]\r\nk=1\r\nK=2\r\n") << "P"
                                       << "k"
                                       << "1";
    QTest::newRow("only the first matching section")
        << QByteArray("[P]\r\na=1\r\n[Q]\r\nb=2\r\n[p]\r\nb=3\r\n") << "P"
        << "b"
        << "<none>";
    QTest::newRow("key of another section") << QByteArray("[Q]\r\nk=1\r\n[P]\r\n") << "P"
                                            << "k"
                                            << "<none>";
    QTest::newRow("line without equals") << QByteArray("[P]\r\nk\r\nk=2\r\n") << "P"
                                         << "k"
                                         << "2";
    QTest::newRow("equals inside the value") << QByteArray("[P]\r\nk=a=b\r\n") << "P"
                                             << "k"
                                             << "a=b";
    QTest::newRow("LF line ends") << QByteArray("[P]\nk=v\n") << "P"
                                  << "k"
                                  << "v";
    QTest::newRow("no line end at the end") << QByteArray("[P]\r\nk=v") << "P"
                                            << "k"
                                            << "v";
    // Lone CR line ends read exactly as CR LF ones.
    const QByteArray loneCr = "[Pellory]\rtxtSent= \"ABC\" \rtxtName=" + gbk("张三") + "\r";
    QTest::newRow("lone CR: quotes dropped, case ignored") << loneCr << " pellory "
                                                           << "TXTSENT"
                                                           << "ABC";
    QTest::newRow("lone CR: last key") << loneCr << "Pellory"
                                       << "txtName" << QStringLiteral("张三");
    QTest::newRow("lone CR: second section") << QByteArray("[Q]\rk=1\r[P]\rk=2") << "P"
                                             << "k"
                                             << "2";
    QTest::newRow("mixed line ends") << QByteArray("[Q]\nk=1\r\n[P]\ra=1\rk=2\r\nz=3\r") << "P"
                                     << "k"
                                     << "2";
    QTest::newRow("CR CR LF") << QByteArray("[P]\r\r\nk=v\r\r\n") << "P"
                              << "k"
                              << "v";
    QTest::newRow("lone CR at the end is a line end") << QByteArray("[P]\r\nk=\"v\"\r") << "P"
                                                      << "k"
                                                      << "v";
    QTest::newRow("UTF-8 with byte order mark") << QByteArray("\xEF\xBB\xBF[P]\r\nk=\xE5\xBC\xA0\r\n") << "P"
                                                << "k" << QStringLiteral("张");
    QTest::newRow("only a byte order mark") << QByteArray("\xEF\xBB\xBF") << "P"
                                            << "k"
                                            << "<none>";
    // 0xB0 0x5D is one GBK character whose second byte is ']'.
    QStringDecoder decoder("GBK");
    const QString bracketChar = decoder.decode(QByteArray::fromHex("b05d"));
    QTest::newRow("']' as a second byte") << QByteArray("[" + QByteArray::fromHex("b05d") + "x]\r\nk=1\r\n")
                                          << QString(bracketChar + QLatin1Char('x')) << "k"
                                          << "1";
    QTest::newRow("random bytes") << QByteArray::fromHex("00ff80815b3d0a0d5d") << "P"
                                  << "k"
                                  << "<none>";
}

void PlatformTest::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const auto value = Profile::read(content, section, key);
    QCOMPARE(value.value_or(QStringLiteral("<none>")), expected);
}

void PlatformTest::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << QByteArray() << "txtSent"
                              << "ABC" << QByteArray("[Pellory]\r\ntxtSent=ABC\r\n");
    QTest::newRow("replace keeps other lines and order")
        << QByteArray("; note\r\n[Pellory]\r\na=1\r\nb=2\r\nc=3\r\n[Other]\r\nb=9\r\n") << "B"
        << "two" << QByteArray("; note\r\n[Pellory]\r\na=1\r\nb=two\r\nc=3\r\n[Other]\r\nb=9\r\n");
    QTest::newRow("replace keeps the line's own spelling and end")
        << QByteArray("[pellory]\n  TxtSent = old  \nx=y") << "txtSent"
        << "new" << QByteArray("[pellory]\n  TxtSent =new\nx=y");
    QTest::newRow("only the first of two equal keys") << QByteArray("[Pellory]\r\nk=1\r\nK=2\r\n") << "k"
                                                      << "x" << QByteArray("[Pellory]\r\nk=x\r\nK=2\r\n");
    QTest::newRow("add key after the section's last line")
        << QByteArray("[Pellory]\r\na=1\r\n\r\n[Other]\r\n") << "b"
        << "2" << QByteArray("[Pellory]\r\na=1\r\nb=2\r\n\r\n[Other]\r\n");
    QTest::newRow("add section to a file without final line end")
        << QByteArray("[Other]\nx=1") << "k"
        << "v" << QByteArray("[Other]\nx=1\r\n[Pellory]\r\nk=v\r\n");
    QTest::newRow("add key to a last line without end") << QByteArray("[Pellory]\r\na=1") << "b"
                                                        << "2" << QByteArray("[Pellory]\r\na=1\r\nb=2\r\n");
    // Untouched lines keep their bytes, a replaced line its own end; new lines get CR LF.
    QTest::newRow("replace in a lone-CR file")
        << QByteArray("[Pellory]\rtxtSent=old\rtxtName=x\r") << "TXTSENT"
        << "new" << QByteArray("[Pellory]\rtxtSent=new\rtxtName=x\r");
    QTest::newRow("add key to a lone-CR file") << QByteArray("[Pellory]\ra=1\r\r[Other]\rb=2") << "b"
                                               << "2" << QByteArray("[Pellory]\ra=1\rb=2\r\n\r[Other]\rb=2");
    QTest::newRow("add section to a lone-CR file") << QByteArray("[Other]\rx=1\r") << "k"
                                                   << "v" << QByteArray("[Other]\rx=1\r[Pellory]\r\nk=v\r\n");
    QTest::newRow("mixed line ends kept") << QByteArray("[pellory]\nk=1\r\nz=\"q\"\r") << "Z"
                                          << "r" << QByteArray("[pellory]\nk=1\r\nz=r\r");
    QTest::newRow("line breaks in a value become blanks")
        << QByteArray() << "k"
        << "a\r\n[x]\nb" << QByteArray("[Pellory]\r\nk=a  [x] b\r\n");
    QTest::newRow("Chinese value in GBK") << QByteArray() << "txtName" << QStringLiteral("张三")
                                          << QByteArray("[Pellory]\r\ntxtName=" + gbk("张三") + "\r\n");
    QTest::newRow("byte order mark kept, text in UTF-8")
        << QByteArray("\xEF\xBB\xBF") << "k" << QStringLiteral("张")
        << QByteArray("\xEF\xBB\xBF[Pellory]\r\nk=\xE5\xBC\xA0\r\n");
}

void PlatformTest::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QCOMPARE(Profile::write(before, u"Pellory", {{key, value}}), after);
}

void PlatformTest::writeSeveralKeysAtOnce()
{
    // One write of several keys equals the same single writes in a row.
    const QByteArray start("x=0\r\n[pellory]\r\nb=old\r\n");
    const Profile::Values values{{QStringLiteral("a"), QStringLiteral("1")},
                                 {QStringLiteral("b"), QStringLiteral("2")},
                                 {QStringLiteral("c"), QStringLiteral("3")}};
    QByteArray stepByStep = start;
    for (const auto &value : values)
        stepByStep = Profile::write(stepByStep, u"Pellory", {value});
    QCOMPARE(Profile::write(start, u"Pellory", values), stepByStep);
    QCOMPARE(stepByStep, QByteArray("x=0\r\n[pellory]\r\nb=2\r\na=1\r\nc=3\r\n"));
}

void PlatformTest::writtenKeyReadsBack_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    // Found by fuzzing: names with blanks other than space and tab, and files whose
    // last line ends in a lone CR.
    QTest::newRow("vertical tab in a key") << QByteArray() << "Pellory"
                                           << "*\v";
    QTest::newRow("form feed around a section") << QByteArray("[\fP]\r\n") << "\fP"
                                                << "k";
    QTest::newRow("last line ends in a lone CR") << QByteArray("\n\xC2\r") << "s"
                                                 << "k";
    QTest::newRow("lone CR after a section line") << QByteArray("[s]\r") << "s"
                                                  << "k";
}

void PlatformTest::writtenKeyReadsBack()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    const QByteArray after = Profile::write(before, section, {{key, "value"}});
    QCOMPARE(Profile::read(after, section, key).value_or("<none>"), QStringLiteral("value"));
    QVERIFY(after.startsWith(before));
}

void PlatformTest::chineseRoundTripOnDisk()
{
    Fixture f;
    const QString file = f.path(QStringLiteral("c.dat"));
    QVERIFY(f.platform.writeProfileStrings(file, u"Pellory",
                                           {{QStringLiteral("txtName"), QStringLiteral("张三")},
                                            {QStringLiteral("txtA"), QStringLiteral("王䶮😀")}}));
    QCOMPARE(
        f.folder.read(QStringLiteral("c.dat")),
        QByteArray("[Pellory]\r\ntxtName=\xD5\xC5\xC8\xFD\r\ntxtA=\xCD\xF5\xFE\x9F\x94\x39\xFC\x36\r\n"));
    QCOMPARE(f.platform.readProfileString(file, u"pellory", u"TXTNAME", QString()), QStringLiteral("张三"));
    QCOMPARE(f.platform.readProfileString(file, u"Pellory", u"txtA", QString()), QStringLiteral("王䶮😀"));
}

void PlatformTest::readingMissingFileCreatesNothing()
{
    Fixture f;
    QCOMPARE(f.platform.readProfileString(f.path(QStringLiteral("none.dat")), u"Pellory", u"k",
                                          QStringLiteral("dflt")),
             QStringLiteral("dflt"));
    QCOMPARE(f.platform.readProfileString(f.path(QStringLiteral("no/none.dat")), u"Pellory", u"k", QString()),
             QString());
    QVERIFY(f.folder.entries(QString()).isEmpty());
}

void PlatformTest::writeCreatesFileButNoFolder()
{
    Fixture f;
    QVERIFY(!f.platform.writeProfileStrings(f.path(QStringLiteral("missing/a.dat")), u"P", {{"k", "v"}}));
    QVERIFY(f.folder.entries(QString()).isEmpty());
    QVERIFY(f.platform.writeProfileStrings(f.path(QStringLiteral("a.dat")), u"P", {{"k", "v"}}));
    QCOMPARE(f.folder.read(QStringLiteral("a.dat")), QByteArray("[P]\r\nk=v\r\n"));
}

void PlatformTest::writeRefusesFolderAndOutsidePaths()
{
    Fixture f;
    f.folder.mkdir(QStringLiteral("sent/x.dat"));
    QVERIFY(!f.platform.writeProfileStrings(f.path(QStringLiteral("sent/x.dat")), u"P", {{"k", "v"}}));
    QVERIFY(!f.platform.writeProfileStrings(f.path(QStringLiteral("sent/")), u"P", {{"k", "v"}}));
    QCOMPARE(f.platform.readProfileString(f.path(QStringLiteral("sent/x.dat")), u"P", u"k", QString()),
             QString());
    // Nothing outside the program folder, however the path is spelled.
    QVERIFY(
        !f.platform.writeProfileStrings(f.path(QStringLiteral("sent/../../escape.dat")), u"P", {{"k", "v"}}));
    QVERIFY(!f.platform.writeProfileStrings(f.folder.dir.path() + QStringLiteral("/escape.dat"), u"P",
                                            {{"k", "v"}}));
    QVERIFY(!f.platform.writeProfileStrings(f.path(QStringLiteral("sent//y.dat")), u"P", {{"k", "v"}}));
    QVERIFY(!QFileInfo::exists(f.folder.dir.path() + QStringLiteral("/escape.dat")));
    QCOMPARE(f.folder.entries(QStringLiteral("sent")), QStringList{QStringLiteral("x.dat")});
}

void PlatformTest::longValueIsCutWithoutSplittingCharacters_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("40,000 ASCII bytes")
        << QString(40000, QLatin1Char('x')) << QString(32766, QLatin1Char('x'));
    // 1 + 2 x 20,000 bytes: the cut at 32,766 would split the 16,383rd character.
    QTest::newRow("two-byte characters") << QString(QLatin1Char('a') + QString(20000, QChar(0x5F20)))
                                         << QString(QLatin1Char('a') + QString(16382, QChar(0x5F20)));
    QTest::newRow("exactly the limit")
        << QString(32766, QLatin1Char('y')) << QString(32766, QLatin1Char('y'));
}

void PlatformTest::longValueIsCutWithoutSplittingCharacters()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    Fixture f;
    const QString file = f.path(QStringLiteral("long.dat"));
    QVERIFY(f.platform.writeProfileStrings(file, u"Pellory", {{QStringLiteral("k"), value}}));
    const QString read = f.platform.readProfileString(file, u"Pellory", u"k", QString());
    QCOMPARE(read.size(), expected.size());
    QCOMPARE(read, expected);
    // The file itself keeps the whole value.
    QVERIFY(f.folder.read(QStringLiteral("long.dat")).size() > TextCodec::encode(expected).size() ||
            value == expected);
}

void PlatformTest::unchangedWriteLeavesFileAlone()
{
    Fixture f;
    const QString file = f.path(QStringLiteral("a.dat"));
    QVERIFY(f.platform.writeProfileStrings(file, u"P", {{"k", "v"}}));
    const auto inode = QFileInfo(file).fileTime(QFileDevice::FileModificationTime);
    QFile::setPermissions(file, QFile::ReadOwner); // a rewrite would still succeed by rename
    const QByteArray before = f.folder.read(QStringLiteral("a.dat"));
    QVERIFY(f.platform.writeProfileStrings(file, u"p", {{"K", "v"}}));
    QCOMPARE(f.folder.read(QStringLiteral("a.dat")), before);
    QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime), inode);
}

void PlatformTest::writeLeavesNoTemporaryFile()
{
    Fixture f;
    f.folder.mkdir(QStringLiteral("sent"));
    for (int i = 0; i < 5; ++i)
        QVERIFY(f.platform.writeProfileStrings(f.path(QStringLiteral("sent/a.dat")), u"P",
                                               {{QStringLiteral("k"), QString::number(i)}}));
    QCOMPARE(f.folder.entries(QStringLiteral("sent")), QStringList{QStringLiteral("a.dat")});
}

void PlatformTest::saveFlushesFileBeforeRename()
{
    const QString contact = QStringLiteral("sent/ABC - Zhang.dat");
    if (inCaseProcess()) {
        // The traced process: a new contact saved, then changed.
        ScriptedDialogs dialogs;
        const QString root = qEnvironmentVariable("QUILLBOX_TRACED_ROOT");
        Platform platform(root, root + QStringLiteral(".ini"), dialogs);
        const QString file = root + QLatin1Char('/') + contact;
        QVERIFY(platform.writeProfileStrings(file, u"Pellory", {{"txtSent", "ABC"}, {"txtName", "Zhang"}}));
        QVERIFY(platform.writeProfileStrings(file, u"Pellory", {{"txtTel", "13800000000"}}));
        return;
    }
    ProgramFolder folder;
    folder.mkdir(QStringLiteral("sent"));
    const QString log = folder.dir.path() + QStringLiteral("/strace.log");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLBOX_CASE_PROCESS", "1");
    environment.insert("QUILLBOX_TRACED_ROOT", folder.root);
    // LeakSanitizer stops the process with ptrace, which strace already holds.
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + QStringLiteral(":detect_leaks=0"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("strace"),
                {"-f", "-o", log, "-e", "trace=openat,fsync,fdatasync,rename,renameat,renameat2,linkat",
                 QCoreApplication::applicationFilePath(), "-platform", "offscreen",
                 "saveFlushesFileBeforeRename"});
    QVERIFY2(child.waitForStarted(), "strace is needed (scripts/packages-test.txt)");
    QVERIFY(child.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(child.exitCode() == 0 && output.contains("PASS   : PlatformTest::saveFlushesFileBeforeRename()"),
             qPrintable(output));
    QVERIFY(folder.read(contact).contains("txtTel=13800000000\r\n"));

    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const SaveTrace trace(file.readAll(), folder.path(contact));
    // One step per save puts the new file in place (a power cut after it must
    // find the data on disk, not an empty file).
    QCOMPARE(trace.installs.size(), 2);
    for (const SaveTrace::Install &install : trace.installs)
        QVERIFY2(install.flushed,
                 qPrintable(install.from + QStringLiteral(" was not flushed before it was put in place")));
    QVERIFY2(trace.folderFlushedAfterInstall, "the folder was not flushed after the last save's rename");
}

void PlatformTest::resolveMatchesNamesWithoutCase()
{
    Fixture f;
    f.folder.mkdir(QStringLiteral("to/Group"));
    f.folder.write(QStringLiteral("to/Group/ABC - x.dat"), "[P]\r\nk=upper\r\n");
    const Platform &p = f.platform;
    QCOMPARE(p.resolve(f.path(QStringLiteral("TO/group/abc - X.DAT"))),
             f.path(QStringLiteral("to/Group/ABC - x.dat")));
    QCOMPARE(p.resolve(f.path(QStringLiteral("To/GROUP/"))), f.path(QStringLiteral("to/Group/")));
    // Names not there keep their spelling below the part that was found.
    QCOMPARE(p.resolve(f.path(QStringLiteral("TO/new/a.dat"))), f.path(QStringLiteral("to/new/a.dat")));
    QCOMPARE(p.readProfileString(f.path(QStringLiteral("to/group/abc - x.dat")), u"P", u"k", QString()),
             QStringLiteral("upper"));
    // Writing in other case updates the same file.
    QVERIFY(p.writeProfileStrings(f.path(QStringLiteral("TO/GROUP/abc - X.dat")), u"P", {{"k", "lower"}}));
    QCOMPARE(f.folder.entries(QStringLiteral("to/Group")), QStringList{QStringLiteral("ABC - x.dat")});
    QCOMPARE(f.folder.read(QStringLiteral("to/Group/ABC - x.dat")), QByteArray("[P]\r\nk=lower\r\n"));
    // An exact match wins over one in other case.
    f.folder.write(QStringLiteral("to/Group/abc - x.dat"), "[P]\r\nk=exact\r\n");
    QCOMPARE(p.readProfileString(f.path(QStringLiteral("to/Group/abc - x.dat")), u"P", u"k", QString()),
             QStringLiteral("exact"));
    QCOMPARE(p.resolve(f.path(QStringLiteral("to/../x"))), QString());
    QCOMPARE(p.resolve(QStringLiteral("/etc/passwd")), QString());
}

// What the platform knows of a folder's names (kept so that thousands of new
// contacts do not read the folder each time) follows its own changes and those
// of other programs.
void PlatformTest::namesFollowChangesFromBothSides()
{
    Fixture f;
    f.folder.write(QStringLiteral("g/Alpha - x.dat"), "[P]\r\nk=a\r\n");
    // Changed long ago, so that what is seen of it is kept.
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(f.path(QStringLiteral("g"))).constData(), past, 0) == 0);
    const Platform &p = f.platform;
    QVERIFY(p.fileExists(f.path(QStringLiteral("g/ALPHA - X.dat"))));
    for (int i = 0; i < 50; ++i) {
        const QString name = QStringLiteral("g/新%1.dat").arg(i);
        QVERIFY(!p.fileExists(f.path(name.toUpper())));
        QVERIFY(p.writeProfileStrings(f.path(name), u"P", {{QStringLiteral("k"), QString::number(i)}}));
        QCOMPARE(p.resolve(f.path(name.toUpper())), f.path(name));
    }
    QVERIFY(p.deleteFile(f.path(QStringLiteral("g/新7.DAT"))));
    QCOMPARE(p.resolve(f.path(QStringLiteral("g/新7.DAT"))), f.path(QStringLiteral("g/新7.DAT")));
    QVERIFY(p.createFolder(f.path(QStringLiteral("g/Sub/"))));
    QVERIFY(p.folderExists(f.path(QStringLiteral("G/SUB/"))));

    // Another program adds, renames and deletes.
    f.folder.write(QStringLiteral("g/Beta.dat"), "[P]\r\nk=b\r\n");
    QCOMPARE(p.readProfileString(f.path(QStringLiteral("g/BETA.DAT")), u"P", u"k", QString()),
             QStringLiteral("b"));
    QVERIFY(QFile::rename(f.path(QStringLiteral("g/新3.dat")), f.path(QStringLiteral("g/Gamma.dat"))));
    QCOMPARE(p.resolve(f.path(QStringLiteral("g/新3.DAT"))), f.path(QStringLiteral("g/新3.DAT")));
    QCOMPARE(p.resolve(f.path(QStringLiteral("g/GAMMA.dat"))), f.path(QStringLiteral("g/Gamma.dat")));
    QVERIFY(QFile::remove(f.path(QStringLiteral("g/Alpha - x.dat"))));
    QVERIFY(!p.fileExists(f.path(QStringLiteral("g/alpha - x.dat"))));
    QCOMPARE(p.listContactFiles(f.path(QStringLiteral("g/"))).size(), 50);
}

void PlatformTest::listContactFiles()
{
    Fixture f;
    for (const char *name : {"b.dat", "a.dat", "c.txt", "a.b.dat", ".dat", "X.DAT", "y.Dat", "z.data", "dat"})
        f.folder.write(QStringLiteral("sent/") + QString::fromUtf8(name), "");
    f.folder.mkdir(QStringLiteral("sent/folder.dat"));
    f.folder.write(QStringLiteral("sent/张三.dat"), "");
    QStringList names = f.platform.listContactFiles(f.path(QStringLiteral("SENT/")));
    names.sort();
    QCOMPARE(names, (QStringList{".dat", "X.DAT", "a.b.dat", "a.dat", "b.dat", "y.Dat",
                                 QStringLiteral("张三.dat")}));
    QVERIFY(f.platform.listContactFiles(f.path(QStringLiteral("missing/"))).isEmpty());
}

void PlatformTest::listSubfolders()
{
    Fixture f;
    f.folder.mkdir(QStringLiteral("to/_未分类"));
    f.folder.mkdir(QStringLiteral("to/客户"));
    f.folder.write(QStringLiteral("to/file.dat"), "");
    QStringList names = f.platform.listSubfolders(f.path(QStringLiteral("to/")));
    names.sort();
    QCOMPARE(names, (QStringList{QStringLiteral("_未分类"), QStringLiteral("客户")}));
    QVERIFY(f.platform.folderExists(f.path(QStringLiteral("TO/_未分类/"))));
    QVERIFY(!f.platform.folderExists(f.path(QStringLiteral("to/file.dat"))));
}

void PlatformTest::createFolderReportsWhy()
{
    Fixture f;
    QString why;
    QVERIFY(f.platform.createFolder(f.path(QStringLiteral("to/")), &why));
    QVERIFY(f.folder.exists(QStringLiteral("to")));
    f.folder.write(QStringLiteral("sent"), "not a folder");
    QVERIFY(!f.platform.createFolder(f.path(QStringLiteral("sent/")), &why));
    QCOMPARE(why, QStringLiteral("已有同名的文件。"));
    QVERIFY(!f.platform.createFolder(f.path(QStringLiteral("a/b/")), &why));
    QCOMPARE(why, QStringLiteral("上一级文件夹不存在。"));
}

void PlatformTest::deleteOperations()
{
    Fixture f;
    f.folder.write(QStringLiteral("g/one.dat"), "1");
    f.folder.write(QStringLiteral("g/Two.txt"), "2");
    f.folder.write(QStringLiteral("g/noext"), "3");
    QVERIFY(f.platform.deleteFile(f.path(QStringLiteral("G/ONE.dat"))));
    QVERIFY(!f.platform.deleteFile(f.path(QStringLiteral("g/one.dat"))));
    QVERIFY(!f.platform.deleteFile(f.path(QStringLiteral("g/"))));
    QVERIFY(!f.platform.removeFolder(f.path(QStringLiteral("g/"))));

    f.folder.mkdir(QStringLiteral("g/sub"));
    for (const QString &name : f.platform.listFiles(f.path(QStringLiteral("g/"))))
        QVERIFY(f.platform.deleteFile(f.path(QStringLiteral("g/") + name)));
    QCOMPARE(f.folder.entries(QStringLiteral("g")), QStringList{QStringLiteral("sub")});
    QVERIFY(!f.platform.removeFolder(f.path(QStringLiteral("g/"))));
    QVERIFY(f.platform.removeFolder(f.path(QStringLiteral("g/sub/"))));
    QVERIFY(f.platform.removeFolder(f.path(QStringLiteral("G/"))));
    QVERIFY(!f.folder.exists(QStringLiteral("g")));
}

void PlatformTest::settingsPersistAcrossRuns()
{
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    {
        Platform platform(folder.root, folder.settingsFile(), dialogs);
        QCOMPARE(platform.readSetting("Pellory", "Pellory", "Pellory"), QString());
        QCOMPARE(platform.readSetting("Pellory", "Pellory", "Pellory", "d"), QStringLiteral("d"));
        QVERIFY(platform.writeSetting("Pellory", "Pellory", "Pellory", QStringLiteral("ABC - 张三")));
        QVERIFY(platform.writeSetting("Pellory", "Other", "Pellory", QStringLiteral("other")));
    }
    Platform again(folder.root, folder.settingsFile(), dialogs);
    QCOMPARE(again.readSetting("Pellory", "Pellory", "Pellory"), QStringLiteral("ABC - 张三"));
    QCOMPARE(again.readSetting("Pellory", "Other", "Pellory"), QStringLiteral("other"));
}

// A second start on the same data folder is refused and reaches the first; a
// start on another folder, or after the first ended, is not.
void PlatformTest::oneProgramPerFolder()
{
    QTemporaryDir folder, otherFolder;
    int shown = 0;
    {
        InstanceLock first(folder.path());
        QVERIFY(first.tryLock());
        QVERIFY(first.listen([&shown] { ++shown; }));

        InstanceLock second(folder.path());
        QString error;
        QVERIFY(!second.tryLock(&error));
        QVERIFY2(error.contains(QStringLiteral("另一个")), qPrintable(error));
        QVERIFY(second.raiseRunning());
        QTRY_COMPARE(shown, 1);

        InstanceLock elsewhere(otherFolder.path());
        QVERIFY(elsewhere.tryLock());
        QVERIFY(!elsewhere.raiseRunning());
    }
    InstanceLock afterwards(folder.path());
    QVERIFY(afterwards.tryLock());
    QVERIFY(!afterwards.raiseRunning());
}

QUILLBOX_TEST_MAIN(PlatformTest)
#include "tst_platform.moc"
