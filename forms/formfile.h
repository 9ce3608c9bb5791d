#pragma once

#include "forms/form.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace Forms {

// One form in one file, to keep and to send to another shop: a zip archive
// holding form.json (the description) and, when the form has one, its picture.
//
// form.json: {"format": "quillbox-form", "version": 1, "id", "name", "kind"
// ("packingSlip" for a slip; none for a waybill), "paper": {"width",
// "height"} in mm, "landscape", "picture": {"file", "x",
// "y", "width", "height"}, "fields": [{"source": contact|text|date|check|ask,
// "keys", "separator", "text", "dateFormat", "ask", "x", "y", "width",
// "height", "font", "size" (points), "bold", "align": left|center|right,
// "valign": top|middle|bottom, "fit": line|wrap|shrink, "pitch"}]}. Keys a
// reader does not know, of the form and of each field, are kept and written
// back. A file of a later version than this program knows is refused rather
// than half read.
namespace FormFile {

constexpr int Version = 1;
constexpr qint64 MaxFileBytes = Form::MaxPictureBytes + 4 * 1024 * 1024;
// The file name's ending.
QString suffix(); // ".qbform"

// The form in the bytes, or nothing with error saying why, in Chinese. Damaged
// or hostile files (truncated, wrong types, sizes out of range, too many
// fields, a picture too large to decode) are refused whole. decodePicture
// false checks the picture's header only: enough to list forms by name.
std::optional<Form> read(const QByteArray &bytes, QString *error, bool decodePicture = true);
// The file's bytes; empty, with error, when the zip could not be made.
QByteArray write(const Form &form, QString *error = nullptr);

} // namespace FormFile

} // namespace Forms
