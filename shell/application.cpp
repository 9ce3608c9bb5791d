#include "shell/application.h"

#include "ui/appicon.h"

#include <QApplication>
#include <QFileInfo>
#include <QStyleFactory>

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
}

QString addressBookFolder(const QString &executableFolder, const QString &installedFolder,
                          const QString &userDataFolder)
{
    const QString here = QFileInfo(executableFolder).canonicalFilePath();
    if (!here.isEmpty() && here == QFileInfo(installedFolder).canonicalFilePath())
        return userDataFolder;
    return executableFolder;
}
