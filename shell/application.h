#pragma once

class QApplication;
class QString;
class QWidget;

// What must hold before the QApplication exists: Chromium, used by the
// advertisement panes, refuses to run as root inside its sandbox.
void prepareApplication();
// The look every window of the program shares.
void setUpApplication(QApplication &app);

// With QUILLBOX_QUIT_AFTER_FIRST_PAINT set in the environment, the program ends
// (exit status 0) as soon as window has first been painted: the benchmark measures the processor time
// a start-up takes until the user sees the window. Without it, nothing happens.
void quitAfterFirstPaintWhenAsked(QWidget &window);

// The folder that holds the address book. Run from the folder it was installed
// into, the program keeps it in the user's data folder, as every installed program
// must; run from anywhere else (a build tree, a copied folder) it keeps it beside
// the executable. The folders are compared as they stand on disk, links resolved.
QString addressBookFolder(const QString &executableFolder, const QString &installedFolder,
                          const QString &userDataFolder);
