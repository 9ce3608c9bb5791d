#pragma once

#include <QString>

#include <functional>

// Where the sync password is kept: the desktop's secret store. Behind an
// interface, so that tests keep it in memory and need no session bus.
class PasswordStore
{
public:
    // problem: empty when it worked, else why not, in Chinese.
    using Done = std::function<void(const QString &password, const QString &problem)>;

    virtual ~PasswordStore() = default;
    virtual void read(const QString &account, Done done) = 0;
    virtual void write(const QString &account, const QString &password, Done done) = 0;
};

// The desktop's secret service (GNOME Keyring, KWallet) through qtkeychain.
class KeychainPasswordStore : public PasswordStore
{
public:
    void read(const QString &account, Done done) override;
    void write(const QString &account, const QString &password, Done done) override;
};
