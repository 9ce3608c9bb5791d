#include "designer/frmformlist.h"

#include "designer/frmformeditor.h"
#include "forms/formfile.h"
#include "forms/formlibrary.h"
#include "platform/platform.h"
#include "ui/placement.h"
#include "ui/twips.h"

#include <QColor>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace Designer {

namespace {

// The courier whose hidden button each slot takes the place of.
const char16_t *const SlotCouriers[] = {u"天天", u"申通", u"圆通", u"中通", u"汇通", u"宅急送"};

constexpr int FileNameRole = Qt::UserRole;
constexpr int NameRole = Qt::UserRole + 1;

// The waybills' presets, then the packing slips'.
std::vector<Forms::Form> allPresets()
{
    std::vector<Forms::Form> presets = Forms::presets();
    for (Forms::Form &slip : Forms::slipPresets())
        presets.push_back(std::move(slip));
    return presets;
}

} // namespace

frmFormList::frmFormList(Platform &platform, Forms::FormLibrary &library, FilePicker picker, QWidget *parent)
    : QDialog(parent), m_platform(platform), m_library(library), m_picker(std::move(picker))
{
    setObjectName(QStringLiteral("frmFormList"));
    setWindowTitle(QStringLiteral("快递单模板"));
    resize(Twips::toPixels(8400), Twips::toPixels(5400));

    lstForms = place(new QTreeWidget(this), "lstForms", QStringLiteral("快递单模板"),
                     Twips::rect(120, 120, 5400, 5160));
    lstForms->setRootIsDecorated(false);
    lstForms->setUniformRowHeights(true);
    lstForms->setHeaderLabels({QStringLiteral("名称"), QStringLiteral("快递按钮")});
    lstForms->setColumnWidth(0, Twips::toPixels(3300));

    const int left = 5700, width = 2580;
    auto *lblPreset = place(new QLabel(QStringLiteral("新建用的样式(&P)："), this), "lblPreset",
                            QStringLiteral("新建用的样式"), Twips::rect(left, 120, width, 300));
    cboPreset = place(new QComboBox(this), "cboPreset", QStringLiteral("新建用的样式"),
                      Twips::rect(left, 420, width, 360));
    lblPreset->setBuddy(cboPreset);
    for (const Forms::Form &preset : allPresets())
        cboPreset->addItem(preset.name);
    const auto button = [this, left, width](const char *name, const QString &caption, int top) {
        auto *b = place(new QPushButton(caption, this), name, caption, Twips::rect(left, top, width, 390));
        b->setAutoDefault(false);
        return b;
    };
    cmdNew = button("cmdNew", QStringLiteral("新建"), 840);
    cmdEdit = button("cmdEdit", QStringLiteral("修改"), 1290);
    cmdCopy = button("cmdCopy", QStringLiteral("复制"), 1740);
    cmdDelete = button("cmdDelete", QStringLiteral("删除"), 2190);
    cmdImport = button("cmdImport", QStringLiteral("导入…"), 2640);
    cmdExport = button("cmdExport", QStringLiteral("导出…"), 3090);
    auto *lblSlot = place(new QLabel(QStringLiteral("快递按钮(&B)："), this), "lblSlot",
                          QStringLiteral("快递按钮"), Twips::rect(left, 3600, width, 300));
    cboSlot = place(new QComboBox(this), "cboSlot", QStringLiteral("快递按钮"),
                    Twips::rect(left, 3900, width, 360));
    lblSlot->setBuddy(cboSlot);
    cboSlot->addItem(QStringLiteral("无"), 0);
    for (int slot = Forms::FormLibrary::FirstSlot; slot <= Forms::FormLibrary::LastSlot; ++slot)
        cboSlot->addItem(QStringLiteral("Alt+%1（%2的位置）")
                             .arg(slot)
                             .arg(QString::fromUtf16(SlotCouriers[slot - Forms::FormLibrary::FirstSlot])),
                         slot);
    cmdClose = button("cmdClose", QStringLiteral("关闭"), 4890);

    connect(lstForms, &QTreeWidget::itemSelectionChanged, this, &frmFormList::lstForms_SelectionChanged);
    connect(lstForms, &QTreeWidget::itemActivated, this, &frmFormList::cmdEdit_Click);
    connect(cmdNew, &QPushButton::clicked, this, &frmFormList::cmdNew_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &frmFormList::cmdEdit_Click);
    connect(cmdCopy, &QPushButton::clicked, this, &frmFormList::cmdCopy_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmFormList::cmdDelete_Click);
    connect(cmdImport, &QPushButton::clicked, this, &frmFormList::cmdImport_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmFormList::cmdExport_Click);
    connect(cboSlot, &QComboBox::currentIndexChanged, this, &frmFormList::cboSlot_Change);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    reload();
}

void frmFormList::reload(const QString &choose)
{
    const QString keep = choose.isEmpty() ? chosen() : choose;
    m_filling = true;
    lstForms->clear();
    QTreeWidgetItem *current = nullptr;
    // A damaged form is listed too, with what is wrong, to be deleted or replaced.
    for (const Forms::FormLibrary::Entry &entry : m_library.list(Forms::FormLibrary::Damaged::Listed)) {
        auto *item = new QTreeWidgetItem(
            lstForms, {entry.caption(), entry.slot ? QStringLiteral("Alt+%1").arg(entry.slot) : QString()});
        item->setData(0, FileNameRole, entry.fileName);
        item->setData(0, NameRole, entry.name);
        if (!entry.problem.isEmpty()) {
            item->setToolTip(0, entry.problem);
            item->setForeground(0, QColor(Qt::red));
        }
        if (entry.fileName == keep || !current)
            current = item;
    }
    lstForms->setCurrentItem(current);
    m_filling = false;
    lstForms_SelectionChanged();
}

QString frmFormList::chosen() const
{
    const QTreeWidgetItem *item = lstForms->currentItem();
    return item ? item->data(0, FileNameRole).toString() : QString();
}

frmFormEditor *frmFormList::editor() const
{
    return findChild<frmFormEditor *>();
}

void frmFormList::lstForms_SelectionChanged()
{
    if (m_filling)
        return;
    const QString fileName = chosen();
    const bool any = !fileName.isEmpty();
    for (QWidget *w : std::initializer_list<QWidget *>{cmdEdit, cmdCopy, cmdDelete, cmdExport, cboSlot})
        w->setEnabled(any);
    m_filling = true;
    cboSlot->setCurrentIndex(any ? cboSlot->findData(m_library.slotOf(fileName)) : 0);
    m_filling = false;
}

void frmFormList::warn(const QString &text)
{
    m_platform.messageBox(text, QStringLiteral("提示"), Dialogs::Exclamation);
}

void frmFormList::cmdNew_Click()
{
    const std::vector<Forms::Form> presets = allPresets();
    const int index = cboPreset->currentIndex();
    if (index < 0 || index >= int(presets.size()))
        return;
    Forms::Form form = presets[index];
    form.name = (form.kind == Forms::Form::Kind::PackingSlip
                     ? m_platform.inputBox(QStringLiteral("请输入新发货单模板的名称（如“本店发货单”）："),
                                           QStringLiteral("新建发货单模板"), QStringLiteral("发货单"))
                     : m_platform.inputBox(QStringLiteral("请输入新模板的名称（快递公司，如“申通快递”）："),
                                           QStringLiteral("新建快递单模板"), QString()))
                    .trimmed();
    if (form.name.isEmpty())
        return;
    form.id = Forms::Form::newId();
    QString fileName;
    QString error;
    if (!m_library.save(form, &fileName, &error)) {
        warn(QStringLiteral("快递单模板未能保存：\n%1").arg(error));
        return;
    }
    reload(fileName);
    Q_EMIT formsChanged();
    openEditor(fileName);
}

void frmFormList::cmdEdit_Click()
{
    const QString fileName = chosen();
    if (!fileName.isEmpty())
        openEditor(fileName);
}

void frmFormList::openEditor(const QString &fileName)
{
    QString error;
    const std::optional<Forms::Form> form = m_library.load(fileName, &error);
    if (!form) {
        warn(QStringLiteral("快递单模板无法打开：\n%1").arg(error));
        return;
    }
    auto *editor = new frmFormEditor(m_platform, m_library, *form, fileName, m_picker, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor, &frmFormEditor::saved, this, &frmFormList::editor_Saved);
    editor->open();
}

void frmFormList::editor_Saved(const QString &fileName)
{
    reload(fileName);
    Q_EMIT formsChanged();
}

void frmFormList::cmdCopy_Click()
{
    const QString fileName = chosen();
    if (fileName.isEmpty())
        return;
    const QString name =
        m_platform
            .inputBox(QStringLiteral("请输入副本的名称："), QStringLiteral("复制快递单模板"),
                      lstForms->currentItem()->data(0, NameRole).toString() + QStringLiteral(" 副本"))
            .trimmed();
    if (name.isEmpty())
        return;
    QString error;
    const std::optional<QString> copy = m_library.copy(fileName, name, &error);
    if (!copy) {
        warn(QStringLiteral("快递单模板未能复制：\n%1").arg(error));
        return;
    }
    reload(*copy);
    Q_EMIT formsChanged();
}

void frmFormList::cmdDelete_Click()
{
    const QString fileName = chosen();
    if (fileName.isEmpty())
        return;
    const QString name = lstForms->currentItem()->text(0);
    if (m_platform.messageBox(QStringLiteral("确实要删除快递单模板“%1”吗？\n它将被移到回收站。").arg(name),
                              QStringLiteral("删除"),
                              Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2) !=
        Dialogs::Yes)
        return;
    QString error;
    if (!m_library.remove(fileName, &error)) {
        warn(QStringLiteral("快递单模板未能删除：\n%1").arg(error));
        return;
    }
    reload();
    Q_EMIT formsChanged();
}

void frmFormList::cmdImport_Click()
{
    const QString path = m_picker.openFile(this, QStringLiteral("导入快递单模板"),
                                           QStringLiteral("快递单模板 (*%1)").arg(Forms::FormFile::suffix()));
    if (path.isEmpty())
        return;
    QString error;
    const std::optional<Forms::Form> form = m_library.readFile(path, &error);
    if (!form) {
        warn(QStringLiteral("快递单模板未能导入：\n%1").arg(error));
        return;
    }
    auto same = Forms::FormLibrary::SameForm::KeepBoth;
    const QString existing = m_library.fileWithId(form->id);
    if (!existing.isEmpty()) {
        const std::optional<Forms::Form> here = m_library.load(existing);
        const QString name = here ? here->name : existing;
        const int answer = m_platform.messageBox(
            QStringLiteral("这个模板已经导入过，现有的是“%1”。\n\n"
                           "是：用导入的替换它（它的快递按钮、打印设置和校准不变）\n"
                           "否：两个都保留（导入的作为新模板“%2（2）”，打印设置另算）\n"
                           "取消：不导入")
                .arg(name, form->name),
            QStringLiteral("导入快递单模板"), Dialogs::YesNoCancel | Dialogs::Exclamation);
        if (answer == Dialogs::Cancel)
            return;
        same = answer == Dialogs::Yes ? Forms::FormLibrary::SameForm::Replace
                                      : Forms::FormLibrary::SameForm::KeepBoth;
    }
    const std::optional<QString> fileName = m_library.importFile(path, &error, same);
    if (!fileName) {
        warn(QStringLiteral("快递单模板未能导入：\n%1").arg(error));
        return;
    }
    reload(*fileName);
    Q_EMIT formsChanged();
}

void frmFormList::cmdExport_Click()
{
    const QString fileName = chosen();
    if (fileName.isEmpty())
        return;
    const QString path = m_picker.saveFile(this, QStringLiteral("导出快递单模板"), fileName,
                                           QStringLiteral("快递单模板 (*%1)").arg(Forms::FormFile::suffix()));
    if (path.isEmpty())
        return;
    QString error;
    if (!m_library.exportFile(fileName, path, &error))
        warn(QStringLiteral("快递单模板未能导出：\n%1").arg(error));
}

void frmFormList::cboSlot_Change()
{
    const QString fileName = chosen();
    if (m_filling || fileName.isEmpty())
        return;
    QString error;
    if (!m_library.setSlot(fileName, cboSlot->currentData().toInt(), &error)) {
        warn(QStringLiteral("快递按钮未能设置：\n%1").arg(error));
        lstForms_SelectionChanged();
        return;
    }
    reload(fileName);
    Q_EMIT formsChanged();
}

} // namespace Designer
