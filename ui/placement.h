#pragma once

#include <QRect>
#include <QString>

// Names a control of a tools dialog, gives it its label as its accessible name (for
// screen readers and tests) and puts it at its place.
template <typename Widget> Widget *place(Widget *widget, const char *name, const QString &label, QRect rect)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(label);
    widget->setGeometry(rect);
    return widget;
}
