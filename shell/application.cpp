#include "shell/application.h"

#include "ui/appicon.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStyleFactory>
#include <QTranslator>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

void prepareApplication()
{
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QCoreApplication::setOrganizationName(QStringLiteral("Quillbox"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillbox"));
}

void setUpApplication(QApplication &app)
{
    // Fusion draws buttons in their own background colour on every desktop.
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setWindowIcon(appIcon());
    // Lets the desktop match the windows with the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("cn.quillbox.Quillbox"));
    // Qt's own dialogs (opening and saving files, a text field's menu) in
    // Chinese like the rest, from the translation Qt ships (qt6-translations-l10n).
    auto *qtChinese = new QTranslator(&app);
    if (qtChinese->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qtChinese);
}

namespace {

// Any widget of the window painted means the window is being painted; the end is
// queued, so it comes once that paint has reached the screen, and it comes at once,
// before anything else the program has queued meanwhile (the advertisement panes).
class QuitAfterFirstPaint : public QObject
{
public:
    explicit QuitAfterFirstPaint(QWidget &window) : QObject(&window), m_window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == &m_window) {
            qApp->removeEventFilter(this);
            QMetaObject::invokeMethod(
                qApp,
                [] {
                    std::fflush(nullptr);
                    ::_exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget &m_window;
};

} // namespace

void quitAfterFirstPaintWhenAsked(QWidget &window)
{
    if (qEnvironmentVariableIsSet("QUILLBOX_QUIT_AFTER_FIRST_PAINT"))
        qApp->installEventFilter(new QuitAfterFirstPaint(window));
}

QString addressBookFolder(const QString &executableFolder, const QString &installedFolder,
                          const QString &userDataFolder)
{
    const QString here = QFileInfo(executableFolder).canonicalFilePath();
    if (!here.isEmpty() && here == QFileInfo(installedFolder).canonicalFilePath())
        return userDataFolder;
    return executableFolder;
}
