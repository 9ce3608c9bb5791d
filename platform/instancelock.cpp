#include "platform/instancelock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

QString canonicalFolder(const QString &folder)
{
    const QString canonical = QDir(folder).canonicalPath();
    return canonical.isEmpty() ? QDir(folder).absolutePath() : canonical;
}

} // namespace

InstanceLock::InstanceLock(const QString &dataFolder)
    : m_serverName(QStringLiteral("quillbox-") +
                   QString::fromLatin1(
                       QCryptographicHash::hash(canonicalFolder(dataFolder).toUtf8(), QCryptographicHash::Sha1)
                           .toHex()
                           .left(16))),
      m_lock(canonicalFolder(dataFolder) + QStringLiteral("/.quillbox.lock"))
{
    // Only a lock whose process is gone is stale, however long ago it was taken.
    m_lock.setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryLock(QString *error)
{
    if (m_lock.tryLock(0))
        return true;
    if (error) {
        *error = m_lock.error() == QLockFile::LockFailedError
                     ? QStringLiteral("另一个 Quillbox 正在使用这个数据文件夹。")
                     : QStringLiteral("无法在数据文件夹里建立锁文件（没有写入权限或磁盘已满）。");
    }
    return false;
}

bool InstanceLock::raiseRunning() const
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(2000))
        return false;
    socket.write("show\n");
    const bool sent = socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    return sent;
}

bool InstanceLock::listen(std::function<void()> show, QString *error)
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a program that died: we hold the lock, so it is no one's.
    QLocalServer::removeServer(m_serverName);
    if (!m_server->listen(m_serverName)) {
        if (error)
            *error = m_server->errorString();
        return false;
    }
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(),
                     [server = m_server.get(), show = std::move(show)] {
                         while (QLocalSocket *socket = server->nextPendingConnection()) {
                             QObject::connect(socket, &QLocalSocket::disconnected, socket,
                                              &QObject::deleteLater);
                             show();
                         }
                     });
    return true;
}
