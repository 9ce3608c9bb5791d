// Import and export of contacts, and the print journal: the logic on real files
// in a program folder of its own, then the windows driven as a user would.
#include "addressbook/contactexchange.h"
#include "addressbook/contactfile.h"
#include "addressbook/csvtext.h"
#include "addressbook/printjournal.h"
#include "addressbook/vcard.h"
#include "shell/frmmain.h"
#include "shell/pickerlist.h"
#include "testsupport.h"
#include "tools/exportdialog.h"
#include "tools/filechooser.h"
#include "tools/importdialog.h"
#include "tools/journalwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeView>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace ContactExchange;
using Answers = QList<ContactExchange::Answer>;

namespace {

// Values that CSV, vCard, GBK and file names each find awkward. (Blanks at the
// ends of a value never come back: the profile reader drops them, as a pick does.)
const QList<QStringList> Awkward{
    {"ABC", "张三", "广东省", "深圳市", "南山区", "科技园1号", "021-12345678", "518000"},
    {"甲,乙;丙", "李'四'", "", "", "", "路\\2号,\"3楼\";B座", "", ""},
    {"中间 空格", "王 五", "浙江省", "杭州市", "西湖区", "文三路", "0571-8888", "310000"},
    {"䶮公司", "😀", "北京市", "北京市", "朝阳区", QString(90, QChar(u'长')), "13812345678", "100000"},
};

struct Book
{
    QString folder; // relative to the program folder
    QStringList keys;
    QString group; // as the import window names it
};

class Fixture
{
public:
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    Platform platform{folder.root, folder.settingsFile(), dialogs};

    QString path(const QString &relative) const { return folder.path(relative); }
    // Saves as the 新增/修改 button does.
    void save(const QString &relative, const QStringList &keys, const QStringList &values)
    {
        QVERIFY(folderTarget(platform, path(relative), keys).save(values).isEmpty());
    }
};

class ScriptedChooser : public FileChooser
{
public:
    QString openFile(QWidget *, const QString &, const QString &) override { return file; }
    QString saveFile(QWidget *, const QString &, const QString &, const QString &) override { return file; }
    QString file;
};

PrintJournal::Entry entry(const QString &time, const QString &courier, const QString &recipient,
                          const QString &phone, const QString &printer = QStringLiteral("Q1"))
{
    PrintJournal::Entry e;
    e.time = QString(time).replace(u'T', u' ');
    e.courier = courier;
    e.printer = printer;
    e.values = QStringList(16);
    e.values[0] = QStringLiteral("寄件公司");
    e.values[1] = QStringLiteral("赵六");
    e.values[8] = QStringLiteral("收件公司");
    e.values[9] = recipient;
    e.values[10] = QStringLiteral("广东省");
    e.values[13] = QStringLiteral("科技园1号,\"B\"座");
    e.values[14] = phone;
    return e;
}

QStringList fileNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

Q_DECLARE_METATYPE(Book)
Q_DECLARE_METATYPE(PrintJournal::Entry)

class ExchangeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripIsByteIdentical_data();
    void roundTripIsByteIdentical();
    void csvQuoting_data();
    void csvQuoting();
    void csvEncodings_data();
    void csvEncodings();
    void csvHeaderByName();
    void vcardFromPhones_data();
    void vcardFromPhones();
    void overwriteQuestionAndSummary_data();
    void overwriteQuestionAndSummary();
    void overwriteButtons_data();
    void overwriteButtons();

    void journalNewestFirstAndSearch();
    void journalSameRecipientToday_data();
    void journalSameRecipientToday();
    void journalAppendedInOneStep();

    void importWindow();
    void importFromToolsMenu();
    void exportWindow();
    void journalWindowFiltersAndReprints();
};

void ExchangeTest::roundTripIsByteIdentical_data()
{
    QTest::addColumn<Book>("book");
    QTest::addColumn<int>("format");
    const Book senders{"sent/", ContactFile::senderKeys(), ""};
    const Book group{"to/客户/", ContactFile::recipientKeys(), "客户"};
    QTest::newRow("senders csv") << senders << int(Format::Csv);
    QTest::newRow("group csv") << group << int(Format::Csv);
    QTest::newRow("senders vcard") << senders << int(Format::VCard);
    QTest::newRow("group vcard") << group << int(Format::VCard);
}

// Export, then import into an empty folder: the same files, byte for byte.
void ExchangeTest::roundTripIsByteIdentical()
{
    QFETCH(Book, book);
    QFETCH(int, format);
    Fixture f;
    f.folder.mkdir(book.folder);
    for (const QStringList &values : Awkward)
        f.save(book.folder, book.keys, values);

    const QList<QStringList> contacts = readFolder(f.platform, f.path(book.folder), book.keys);
    QCOMPARE(contacts.size(), Awkward.size());
    const QByteArray bytes = exportContacts(contacts, Format(format), senderHeader());
    QVERIFY(f.platform.writeFileAtomically(f.folder.dir.filePath("out.file"), bytes));
    QByteArray read;
    QVERIFY(f.platform.readFile(f.folder.dir.filePath("out.file"), &read));
    for (const QByteArray &line : read.split('\n'))
        QVERIFY2(format == int(Format::Csv) || line.size() <= 76, line.constData()); // 75 and the CR

    f.folder.mkdir("copy");
    const Summary summary =
        importRows(parse(read, Format(format)), folderTarget(f.platform, f.path("copy/"), book.keys),
                   [](const QString &) -> Answer { return Answer::Skip; });
    QCOMPARE(summary.imported, Awkward.size());
    QVERIFY(summary.refused.isEmpty());
    const QStringList originals = fileNames(f.path(book.folder));
    QCOMPARE(fileNames(f.path("copy")), originals);
    for (const QString &name : originals)
        QCOMPARE(f.folder.read("copy/" + name), f.folder.read(book.folder + name));
}

void ExchangeTest::csvQuoting_data()
{
    QTest::addColumn<CsvText::Rows>("rows");
    QTest::addColumn<QByteArray>("written"); // without the byte order mark
    QTest::newRow("plain") << CsvText::Rows{{"a", "b", ""}} << QByteArray("a,b,\r\n");
    QTest::newRow("comma and quote") << CsvText::Rows{{"a,b", "say \"hi\""}}
                                     << QByteArray("\"a,b\",\"say \"\"hi\"\"\"\r\n");
    QTest::newRow("line breaks") << CsvText::Rows{{"1\r\n2", "3\n4"}, {"x"}}
                                 << QByteArray("\"1\r\n2\",\"3\n4\"\r\nx\r\n");
    QTest::newRow("blanks at the ends") << CsvText::Rows{{" a", "b "}} << QByteArray("\" a\",\"b \"\r\n");
    QTest::newRow("chinese") << CsvText::Rows{{"张三", "，"}} << QByteArray("张三,，\r\n");
}

void ExchangeTest::csvQuoting()
{
    QFETCH(CsvText::Rows, rows);
    QFETCH(QByteArray, written);
    const QByteArray bytes = CsvText::write(rows);
    QCOMPARE(bytes, "\xEF\xBB\xBF" + written);
    QCOMPARE(CsvText::parse(CsvText::decode(bytes)), rows);
    // What other programs write: LF only, no final line end, blank lines.
    QByteArray lf = written;
    lf.replace("\r\n", "\n");
    QCOMPARE(CsvText::parse(CsvText::decode(lf.chopped(1) + "\n\n")).size(), rows.size());
}

void ExchangeTest::csvEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const char *text = "收件单位,收件人,省,市,区/县,详细地址,联系电话,邮编\r\n"
                       "深圳某某公司,张三,广东省,深圳市,南山区,\"科技园1号,A座\",13812345678,518000\r\n";
    QTest::newRow("utf-8 with bom") << QByteArray("\xEF\xBB\xBF") + text;
    QTest::newRow("utf-8") << QByteArray(text);
    QTest::newRow("gbk") << gbk(text);
}

// Whatever the encoding, the group gets the file a save would write.
void ExchangeTest::csvEncodings()
{
    QFETCH(QByteArray, bytes);
    Fixture f;
    f.folder.mkdir("to/_未分类");
    const Summary summary =
        importRows(parse(bytes, Format::Csv),
                   folderTarget(f.platform, f.path("to/_未分类/"), ContactFile::recipientKeys()),
                   [](const QString &) -> Answer { return Answer::Skip; });
    QCOMPARE(summary.imported, 1);
    QCOMPARE(f.folder.read(QStringLiteral("to/_未分类/深圳某某公司 - 张三.dat")),
             contactBytes(ContactFile::recipientKeys(), {"深圳某某公司", "张三", "广东省", "深圳市", "南山区",
                                                         "科技园1号,A座", "13812345678", "518000"}));
}

void ExchangeTest::csvHeaderByName()
{
    // Columns in another order, an extra column, the sender header, colons kept.
    const QList<Row> rows =
        parse(QByteArray("备注,邮编,寄件人：,寄件单位,联系电话\nx,100000,王五,某厂,010-1\n"
                         "y,,\"赵\n六\",某店,\n"),
              Format::Csv);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].number, 2);
    QCOMPARE(rows[0].values, QStringList({"某厂", "王五", "", "", "", "", "010-1", "100000"}));
    QCOMPARE(rows[1].values.value(1), QStringLiteral("赵 六"));
    // Names shops use; a column missing stays empty.
    QCOMPARE(parse(QByteArray("收货人,手机号码,地址\n张三,138,科技园\n"), Format::Csv).value(0).values,
             QStringList({"", "张三", "", "", "", "科技园", "138", ""}));
    // No header: the columns in key order, from the first line.
    QCOMPARE(parse(QByteArray("某厂,王五,,,,,1\n"), Format::Csv).value(0).values.value(6),
             QStringLiteral("1"));
}

void ExchangeTest::vcardFromPhones_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("folded, escaped, grouped")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\nORG:某某\\, 公司;销售部\r\n"
                      "item1.TEL;TYPE=HOME:010-1\r\nTEL;TYPE=CELL,PREF:138 1234\r\n 5678\r\n"
                      "ADR;TYPE=HOME:;南山区;科技园\\;1号;深圳\r\n\t市;广东省;518000;中国\r\nEND:VCARD\r\n")
        << QStringList{"某某, 公司", "张三",       "广东省",       "深圳市",
                       "南山区",     "科技园;1号", "138 12345678", "518000"};
    QTest::newRow("2.1 quoted-printable, N only")
        << QByteArray(
               "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E6=9D=8E;=E5=9B=\n"
               "=9B;;;\nORG:X\nTEL;CELL:13900000000\nEND:VCARD\n")
        << QStringList{"X", "李四", "", "", "", "", "13900000000", ""};
    QTest::newRow("4.0, line break in a value")
        << QByteArray("BEGIN:VCARD\nVERSION:4.0\nFN:王五\nORG:Y\nADR:;;一路\\n二号;;;;\nEND:VCARD\n")
        << QStringList{"Y", "王五", "", "", "", "一路 二号", "", ""};
}

void ExchangeTest::vcardFromPhones()
{
    QFETCH(QByteArray, card);
    QFETCH(QStringList, values);
    const QList<Row> rows = parse(card, Format::VCard);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].values, values);
}

void ExchangeTest::overwriteQuestionAndSummary_data()
{
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("replaced");
    QTest::addColumn<int>("skipped");
    QTest::newRow("one by one") << Answers{Answer::Replace, Answer::Skip, Answer::Replace} << 3 << 2 << 1;
    QTest::newRow("replace all") << Answers{Answer::ReplaceAll} << 1 << 3 << 0;
    QTest::newRow("skip, then skip all") << Answers{Answer::Skip, Answer::SkipAll} << 2 << 0 << 3;
    QTest::newRow("replace, then replace all") << Answers{Answer::Replace, Answer::ReplaceAll} << 2 << 3 << 0;
}

void ExchangeTest::overwriteQuestionAndSummary()
{
    QFETCH(Answers, answers);
    QFETCH(int, asked);
    QFETCH(int, replaced);
    QFETCH(int, skipped);
    Fixture f;
    f.folder.mkdir("sent");
    for (const char *person : {"甲", "乙", "丙"})
        f.save("sent/", ContactFile::senderKeys(), {"公司", person, "旧"});

    // Four exist (one in other letter case), one is new, three are refused.
    const QList<Row> rows = parse(QByteArray("寄件单位,寄件人,省\n公司,甲,新\n,无单位,新\n公司,乙,新\n"
                                             "a/b,斜杠,新\n公司,丁,新\n公司,丙,新\n公司,,新\n"),
                                  Format::Csv);
    QStringList questions;
    const Summary summary = importRows(
        rows, folderTarget(f.platform, f.path("sent/"), ContactFile::senderKeys()), [&](const QString &key) {
            questions.append(key);
            return answers.takeFirst();
        });
    QCOMPARE(questions.size(), asked);
    QCOMPARE(questions.first(), QStringLiteral("公司 - 甲"));
    QCOMPARE(summary.imported, 1);
    QCOMPARE(summary.replaced, replaced);
    QCOMPARE(summary.skipped, skipped);
    QCOMPARE(summary.refused.size(), 3);
    QCOMPARE(summary.refused[1].row, 5);
    QCOMPARE(summary.refused[1].name, QStringLiteral("a/b - 斜杠"));

    int updated = 0;
    for (const char *person : {"甲", "乙", "丙"}) {
        const QString value = f.platform.readProfileString(
            f.path(QStringLiteral("sent/公司 - %1.dat").arg(person)), u"Pellory", u"txtP", QString());
        updated += value == QStringLiteral("新");
    }
    QCOMPARE(updated, replaced);
    QCOMPARE(fileNames(f.path("sent")).size(), 4);

    const QString text = summary.text(2);
    QVERIFY2(text.startsWith(QStringLiteral("导入完成：新增 1 个，覆盖 %1 个，跳过 %2 个，未导入 3 个。")
                                 .arg(replaced)
                                 .arg(skipped)),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("第 3 行  - 无单位：单位和姓名不能为空。")));
    QVERIFY(text.contains(QStringLiteral("另有 1 行未导入")));
}

void ExchangeTest::overwriteButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::newRow("覆盖") << "覆盖" << int(Answer::Replace);
    QTest::newRow("跳过") << "跳过" << int(Answer::Skip);
    QTest::newRow("全部覆盖") << "全部覆盖" << int(Answer::ReplaceAll);
    QTest::newRow("全部跳过") << "全部跳过" << int(Answer::SkipAll);
}

void ExchangeTest::overwriteButtons()
{
    QFETCH(QString, button);
    QFETCH(int, answer);
    QString asked;
    QTimer::singleShot(0, [&] {
        QVERIFY(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
        QWidget *box = QApplication::activeModalWidget();
        asked = box->findChild<QLabel *>("qt_msgbox_label")->text();
        for (auto *b : box->findChildren<QPushButton *>()) {
            if (b->accessibleName() == button)
                b->click();
        }
    });
    QCOMPARE(int(frmImport::askOverwrite(nullptr, "公司 - 甲")), answer);
    QCOMPARE(asked, QStringLiteral("联系人“公司 - 甲”已存在，要覆盖吗？"));
}

void ExchangeTest::journalNewestFirstAndSearch()
{
    Fixture f;
    PrintJournal journal(f.platform);
    QVERIFY(journal.entries().isEmpty());
    const QList<PrintJournal::Entry> appended{entry("2026-12-06T09:00:00", "顺丰", "张三", "13812345678"),
                                              entry("2026-12-07T10:00:00", "韵达", "李四", "021-5555 1234"),
                                              entry("2026-12-07T10:00:00", "顺丰", "王五", "13900001111")};
    for (const PrintJournal::Entry &e : appended) {
        QString error;
        QVERIFY2(journal.append(e, &error), qPrintable(error));
    }
    const QList<PrintJournal::Entry> read = journal.entries();
    QCOMPARE(read.size(), 3);
    QCOMPARE(read[0].value(u"txtNameTo"), QStringLiteral("王五")); // same second: the later print first
    QCOMPARE(read[1].value(u"txtNameTo"), QStringLiteral("李四"));
    QCOMPARE(read[2].time, appended[0].time);
    QCOMPARE(read[2].values, appended[0].values);
    QCOMPARE(read[2].printer, QStringLiteral("Q1"));

    QCOMPARE(journal.search(u"5678").size(), 1);
    QCOMPARE(journal.search(u"顺丰").size(), 2);
    QCOMPARE(journal.search(u"B\"座").size(), 3);
    QCOMPARE(journal.search(u"2026-12-06").size(), 1);
    QCOMPARE(journal.search(u"赵七").size(), 0);
    // Opens in a spreadsheet: UTF-8 with a byte order mark and a header row.
    QVERIFY(f.folder.read("journal.csv")
                .startsWith("\xEF\xBB\xBF" + QStringLiteral("时间,快递,打印机").toUtf8()));
}

void ExchangeTest::journalSameRecipientToday_data()
{
    QTest::addColumn<QString>("courier");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("person");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<bool>("printed");
    QTest::newRow("same name") << "顺丰"
                               << "收件公司"
                               << "张三"
                               << "" << true;
    QTest::newRow("name in other letter case") << "顺丰"
                                               << "收件公司"
                                               << "ZHANG"
                                               << "" << true;
    QTest::newRow("other courier") << "韵达"
                                   << "收件公司"
                                   << "张三"
                                   << "13812345678" << false;
    QTest::newRow("same phone written otherwise") << "顺丰"
                                                  << "别处"
                                                  << "张叁"
                                                  << "+86 138-1234-5678" << true;
    QTest::newRow("other recipient") << "顺丰"
                                     << "收件公司"
                                     << "李四"
                                     << "13800000000" << false;
    QTest::newRow("only yesterday") << "顺丰"
                                    << "收件公司"
                                    << "王五"
                                    << "" << false;
    QTest::newRow("short phone alike") << "顺丰"
                                       << "别处"
                                       << "某"
                                       << "110" << false;
}

void ExchangeTest::journalSameRecipientToday()
{
    QFETCH(QString, courier);
    QFETCH(QString, company);
    QFETCH(QString, person);
    QFETCH(QString, phone);
    QFETCH(bool, printed);
    Fixture f;
    PrintJournal journal(f.platform);
    QVERIFY(journal.append(entry("2026-12-06T23:59:59", "顺丰", "王五", "")));
    QVERIFY(journal.append(entry("2026-12-07T08:00:00", "顺丰", "张三", "13812345678")));
    QVERIFY(journal.append(entry("2026-12-07T08:30:00", "顺丰", "zhang", "110")));
    QVERIFY(journal.append(entry("2026-12-07T09:00:00", "韵达", "李四", "")));
    const QHash<QString, QString> fields{{"txtSentTo", company}, {"txtNameTo", person}, {"txtTelTo", phone}};
    QCOMPARE(journal.printedToday(
                 courier, [&](QStringView key) { return fields.value(key.toString()); },
                 QDateTime::fromString("2026-12-07T18:00:00", Qt::ISODate)),
             printed);
    QCOMPARE(PrintJournal::repeatQuestion(courier),
             QStringLiteral("今天已为该收件人打印过%1快递单，仍要打印吗？").arg(courier));
}

// An entry is added at the end in one write: the history before it keeps every
// byte, and a failing write leaves the file exactly as it was, nothing beside it.
void ExchangeTest::journalAppendedInOneStep()
{
    Fixture f;
    PrintJournal journal(f.platform);
    QVERIFY(journal.append(entry("2026-12-07T08:00:00", "顺丰", "张三", "1")));
    const QByteArray first = f.folder.read("journal.csv");
    struct stat before;
    QVERIFY(::stat(QFile::encodeName(journal.fileName()).constData(), &before) == 0);
    QVERIFY(journal.append(entry("2026-12-07T08:01:00", "顺丰", "李四", "2")));
    struct stat after;
    QVERIFY(::stat(QFile::encodeName(journal.fileName()).constData(), &after) == 0);
    QVERIFY2(after.st_ino == before.st_ino, "the journal was rewritten, not appended to");
    const QByteArray kept = f.folder.read("journal.csv");
    QVERIFY(kept.startsWith(first));
    QCOMPARE(kept.count('\n'), 3);

    // The disk fills up halfway through the new file. (Works as root, unlike a
    // read-only folder.)
    rlimit old;
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = kept.size() + 20;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    QString error;
    const bool appended =
        journal.append(entry("2026-12-07T08:02:00", "顺丰", QString(200, QChar(u'王')), "3"), &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!appended);
    QVERIFY(!error.isEmpty());
    QCOMPARE(f.folder.read("journal.csv"), kept);
    QCOMPARE(f.folder.entries(""), QStringList{"journal.csv"});
    QCOMPARE(journal.entries().size(), 2);
}

void ExchangeTest::importWindow()
{
    Fixture f;
    f.folder.mkdir("to/客户");
    f.save("to/客户/", ContactFile::recipientKeys(), {"公司", "甲", "旧"});
    ScriptedChooser chooser;
    chooser.file = f.folder.dir.filePath("book.csv");
    f.folder.write("../book.csv", gbk("收件单位,收件人,省\n公司,甲,新\n公司,乙,新\n"));

    frmImport window(f.platform, chooser, {"_未分类", "客户"}, "客户");
    QStringList asked;
    window.setOverwriteQuestion([&asked](const QString &key) {
        asked.append(key);
        return Answer::Skip;
    });
    QSignalSpy imported(&window, &frmImport::imported);
    auto *target = window.findChild<QComboBox *>("cmbTarget");
    QCOMPARE(target->accessibleName(), QStringLiteral("导入到"));
    QCOMPARE(target->currentText(), QStringLiteral("收件人分类：客户"));
    QTest::mouseClick(window.findChild<QPushButton *>("cmdBrowse"), Qt::LeftButton);
    QCOMPARE(window.findChild<QLineEdit *>("txtFile")->text(), chooser.file);
    QTest::mouseClick(window.findChild<QPushButton *>("cmdImport"), Qt::LeftButton);

    QCOMPARE(asked, QStringList{"公司 - 甲"});
    QCOMPARE(imported.size(), 1);
    QCOMPARE(imported[0][0].toString(), QStringLiteral("客户"));
    QVERIFY(f.folder.exists("to/客户/公司 - 乙.dat"));
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].text,
             QStringLiteral("导入完成：新增 1 个，覆盖 0 个，跳过 1 个，未导入 0 个。"));
    QCOMPARE(f.dialogs.messages[0].flags, int(Dialogs::Information));
}

// 导入… in the main window's menu lists what it imported at once.
void ExchangeTest::importFromToolsMenu()
{
    Fixture f;
    ScriptedChooser chooser;
    chooser.file = f.folder.dir.filePath("senders.csv");
    f.folder.write("../senders.csv", "寄件单位,寄件人\r\n公司,甲\r\n公司,乙\r\n");
    frmMain form(f.platform, QString(), nullptr, &chooser);
    QVERIFY(form.Form_Load());
    form.show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [] {
        auto *window = qobject_cast<frmImport *>(QApplication::activeModalWidget());
        if (!window)
            return;
        window->findChild<QComboBox *>("cmbTarget")->setCurrentIndex(0); // 寄件人
        QTest::mouseClick(window->findChild<QPushButton *>("cmdBrowse"), Qt::LeftButton);
        QTest::mouseClick(window->findChild<QPushButton *>("cmdImport"), Qt::LeftButton);
        window->close();
    });
    poll.start(10);
    form.findChild<QAction *>("actImport")->trigger();
    poll.stop();
    QCOMPARE(form.findChild<PickerList *>("cmbSent")->entries(), (QStringList{"公司 - 甲", "公司 - 乙"}));
}

void ExchangeTest::exportWindow()
{
    Fixture f;
    f.folder.mkdir("sent");
    f.save("sent/", ContactFile::senderKeys(), Awkward[0]);
    ScriptedChooser chooser;
    chooser.file = f.folder.dir.filePath("out.vcf");
    frmExport window(f.platform, chooser, "客户");
    QVERIFY(window.findChild<QRadioButton *>("optGroup")->isChecked());
    window.findChild<QRadioButton *>("optSenders")->click();
    window.findChild<QRadioButton *>("optVCard")->click();
    QVERIFY(window.findChild<QLineEdit *>("txtFile")->text().endsWith(QStringLiteral("/寄件人.vcf")));
    // A folder that is not there: said so, and the window stays open.
    window.findChild<QLineEdit *>("txtFile")->setText(f.folder.dir.filePath("gone/out.vcf"));
    QTest::mouseClick(window.findChild<QPushButton *>("cmdExport"), Qt::LeftButton);
    QCOMPARE(f.dialogs.messages.value(0).text, QStringLiteral("无法写入文件：上一级文件夹不存在。"));
    QTest::mouseClick(window.findChild<QPushButton *>("cmdBrowse"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton *>("cmdExport"), Qt::LeftButton);

    QCOMPARE(f.dialogs.messages.value(1).text, QStringLiteral("已导出 1 个联系人。"));
    QByteArray bytes;
    QVERIFY(f.platform.readFile(chooser.file, &bytes));
    QCOMPARE(parse(bytes, Format::VCard).value(0).values, Awkward[0]);
}

void ExchangeTest::journalWindowFiltersAndReprints()
{
    Fixture f;
    PrintJournal journal(f.platform);
    QVERIFY(journal.append(entry("2026-12-06T09:00:00", "顺丰", "张三", "13812345678")));
    QVERIFY(journal.append(entry("2026-12-07T10:00:00", "韵达", "李四", "13900001111")));
    frmJournal window(journal, f.platform);
    QSignalSpy reprint(&window, &frmJournal::reprint);
    auto *list = window.findChild<QTreeView *>("lstJournal");
    auto *search = window.findChild<QLineEdit *>("txtSearch");
    auto *again = window.findChild<QPushButton *>("cmdReprint");
    QCOMPARE(again->accessibleName(), QStringLiteral("再打印"));
    QCOMPARE(list->model()->rowCount(), 2);
    QCOMPARE(list->model()->index(0, 2).data().toString(), QStringLiteral("李四（收件公司）"));

    const auto shown = [list] {
        QStringList phones;
        for (int i = 0; i < list->model()->rowCount(); ++i)
            phones.append(list->model()->index(i, 3).data().toString());
        return phones;
    };
    QTest::keyClicks(search, "5678");
    QCOMPARE(shown(), QStringList{"13812345678"});
    QTest::mouseClick(again, Qt::LeftButton);
    QCOMPARE(reprint.size(), 1);
    const auto chosen = reprint[0][0].value<PrintJournal::Entry>();
    QCOMPARE(chosen.courier, QStringLiteral("顺丰"));
    QCOMPARE(chosen.value(u"txtNameTo"), QStringLiteral("张三"));
    QCOMPARE(chosen.value(u"txtAddTo"), QStringLiteral("科技园1号,\"B\"座"));

    QTest::keyClicks(search, "9");
    QCOMPARE(shown(), QStringList());
    QVERIFY(!again->isEnabled());
}

QUILLBOX_TEST_MAIN(ExchangeTest)
#include "tst_exchange.moc"
