#pragma once

#include "sync/syncengine.h"
#include "sync/syncservice.h"

#include <QDialog>

class Platform;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class SyncService;

// 同步设置: the server, the user and the password, the automatic sync, the last
// result, and the contacts whose fields were changed on both sides.
class frmSyncSettings : public QDialog
{
    Q_OBJECT

public:
    frmSyncSettings(SyncService &service, Platform &platform, QWidget *parent = nullptr);

private:
    void cmdTest_Click();
    void txtServer_TextEdited();
    void chkAuto_Toggled(bool on);
    void cmdKeepHere_Click();
    void cmdKeepServer_Click();
    void cmdOK_Click();
    void service_Tested(const QString &problem);
    void service_Finished();

    void showStatus();
    void showClearTextWarning();
    SyncSettings enteredSettings() const;
    void fillConflicts();
    void resolveSelected(bool keepHere);

    SyncService &m_service;
    Platform &m_platform;
    QList<SyncConflict> m_conflicts;
    // The server's own certificate the user trusted, by its fingerprint.
    QString m_certificate;

    QLineEdit *txtServer;
    QLineEdit *txtUser;
    QLineEdit *txtPassword;
    QPushButton *cmdTest;
    QLabel *lblTest;
    QLabel *lblClearText;
    QCheckBox *chkAuto;
    QSpinBox *spnInterval;
    QLabel *lblStatus;
    QListWidget *lstConflicts;
    QPushButton *cmdKeepHere;
    QPushButton *cmdKeepServer;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
};
