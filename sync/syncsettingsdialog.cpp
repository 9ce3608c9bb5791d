#include "sync/syncsettingsdialog.h"

#include "addressbook/contactfile.h"
#include "platform/platform.h"
#include "sync/syncservice.h"
#include "ui/placement.h"
#include "ui/twips.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

namespace {

// The label beside each field, as the main window shows it.
QString fieldLabel(const QString &key)
{
    static const QStringList labels{QStringLiteral("单位"),     QStringLiteral("联系人"),
                                    QStringLiteral("省"),       QStringLiteral("市"),
                                    QStringLiteral("区/县"),    QStringLiteral("详细地址"),
                                    QStringLiteral("联系电话"), QStringLiteral("邮编")};
    qsizetype at = ContactFile::senderKeys().indexOf(key);
    if (at < 0)
        at = ContactFile::recipientKeys().indexOf(key);
    return labels.value(at, key);
}

} // namespace

frmSyncSettings::frmSyncSettings(SyncService &service, Platform &platform, QWidget *parent)
    : QDialog(parent), m_service(service), m_platform(platform)
{
    setObjectName(QStringLiteral("frmSyncSettings"));
    setWindowTitle(QStringLiteral("同步设置"));
    setFixedSize(Twips::toPixels(7200), Twips::toPixels(6600));

    const auto label = [this](const char *name, const QString &text, QRect rect) {
        return place(new QLabel(text, this), name, text, rect);
    };
    QLabel *lblServer = label("lblServer", QStringLiteral("服务器地址："), Twips::rect(240, 240, 1320, 300));
    txtServer = place(new QLineEdit(this), "txtServer", QStringLiteral("服务器地址"),
                      Twips::rect(1620, 180, 5340, 360));
    txtServer->setPlaceholderText(QStringLiteral("例如 http://192.168.1.10:5232/"));
    QLabel *lblUser = label("lblUser", QStringLiteral("用户名："), Twips::rect(240, 720, 1320, 300));
    txtUser =
        place(new QLineEdit(this), "txtUser", QStringLiteral("用户名"), Twips::rect(1620, 660, 2700, 360));
    QLabel *lblPassword = label("lblPassword", QStringLiteral("密码："), Twips::rect(240, 1200, 1320, 300));
    txtPassword =
        place(new QLineEdit(this), "txtPassword", QStringLiteral("密码"), Twips::rect(1620, 1140, 2700, 360));
    txtPassword->setEchoMode(QLineEdit::Password);
    cmdTest = place(new QPushButton(QStringLiteral("测试连接"), this), "cmdTest", QStringLiteral("测试连接"),
                    Twips::rect(4500, 1125, 1500, 390));
    lblTest = label("lblTest", QString(), Twips::rect(240, 1620, 6720, 540));
    lblTest->setWordWrap(true);
    chkAuto = place(new QCheckBox(QStringLiteral("自动同步"), this), "chkAuto", QStringLiteral("自动同步"),
                    Twips::rect(240, 2220, 1500, 360));
    QLabel *lblEvery =
        label("lblEvery", QStringLiteral("每隔（分钟）："), Twips::rect(1860, 2250, 1560, 300));
    spnInterval = place(new QSpinBox(this), "spnInterval", QStringLiteral("每隔（分钟）"),
                        Twips::rect(3420, 2190, 1080, 360));
    spnInterval->setRange(1, 1440);
    lblStatus = label("lblStatus", QString(), Twips::rect(240, 2700, 6720, 540));
    lblStatus->setWordWrap(true);
    QLabel *lblConflicts = label("lblConflicts", QStringLiteral("两边都改过的内容（已采用服务器上的）："),
                                 Twips::rect(240, 3300, 6720, 300));
    lstConflicts = place(new QListWidget(this), "lstConflicts", QStringLiteral("两边都改过的内容"),
                         Twips::rect(240, 3630, 6720, 1620));
    cmdKeepHere = place(new QPushButton(QStringLiteral("改用本机的"), this), "cmdKeepHere",
                        QStringLiteral("改用本机的"), Twips::rect(240, 5340, 1500, 390));
    cmdKeepServer = place(new QPushButton(QStringLiteral("保留服务器的"), this), "cmdKeepServer",
                          QStringLiteral("保留服务器的"), Twips::rect(1860, 5340, 1620, 390));
    lblClearText = label("lblClearText", QString(), Twips::rect(240, 5880, 4200, 600));
    lblClearText->setWordWrap(true);
    lblClearText->setStyleSheet(QStringLiteral("color: #b00000"));
    cmdOK = place(new QPushButton(QStringLiteral("确定"), this), "cmdOK", QStringLiteral("确定"),
                  Twips::rect(4560, 6000, 1140, 390));
    cmdCancel = place(new QPushButton(QStringLiteral("取消"), this), "cmdCancel", QStringLiteral("取消"),
                      Twips::rect(5820, 6000, 1140, 390));
    lblServer->setBuddy(txtServer);
    lblUser->setBuddy(txtUser);
    lblPassword->setBuddy(txtPassword);
    lblEvery->setBuddy(spnInterval);
    lblConflicts->setBuddy(lstConflicts);
    cmdOK->setDefault(true);

    const SyncSettings settings = m_service.settings();
    txtServer->setText(settings.server);
    txtUser->setText(settings.user);
    txtPassword->setText(m_service.password());
    chkAuto->setChecked(settings.autoSync);
    spnInterval->setValue(settings.intervalMinutes);
    spnInterval->setEnabled(settings.autoSync);
    m_certificate = settings.certificate;
    showStatus();
    showClearTextWarning();
    fillConflicts();

    connect(cmdTest, &QPushButton::clicked, this, &frmSyncSettings::cmdTest_Click);
    connect(txtServer, &QLineEdit::textEdited, this, &frmSyncSettings::txtServer_TextEdited);
    connect(chkAuto, &QCheckBox::toggled, this, &frmSyncSettings::chkAuto_Toggled);
    connect(cmdKeepHere, &QPushButton::clicked, this, &frmSyncSettings::cmdKeepHere_Click);
    connect(cmdKeepServer, &QPushButton::clicked, this, &frmSyncSettings::cmdKeepServer_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmSyncSettings::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(&m_service, &SyncService::tested, this, &frmSyncSettings::service_Tested);
    connect(&m_service, &SyncService::finished, this, &frmSyncSettings::service_Finished);
    connect(&m_service, &SyncService::passwordRead, this, &frmSyncSettings::showStatus);
}

void frmSyncSettings::showStatus()
{
    QStringList lines;
    if (!m_service.enabled())
        lines.append(QStringLiteral("未设置服务器：通讯录只保存在本机。"));
    else if (!m_service.lastResult().isEmpty())
        lines.append(m_service.lastResult());
    if (!m_service.passwordProblem().isEmpty() && m_service.enabled())
        lines.append(m_service.passwordProblem());
    lblStatus->setText(lines.join(u'\n'));
}

void frmSyncSettings::fillConflicts()
{
    lstConflicts->clear();
    m_conflicts = SyncEngine::conflicts(m_platform);
    for (const SyncConflict &c : m_conflicts) {
        const QString contact = QFileInfo(c.file).completeBaseName();
        const QString where = c.group.isNull() ? QStringLiteral("寄件人") : c.group;
        lstConflicts->addItem(QStringLiteral("%1（%2）%3：服务器上为“%4”，本机曾为“%5”")
                                  .arg(contact, where, fieldLabel(c.key), c.server, c.here));
    }
    const bool any = !m_conflicts.isEmpty();
    lstConflicts->setEnabled(any);
    cmdKeepHere->setEnabled(any);
    cmdKeepServer->setEnabled(any);
    if (any)
        lstConflicts->setCurrentRow(0);
}

void frmSyncSettings::resolveSelected(bool keepHere)
{
    const int row = lstConflicts->currentRow();
    if (row < 0 || row >= m_conflicts.size())
        return;
    if (!SyncEngine::resolve(m_platform, m_conflicts[row], keepHere))
        m_platform.messageBox(QStringLiteral("无法修改联系人文件：\n%1").arg(m_conflicts[row].file),
                              QStringLiteral("提示"), Dialogs::Exclamation);
    fillConflicts();
}

void frmSyncSettings::cmdKeepHere_Click()
{
    resolveSelected(true);
}

void frmSyncSettings::cmdKeepServer_Click()
{
    resolveSelected(false);
}

void frmSyncSettings::chkAuto_Toggled(bool on)
{
    spnInterval->setEnabled(on);
}

SyncSettings frmSyncSettings::enteredSettings() const
{
    return {txtServer->text().trimmed(), txtUser->text(), chkAuto->isChecked(), spnInterval->value(),
            m_certificate};
}

void frmSyncSettings::showClearTextWarning()
{
    lblClearText->setText(SyncService::sendsInTheClear(txtServer->text())
                              ? QStringLiteral("注意：http:// 不加密，密码和通讯录以明文经过网络。"
                                               "请只在店内网络使用，或在服务器上启用 https://。")
                              : QString());
}

void frmSyncSettings::txtServer_TextEdited()
{
    // A certificate is trusted for the server it came from only.
    m_certificate.clear();
    showClearTextWarning();
}

void frmSyncSettings::cmdTest_Click()
{
    if (txtServer->text().trimmed().isEmpty()) {
        lblTest->setText(QStringLiteral("请先填写服务器地址。"));
        return;
    }
    cmdTest->setEnabled(false);
    lblTest->setText(QStringLiteral("正在连接……"));
    m_service.test(enteredSettings(), txtPassword->text());
}

void frmSyncSettings::service_Tested(const QString &problem)
{
    cmdTest->setEnabled(true);
    const QString refused = m_service.refusedCertificate();
    if (!problem.isEmpty() && !refused.isEmpty()) {
        QString question =
            m_certificate.isEmpty()
                ? QStringLiteral("服务器的证书不是公认机构签发的（常见于店里自己的服务器或 NAS）。\n\n"
                                 "证书的 SHA-256 指纹：\n%1\n\n"
                                 "请在服务器上核对这个指纹（例如 openssl x509 -noout -fingerprint -sha256 "
                                 "-in 证书文件），完全一致才选“是”。\n\n信任这个证书吗？")
                : QStringLiteral("警告：服务器的证书与上次信任的不同！\n\n"
                                 "现在的 SHA-256 指纹：\n%1\n上次信任的：\n%2\n\n"
                                 "可能有人冒充服务器来骗取密码。只有确知服务器换了证书，"
                                 "并且在服务器上核对过新的指纹，才选“是”。\n\n信任新的证书吗？");
        question = m_certificate.isEmpty() ? question.arg(refused) : question.arg(refused, m_certificate);
        if (m_platform.messageBox(question, QStringLiteral("同步设置"),
                                  Dialogs::YesNo | Dialogs::Exclamation | Dialogs::DefaultButton2) ==
            Dialogs::Yes) {
            m_certificate = refused;
            cmdTest_Click();
            return;
        }
    }
    QString text = problem.isEmpty() ? QStringLiteral("连接成功。") : QStringLiteral("连接失败：") + problem;
    if (problem.isEmpty() && !m_certificate.isEmpty())
        text += QStringLiteral("（信任的证书 SHA-256 指纹 %1）").arg(m_certificate);
    lblTest->setText(text);
}

void frmSyncSettings::service_Finished()
{
    showStatus();
    fillConflicts();
}

void frmSyncSettings::cmdOK_Click()
{
    m_service.apply(enteredSettings(), txtPassword->text());
    accept();
}
