#include "tools/importdialog.h"

#include "addressbook/contactfile.h"
#include "platform/platform.h"
#include "ui/twips.h"
#include "tools/filechooser.h"
#include "ui/placement.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

frmImport::frmImport(Platform &platform, FileChooser &chooser, const QStringList &groups,
                     const QString &currentGroup, QWidget *parent)
    : QDialog(parent), m_platform(platform), m_chooser(chooser)
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(QStringLiteral("导入联系人"));
    setFixedSize(Twips::toPixels(6600), Twips::toPixels(2160));

    lblFile = place(new QLabel(QStringLiteral("文件："), this), "lblFile", QStringLiteral("文件："),
                    Twips::rect(240, 300, 1000, 300));
    txtFile =
        place(new QLineEdit(this), "txtFile", QStringLiteral("文件"), Twips::rect(1260, 240, 3960, 360));
    cmdBrowse = place(new QPushButton(QStringLiteral("浏览…"), this), "cmdBrowse", QStringLiteral("浏览…"),
                      Twips::rect(5340, 225, 1020, 390));
    lblTarget = place(new QLabel(QStringLiteral("导入到："), this), "lblTarget", QStringLiteral("导入到："),
                      Twips::rect(240, 900, 1000, 300));
    cmbTarget =
        place(new QComboBox(this), "cmbTarget", QStringLiteral("导入到"), Twips::rect(1260, 840, 3960, 360));
    cmdImport = place(new QPushButton(QStringLiteral("导入"), this), "cmdImport", QStringLiteral("导入"),
                      Twips::rect(3960, 1560, 1140, 390));
    cmdCancel = place(new QPushButton(QStringLiteral("取消"), this), "cmdCancel", QStringLiteral("取消"),
                      Twips::rect(5220, 1560, 1140, 390));
    lblFile->setBuddy(txtFile);
    lblTarget->setBuddy(cmbTarget);
    cmdImport->setDefault(true);

    cmbTarget->addItem(QStringLiteral("寄件人"), QString());
    for (const QString &group : groups)
        cmbTarget->addItem(QStringLiteral("收件人分类：") + group, group);
    const int current = groups.indexOf(currentGroup);
    cmbTarget->setCurrentIndex(current < 0 ? 0 : current + 1);

    m_targetFor = [&platform](const QString &group) {
        return group.isEmpty() ? ContactExchange::folderTarget(platform, platform.folderPath({u"sent"}),
                                                               ContactFile::senderKeys())
                               : ContactExchange::folderTarget(platform, platform.folderPath({u"to", group}),
                                                               ContactFile::recipientKeys());
    };
    m_question = [this](const QString &key) { return askOverwrite(this, key); };

    connect(cmdBrowse, &QPushButton::clicked, this, &frmImport::cmdBrowse_Click);
    connect(cmdImport, &QPushButton::clicked, this, &frmImport::cmdImport_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

ContactExchange::Answer frmImport::askOverwrite(QWidget *parent, const QString &contactKey)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("提示"),
                    QStringLiteral("联系人“%1”已存在，要覆盖吗？").arg(contactKey), QMessageBox::NoButton,
                    parent);
    box.setObjectName(QStringLiteral("msgOverwrite"));
    const auto button = [&box](const QString &label, QMessageBox::ButtonRole role) {
        QPushButton *b = box.addButton(label, role);
        b->setAccessibleName(label);
        return b;
    };
    QPushButton *replace = button(QStringLiteral("覆盖"), QMessageBox::YesRole);
    QPushButton *skip = button(QStringLiteral("跳过"), QMessageBox::NoRole);
    QPushButton *replaceAll = button(QStringLiteral("全部覆盖"), QMessageBox::YesRole);
    QPushButton *skipAll = button(QStringLiteral("全部跳过"), QMessageBox::RejectRole);
    // Nothing is lost by skipping: it is the default and what Esc does.
    box.setDefaultButton(skip);
    box.setEscapeButton(skipAll);
    box.exec();
    if (box.clickedButton() == replace)
        return ContactExchange::Answer::Replace;
    if (box.clickedButton() == replaceAll)
        return ContactExchange::Answer::ReplaceAll;
    if (box.clickedButton() == skipAll)
        return ContactExchange::Answer::SkipAll;
    return ContactExchange::Answer::Skip;
}

void frmImport::cmdBrowse_Click()
{
    const QString file = m_chooser.openFile(this, QStringLiteral("选择要导入的文件"),
                                            QStringLiteral("联系人文件 (*.csv *.vcf);;CSV 表格 (*.csv);;"
                                                           "vCard 名片 (*.vcf);;所有文件 (*)"));
    if (!file.isEmpty())
        txtFile->setText(file);
}

void frmImport::cmdImport_Click()
{
    const QString file = txtFile->text();
    if (file.isEmpty()) {
        m_platform.messageBox(QStringLiteral("请选择要导入的文件！"), QStringLiteral("提示"),
                              Dialogs::Exclamation);
        return;
    }
    QByteArray bytes;
    QString why;
    if (!m_platform.readFile(file, &bytes, &why)) {
        m_platform.messageBox(QStringLiteral("无法读取文件：") + why, QStringLiteral("提示"),
                              Dialogs::Exclamation);
        return;
    }
    const QList<ContactExchange::Row> rows = ContactExchange::parse(bytes, ContactExchange::formatFor(file));
    if (rows.isEmpty()) {
        m_platform.messageBox(QStringLiteral("文件中没有联系人。"), QStringLiteral("提示"),
                              Dialogs::Exclamation);
        return;
    }
    const QString group = cmbTarget->currentData().toString();
    const ContactExchange::Summary summary =
        ContactExchange::importRows(rows, m_targetFor(group), m_question);
    m_platform.messageBox(summary.text(), QStringLiteral("导入"), Dialogs::Information);
    Q_EMIT imported(group);
    accept();
}
