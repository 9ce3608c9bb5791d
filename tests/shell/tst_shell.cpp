// The main window: its layout, the start-up sequence on real program folders and
// the picker list.
#include "mainwindow.h"
#include "ui/twips.h"

#include <QSignalSpy>
#include <QTimer>

class ShellTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twipsConvert();
    void layout_data();
    void layout();
    void windowFrame();
    void tabOrder();
    void accessKeys();
    void combo1AcceptsOnlyItsEntries();

    void firstStartCreatesFolders();
    void startWithFoldersPresent();
    void startListsOnlyContactsAndGroups();
    void twoHundredSendersSorted();
    void defaultSenderSelectedOnlyWhenExact_data();
    void defaultSenderSelectedOnlyWhenExact();
    void storageFolderThatCannotBeCreated();

    void pickerKeepsSortedOrder();
    void pickerFindPrefix_data();
    void pickerFindPrefix();
    void pickerProgramSelectionPicksAtOnce();
    void pickerSelectionFollowsEditLine();
    void pickerSearchKeepsListOrder_data();
    void pickerSearchKeepsListOrder();
    void pickerHoldsMoreThan32767Entries();
    void pathLabelShowsTheCurrentPath();
};

void ShellTest::twipsConvert()
{
    QCOMPARE(Twips::toPixels(15), 1);
    QCOMPARE(Twips::toPixels(12030), 802);
    QCOMPARE(Twips::toPixels(8280), 552);
    QCOMPARE(Twips::rect(120, 240, 3135, 1980), QRect(8, 16, 209, 132));
}

void ShellTest::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("colour");

    struct Row
    {
        const char *name, *parent, *caption;
        QRect twips;
        const char *colour;
    };
    const Row rows[] = {
        {"Frame2", "frmMain", "", {0, 0, 10575, 2535}, "#c0c0ff"},
        {"Frame3", "frmMain", " 打印快递单 ", {10560, 0, 1455, 6495}, "#ffc080"},
        {"Frame1", "frmMain", "", {0, 2520, 10575, 3975}, "#80ff80"},
        {"WebBrowser1", "frmMain", "", {0, 6480, 12135, 1815}, ""},
        {"Frame6", "Frame2", "选择寄件人", {120, 240, 3375, 2295}, "#c0c0ff"},
        {"Frame7(0)", "Frame2", "信息预览", {3480, 240, 5775, 2295}, "#c0c0ff"},
        {"cmdNew", "Frame2", "新增/修改", {9360, 360, 1095, 495}, "#c0c0ff"},
        {"cmdDel", "Frame2", "删除", {9360, 1080, 1095, 495}, "#c0c0ff"},
        {"cmdSentIndex", "Frame2", "设为默认", {9360, 1800, 1095, 495}, "#c0c0ff"},
        {"path", "Frame2", "path", {1560, 0, 0, 0}, ""},
        {"cmbSent", "Frame6", "搜索...", {120, 240, 3135, 1980}, "#c0ffc0"},
        {"Label1(4)", "Frame7(0)", "寄件单位：", {240, 360, 0, 0}, ""},
        {"txtSent", "Frame7(0)", "", {1080, 360, 2415, 270}, "#c0c0ff"},
        {"Label1(0)", "Frame7(0)", "寄件人：", {3720, 360, 0, 0}, ""},
        {"txtName", "Frame7(0)", "", {4440, 360, 975, 270}, "#c0c0ff"},
        {"Label1(3)", "Frame7(0)", "寄件地址：", {240, 840, 0, 0}, ""},
        {"txtP", "Frame7(0)", "", {1080, 840, 1215, 270}, "#c0c0ff"},
        {"Label3(0)", "Frame7(0)", "省", {2280, 840, 0, 0}, ""},
        {"txtC", "Frame7(0)", "", {2520, 840, 1215, 270}, "#c0c0ff"},
        {"Label3(1)", "Frame7(0)", "市", {3720, 840, 0, 0}, ""},
        {"txtA", "Frame7(0)", "", {3960, 840, 1215, 270}, "#c0c0ff"},
        {"Label3(2)", "Frame7(0)", "区/县", {5160, 840, 0, 0}, ""},
        {"Label6", "Frame7(0)", "详细地址：", {240, 1320, 0, 0}, ""},
        {"txtAdd", "Frame7(0)", "", {1080, 1320, 4455, 270}, "#c0c0ff"},
        {"Label1(2)", "Frame7(0)", "联系电话：", {240, 1800, 0, 0}, ""},
        {"txtTel", "Frame7(0)", "", {1080, 1800, 1935, 270}, "#c0c0ff"},
        {"Label2", "Frame7(0)", "邮编：", {3360, 1800, 0, 0}, ""},
        {"txtZip", "Frame7(0)", "", {3840, 1800, 1575, 270}, "#c0c0ff"},
        {"Frame4", "Frame1", "收件人分类", {120, 120, 4815, 735}, "#80ff80"},
        {"WebBrowser2", "Frame1", "", {5040, 240, 5535, 615}, ""},
        {"Frame5", "Frame1", "选择收件人", {120, 960, 3375, 3015}, "#80ff80"},
        {"Frame7(1)", "Frame1", "信息预览", {3480, 960, 5775, 3015}, "#80ff80"},
        {"cmdNewTo", "Frame1", "新增/修改", {9360, 1080, 1095, 495}, "#80ff80"},
        {"cmdDelTo", "Frame1", "删除", {9360, 1800, 1095, 495}, "#80ff80"},
        {"Combo1", "Frame4", "", {120, 240, 2415, 300}, ""},
        {"cmdNew2", "Frame4", "新增", {2640, 240, 975, 375}, "#80ff80"},
        {"cmdDel2", "Frame4", "删除", {3720, 240, 975, 375}, "#80ff80"},
        {"cmbTo", "Frame5", "搜索...", {120, 240, 3135, 2700}, "#c0ffc0"},
        {"Label1(1)", "Frame7(1)", "收件单位：", {240, 600, 0, 0}, ""},
        {"txtSentTo", "Frame7(1)", "", {1080, 600, 2415, 270}, "#80ff80"},
        {"Label1(7)", "Frame7(1)", "收件人：", {3720, 600, 0, 0}, ""},
        {"txtNameTo", "Frame7(1)", "", {4440, 600, 975, 270}, "#80ff80"},
        {"Label1(5)", "Frame7(1)", "收件地址：", {240, 1200, 0, 0}, ""},
        {"txtPTo", "Frame7(1)", "", {1080, 1200, 1215, 270}, "#80ff80"},
        {"Label3(5)", "Frame7(1)", "省", {2280, 1200, 0, 0}, ""},
        {"txtCTo", "Frame7(1)", "", {2520, 1200, 1215, 270}, "#80ff80"},
        {"Label3(4)", "Frame7(1)", "市", {3720, 1200, 0, 0}, ""},
        {"txtATo", "Frame7(1)", "", {3960, 1200, 1215, 270}, "#80ff80"},
        {"Label3(3)", "Frame7(1)", "区/县", {5160, 1200, 0, 0}, ""},
        {"Label5", "Frame7(1)", "详细地址：", {240, 1800, 0, 0}, ""},
        {"txtAddTo", "Frame7(1)", "", {1080, 1800, 4455, 270}, "#80ff80"},
        {"Label1(6)", "Frame7(1)", "联系电话：", {240, 2400, 0, 0}, ""},
        {"txtTelTo", "Frame7(1)", "", {1080, 2400, 1935, 270}, "#80ff80"},
        {"Label4", "Frame7(1)", "邮编：", {3480, 2400, 0, 0}, ""},
        {"txtZipTo", "Frame7(1)", "", {3960, 2400, 1455, 270}, "#80ff80"},
        {"cmdSF", "Frame3", "顺丰快递 &1", {120, 480, 1215, 495}, "#ffc080"},
        {"cmdYD", "Frame3", "韵达快递 &2", {120, 1200, 1215, 495}, "#ffc080"},
        {"Command3", "Frame3", "天天 &3", {120, 1920, 1215, 495}, "#ffc080"},
        {"Command1", "Frame3", "申通 &4", {120, 2640, 1215, 495}, "#ffc080"},
        {"Command2", "Frame3", "圆通 &5", {120, 3360, 1215, 495}, "#ffc080"},
        {"Command4", "Frame3", "中通 &6", {120, 4080, 1215, 495}, "#ffc080"},
        {"Command6", "Frame3", "汇通 &7", {120, 4800, 1215, 495}, "#ffc080"},
        {"Command5", "Frame3", "宅急送 &8", {120, 5520, 1215, 495}, "#ffc080"},
        // Not a courier: the tools menu, at the foot of the column.
        {"cmdTools", "Frame3", "工具", {120, 6060, 1215, 375}, "#ffc080"},
    };
    for (const Row &r : rows) {
        QTest::newRow(r.name) << QString::fromUtf8(r.name) << QString::fromUtf8(r.parent)
                              << QString::fromUtf8(r.caption) << r.twips << QString::fromUtf8(r.colour);
    }
}

void ShellTest::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(QString, colour);

    MainWindow w;
    w.form = std::make_unique<frmMain>(*w.platform, QString());
    QWidget *control = w.get(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), parentName);

    const QRect expected = Twips::rect(twips.x(), twips.y(), twips.width(), twips.height());
    QCOMPARE(control->pos(), expected.topLeft());
    if (auto *label = qobject_cast<QLabel *>(control)) {
        // Labels size themselves to their caption.
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->size(), label->sizeHint());
    } else {
        QCOMPARE(control->size(), expected.size());
    }

    QColor shown;
    if (auto *frame = qobject_cast<QGroupBox *>(control)) {
        QCOMPARE(frame->title(), caption);
        shown = frame->palette().color(QPalette::Window);
        QVERIFY(frame->autoFillBackground());
    } else if (auto *button = qobject_cast<QPushButton *>(control)) {
        QCOMPARE(button->text(), caption);
        shown = button->palette().color(QPalette::Button);
    } else if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        QCOMPARE(edit->text(), caption);
        shown = edit->palette().color(QPalette::Base);
    } else if (auto *picker = qobject_cast<PickerList *>(control)) {
        QCOMPARE(picker->text(), caption);
        QCOMPARE(picker->count(), 0);
        shown = picker->editLine()->palette().color(QPalette::Base);
        QCOMPARE(picker->listView()->palette().color(QPalette::Base), shown);
    }
    if (!colour.isEmpty())
        QCOMPARE(shown.name(), colour);
}

void ShellTest::windowFrame()
{
    MainWindow w;
    QVERIFY(w.start());
    w.form->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    QCOMPARE(w.form->windowTitle(), QStringLiteral("【Orvane】Quillbox v1.0"));
    QCOMPARE(w.form->size(), QSize(802, 552));
    QVERIFY(!(w.form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!w.form->windowIcon().isNull());
    // The bottom pane reaches past the client area and is cut by it.
    QCOMPARE(w.get("WebBrowser1")->geometry().right(), 808);
    QVERIFY(!w.get("path")->isVisible());
    for (const char *hidden : {"Command1", "Command2", "Command3", "Command4", "Command5", "Command6"})
        QVERIFY2(!w.button(QString::fromLatin1(hidden))->isVisible(), hidden);
    QVERIFY(w.button("cmdSF")->isVisible());
    QVERIFY(w.button("cmdYD")->isVisible());
    QCOMPARE(QApplication::focusWidget(), w.button("cmdSF"));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Centred, give or take the window frame.
    QVERIFY(qAbs(w.form->geometry().center().x() - screen.center().x()) <= 8);
    QVERIFY(qAbs(w.form->geometry().center().y() - screen.center().y()) <= 16);
}

void ShellTest::tabOrder()
{
    MainWindow w;
    QVERIFY(w.start());
    w.show();
    // Ascending tab index over the controls that take the focus.
    const QStringList expected{
        "cmdSF",    "cmbSent", "txtName",  "txtSent",  "txtP",      "txtTel",       "txtC",        "txtA",
        "cmdYD",    "txtAdd",  "txtZip",   "cmdNew",   "cmdDel",    "WebBrowser1",  "WebBrowser2", "cmdDelTo",
        "cmdNewTo", "cmbTo",   "txtZipTo", "txtAddTo", "txtNameTo", "txtSentTo",    "txtPTo",      "txtTelTo",
        "txtCTo",   "txtATo",  "cmdDel2",  "cmdNew2",  "Combo1",    "cmdSentIndex", "cmdTools",    "cmdSF"};
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        // A picker takes the focus in its edit line.
        QWidget *control = qobject_cast<PickerList *>(focus->parentWidget()) ? focus->parentWidget() : focus;
        visited.append(control->objectName());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
}

void ShellTest::accessKeys()
{
    MainWindow w;
    QVERIFY(w.start());
    w.show();

    // The waybill windows open modally; close each one as it shows.
    QStringList opened;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&opened] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            opened.append(modal->metaObject()->className());
            modal->close();
        }
    });
    closer.start(10);

    QList<QSignalSpy *> hidden;
    for (const char *name : {"Command3", "Command1", "Command2", "Command4", "Command6", "Command5"})
        hidden.append(new QSignalSpy(w.button(QString::fromLatin1(name)), &QPushButton::clicked));
    for (Qt::Key key : {Qt::Key_3, Qt::Key_4, Qt::Key_5, Qt::Key_6, Qt::Key_7, Qt::Key_8})
        QTest::keyClick(w.form->windowHandle(), key, Qt::AltModifier);

    QSignalSpy sf(w.button("cmdSF"), &QPushButton::clicked);
    QSignalSpy yd(w.button("cmdYD"), &QPushButton::clicked);
    QTest::keyClick(w.form->windowHandle(), Qt::Key_1, Qt::AltModifier);
    QTRY_COMPARE(sf.count(), 1);
    QTRY_VERIFY(opened.size() == 1);
    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    QTest::keyClick(w.form->windowHandle(), Qt::Key_2, Qt::AltModifier);
    QTRY_COMPARE(yd.count(), 1);
    QTRY_COMPARE(opened, (QStringList{"frmSF", "frmYD"}));
    // A button's access key clicks it after the same short delay for all of them.
    for (QSignalSpy *spy : hidden) {
        QCOMPARE(spy->count(), 0);
        delete spy;
    }
}

void ShellTest::combo1AcceptsOnlyItsEntries()
{
    MainWindow w;
    w.folder.mkdir("to/客户");
    QVERIFY(w.start());
    QComboBox *combo = w.Combo1();
    QVERIFY(!combo->isEditable());
    combo->setCurrentText("没有这个分类");
    QCOMPARE(combo->currentText(), QStringLiteral("_未分类"));
}

void ShellTest::firstStartCreatesFolders()
{
    MainWindow w;
    QVERIFY(w.start());
    QCOMPARE(w.folder.entries(""), (QStringList{"sent", "to"}));
    QCOMPARE(w.folder.entries("to"), QStringList{"_未分类"});
    QVERIFY(QFileInfo(w.folder.path("to/_未分类")).isDir());
    QCOMPARE(w.cmbSent()->count(), 0);
    QCOMPARE(w.cmbSent()->text(), QStringLiteral("搜索..."));
    QCOMPARE(w.title("Frame6"), QStringLiteral("选择寄件人  共(0)个"));
    QCOMPARE(w.Combo1()->count(), 1);
    QCOMPARE(w.Combo1()->currentText(), QStringLiteral("_未分类"));
    QCOMPARE(w.cmbTo()->count(), 0);
    QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(0)个"));
    QCOMPARE(w.form->currentPath(), w.folder.path("to/_未分类/"));
    QVERIFY(w.dialogs.messages.isEmpty());
    for (const char *button :
         {"cmdNew", "cmdDel", "cmdSentIndex", "cmdNewTo", "cmdDelTo", "cmdNew2", "cmdDel2"})
        QVERIFY(w.button(QString::fromLatin1(button))->isEnabled());
}

void ShellTest::startWithFoldersPresent()
{
    MainWindow w;
    w.folder.write("sent/ABC - 张三.dat", contactBytes({"txtSent", "txtName"}, {"ABC", "张三"}));
    w.folder.mkdir("to/_未分类");
    w.folder.write("to/_未分类/客户 - 李四.dat", "");
    w.folder.write("to/_未分类/客户 - 王五.DAT", "");
    QVERIFY(w.start());
    QCOMPARE(w.folder.entries(""), (QStringList{"sent", "to"}));
    QVERIFY(w.dialogs.messages.isEmpty());
    QCOMPARE(w.cmbSent()->entries(), QStringList{"ABC - 张三"});
    QCOMPARE(w.title("Frame6"), QStringLiteral("选择寄件人  共(1)个"));
    QCOMPARE(w.cmbTo()->entries(), (QStringList{"客户 - 李四", "客户 - 王五"}));
    QCOMPARE(w.title("Frame5"), QStringLiteral("选择收件人  共(2)个"));
    // No default sender: nothing picked.
    QCOMPARE(w.cmbSent()->text(), QStringLiteral("搜索..."));
    QCOMPARE(w.field("txtSent")->text(), QString());
}

void ShellTest::startListsOnlyContactsAndGroups()
{
    MainWindow w;
    w.folder.write("sent/a.dat", "");
    w.folder.write("sent/note.txt", "");
    w.folder.mkdir("sent/folder.dat");
    w.folder.mkdir("sent/sub");
    w.folder.write("to/plain.dat", "");
    w.folder.mkdir("to/北京");
    w.folder.mkdir("to/Alpha");
    w.folder.mkdir("to/阿里");
    w.folder.mkdir("to/.Trash-1000"); // hidden: no group
    QVERIFY(w.start());
    QCOMPARE(w.cmbSent()->entries(), QStringList{"a"});
    QStringList groups;
    for (int i = 0; i < w.Combo1()->count(); ++i)
        groups.append(w.Combo1()->itemText(i));
    // Sorted by Chinese collation: pinyin for Hanzi, which come before Latin letters.
    QCOMPARE(groups, (QStringList{"_未分类", "阿里", "北京", "Alpha"}));
    QCOMPARE(w.Combo1()->currentText(), QStringLiteral("_未分类"));
}

void ShellTest::twoHundredSendersSorted()
{
    MainWindow w;
    QStringList names;
    for (int i = 0; i < 200; ++i) {
        const QString name = QStringLiteral("公司%1 - 人%2").arg(199 - i, 3, 10, QLatin1Char('0')).arg(i);
        names.append(name);
        w.folder.write("sent/" + name + ".dat", "");
    }
    QVERIFY(w.start());
    std::reverse(names.begin(), names.end());
    QCOMPARE(w.cmbSent()->entries(), names);
    QCOMPARE(w.title("Frame6"), QStringLiteral("选择寄件人  共(200)个"));
}

void ShellTest::defaultSenderSelectedOnlyWhenExact_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("selected");
    QTest::newRow("exact") << "ABC - 张三" << true;
    QTest::newRow("other letter case") << "abc - 张三" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("no such sender") << "XYZ - 张三" << false;
}

void ShellTest::defaultSenderSelectedOnlyWhenExact()
{
    QFETCH(QString, stored);
    QFETCH(bool, selected);
    MainWindow w;
    const QStringList keys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};
    const QStringList values{"ABC",    "张三",      "广东省",       "深圳市",
                             "南山区", "科技园1号", "021-12345678", "518000"};
    w.folder.write("sent/ABC - 张三.dat", contactBytes(keys, values));
    w.folder.write("sent/DEF - 李四.dat", contactBytes(keys, {"DEF", "李四"}));
    QVERIFY(w.platform->writeSetting("Pellory", "Pellory", "Pellory", stored));
    QVERIFY(w.start());
    if (selected) {
        QCOMPARE(w.cmbSent()->text(), stored);
        QCOMPARE(w.cmbSent()->selectedIndex(), 0);
        QCOMPARE(w.fields(keys), values);
        QVERIFY(!w.button("cmdSentIndex")->isEnabled());
    } else {
        QCOMPARE(w.cmbSent()->text(), QStringLiteral("搜索..."));
        QCOMPARE(w.cmbSent()->selectedIndex(), -1);
        QCOMPARE(w.fields(keys), QStringList(8));
        QVERIFY(w.button("cmdSentIndex")->isEnabled());
    }
    // The group switch comes after the pick: the current path ends in the group.
    QCOMPARE(w.form->currentPath(), w.folder.path("to/_未分类/"));
}

void ShellTest::storageFolderThatCannotBeCreated()
{
    MainWindow w;
    w.folder.write("sent", "a file where the sender folder belongs");
    QVERIFY(!w.start());
    QCOMPARE(w.dialogs.messages.size(), 1);
    const auto message = w.dialogs.messages.first();
    QCOMPARE(message.flags, 48);
    QVERIFY2(message.text.contains(QStringLiteral("已有同名的文件")), qPrintable(message.text));
    QVERIFY(message.text.contains(w.folder.path("sent")));
    QVERIFY(!w.form->isVisible());
    QVERIFY(!w.folder.exists("to"));
    QCOMPARE(w.folder.read("sent"), QByteArray("a file where the sender folder belongs"));
}

void ShellTest::pickerKeepsSortedOrder()
{
    PickerList picker;
    picker.addEntries({"张三", "ABC - x", "北京", "abd - y"});
    picker.addEntry("阿里");
    picker.addEntry("Abc - a");
    QCOMPARE(picker.entries(), (QStringList{"阿里", "北京", "张三", "Abc - a", "ABC - x", "abd - y"}));
    picker.addEntries({"王五", "aa"});
    QCOMPARE(picker.entries(),
             (QStringList{"阿里", "北京", "王五", "张三", "aa", "Abc - a", "ABC - x", "abd - y"}));
    picker.removeEntry(2);
    QCOMPARE(picker.count(), 7);
    QCOMPARE(picker.entry(2), QStringLiteral("张三"));
}

void ShellTest::pickerFindPrefix_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("found");
    QTest::newRow("case ignored") << "ab" << 3;
    QTest::newRow("first from the top") << "A" << 3;
    QTest::newRow("longer") << "ABD" << 4;
    QTest::newRow("whole entry") << "abc - X" << 3;
    QTest::newRow("Chinese") << "张" << 1;
    QTest::newRow("none") << "张家" << -1;
    QTest::newRow("longer than any entry") << "abc - xyz" << -1;
    QTest::newRow("empty text") << "" << -1;
}

void ShellTest::pickerFindPrefix()
{
    QFETCH(QString, text);
    QFETCH(int, found);
    PickerList picker;
    picker.addEntries({"王五商行 - 赵六", "张三公司 - 李四", "ABC - x", "abd - y", "张三"});
    QCOMPARE(picker.entries(),
             (QStringList{"王五商行 - 赵六", "张三", "张三公司 - 李四", "ABC - x", "abd - y"}));
    QCOMPARE(picker.findPrefix(text), found);
}

void ShellTest::pickerProgramSelectionPicksAtOnce()
{
    PickerList picker;
    picker.addEntries({"b", "a", "c"});
    QStringList seen;
    connect(&picker, &PickerList::picked, &picker, [&] { seen.append(picker.text()); });
    QSignalSpy changed(&picker, &PickerList::changed);
    picker.selectIndex(1);
    QCOMPARE(seen, QStringList{"b"});
    QCOMPARE(picker.selectedIndex(), 1);
    QCOMPARE(changed.count(), 0);

    // A click on an entry and the arrow keys pick as well.
    picker.resize(200, 200);
    picker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picker));
    QListView *view = picker.listView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(2, 0)).center());
    QTest::keyClick(picker.editLine(), Qt::Key_Up);
    QTest::keyClick(picker.editLine(), Qt::Key_Up);
    QTest::keyClick(picker.editLine(), Qt::Key_Up);
    QCOMPARE(seen, (QStringList{"b", "c", "b", "a"}));
    QCOMPARE(changed.count(), 0);
}

void ShellTest::pickerSelectionFollowsEditLine()
{
    PickerList picker;
    picker.addEntries({"ABC - x", "abd - y"});
    QSignalSpy picked(&picker, &PickerList::picked);
    QSignalSpy changed(&picker, &PickerList::changed);
    picker.selectIndex(1);
    QTest::keyClick(picker.editLine(), Qt::Key_End);
    QTest::keyClick(picker.editLine(), Qt::Key_Backspace);
    QCOMPARE(picker.selectedIndex(), -1);
    QCOMPARE(changed.count(), 1);
    picker.editLine()->clear();
    QTest::keyClicks(picker.editLine(), "abc - X");
    QCOMPARE(picker.selectedIndex(), 0);
    QCOMPARE(picked.count(), 1); // typing never picks
    picker.removeEntry(0);
    QCOMPARE(picker.selectedIndex(), -1);
}

void ShellTest::pickerSearchKeepsListOrder_data()
{
    QTest::addColumn<QStringList>("filled");
    QTest::addColumn<QStringList>("added"); // one by one, after the fill
    QTest::addColumn<int>("removed");       // at the end; -1 none

    // 北 comes before 阿 by code point, after it by pinyin.
    QTest::newRow("pinyin against code points")
        << QStringList{"客户北京", "客户阿里", "Abd", "abc", "ABC"} << QStringList{} << -1;
    QTest::newRow("added one by one")
        << QStringList{"客户北京", "abc"} << QStringList{"客户阿里", "ABC", "客户", "阿", "Ab"} << -1;
    QTest::newRow("removed") << QStringList{"阿", "客户阿里", "客户北京", "张三", "abc", "ABC"}
                             << QStringList{"客户"} << 1;
}

void ShellTest::pickerSearchKeepsListOrder()
{
    QFETCH(QStringList, filled);
    QFETCH(QStringList, added);
    QFETCH(int, removed);
    PickerList picker;
    picker.addEntries(filled);
    for (const QString &text : added)
        picker.addEntry(text);
    picker.removeEntry(removed);
    const QStringList list = picker.entries();

    // Every beginning of every entry in both letter cases, and texts that begin none.
    QStringList texts{"客户上海", "abcd", "z"};
    for (const QString &entry : list) {
        for (int n = 1; n <= entry.size(); ++n)
            texts << entry.left(n) << entry.left(n).toUpper();
    }
    for (const QString &text : texts) {
        int first = -1, equal = -1;
        for (int i = list.size() - 1; i >= 0; --i) {
            if (list[i].startsWith(text, Qt::CaseInsensitive))
                first = i;
            if (list[i].compare(text, Qt::CaseInsensitive) == 0)
                equal = i;
        }
        QCOMPARE(picker.findPrefix(text), first);
        picker.editLine()->clear();
        typeText(picker.editLine(), text);
        QCOMPARE(picker.selectedIndex(), equal);
    }
}

void ShellTest::pickerHoldsMoreThan32767Entries()
{
    PickerList picker;
    QStringList names;
    for (int i = 0; i < 40000; ++i)
        names.append(QStringLiteral("客户%1 - 收件人").arg(i, 5, 10, QLatin1Char('0')));
    std::reverse(names.begin(), names.end());
    picker.addEntries(names);
    QCOMPARE(picker.count(), 40000);
    QCOMPARE(picker.entry(0), QStringLiteral("客户00000 - 收件人"));
    QCOMPARE(picker.entry(39999), QStringLiteral("客户39999 - 收件人"));
    QCOMPARE(picker.findPrefix(QStringLiteral("客户3999")), 39990);
    picker.selectIndex(39999);
    QCOMPARE(picker.text(), QStringLiteral("客户39999 - 收件人"));
    QCOMPARE(picker.listView()->model()->rowCount(), 40000);
}

void ShellTest::pathLabelShowsTheCurrentPath()
{
    MainWindow w;
    QVERIFY(w.start());
    auto *label = w.get<QLabel>("path");
    QCOMPARE(label->text(), w.folder.path("to/_未分类/"));
    w.form->store().setCurrentPath(w.folder.path("sent/a.dat"));
    QCOMPARE(label->text(), w.folder.path("sent/a.dat"));
    QCOMPARE(w.form->currentPath(), label->text());
}

QUILLBOX_TEST_MAIN(ShellTest)
#include "tst_shell.moc"
