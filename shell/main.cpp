#include "platform/instancelock.h"
#include "platform/platform.h"
#include "shell/application.h"
#include "shell/frmmain.h"
#include "shell/widgetdialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>

int main(int argc, char *argv[])
{
    prepareApplication();
    QApplication app(argc, argv);
    setUpApplication(app);

    const QString folder =
        addressBookFolder(QCoreApplication::applicationDirPath(),
                          QFile::decodeName(QUILLBOX_INSTALLED_BINDIR), Platform::userDataFolder());
    // The data folder of a first start. Should it fail, creating the storage
    // folders in it fails next and tells the user why.
    QDir().mkpath(folder);

    WidgetDialogs dialogs;
    // A second start on the same data folder brings the first window forward
    // and leaves: two programs would print a batch twice.
    InstanceLock lock(folder);
    QString lockError;
    if (!lock.tryLock(&lockError)) {
        if (lock.raiseRunning())
            return 0;
        dialogs.messageBox(lockError, QStringLiteral("Quillbox"), Dialogs::Exclamation);
        return 1;
    }
    Platform platform(folder, Platform::defaultSettingsFile(), dialogs);
    frmMain form(platform, QStringLiteral(QUILLBOX_AD_SERVER));
    if (!form.Form_Load())
        return 1;
    lock.listen([&form] {
        form.showNormal();
        form.raise();
        form.activateWindow();
    });
    quitAfterFirstPaintWhenAsked(form);
    form.showCentred();
    return app.exec();
}
