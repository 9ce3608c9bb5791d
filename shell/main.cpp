#include "platform/dialogs.h"
#include "platform/platform.h"
#include "shell/application.h"
#include "shell/frmmain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareApplication();
    QApplication app(argc, argv);
    setUpApplication(app);

    WidgetDialogs dialogs;
    Platform platform(QCoreApplication::applicationDirPath(), Platform::defaultSettingsFile(), dialogs);
    frmMain form(platform, QStringLiteral(QUILLBOX_AD_SERVER));
    if (!form.Form_Load())
        return 1;
    form.showCentred();
    return app.exec();
}
