#pragma once

#include <QUrl>
#include <QWidget>

class QWebEngineView;

// An advertisement pane: blank until told to load a page, then a web view that
// shows its pages without scroll bars. The view, and with it the browser engine,
// is created by the first load, so a window whose panes never load anything never
// starts the engine. Starting the engine took about a third of the processor time
// the program spent before its window first showed, so a pane loads nothing before
// it has been painted once: its window shows first, exactly as it looks while the
// page loads (a white pane). What its pages may do is held to showing themselves and
// following web links (AdPage).
class AdPane : public QWidget
{
    Q_OBJECT
public:
    explicit AdPane(QWidget *parent = nullptr);
    // Starts loading and returns at once; before the pane's first paint, it starts
    // loading just after it.
    void navigate(const QUrl &url);

    // The web view, or nullptr while the pane has not yet started to load a page.
    QWebEngineView *view() const { return m_view; }

Q_SIGNALS:
    // A load finished (ok false: it failed), and the page was told to drop its
    // scroll bars.
    void loaded(bool ok);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createView();
    void loadWaiting();
    void view_loadFinished(bool ok);
    void keepTabPlace();

    QWebEngineView *m_view = nullptr;
    bool m_painted = false;
    QUrl m_waiting;
};
