#include "sync/davclient.h"

#include <QBuffer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>
#include <QXmlStreamReader>

namespace {

constexpr int MaxRedirects = 5;

} // namespace

DavClient::DavClient(const QUrl &server, const QString &user, const QString &password, int timeoutMs,
                     const std::atomic_bool *cancel)
    : m_server(server), m_timeoutMs(timeoutMs), m_cancel(cancel),
      m_network(std::make_unique<QNetworkAccessManager>())
{
    if (!m_server.path().endsWith(u'/'))
        m_server.setPath(m_server.path() + u'/');
    // Sent with every request: the server asks once per connection otherwise, and
    // a wrong password must come back as a plain 401 rather than a question.
    m_authorization = "Basic " + (user + u':' + password).toUtf8().toBase64();
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

DavClient::~DavClient() = default;

DavReply DavClient::send(const QByteArray &method, const QUrl &url, const QByteArray &body,
                         const QList<QPair<QByteArray, QByteArray>> &headers, int depth)
{
    return sendAll({DavRequest{method, url, body, headers, depth}}).constFirst();
}

QList<DavReply> DavClient::sendAll(const QList<DavRequest> &requests)
{
    struct Pending
    {
        QUrl target;
        int redirects = 0;
        QNetworkReply *reply = nullptr;
        bool tooLarge = false;
        bool tooSlow = false;
        bool untrusted = false;
    };
    QList<DavReply> results(requests.size());
    QList<Pending> pending(requests.size());
    QEventLoop loop;
    QTimer idle; // no byte for this long: the server is gone
    idle.setSingleShot(true);
    bool timedOut = false;
    int open = 0;

    const auto start = [&](qsizetype i) {
        const DavRequest &r = requests[i];
        QNetworkRequest request(pending[i].target);
        request.setRawHeader("Authorization", m_authorization);
        if (r.depth >= 0)
            request.setRawHeader("Depth", QByteArray::number(r.depth));
        if (!r.body.isEmpty() && r.method != "PUT")
            request.setHeader(QNetworkRequest::ContentTypeHeader,
                              QByteArrayLiteral("application/xml; charset=utf-8"));
        for (const auto &header : r.headers)
            request.setRawHeader(header.first, header.second);
        auto *data = new QBuffer;
        data->setData(r.body);
        QNetworkReply *reply = m_network->sendCustomRequest(request, r.method, data);
        data->setParent(reply);
        pending[i].reply = reply;
        ++open;
        // A server that keeps sending a byte now and then never falls silent: each
        // request has a limit of its own, whatever comes.
        auto *limit = new QTimer(reply);
        limit->setSingleShot(true);
        QObject::connect(limit, &QTimer::timeout, reply, [&, i, reply] {
            pending[i].tooSlow = true;
            reply->abort();
        });
        limit->start(totalLimit());
        // Only the certificate the user trusted goes unsigned; the password is sent
        // after the handshake, so none reaches a server that was refused.
        QObject::connect(
            reply, &QNetworkReply::sslErrors, reply, [this, &pending, i, reply](const QList<QSslError> &) {
                const QString seen = fingerprint(
                    reply->sslConfiguration().peerCertificate().digest(QCryptographicHash::Sha256));
                if (!m_trusted.isEmpty() && seen.compare(m_trusted, Qt::CaseInsensitive) == 0) {
                    reply->ignoreSslErrors();
                    return;
                }
                m_refused = seen;
                pending[i].untrusted = true;
            });
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                         [&, i, reply](qint64 got, qint64 total) {
                             idle.start(m_timeoutMs);
                             if (got > MaxAnswerBytes || total > MaxAnswerBytes) {
                                 pending[i].tooLarge = true;
                                 reply->abort();
                             }
                         });
        QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
            idle.start(m_timeoutMs);
            loop.quit();
        });
    };
    const auto finish = [&](qsizetype i) {
        Pending &p = pending[i];
        QNetworkReply *reply = p.reply;
        p.reply = nullptr;
        --open;
        DavReply &result = results[i];
        result = DavReply();
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.etag = reply->rawHeader("ETag");
        const bool broken =
            result.status >= 200 && result.status < 300 && reply->error() != QNetworkReply::NoError;
        // Qt stops unpacking a compressed answer that grows far past its size.
        if (p.tooLarge || (broken && reply->error() == QNetworkReply::UnknownContentError)) {
            result.failure =
                QStringLiteral("服务器的回答过大（超过 %1 MB），已放弃").arg(MaxAnswerBytes / 1024 / 1024);
        } else if (p.untrusted && m_trusted.isEmpty()) {
            result.failure = QStringLiteral("服务器的证书不是公认机构签发的（SHA-256 指纹 %1），"
                                            "请在 同步设置 中测试连接并确认是否信任")
                                 .arg(m_refused);
        } else if (p.untrusted) {
            result.failure = QStringLiteral("服务器的证书与上次信任的不同（现在的 SHA-256 指纹 %1），"
                                            "可能有人冒充服务器，已拒绝连接。如果服务器确实换了证书，"
                                            "请在 同步设置 中测试连接并核对新的指纹")
                                 .arg(m_refused);
        } else if (p.tooSlow) {
            result.failure =
                QStringLiteral("服务器的回答太慢（一个请求超过 %1 秒），已放弃").arg(totalLimit() / 1000);
        } else if (timedOut) {
            result.failure = QStringLiteral("服务器没有回应（等待超时）");
        } else if (m_cancel && m_cancel->load()) {
            result.failure = QStringLiteral("同步已中止");
        } else if (result.status == 0) {
            result.failure = QStringLiteral("无法连接服务器：%1").arg(reply->errorString());
        } else if (broken) {
            result.failure = QStringLiteral("服务器的回答不完整：%1").arg(reply->errorString());
        } else {
            result.body = reply->readAll();
        }
        const QUrl next = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        reply->deleteLater();
        if (result.failure.isEmpty() && result.status >= 300 && result.status < 400 && next.isValid()) {
            if (p.redirects++ >= MaxRedirects) {
                result.failure = QStringLiteral("服务器地址重定向次数过多，请检查服务器地址");
                return;
            }
            const QUrl target = p.target.resolved(next);
            // The password goes to the server the user named, and to no other.
            if (target.host() != m_server.host() || target.port() != m_server.port() ||
                target.scheme() != m_server.scheme()) {
                result.failure = QStringLiteral("服务器把请求转到了另一个地址：%1，请检查服务器地址")
                                     .arg(target.toString(QUrl::RemoveUserInfo));
                return;
            }
            p.target = target;
            start(i);
        }
    };

    QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        for (Pending &p : pending) {
            if (p.reply)
                p.reply->abort();
        }
    });
    QTimer cancelPoll;
    if (m_cancel) {
        QObject::connect(&cancelPoll, &QTimer::timeout, &loop, [&] {
            if (!m_cancel->load())
                return;
            for (Pending &p : pending) {
                if (p.reply)
                    p.reply->abort();
            }
        });
        cancelPoll.start(100);
    }
    for (qsizetype i = 0; i < requests.size(); ++i) {
        pending[i].target = requests[i].url;
        start(i);
    }
    idle.start(m_timeoutMs);
    while (open > 0) {
        for (qsizetype i = 0; i < pending.size(); ++i) {
            if (pending[i].reply && pending[i].reply->isFinished())
                finish(i);
        }
        if (open > 0)
            loop.exec();
    }
    return results;
}

QString DavClient::fingerprint(const QByteArray &sha256)
{
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}

QString DavClient::statusFailure(const DavReply &reply)
{
    if (!reply.failure.isEmpty())
        return reply.failure;
    switch (reply.status) {
    case 401:
        return QStringLiteral("用户名或密码不正确");
    case 403:
        return QStringLiteral("服务器拒绝了访问（HTTP 403）");
    case 404:
        return QStringLiteral("服务器上没有这个地址（HTTP 404），请检查服务器地址");
    default:
        break;
    }
    if (reply.status >= 500)
        return QStringLiteral("服务器出错（HTTP %1），稍后会再试").arg(reply.status);
    return QStringLiteral("服务器的回答无法处理（HTTP %1）").arg(reply.status);
}

Multistatus DavClient::parseMultistatus(const QByteArray &xml)
{
    static const QString davNs = QStringLiteral("DAV:");
    static const QString cardNs = QStringLiteral("urn:ietf:params:xml:ns:carddav");
    Multistatus result;
    QXmlStreamReader reader(xml);
    DavResource current;
    int propstatStatus = 0;
    bool inPropstat = false;
    DavResource props;
    bool sawMultistatus = false;
    QString parent; // the element whose <href> is being read

    const auto statusCode = [](const QString &line) {
        // "HTTP/1.1 404 Not Found"
        const QStringList parts = line.simplified().split(u' ');
        return parts.size() >= 2 ? parts[1].toInt() : 0;
    };
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QStringView ns = reader.namespaceUri();
            const QStringView name = reader.name();
            if (ns == davNs && name == u"multistatus") {
                sawMultistatus = true;
            } else if (ns == davNs && name == u"response") {
                current = DavResource();
            } else if (ns == davNs && name == u"propstat") {
                props = DavResource();
                propstatStatus = 0;
                inPropstat = true;
            } else if (ns == davNs && name == u"href") {
                // Parsed as sent, then decoded: a "%3F" or "%23" in a name is part of it.
                const QString path = QUrl(reader.readElementText().trimmed()).path(QUrl::FullyDecoded);
                if (parent == u"current-user-principal")
                    props.principal = path;
                else if (parent == u"addressbook-home-set")
                    props.homeSet = path;
                else if (parent.isEmpty())
                    current.href = path;
            } else if (ns == davNs && name == u"status") {
                const int code = statusCode(reader.readElementText());
                if (inPropstat)
                    propstatStatus = code;
                else
                    current.status = code; // the whole resource's, as for a member gone since a sync-token
            } else if (ns == davNs && name == u"getetag") {
                props.etag = reader.readElementText().trimmed().toUtf8();
            } else if (ns == davNs && name == u"displayname") {
                props.displayName = reader.readElementText().trimmed();
            } else if (ns == davNs && name == u"collection") {
                props.isCollection = true;
            } else if (ns == cardNs && name == u"addressbook") {
                props.isAddressBook = true;
            } else if (ns == cardNs && name == u"address-data") {
                props.cardData = reader.readElementText().toUtf8();
            } else if (ns == davNs &&
                       (name == u"current-user-principal" || name == u"addressbook-home-set")) {
                parent = name.toString();
            } else if (ns == cardNs && name == u"addressbook-home-set") {
                parent = name.toString();
            } else if (ns == davNs && name == u"sync-token") {
                result.syncToken = reader.readElementText().trimmed();
            }
        } else if (reader.isEndElement()) {
            const QStringView name = reader.name();
            if (name == u"current-user-principal" || name == u"addressbook-home-set") {
                parent.clear();
            } else if (reader.namespaceUri() == davNs && name == u"propstat") {
                // Properties the server has not got come in a propstat of their own (404).
                if (propstatStatus == 0 || (propstatStatus >= 200 && propstatStatus < 300)) {
                    if (!props.etag.isNull())
                        current.etag = props.etag;
                    if (!props.displayName.isEmpty())
                        current.displayName = props.displayName;
                    current.isCollection = current.isCollection || props.isCollection;
                    current.isAddressBook = current.isAddressBook || props.isAddressBook;
                    if (!props.principal.isEmpty())
                        current.principal = props.principal;
                    if (!props.homeSet.isEmpty())
                        current.homeSet = props.homeSet;
                    if (!props.cardData.isNull())
                        current.cardData = props.cardData;
                }
                inPropstat = false;
            } else if (reader.namespaceUri() == davNs && name == u"response") {
                if (current.status == 0)
                    current.status = 200;
                result.resources.append(current);
            }
        }
    }
    result.valid = sawMultistatus && !reader.hasError();
    return result;
}
