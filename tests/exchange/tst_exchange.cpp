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

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>

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
    // What a spreadsheet would run as a formula, and a "'" that already stands before one.
    {"=1+2", "@李", "'=省", "-", "+市", "-1号", "+86 138 1234 5678", "-"},
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
    void csvQuotesGoneAstray_data();
    void csvQuotesGoneAstray();
    void vcardFromPhones_data();
    void vcardFromPhones();
    void vcardEscapingAsTheRfc_data();
    void vcardEscapingAsTheRfc();
    void overwriteQuestionAndSummary_data();
    void overwriteQuestionAndSummary();
    void overwriteButtons_data();
    void overwriteButtons();

    void journalNewestFirstAndSearch();
    void journalSameRecipientToday_data();
    void journalSameRecipientToday();
    void journalAppendedInOneStep();
    void journalNumbersAndOlderFiles();
    void journalSameDayCheckReadsOn();

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
    QTest::newRow("formulas") << CsvText::Rows{{"=HYPERLINK(\"x\")", "+86 138", "-", "@a", "\tb", "a=b"}}
                              << QByteArray("\"'=HYPERLINK(\"\"x\"\")\",'+86 138,'-,'@a,'\tb,a=b\r\n");
    QTest::newRow("quotes before a formula")
        << CsvText::Rows{{"'=1", "''-", "'", "'x"}} << QByteArray("''=1,'''-,','x\r\n");
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

void ExchangeTest::csvQuotesGoneAstray_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("people");  // saved
    QTest::addColumn<QList<int>>("unclosed"); // lines reported
    QTest::addColumn<QString>("street");      // of 乙
    const QByteArray header = "寄件单位,寄件人,详细地址\n";
    QTest::newRow("a quote inside a cell")
        << header + "公司,甲,x\n公司,乙,科技园12\" 屏幕店\n公司,丙,y\n"
        << QStringList{"丙", "乙", "甲"} << QList<int>{} << "科技园12\" 屏幕店";
    QTest::newRow("a quote that never closes") << header + "公司,甲,\"科技园\n公司,乙,x\n公司,丙,y\n"
                                               << QStringList{"丙", "乙"} << QList<int>{2} << "x";
    QTest::newRow("a quote closed by the next row's")
        << header + "公司,甲,\"科技园\n公司,乙,\"x\"\n公司,丙,y\n"
        << QStringList{"丙", "乙"} << QList<int>{2} << "x";
    QTest::newRow("a cell over two lines") << header + "公司,甲,\"科技园\n2号\"\n公司,乙,\"x\"\n"
                                           << QStringList{"乙", "甲"} << QList<int>{} << "x";
}

// A stray quote is a character, as spreadsheets read it; a quote that never
// closes costs its own row, reported, and never the rows after it.
void ExchangeTest::csvQuotesGoneAstray()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, people);
    QFETCH(QList<int>, unclosed);
    QFETCH(QString, street);
    Fixture f;
    f.folder.mkdir("sent");
    const Summary summary = importRows(parse(csv, Format::Csv),
                                       folderTarget(f.platform, f.path("sent/"), ContactFile::senderKeys()),
                                       [](const QString &) -> Answer { return Answer::Skip; });
    QStringList saved;
    for (const QString &name : fileNames(f.path("sent")))
        saved.append(name.section(" - ", 1).chopped(4));
    std::sort(saved.begin(), saved.end());
    std::sort(people.begin(), people.end());
    QCOMPARE(saved, people);
    QCOMPARE(summary.imported, people.size());
    QList<int> reported;
    for (const Summary::Refusal &r : summary.refused)
        reported.append(r.row);
    QCOMPARE(reported, unclosed);
    if (!unclosed.isEmpty())
        QVERIFY(summary.text().contains(QStringLiteral("第 2 行：引号不成对，这一行没有读入。")));
    QCOMPARE(f.platform.readProfileString(f.path("sent/公司 - 乙.dat"), u"Pellory", u"txtAdd", QString()),
             street);
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
    QTest::newRow("4.0, tel: address")
        << QByteArray(
               "BEGIN:VCARD\nVERSION:4.0\nFN:赵六\nTEL;VALUE=uri;TYPE=\"voice,cell\":tel:+86-138-1234-5678\n"
               "TEL;VALUE=uri:tel:0755-1234;ext=12\nEND:VCARD\n")
        << QStringList{"", "赵六", "", "", "", "", "+86-138-1234-5678", ""};
    QTest::newRow("4.0, tel: address with an extension")
        << QByteArray(
               "BEGIN:VCARD\nVERSION:4.0\nFN:赵六\nTEL;VALUE=uri;PREF=1:TEL:0755-1234;ext=12\nEND:VCARD\n")
        << QStringList{"", "赵六", "", "", "", "", "0755-1234转12", ""};
    // 张三 and 深圳 in GB2312 (d5c5 c8fd, c9ee dbda), as older phones wrote them.
    QTest::newRow("2.1 quoted-printable GB2312")
        << QByteArray(
               "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=GB2312;ENCODING=QUOTED-PRINTABLE:=D5=C5=C8=FD;;;;\r\n"
               "ADR;HOME;CHARSET=gbk;QUOTED-PRINTABLE:;;=C9=EE=DB=DA;;;;\r\n"
               "ORG;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E6=9F=90\r\nEND:VCARD\r\n")
        << QStringList{"某", "张三", "", "", "", "深圳", "", ""};
}

void ExchangeTest::vcardEscapingAsTheRfc_data()
{
    QTest::addColumn<QStringList>("contact");
    QTest::addColumn<QByteArray>("line");
    // RFC 6350 6.6.4 (and RFC 2426 3.5.5): "ORG:ABC\, Inc.;North American Division;Marketing".
    QTest::newRow("comma in a company") << QStringList{"ABC, Inc.", "x"} << QByteArray("ORG:ABC\\, Inc.\r\n");
    // RFC 6350 6.3.1: "ADR;TYPE=home:;;123 Main Street;Any Town;CA;91921-1234;U.S.A.", our country is 中国.
    QTest::newRow("address parts") << QStringList{"", "x",         "CA", "Any Town", "", "123 Main Street",
                                                  "", "91921-1234"}
                                   << QByteArray(
                                          "ADR;TYPE=WORK:;;123 Main Street;Any Town;CA;91921-1234;中国\r\n");
    // RFC 6350 3.4: "\\" for a backslash, "\," "\;" for a comma and a semicolon, "\n" for a line break.
    QTest::newRow("backslash, semicolon, line break")
        << QStringList{"", "x", "", "", "", "a\\b;c,d\ne"}
        << QByteArray("ADR;TYPE=WORK:;;a\\\\b\\;c\\,d\\ne;;;;中国\r\n");
    QTest::newRow("semicolon in a name")
        << QStringList{"", "李;四"} << QByteArray("FN:李\\;四\r\nN:李\\;四;;;;\r\n");
}

// The bytes other programs read, compared with the standard's own examples, not
// only with what our reader makes of them.
void ExchangeTest::vcardEscapingAsTheRfc()
{
    QFETCH(QStringList, contact);
    QFETCH(QByteArray, line);
    contact.resize(8);
    const QByteArray card = VCard::write({contact});
    QVERIFY2(card.contains("\r\n" + line), card.constData());
    QCOMPARE(VCard::parse(QString::fromUtf8(card)).value(0).mid(1),
             contact.mid(1).replaceInStrings("\n", " "));
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
    QTest::newRow("one by one") << Answers{Answer::Replace, Answer::Skip, Answer::Replace, Answer::Replace}
                                << 4 << 3 << 1;
    QTest::newRow("replace all") << Answers{Answer::ReplaceAll} << 1 << 4 << 0;
    QTest::newRow("skip, then skip all") << Answers{Answer::Skip, Answer::SkipAll} << 2 << 0 << 4;
    QTest::newRow("replace, then replace all") << Answers{Answer::Replace, Answer::ReplaceAll} << 2 << 4 << 0;
}

void ExchangeTest::overwriteQuestionAndSummary()
{
    QFETCH(Answers, answers);
    QFETCH(int, asked);
    QFETCH(int, replaced);
    QFETCH(int, skipped);
    Fixture f;
    f.folder.mkdir("sent");
    for (const char *person : {"甲", "乙", "丙", "Wang"})
        f.save("sent/", ContactFile::senderKeys(), {"公司", person, "旧"});

    // Four exist: one written with blanks around its names, one in other letter
    // case. One is new, one without a company takes the person's name as company,
    // two are refused.
    const QList<Row> rows = parse(QByteArray("寄件单位,寄件人,省\n公司,甲,新\n,无单位,新\n 公司 , 乙 ,新\n"
                                             "a/b,斜杠,新\n公司,丁,新\n公司,WANG,新\n公司,丙,新\n公司,,新\n"),
                                  Format::Csv);
    QStringList questions;
    const Summary summary = importRows(
        rows, folderTarget(f.platform, f.path("sent/"), ContactFile::senderKeys()), [&](const QString &key) {
            questions.append(key);
            return answers.takeFirst();
        });
    QCOMPARE(questions.size(), asked);
    QCOMPARE(questions, (QStringList{"公司 - 甲", "公司 - 乙", "公司 - WANG", "公司 - 丙"}.mid(0, asked)));
    QCOMPARE(summary.imported, 2);
    QCOMPARE(summary.namedAsCompany, 1);
    QCOMPARE(summary.replaced, replaced);
    QCOMPARE(summary.skipped, skipped);
    QCOMPARE(summary.refused.size(), 2);
    QCOMPARE(summary.refused[0].row, 5);
    QCOMPARE(summary.refused[0].name, QStringLiteral("a/b - 斜杠"));

    int updated = 0;
    for (const char *person : {"甲", "乙", "丙", "Wang"}) {
        const QString value = f.platform.readProfileString(
            f.path(QStringLiteral("sent/公司 - %1.dat").arg(person)), u"Pellory", u"txtP", QString());
        updated += value == QStringLiteral("新");
    }
    QCOMPARE(updated, replaced);
    QCOMPARE(fileNames(f.path("sent")),
             (QStringList{"公司 - Wang.dat", "公司 - 丁.dat", "公司 - 丙.dat", "公司 - 乙.dat",
                          "公司 - 甲.dat", "无单位 - 无单位.dat"}));
    QCOMPARE(
        f.platform.readProfileString(f.path("sent/无单位 - 无单位.dat"), u"Pellory", u"txtSent", QString()),
        QStringLiteral("无单位"));

    const QString text = summary.text(1);
    QVERIFY2(text.startsWith(QStringLiteral("导入完成：新增 2 个，覆盖 %1 个，跳过 %2 个，未导入 2 个。\n"
                                            "其中 1 个没有单位，已用姓名作单位。")
                                 .arg(replaced)
                                 .arg(skipped)),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("第 5 行 a/b - 斜杠：名称中有不能用于文件名的字符，或名称太长。")));
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
    QTest::newRow("printed before the clock went back a day") << "韵达"
                                                              << "收件公司"
                                                              << "李四"
                                                              << "" << true;
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
    // The clock was a day behind for a while, then set right.
    QVERIFY(journal.append(entry("2026-12-06T09:30:00", "韵达", "钱七", "")));
    QVERIFY(journal.append(entry("2026-12-07T10:00:00", "韵达", "孙八", "")));
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

    // The same on the very first entry: no journal is left behind, not even an empty one.
    Fixture empty;
    PrintJournal fresh(empty.platform);
    small.rlim_cur = 20;
    std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const bool started = fresh.append(entry("2026-12-07T08:00:00", "顺丰", "张三", "1"));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!started);
    QCOMPARE(empty.folder.entries(""), QStringList());

    // A crash cut the last row short: the next entry still gets a line of its own.
    f.folder.write("journal.csv", kept + "2026-12-07 08:03:00,顺丰,Q1,寄件公司,赵");
    QVERIFY(journal.append(entry("2026-12-07T08:04:00", "顺丰", "王五", "4")));
    const QList<PrintJournal::Entry> afterCrash = journal.entries();
    QCOMPARE(afterCrash.size(), 4);
    QCOMPARE(afterCrash[0].value(u"txtNameTo"), QStringLiteral("王五"));
    QCOMPARE(afterCrash[0].value(u"txtTelTo"), QStringLiteral("4"));
    QCOMPARE(afterCrash[1].value(u"txtName"), QStringLiteral("赵"));
}

// Order and waybill numbers travel with an entry; a number given later repeats
// the entry at the end of the file, and the entry keeps its place. Files written
// before these columns existed read as they are, and their entries take numbers
// too. Cells a spreadsheet would run come back as printed.
void ExchangeTest::journalNumbersAndOlderFiles()
{
    Fixture f;
    // As the program wrote it before: nineteen columns, two identical rows.
    const QByteArray oldRow =
        "2026-12-05 08:00:00,顺丰,Q0,寄件公司,赵六,,,,,,,收件公司,老王,广东省,,,,13700000000,\r\n";
    f.folder.write("journal.csv",
                   "\xEF\xBB\xBF时间,快递,打印机,寄件单位,寄件人,寄件省,寄件市,寄件区/县,寄件详细地址,"
                   "寄件电话,寄件邮编,收件单位,收件人,收件省,收件市,收件区/县,收件详细地址,收件电话,"
                   "收件邮编\r\n" +
                       oldRow + oldRow);
    PrintJournal journal(f.platform);
    QCOMPARE(journal.entries().size(), 2);
    QVERIFY(journal.entries()[0].id != journal.entries()[1].id);
    QCOMPARE(journal.entries()[1].value(u"txtNameTo"), QStringLiteral("老王"));

    PrintJournal::Entry printed = entry("2026-12-07T09:00:00", "顺丰", "=HYPERLINK(\"http://x\")", "-");
    printed.values[13] = QStringLiteral("+86 138 1234 5678");
    printed.values[12] = QStringLiteral("'=区, \"县\""); // quoted in the file, a guard on a guard
    printed.orderNumber = QStringLiteral("TB20261207001");
    printed.id = QStringLiteral("Jc0ffee00c0ffee00");
    QVERIFY(journal.append(printed));
    QVERIFY(journal.append(entry("2026-12-07T09:01:00", "韵达", "李四", "1")));
    const QByteArray before = f.folder.read("journal.csv");
    QVERIFY(before.contains(",'=HYPERLINK(") || before.contains(",\"'=HYPERLINK("));
    QVERIFY(before.contains(",'-,"));

    QVERIFY(journal.setWaybillNumber(printed, QStringLiteral(" SF1234567890 ")));
    QVERIFY(journal.setWaybillNumber(journal.entries().last(), QStringLiteral("SF0000000001")));
    QVERIFY(f.folder.read("journal.csv").startsWith(before)); // nothing before is rewritten

    const QList<PrintJournal::Entry> read = journal.entries();
    QCOMPARE(read.size(), 4);
    QCOMPARE(read[0].value(u"txtNameTo"), QStringLiteral("李四"));
    QCOMPARE(read[1].id, printed.id);
    QCOMPARE(read[1].waybillNumber, QStringLiteral("SF1234567890"));
    QCOMPARE(read[1].orderNumber, QStringLiteral("TB20261207001"));
    QCOMPARE(read[1].value(u"txtNameTo"), QStringLiteral("=HYPERLINK(\"http://x\")"));
    QCOMPARE(read[1].value(u"txtTelTo"), QStringLiteral("-"));
    QCOMPARE(read[1].value(u"txtAddTo"), QStringLiteral("+86 138 1234 5678"));
    QCOMPARE(read[1].value(u"txtATo"), QStringLiteral("'=区, \"县\""));
    QCOMPARE(read[2].waybillNumber, QString());
    QCOMPARE(read[3].waybillNumber, QStringLiteral("SF0000000001"));
    QCOMPARE(read[3].time, QStringLiteral("2026-12-05 08:00:00"));

    QCOMPARE(journal.search(u"sf1234567890").size(), 1);
    QCOMPARE(journal.search(u"SF").size(), 2);
    QCOMPARE(journal.search(u"TB2026").size(), 1);
    QCOMPARE(journal.withWaybillNumber(u"SF1234567890").value(0).id, printed.id);
    QVERIFY(journal.withWaybillNumber(u"SF123456789").isEmpty());
    // The id is no text to find.
    QCOMPARE(journal.search(u"c0ffee").size(), 0);

    frmJournal window(journal, f.platform);
    auto *list = window.findChild<QAbstractItemView *>("lstJournal");
    QCOMPARE(list->model()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("运单号"));
    window.findChild<QLineEdit *>("txtSearch")->setText(QStringLiteral("sf12345"));
    QCOMPARE(list->model()->rowCount(), 1);
    QCOMPARE(list->model()->index(0, 5).data().toString(), QStringLiteral("SF1234567890"));

    // Typing on looks only among what the last keystroke found: it must find what
    // a search of the whole journal finds.
    for (int i = 0; i < 40; ++i)
        QVERIFY(journal.append(
            entry("2026-12-08T10:00:00", "韵达", QStringLiteral("Kh%1").arg(i, 2, 10, QChar(u'0')), "")));
    const PrintJournal::Table typed = journal.table();
    const QStringList texts{"k",  "kh1", "Kh12", "kh12",       "kh3",
                            "kh", "kh1", "kh1 ", "2026-12-08", "2026-12-08 1"};
    for (const QString &text : texts)
        QCOMPARE(typed.find(text), journal.table().find(text));
    QCOMPARE(typed.find(u"kH1").size(), 10);
}

// The same-day check reads only what was added since it last looked, and starts
// again when the file is not the one it read.
void ExchangeTest::journalSameDayCheckReadsOn()
{
    Fixture f;
    PrintJournal journal(f.platform);
    const QDateTime now = QDateTime::fromString("2026-12-07T18:00:00", Qt::ISODate);
    const auto asked = [&](const char *person) {
        return journal.printedToday(
            "顺丰",
            [&](QStringView key) {
                return key == u"txtSentTo"   ? QStringLiteral("收件公司")
                       : key == u"txtNameTo" ? QString::fromUtf8(person)
                                             : QString();
            },
            now);
    };
    QVERIFY(!asked("张三"));
    QVERIFY(journal.append(entry("2026-12-07T08:00:00", "顺丰", "张三", "")));
    QVERIFY(asked("张三"));
    QVERIFY(!asked("李四"));
    PrintJournal other(f.platform); // another window of the program printing meanwhile
    QVERIFY(other.append(entry("2026-12-07T08:10:00", "顺丰", "李四", "")));
    QVERIFY(asked("李四"));
    // Another file put in its place (as a spreadsheet saves), as long as the first one.
    QByteArray bytes = f.folder.read("journal.csv");
    bytes.replace("张三", "王五");
    f.folder.write("journal.new", bytes);
    QVERIFY(::rename(QFile::encodeName(f.path("journal.new")).constData(),
                     QFile::encodeName(journal.fileName()).constData()) == 0);
    QVERIFY(!asked("张三"));
    QVERIFY(asked("王五"));
    QVERIFY(QFile::remove(journal.fileName()));
    QVERIFY(!asked("王五"));

    // A journal of several megabytes is read in pieces: the row across the first
    // boundary (4 MiB), and the last and first rows, are all found by the first check.
    QByteArray big = CsvText::write({{"时间", "快递"}});
    QString across;
    for (int i = 0; i < 40000; ++i) {
        PrintJournal::Entry e = entry("2026-12-07T09:00:00", "顺丰", QStringLiteral("客户%1").arg(i), "");
        QStringList row{e.time, e.courier, e.printer};
        row << e.values;
        const qsizetype before = big.size();
        big += CsvText::write({row}).sliced(3);
        if (before < 4 * 1024 * 1024 && big.size() > 4 * 1024 * 1024)
            across = e.values[9];
    }
    QVERIFY(!across.isEmpty());
    f.folder.write("journal.csv", big);
    PrintJournal fresh(f.platform);
    for (const QString &person : {QStringLiteral("客户39999"), across, QStringLiteral("客户0")}) {
        QVERIFY2(fresh.printedToday(
                     "顺丰",
                     [&](QStringView key) {
                         return key == u"txtSentTo"   ? QStringLiteral("收件公司")
                                : key == u"txtNameTo" ? person
                                                      : QString();
                     },
                     now),
                 qPrintable(person));
    }
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
    auto *list = window.findChild<QAbstractItemView *>("lstJournal");
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
