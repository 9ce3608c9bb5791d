#pragma once

#include <QString>

class QWidget;

// The system's file dialogs, behind an interface so that tests choose the files.
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    // The chosen file's full path, or the empty text when the user cancels.
    virtual QString openFile(QWidget *parent, const QString &title, const QString &filter) = 0;
    virtual QString saveFile(QWidget *parent, const QString &title, const QString &suggested,
                             const QString &filter) = 0;
};

class WidgetFileChooser : public FileChooser
{
public:
    QString openFile(QWidget *parent, const QString &title, const QString &filter) override;
    QString saveFile(QWidget *parent, const QString &title, const QString &suggested,
                     const QString &filter) override;
};
