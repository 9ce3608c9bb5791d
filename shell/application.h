#pragma once

class QApplication;

// What must hold before the QApplication exists: Chromium, used by the
// advertisement panes, refuses to run as root inside its sandbox.
void prepareApplication();
// The look every window of the program shares.
void setUpApplication(QApplication &app);
