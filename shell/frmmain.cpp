#include "shell/frmmain.h"

#include "addressbook/contactfile.h"
#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "addressbook/printjournal.h"
#include "ads/adpane.h"
#include "batch/frmbatch.h"
#include "designer/frmformlist.h"
#include "forms/formlibrary.h"
#include "forms/frmform.h"
#include "platform/platform.h"
#include "shell/contactbook.h"
#include "shell/groups.h"
#include "shell/packingwindows.h"
#include "shell/pickerlist.h"
#include "sync/passwordstore.h"
#include "sync/syncservice.h"
#include "sync/syncsettingsdialog.h"
#include "tools/exportdialog.h"
#include "tools/filechooser.h"
#include "tools/importdialog.h"
#include "tools/journalwindow.h"
#include "ui/appicon.h"
#include "ui/twips.h"
#include "waybill/frmsf.h"
#include "waybill/frmyd.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace {

const QColor SenderBlue(0xC0, 0xC0, 0xFF);
const QColor RecipientGreen(0x80, 0xFF, 0x80);
const QColor CourierOrange(0xFF, 0xC0, 0x80);
const QColor PickerGreen(0xC0, 0xFF, 0xC0);

const char *const TabIndexProperty = "tabIndex";

// Places a control as the layout gives it: name, twips rectangle, tab index.
template <typename Control> Control *place(Control *control, const char *name, QRect twips, int tabIndex)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));
    control->setProperty(TabIndexProperty, tabIndex);
    return control;
}

void paint(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QGroupBox *frame(QWidget *parent, const char *name, const QString &caption, QRect twips, const QColor &colour,
                 int tabIndex)
{
    auto *box = place(new QGroupBox(caption, parent), name, twips, tabIndex);
    box->setAutoFillBackground(true);
    paint(box, QPalette::Window, colour);
    return box;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, QRect twips,
                    const QColor &colour, int tabIndex)
{
    auto *b = place(new QPushButton(caption, parent), name, twips, tabIndex);
    paint(b, QPalette::Button, colour);
    b->setAutoDefault(false);
    return b;
}

// Labels size themselves to their caption and keep their top-left corner.
QLabel *label(QWidget *parent, const char *name, const QString &caption, QRect twips, int tabIndex)
{
    auto *l = place(new QLabel(caption, parent), name, twips, tabIndex);
    l->adjustSize();
    return l;
}

PickerList *picker(QWidget *parent, const char *name, QRect twips, int tabIndex)
{
    auto *list = place(new PickerList(parent), name, twips, tabIndex);
    paint(list->editLine(), QPalette::Base, PickerGreen);
    paint(list->listView(), QPalette::Base, PickerGreen);
    list->editLine()->setText(QStringLiteral("搜索..."));
    return list;
}

} // namespace

frmMain::frmMain(Platform &platform, QString adServer, QWidget *parent, FileChooser *chooser,
                 PasswordStore *passwords)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_platform(platform), m_store(platform),
      m_ownChooser(chooser ? nullptr : std::make_unique<WidgetFileChooser>()),
      m_chooser(chooser ? *chooser : *m_ownChooser), m_journal(std::make_unique<PrintJournal>(platform)),
      m_forms(std::make_unique<Forms::FormLibrary>(platform)), m_adServer(std::move(adServer)),
      m_ownPasswords(passwords ? nullptr : std::make_unique<KeychainPasswordStore>())
{
    m_sync = std::make_unique<SyncService>(platform, passwords ? *passwords : *m_ownPasswords);
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("【Orvane】Quillbox v1.0"));
    setWindowIcon(appIcon());
    setFixedSize(Twips::toPixels(12030), Twips::toPixels(8280));
    buildLayout();
    applyTabOrder();
    connect(&m_store, &ContactStore::currentPathChanged, path, &QLabel::setText);

    ContactSide senders;
    senders.picker = cmbSent;
    senders.fields = fieldsFor(ContactFile::senderKeys());
    senders.folder = [this] { return m_store.senderFolder(); };
    senders.deleteBase = [this] { return m_store.senderFolder(); };
    senders.deleteSubfolder = [] { return QString(); };
    senders.emptyNameWarning = QStringLiteral("（寄件单位）和（寄件人）不能为空！");
    senders.deleteQuestion = QStringLiteral("确认要删除（寄件人）吗？");
    senders.afterPick = [this] { cmdSentIndex->setEnabled(m_store.defaultSender() != cmbSent->text()); };
    senders.filesChangeElsewhere = [this] { return m_sync->enabled(); };
    m_senders = std::make_unique<ContactBook>(m_store, std::move(senders));

    m_groups = std::make_unique<RecipientGroups>(m_store, *Combo1, *cmbTo, *Frame5);

    ContactSide recipients;
    recipients.picker = cmbTo;
    recipients.fields = fieldsFor(ContactFile::recipientKeys());
    recipients.folder = [this] { return m_store.groupFolder(m_groups->current()); };
    recipients.deleteBase = [this] { return m_store.recipientRoot(); };
    recipients.deleteSubfolder = [this] { return m_groups->current() + QLatin1Char('/'); };
    recipients.emptyNameWarning = QStringLiteral("（收件单位）和（收件人）不能为空！");
    recipients.deleteQuestion = QStringLiteral("确认要删除（收件人）吗？");
    recipients.filesChangeElsewhere = [this] { return m_sync->enabled(); };
    m_recipients = std::make_unique<ContactBook>(m_store, std::move(recipients));
    connectHandlers();
}

frmMain::~frmMain() = default;

void frmMain::buildLayout()
{
    Frame2 = frame(this, "Frame2", QString(), {0, 0, 10575, 2535}, SenderBlue, 0);
    Frame3 = frame(this, "Frame3", QStringLiteral(" 打印快递单 "), {10560, 0, 1455, 6495}, CourierOrange, 1);
    Frame1 = frame(this, "Frame1", QString(), {0, 2520, 10575, 3975}, RecipientGreen, 34);
    WebBrowser1 = place(new AdPane(this), "WebBrowser1", {0, 6480, 12135, 1815}, 27);
    buildSenderArea();
    buildRecipientArea();
    buildCourierColumn();
    buildToolsMenu();
}

void frmMain::buildSenderArea()
{
    Frame6 = frame(Frame2, "Frame6", QStringLiteral("选择寄件人"), {120, 240, 3375, 2295}, SenderBlue, 3);
    auto *preview =
        frame(Frame2, "Frame7(0)", QStringLiteral("信息预览"), {3480, 240, 5775, 2295}, SenderBlue, 5);
    cmdNew = button(Frame2, "cmdNew", QStringLiteral("新增/修改"), {9360, 360, 1095, 495}, SenderBlue, 25);
    cmdDel = button(Frame2, "cmdDel", QStringLiteral("删除"), {9360, 1080, 1095, 495}, SenderBlue, 26);
    cmdSentIndex =
        button(Frame2, "cmdSentIndex", QStringLiteral("设为默认"), {9360, 1800, 1095, 495}, SenderBlue, 62);
    path = label(Frame2, "path", QStringLiteral("path"), {1560, 0, 360, 180}, 24);
    path->setVisible(false);

    cmbSent = picker(Frame6, "cmbSent", {120, 240, 3135, 1980}, 4);

    const std::vector<FieldRow> rows{
        {"Label1(4)", "寄件单位：", {240, 360, 900, 180}, 9, "txtSent", {1080, 360, 2415, 270}, 11},
        {"Label1(0)", "寄件人：", {3720, 360, 720, 180}, 6, "txtName", {4440, 360, 975, 270}, 10},
        {"Label1(3)", "寄件地址：", {240, 840, 900, 180}, 8, "txtP", {1080, 840, 1215, 270}, 12},
        {"Label3(0)", "省", {2280, 840, 180, 180}, 14, "txtC", {2520, 840, 1215, 270}, 15},
        {"Label3(1)", "市", {3720, 840, 180, 180}, 16, "txtA", {3960, 840, 1215, 270}, 18},
        {"Label3(2)", "区/县", {5160, 840, 450, 180}, 17, nullptr, {}, 0},
        {"Label6", "详细地址：", {240, 1320, 900, 180}, 21, "txtAdd", {1080, 1320, 4455, 270}, 22},
        {"Label1(2)", "联系电话：", {240, 1800, 900, 180}, 7, "txtTel", {1080, 1800, 1935, 270}, 13},
        {"Label2", "邮编：", {3360, 1800, 540, 180}, 19, "txtZip", {3840, 1800, 1575, 270}, 23},
    };
    addPreviewRows(preview, rows, SenderBlue);
}

void frmMain::buildRecipientArea()
{
    Frame4 = frame(Frame1, "Frame4", QStringLiteral("收件人分类"), {120, 120, 4815, 735}, RecipientGreen, 58);
    WebBrowser2 = place(new AdPane(Frame1), "WebBrowser2", {5040, 240, 5535, 615}, 35);
    Frame5 =
        frame(Frame1, "Frame5", QStringLiteral("选择收件人"), {120, 960, 3375, 3015}, RecipientGreen, 38);
    auto *preview =
        frame(Frame1, "Frame7(1)", QStringLiteral("信息预览"), {3480, 960, 5775, 3015}, RecipientGreen, 40);
    cmdNewTo =
        button(Frame1, "cmdNewTo", QStringLiteral("新增/修改"), {9360, 1080, 1095, 495}, RecipientGreen, 37);
    cmdDelTo =
        button(Frame1, "cmdDelTo", QStringLiteral("删除"), {9360, 1800, 1095, 495}, RecipientGreen, 36);

    Combo1 = place(new QComboBox(Frame4), "Combo1", {120, 240, 2415, 300}, 61);
    cmdNew2 = button(Frame4, "cmdNew2", QStringLiteral("新增"), {2640, 240, 975, 375}, RecipientGreen, 60);
    cmdDel2 = button(Frame4, "cmdDel2", QStringLiteral("删除"), {3720, 240, 975, 375}, RecipientGreen, 59);

    cmbTo = picker(Frame5, "cmbTo", {120, 240, 3135, 2700}, 39);

    const std::vector<FieldRow> rows{
        {"Label1(1)", "收件单位：", {240, 600, 900, 180}, 53, "txtSentTo", {1080, 600, 2415, 270}, 44},
        {"Label1(7)", "收件人：", {3720, 600, 720, 180}, 50, "txtNameTo", {4440, 600, 975, 270}, 43},
        {"Label1(5)", "收件地址：", {240, 1200, 900, 180}, 52, "txtPTo", {1080, 1200, 1215, 270}, 45},
        {"Label3(5)", "省", {2280, 1200, 180, 180}, 54, "txtCTo", {2520, 1200, 1215, 270}, 47},
        {"Label3(4)", "市", {3720, 1200, 180, 180}, 55, "txtATo", {3960, 1200, 1215, 270}, 48},
        {"Label3(3)", "区/县", {5160, 1200, 450, 180}, 56, nullptr, {}, 0},
        {"Label5", "详细地址：", {240, 1800, 900, 180}, 49, "txtAddTo", {1080, 1800, 4455, 270}, 42},
        {"Label1(6)", "联系电话：", {240, 2400, 900, 180}, 51, "txtTelTo", {1080, 2400, 1935, 270}, 46},
        {"Label4", "邮编：", {3480, 2400, 540, 180}, 57, "txtZipTo", {3960, 2400, 1455, 270}, 41},
    };
    addPreviewRows(preview, rows, RecipientGreen);
}

void frmMain::addPreviewRows(QWidget *preview, const std::vector<FieldRow> &rows, const QColor &colour)
{
    for (const FieldRow &row : rows) {
        label(preview, row.labelName, QString::fromUtf8(row.caption), row.labelTwips, row.labelTab);
        if (row.fieldName) {
            auto *field = place(new QLineEdit(preview), row.fieldName, row.fieldTwips, row.fieldTab);
            paint(field, QPalette::Base, colour);
            m_fields.insert(field->objectName(), field);
        }
    }
}

void frmMain::buildCourierColumn()
{
    struct Courier
    {
        const char *name;
        const char *caption;
        int top;
        int tabIndex;
        bool shown;
    };
    const Courier couriers[] = {
        {"cmdSF", "顺丰快递 &1", 480, 2, true},   {"cmdYD", "韵达快递 &2", 1200, 20, true},
        {"Command3", "天天 &3", 1920, 30, false}, {"Command1", "申通 &4", 2640, 28, false},
        {"Command2", "圆通 &5", 3360, 29, false}, {"Command4", "中通 &6", 4080, 31, false},
        {"Command6", "汇通 &7", 4800, 33, false}, {"Command5", "宅急送 &8", 5520, 32, false},
    };
    for (const Courier &c : couriers) {
        auto *b = button(Frame3, c.name, QString::fromUtf8(c.caption), {120, c.top, 1215, 495}, CourierOrange,
                         c.tabIndex);
        b->setVisible(c.shown);
    }
    cmdSF = Frame3->findChild<QPushButton *>(QStringLiteral("cmdSF"));
    cmdYD = Frame3->findChild<QPushButton *>(QStringLiteral("cmdYD"));
}

void frmMain::applyTabOrder()
{
    QList<QWidget *> controls;
    for (QWidget *w : findChildren<QWidget *>()) {
        if (w->property(TabIndexProperty).isValid() && (w->focusPolicy() & Qt::TabFocus))
            controls.append(w);
    }
    std::sort(controls.begin(), controls.end(), [](QWidget *a, QWidget *b) {
        return a->property(TabIndexProperty).toInt() < b->property(TabIndexProperty).toInt();
    });
    for (qsizetype i = 1; i < controls.size(); ++i)
        setTabOrder(controls[i - 1], controls[i]);
}

QList<QLineEdit *> frmMain::fieldsFor(const QStringList &keys) const
{
    QList<QLineEdit *> fields;
    for (const QString &key : keys)
        fields.append(m_fields.value(key));
    return fields;
}

void frmMain::connectHandlers()
{
    connect(cmbSent, &PickerList::picked, this, &frmMain::cmbSent_Click);
    connect(cmbSent, &PickerList::changed, this, &frmMain::cmbSent_Change);
    connect(cmbSent, &PickerList::keyDown, this, &frmMain::cmbSent_KeyDown);
    connect(cmdNew, &QPushButton::clicked, this, &frmMain::cmdNew_Click);
    connect(cmdDel, &QPushButton::clicked, this, &frmMain::cmdDel_Click);
    connect(cmdSentIndex, &QPushButton::clicked, this, &frmMain::cmdSentIndex_Click);
    connect(cmbTo, &PickerList::picked, this, &frmMain::cmbTo_Click);
    connect(cmbTo, &PickerList::changed, this, &frmMain::cmbTo_Change);
    connect(cmbTo, &PickerList::keyDown, this, &frmMain::cmbTo_KeyDown);
    connect(cmdNewTo, &QPushButton::clicked, this, &frmMain::cmdNewTo_Click);
    connect(cmdDelTo, &QPushButton::clicked, this, &frmMain::cmdDelTo_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &frmMain::Combo1_Click);
    connect(cmdNew2, &QPushButton::clicked, this, &frmMain::cmdNew2_Click);
    connect(cmdDel2, &QPushButton::clicked, this, &frmMain::cmdDel2_Click);
    connect(cmdSF, &QPushButton::clicked, this, &frmMain::cmdSF_Click);
    connect(cmdYD, &QPushButton::clicked, this, &frmMain::cmdYD_Click);
    const std::pair<const char16_t *, void (frmMain::*)()> slots[] = {
        {u"Command3", &frmMain::Command3_Click}, {u"Command1", &frmMain::Command1_Click},
        {u"Command2", &frmMain::Command2_Click}, {u"Command4", &frmMain::Command4_Click},
        {u"Command6", &frmMain::Command6_Click}, {u"Command5", &frmMain::Command5_Click},
    };
    for (const auto &[name, handler] : slots)
        connect(Frame3->findChild<QPushButton *>(QString::fromUtf16(name)), &QPushButton::clicked, this,
                handler);
}

bool frmMain::Form_Load()
{
    // Without its folders the program can keep nothing: this part is not trapped.
    const StoreResult folders = m_store.createFolders();
    if (!folders.ok()) {
        m_platform.messageBox(folders.warning(QStringLiteral("无法创建数据文件夹")) +
                                  QStringLiteral("\n程序将退出。"),
                              windowTitle(), Dialogs::Exclamation);
        return false;
    }
    setCurrentPath(m_store.senderFolder());

    // From here on a failing step leaves its list as far as it got and goes on.
    ContactListing(*cmbSent);
    m_groups->addEntries(m_store.groups());

    const QString defaultSender = m_store.defaultSender();
    for (int i = 0; i < cmbSent->count(); ++i) {
        if (cmbSent->entry(i) == defaultSender)
            cmbSent->selectIndex(i);
    }
    Combo1->setCurrentText(ContactStore::defaultGroup());
    Frame6->setTitle(QStringLiteral("选择寄件人  共(%1)个").arg(cmbSent->count()));
    followFolders();

    if (!m_adServer.isEmpty()) {
        const QString base = QStringLiteral("http://") + m_adServer + QStringLiteral("/ad/soft/quillbox/");
        WebBrowser1->navigate(QUrl(base + QStringLiteral("1.html")));
        WebBrowser2->navigate(QUrl(base + QStringLiteral("2.html")));
    }
    refreshFormSlots();
    return true;
}

void frmMain::showCentred()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect area = frameGeometry();
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
    show();
    cmdSF->setFocus();
}

QString frmMain::currentPath() const
{
    return m_store.currentPath();
}

void frmMain::setCurrentPath(const QString &newPath)
{
    m_store.setCurrentPath(newPath);
}

QString frmMain::ReadContactValue(const QString &section, const QString &key, const QString &defaultValue)
{
    return m_store.ReadContactValue(section, key, defaultValue);
}

StoreResult frmMain::WriteContactValue(const QString &section, const QString &key, const QString &value)
{
    return m_store.WriteContactValue(section, key, value);
}

StoreResult frmMain::WriteContactValues(const QString &section, const Profile::Values &values)
{
    return m_store.WriteContactValues(section, values);
}

QString frmMain::ContactNameFromFile(const QString &fileName)
{
    return ContactStore::ContactNameFromFile(fileName);
}

void frmMain::ContactListing(PickerList &target)
{
    target.addEntries(m_store.ContactListing());
}

QString frmMain::fieldText(QStringView fieldName) const
{
    const QLineEdit *field = m_fields.value(fieldName.toString());
    return field ? field->text() : QString();
}

void frmMain::cmbSent_Click()
{
    m_senders->pick();
}

void frmMain::cmbSent_Change()
{
    searchAsYouType(*cmbSent, skipNextChange);
}

void frmMain::cmbSent_KeyDown(int key)
{
    pickerKeyDown(key, skipNextChange);
}

void frmMain::cmdNew_Click()
{
    m_senders->save();
}

void frmMain::cmdDel_Click()
{
    m_senders->remove();
}

void frmMain::cmdSentIndex_Click()
{
    const StoreResult stored = m_store.setDefaultSender(cmbSent->text());
    if (!stored.ok())
        warnFailure(m_platform, stored, QStringLiteral("无法保存默认寄件人"));
}

void frmMain::cmbTo_Click()
{
    m_recipients->pick();
}

void frmMain::cmbTo_Change()
{
    searchAsYouType(*cmbTo, skipNextChange);
}

void frmMain::cmbTo_KeyDown(int key)
{
    pickerKeyDown(key, skipNextChange);
}

void frmMain::cmdNewTo_Click()
{
    m_recipients->save();
}

void frmMain::cmdDelTo_Click()
{
    m_recipients->remove();
}

void frmMain::Combo1_Click()
{
    m_groups->switchGroup();
    if (m_watcher)
        followFolders();
}

void frmMain::cmdNew2_Click()
{
    m_groups->add();
}

void frmMain::cmdDel2_Click()
{
    m_groups->remove();
}

void frmMain::cmdSF_Click()
{
    openWaybill(QStringLiteral("顺丰"), [this](QStringView n) { return fieldText(n); });
}

void frmMain::cmdYD_Click()
{
    openWaybill(QStringLiteral("韵达"), [this](QStringView n) { return fieldText(n); });
}

void frmMain::openWaybill(const QString &courier, const std::function<QString(QStringView)> &read,
                          const QString &formId)
{
    if (!formId.isEmpty()) {
        // The very form it was printed on: another of the same name may have come since.
        const QString file = m_forms->fileWithId(formId);
        QString problem;
        const std::optional<Forms::Form> userForm =
            file.isEmpty() ? std::nullopt : m_forms->load(file, &problem);
        if (userForm) {
            openForm(*userForm, read);
        } else {
            m_platform.messageBox(
                QStringLiteral("这张快递单所用的快递单模板“%1”已不在了（可能已删除或已损坏），无法再打印。")
                    .arg(courier),
                QStringLiteral("提示"), Dialogs::Exclamation);
        }
        return;
    }
    if (courier == QStringLiteral("韵达")) {
        frmYD form(m_platform, read);
        showWaybill(form, courier, read);
    } else if (courier == QStringLiteral("顺丰")) {
        frmSF form(m_platform, read);
        showWaybill(form, courier, read);
    } else if (const std::optional<Forms::Form> userForm = m_forms->loadByName(courier)) {
        // A reprint from the journal of a user's form, found by its name.
        openForm(*userForm, read);
    } else {
        m_platform.messageBox(QStringLiteral("找不到快递单模板“%1”，无法打印。").arg(courier),
                              QStringLiteral("提示"), Dialogs::Exclamation);
    }
}

void frmMain::openForm(const Forms::Form &userForm, const std::function<QString(QStringView)> &read)
{
    frmForm form(m_platform, userForm, read);
    showWaybill(form, userForm.name, read, userForm.id);
}

void frmMain::showWaybill(Waybill::PrintWindow &form, const QString &courier,
                          const std::function<QString(QStringView)> &read, const QString &formId)
{
    form.addPrintCheck(sameDayCheck(courier, read));
    connect(&form, &Waybill::PrintWindow::printed, this,
            [this, courier, read, formId](const QString &printer) {
                recordPrint(courier, read, printer, formId);
            });
    form.exec();
}

std::function<bool()> frmMain::sameDayCheck(const QString &courier,
                                            const std::function<QString(QStringView)> &read)
{
    // "申通快递" is asked about as 申通, as 顺丰 and 韵达 are: "…打印过申通快递单…".
    QString shown = courier;
    if (shown.size() > 2 && shown.endsWith(QStringLiteral("快递")))
        shown.chop(2);
    return [this, courier, read, shown] {
        return !m_journal->printedToday(courier, read) ||
               m_platform.messageBox(PrintJournal::repeatQuestion(shown), QStringLiteral("提示"),
                                     Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2) ==
                   Dialogs::Yes;
    };
}

void frmMain::recordPrint(const QString &courier, const std::function<QString(QStringView)> &read,
                          const QString &printer, const QString &formId)
{
    QString error;
    PrintJournal::Entry entry = PrintJournal::entryFor(courier, printer, read);
    entry.formId = formId;
    if (!m_journal->append(entry, &error))
        m_platform.messageBox(QStringLiteral("快递单已打印，但打印记录未能保存：\n%1\n\n%2")
                                  .arg(QDir::toNativeSeparators(m_journal->fileName()), error),
                              QStringLiteral("提示"), Dialogs::Exclamation);
}

namespace {

// The hidden courier buttons by slot, 3 to 8, as their Alt keys number them.
const char16_t *const SlotButtons[] = {u"Command3", u"Command1", u"Command2",
                                       u"Command4", u"Command6", u"Command5"};

} // namespace

void frmMain::refreshFormSlots()
{
    QHash<int, QString> names;
    QHash<int, QString> problems;
    // A damaged form keeps its slot; its button says so rather than vanishing.
    for (const Forms::FormLibrary::Entry &entry : m_forms->list(Forms::FormLibrary::Damaged::Listed)) {
        if (entry.slot != 0) {
            names.insert(entry.slot, entry.problem.isEmpty() ? entry.name : QStringLiteral("模板无法读取"));
            problems.insert(entry.slot, entry.problem);
        }
    }
    for (int slot = Forms::FormLibrary::FirstSlot; slot <= Forms::FormLibrary::LastSlot; ++slot) {
        auto *b = Frame3->findChild<QPushButton *>(
            QString::fromUtf16(SlotButtons[slot - Forms::FormLibrary::FirstSlot]));
        if (names.contains(slot)) {
            // "&" in a courier's name shows as itself, not as an access key.
            QString name = names.value(slot);
            name.replace(QLatin1Char('&'), QStringLiteral("&&"));
            b->setText(QStringLiteral("%1 &%2").arg(name).arg(slot));
            b->setAccessibleName(b->text().remove(QLatin1Char('&')));
            b->setToolTip(problems.value(slot));
        }
        b->setVisible(names.contains(slot));
    }
}

void frmMain::openFormInSlot(int slot)
{
    const QString fileName = m_forms->formInSlot(slot);
    QString error;
    const std::optional<Forms::Form> form =
        fileName.isEmpty() ? std::nullopt : m_forms->load(fileName, &error);
    if (!form) {
        m_platform.messageBox(QStringLiteral("快递单模板无法打开：\n%1").arg(error), QStringLiteral("提示"),
                              Dialogs::Exclamation);
        refreshFormSlots();
        return;
    }
    openForm(*form, [this](QStringView n) { return fieldText(n); });
}

void frmMain::Command3_Click()
{
    openFormInSlot(3);
}

void frmMain::Command1_Click()
{
    openFormInSlot(4);
}

void frmMain::Command2_Click()
{
    openFormInSlot(5);
}

void frmMain::Command4_Click()
{
    openFormInSlot(6);
}

void frmMain::Command6_Click()
{
    openFormInSlot(7);
}

void frmMain::Command5_Click()
{
    openFormInSlot(8);
}

void frmMain::mnuTools_AboutToShow()
{
    qDeleteAll(m_formActions);
    m_formActions.clear();
    QList<Forms::FormLibrary::Entry> unslotted;
    for (const Forms::FormLibrary::Entry &entry : m_forms->list()) {
        if (entry.slot == 0)
            unslotted.append(entry);
    }
    if (unslotted.isEmpty())
        return;
    m_formActions.append(m_toolsMenu->addSeparator());
    for (const Forms::FormLibrary::Entry &entry : unslotted) {
        QString caption = entry.name;
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *action = m_toolsMenu->addAction(QStringLiteral("打印%1…").arg(caption));
        action->setObjectName(QStringLiteral("actForm"));
        const QString fileName = entry.fileName;
        connect(action, &QAction::triggered, this, [this, fileName] {
            QString error;
            if (const std::optional<Forms::Form> form = m_forms->load(fileName, &error))
                openForm(*form, [this](QStringView n) { return fieldText(n); });
            else
                m_platform.messageBox(QStringLiteral("快递单模板无法打开：\n%1").arg(error),
                                      QStringLiteral("提示"), Dialogs::Exclamation);
        });
        m_formActions.append(action);
    }
}

void frmMain::buildToolsMenu()
{
    // Below the hidden courier buttons and after every other control in the tab order.
    cmdTools = button(Frame3, "cmdTools", QStringLiteral("工具"), {120, 6060, 1215, 375}, CourierOrange, 63);
    m_toolsMenu = new QMenu(this);
    m_toolsMenu->setObjectName(QStringLiteral("mnuTools"));
    auto addItem = [this](const char *name, const QString &caption) {
        QAction *action = m_toolsMenu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    QAction *actPaste = addItem("actPaste", QStringLiteral("粘贴识别地址…"));
    actPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    addAction(actPaste); // the shortcut works anywhere in the window
    QAction *actImport = addItem("actImport", QStringLiteral("导入…"));
    QAction *actExport = addItem("actExport", QStringLiteral("导出…"));
    QAction *actJournal = addItem("actJournal", QStringLiteral("打印记录…"));
    QAction *actBatch = addItem("actBatch", QStringLiteral("批量打印…"));
    QAction *actForms = addItem("actForms", QStringLiteral("快递单模板…"));
    QAction *actCheck = addItem("actCheck", QStringLiteral("验货…"));
    QAction *actDayClose = addItem("actDayClose", QStringLiteral("日结…"));
    connect(cmdTools, &QPushButton::clicked, this, &frmMain::cmdTools_Click);
    connect(actPaste, &QAction::triggered, this, &frmMain::actPaste_Triggered);
    connect(actImport, &QAction::triggered, this, &frmMain::actImport_Triggered);
    connect(actExport, &QAction::triggered, this, &frmMain::actExport_Triggered);
    connect(actJournal, &QAction::triggered, this, &frmMain::actJournal_Triggered);
    connect(actForms, &QAction::triggered, this, &frmMain::actForms_Triggered);
    connect(m_toolsMenu, &QMenu::aboutToShow, this, &frmMain::mnuTools_AboutToShow);
    connect(actBatch, &QAction::triggered, this, &frmMain::actBatch_Triggered);
    connect(actCheck, &QAction::triggered, this, &frmMain::actCheck_Triggered);
    connect(actDayClose, &QAction::triggered, this, &frmMain::actDayClose_Triggered);

    m_toolsMenu->addSeparator();
    QAction *actSyncSettings = addItem("actSyncSettings", QStringLiteral("同步设置…"));
    actSyncNow = addItem("actSyncNow", QStringLiteral("立即同步"));
    actSyncStatus = addItem("actSyncStatus", QString());
    actSyncStatus->setEnabled(false);
    connect(actSyncSettings, &QAction::triggered, this, &frmMain::actSyncSettings_Triggered);
    connect(actSyncNow, &QAction::triggered, this, &frmMain::actSyncNow_Triggered);
    connect(m_sync.get(), &SyncService::started, this, &frmMain::sync_Started);
    connect(m_sync.get(), &SyncService::finished, this, &frmMain::sync_Finished);
    connect(m_sync.get(), &SyncService::progressed, this, &frmMain::sync_Progressed);
    connect(&m_store, &ContactStore::groupDeleted, this, &frmMain::store_GroupDeleted);
    showSyncStatus();
}

void frmMain::showSyncStatus()
{
    actSyncNow->setEnabled(m_sync->enabled() && !m_sync->busy());
    QString busy = QStringLiteral("正在同步……");
    if (!m_sync->progress().isEmpty())
        busy += QStringLiteral("（%1）").arg(m_sync->progress());
    actSyncStatus->setText(m_sync->busy() ? busy : m_sync->lastResult());
    actSyncStatus->setVisible(m_sync->enabled() && !actSyncStatus->text().isEmpty());
}

void frmMain::actSyncSettings_Triggered()
{
    frmSyncSettings form(*m_sync, m_platform, this);
    if (form.exec() == QDialog::Accepted) {
        followFolders();
        showSyncStatus();
    }
}

void frmMain::actSyncNow_Triggered()
{
    m_sync->syncNow();
}

void frmMain::sync_Started()
{
    showSyncStatus();
}

void frmMain::sync_Progressed()
{
    showSyncStatus();
}

void frmMain::sync_Finished(const SyncReport &report)
{
    showSyncStatus();
    for (const QString &group : report.groupsGoneFromServer) {
        // Only the user deletes a whole group; kept, it is shared again.
        if (m_platform.messageBox(
                QStringLiteral(
                    "分类“%1”已在服务器上被删除（可能是另一台电脑删除的）。\n\n"
                    "要在本机也删除这个分类及分类下的收件人吗？\n选“否”则保留，并在下次同步时重新共享。")
                    .arg(group),
                QStringLiteral("同步"),
                Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2) == Dialogs::Yes) {
            const StoreResult deleted = m_store.deleteGroup(group);
            if (!deleted.ok())
                warnFailure(m_platform, deleted, QStringLiteral("无法删除分类"));
        }
        SyncEngine::forgetGroup(m_platform, group);
    }
    // Deletes the sync held back: a moved folder or an old backup must not empty
    // the server and the other PCs.
    bool again = false;
    for (const HeldDeletes &held : report.deletesHeld) {
        if (m_platform.messageBox(
                QStringLiteral("服务器上的 %1 个联系人将被删除（%2），因为本机已经没有它们了。\n\n"
                               "如果联系人文件夹被移走或换成了旧的备份，请选“否”。\n"
                               "要在服务器和其他电脑上也删除这些联系人吗？选“否”则保留，并从服务器取回。")
                    .arg(held.count)
                    .arg(held.name),
                QStringLiteral("同步"),
                Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2) == Dialogs::Yes)
            SyncEngine::allowDeletes(m_platform, held.book);
        else
            SyncEngine::forgetBook(m_platform, held.book);
        again = true;
    }
    for (const auto &[group, cards] : report.groupsGoneHere) {
        if (m_platform.messageBox(
                QStringLiteral("分类“%1”在本机已经没有了，服务器上还有它的 %2 个联系人。\n\n"
                               "要在服务器和其他电脑上也删除这个分类吗？选“否”则保留，并从服务器取回。")
                    .arg(group)
                    .arg(cards),
                QStringLiteral("同步"),
                Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2) == Dialogs::Yes) {
            SyncEngine::groupDeletedHere(m_platform, group);
        } else {
            SyncEngine::forgetGroup(m_platform, group);
            const StoreResult added = m_store.addGroup(group);
            if (!added.ok())
                warnFailure(m_platform, added, QStringLiteral("无法创建分类"));
        }
        again = true;
    }
    if (again)
        m_sync->syncNow();
    if (m_watcher)
        refreshTimer_Timeout();
}

void frmMain::store_GroupDeleted(const QString &group)
{
    if (m_sync->enabled())
        SyncEngine::groupDeletedHere(m_platform, group);
}

void frmMain::followFolders()
{
    if (!m_sync->enabled()) {
        delete m_watcher;
        m_watcher = nullptr;
        return;
    }
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        m_refreshTimer = new QTimer(this);
        m_refreshTimer->setSingleShot(true);
        // Many files change at once in a sync: one refresh after they settle.
        m_refreshTimer->setInterval(500);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &frmMain::watcher_DirectoryChanged);
        connect(m_refreshTimer, &QTimer::timeout, this, &frmMain::refreshTimer_Timeout);
    }
    const QStringList watched = m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    QStringList folders{m_store.senderFolder(), m_store.recipientRoot()};
    if (!m_groups->current().isEmpty())
        folders.append(m_store.groupFolder(m_groups->current()));
    for (const QString &folder : folders) {
        const QString onDisk = m_platform.resolve(folder);
        if (!onDisk.isEmpty() && QFileInfo(onDisk).isDir())
            m_watcher->addPath(onDisk);
    }
}

void frmMain::watcher_DirectoryChanged()
{
    m_refreshTimer->start();
}

void frmMain::refreshTimer_Timeout()
{
    // The fields are never touched: they may hold what the user is typing.
    m_senders->relist();
    Frame6->setTitle(QStringLiteral("选择寄件人  共(%1)个").arg(cmbSent->count()));
    m_groups->relist();
    m_recipients->relist();
    Frame5->setTitle(QStringLiteral("选择收件人  共(%1)个").arg(cmbTo->count()));
    followFolders();
}

void frmMain::cmdTools_Click()
{
    m_toolsMenu->popup(cmdTools->mapToGlobal(QPoint(0, cmdTools->height())));
}

const AddressParser &frmMain::addressParser()
{
    if (!m_addressParser) {
        m_regions = std::make_unique<RegionTable>();
        QString error;
        if (!m_regions->load(&error))
            m_platform.messageBox(
                QStringLiteral("无法读取行政区划表，省、市、区/县请手工填写。\n\n%1").arg(error),
                QStringLiteral("提示"), Dialogs::Exclamation);
        m_addressParser = std::make_unique<AddressParser>(*m_regions);
    }
    return *m_addressParser;
}

void frmMain::actPaste_Triggered()
{
    auto *dialog = new PasteAddressDialog(addressParser(), QGuiApplication::clipboard()->text(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &PasteAddressDialog::filled, this, &frmMain::pasteDialog_Filled);
    dialog->open();
}

void frmMain::pasteDialog_Filled(PasteAddressDialog::Side side, const QStringList &fields)
{
    const QStringList &keys =
        side == PasteAddressDialog::Sender ? ContactFile::senderKeys() : ContactFile::recipientKeys();
    const QList<QLineEdit *> targets = fieldsFor(keys);
    for (int i = 0; i < targets.size(); ++i)
        targets[i]->setText(fields.value(i));
}

void frmMain::actImport_Triggered()
{
    QStringList groups;
    for (int i = 0; i < Combo1->count(); ++i)
        groups.append(Combo1->itemText(i));
    frmImport form(m_platform, m_chooser, groups, m_groups->current(), this);
    connect(&form, &frmImport::imported, this, &frmMain::frmImport_Imported);
    form.exec();
}

void frmMain::frmImport_Imported(const QString &group)
{
    // The pickers show what is on disk now; the fields keep what the user sees.
    if (group.isEmpty())
        m_senders->refill();
    else if (group == m_groups->current())
        m_groups->switchGroup();
}

void frmMain::actExport_Triggered()
{
    frmExport form(m_platform, m_chooser, m_groups->current(), this);
    form.exec();
}

void frmMain::actForms_Triggered()
{
    Designer::FilePicker picker{
        [this](QWidget *parent, const QString &title, const QString &filter) {
            return m_chooser.openFile(parent, title, filter);
        },
        [this](QWidget *parent, const QString &title, const QString &suggested, const QString &filter) {
            return m_chooser.saveFile(parent, title, suggested, filter);
        }};
    Designer::frmFormList form(m_platform, *m_forms, std::move(picker), this);
    connect(&form, &Designer::frmFormList::formsChanged, this, &frmMain::refreshFormSlots);
    form.exec();
}

void frmMain::actJournal_Triggered()
{
    frmJournal form(*m_journal, m_platform, this);
    connect(&form, &frmJournal::reprint, this, [this, &form](const PrintJournal::Entry &entry) {
        openWaybill(
            entry.courier, [entry](QStringView key) { return entry.value(key); }, entry.formId);
        form.reload();
    });
    form.exec();
}

void frmMain::actBatch_Triggered()
{
    runBatchWindow(this, [](frmBatch &form) { form.offerSavedBatch(); });
}

PackingWindows frmMain::packingWindows()
{
    return PackingWindows(
        m_platform, *m_journal,
        [this](QWidget *parent, const QString &title, const QString &suggested, const QString &filter) {
            return m_chooser.saveFile(parent, title, suggested, filter);
        },
        [this](QWidget *parent, const QString &fileName, const QString &rowId) {
            runBatchWindow(parent, [&](frmBatch &form) { form.openAt(fileName, rowId); });
        });
}

void frmMain::runBatchWindow(QWidget *parent, const std::function<void(frmBatch &)> &start)
{
    frmBatch form(
        m_platform, *m_journal, [this]() -> const AddressParser & { return addressParser(); },
        [this](QWidget *parent, const QString &title, const QString &filter) {
            return m_chooser.openFile(parent, title, filter);
        },
        [this](QWidget *parent, const QString &title, const QString &suggested, const QString &filter) {
            return m_chooser.saveFile(parent, title, suggested, filter);
        },
        packingWindows().batchTools(), parent);
    form.setWindowModality(Qt::ApplicationModal);
    form.show();
    start(form);
    form.exec();
}

void frmMain::actCheck_Triggered()
{
    packingWindows().checkNewestBatch(this);
}

void frmMain::actDayClose_Triggered()
{
    packingWindows().closeDay(this);
}
