#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>

namespace Designer {

// A picture of a blank form as the form keeps it: PNG or JPEG bytes, with the
// size the picture says it has on paper and where it goes on the page.
struct FormPicture
{
    QByteArray bytes;
    QSizeF sizeMm; // at 96 dots to the inch when the file does not say
    QRectF place;  // mm on a page of the paper it was read for
};

// Reads a PNG or JPEG file, or the first page of a PDF drawn at RenderDpi, for
// a form of that paper. A picture finer than its place on the page needs at
// 200 dpi is scaled down to that; others are kept as they are, without their
// text chunks. Nothing, with error saying why in Chinese, when the file cannot
// be read or its picture is larger than a form may hold.
std::optional<FormPicture> readFormPicture(const QString &path, QSizeF paper, QString *error);

constexpr int RenderDpi = 200;

// Where a new picture goes on a page of that paper: at its own size from the
// page's corner when it says one that fits the page within a quarter, else
// as wide as the page (or as high, for a tall picture), keeping its proportions.
QRectF placeForPicture(QSizeF paper, QSizeF sizeMm, QSize pixels);

} // namespace Designer
