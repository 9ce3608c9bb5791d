#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>

class QNetworkAccessManager;

// One WebDAV/CardDAV exchange with the server, waited for in a local event loop:
// the sync runs on a thread of its own, and tests serve the answers from the same
// thread that asks.
struct DavReply
{
    int status = 0;
    QByteArray body;
    QByteArray etag;
    // Set when no usable HTTP answer came back: why, in Chinese, for the user.
    QString failure;

    bool ok() const { return failure.isEmpty() && status >= 200 && status < 300; }
};

struct DavRequest
{
    QByteArray method;
    QUrl url;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    int depth = -1;
};

// One <response> of a 207 Multi-Status answer.
struct DavResource
{
    QString href; // the path, percent-decoded
    int status = 0;
    QByteArray etag;
    QString displayName;
    bool isCollection = false;
    bool isAddressBook = false;
    QString principal;   // current-user-principal
    QString homeSet;     // addressbook-home-set
    QByteArray cardData; // address-data
};

struct Multistatus
{
    bool valid = false;
    QList<DavResource> resources;
    QString syncToken;
};

class DavClient
{
public:
    // Answers above this size are refused rather than read into memory.
    static constexpr qint64 MaxAnswerBytes = 32 * 1024 * 1024;

    // cancel, when given and set, aborts what is under way.
    DavClient(const QUrl &server, const QString &user, const QString &password, int timeoutMs = 30000,
              const std::atomic_bool *cancel = nullptr);
    ~DavClient();

    const QUrl &server() const { return m_server; }
    // How long an answer may keep silent before the request is given up.
    int timeout() const { return m_timeoutMs; }
    void setTimeout(int ms) { m_timeoutMs = ms; }
    // The SHA-256 fingerprint ("AB:CD:…") of the certificate the user trusts for
    // this server although no authority signed it (a shop's own server or NAS).
    void setTrustedCertificate(const QString &fingerprint) { m_trusted = fingerprint; }
    // The fingerprint of the last certificate refused as not trusted; empty when none was.
    QString refusedCertificate() const { return m_refused; }
    static QString fingerprint(const QByteArray &sha256);

    // How long one request may take in all, however the answer trickles in.
    int totalLimit() const { return 4 * m_timeoutMs; }
    QUrl resolved(const QString &path) const { return m_server.resolved(QUrl(path)); }

    DavReply send(const QByteArray &method, const QUrl &url, const QByteArray &body = QByteArray(),
                  const QList<QPair<QByteArray, QByteArray>> &headers = {}, int depth = -1);
    // Several requests at once, over the few connections the network layer keeps
    // open to the server; the replies in the order of the requests.
    QList<DavReply> sendAll(const QList<DavRequest> &requests);

    // The Chinese words for a status the sync cannot go on from.
    static QString statusFailure(const DavReply &reply);

    static Multistatus parseMultistatus(const QByteArray &xml);

private:
    QUrl m_server;
    QByteArray m_authorization;
    int m_timeoutMs;
    const std::atomic_bool *m_cancel;
    QString m_trusted;
    QString m_refused;
    std::unique_ptr<QNetworkAccessManager> m_network;
};
