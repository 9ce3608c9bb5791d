#include "sync/syncservice.h"

#include "platform/platform.h"
#include "sync/davclient.h"
#include "sync/passwordstore.h"

#include <QHostAddress>
#include <QThread>
#include <QUrl>

namespace {

const QString App = QStringLiteral("Quillbox");
const QString Section = QStringLiteral("Sync");

} // namespace

SyncService::SyncService(Platform &platform, PasswordStore &passwords, QObject *parent)
    : QObject(parent), m_platform(platform), m_passwords(passwords)
{
    m_settings.server = m_platform.readSetting(App, Section, QStringLiteral("Server"));
    m_settings.user = m_platform.readSetting(App, Section, QStringLiteral("User"));
    m_settings.certificate = m_platform.readSetting(App, Section, QStringLiteral("Certificate"));
    m_settings.autoSync = m_platform.readSetting(App, Section, QStringLiteral("Auto")) == u"1";
    m_settings.intervalMinutes = qBound(
        1, m_platform.readSetting(App, Section, QStringLiteral("Interval"), QStringLiteral("15")).toInt(),
        1440);
    m_lastResult = m_platform.readSetting(App, Section, QStringLiteral("LastResult"));
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &SyncService::timer_Timeout);
    if (!enabled())
        return;
    m_passwords.read(account(), [this](const QString &password, const QString &problem) {
        m_password = password;
        m_passwordProblem = problem;
        Q_EMIT passwordRead();
        startTimer();
        // The first automatic sync soon after start, not at once: the window comes first.
        if (m_settings.autoSync)
            QTimer::singleShot(3000, this, &SyncService::timer_Timeout);
    });
}

SyncService::~SyncService()
{
    m_cancel = true;
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

QUrl SyncService::serverUrl(const QString &text)
{
    QString trimmed = text.trimmed();
    if (!trimmed.contains(QStringLiteral("://")))
        trimmed.prepend(QStringLiteral("http://"));
    return QUrl(trimmed, QUrl::TolerantMode);
}

bool SyncService::sendsInTheClear(const QString &text)
{
    const QUrl url = serverUrl(text);
    const QString host = url.host().toLower();
    return url.scheme().compare(u"http", Qt::CaseInsensitive) == 0 && !host.isEmpty() &&
           host != u"localhost" && !QHostAddress(host).isLoopback();
}

QString SyncService::account() const
{
    return m_settings.user + u'@' + serverUrl(m_settings.server).toString(QUrl::RemoveUserInfo);
}

void SyncService::apply(const SyncSettings &settings, const QString &password)
{
    m_settings = settings;
    m_password = password;
    m_platform.writeSetting(App, Section, QStringLiteral("Server"), settings.server);
    m_platform.writeSetting(App, Section, QStringLiteral("User"), settings.user);
    if (!settings.certificate.isEmpty() ||
        !m_platform.readSetting(App, Section, QStringLiteral("Certificate")).isEmpty())
        m_platform.writeSetting(App, Section, QStringLiteral("Certificate"), settings.certificate);
    m_platform.writeSetting(App, Section, QStringLiteral("Auto"),
                            settings.autoSync ? QStringLiteral("1") : QStringLiteral("0"));
    m_platform.writeSetting(App, Section, QStringLiteral("Interval"),
                            QString::number(settings.intervalMinutes));
    startTimer();
    if (!enabled())
        return;
    m_passwords.write(account(), password, [this](const QString &, const QString &problem) {
        m_passwordProblem = problem;
        Q_EMIT passwordRead();
    });
}

void SyncService::startTimer()
{
    if (enabled() && m_settings.autoSync)
        m_timer.start(m_settings.intervalMinutes * 60 * 1000);
    else
        m_timer.stop();
}

void SyncService::timer_Timeout()
{
    if (enabled() && m_settings.autoSync)
        syncNow();
}

void SyncService::runOnThread(std::function<void()> work, std::function<void()> done)
{
    m_cancel = false;
    m_thread = QThread::create(std::move(work));
    connect(m_thread, &QThread::finished, this, [this, done = std::move(done)] {
        m_thread->deleteLater();
        m_thread = nullptr;
        done();
        if (m_again) {
            m_again = false;
            syncNow();
        }
    });
    m_thread->start();
}

void SyncService::syncNow()
{
    if (!enabled())
        return;
    if (busy()) {
        m_again = true;
        return;
    }
    const QUrl url = serverUrl(m_settings.server);
    const QString user = m_settings.user;
    const QString password = m_password;
    const QString certificate = m_settings.certificate;
    auto report = std::make_shared<SyncReport>();
    runOnThread(
        [this, url, user, password, certificate, report] {
            DavClient client(url, user, password, 30000, &m_cancel);
            client.setTrustedCertificate(certificate);
            SyncEngine engine(m_platform, client, &m_cancel);
            engine.setProgress([this](const QString &book, int done, int total) {
                const QString text = QStringLiteral("%1 %2/%3").arg(book).arg(done).arg(total);
                QMetaObject::invokeMethod(
                    this,
                    [this, text] {
                        if (!busy())
                            return;
                        m_progress = text;
                        Q_EMIT progressed();
                    },
                    Qt::QueuedConnection);
            });
            *report = engine.run();
        },
        [this, report] {
            m_progress.clear();
            m_lastResult = report->summary();
            m_platform.writeSetting(App, Section, QStringLiteral("LastResult"), m_lastResult);
            Q_EMIT finished(*report);
        });
    Q_EMIT started();
}

void SyncService::test(const SyncSettings &settings, const QString &password)
{
    if (busy()) {
        Q_EMIT tested(QStringLiteral("正在同步，请稍后再试"));
        return;
    }
    const QUrl url = serverUrl(settings.server);
    auto problem = std::make_shared<QString>();
    auto refused = std::make_shared<QString>();
    runOnThread(
        [this, url, settings, password, problem, refused] {
            DavClient client(url, settings.user, password, 15000, &m_cancel);
            client.setTrustedCertificate(settings.certificate);
            SyncEngine engine(m_platform, client, &m_cancel);
            *problem = engine.testConnection();
            *refused = client.refusedCertificate();
        },
        [this, problem, refused] {
            m_refusedCertificate = *refused;
            Q_EMIT tested(*problem);
        });
}
