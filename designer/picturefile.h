#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>

namespace Designer {

// A picture of a blank form as the form keeps it: PNG or JPEG bytes, with the
// size the picture says it has on paper.
struct FormPicture
{
    QByteArray bytes;
    QSizeF sizeMm; // at 96 dots to the inch when the file does not say
};

// Reads a PNG or JPEG file as it is, or the first page of a PDF drawn at
// RenderDpi. Nothing, with error saying why in Chinese, when the file cannot be
// read or its picture is larger than a form may hold.
std::optional<FormPicture> readFormPicture(const QString &path, QString *error);

constexpr int RenderDpi = 200;

// Where a new picture goes on a page of that paper: at its own size from the
// page's corner when it says one that fits the page within a quarter, else
// as wide as the page (or as high, for a tall picture), keeping its proportions.
QRectF placeForPicture(QSizeF paper, QSizeF sizeMm, QSize pixels);

} // namespace Designer
