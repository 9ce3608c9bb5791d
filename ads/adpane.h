#pragma once

#include <QUrl>
#include <QWidget>

class QWebEngineView;

// An advertisement pane: blank until told to load a page, then a web view that
// shows its pages without scroll bars. The view, and with it the browser engine,
// is created by the first navigate(), so a window whose panes never load
// anything never starts the engine. What its pages may do is held to showing
// themselves and following web links (AdPage).
class AdPane : public QWidget
{
    Q_OBJECT
public:
    explicit AdPane(QWidget *parent = nullptr);
    // Starts loading and returns at once.
    void navigate(const QUrl &url);

    // The web view, or nullptr while the pane has never been told to load a page.
    QWebEngineView *view() const { return m_view; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createView();
    void pageLoaded();
    void keepTabPlace();

    QWebEngineView *m_view = nullptr;
};
