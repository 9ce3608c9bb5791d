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
    Platform platform(folder, Platform::defaultSettingsFile(), dialogs);
    frmMain form(platform, QStringLiteral(QUILLBOX_AD_SERVER));
    if (!form.Form_Load())
        return 1;
    quitAfterFirstPaintWhenAsked(form);
    form.showCentred();
    return app.exec();
}
