#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace Designer {

// The file dialogs the designer asks for a file through; the main window hands
// over its own, tests choose the files.
struct FilePicker
{
    // The chosen file's full path, or the empty text when the user cancels.
    std::function<QString(QWidget *parent, const QString &title, const QString &filter)> openFile;
    std::function<QString(QWidget *parent, const QString &title, const QString &suggested,
                          const QString &filter)>
        saveFile;
};

} // namespace Designer
