#include "ui/appicon.h"

#include <QPainter>
#include <QPixmap>

QIcon appIcon()
{
    // A parcel: a brown box with its tape across.
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x6B, 0x42, 0x1E));
    painter.setBrush(QColor(0xD9, 0xA0, 0x5B));
    painter.drawRect(1, 3, 13, 11);
    painter.fillRect(7, 3, 2, 12, QColor(0xFF, 0xC0, 0x80));
    painter.drawLine(1, 6, 14, 6);
    return QIcon(pixmap);
}
