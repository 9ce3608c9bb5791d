// The sender book, the recipient book and the recipient groups, driven through the
// real main window on a real program folder: what the user sees and what is on disk.
#include "mainwindow.h"

namespace {

const QStringList SenderKeys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};
const QStringList RecipientKeys{"txtSentTo", "txtNameTo", "txtPTo",   "txtCTo",
                                "txtATo",    "txtAddTo",  "txtTelTo", "txtZipTo"};

// Sender and recipient differ by data; most tests run on both.
struct Side
{
    QString picker;
    QStringList keys;
    QString folder;     // relative to the program folder
    QString afterEmpty; // the current path after deleting the last entry, relative
    QString save;
    QString remove;
    QString emptyWarning;
    QString deleteQuestion;
};

const Side Sender{"cmbSent",
                  SenderKeys,
                  "sent/",
                  "sent/",
                  "cmdNew",
                  "cmdDel",
                  QStringLiteral("（寄件单位）和（寄件人）不能为空！"),
                  QStringLiteral("确认要删除（寄件人）吗？")};
const Side Recipient{"cmbTo",
                     RecipientKeys,
                     "to/_未分类/",
                     "to/",
                     "cmdNewTo",
                     "cmdDelTo",
                     QStringLiteral("（收件单位）和（收件人）不能为空！"),
                     QStringLiteral("确认要删除（收件人）吗？")};

const QStringList Zhang{"ABC", "张三", "广东省", "深圳市", "南山区", "科技园1号", "021-12345678", "518000"};
const QStringList Li{"DEF", "李四", "浙江省", "杭州市", "西湖区", "文三路2号", "0571-8888", "310000"};

} // namespace

Q_DECLARE_METATYPE(Side)

class AddressBookTest : public QObject
{
    Q_OBJECT

    TemporaryHome m_home;

private Q_SLOTS:
    void completion_data();
    void completion();
    void completionOfChinese();
    void typingWholeEntryPicksNothing();
    void backspaceOverCompletion();
    void deleteKeySuppressesNextSearchInEitherPicker();

    void pickFillsFields_data() { sides(); }
    void pickFillsFields();
    void saveNewContact_data() { sides(); }
    void saveNewContact();
    void saveWithEmptyField_data();
    void saveWithEmptyField();
    void saveExistingKeepsOtherLines_data() { sides(); }
    void saveExistingKeepsOtherLines();
    void saveAfterChangingPerson_data() { sides(); }
    void saveAfterChangingPerson();
    void unsafeNamesRefused_data();
    void unsafeNamesRefused();
    void dotsAreNames_data();
    void dotsAreNames();

    void refusedChangesLeaveTheWindowAsItWas_data() { sides(); }
    void refusedChangesLeaveTheWindowAsItWas();
    void refusedDefaultSenderAndGroup();

    void deleteCancelled_data() { sides(); }
    void deleteCancelled();
    void deletePicksFirstRemaining_data() { sides(); }
    void deletePicksFirstRemaining();
    void deleteOnlyEntry_data() { sides(); }
    void deleteOnlyEntry();
    void deleteEntryWhoseFileIsGone_data() { sides(); }
    void deleteEntryWhoseFileIsGone();
    void deleteRightAfterStartWithoutDefault();
    void deleteNeverLeavesTheFolder_data();
    void deleteNeverLeavesTheFolder();

    void defaultSenderButton();
    void defaultSenderStoresWhatTheLineShows();
    void deletedDefaultSenderStaysStored();
    void senderCountKeepsStartUpFigure();

    void switchGroupShowsCount();
    void recipientsBelongToTheCurrentGroup();
    void addGroup();
    void addGroupRefusals();
    void deleteGroup();
    void deleteGroupKeepsSubfolders();
    void deleteGroupWithoutSelection();
    void deleteDefaultGroupComesBack();

private:
    static void sides()
    {
        QTest::addColumn<Side>("side");
        QTest::newRow("sender") << Sender;
        QTest::newRow("recipient") << Recipient;
    }
    static void writeContact(MainWindow &w, const Side &side, const QStringList &values)
    {
        w.folder.write(side.folder + values[0] + " - " + values[1] + ".dat", contactBytes(side.keys, values));
    }
};

void AddressBookTest::completion_data()
{
    QTest::addColumn<QString>("picker");
    QTest::newRow("sender") << "cmbSent";
    QTest::newRow("recipient") << "cmbTo";
}

void AddressBookTest::completion()
{
    QFETCH(QString, picker);
    MainWindow w;
    w.folder.write("sent/ABC - x.dat", "");
    w.folder.write("sent/abd - y.dat", "");
    w.folder.write("to/_未分类/ABC - x.dat", "");
    w.folder.write("to/_未分类/abd - y.dat", "");
    QVERIFY(w.start());
    w.show();
    PickerList *list = w.get<PickerList>(picker);
    QLineEdit *line = list->editLine();
    line->clear();
    line->setFocus();

    typeText(line, "ab");
    QCOMPARE(line->text(), QStringLiteral("abC - x"));
    QCOMPARE(line->selectedText(), QStringLiteral("C - x"));
    QCOMPARE(line->selectionStart(), 2);
    typeText(line, "d");
    QCOMPARE(line->text(), QStringLiteral("abd - y"));
    QCOMPARE(line->selectedText(), QStringLiteral(" - y"));
    QVERIFY(!w.form->skipNextChange);
    // Typing completes but never picks.
    QCOMPARE(w.fields(SenderKeys + RecipientKeys), QStringList(16));
}

void AddressBookTest::completionOfChinese()
{
    MainWindow w;
    w.folder.write("to/_未分类/张三公司 - 李四.dat", "");
    w.folder.write("to/_未分类/王五商行 - 赵六.dat", "");
    QVERIFY(w.start());
    w.show();
    QLineEdit *line = w.cmbTo()->editLine();
    line->clear();
    line->setFocus();
    typeText(line, "张");
    QCOMPARE(line->text(), QStringLiteral("张三公司 - 李四"));
    QCOMPARE(line->selectedText(), QStringLiteral("三公司 - 李四"));
    typeText(line, "家");
    QCOMPARE(line->text(), QStringLiteral("张家"));
    QVERIFY(!line->hasSelectedText());
}

void AddressBookTest::typingWholeEntryPicksNothing()
{
    MainWindow w;
    writeContact(w, Sender, Zhang);
    QVERIFY(w.start());
    w.show();
    w.field("txtTel")->setText("typed, not saved");
    QLineEdit *line = w.cmbSent()->editLine();
    line->clear();
    line->setFocus();
    typeText(line, "ABC - 张三");
    QCOMPARE(line->text(), QStringLiteral("ABC - 张三"));
    QVERIFY(!line->hasSelectedText());
    QCOMPARE(w.field("txtTel")->text(), QStringLiteral("typed, not saved"));
    QCOMPARE(w.field("txtSent")->text(), QString());
}

void AddressBookTest::backspaceOverCompletion()
{
    MainWindow w;
    w.folder.write("sent/ABC - x.dat", "");
    QVERIFY(w.start());
    w.show();
    QLineEdit *line = w.cmbSent()->editLine();
    line->clear();
    line->setFocus();
    typeText(line, "ab");
    QCOMPARE(line->text(), QStringLiteral("abC - x"));
    QTest::keyClick(line, Qt::Key_Backspace);
    QCOMPARE(line->text(), QStringLiteral("ab"));
    QVERIFY(!line->hasSelectedText());
    QVERIFY(!w.form->skipNextChange);
    // The next letter is searched again.
    typeText(line, "c");
    QCOMPARE(line->text(), QStringLiteral("abc - x"));
}

void AddressBookTest::deleteKeySuppressesNextSearchInEitherPicker()
{
    MainWindow w;
    w.folder.write("sent/ABC - x.dat", "");
    w.folder.write("to/_未分类/ABC - x.dat", "");
    QVERIFY(w.start());
    w.show();
    QLineEdit *sent = w.cmbSent()->editLine();
    QLineEdit *to = w.cmbTo()->editLine();
    sent->setFocus();
    QTest::keyClick(sent, Qt::Key_End);
    QTest::keyClick(sent, Qt::Key_Delete); // at the end of the line: changes nothing
    QCOMPARE(sent->text(), QStringLiteral("搜索..."));
    QVERIFY(w.form->skipNextChange);

    to->clear();
    to->setFocus();
    typeText(to, "a");
    QCOMPARE(to->text(), QStringLiteral("a")); // not completed
    typeText(to, "b");
    QCOMPARE(to->text(), QStringLiteral("abC - x")); // the next one is
    QCOMPARE(to->selectedText(), QStringLiteral("C - x"));
}

void AddressBookTest::pickFillsFields()
{
    QFETCH(Side, side);
    MainWindow w;
    writeContact(w, side, Zhang);
    writeContact(w, side, Li);
    w.folder.write(side.folder + "X - Y - Z.dat", contactBytes(side.keys, {"X - Y", "Z"}));
    w.folder.write(side.folder + "note.dat", "no keys here\r\n");
    QVERIFY(w.start());
    w.show();
    PickerList *picker = w.get<PickerList>(side.picker);
    QCOMPARE(picker->entries(), (QStringList{"ABC - 张三", "DEF - 李四", "note", "X - Y - Z"}));

    clickEntry(picker, 0);
    QCOMPARE(w.fields(side.keys), Zhang);
    QCOMPARE(w.form->currentPath(), w.folder.path(side.folder + "ABC - 张三.dat"));
    QTest::keyClick(picker->editLine(), Qt::Key_Down);
    QCOMPARE(w.fields(side.keys), Li);
    // The fields come from the keys, never from splitting the name.
    clickEntry(picker, 3);
    QCOMPARE(w.fields(side.keys).mid(0, 3), (QStringList{"X - Y", "Z", ""}));
    // A file without the keys, and a file gone since the listing, give empty fields.
    clickEntry(picker, 2);
    QCOMPARE(w.fields(side.keys), QStringList(8));
    clickEntry(picker, 0);
    QVERIFY(QFile::remove(w.folder.path(side.folder + "DEF - 李四.dat")));
    clickEntry(picker, 1);
    QCOMPARE(w.fields(side.keys), QStringList(8));
    QVERIFY(w.dialogs.messages.isEmpty());
}

void AddressBookTest::saveNewContact()
{
    QFETCH(Side, side);
    MainWindow w;
    QVERIFY(w.start());
    w.show();
    QStringList values = Zhang;
    values[6] = QString(); // an empty phone is stored as "txtTel="
    w.setFields(side.keys, values);
    QTest::mouseClick(w.button(side.save), Qt::LeftButton);

    const QString file = side.folder + "ABC - 张三.dat";
    const QByteArray expected = "[Pellory]\r\n" + side.keys[0].toLatin1() + "=ABC\r\n" +
                                side.keys[1].toLatin1() + "=\xD5\xC5\xC8\xFD\r\n" + side.keys[2].toLatin1() +
                                "=" + gbk("广东省") + "\r\n" + side.keys[3].toLatin1() + "=" + gbk("深圳市") +
                                "\r\n" + side.keys[4].toLatin1() + "=" + gbk("南山区") + "\r\n" +
                                side.keys[5].toLatin1() + "=" + gbk("科技园1号") + "\r\n" +
                                side.keys[6].toLatin1() + "=\r\n" + side.keys[7].toLatin1() + "=518000\r\n";
    QCOMPARE(w.folder.read(file), expected);
    QCOMPARE(expected.count("\r\n"), 9);

    PickerList *picker = w.get<PickerList>(side.picker);
    QCOMPARE(picker->entries(), QStringList{"ABC - 张三"});
    QCOMPARE(picker->text(), QString());
    QCOMPARE(picker->selectedIndex(), -1);
    QCOMPARE(w.fields(side.keys), values);
    QCOMPARE(w.form->currentPath(), w.folder.path(side.folder));
    QVERIFY(w.dialogs.messages.isEmpty());

    clickEntry(picker, 0);
    QCOMPARE(w.fields(side.keys), values);
}

void AddressBookTest::saveWithEmptyField_data()
{
    QTest::addColumn<Side>("side");
    QTest::addColumn<int>("emptyField");
    QTest::newRow("sender company") << Sender << 0;
    QTest::newRow("sender person") << Sender << 1;
    QTest::newRow("recipient company") << Recipient << 0;
    QTest::newRow("recipient person") << Recipient << 1;
}

void AddressBookTest::saveWithEmptyField()
{
    QFETCH(Side, side);
    QFETCH(int, emptyField);
    MainWindow w;
    writeContact(w, side, Li);
    QVERIFY(w.start());
    w.show();
    // A file that appeared after start-up shows up in the rebuilt list.
    writeContact(w, side, Zhang);
    PickerList *picker = w.get<PickerList>(side.picker);
    clickEntry(picker, 0);
    w.field(side.keys[emptyField])->clear();
    QTest::mouseClick(w.button(side.save), Qt::LeftButton);

    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.dialogs.messages[0].text, side.emptyWarning);
    QCOMPARE(w.dialogs.messages[0].title, QStringLiteral("提示"));
    QCOMPARE(w.dialogs.messages[0].flags, 48);
    QCOMPARE(w.folder.entries(side.folder), (QStringList{"ABC - 张三.dat", "DEF - 李四.dat"}));
    QCOMPARE(w.folder.read(side.folder + "DEF - 李四.dat"), contactBytes(side.keys, Li));
    QCOMPARE(picker->entries(), (QStringList{"ABC - 张三", "DEF - 李四"}));
    QCOMPARE(picker->text(), QString());
    QCOMPARE(picker->selectedIndex(), -1);

    // A field of blanks is not empty.
    w.field(side.keys[emptyField])->setText(" ");
    QTest::mouseClick(w.button(side.save), Qt::LeftButton);
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.folder.entries(side.folder).size(), 3);
}

void AddressBookTest::saveExistingKeepsOtherLines()
{
    QFETCH(Side, side);
    MainWindow w;
    const QString file = side.folder + "ABC - 张三.dat";
    const QByteArray before = "; kept\r\n[pellory]\r\n" + side.keys[6].toLatin1() + "=old\r\nextra=1\r\n" +
                              side.keys[0].toLatin1() + "=ABC\r\n[Other]\r\n" + side.keys[1].toLatin1() +
                              "=x\r\n";
    w.folder.write(file, before);
    QVERIFY(w.start());
    w.show();
    w.setFields(side.keys, Zhang);
    // Letter case of the name does not make a second contact.
    w.field(side.keys[0])->setText("abc");
    QTest::mouseClick(w.button(side.save), Qt::LeftButton);

    QCOMPARE(w.folder.entries(side.folder), QStringList{"ABC - 张三.dat"});
    QCOMPARE(w.get<PickerList>(side.picker)->entries(), QStringList{"ABC - 张三"});
    const QByteArray after = w.folder.read(file);
    const QList<QByteArray> lines = after.split('\n');
    QCOMPARE(lines[0], QByteArray("; kept\r"));
    QCOMPARE(lines[1], QByteArray("[pellory]\r"));
    QCOMPARE(lines[2], side.keys[6].toLatin1() + "=021-12345678\r");
    QCOMPARE(lines[3], QByteArray("extra=1\r"));
    QCOMPARE(lines[4], side.keys[0].toLatin1() + "=abc\r");
    // The missing keys follow the section's last line, before the next section.
    QCOMPARE(lines[5], side.keys[1].toLatin1() + "=" + gbk("张三") + "\r");
    QCOMPARE(lines[10], side.keys[7].toLatin1() + "=518000\r");
    QCOMPARE(lines[11], QByteArray("[Other]\r"));
    QCOMPARE(lines[12], side.keys[1].toLatin1() + "=x\r");
    QCOMPARE(lines.size(), 14);
}

void AddressBookTest::saveAfterChangingPerson()
{
    QFETCH(Side, side);
    MainWindow w;
    writeContact(w, side, Zhang);
    QVERIFY(w.start());
    w.show();
    PickerList *picker = w.get<PickerList>(side.picker);
    clickEntry(picker, 0);
    w.field(side.keys[1])->setText("王五");
    QTest::mouseClick(w.button(side.save), Qt::LeftButton);
    QCOMPARE(w.folder.entries(side.folder), (QStringList{"ABC - 张三.dat", "ABC - 王五.dat"}));
    QCOMPARE(w.folder.read(side.folder + "ABC - 张三.dat"), contactBytes(side.keys, Zhang));
    QCOMPARE(picker->entries(), (QStringList{"ABC - 王五", "ABC - 张三"}));
}

void AddressBookTest::unsafeNamesRefused_data()
{
    QTest::addColumn<Side>("side");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("person");
    for (const Side &side : {Sender, Recipient}) {
        const QByteArray prefix = side.picker.toLatin1() + ": ";
        QTest::newRow(prefix + "slash") << side << "a/b"
                                        << "x";
        QTest::newRow(prefix + "backslash") << side << "a"
                                            << "..\\..\\x";
        QTest::newRow(prefix + "up a folder") << side << "../../../outside"
                                              << "x";
        QTest::newRow(prefix + "colon") << side << "上海:浦东"
                                        << "x";
        QTest::newRow(prefix + "question mark") << side << "who?"
                                                << "x";
        QTest::newRow(prefix + "quote") << side << "\"A\""
                                        << "x";
        QTest::newRow(prefix + "control character") << side << "a\tb"
                                                    << "x";
        QTest::newRow(prefix + "300 bytes") << side << QString(100, QChar(0x5F20)) << "x";
        // Half of a surrogate pair has no bytes on disk that would give it back.
        QTest::newRow(prefix + "half a character") << side << QString(QChar(0xD9A9)) + "a"
                                                   << "x";
        // 120 and 135 bytes each, 262 with " - " and ".dat".
        QTest::newRow(prefix + "joined name too long")
            << side << QString(40, QChar(0x5F20)) << QString(45, QChar(0x5F20));
    }
}

void AddressBookTest::dotsAreNames_data()
{
    QTest::addColumn<Side>("side");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("person");
    QTest::addColumn<QString>("file");
    QTest::newRow("sender company ..") << Sender << ".."
                                       << "x"
                                       << ".. - x.dat";
    QTest::newRow("recipient person .") << Recipient << "ABC"
                                        << "."
                                        << "ABC - ..dat";
    QTest::newRow("sender company .") << Sender << "."
                                      << "张三"
                                      << ". - 张三.dat";
}

void AddressBookTest::dotsAreNames()
{
    QFETCH(Side, side);
    QFETCH(QString, company);
    QFETCH(QString, person);
    QFETCH(QString, file);
    MainWindow w;
    QVERIFY(w.start());
    w.show();
    w.setFields(side.keys, {company, person});
    QTest::mouseClick(w.button(side.save), Qt::LeftButton);
    QVERIFY(w.dialogs.messages.isEmpty());
    QCOMPARE(w.folder.entries(side.folder), QStringList{file});
    PickerList *picker = w.get<PickerList>(side.picker);
    QCOMPARE(picker->entries(), QStringList{company + " - " + person});
    clickEntry(picker, 0);
    QCOMPARE(w.fields(side.keys).mid(0, 2), (QStringList{company, person}));
}

void AddressBookTest::unsafeNamesRefused()
{
    QFETCH(Side, side);
    QFETCH(QString, company);
    QFETCH(QString, person);
    MainWindow w;
    writeContact(w, side, Li);
    QVERIFY(w.start());
    w.show();
    const QStringList everything = w.folder.tree();
    w.setFields(side.keys, Zhang);
    w.field(side.keys[0])->setText(company);
    w.field(side.keys[1])->setText(person);
    QTest::mouseClick(w.button(side.save), Qt::LeftButton);

    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.dialogs.messages[0].title, QStringLiteral("提示"));
    QCOMPARE(w.dialogs.messages[0].flags, 48);
    QVERIFY(w.dialogs.messages[0].text.contains(QStringLiteral("不能包含")));
    QCOMPARE(w.folder.tree(), everything);
    PickerList *picker = w.get<PickerList>(side.picker);
    QCOMPARE(picker->entries(), QStringList{"DEF - 李四"});
    QCOMPARE(picker->text(), QString());
}

void AddressBookTest::refusedChangesLeaveTheWindowAsItWas()
{
    QFETCH(Side, side);
    MainWindow w;
    writeContact(w, side, Zhang);
    writeContact(w, side, Li);
    QVERIFY(w.start());
    w.show();
    PickerList *picker = w.get<PickerList>(side.picker);
    clickEntry(picker, 1);
    const QString pathBefore = w.form->currentPath();
    {
        ReadOnly folder(w.folder.path(side.folder));
        w.field(side.keys[1])->setText("王五");
        QTest::mouseClick(w.button(side.save), Qt::LeftButton);
        QTest::mouseClick(w.button(side.remove), Qt::LeftButton);
    }
    const auto &messages = w.dialogs.messages;
    QCOMPARE(messages.size(), 3); // the save's warning, the question, the delete's warning
    QVERIFY(messages[0].text.contains(w.folder.path(side.folder + "DEF - 王五.dat")));
    QVERIFY(messages[2].text.contains(w.folder.path(side.folder + "DEF - 李四.dat")));
    for (int i : {0, 2}) {
        QCOMPARE(messages[i].flags, 48);
        QCOMPARE(messages[i].title, QStringLiteral("提示"));
        QVERIFY2(messages[i].text.contains(QStringLiteral("没有写入权限")), qPrintable(messages[i].text));
    }
    QCOMPARE(picker->entries(), (QStringList{"ABC - 张三", "DEF - 李四"}));
    QCOMPARE(picker->selectedIndex(), 1);
    QCOMPARE(picker->text(), QStringLiteral("DEF - 李四"));
    QCOMPARE(w.field(side.keys[1])->text(), QStringLiteral("王五"));
    QCOMPARE(w.form->currentPath(), pathBefore);
    QCOMPARE(w.folder.entries(side.folder), (QStringList{"ABC - 张三.dat", "DEF - 李四.dat"}));
}

void AddressBookTest::refusedDefaultSenderAndGroup()
{
    MainWindow w;
    writeContact(w, Sender, Zhang);
    writeContact(w, Sender, Li);
    QVERIFY(w.platform->writeSetting("Pellory", "Pellory", "Pellory", "ABC - 张三"));
    QVERIFY(w.start());
    w.show();
    clickEntry(w.cmbSent(), 1);
    w.dialogs.inputs = {"北京"};
    {
        ReadOnly settingsFolder(w.folder.dir.path());
        ReadOnly settings(w.folder.settingsFile());
        ReadOnly groups(w.folder.path("to"));
        QTest::mouseClick(w.button("cmdSentIndex"), Qt::LeftButton);
        QTest::mouseClick(w.button("cmdNew2"), Qt::LeftButton);
    }
    QCOMPARE(w.dialogs.messages.size(), 2);
    QVERIFY(w.dialogs.messages[0].text.contains(w.folder.settingsFile()));
    QVERIFY(w.dialogs.messages[1].text.contains(w.folder.path("to/北京")));
    QCOMPARE(w.dialogs.messages[1].flags, 48);
    QCOMPARE(w.setting(), QStringLiteral("ABC - 张三"));
    QCOMPARE(w.Combo1()->count(), 1);
    QVERIFY(!w.folder.exists("to/北京"));
}

void AddressBookTest::deleteCancelled()
{
    QFETCH(Side, side);
    MainWindow w;
    writeContact(w, side, Zhang);
    writeContact(w, side, Li);
    QVERIFY(w.start());
    w.show();
    PickerList *picker = w.get<PickerList>(side.picker);
    clickEntry(picker, 1);
    const QString pathBefore = w.form->currentPath();
    w.dialogs.answers = {Dialogs::Cancel};
    QTest::mouseClick(w.button(side.remove), Qt::LeftButton);
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.dialogs.messages[0].text, side.deleteQuestion);
    QCOMPARE(w.dialogs.messages[0].title, QStringLiteral("提示："));
    QCOMPARE(w.dialogs.messages[0].flags, 65);
    QCOMPARE(w.folder.entries(side.folder).size(), 2);
    QCOMPARE(picker->count(), 2);
    QCOMPARE(picker->selectedIndex(), 1);
    QCOMPARE(w.fields(side.keys), Li);
    QCOMPARE(w.form->currentPath(), pathBefore);
}

void AddressBookTest::deletePicksFirstRemaining()
{
    QFETCH(Side, side);
    MainWindow w;
    writeContact(w, side, Zhang);
    writeContact(w, side, Li);
    QVERIFY(w.start());
    w.show();
    PickerList *picker = w.get<PickerList>(side.picker);
    clickEntry(picker, 1);
    QTest::mouseClick(w.button(side.remove), Qt::LeftButton);
    QCOMPARE(w.folder.entries(side.folder), QStringList{"ABC - 张三.dat"});
    QCOMPARE(picker->entries(), QStringList{"ABC - 张三"});
    QCOMPARE(picker->selectedIndex(), 0);
    QCOMPARE(picker->text(), QStringLiteral("ABC - 张三"));
    QCOMPARE(w.fields(side.keys), Zhang);
    QCOMPARE(w.form->currentPath(), w.folder.path(side.folder + "ABC - 张三.dat"));
}

void AddressBookTest::deleteOnlyEntry()
{
    QFETCH(Side, side);
    MainWindow w;
    writeContact(w, side, Zhang);
    QVERIFY(w.start());
    w.show();
    PickerList *picker = w.get<PickerList>(side.picker);
    clickEntry(picker, 0);
    QTest::mouseClick(w.button(side.remove), Qt::LeftButton);
    QVERIFY(w.folder.entries(side.folder).isEmpty());
    QCOMPARE(picker->count(), 0);
    QCOMPARE(w.fields(side.keys), Zhang);
    QCOMPARE(w.form->currentPath(), w.folder.path(side.afterEmpty));
}

void AddressBookTest::deleteEntryWhoseFileIsGone()
{
    QFETCH(Side, side);
    MainWindow w;
    writeContact(w, side, Zhang);
    writeContact(w, side, Li);
    QVERIFY(w.start());
    w.show();
    PickerList *picker = w.get<PickerList>(side.picker);
    clickEntry(picker, 0);
    QVERIFY(QFile::remove(w.folder.path(side.folder + "ABC - 张三.dat")));
    QTest::mouseClick(w.button(side.remove), Qt::LeftButton);
    QCOMPARE(w.folder.entries(side.folder), QStringList{"DEF - 李四.dat"});
    QCOMPARE(picker->entries(), QStringList{"DEF - 李四"});
    QCOMPARE(w.fields(side.keys), Li);
}

void AddressBookTest::deleteRightAfterStartWithoutDefault()
{
    MainWindow w;
    writeContact(w, Sender, Zhang);
    writeContact(w, Sender, Li);
    w.folder.write("sent/搜索....dat", "a file named like the design text");
    QVERIFY(w.start());
    w.show();
    QCOMPARE(w.cmbSent()->text(), QStringLiteral("搜索..."));
    QTest::mouseClick(w.button("cmdDel"), Qt::LeftButton);
    // The edit line names "搜索...": that file goes, and no entry is removed.
    QCOMPARE(w.folder.entries("sent"), (QStringList{"ABC - 张三.dat", "DEF - 李四.dat"}));
    QCOMPARE(w.cmbSent()->entries(), (QStringList{"搜索...", "ABC - 张三", "DEF - 李四"}));
    QCOMPARE(w.cmbSent()->selectedIndex(), 0);
}

void AddressBookTest::deleteNeverLeavesTheFolder_data()
{
    QTest::addColumn<Side>("side");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("victim"); // relative to the temporary folder
    QTest::newRow("sender, program folder") << Sender << "../victim"
                                            << "program/victim.dat";
    QTest::newRow("sender, outside") << Sender << "../../victim"
                                     << "victim.dat";
    QTest::newRow("recipient, other group") << Recipient << "../other/victim"
                                            << "program/to/other/victim.dat";
    QTest::newRow("recipient, outside") << Recipient << "../../../victim"
                                        << "victim.dat";
}

void AddressBookTest::deleteNeverLeavesTheFolder()
{
    QFETCH(Side, side);
    QFETCH(QString, typed);
    QFETCH(QString, victim);
    MainWindow w;
    writeContact(w, side, Zhang);
    const QString victimPath = w.folder.dir.path() + "/" + victim;
    QDir().mkpath(QFileInfo(victimPath).path());
    QFile file(victimPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(w.start());
    w.show();
    PickerList *picker = w.get<PickerList>(side.picker);
    picker->editLine()->setText(typed);
    QTest::mouseClick(w.button(side.remove), Qt::LeftButton);
    QVERIFY(QFileInfo::exists(victimPath));
    // The rest of the delete runs: the first entry is picked.
    QCOMPARE(w.fields(side.keys), Zhang);
}

void AddressBookTest::defaultSenderButton()
{
    MainWindow w;
    writeContact(w, Sender, Zhang);
    writeContact(w, Sender, Li);
    QVERIFY(w.platform->writeSetting("Pellory", "Pellory", "Pellory", "ABC - 张三"));
    QVERIFY(w.start());
    w.show();
    QPushButton *makeDefault = w.button("cmdSentIndex");
    QVERIFY(!makeDefault->isEnabled());
    clickEntry(w.cmbSent(), 1);
    QVERIFY(makeDefault->isEnabled());
    QTest::mouseClick(makeDefault, Qt::LeftButton);
    QCOMPARE(w.setting(), QStringLiteral("DEF - 李四"));
    QVERIFY(makeDefault->isEnabled()); // until the next pick
    clickEntry(w.cmbSent(), 0);
    QVERIFY(makeDefault->isEnabled());
    clickEntry(w.cmbSent(), 1);
    QVERIFY(!makeDefault->isEnabled());

    QVERIFY(w.restart());
    QCOMPARE(w.cmbSent()->text(), QStringLiteral("DEF - 李四"));
    QCOMPARE(w.fields(SenderKeys), Li);
}

void AddressBookTest::defaultSenderStoresWhatTheLineShows()
{
    MainWindow w;
    writeContact(w, Sender, Zhang);
    QVERIFY(w.start());
    w.show();
    // Before any pick the line shows its design text.
    QTest::mouseClick(w.button("cmdSentIndex"), Qt::LeftButton);
    QCOMPARE(w.setting(), QStringLiteral("搜索..."));
    w.cmbSent()->editLine()->clear();
    QTest::mouseClick(w.button("cmdSentIndex"), Qt::LeftButton);
    QCOMPARE(w.setting(), QString());
    QVERIFY(w.restart());
    QCOMPARE(w.cmbSent()->selectedIndex(), -1);
    QCOMPARE(w.field("txtSent")->text(), QString());
}

void AddressBookTest::deletedDefaultSenderStaysStored()
{
    MainWindow w;
    writeContact(w, Sender, Zhang);
    QVERIFY(w.platform->writeSetting("Pellory", "Pellory", "Pellory", "ABC - 张三"));
    QVERIFY(w.start());
    w.show();
    QTest::mouseClick(w.button("cmdDel"), Qt::LeftButton);
    QVERIFY(w.folder.entries("sent").isEmpty());
    QCOMPARE(w.setting(), QStringLiteral("ABC - 张三"));
    QVERIFY(w.restart());
    QCOMPARE(w.cmbSent()->text(), QStringLiteral("搜索..."));
    QCOMPARE(w.field("txtSent")->text(), QString());
}

void AddressBookTest::senderCountKeepsStartUpFigure()
{
    MainWindow w;
    writeContact(w, Sender, Zhang);
    QVERIFY(w.start());
    w.show();
    w.setFields(SenderKeys, Li);
    QTest::mouseClick(w.button("cmdNew"), Qt::LeftButton);
    QCOMPARE(w.cmbSent()->count(), 2);
    QCOMPARE(w.title("Frame6"), QStringLiteral("选择寄件人  共(1)个"));
    clickEntry(w.cmbSent(), 0);
    QTest::mouseClick(w.button("cmdDel"), Qt::LeftButton);
    QTest::mouseClick(w.button("cmdDel"), Qt::LeftButton);
    QCOMPARE(w.cmbSent()->count(), 0);
    QCOMPARE(w.title("Frame6"), QStringLiteral("选择寄件人  共(1)个"));
}

void AddressBookTest::switchGroupShowsCount()
{
    MainWindow w;
    for (const char *name : {"a - 1.dat", "b - 2.dat", "c - 3.DAT", "readme.txt"})
        w.folder.write(QStringLiteral("to/客户/") + QString::fromUtf8(name), "");
    w.folder.mkdir("to/空");
    QVERIFY(w.start());
    w.show();
    QComboBox *groups = w.Combo1();
    QCOMPARE(groups->itemText(1), QStringLiteral("客户"));
    chooseGroup(groups, 1);
    QCOMPARE(w.cmbTo()->entries(), (QStringList{"a - 1", "b - 2", "c - 3"}));
    QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(3)个"));
    QCOMPARE(w.form->currentPath(), w.folder.path("to/客户/"));
    chooseGroup(groups, 2);
    QCOMPARE(groups->currentText(), QStringLiteral("空"));
    QCOMPARE(w.cmbTo()->count(), 0);
    QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(0)个"));
}

void AddressBookTest::recipientsBelongToTheCurrentGroup()
{
    MainWindow w;
    w.folder.mkdir("to/客户");
    QVERIFY(w.start());
    w.show();
    chooseGroup(w.Combo1(), 1);
    w.setFields(RecipientKeys, Zhang);
    QTest::mouseClick(w.button("cmdNewTo"), Qt::LeftButton);
    QCOMPARE(w.folder.read("to/客户/ABC - 张三.dat"), contactBytes(RecipientKeys, Zhang));
    QVERIFY(w.folder.entries("to/_未分类").isEmpty());
    // The caption counts at a group switch only.
    QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(0)个"));
    chooseGroup(w.Combo1(), 0);
    QCOMPARE(w.cmbTo()->count(), 0);
    // The fields keep the other group's recipient.
    QCOMPARE(w.fields(RecipientKeys), Zhang);
    chooseGroup(w.Combo1(), 1);
    clickEntry(w.cmbTo(), 0);
    QCOMPARE(w.form->currentPath(), w.folder.path("to/客户/ABC - 张三.dat"));
}

void AddressBookTest::addGroup()
{
    MainWindow w;
    w.folder.write("to/客户/a - 1.dat", "kept");
    QVERIFY(w.start());
    w.show();
    QComboBox *groups = w.Combo1();
    w.dialogs.inputs = {"北京", "客户"};
    QTest::mouseClick(w.button("cmdNew2"), Qt::LeftButton);
    QCOMPARE(w.dialogs.prompts.size(), 1);
    QCOMPARE(w.dialogs.prompts[0].text, QStringLiteral("请输入需要添加的类别名称："));
    QCOMPARE(w.dialogs.prompts[0].title, QStringLiteral("添加分类"));
    QVERIFY(QFileInfo(w.folder.path("to/北京")).isDir());
    // Added, not chosen.
    QCOMPARE(groups->currentText(), QStringLiteral("_未分类"));
    QCOMPARE(w.form->currentPath(), w.folder.path("to/_未分类/"));

    QTest::mouseClick(w.button("cmdNew2"), Qt::LeftButton);
    QStringList items;
    for (int i = 0; i < groups->count(); ++i)
        items.append(groups->itemText(i));
    QCOMPARE(items, (QStringList{"_未分类", "北京", "客户", "客户"}));
    QCOMPARE(w.folder.read("to/客户/a - 1.dat"), QByteArray("kept"));

    chooseGroup(groups, 1);
    QCOMPARE(w.cmbTo()->count(), 0);
    QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(0)个"));
    chooseGroup(groups, 3);
    QCOMPARE(w.cmbTo()->entries(), QStringList{"a - 1"});
    QVERIFY(w.dialogs.messages.isEmpty());
}

void AddressBookTest::addGroupRefusals()
{
    MainWindow w;
    QVERIFY(w.start());
    w.show();
    const QStringList before = w.folder.entries("to");
    w.dialogs.inputs = {QString(), "a/b", "..", "x:y", QString(100, QChar(0x5F20))};
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(w.button("cmdNew2"), Qt::LeftButton);
    QCOMPARE(w.Combo1()->count(), 1);
    QCOMPARE(w.folder.entries("to"), before);
    QVERIFY(!w.folder.exists("to/a"));
    // Cancel says nothing; each refused name is explained.
    QCOMPARE(w.dialogs.messages.size(), 4);
    for (const auto &message : w.dialogs.messages) {
        QCOMPARE(message.flags, 48);
        QCOMPARE(message.title, QStringLiteral("提示"));
    }
}

void AddressBookTest::deleteGroup()
{
    MainWindow w;
    w.folder.write("to/客户/a - 1.dat", "");
    w.folder.write("to/客户/b - 2.dat", "");
    w.folder.write("to/客户/notes.txt", "");
    QVERIFY(w.start());
    w.show();
    chooseGroup(w.Combo1(), 1);
    clickEntry(w.cmbTo(), 0);
    const QString pathBefore = w.form->currentPath();

    w.dialogs.answers = {Dialogs::Cancel};
    QTest::mouseClick(w.button("cmdDel2"), Qt::LeftButton);
    QCOMPARE(w.dialogs.messages[0].text, QStringLiteral("确认要删除（分类）及（分类下的收件人）吗？"));
    QCOMPARE(w.dialogs.messages[0].title, QStringLiteral("提示："));
    QCOMPARE(w.dialogs.messages[0].flags, 65);
    QCOMPARE(w.folder.entries("to/客户").size(), 3);

    QTest::mouseClick(w.button("cmdDel2"), Qt::LeftButton);
    QVERIFY(!w.folder.exists("to/客户"));
    // Everything on screen stays as it was.
    QCOMPARE(w.Combo1()->currentText(), QStringLiteral("客户"));
    QCOMPARE(w.Combo1()->count(), 2);
    QCOMPARE(w.cmbTo()->entries(), (QStringList{"a - 1", "b - 2"}));
    QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(2)个"));
    QCOMPARE(w.form->currentPath(), pathBefore);

    // The whole group can come back from the trash.
    QVERIFY(m_home.trashed().contains(QStringLiteral("客户")));

    // Saving into the deleted group writes nothing anywhere, and says so.
    w.setFields(RecipientKeys, Zhang);
    QTest::mouseClick(w.button("cmdNewTo"), Qt::LeftButton);
    QVERIFY(!w.folder.exists("to/客户"));
    QCOMPARE(w.dialogs.messages.size(), 3);
    QVERIFY(w.dialogs.messages[2].text.contains(w.folder.path("to/客户/ABC - 张三.dat")));
    QVERIFY(w.dialogs.messages[2].text.contains(QStringLiteral("上一级文件夹不存在")));
    QCOMPARE(w.cmbTo()->entries(), (QStringList{"a - 1", "b - 2"}));

    chooseGroup(w.Combo1(), 0);
    chooseGroup(w.Combo1(), 1);
    QCOMPARE(w.cmbTo()->count(), 0);
    QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(0)个"));

    // Deleting it again, its folder gone: nothing happens, nothing is said.
    QTest::mouseClick(w.button("cmdDel2"), Qt::LeftButton);
    QCOMPARE(w.dialogs.messages.size(), 4);
}

void AddressBookTest::deleteGroupKeepsSubfolders()
{
    MainWindow w;
    w.folder.write("to/客户/a - 1.dat", "");
    w.folder.write("to/客户/archive/old.dat", "old");
    QVERIFY(w.start());
    w.show();
    chooseGroup(w.Combo1(), 1);
    QTest::mouseClick(w.button("cmdDel2"), Qt::LeftButton);
    QCOMPARE(w.folder.entries("to/客户"), QStringList{"archive"});
    QCOMPARE(w.folder.read("to/客户/archive/old.dat"), QByteArray("old"));
    QCOMPARE(w.dialogs.messages.size(), 1); // the question only
}

void AddressBookTest::deleteGroupWithoutSelection()
{
    MainWindow w;
    QVERIFY(w.start());
    w.show();
    w.Combo1()->setCurrentIndex(-1);
    QTest::mouseClick(w.button("cmdDel2"), Qt::LeftButton);
    QCOMPARE(w.dialogs.messages.size(), 1);
    QCOMPARE(w.dialogs.messages[0].text, QStringLiteral("选择的分类不正确，请重新选择！"));
    QCOMPARE(w.dialogs.messages[0].title, QStringLiteral("错误："));
    QCOMPARE(w.dialogs.messages[0].flags, 64);
    QVERIFY(w.folder.exists("to/_未分类"));
}

void AddressBookTest::deleteDefaultGroupComesBack()
{
    MainWindow w;
    w.folder.write("to/_未分类/a - 1.dat", "");
    QVERIFY(w.start());
    w.show();
    QTest::mouseClick(w.button("cmdDel2"), Qt::LeftButton);
    QVERIFY(!w.folder.exists("to/_未分类"));
    QVERIFY(w.restart());
    QVERIFY(w.folder.entries("to/_未分类").isEmpty());
    QCOMPARE(w.Combo1()->currentText(), QStringLiteral("_未分类"));
    QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(0)个"));
}

QUILLBOX_TEST_MAIN(AddressBookTest)
#include "tst_addressbook.moc"
