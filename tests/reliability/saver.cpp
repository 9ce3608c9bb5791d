// A program that saves senders through the real main window, forever, until it is
// killed. Each save gives all six address fields of one contact a new generation.
// Usage: quillbox-saver PROGRAM_FOLDER SETTINGS_FILE FIRST_GENERATION
#include "shell/frmmain.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    prepareApplication();
    QApplication app(argc, argv);
    setUpApplication(app);
    if (argc < 4)
        return 2;
    ScriptedDialogs dialogs;
    Platform platform(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), dialogs);
    frmMain form(platform, QString());
    if (!form.Form_Load())
        return 1;
    const QStringList keys{"txtSent", "txtName", "txtP", "txtC", "txtA", "txtAdd", "txtTel", "txtZip"};
    auto *save = form.findChild<QPushButton *>("cmdNew");
    std::printf("ready\n");
    std::fflush(stdout);
    for (int generation = std::atoi(argv[3]);; ++generation) {
        for (int contact = 0; contact < 5; ++contact) {
            form.findChild<QLineEdit *>("txtSent")->setText(QStringLiteral("公司%1").arg(contact));
            form.findChild<QLineEdit *>("txtName")->setText(QStringLiteral("联系人%1").arg(contact));
            for (int i = 2; i < keys.size(); ++i) {
                // Values of different lengths make a torn file easy to tell.
                form.findChild<QLineEdit *>(keys[i])->setText(QStringLiteral("第%1代").arg(generation) +
                                                              QString(generation % 7 + i, QChar(0x5730)));
            }
            save->click();
        }
    }
}
