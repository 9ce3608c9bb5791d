#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>

namespace Forms {

// A form's picture, checked and decoded without letting a small file take a
// large amount of memory: its size comes from the file's own header, read here
// rather than by the image library (which unpacks every compressed text chunk of
// a PNG to report a size), and decoding drops those chunks first.
namespace FormPicture {

// The most a decode may allocate: a picture at the form's pixel limit, four
// bytes a pixel. Qt's own limit (128 MB) is below what the form allows.
int allocationLimitMb();

struct Header
{
    QByteArray format; // "png" or "jpeg"
    QSize size;        // pixels
    QSizeF sizeMm;     // as the file states it (PNG pHYs, JPEG JFIF density); empty when it does not
};

// The format and size from the bytes' header; nothing when they are neither a
// PNG nor a JPEG or the header is damaged.
std::optional<Header> header(const QByteArray &bytes);

// Whether the picture may be a form's: PNG or JPEG, its size within the
// limits. error says why not, in Chinese.
bool check(const QByteArray &bytes, QString *error, Header *header = nullptr);

// The picture decoded, no larger than atMost (its proportions kept) when that
// is given. A null image, with error, when it cannot be.
QImage decode(const QByteArray &bytes, QSize atMost = QSize(), QString *error = nullptr);

// A PNG without its text chunks (tEXt, zTXt, iTXt) and other chunks a picture
// does not need to show; other bytes as they are.
QByteArray withoutMetadata(const QByteArray &bytes);

// What a picture needs in pixels to print a page of paper at 200 dots to the
// inch: a larger picture is scaled to this.
QSize pixelsFor(QSizeF paperMm);
constexpr int PageDpi = 200;

} // namespace FormPicture

} // namespace Forms
