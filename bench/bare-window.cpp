// The floor of a start-up: a bare Qt window of the main window's size, linked as
// the program is, that ends once painted (QUILLBOX_QUIT_AFTER_FIRST_PAINT). The
// benchmark takes the program's processor time to its first paint against this one's.
// With --text the window shows one line of Chinese, which is what loading the fonts
// costs any window with text.
#include "shell/application.h"
#include "ui/twips.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(Twips::toPixels(12030), Twips::toPixels(8280));
    if (QCoreApplication::arguments().contains(QStringLiteral("--text")))
        (new QLabel(QStringLiteral("选择寄件人  共(0)个"), &window))->move(8, 8);
    quitAfterFirstPaintWhenAsked(window);
    window.show();
    return app.exec();
}
