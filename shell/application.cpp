#include "shell/application.h"

#include "shell/appicon.h"

#include <QApplication>
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
}
