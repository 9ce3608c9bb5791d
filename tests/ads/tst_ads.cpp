// The advertisement panes: loading from the advertising server, hiding the scroll
// bars of every page a pane loads, and a main window that works without the server.
#include "ads/adpane.h"
#include "mainwindow.h"
#include "ui/twips.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QHash>
#include <QJsonDocument>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <memory>

namespace {

// A minimal HTTP/1.0 server on the loopback address. It answers GET requests from
// a table of resources and remembers every path asked for. A held page is sent
// without its end, and the connection stays open until release().
class AdServer : public QObject
{
public:
    AdServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &AdServer::accept);
        if (!m_server.listen(QHostAddress::LocalHost))
            qFatal("cannot listen on 127.0.0.1: %s", qPrintable(m_server.errorString()));
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    QString url(const QString &path) const { return "http://" + host() + path; }

    void serve(const QString &path, const QByteArray &type, const QByteArray &body)
    {
        m_resources.insert(path, {type, body});
    }
    void hold(const QString &path) { m_held = path; }
    void release()
    {
        if (m_heldSocket) {
            m_heldSocket->write(m_heldRest);
            m_heldSocket->disconnectFromHost();
        }
        m_held.clear();
    }
    bool holding() const { return m_heldSocket && m_heldSocket->state() == QAbstractSocket::ConnectedState; }

    QStringList requests;

private:
    struct Resource
    {
        QByteArray type;
        QByteArray body;
    };

    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket *socket)
    {
        QByteArray &request = m_pending[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
        m_pending.remove(socket);
        const QString path = QString::fromLatin1(line.value(1));
        requests.append(path);

        const auto found = m_resources.constFind(path);
        if (found == m_resources.constEnd()) {
            socket->write("HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\nnot found");
            socket->disconnectFromHost();
            return;
        }
        const QByteArray head = "HTTP/1.0 200 OK\r\nContent-Type: " + found->type + "\r\n";
        if (path == m_held) {
            // No length: the page ends when the connection closes. All but its end
            // goes out now.
            const qsizetype split = found->body.lastIndexOf("</body>");
            socket->write(head + "\r\n" + found->body.left(split));
            m_heldSocket = socket;
            m_heldRest = found->body.mid(split);
            return;
        }
        socket->write(head + "Content-Length: " + QByteArray::number(found->body.size()) + "\r\n\r\n" +
                      found->body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, Resource> m_resources;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QString m_held;
    QPointer<QTcpSocket> m_heldSocket;
    QByteArray m_heldRest;
};

// A page far larger than either pane, with a link across its top-left corner
// when it has one.
QByteArray bigPage(const char *title, const char *link = nullptr, const char *bodyAttributes = "")
{
    QByteArray page = QByteArray("<!DOCTYPE html><html><head><title>") + title + "</title></head><body " +
                      bodyAttributes + ">";
    if (link)
        page +=
            QByteArray("<a href=\"") + link + "\" style=\"display:block;width:400px;height:30px\">more</a>";
    return page + "<div style=\"width:3000px;height:3000px;background:#fc8\">" + title +
           "</div></body></html>";
}

// Loads take about a second on a busy machine; the first starts the engine. Only a
// fault waits this long: with the sanitizers and every core busy, a first page has
// taken over ten seconds.
constexpr int LoadTimeout = 30000;

// Waits until ready() holds or timeout ms have passed, running the event loop
// meanwhile; says whether it holds. QTest::qWaitFor and the QTRY macros sleep 10 ms
// between their passes over the events, and the browser engine runs its own work
// as a long chain of small tasks on this thread: each page took about two seconds
// that way, where an event loop that wakes for each task takes a few milliseconds.
template <typename Ready> bool waitUntil(Ready ready, int timeout)
{
    if (ready())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        // ready() may wait itself (a script's answer); the poll stays out of that wait.
        poll.stop();
        if (ready())
            loop.quit();
        else
            poll.start();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return ready();
}

const QString AdPath1 = QStringLiteral("/ad/soft/quillbox/1.html");
const QString AdPath2 = QStringLiteral("/ad/soft/quillbox/2.html");
const QString NextPath = QStringLiteral("/ad/soft/quillbox/next.html");

// Runs a script in the page's own world and waits for its result.
QVariant evaluate(AdPane *pane, const QString &script)
{
    auto result = std::make_shared<std::pair<bool, QVariant>>();
    pane->view()->page()->runJavaScript(script, [result](const QVariant &value) {
        result->first = true;
        result->second = value;
    });
    if (!waitUntil([&] { return result->first; }, LoadTimeout))
        qWarning("script did not answer: %s", qPrintable(script));
    return result->second;
}

// What the page sees of its scroll bars and of its own size; empty while the pane
// has no document with a root element yet, as between two pages.
QVariantMap scrollState(AdPane *pane)
{
    return evaluate(pane, R"((function () {
        var root = document.documentElement, body = document.body;
        if (!root)
            return null;
        return {
            path: location.pathname,
            verticalBar: window.innerWidth - root.clientWidth,
            horizontalBar: window.innerHeight - root.clientHeight,
            largerThanPane: root.scrollWidth > window.innerWidth && root.scrollHeight > window.innerHeight,
            scroll: body ? body.getAttribute('scroll') : 'no body',
            overflow: getComputedStyle(root).overflow
        };
    })())")
        .toMap();
}

// Waits until the pane has finished a load after the first `before` that loads
// counted, and then until its own handler has run on the page at path. Says what
// it saw last when that never comes.
QByteArray pageShown(AdPane *pane, const QSignalSpy &loads, qsizetype before, const QString &path)
{
    if (!waitUntil([&] { return loads.count() > before; }, LoadTimeout))
        return "no load finished, " + QByteArray::number(loads.count()) + " before";
    QVariantMap state;
    if (waitUntil(
            [&] {
                state = scrollState(pane);
                return state.value("path").toString() == path &&
                       state.value("scroll").toString() == QLatin1String("no");
            },
            LoadTimeout))
        return {};
    return "load finished: " + loads.last().first().toByteArray() +
           ", page: " + QJsonDocument::fromVariant(state).toJson(QJsonDocument::Compact);
}

// Moves the mouse over the page at pos until the page has felt it: input given
// before the page can take it is lost (a click on a page shown only just now).
bool pointAt(AdPane *pane, QPoint pos)
{
    int nudge = 0;
    return waitUntil(
        [&] {
            QTest::mouseMove(pane->view()->focusProxy(), pos + QPoint(nudge++ % 2, 0));
            return evaluate(pane, "document.querySelectorAll(':hover').length > 0").toBool();
        },
        LoadTimeout);
}

// The control that has the focus, a pane for the page inside it.
QString focusOwner()
{
    QWidget *focus = QApplication::focusWidget();
    for (QWidget *w = focus; w; w = w->parentWidget()) {
        if (qobject_cast<AdPane *>(w))
            return w->objectName();
    }
    return focus ? focus->objectName() : QString();
}

// Presses Tab (or Shift+Tab) until the focus has moved that many times.
QStringList tabThrough(QWidget *start, Qt::KeyboardModifiers modifiers, int moves)
{
    start->setFocus();
    QStringList visited{focusOwner()};
    for (int i = 0; i < moves; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        // Inside a page the key goes through the engine, which hands the focus back later.
        const QString before = visited.last();
        if (!waitUntil([&] { return focusOwner() != before; }, 10000))
            break;
        visited.append(focusOwner());
    }
    return visited;
}

// Logged by the page's console: uncaught script errors among them.
QStringList consoleErrors;
QtMessageHandler previousHandler = nullptr;

void recordConsole(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "js") == 0 && message.contains(QLatin1String("Uncaught")))
        consoleErrors.append(message);
    previousHandler(type, context, message);
}

// Records every window shown while it exists, other than the one under test, and
// closes it again, so that a modal dialog cannot hold the test up.
class WindowWatch : public QObject
{
public:
    explicit WindowWatch(QWidget *tested) : m_tested(tested) { qApp->installEventFilter(this); }

    QStringList shown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto *window = static_cast<QWidget *>(watched);
            if (window->isWindow() && window != m_tested) {
                shown.append(QString::fromLatin1(window->metaObject()->className()) + ' ' +
                             window->windowTitle());
                QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    QWidget *m_tested;
};

// Notes in order the first paint of a window and each web view a pane creates.
class StartOrder : public QObject
{
public:
    explicit StartOrder(QWidget *window) : m_window(window) { qApp->installEventFilter(this); }

    QStringList events;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !events.contains("painted") &&
            static_cast<QWidget *>(watched)->window() == m_window)
            events.append("painted");
        else if (event->type() == QEvent::ChildAdded && qobject_cast<AdPane *>(watched) &&
                 static_cast<QChildEvent *>(event)->child()->isWidgetType())
            events.append("view in " + watched->objectName());
        return false;
    }

private:
    QWidget *m_window;
};

} // namespace

class AdsTest : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // Where the desktop would have sent an address the panes must not open.
    void openedElsewhere(const QUrl &url) { openedElsewhereUrls.append(url); }

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void panesStayBlankWithoutServer();
    void panesLoadWithoutScrollBars();
    void loadingNeverHoldsUpTheWindow();
    void linkInsidePaneLoadsWithoutScrollBars();
    void panesInTabOrder();
    void pageWithoutBodyIsSkipped();
    void serverUnreachable();
    void hostilePageIsContained_data();
    void hostilePageIsContained();

private:
    QList<QUrl> openedElsewhereUrls;
    std::unique_ptr<AdPane> hostilePane;
};

void AdsTest::initTestCase()
{
    // Devices for the engine to offer, so that a page's request for them reaches the
    // question of permission on machines without a camera or microphone too.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --use-fake-device-for-media-stream");
    previousHandler = qInstallMessageHandler(recordConsole);
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), this, "openedElsewhere");
}

void AdsTest::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
}

void AdsTest::init()
{
    consoleErrors.clear();
}

void AdsTest::panesStayBlankWithoutServer()
{
    // The other windows and tests never pay for starting the browser engine.
    MainWindow w;
    QVERIFY(w.start());
    QVERIFY(!w.get<AdPane>("WebBrowser1")->view());
    QVERIFY(!w.get<AdPane>("WebBrowser2")->view());
}

void AdsTest::panesLoadWithoutScrollBars()
{
    AdServer server;
    server.serve(AdPath1, "text/html", bigPage("ad one", nullptr, "scroll=\"yes\""));
    server.serve(AdPath2, "text/html; charset=utf-8", bigPage("ad two"));
    MainWindow w;
    QVERIFY(w.start(server.host()));
    QSignalSpy loaded1(w.get<AdPane>("WebBrowser1"), &AdPane::loaded);
    QSignalSpy loaded2(w.get<AdPane>("WebBrowser2"), &AdPane::loaded);
    // The browser engine waits until the window is on screen.
    QVERIFY(!w.get<AdPane>("WebBrowser1")->view());
    QVERIFY(!w.get<AdPane>("WebBrowser2")->view());
    StartOrder order(w.form.get());
    w.form->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));

    for (const auto &[name, path, loads] :
         {std::tuple{"WebBrowser1", AdPath1, &loaded1}, std::tuple{"WebBrowser2", AdPath2, &loaded2}}) {
        auto *pane = w.get<AdPane>(QString::fromLatin1(name));
        QCOMPARE(pageShown(pane, *loads, 0, path), QByteArray());
        QCOMPARE(pane->view()->geometry(), pane->rect());
        const QVariantMap state = scrollState(pane);
        QCOMPARE(state.value("path").toString(), path);
        QVERIFY2(state.value("largerThanPane").toBool(), name);
        QCOMPARE(state.value("verticalBar").toInt(), 0);
        QCOMPARE(state.value("horizontalBar").toInt(), 0);
        QCOMPARE(state.value("overflow").toString(), QStringLiteral("hidden"));
    }
    QVERIFY(server.requests.contains(AdPath1));
    QVERIFY(server.requests.contains(AdPath2));
    QCOMPARE(order.events.size(), 3);
    QCOMPARE(order.events.first(), QStringLiteral("painted"));
    QVERIFY(order.events.contains("view in WebBrowser1"));
    QVERIFY(order.events.contains("view in WebBrowser2"));
    QCOMPARE(consoleErrors, QStringList());
    QVERIFY(w.dialogs.messages.isEmpty());
    // The bottom pane keeps its place past the window's edge.
    QCOMPARE(w.get("WebBrowser1")->geometry(), Twips::rect(0, 6480, 12135, 1815));
}

void AdsTest::loadingNeverHoldsUpTheWindow()
{
    AdServer server;
    server.serve(AdPath1, "text/html", bigPage("slow ad"));
    server.serve(AdPath2, "text/html", bigPage("ad two"));
    server.hold(AdPath1);
    MainWindow w;
    w.folder.mkdir("to/客户");
    QVERIFY(w.start(server.host()));
    auto *pane = w.get<AdPane>("WebBrowser1");
    QSignalSpy loaded(pane, &AdPane::loaded);
    w.form->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));

    // All of the page but its end has come; the window answers meanwhile.
    QVERIFY(waitUntil([&] { return server.holding(); }, LoadTimeout));
    QVERIFY(waitUntil([&] { return scrollState(pane).value("largerThanPane").toBool(); }, LoadTimeout));
    w.Combo1()->setCurrentText("客户");
    QCOMPARE(w.form->currentPath(), w.folder.path("to/客户/"));
    // No scroll bars even before the page is complete.
    QVariantMap state = scrollState(pane);
    QCOMPARE(state.value("verticalBar").toInt(), 0);
    QCOMPARE(state.value("horizontalBar").toInt(), 0);
    QVERIFY(server.holding());
    QCOMPARE(loaded.count(), 0);

    server.release();
    QCOMPARE(pageShown(pane, loaded, 0, AdPath1), QByteArray());
}

void AdsTest::linkInsidePaneLoadsWithoutScrollBars()
{
    AdServer server;
    server.serve(AdPath1, "text/html", bigPage("ad one", "next.html"));
    server.serve(AdPath2, "text/html", bigPage("ad two", "next.html"));
    server.serve(NextPath, "text/html", bigPage("next ad", "1.html", "scroll=\"auto\""));
    MainWindow w;
    QVERIFY(w.start(server.host()));
    QSignalSpy loaded1(w.get<AdPane>("WebBrowser1"), &AdPane::loaded);
    QSignalSpy loaded2(w.get<AdPane>("WebBrowser2"), &AdPane::loaded);
    w.form->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));

    for (const auto &[name, path, loads] :
         {std::tuple{"WebBrowser2", AdPath2, &loaded2}, std::tuple{"WebBrowser1", AdPath1, &loaded1}}) {
        auto *pane = w.get<AdPane>(QString::fromLatin1(name));
        QSignalSpy &loaded = *loads;
        QCOMPARE(pageShown(pane, loaded, 0, path), QByteArray());
        const qsizetype asked = server.requests.count(NextPath);
        const qsizetype before = loaded.count();

        // A click on the link, as the user gives it.
        QVERIFY(pane->view()->focusProxy());
        QVERIFY(pointAt(pane, QPoint(20, 10)));
        QTest::mouseClick(pane->view()->focusProxy(), Qt::LeftButton, {}, QPoint(20, 10));
        QCOMPARE(pageShown(pane, loaded, before, NextPath), QByteArray());
        QCOMPARE(pane->view()->url(), QUrl(server.url(NextPath)));
        const QVariantMap state = scrollState(pane);
        QVERIFY(state.value("largerThanPane").toBool());
        QCOMPARE(state.value("verticalBar").toInt(), 0);
        QCOMPARE(state.value("horizontalBar").toInt(), 0);
        QCOMPARE(state.value("overflow").toString(), QStringLiteral("hidden"));
        QCOMPARE(server.requests.count(NextPath), asked + 1);
    }
}

void AdsTest::panesInTabOrder()
{
    AdServer server;
    server.serve(AdPath1, "text/html", bigPage("ad one"));
    server.serve(AdPath2, "text/html", bigPage("ad two"));
    server.serve(NextPath, "text/html", bigPage("next ad"));
    MainWindow w;
    QVERIFY(w.start(server.host()));
    auto *pane1 = w.get<AdPane>("WebBrowser1");
    auto *pane2 = w.get<AdPane>("WebBrowser2");
    QSignalSpy loaded1(pane1, &AdPane::loaded);
    QSignalSpy loaded2(pane2, &AdPane::loaded);
    w.show();
    QCOMPARE(pageShown(pane1, loaded1, 0, AdPath1), QByteArray());
    QCOMPARE(pageShown(pane2, loaded2, 0, AdPath2), QByteArray());

    const QStringList forward{"cmdDel", "WebBrowser1", "WebBrowser2", "cmdDelTo"};
    QCOMPARE(tabThrough(w.button("cmdDel"), Qt::NoModifier, 3), forward);

    // A page from another site comes with a new widget from the engine.
    QWidget *shownBefore = pane1->view()->focusProxy();
    const qsizetype before = loaded1.count();
    pane1->navigate(
        QUrl(QStringLiteral("http://localhost:%1%2").arg(server.host().section(':', 1), NextPath)));
    QCOMPARE(pageShown(pane1, loaded1, before, NextPath), QByteArray());
    QVERIFY(pane1->view()->focusProxy() != shownBefore);

    QCOMPARE(tabThrough(w.button("cmdDel"), Qt::NoModifier, 3), forward);
    QCOMPARE(tabThrough(w.button("cmdDelTo"), Qt::ShiftModifier, 3),
             (QStringList{"cmdDelTo", "WebBrowser2", "WebBrowser1", "cmdDel"}));
}

void AdsTest::pageWithoutBodyIsSkipped()
{
    AdServer server;
    server.serve("/picture.svg", "image/svg+xml",
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"3000\" height=\"3000\">"
                 "<rect width=\"100\" height=\"100\"/></svg>");
    server.serve(AdPath1, "text/html", bigPage("ad one"));
    AdPane pane;
    pane.resize(300, 100);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QSignalSpy loaded(&pane, &AdPane::loaded);
    pane.navigate(QUrl(server.url("/picture.svg")));
    QVERIFY(loaded.wait(LoadTimeout));
    QCOMPARE(loaded.first().first().toBool(), true);
    QVariantMap state = scrollState(&pane);
    QCOMPARE(state.value("scroll").toString(), QStringLiteral("no body"));
    QVERIFY(state.value("largerThanPane").toBool());
    QCOMPARE(state.value("verticalBar").toInt(), 0);
    QCOMPARE(state.value("horizontalBar").toInt(), 0);

    // The pane goes on working with the next page.
    pane.navigate(QUrl(server.url(AdPath1)));
    QCOMPARE(pageShown(&pane, loaded, 1, AdPath1), QByteArray());
    QCOMPARE(consoleErrors, QStringList());
}

void AdsTest::serverUnreachable()
{
    // A loopback port that nobody listens on.
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    MainWindow w;
    w.folder.mkdir("to/客户");
    w.folder.write("to/客户/XYZ - 王五.dat", contactBytes({"txtSentTo", "txtNameTo"}, {"XYZ", "王五"}));
    QVERIFY(w.start(QStringLiteral("127.0.0.1:%1").arg(port)));
    QSignalSpy failed1(w.get<AdPane>("WebBrowser1"), &AdPane::loaded);
    QSignalSpy failed2(w.get<AdPane>("WebBrowser2"), &AdPane::loaded);
    w.form->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    QVERIFY(waitUntil([&] { return failed1.count() > 0 && failed2.count() > 0; }, LoadTimeout));
    QCOMPARE(failed1.first().first().toBool(), false);
    QCOMPARE(failed2.first().first().toBool(), false);

    // The rest of the window works as ever.
    w.setFields({"txtSent", "txtName"}, {"ABC", "张三"});
    QTest::mouseClick(w.button("cmdNew"), Qt::LeftButton);
    QVERIFY(w.folder.exists("sent/ABC - 张三.dat"));
    QCOMPARE(w.cmbSent()->entries(), QStringList{"ABC - 张三"});
    w.Combo1()->setCurrentText("客户");
    QCOMPARE(w.cmbTo()->entries(), QStringList{"XYZ - 王五"});

    // Whatever the panes show for the failure, the program adds no message.
    QVERIFY(w.dialogs.messages.isEmpty());
    QCOMPARE(consoleErrors, QStringList());
}

void AdsTest::hostilePageIsContained_data()
{
    QTest::addColumn<QByteArray>("attack");
    QTest::addColumn<QString>("outcome"); // what the page learns
    QTest::addColumn<int>("downloads");   // asked for, each to be refused

    auto row = [](const char *name, const char *attack, const char *outcome, int downloads = 0) {
        QTest::newRow(name) << QByteArray(attack) << QString::fromUtf8(outcome) << downloads;
    };
    // The page gets a window object that shows nothing and loads nothing.
    row("window.open", "window.open('/popup.html'); done('went on')", "went on");
    row("alert", "alert('中奖了'); done('went on')", "went on");
    row("confirm", "done(confirm('领奖?'))", "false");
    row("prompt", "done(prompt('手机号', '1'))", "null");
    row("print", "print(); done('went on')", "went on");
    row("download", "location.href = '/prize.exe'; done('went on')", "went on", 1);
    row("camera", "navigator.mediaDevices.getUserMedia({video: true}).then(done, e => done(e.name))",
        "NotAllowedError");
    row("microphone", "navigator.mediaDevices.getUserMedia({audio: true}).then(done, e => done(e.name))",
        "NotAllowedError");
    row("location",
        "navigator.geolocation.getCurrentPosition(done, e => done(e.code == e.PERMISSION_DENIED))", "true");
    row("notifications", "Notification.requestPermission().then(done)", "denied");
    row("clipboard read", "navigator.clipboard.readText().then(done, e => done(e.name))", "NotAllowedError");
    row("clipboard write", "navigator.clipboard.writeText('广告').then(done, e => done(e.name))",
        "NotAllowedError");
    row("file:", "location.href = 'file:///etc/hostname'; done('went on')", "went on");
    row("data:", "location.href = 'data:text/html,taken'; done('went on')", "went on");
    row("mailto:", "location.href = 'mailto:ad@example.com'; done('went on')", "went on");
}

void AdsTest::hostilePageIsContained()
{
    QFETCH(QByteArray, attack);
    QFETCH(QString, outcome);
    QFETCH(int, downloads);
    AdServer server;
    // The attack runs on the user's click, so that no gesture the engine asks for is missing.
    server.serve("/hostile.html", "text/html",
                 "<!DOCTYPE html><html><body style=\"margin:0\"><div style=\"height:100vh\">ad</div><script>"
                 "function done(v) { window.outcome = String(v); }\n"
                 "document.addEventListener('click', () => { " +
                     attack + " });</script></body></html>");
    server.serve("/prize.exe", "application/octet-stream", QByteArray(4096, 'x'));
    server.serve(NextPath, "text/html", bigPage("next ad"));
    QTemporaryDir downloadFolder;
    QGuiApplication::clipboard()->setText(QStringLiteral("用户的文字"));
    openedElsewhereUrls.clear();

    // One pane for every row: each attack meets a pane that has seen the ones before.
    if (!hostilePane) {
        hostilePane = std::make_unique<AdPane>();
        hostilePane->resize(300, 100);
        hostilePane->show();
        QVERIFY(QTest::qWaitForWindowExposed(hostilePane.get()));
    }
    AdPane &pane = *hostilePane;
    WindowWatch windows(&pane);
    pane.navigate(QUrl(server.url("/hostile.html")));
    QWebEngineView *view = pane.view();
    // Were a download let through, it would land here and never among the user's files.
    view->page()->profile()->setDownloadPath(downloadFolder.path());
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    QSignalSpy urls(view, &QWebEngineView::urlChanged);
    // The engine deletes a download it was told to drop.
    QList<QPointer<QWebEngineDownloadRequest>> asked;
    QObject row;
    connect(view->page()->profile(), &QWebEngineProfile::downloadRequested, &row,
            [&asked](QWebEngineDownloadRequest *download) { asked.append(download); });
    QCOMPARE(pageShown(&pane, loaded, 0, "/hostile.html"), QByteArray());

    QVERIFY(pointAt(&pane, QPoint(20, 10)));
    QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, QPoint(20, 10));
    QString learnt;
    waitUntil(
        [&] {
            learnt = evaluate(&pane, "window.outcome || null").toString();
            return learnt == outcome;
        },
        LoadTimeout);
    QCOMPARE(learnt, outcome);
    QCOMPARE(view->url(), QUrl(server.url("/hostile.html")));
    waitUntil([&] { return asked.count() == downloads; }, LoadTimeout);
    QCOMPARE(asked.count(), downloads);

    // The pane goes on with the next page as ever.
    const qsizetype before = loaded.count();
    pane.navigate(QUrl(server.url(NextPath)));
    QCOMPARE(pageShown(&pane, loaded, before, NextPath), QByteArray());

    QCOMPARE(windows.shown, QStringList());
    QCOMPARE(openedElsewhereUrls, QList<QUrl>());
    QVERIFY(!server.requests.contains("/popup.html"));
    for (const QList<QVariant> &changed : urls)
        QVERIFY2(changed.first().toUrl().scheme() == "http", qPrintable(changed.first().toUrl().toString()));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("用户的文字"));
    for (const QPointer<QWebEngineDownloadRequest> &request : asked) {
        QVERIFY(waitUntil([&] { return !request || request->isFinished(); }, LoadTimeout));
        QVERIFY(!request || request->state() == QWebEngineDownloadRequest::DownloadCancelled);
    }
    QCOMPARE(QDir(downloadFolder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QUILLBOX_TEST_MAIN(AdsTest)
#include "tst_ads.moc"
