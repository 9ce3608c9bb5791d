#include "tools/filechooser.h"

#include <QFileDialog>

QString WidgetFileChooser::openFile(QWidget *parent, const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString WidgetFileChooser::saveFile(QWidget *parent, const QString &title, const QString &suggested,
                                    const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, title, suggested, filter);
}
