#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

// A real CardDAV server on a free loopback port, with its own storage folder and
// password file, for as long as the object lives.
class DavServer
{
public:
    enum Kind { Radicale, Xandikos };

    explicit DavServer(Kind kind = Radicale) : m_kind(kind)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        if (m_kind == Radicale) {
            QProcess htpasswd;
            htpasswd.start(QStringLiteral("htpasswd"), {QStringLiteral("-bcm"), users(), user(), password()});
            htpasswd.waitForFinished();
        }
    }
    ~DavServer() { stop(); }

    static QString user() { return QStringLiteral("shop"); }
    static QString password() { return QStringLiteral("s3cret-Pa55"); }
    QUrl url() const
    {
        // Both servers lead from their root to the user's address books.
        return QUrl(QStringLiteral("%1://127.0.0.1:%2/").arg(m_https ? u"https" : u"http").arg(m_port));
    }
    // Radicale over https with a certificate of its own that no authority signed,
    // as a shop's server or NAS has; each call makes a new one. The certificate
    // file's path, empty when openssl failed.
    QString useOwnCertificate()
    {
        m_https = true;
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                       QStringLiteral("30"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                       QStringLiteral("-keyout"), m_dir.filePath(QStringLiteral("key.pem")),
                       QStringLiteral("-out"), m_dir.filePath(QStringLiteral("cert.pem"))});
        openssl.waitForFinished();
        return openssl.exitCode() == 0 ? m_dir.filePath(QStringLiteral("cert.pem")) : QString();
    }
    QString storage() const { return m_dir.path() + QStringLiteral("/store"); }

    bool start()
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(m_dir.path() + QStringLiteral("/server.log"));
        if (m_kind == Radicale) {
            m_process.start(
                QStringLiteral("/usr/bin/python3"),
                QStringList{QStringLiteral("-m"), QStringLiteral("radicale"), QStringLiteral("--config"),
                            QString(), QStringLiteral("--server-hosts"),
                            QStringLiteral("127.0.0.1:%1").arg(m_port), QStringLiteral("--auth-type"),
                            QStringLiteral("htpasswd"), QStringLiteral("--auth-htpasswd-filename"), users(),
                            QStringLiteral("--auth-htpasswd-encryption"), QStringLiteral("md5"),
                            QStringLiteral("--storage-filesystem-folder"), storage()} +
                    (m_https ? QStringList{QStringLiteral("--server-ssl"), QStringLiteral("True"),
                                           QStringLiteral("--server-certificate"),
                                           m_dir.filePath(QStringLiteral("cert.pem")),
                                           QStringLiteral("--server-key"),
                                           m_dir.filePath(QStringLiteral("key.pem"))}
                             : QStringList{}));
        } else {
            m_process.start(QStringLiteral("xandikos"),
                            {QStringLiteral("--defaults"), QStringLiteral("-d"), storage(),
                             QStringLiteral("-l"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                             QString::number(m_port)});
        }
        if (!m_process.waitForStarted())
            return false;
        return QTest::qWaitFor(
            [this] {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, m_port);
                return socket.waitForConnected(200);
            },
            15000);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished();
    }
    QProcess &process() { return m_process; }

    // The cards the server keeps in one address book, as files in its storage.
    int cardCount(const QString &segment) const
    {
        const QString folder = storage() + QStringLiteral("/collection-root/") + user() + u'/' + segment;
        return static_cast<int>(QDir(folder).entryList({QStringLiteral("*.vcf")}, QDir::Files).size());
    }

private:
    QString users() const { return m_dir.path() + QStringLiteral("/users"); }

    Kind m_kind;
    bool m_https = false;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QProcess m_process;
};

// A loopback server that answers every request with the same bytes: the bad
// servers and proxies a shop may point the program at by mistake.
class CannedServer : public QObject
{
public:
    explicit CannedServer(QByteArray answer) : m_answer(std::move(answer))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    // Answers once the head of a request is in; bodies are small.
                    if (!m_request.contains("\r\n\r\n"))
                        return;
                    ++requests;
                    m_request.clear();
                    socket->write(m_answer);
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/dav/").arg(m_server.serverPort())); }
    quint16 port() const { return m_server.serverPort(); }

    int requests = 0;

private:
    QTcpServer m_server;
    QByteArray m_answer;
    QByteArray m_request;
};

// A loopback server that answers every request slowly: the head at once, then
// one byte of its body every few tenths of a second, for as long as the body lasts.
class DripServer : public QObject
{
public:
    explicit DripServer(int bytes) : m_bytes(bytes)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n") || socket->property("dripping").toBool())
                        return;
                    socket->setProperty("dripping", true);
                    socket->write("HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n"
                                  "Content-Length: " +
                                  QByteArray::number(m_bytes) + "\r\n\r\n");
                    auto *drip = new QTimer(socket);
                    QObject::connect(drip, &QTimer::timeout, socket,
                                     [socket, drip, left = m_bytes]() mutable {
                                         socket->write(" ");
                                         if (--left == 0)
                                             drip->stop();
                                     });
                    drip->start(250);
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/dav/").arg(m_server.serverPort())); }

private:
    QTcpServer m_server;
    int m_bytes;
};
