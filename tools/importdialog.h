#pragma once

#include "addressbook/contactexchange.h"

#include <QDialog>

#include <functional>

class FileChooser;
class Platform;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// 导入: a CSV or vCard file into the senders or one recipient group.
class frmImport : public QDialog
{
    Q_OBJECT

public:
    // The target of a group name; the empty name means the senders.
    using TargetFor = std::function<ContactExchange::Target(const QString &group)>;

    // groups: the recipient groups offered; currentGroup is chosen at first.
    frmImport(Platform &platform, FileChooser &chooser, const QStringList &groups,
              const QString &currentGroup, QWidget *parent = nullptr);

    // Where rows are saved; by default the contact files of the folder, written
    // directly (folderTarget).
    void setTargetFor(TargetFor targetFor) { m_targetFor = std::move(targetFor); }
    // Who answers 覆盖/跳过/全部覆盖/全部跳过; by default a message box with those
    // four buttons.
    void setOverwriteQuestion(ContactExchange::OverwriteQuestion question)
    {
        m_question = std::move(question);
    }

    // Asks with four buttons whether to replace the contact.
    static ContactExchange::Answer askOverwrite(QWidget *parent, const QString &contactKey);

Q_SIGNALS:
    // After an import, with the group imported into (empty: the senders), so
    // that the pickers can be listed again.
    void imported(const QString &group);

private:
    void cmdBrowse_Click();
    void cmdImport_Click();

    Platform &m_platform;
    FileChooser &m_chooser;
    TargetFor m_targetFor;
    ContactExchange::OverwriteQuestion m_question;

    QLabel *lblFile;
    QLineEdit *txtFile;
    QPushButton *cmdBrowse;
    QLabel *lblTarget;
    QComboBox *cmbTarget;
    QPushButton *cmdImport;
    QPushButton *cmdCancel;
};
