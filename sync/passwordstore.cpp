#include "sync/passwordstore.h"

#include <qt6keychain/keychain.h>

namespace {

const QString Service = QStringLiteral("Quillbox");

QString problemOf(const QKeychain::Job &job)
{
    if (job.error() == QKeychain::NoError)
        return QString();
    if (job.error() == QKeychain::EntryNotFound)
        return QStringLiteral("密码保管处还没有这个用户的密码");
    return QStringLiteral("这台电脑没有可用的密码保管服务，密码只在本次运行中保留");
}

} // namespace

void KeychainPasswordStore::read(const QString &account, Done done)
{
    auto *job = new QKeychain::ReadPasswordJob(Service);
    job->setKey(account);
    QObject::connect(job, &QKeychain::Job::finished, job, [done = std::move(done)](QKeychain::Job *finished) {
        auto *reader = static_cast<QKeychain::ReadPasswordJob *>(finished);
        done(reader->error() == QKeychain::NoError ? reader->textData() : QString(), problemOf(*finished));
    });
    job->start();
}

void KeychainPasswordStore::write(const QString &account, const QString &password, Done done)
{
    auto *job = new QKeychain::WritePasswordJob(Service);
    job->setKey(account);
    job->setTextData(password);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [done = std::move(done), password](QKeychain::Job *finished) {
                         done(password, problemOf(*finished));
                     });
    job->start();
}
