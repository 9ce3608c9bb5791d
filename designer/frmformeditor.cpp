#include "designer/frmformeditor.h"

#include "barcode/barcodepainter.h"
#include "designer/formcanvas.h"
#include "designer/formdocument.h"
#include "designer/picturefile.h"
#include "forms/formlibrary.h"
#include "forms/formpainter.h"
#include "forms/frmform.h"
#include "platform/platform.h"
#include "waybill/frmprintsettings.h"
#include "waybill/printjob.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <iterator>
#include <tuple>

using Forms::FormField;

namespace Designer {

namespace {

// What the palette adds: a caption and a field with its usual box.
struct FieldKind
{
    QString caption;
    FormField field;
};

QList<FieldKind> fieldKinds()
{
    QList<FieldKind> kinds;
    const auto make = [](FormField::Source source, QSizeF size) {
        FormField field;
        field.source = source;
        field.box = QRectF(QPointF(10, 10), size);
        field.pointSize = 11;
        return field;
    };
    for (const auto &[name, caption] : Forms::contactFields()) {
        FormField field = make(FormField::Source::Contact, QSizeF(40, 7));
        field.keys = QStringList{name};
        field.fit = FormField::Fit::Shrink;
        if (name.startsWith(QLatin1String("txtZip"))) {
            field.box.setWidth(30);
            field.pitch = 5;
        }
        kinds.append({caption, field});
    }
    // A batch row's own numbers, for labels and packing slips.
    for (const auto &[name, caption] : Forms::batchFields()) {
        FormField field = make(FormField::Source::Contact, QSizeF(50, 7));
        field.keys = QStringList{name};
        field.fit = FormField::Fit::Shrink;
        // One a line: a box of several lines that keeps them.
        if (name == QLatin1String("orderNumbers") || name == QLatin1String("items") ||
            name == QLatin1String("remarks")) {
            field.box.setSize(QSizeF(80, 25));
            field.fit = FormField::Fit::Wrap;
        }
        kinds.append({caption, field});
    }
    for (const QString &side : {QStringLiteral("To"), QString()}) {
        FormField field = make(FormField::Source::Contact, QSizeF(80, 12));
        field.keys = QStringList{QStringLiteral("txtP") + side, QStringLiteral("txtC") + side,
                                 QStringLiteral("txtA") + side, QStringLiteral("txtAdd") + side};
        kinds.append({side.isEmpty() ? QStringLiteral("寄件地址（省市区+详细地址）")
                                     : QStringLiteral("收件地址（省市区+详细地址）"),
                      field});
    }
    FormField text = make(FormField::Source::FixedText, QSizeF(40, 7));
    text.text = QStringLiteral("文字");
    kinds.append({QStringLiteral("固定文字"), text});
    kinds.append({QStringLiteral("日期"), make(FormField::Source::Date, QSizeF(30, 7))});
    kinds.append({QStringLiteral("勾选"), make(FormField::Source::CheckMark, QSizeF(5, 5))});
    // Barcodes of the row's order number, to begin with: their content may name any field.
    for (const auto &[symbol, caption, size] :
         {std::tuple{FormField::Symbol::Code128, QStringLiteral("条码"), QSizeF(60, 15)},
          std::tuple{FormField::Symbol::QrCode, QStringLiteral("二维码"), QSizeF(25, 25)}}) {
        FormField code = make(FormField::Source::FixedText, size);
        code.text = QStringLiteral("{订单编号}");
        code.symbol = symbol;
        kinds.append({caption, code});
    }
    FormField asked = make(FormField::Source::Asked, QSizeF(30, 7));
    asked.askLabel = QStringLiteral("托寄物");
    kinds.append({QStringLiteral("打印时填写（如托寄物、件数）"), asked});
    return kinds;
}

// What a test print fills the fields with: a likely contact, so that the
// boxes show how real text sits in them.
QString sampleValue(QStringView key)
{
    static const std::pair<const char16_t *, const char16_t *> samples[] = {
        {u"txtSent", u"示例商贸有限公司"},
        {u"txtName", u"张三"},
        {u"txtP", u"广东省"},
        {u"txtC", u"深圳市"},
        {u"txtA", u"南山区"},
        {u"txtAdd", u"科技园路1号"},
        {u"txtTel", u"13800138000"},
        {u"txtZip", u"518000"},
        {u"orderNumber", u"2026120812345678"},
        {u"waybillNumber", u"SF1442037800012"},
        {u"orderNumbers", u"2026120812345678\n2026120887654321"},
        {u"items", u"纯棉圆领短袖T恤 白色 XL ×2\n休闲运动短裤 黑色 L ×1\n棉袜五双装 均码 ×1"},
        {u"remarks", u"请尽快发货\n不要放发票"},
        {u"parcel", u"1/2"},
    };
    const QStringView base = key.endsWith(u"To") ? key.chopped(2) : key;
    for (const auto &[name, value] : samples) {
        if (base == QStringView(name))
            return QString::fromUtf16(value);
    }
    return QString();
}

QDoubleSpinBox *millimetres(double maximum)
{
    auto *spin = new QDoubleSpinBox;
    spin->setRange(0, maximum);
    spin->setDecimals(2);
    spin->setSingleStep(0.1);
    spin->setSuffix(QStringLiteral(" mm"));
    spin->setKeyboardTracking(false);
    return spin;
}

} // namespace

// Names a control and gives it its label as its accessible name.
template <typename Widget> static Widget *named(Widget *widget, const char *name, const QString &label)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(label);
    return widget;
}

frmFormEditor::frmFormEditor(Platform &platform, Forms::FormLibrary &library, const Forms::Form &form,
                             QString fileName, FilePicker picker, QWidget *parent)
    : QDialog(parent), m_platform(platform), m_library(library), m_fileName(std::move(fileName)),
      m_picker(std::move(picker)), m_document(new FormDocument(form, this))
{
    setObjectName(QStringLiteral("frmFormEditor"));

    auto *outer = new QHBoxLayout(this);
    auto *left = new QVBoxLayout;
    auto *pageBar = new QGridLayout;
    buildPageBar(pageBar);
    left->addLayout(pageBar);
    m_canvas = new FormCanvas(*m_document, this);
    m_canvas->setObjectName(QStringLiteral("canvas"));
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("scrPage"));
    m_scroll->setWidget(m_canvas);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_canvas->setZoom(1);
    // The whole page at 100 % where the screen allows, so that a 230 mm waybill
    // is seen at once on opening.
    const QSize page = m_canvas->sizeHint() + QSize(2 * m_scroll->frameWidth(), 2 * m_scroll->frameWidth());
    m_scroll->setMinimumSize(page.boundedTo(QSize(900, 520)));
    left->addWidget(m_scroll, 1);
    outer->addLayout(left, 1);

    auto *right = new QVBoxLayout;
    right->addWidget(buildFieldPanel());
    right->addWidget(buildPicturePanel());
    // Below the page rather than below the panels: the window then fits a
    // screen of 768 lines.
    auto *buttons = new QHBoxLayout;
    cmdUndo = named(new QPushButton(QStringLiteral("撤销")), "cmdUndo", QStringLiteral("撤销"));
    cmdRedo = named(new QPushButton(QStringLiteral("重做")), "cmdRedo", QStringLiteral("重做"));
    chkFaint =
        named(new QCheckBox(QStringLiteral("试印时带淡底图")), "chkFaint", QStringLiteral("试印时带淡底图"));
    cmdTestPrint = named(new QPushButton(QStringLiteral("试印")), "cmdTestPrint", QStringLiteral("试印"));
    cmdSettings =
        named(new QPushButton(QStringLiteral("打印设置…")), "cmdSettings", QStringLiteral("打印设置…"));
    cmdSave = named(new QPushButton(QStringLiteral("保存")), "cmdSave", QStringLiteral("保存"));
    cmdClose = named(new QPushButton(QStringLiteral("关闭")), "cmdClose", QStringLiteral("关闭"));
    for (QWidget *w : std::initializer_list<QWidget *>{cmdUndo, cmdRedo, chkFaint, cmdTestPrint, cmdSettings})
        buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    left->addLayout(buttons);
    right->addStretch();
    outer->addLayout(right);
    for (QPushButton *b : findChildren<QPushButton *>())
        b->setAutoDefault(false);
    // Opened as large as that where the screen allows, down to a page that
    // scrolls on a small one.
    m_wholePage = QDialog::sizeHint();
    m_scroll->setMinimumSize(page.boundedTo(QSize(480, 300)));
    left->invalidate();
    layout()->invalidate();
    const QSize room = screen()->availableGeometry().size() - QSize(16, 40); // the window's frame and title
    resize(m_wholePage.boundedTo(room).expandedTo(minimumSizeHint()));

    QUndoStack &undo = m_document->undoStack();
    QAction *actUndo = undo.createUndoAction(this, QStringLiteral("撤销"));
    actUndo->setShortcut(QKeySequence::Undo);
    QAction *actRedo = undo.createRedoAction(this, QStringLiteral("重做"));
    actRedo->setShortcut(QKeySequence::Redo);
    addAction(actUndo);
    addAction(actRedo);
    connect(cmdUndo, &QPushButton::clicked, &undo, &QUndoStack::undo);
    connect(cmdRedo, &QPushButton::clicked, &undo, &QUndoStack::redo);
    connect(&undo, &QUndoStack::canUndoChanged, cmdUndo, &QPushButton::setEnabled);
    connect(&undo, &QUndoStack::canRedoChanged, cmdRedo, &QPushButton::setEnabled);
    cmdUndo->setEnabled(false);
    cmdRedo->setEnabled(false);

    connect(m_document, &FormDocument::changed, this, &frmFormEditor::document_Changed);
    connect(m_canvas, &FormCanvas::selectionChanged, this, &frmFormEditor::canvas_SelectionChanged);
    connect(m_canvas, &FormCanvas::pointPicked, this, &frmFormEditor::canvas_PointPicked);
    connect(txtName, &QLineEdit::editingFinished, this, &frmFormEditor::txtName_EditingFinished);
    connect(spnPaperWidth, &QDoubleSpinBox::valueChanged, this, &frmFormEditor::spnPaper_ValueChanged);
    connect(spnPaperHeight, &QDoubleSpinBox::valueChanged, this, &frmFormEditor::spnPaper_ValueChanged);
    connect(chkLandscape, &QCheckBox::toggled, this, &frmFormEditor::chkLandscape_Toggled);
    connect(cboZoom, &QComboBox::currentIndexChanged, this, &frmFormEditor::cboZoom_Change);
    connect(cmdAdd, &QPushButton::clicked, this, &frmFormEditor::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmFormEditor::cmdRemove_Click);
    connect(lstFields, &QListWidget::currentRowChanged, this, &frmFormEditor::lstFields_CurrentRowChanged);
    for (QDoubleSpinBox *spin : {spnX, spnY, spnWidth, spnHeight})
        connect(spin, &QDoubleSpinBox::valueChanged, this, &frmFormEditor::spnBox_ValueChanged);
    connect(txtText, &QLineEdit::editingFinished, this, &frmFormEditor::txtText_EditingFinished);
    connect(cboFont, &QFontComboBox::currentFontChanged, this, &frmFormEditor::fieldStyle_Changed);
    connect(spnSize, &QDoubleSpinBox::valueChanged, this, &frmFormEditor::fieldStyle_Changed);
    connect(chkBold, &QCheckBox::toggled, this, &frmFormEditor::fieldStyle_Changed);
    for (QComboBox *combo : {cboHAlign, cboVAlign, cboFit})
        connect(combo, &QComboBox::currentIndexChanged, this, &frmFormEditor::fieldStyle_Changed);
    connect(spnPitch, &QDoubleSpinBox::valueChanged, this, &frmFormEditor::fieldStyle_Changed);
    connect(chkShowText, &QCheckBox::toggled, this, &frmFormEditor::fieldStyle_Changed);
    connect(spnModule, &QDoubleSpinBox::valueChanged, this, &frmFormEditor::fieldStyle_Changed);
    connect(cboErrorLevel, &QComboBox::currentIndexChanged, this, &frmFormEditor::fieldStyle_Changed);
    connect(cmdPicture, &QPushButton::clicked, this, &frmFormEditor::cmdPicture_Click);
    connect(cmdRemovePicture, &QPushButton::clicked, this, &frmFormEditor::cmdRemovePicture_Click);
    connect(cmdPick1, &QPushButton::clicked, this, &frmFormEditor::cmdPick1_Click);
    connect(cmdPick2, &QPushButton::clicked, this, &frmFormEditor::cmdPick2_Click);
    for (QDoubleSpinBox *spin : spnOnPage)
        connect(spin, &QDoubleSpinBox::valueChanged, this, &frmFormEditor::spnOnPage_ValueChanged);
    connect(cmdAlign, &QPushButton::clicked, this, &frmFormEditor::cmdAlign_Click);
    connect(cmdTestPrint, &QPushButton::clicked, this, &frmFormEditor::cmdTestPrint_Click);
    connect(cmdSettings, &QPushButton::clicked, this, &frmFormEditor::cmdSettings_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmFormEditor::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);

    document_Changed();
    m_canvas->setSelected(form.fields.empty() ? -1 : 0);
    showField();
    m_canvas->setFocus();
}

frmFormEditor::~frmFormEditor() = default;

QSize frmFormEditor::sizeHint() const
{
    return m_wholePage;
}

void frmFormEditor::buildPageBar(QGridLayout *grid)
{
    const auto label = [grid](const QString &text, QWidget *control, int column) {
        auto *l = new QLabel(text);
        l->setBuddy(control);
        grid->addWidget(l, 0, column);
        grid->addWidget(control, 0, column + 1);
    };
    txtName = named(new QLineEdit, "txtName", QStringLiteral("名称"));
    spnPaperWidth = named(millimetres(Forms::Form::MaxPaper), "spnPaperWidth", QStringLiteral("纸宽"));
    spnPaperHeight = named(millimetres(Forms::Form::MaxPaper), "spnPaperHeight", QStringLiteral("纸高"));
    spnPaperWidth->setMinimum(Forms::Form::MinPaper);
    spnPaperHeight->setMinimum(Forms::Form::MinPaper);
    spnPaperWidth->setDecimals(1);
    spnPaperHeight->setDecimals(1);
    chkLandscape =
        named(new QCheckBox(QStringLiteral("横向打印")), "chkLandscape", QStringLiteral("横向打印"));
    cboZoom = named(new QComboBox, "cboZoom", QStringLiteral("缩放"));
    for (const int percent : {50, 75, 100, 150, 200, 300, 400})
        cboZoom->addItem(QStringLiteral("%1%").arg(percent), percent / 100.0);
    cboZoom->setCurrentIndex(2);
    label(QStringLiteral("名称(&N)"), txtName, 0);
    label(QStringLiteral("纸宽"), spnPaperWidth, 2);
    label(QStringLiteral("纸高"), spnPaperHeight, 4);
    grid->addWidget(chkLandscape, 0, 6);
    label(QStringLiteral("缩放(&Z)"), cboZoom, 7);
}

QWidget *frmFormEditor::buildFieldPanel()
{
    auto *box = new QGroupBox(QStringLiteral("字段"));
    auto *grid = new QGridLayout(box);
    int row = 0;
    const auto add = [&](const QString &text, QWidget *control) {
        auto *l = new QLabel(text);
        l->setBuddy(control);
        grid->addWidget(l, row, 0);
        grid->addWidget(control, row, 1, 1, 3);
        ++row;
        return l;
    };
    cboKind = named(new QComboBox, "cboKind", QStringLiteral("字段种类"));
    for (const FieldKind &kind : fieldKinds())
        cboKind->addItem(kind.caption);
    add(QStringLiteral("字段种类(&K)"), cboKind);
    cmdAdd = named(new QPushButton(QStringLiteral("添加字段")), "cmdAdd", QStringLiteral("添加字段"));
    cmdRemove = named(new QPushButton(QStringLiteral("删除字段")), "cmdRemove", QStringLiteral("删除字段"));
    grid->addWidget(cmdAdd, row, 1);
    grid->addWidget(cmdRemove, row, 2);
    ++row;
    lstFields = named(new QListWidget, "lstFields", QStringLiteral("字段列表"));
    lstFields->setMaximumHeight(140);
    add(QStringLiteral("字段列表(&L)"), lstFields);

    spnX = named(millimetres(Forms::Form::MaxPaper), "spnX", QStringLiteral("左"));
    spnY = named(millimetres(Forms::Form::MaxPaper), "spnY", QStringLiteral("上"));
    spnWidth = named(millimetres(Forms::Form::MaxPaper), "spnWidth", QStringLiteral("宽"));
    spnHeight = named(millimetres(Forms::Form::MaxPaper), "spnHeight", QStringLiteral("高"));
    const auto pair = [&](const QString &a, QWidget *first, const QString &b, QWidget *second) {
        auto *la = new QLabel(a);
        la->setBuddy(first);
        auto *lb = new QLabel(b);
        lb->setBuddy(second);
        grid->addWidget(la, row, 0);
        grid->addWidget(first, row, 1);
        grid->addWidget(lb, row, 2);
        grid->addWidget(second, row, 3);
        ++row;
    };
    pair(QStringLiteral("左"), spnX, QStringLiteral("上"), spnY);
    pair(QStringLiteral("宽"), spnWidth, QStringLiteral("高"), spnHeight);
    txtText = named(new QLineEdit, "txtText", QStringLiteral("文字"));
    lblText = add(QStringLiteral("文字"), txtText);
    cboFont = named(new QFontComboBox, "cboFont", QStringLiteral("字体"));
    // The box is typed into: its text field carries the label too.
    cboFont->lineEdit()->setAccessibleName(QStringLiteral("字体"));
    add(QStringLiteral("字体"), cboFont);
    spnSize = named(new QDoubleSpinBox, "spnSize", QStringLiteral("字号"));
    spnSize->setRange(Forms::Form::MinPointSize, Forms::Form::MaxPointSize);
    spnSize->setDecimals(1);
    spnSize->setSuffix(QStringLiteral(" 磅"));
    spnSize->setKeyboardTracking(false);
    chkBold = named(new QCheckBox(QStringLiteral("粗体")), "chkBold", QStringLiteral("粗体"));
    auto *lSize = new QLabel(QStringLiteral("字号"));
    lSize->setBuddy(spnSize);
    grid->addWidget(lSize, row, 0);
    grid->addWidget(spnSize, row, 1);
    grid->addWidget(chkBold, row, 2, 1, 2);
    ++row;
    cboHAlign = named(new QComboBox, "cboHAlign", QStringLiteral("水平对齐"));
    cboHAlign->addItem(QStringLiteral("左"), int(Qt::AlignLeft));
    cboHAlign->addItem(QStringLiteral("中"), int(Qt::AlignHCenter));
    cboHAlign->addItem(QStringLiteral("右"), int(Qt::AlignRight));
    cboVAlign = named(new QComboBox, "cboVAlign", QStringLiteral("垂直对齐"));
    cboVAlign->addItem(QStringLiteral("上"), int(Qt::AlignTop));
    cboVAlign->addItem(QStringLiteral("中"), int(Qt::AlignVCenter));
    cboVAlign->addItem(QStringLiteral("下"), int(Qt::AlignBottom));
    pair(QStringLiteral("水平对齐"), cboHAlign, QStringLiteral("垂直对齐"), cboVAlign);
    cboFit = named(new QComboBox, "cboFit", QStringLiteral("排版"));
    cboFit->addItem(QStringLiteral("单行（超出截去）"), int(FormField::Fit::OneLine));
    cboFit->addItem(QStringLiteral("自动换行"), int(FormField::Fit::Wrap));
    cboFit->addItem(QStringLiteral("缩小字号以放下"), int(FormField::Fit::Shrink));
    spnPitch = named(millimetres(50), "spnPitch", QStringLiteral("字距（每字一格，0 为不分格）"));
    pair(QStringLiteral("排版"), cboFit, QStringLiteral("字距"), spnPitch);
    // A barcode field's own: shown for those alone.
    chkShowText = named(new QCheckBox(QStringLiteral("显示文字")), "chkShowText", QStringLiteral("显示文字"));
    spnModule = named(millimetres(FormField::MaxModuleMm), "spnModule", QStringLiteral("模块宽"));
    spnModule->setMinimum(FormField::MinModuleMm);
    spnModule->setSingleStep(0.01);
    spnModule->setDecimals(3);
    cboErrorLevel = named(new QComboBox, "cboErrorLevel", QStringLiteral("纠错等级"));
    for (const QString &level :
         {QStringLiteral("L"), QStringLiteral("M"), QStringLiteral("Q"), QStringLiteral("H")})
        cboErrorLevel->addItem(level, level);
    auto *lModule = new QLabel(QStringLiteral("模块宽"));
    lModule->setBuddy(spnModule);
    auto *lLevel = new QLabel(QStringLiteral("纠错等级"));
    lLevel->setBuddy(cboErrorLevel);
    auto *symbolRow = new QHBoxLayout;
    symbolRow->addWidget(chkShowText);
    symbolRow->addWidget(lModule);
    symbolRow->addWidget(spnModule);
    symbolRow->addWidget(lLevel);
    symbolRow->addWidget(cboErrorLevel);
    grid->addLayout(symbolRow, row, 0, 1, 4);
    ++row;
    lblModule = named(new QLabel, "lblModule", QStringLiteral("打印时的模块宽"));
    grid->addWidget(lblModule, row, 0, 1, 4);
    ++row;
    return box;
}

QWidget *frmFormEditor::buildPicturePanel()
{
    auto *box = new QGroupBox(QStringLiteral("底图"));
    auto *grid = new QGridLayout(box);
    cmdPicture =
        named(new QPushButton(QStringLiteral("打开底图…")), "cmdPicture", QStringLiteral("打开底图…"));
    cmdRemovePicture =
        named(new QPushButton(QStringLiteral("去掉底图")), "cmdRemovePicture", QStringLiteral("去掉底图"));
    grid->addWidget(cmdPicture, 0, 0, 1, 2);
    grid->addWidget(cmdRemovePicture, 0, 2, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("对齐：在图上点两个点，再填它们在单子上的实际位置")), 1, 0, 1,
                    5);
    const char *pageNames[] = {"spnOnPage1X", "spnOnPage1Y", "spnOnPage2X", "spnOnPage2Y"};
    const char *formNames[] = {"spnOnForm1X", "spnOnForm1Y", "spnOnForm2X", "spnOnForm2Y"};
    for (int point = 0; point < 2; ++point) {
        const int row = 2 + 2 * point;
        const QString n = QString::number(point + 1);
        auto *pick = named(new QPushButton(QStringLiteral("点选第%1点").arg(n)),
                           point == 0 ? "cmdPick1" : "cmdPick2", QStringLiteral("点选第%1点").arg(n));
        (point == 0 ? cmdPick1 : cmdPick2) = pick;
        grid->addWidget(pick, row, 0, 2, 1);
        for (int axis = 0; axis < 2; ++axis) {
            const QString a = axis == 0 ? QStringLiteral("X") : QStringLiteral("Y");
            const int i = 2 * point + axis;
            spnOnPage[i] = named(millimetres(Forms::Form::MaxPaper), pageNames[i],
                                 QStringLiteral("第%1点图上%2").arg(n, a));
            spnOnForm[i] = named(millimetres(Forms::Form::MaxPaper), formNames[i],
                                 QStringLiteral("第%1点实际%2").arg(n, a));
            auto *lPage = new QLabel(QStringLiteral("图上%1").arg(a));
            lPage->setBuddy(spnOnPage[i]);
            auto *lForm = new QLabel(QStringLiteral("实际%1").arg(a));
            lForm->setBuddy(spnOnForm[i]);
            grid->addWidget(lPage, row + axis, 1);
            grid->addWidget(spnOnPage[i], row + axis, 2);
            grid->addWidget(lForm, row + axis, 3);
            grid->addWidget(spnOnForm[i], row + axis, 4);
        }
    }
    cmdAlign = named(new QPushButton(QStringLiteral("对齐底图")), "cmdAlign", QStringLiteral("对齐底图"));
    grid->addWidget(cmdAlign, 6, 0, 1, 5);
    return box;
}

void frmFormEditor::document_Changed()
{
    const Forms::Form &form = m_document->form();
    setWindowTitle((form.kind == Forms::Form::Kind::PackingSlip ? QStringLiteral("发货单模板 - %1")
                                                                : QStringLiteral("快递单模板 - %1"))
                       .arg(form.name));
    m_showing = true;
    if (!txtName->hasFocus() || txtName->text() == form.name)
        txtName->setText(form.name);
    spnPaperWidth->setValue(form.paper.width());
    spnPaperHeight->setValue(form.paper.height());
    chkLandscape->setChecked(form.landscape);
    const int current = m_canvas->selected();
    // The list is rebuilt only when its captions change, so that typing into a
    // number does not lose the list's place.
    QStringList captions;
    for (const FormField &field : form.fields)
        captions.append(Forms::fieldCaption(field));
    QStringList shown;
    for (int i = 0; i < lstFields->count(); ++i)
        shown.append(lstFields->item(i)->text());
    if (captions != shown) {
        lstFields->clear();
        lstFields->addItems(captions);
    }
    lstFields->setCurrentRow(current);
    const bool picture = !form.picture.isEmpty();
    cmdRemovePicture->setEnabled(picture);
    cmdPick1->setEnabled(picture);
    cmdPick2->setEnabled(picture);
    // Points taken on another picture say nothing of this one.
    if (!form.picture.isSharedWith(m_pictureShown)) {
        m_pictureShown = form.picture;
        m_picked[0] = m_picked[1] = false;
    }
    enableAlign();
    m_showing = false;
    showField();
}

void frmFormEditor::showField()
{
    const int index = m_canvas->selected();
    const bool any = index >= 0;
    for (QWidget *w :
         std::initializer_list<QWidget *>{cmdRemove, spnX, spnY, spnWidth, spnHeight, txtText, cboFont,
                                          spnSize, chkBold, cboHAlign, cboVAlign, cboFit, spnPitch})
        w->setEnabled(any);
    const bool symbol = any && m_document->form().fields[index].symbol != FormField::Symbol::None;
    const bool qr = symbol && m_document->form().fields[index].symbol == FormField::Symbol::QrCode;
    chkShowText->setEnabled(symbol && !qr);
    spnModule->setEnabled(symbol);
    cboErrorLevel->setEnabled(qr);
    lblModule->setText(symbol ? Barcode::moduleNote(m_document->form().fields[index].moduleMm, printerDpi())
                              : QString());
    if (!any)
        return;
    const FormField &field = m_document->form().fields[index];
    m_showing = true;
    spnX->setValue(field.box.x());
    spnY->setValue(field.box.y());
    spnWidth->setValue(field.box.width());
    spnHeight->setValue(field.box.height());
    QString label;
    QString text;
    switch (field.source) {
    case FormField::Source::Contact:
        label = QStringLiteral("连接符");
        text = field.separator;
        break;
    case FormField::Source::FixedText:
        label = field.symbol == FormField::Symbol::None ? QStringLiteral("文字") : QStringLiteral("条码内容");
        text = field.text;
        break;
    case FormField::Source::Date:
        label = QStringLiteral("日期格式");
        text = field.dateFormat;
        break;
    case FormField::Source::CheckMark:
        label = QStringLiteral("文字");
        break;
    case FormField::Source::Asked:
        label = QStringLiteral("打印时询问");
        text = field.askLabel;
        break;
    }
    lblText->setText(label);
    txtText->setAccessibleName(label);
    if (!txtText->hasFocus())
        txtText->setText(text);
    txtText->setEnabled(field.source != FormField::Source::CheckMark);
    cboFont->setCurrentFont(QFont(field.fontFamily));
    spnSize->setValue(field.pointSize);
    chkBold->setChecked(field.bold);
    cboHAlign->setCurrentIndex(cboHAlign->findData(int(field.alignment & Qt::AlignHorizontal_Mask)));
    cboVAlign->setCurrentIndex(cboVAlign->findData(int(field.alignment & Qt::AlignVertical_Mask)));
    cboFit->setCurrentIndex(cboFit->findData(int(field.fit)));
    spnPitch->setValue(field.pitch);
    chkShowText->setChecked(field.showText);
    spnModule->setValue(field.moduleMm);
    cboErrorLevel->setCurrentIndex(cboErrorLevel->findData(QString(field.errorLevel)));
    m_showing = false;
}

int frmFormEditor::printerDpi() const
{
    if (m_printerDpi == 0) {
        QString error;
        const std::unique_ptr<QPrinter> printer =
            Waybill::openPrinter(frmForm::loadSettings(m_platform, m_document->form()), &error);
        m_printerDpi = printer ? printer->resolution() : -1;
    }
    return std::max(m_printerDpi, 0);
}

FormField frmFormEditor::fieldFromControls(const FormField &field) const
{
    FormField changed = field;
    // The family the form names, even one this machine lacks, which the
    // control then shows as a stand-in.
    changed.fontFamily = cboFont->currentFont().family();
    changed.pointSize = spnSize->value();
    changed.bold = chkBold->isChecked();
    changed.alignment = Qt::Alignment(cboHAlign->currentData().toInt() | cboVAlign->currentData().toInt());
    changed.fit = FormField::Fit(cboFit->currentData().toInt());
    changed.pitch = spnPitch->value();
    if (field.symbol != FormField::Symbol::None) {
        changed.showText = chkShowText->isChecked();
        changed.moduleMm = spnModule->value();
        const QString level = cboErrorLevel->currentData().toString();
        changed.errorLevel = level.isEmpty() ? QChar(u'M') : level.front();
    }
    return changed;
}

void frmFormEditor::canvas_SelectionChanged(int index)
{
    m_showing = true;
    lstFields->setCurrentRow(index);
    m_showing = false;
    showField();
}

void frmFormEditor::lstFields_CurrentRowChanged(int row)
{
    if (!m_showing)
        m_canvas->setSelected(row);
}

void frmFormEditor::txtName_EditingFinished()
{
    Forms::Form after = m_document->form();
    after.name = txtName->text().trimmed();
    if (after.name.isEmpty()) {
        txtName->setText(m_document->form().name);
        return;
    }
    m_document->edit(QStringLiteral("改名"), after);
}

void frmFormEditor::spnPaper_ValueChanged()
{
    if (m_showing)
        return;
    Forms::Form after = m_document->form();
    after.paper = QSizeF(spnPaperWidth->value(), spnPaperHeight->value());
    m_document->edit(QStringLiteral("改变纸张大小"), after, QStringLiteral("paper"));
}

void frmFormEditor::chkLandscape_Toggled()
{
    if (m_showing)
        return;
    Forms::Form after = m_document->form();
    after.landscape = chkLandscape->isChecked();
    m_document->edit(QStringLiteral("改变打印方向"), after);
}

void frmFormEditor::cboZoom_Change()
{
    m_canvas->setZoom(cboZoom->currentData().toDouble());
}

void frmFormEditor::cmdAdd_Click()
{
    const QList<FieldKind> kinds = fieldKinds();
    const int kind = cboKind->currentIndex();
    if (kind < 0 || kind >= kinds.size())
        return;
    if (int(m_document->form().fields.size()) >= Forms::Form::MaxFields) {
        m_platform.messageBox(QStringLiteral("一个模板最多只能有 %1 个字段。").arg(Forms::Form::MaxFields),
                              QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    FormField field = kinds[kind].field;
    // Each new field a little below the last, so that none hides another.
    const double shift = double(m_document->form().fields.size() % 10) * 3;
    field.box.translate(shift, shift);
    m_canvas->setSelected(m_document->addField(field));
    m_canvas->setFocus();
}

void frmFormEditor::cmdRemove_Click()
{
    m_document->removeField(m_canvas->selected());
}

void frmFormEditor::spnBox_ValueChanged()
{
    if (m_showing)
        return;
    // Steps of one number, by its arrows, undo as one.
    const int index = m_canvas->selected();
    m_document->setFieldBox(index,
                            QRectF(spnX->value(), spnY->value(), spnWidth->value(), spnHeight->value()),
                            QStringLiteral("box %1 %2").arg(index).arg(sender()->objectName()));
    // A box kept on the page may differ from what was typed.
    showField();
}

void frmFormEditor::txtText_EditingFinished()
{
    const int index = m_canvas->selected();
    if (index < 0)
        return;
    FormField field = m_document->form().fields[index];
    const QString text = txtText->text();
    switch (field.source) {
    case FormField::Source::Contact:
        field.separator = text;
        break;
    case FormField::Source::FixedText:
        field.text = text;
        break;
    case FormField::Source::Date:
        field.dateFormat = text.isEmpty() ? QStringLiteral("yyyy-MM-dd") : text;
        break;
    case FormField::Source::CheckMark:
        return;
    case FormField::Source::Asked:
        if (text.trimmed().isEmpty())
            return;
        field.askLabel = text.trimmed();
        break;
    }
    m_document->setField(index, field, QStringLiteral("改变字段内容"));
}

void frmFormEditor::fieldStyle_Changed()
{
    if (m_showing)
        return;
    const int index = m_canvas->selected();
    if (index < 0)
        return;
    m_document->setField(index, fieldFromControls(m_document->form().fields[index]),
                         QStringLiteral("改变字段格式"),
                         QStringLiteral("style %1 %2").arg(index).arg(sender()->objectName()));
}

void frmFormEditor::cmdPicture_Click()
{
    const QString path = m_picker.openFile(this, QStringLiteral("打开底图"),
                                           QStringLiteral("空白快递单的图片 (*.png *.jpg *.jpeg *.pdf)"));
    if (path.isEmpty())
        return;
    QString error;
    const std::optional<FormPicture> picture = readFormPicture(path, m_document->form().paper, &error);
    if (!picture) {
        m_platform.messageBox(QStringLiteral("无法打开底图：\n%1").arg(error), QStringLiteral("提示"),
                              Dialogs::Exclamation);
        return;
    }
    Forms::Form after = m_document->form();
    after.picture = picture->bytes;
    after.picturePlace = roundMm(picture->place);
    m_document->edit(QStringLiteral("打开底图"), after);
}

void frmFormEditor::cmdRemovePicture_Click()
{
    Forms::Form after = m_document->form();
    after.picture.clear();
    after.picturePlace = QRectF();
    m_document->edit(QStringLiteral("去掉底图"), after);
}

void frmFormEditor::cmdPick1_Click()
{
    m_pickedPoint = 0;
    m_canvas->pickPoint(QPointF(spnOnPage[0]->value(), spnOnPage[1]->value()));
}

void frmFormEditor::cmdPick2_Click()
{
    m_pickedPoint = 1;
    m_canvas->pickPoint(QPointF(spnOnPage[2]->value(), spnOnPage[3]->value()));
}

void frmFormEditor::enableAlign()
{
    cmdAlign->setEnabled(!m_document->form().picture.isEmpty() && m_picked[0] && m_picked[1]);
}

void frmFormEditor::spnOnPage_ValueChanged()
{
    // A place typed is taken as much as one clicked.
    for (int i = 0; i < 4; ++i) {
        if (sender() == spnOnPage[i])
            m_picked[i / 2] = true;
    }
    enableAlign();
}

void frmFormEditor::canvas_PointPicked(QPointF mm)
{
    m_picked[m_pickedPoint] = true;
    spnOnPage[2 * m_pickedPoint]->setValue(mm.x());
    spnOnPage[2 * m_pickedPoint + 1]->setValue(mm.y());
    enableAlign();
    // The true place is typed next.
    spnOnForm[2 * m_pickedPoint]->setFocus();
    spnOnForm[2 * m_pickedPoint]->selectAll();
}

void frmFormEditor::cmdAlign_Click()
{
    const auto at = [](QDoubleSpinBox *const *spins, int point) {
        return QPointF(spins[2 * point]->value(), spins[2 * point + 1]->value());
    };
    Forms::Form after = m_document->form();
    const std::optional<QRectF> place = alignPicture(after.picturePlace, at(spnOnPage, 0), at(spnOnPage, 1),
                                                     at(spnOnForm, 0), at(spnOnForm, 1));
    if (!place) {
        m_platform.messageBox(
            QStringLiteral("两个点离得太近，无法对齐。请在底图上点两个相距较远的点，再填写它们的实际位置。"),
            QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    if (!Forms::Form::picturePlaceAllowed(*place)) {
        m_platform.messageBox(
            QStringLiteral("按这两个点对齐，底图会变成 %1×%2 毫米，超出了模板允许的范围（每边 %3 到 %4 "
                           "毫米）。底图没有改变。\n请检查图上的两个点和它们的实际位置。")
                .arg(qRound(place->width()))
                .arg(qRound(place->height()))
                .arg(Forms::Form::MinPictureSideMm)
                .arg(Forms::Form::MaxPictureSideMm),
            QStringLiteral("提示"), Dialogs::Exclamation);
        return;
    }
    after.picturePlace = *place;
    m_document->edit(QStringLiteral("对齐底图"), after);
    // The points now lie where they truly are.
    for (int i = 0; i < 4; ++i)
        spnOnPage[i]->setValue(spnOnForm[i]->value());
}

void frmFormEditor::cmdTestPrint_Click()
{
    const Forms::Form &form = m_document->form();
    const Waybill::PrintSettings settings = frmForm::loadSettings(m_platform, form);
    QString error;
    const std::unique_ptr<QPrinter> printer = Waybill::openPrinter(settings, &error);
    if (!printer) {
        m_platform.messageBox(error, QStringLiteral("打印失败"), Dialogs::Exclamation);
        return;
    }
    Forms::FormValues values;
    values.contact = [](QStringView key) { return sampleValue(key); };
    for (const QString &label : Forms::askedLabels(form))
        values.asked.insert(label, label);
    const Forms::FormPainter painter(form);
    const auto background =
        chkFaint->isChecked() ? Forms::FormPainter::FaintBackground : Forms::FormPainter::NoBackground;
    const QString failure = Waybill::printPage(
        *printer, settings, form.name + QStringLiteral("试印"),
        [&](QPainter &p) {
            painter.paintOnPage(p, values,
                                Forms::FormPainter::turnedOnPage(form, settings.paper, settings.landscape),
                                background);
        },
        m_platform.printQueue());
    if (!failure.isEmpty())
        m_platform.messageBox(failure, QStringLiteral("打印失败"), Dialogs::Exclamation);
}

void frmFormEditor::cmdSettings_Click()
{
    const Forms::Form &form = m_document->form();
    QList<std::pair<QString, QRectF>> fields;
    for (const FormField &field : form.fields)
        fields.append({Forms::fieldCaption(field), field.box});
    Waybill::frmPrintSettings dialog(m_platform, frmForm::settingsSection(form), form.name,
                                     frmForm::loadSettings(m_platform, form), form.paper, fields, this);
    dialog.exec();
}

bool frmFormEditor::save()
{
    QString error;
    QString fileName = m_fileName;
    if (!m_library.save(m_document->form(), &fileName, &error)) {
        m_platform.messageBox(QStringLiteral("快递单模板未能保存：\n%1").arg(error), QStringLiteral("提示"),
                              Dialogs::Exclamation);
        return false;
    }
    m_fileName = fileName;
    m_document->undoStack().setClean();
    Q_EMIT saved(m_fileName);
    return true;
}

void frmFormEditor::cmdSave_Click()
{
    save();
}

void frmFormEditor::commitTyped()
{
    // A number or text typed and not yet confirmed with Enter or Tab counts
    // as typed: closing must not lose it unasked.
    for (QAbstractSpinBox *spin : findChildren<QAbstractSpinBox *>())
        spin->interpretText();
    if (txtName->text().trimmed() != m_document->form().name)
        txtName_EditingFinished();
    txtText_EditingFinished();
}

void frmFormEditor::reject()
{
    commitTyped();
    if (!m_document->undoStack().isClean()) {
        const int answer = m_platform.messageBox(
            QStringLiteral("模板“%1”已修改，要保存吗？").arg(m_document->form().name), QStringLiteral("提示"),
            Dialogs::YesNoCancel | Dialogs::SaveDiscard | Dialogs::Exclamation);
        if (answer == Dialogs::Cancel || (answer == Dialogs::Yes && !save()))
            return;
    }
    QDialog::reject();
}

} // namespace Designer
