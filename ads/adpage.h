#pragma once

#include <QWebEnginePage>

// The page of an advertisement pane. Ad pages come from a server the program does
// not control, so a page may show itself and follow http and https links inside its
// pane, and nothing more: it opens no window or dialog, starts no download, gets no
// permission and cannot take the pane to any other scheme. Each attempt is refused
// without a word and the page goes on as if the user had said no.
class AdPage : public QWebEnginePage
{
public:
    explicit AdPage(QObject *parent = nullptr);

protected:
    QWebEnginePage *createWindow(WebWindowType type) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    void featurePermissionRequested(const QUrl &securityOrigin, Feature feature);
    void downloadRequested(QWebEngineDownloadRequest *download);
};
