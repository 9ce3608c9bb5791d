#pragma once

#include <QDialog>

class FileChooser;
class Platform;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// 导出: the senders or the current recipient group, as CSV or vCard.
class frmExport : public QDialog
{
    Q_OBJECT

public:
    // currentGroup: the group offered beside the senders; empty offers none.
    frmExport(Platform &platform, FileChooser &chooser, const QString &currentGroup,
              QWidget *parent = nullptr);

private:
    void cmdBrowse_Click();
    void cmdExport_Click();
    void format_Toggled();

    QString suggestedName() const;

    Platform &m_platform;
    FileChooser &m_chooser;
    QString m_group;
    // The file the save dialog chose, whose replacing the user has agreed to there.
    QString m_browsed;

    QRadioButton *optSenders;
    QRadioButton *optGroup;
    QRadioButton *optCsv;
    QRadioButton *optVCard;
    QLabel *lblFile;
    QLineEdit *txtFile;
    QPushButton *cmdBrowse;
    QPushButton *cmdExport;
    QPushButton *cmdCancel;
};
