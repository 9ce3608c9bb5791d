#include "mainwindow.h"
#include "tools/pasteaddressdialog.h"

#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>

class PasteAddressTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void toolsMenu();
    void paste_data();
    void paste();
};

namespace {

const QStringList SenderKeys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};
const QStringList RecipientKeys{"txtSentTo", "txtNameTo", "txtPTo",   "txtCTo",
                                "txtATo",    "txtAddTo",  "txtTelTo", "txtZipTo"};
const QColor UnsureYellow(0xFF, 0xFF, 0x99);

PasteAddressDialog *openDialog(const MainWindow &w)
{
    PasteAddressDialog *dialog = nullptr;
    const bool shown = QTest::qWaitFor([&] {
        dialog = w.form->findChild<PasteAddressDialog *>();
        return dialog && dialog->isVisible();
    });
    return shown ? dialog : nullptr;
}

template <typename T> T *control(QWidget *dialog, const QString &accessibleName)
{
    for (T *child : dialog->findChildren<T *>()) {
        if (child->accessibleName() == accessibleName)
            return child;
    }
    qWarning("no control named %s", qPrintable(accessibleName));
    return nullptr;
}

} // namespace

void PasteAddressTest::toolsMenu()
{
    MainWindow w;
    QVERIFY(w.start());
    w.show();

    // The button opens the menu.
    QTest::mouseClick(w.button("cmdTools"), Qt::LeftButton);
    auto *menu = w.form->findChild<QMenu *>("mnuTools");
    QVERIFY(menu);
    QTRY_VERIFY(menu->isVisible());
    QStringList entries;
    QStringList enabled;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible())
            continue;
        entries.append(action->text());
        if (action->isEnabled())
            enabled.append(action->objectName());
    }
    QCOMPARE(entries, (QStringList{"粘贴识别地址…", "导入…", "导出…", "打印记录…", "批量打印…", "快递单模板…", "验货…", "日结…", "同步设置…", "立即同步"}));
    // No server set: nothing to sync yet, and no last result to show.
    QCOMPARE(enabled, (QStringList{"actPaste", "actImport", "actExport", "actJournal", "actBatch", "actForms", "actCheck", "actDayClose", "actSyncSettings"}));

    QAction *paste = menu->actions().first();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(paste).center());
    PasteAddressDialog *dialog = openDialog(w);
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("粘贴识别地址"));
    QVERIFY(dialog->isModal());
    // Every control carries its label as its name.
    for (const char *name : {"粘贴的地址", "填入到", "寄件人", "收件人", "单位", "姓名", "省", "市", "区/县", "详细地址",
                             "联系电话", "邮编", "填入", "取消"})
        QVERIFY2(control<QWidget>(dialog, QString::fromUtf8(name)), name);
}

void PasteAddressTest::paste_data()
{
    QTest::addColumn<QString>("side");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("filledKeys");
    QTest::addColumn<QStringList>("untouchedKeys");
    QTest::newRow("recipient") << "收件人" << "填入" << RecipientKeys << SenderKeys;
    QTest::newRow("sender") << "寄件人" << "填入" << SenderKeys << RecipientKeys;
    QTest::newRow("cancel") << "寄件人" << "取消" << QStringList{} << SenderKeys + RecipientKeys;
}

// Ctrl+Shift+V opens the dialog on the clipboard's text; 填入 fills only the chosen
// side's fields, and nothing is saved.
void PasteAddressTest::paste()
{
    QFETCH(QString, side);
    QFETCH(QString, button);
    QFETCH(QStringList, filledKeys);
    QFETCH(QStringList, untouchedKeys);

    MainWindow w;
    QVERIFY(w.start());
    w.show();
    QGuiApplication::clipboard()->setText("收货人：张三\n所在地区：广东省 深圳市 南山区\n详细地址：科技园科苑路15号");
    QLineEdit *focus = w.field("txtAddTo");
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    PasteAddressDialog *dialog = openDialog(w);
    QVERIFY(dialog);

    const QStringList captions{"单位", "姓名", "省", "市", "区/县", "详细地址", "联系电话", "邮编"};
    QStringList shown;
    QStringList unsure;
    for (const QString &caption : captions) {
        QLineEdit *field = control<QLineEdit>(dialog, caption);
        QVERIFY(field);
        shown.append(field->text());
        if (field->palette().color(QPalette::Base) == UnsureYellow && !field->toolTip().isEmpty())
            unsure.append(caption);
    }
    QCOMPARE(shown, (QStringList{"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "", ""}));
    QCOMPARE(unsure, QStringList{"联系电话"});

    // The user corrects what was missing; the highlight goes.
    QLineEdit *phone = control<QLineEdit>(dialog, "联系电话");
    phone->setFocus();
    QTest::keyClicks(phone, "13812345678");
    QVERIFY(phone->palette().color(QPalette::Base) != UnsureYellow);
    QVERIFY(phone->toolTip().isEmpty());

    QTest::mouseClick(control<QRadioButton>(dialog, side), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(dialog, button), Qt::LeftButton);
    QTRY_VERIFY(!w.form->findChild<PasteAddressDialog *>());

    const QStringList expected{"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "13812345678", ""};
    if (!filledKeys.isEmpty())
        QCOMPARE(w.fields(filledKeys), expected);
    QCOMPARE(w.fields(untouchedKeys), QStringList(untouchedKeys.size(), QString()));
    QCOMPARE(w.folder.entries("sent"), QStringList{});
    QCOMPARE(w.folder.entries("to/_未分类"), QStringList{});
}

QUILLBOX_TEST_MAIN(PasteAddressTest)
#include "tst_pasteaddress.moc"
