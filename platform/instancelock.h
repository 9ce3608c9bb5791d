#pragma once

#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;

// One program per data folder: two windows printing the same batch would print
// every waybill twice. The first start holds a lock file in the folder and
// listens for later starts, which ask it to come to the front and exit. A lock
// left by a program that died is taken over (its process is gone).
class InstanceLock
{
public:
    explicit InstanceLock(const QString &dataFolder);
    ~InstanceLock();

    // True when this program now holds the folder. False when another running
    // program does, or the lock cannot be made (error says why).
    bool tryLock(QString *error = nullptr);
    // Asks the program holding the folder to show its window; false when it
    // cannot be reached.
    bool raiseRunning() const;
    // Once locked: calls show whenever a later start asks.
    bool listen(std::function<void()> show, QString *error = nullptr);

private:
    QString m_serverName;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
