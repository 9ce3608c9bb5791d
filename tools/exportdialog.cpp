#include "tools/exportdialog.h"

#include "addressbook/contactexchange.h"
#include "addressbook/contactfile.h"
#include "platform/platform.h"
#include "tools/filechooser.h"
#include "ui/placement.h"
#include "ui/twips.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

frmExport::frmExport(Platform &platform, FileChooser &chooser, const QString &currentGroup, QWidget *parent)
    : QDialog(parent), m_platform(platform), m_chooser(chooser), m_group(currentGroup)
{
    setObjectName(QStringLiteral("frmExport"));
    setWindowTitle(QStringLiteral("导出联系人"));
    setFixedSize(Twips::toPixels(6600), Twips::toPixels(3360));

    auto *fraWhat = place(new QGroupBox(QStringLiteral("导出"), this), "fraWhat", QStringLiteral("导出"),
                          Twips::rect(240, 120, 3720, 1320));
    optSenders = place(new QRadioButton(QStringLiteral("寄件人"), fraWhat), "optSenders",
                       QStringLiteral("寄件人"), Twips::rect(180, 360, 3360, 360));
    const QString groupLabel = QStringLiteral("当前分类：") + currentGroup;
    optGroup = place(new QRadioButton(groupLabel, fraWhat), "optGroup", groupLabel,
                     Twips::rect(180, 780, 3360, 360));
    auto *fraFormat = place(new QGroupBox(QStringLiteral("格式"), this), "fraFormat", QStringLiteral("格式"),
                            Twips::rect(4080, 120, 2280, 1320));
    optCsv = place(new QRadioButton(QStringLiteral("CSV 表格"), fraFormat), "optCsv",
                   QStringLiteral("CSV 表格"), Twips::rect(180, 360, 1980, 360));
    optVCard = place(new QRadioButton(QStringLiteral("vCard 名片"), fraFormat), "optVCard",
                     QStringLiteral("vCard 名片"), Twips::rect(180, 780, 1980, 360));
    lblFile = place(new QLabel(QStringLiteral("文件："), this), "lblFile", QStringLiteral("文件："),
                    Twips::rect(240, 1740, 1000, 300));
    txtFile =
        place(new QLineEdit(this), "txtFile", QStringLiteral("文件"), Twips::rect(1260, 1680, 3960, 360));
    cmdBrowse = place(new QPushButton(QStringLiteral("浏览…"), this), "cmdBrowse", QStringLiteral("浏览…"),
                      Twips::rect(5340, 1665, 1020, 390));
    cmdExport = place(new QPushButton(QStringLiteral("导出"), this), "cmdExport", QStringLiteral("导出"),
                      Twips::rect(3960, 2640, 1140, 390));
    cmdCancel = place(new QPushButton(QStringLiteral("取消"), this), "cmdCancel", QStringLiteral("取消"),
                      Twips::rect(5220, 2640, 1140, 390));
    lblFile->setBuddy(txtFile);
    cmdExport->setDefault(true);

    optGroup->setEnabled(!currentGroup.isEmpty());
    (currentGroup.isEmpty() ? optSenders : optGroup)->setChecked(true);
    optCsv->setChecked(true);
    txtFile->setText(QDir::home().filePath(suggestedName()));

    connect(optSenders, &QRadioButton::toggled, this, &frmExport::format_Toggled);
    connect(optCsv, &QRadioButton::toggled, this, &frmExport::format_Toggled);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmExport::cmdBrowse_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmExport::cmdExport_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString frmExport::suggestedName() const
{
    return (optSenders->isChecked() ? QStringLiteral("寄件人") : m_group) +
           (optVCard->isChecked() ? QStringLiteral(".vcf") : QStringLiteral(".csv"));
}

// The file name follows the choices; the folder stays as chosen.
void frmExport::format_Toggled()
{
    const QFileInfo current(txtFile->text());
    const QString folder = current.path().isEmpty() ? QDir::homePath() : current.path();
    txtFile->setText(QDir(folder).filePath(suggestedName()));
}

void frmExport::cmdBrowse_Click()
{
    const QString filter =
        optVCard->isChecked() ? QStringLiteral("vCard 名片 (*.vcf)") : QStringLiteral("CSV 表格 (*.csv)");
    const QString file = m_chooser.saveFile(this, QStringLiteral("导出到文件"), txtFile->text(), filter);
    if (!file.isEmpty()) {
        txtFile->setText(file);
        m_browsed = QDir::home().absoluteFilePath(file);
    }
}

void frmExport::cmdExport_Click()
{
    QString file = txtFile->text().trimmed();
    if (file.isEmpty()) {
        m_platform.messageBox(QStringLiteral("请填写导出的文件名！"), QStringLiteral("提示"),
                              Dialogs::Exclamation);
        return;
    }
    file = QDir::home().absoluteFilePath(file);
    // The save dialog has asked already; a typed or suggested name has not.
    if (file != m_browsed && m_platform.wholeFileExists(file) &&
        m_platform.messageBox(
            QStringLiteral("文件“%1”已存在，要替换它吗？").arg(QDir::toNativeSeparators(file)),
            QStringLiteral("导出"),
            Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2) != Dialogs::Yes)
        return;
    const bool senders = optSenders->isChecked();
    const QList<QStringList> contacts =
        senders ? ContactExchange::readFolder(m_platform, m_platform.folderPath({u"sent"}),
                                              ContactFile::senderKeys())
                : ContactExchange::readFolder(m_platform, m_platform.folderPath({u"to", m_group}),
                                              ContactFile::recipientKeys());
    const QByteArray bytes = ContactExchange::exportContacts(
        contacts, optVCard->isChecked() ? ContactExchange::Format::VCard : ContactExchange::Format::Csv,
        senders ? ContactExchange::senderHeader() : ContactExchange::recipientHeader());
    QString why;
    if (!m_platform.writeFileAtomically(file, bytes, &why)) {
        m_platform.messageBox(QStringLiteral("无法写入文件：") + why, QStringLiteral("提示"),
                              Dialogs::Exclamation);
        return;
    }
    m_platform.messageBox(QStringLiteral("已导出 %1 个联系人。").arg(contacts.size()), QStringLiteral("导出"),
                          Dialogs::Information);
    accept();
}
