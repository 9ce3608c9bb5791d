#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <memory>

// A CardDAV server that answers at once, on a thread of its own on loopback, so
// that what a sync costs on this PC's side shows apart from the server's own
// work: discovery, MKCOL, sync-collection (every member, one token), multiget,
// PUT and DELETE, all kept in memory. Any user and password are taken.
class FastDavServer
{
public:
    FastDavServer()
    {
        m_thread.start();
        m_server.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_server,
            [this] {
                m_server.listen(QHostAddress::LocalHost, 0);
                m_port = m_server.serverPort();
                QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
            },
            Qt::BlockingQueuedConnection);
    }
    ~FastDavServer()
    {
        QMetaObject::invokeMethod(
            &m_server, [this] { m_server.close(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_port)); }

    // Fills the sender book with count cards.
    void fill(int count)
    {
        QMutexLocker lock(&m_mutex);
        auto &book = m_books[QByteArrayLiteral("/u/quillbox-senders/")];
        for (int i = 0; i < count; ++i) {
            const QByteArray n = QByteArray::number(i);
            book.insert("/u/quillbox-senders/c" + n + ".vcf",
                        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c" + n + "\r\nFN:客户" + n + "\r\nN:客户" + n +
                            ";;;;\r\nORG:商行" + QByteArray::number(i / 10) + "\r\nTEL;TYPE=VOICE:138" +
                            n.rightJustified(8, '0') + "\r\nADR;TYPE=WORK:;;文三路 " + n +
                            " 号;杭州市;浙江省;310000;中国\r\nCATEGORIES:寄件人\r\nEND:VCARD\r\n");
        }
    }

private:
    struct Connection
    {
        QByteArray buffer;
    };

    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            auto state = std::make_shared<Connection>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, state] {
                state->buffer += socket->readAll();
                for (;;) {
                    const qsizetype end = state->buffer.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QByteArray head = state->buffer.first(end);
                    qsizetype length = 0;
                    for (const QByteArray &line : head.split('\n')) {
                        if (line.toLower().startsWith("content-length:"))
                            length = line.sliced(15).trimmed().toLongLong();
                    }
                    if (state->buffer.size() < end + 4 + length)
                        return;
                    const QByteArray body = state->buffer.sliced(end + 4, length);
                    state->buffer.remove(0, end + 4 + length);
                    socket->write(answer(head, body));
                }
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    static QByteArray reply(const QByteArray &status, const QByteArray &body,
                            const QByteArray &extra = QByteArray())
    {
        return "HTTP/1.1 " + status + "\r\nContent-Type: application/xml; charset=utf-8\r\n" + extra +
               "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }
    static QByteArray multistatus(const QByteArray &responses, const QByteArray &extra = QByteArray())
    {
        return reply("207 Multi-Status",
                     "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:multistatus xmlns:D=\"DAV:\" "
                     "xmlns:C=\"urn:ietf:params:xml:ns:carddav\">" +
                         responses + extra + "</D:multistatus>");
    }
    static QByteArray etagOf(const QByteArray &card)
    {
        return '"' + QByteArray::number(qHash(card), 16) + '"';
    }
    static QByteArray escaped(const QByteArray &text)
    {
        return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
    }

    QByteArray answer(const QByteArray &head, const QByteArray &body)
    {
        QMutexLocker lock(&m_mutex);
        const QList<QByteArray> request = head.first(head.indexOf("\r\n")).split(' ');
        const QByteArray method = request.value(0);
        const QByteArray path = QUrl::fromPercentEncoding(request.value(1)).toUtf8();
        const bool depth1 = head.contains("Depth: 1");
        if (method == "PROPFIND" && path == "/")
            return multistatus("<D:response><D:href>/</D:href><D:propstat><D:prop><D:current-user-principal>"
                               "<D:href>/u/</D:href></D:current-user-principal></D:prop>"
                               "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>");
        if (method == "PROPFIND" && path == "/u/" && !depth1)
            return multistatus("<D:response><D:href>/u/</D:href><D:propstat><D:prop><C:addressbook-home-set>"
                               "<D:href>/u/</D:href></C:addressbook-home-set></D:prop>"
                               "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>");
        if (method == "PROPFIND" && path == "/u/") {
            QByteArray list;
            for (auto it = m_books.cbegin(); it != m_books.cend(); ++it)
                list += "<D:response><D:href>" + it.key() +
                        "</D:href><D:propstat><D:prop><D:resourcetype><D:collection/><C:addressbook/>"
                        "</D:resourcetype></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
                        "</D:response>";
            return multistatus(list);
        }
        if (method == "MKCOL") {
            m_books[path];
            return reply("201 Created", {});
        }
        const QByteArray folder = path.left(path.lastIndexOf('/') + 1);
        auto book = m_books.find(folder);
        if (book == m_books.end())
            return reply("404 Not Found", {});
        if (method == "REPORT" && body.contains("sync-collection")) {
            QByteArray list;
            for (auto it = book->cbegin(); it != book->cend(); ++it)
                list += "<D:response><D:href>" + it.key() + "</D:href><D:propstat><D:prop><D:getetag>" +
                        etagOf(it.value()) +
                        "</D:getetag></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>";
            return multistatus(list, "<D:sync-token>t" + QByteArray::number(m_changes) + "</D:sync-token>");
        }
        if (method == "REPORT") {
            QByteArray list;
            for (qsizetype at = body.indexOf("<D:href>"); at >= 0; at = body.indexOf("<D:href>", at + 1)) {
                const qsizetype end = body.indexOf("</D:href>", at);
                const QByteArray href = QUrl::fromPercentEncoding(body.sliced(at + 8, end - at - 8)).toUtf8();
                const auto card = book->constFind(href);
                if (card == book->cend())
                    continue;
                list += "<D:response><D:href>" + href + "</D:href><D:propstat><D:prop><D:getetag>" +
                        etagOf(*card) + "</D:getetag><C:address-data>" + escaped(*card) +
                        "</C:address-data></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
                        "</D:response>";
            }
            return multistatus(list);
        }
        if (method == "PROPFIND")
            return multistatus("<D:response><D:href>" + path + "</D:href><D:propstat><D:prop><D:getetag>\"b" +
                               QByteArray::number(m_changes) +
                               "\"</D:getetag></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
                               "</D:response>");
        if (method == "PUT") {
            ++m_changes;
            book->insert(path, body);
            return reply("201 Created", {}, "ETag: " + etagOf(body) + "\r\n");
        }
        if (method == "DELETE") {
            ++m_changes;
            book->remove(path);
            return reply("204 No Content", {});
        }
        return reply("405 Method Not Allowed", {});
    }

    QThread m_thread;
    QTcpServer m_server;
    quint16 m_port = 0;
    QMutex m_mutex;
    QMap<QByteArray, QHash<QByteArray, QByteArray>> m_books{{QByteArrayLiteral("/u/quillbox-senders/"), {}}};
    int m_changes = 0;
};
