#include "tools/pasteaddressdialog.h"

#include "addressbook/parsing/addressparser.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QColor UnsureYellow(0xFF, 0xFF, 0x99);

// The captions of the eight fields, in the order of a contact file's keys.
const char *const Captions[] = {"单位", "姓名", "省", "市", "区/县", "详细地址", "联系电话", "邮编"};
const char *const FieldNames[] = {"txtCompany",  "txtPerson", "txtProvince", "txtCity",
                                  "txtDistrict", "txtStreet", "txtPhone",    "txtPostcode"};

void markUnsure(QLineEdit *field, const QString &why)
{
    if (why.isEmpty()) {
        field->setPalette(QPalette()); // the dialog's own again
    } else {
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, UnsureYellow);
        field->setPalette(palette);
    }
    field->setToolTip(why);
}

} // namespace

PasteAddressDialog::PasteAddressDialog(const AddressParser &parser, const QString &pastedText,
                                       QWidget *parent)
    : QDialog(parent), m_parser(parser)
{
    setObjectName(QStringLiteral("frmPaste"));
    setWindowTitle(QStringLiteral("粘贴识别地址"));

    auto *pastedLabel = new QLabel(QStringLiteral("粘贴的地址（姓名、电话、地址，顺序不限）："), this);
    txtPasted = new QPlainTextEdit(this);
    txtPasted->setObjectName(QStringLiteral("txtPasted"));
    txtPasted->setAccessibleName(QStringLiteral("粘贴的地址"));
    txtPasted->setTabChangesFocus(true);
    txtPasted->setFixedHeight(fontMetrics().lineSpacing() * 5 + 12);
    pastedLabel->setBuddy(txtPasted);

    auto *sideBox = new QGroupBox(QStringLiteral("填入到"), this);
    sideBox->setAccessibleName(QStringLiteral("填入到"));
    optSender = new QRadioButton(QStringLiteral("寄件人"), sideBox);
    optSender->setObjectName(QStringLiteral("optSender"));
    optSender->setAccessibleName(QStringLiteral("寄件人"));
    optRecipient = new QRadioButton(QStringLiteral("收件人"), sideBox);
    optRecipient->setObjectName(QStringLiteral("optRecipient"));
    optRecipient->setAccessibleName(QStringLiteral("收件人"));
    optRecipient->setChecked(true);
    auto *sideLayout = new QHBoxLayout(sideBox);
    sideLayout->addWidget(optSender);
    sideLayout->addWidget(optRecipient);
    sideLayout->addStretch();

    auto *grid = new QGridLayout;
    for (int i = 0; i < int(m_fields.size()); ++i) {
        const QString caption = QString::fromUtf8(Captions[i]);
        auto *label = new QLabel(caption + QStringLiteral("："), this);
        auto *field = new QLineEdit(this);
        field->setObjectName(QString::fromLatin1(FieldNames[i]));
        field->setAccessibleName(caption);
        label->setBuddy(field);
        grid->addWidget(label, i, 0);
        grid->addWidget(field, i, 1);
        m_fields[i] = field;
        connect(field, &QLineEdit::textEdited, this, [this, field] { field_Edit(field); });
    }
    grid->setColumnStretch(1, 1);

    auto *hint = new QLabel(QStringLiteral("黄色的栏目没有把握，请核对。"), this);
    cmdFill = new QPushButton(QStringLiteral("填入"), this);
    cmdFill->setObjectName(QStringLiteral("cmdFill"));
    cmdFill->setAccessibleName(QStringLiteral("填入"));
    cmdFill->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAccessibleName(QStringLiteral("取消"));
    cmdCancel->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(hint);
    buttons->addStretch();
    buttons->addWidget(cmdFill);
    buttons->addWidget(cmdCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pastedLabel);
    layout->addWidget(txtPasted);
    layout->addWidget(sideBox);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(480, sizeHint().height());

    connect(txtPasted, &QPlainTextEdit::textChanged, this, &PasteAddressDialog::txtPasted_Change);
    connect(cmdFill, &QPushButton::clicked, this, &PasteAddressDialog::cmdFill_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    txtPasted->setPlainText(pastedText);
    txtPasted->setFocus();
}

PasteAddressDialog::Side PasteAddressDialog::side() const
{
    return optSender->isChecked() ? Sender : Recipient;
}

QStringList PasteAddressDialog::fields() const
{
    QStringList texts;
    for (const QLineEdit *field : m_fields)
        texts.append(field->text());
    return texts;
}

void PasteAddressDialog::txtPasted_Change()
{
    // Parsing takes well under a millisecond, so every keystroke shows its result.
    const ParsedAddress parsed = m_parser.parse(txtPasted->toPlainText());
    const bool empty = txtPasted->toPlainText().trimmed().isEmpty();
    for (int i = 0; i < int(m_fields.size()); ++i) {
        m_fields[i]->setText(parsed.values[i]);
        markUnsure(m_fields[i], empty ? QString() : parsed.doubts[i]);
    }
}

void PasteAddressDialog::field_Edit(QLineEdit *field)
{
    // What the user typed is what they meant.
    markUnsure(field, QString());
}

void PasteAddressDialog::cmdFill_Click()
{
    Q_EMIT filled(side(), fields());
    accept();
}
