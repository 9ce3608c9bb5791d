#include "ads/adpane.h"

#include "ads/adpage.h"

#include <QEvent>
#include <QResizeEvent>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <utility>

namespace {

// The page asks for no scroll bars through its body, as it always has. Chromium
// ignores that attribute, so the page's viewport stops overflowing as well. A
// failed load or a resource that is not an HTML page may have no body: then there
// is nothing to switch off.
const QString HideScrollBarsScript = QStringLiteral(R"((function () {
    var body = document.body;
    if (!body)
        return;
    body.setAttribute('scroll', 'no');
    document.documentElement.style.overflow = 'hidden';
})();)");

} // namespace

AdPane::AdPane(QWidget *parent) : QWidget(parent)
{
    // A blank pane takes the focus like any control; once it holds a page, the
    // page takes it instead, at the pane's place in the tab order.
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette blank = palette();
    blank.setColor(QPalette::Window, Qt::white);
    setPalette(blank);
}

void AdPane::navigate(const QUrl &url)
{
    m_waiting = url;
    if (m_painted)
        loadWaiting();
}

void AdPane::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (m_painted)
        return;
    m_painted = true;
    // Queued, this comes after the window's paint has reached the screen.
    QMetaObject::invokeMethod(this, &AdPane::loadWaiting, Qt::QueuedConnection);
}

void AdPane::loadWaiting()
{
    if (m_waiting.isEmpty())
        return;
    if (!m_view)
        createView();
    m_view->load(std::exchange(m_waiting, QUrl()));
}

void AdPane::createView()
{
    m_view = new QWebEngineView(this);
    m_view->setPage(new AdPage(m_view));
    m_view->setGeometry(rect());
    // No scroll bars from the first paint on, before a load completes and for
    // documents without a body too.
    m_view->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    connect(m_view, &QWebEngineView::loadFinished, this, &AdPane::view_loadFinished);
    m_view->installEventFilter(this);
    setFocusPolicy(Qt::NoFocus);
    m_view->show();
}

void AdPane::view_loadFinished(bool ok)
{
    // Runs apart from the page's own scripts, which can neither see nor break it.
    m_view->page()->runJavaScript(HideScrollBarsScript, QWebEngineScript::ApplicationWorld);
    Q_EMIT loaded(ok);
}

bool AdPane::eventFilter(QObject *watched, QEvent *event)
{
    // The engine creates the widget that shows the page on the first load and a
    // new one whenever a page comes from another site. Each joins the end of the
    // window's tab order, so it is moved back to the pane's place once the engine
    // has set it up.
    if (watched == m_view && event->type() == QEvent::ChildAdded &&
        static_cast<QChildEvent *>(event)->child()->isWidgetType())
        QMetaObject::invokeMethod(this, &AdPane::keepTabPlace, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

void AdPane::keepTabPlace()
{
    QWidget *page = m_view->focusProxy();
    if (!page)
        return;
    // The pane keeps its place in the tab order and the page follows it there.
    // Tab order is only set between widgets that take the focus, which the pane
    // does for this moment.
    setFocusPolicy(Qt::StrongFocus);
    setTabOrder(this, page);
    setFocusPolicy(Qt::NoFocus);
}

void AdPane::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_view)
        m_view->setGeometry(rect());
}
