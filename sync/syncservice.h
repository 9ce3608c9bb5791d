#pragma once

#include "sync/syncengine.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

class PasswordStore;
class Platform;
class QThread;

struct SyncSettings
{
    QString server;
    QString user;
    bool autoSync = false;
    int intervalMinutes = 15;
    // The SHA-256 fingerprint of the server's own certificate the user trusted.
    QString certificate;
};

// The sync as the windows see it: its settings, the password, the timer of the
// automatic sync and one sync at a time on a thread of its own, so that a slow or
// missing server never holds up the window. With no server set it does nothing
// at all: no timer, no file, no network.
class SyncService : public QObject
{
    Q_OBJECT
public:
    SyncService(Platform &platform, PasswordStore &passwords, QObject *parent = nullptr);
    ~SyncService() override;

    SyncSettings settings() const { return m_settings; }
    bool enabled() const { return !m_settings.server.isEmpty(); }
    // Stores the settings; the password goes to the secret store only.
    void apply(const SyncSettings &settings, const QString &password);
    QString password() const { return m_password; }
    // Why the password is kept for this run only; empty when it is kept safely.
    QString passwordProblem() const { return m_passwordProblem; }

    // "上次同步 12:03，成功" or the reason; empty before the first sync.
    QString lastResult() const { return m_lastResult; }
    bool busy() const { return m_thread != nullptr; }
    // While a sync fetches cards: "寄件人 1200/5000"; else empty.
    QString progress() const { return m_progress; }

    void syncNow();
    // Tries the server and the user with the password, on the sync's thread.
    void test(const SyncSettings &settings, const QString &password);

    static QUrl serverUrl(const QString &text);
    // Whether the address sends the password unencrypted over the network: http://
    // to anything but this PC.
    static bool sendsInTheClear(const QString &text);
    // The certificate the last test refused as not trusted: its fingerprint, else empty.
    QString refusedCertificate() const { return m_refusedCertificate; }

Q_SIGNALS:
    void started();
    void progressed();
    void finished(const SyncReport &report);
    void tested(const QString &problem);
    void passwordRead();

private:
    void timer_Timeout();
    void startTimer();
    void runOnThread(std::function<void()> work, std::function<void()> done);
    QString account() const;

    Platform &m_platform;
    PasswordStore &m_passwords;
    SyncSettings m_settings;
    QString m_password;
    QString m_passwordProblem;
    QString m_lastResult;
    QString m_progress;
    QString m_refusedCertificate;
    QTimer m_timer;
    QThread *m_thread = nullptr;
    std::atomic_bool m_cancel{false};
    bool m_again = false;
};
