#include "ads/adpage.h"

#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

AdPage::AdPage(QObject *parent) : QWebEnginePage(parent)
{
    // Some of these are the engine's defaults today; they are set all the same, so
    // that what a page may do does not hang on the engine's version.
    QWebEngineSettings *s = settings();
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    s->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    // mailto: and the like would start another program.
    s->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);

    connect(this, &QWebEnginePage::featurePermissionRequested, this, &AdPage::featurePermissionRequested);
    // The profile is shared: each page stops only its own downloads.
    connect(profile(), &QWebEngineProfile::downloadRequested, this, &AdPage::downloadRequested);
}

QWebEnginePage *AdPage::createWindow(WebWindowType)
{
    return nullptr;
}

QStringList AdPage::chooseFiles(FileSelectionMode, const QStringList &, const QStringList &)
{
    return {};
}

void AdPage::javaScriptAlert(const QUrl &, const QString &) {}

bool AdPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return false;
}

bool AdPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

bool AdPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    // Frames inside a page are the page's own business (ads often fill them from
    // about:blank); the pane itself only ever shows web pages.
    if (!isMainFrame)
        return true;
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

void AdPage::featurePermissionRequested(const QUrl &securityOrigin, Feature feature)
{
    setFeaturePermission(securityOrigin, feature, PermissionDeniedByUser);
}

void AdPage::downloadRequested(QWebEngineDownloadRequest *download)
{
    if (download->page() == this)
        download->cancel();
}
