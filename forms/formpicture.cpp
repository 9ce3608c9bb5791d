#include "forms/formpicture.h"

#include "forms/form.h"

#include <QBuffer>
#include <QImageReader>

#include <climits>
#include <cmath>

namespace Forms {
namespace FormPicture {

namespace {

const QByteArray PngSignature("\x89PNG\r\n\x1a\n", 8);

quint32 bigEndian32(const QByteArray &bytes, qsizetype at)
{
    const auto b = [&](qsizetype i) { return quint32(quint8(bytes.at(at + i))); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

quint16 bigEndian16(const QByteArray &bytes, qsizetype at)
{
    return quint16(quint8(bytes.at(at)) << 8 | quint8(bytes.at(at + 1)));
}

std::optional<Header> pngHeader(const QByteArray &bytes)
{
    // The first chunk is IHDR, 13 bytes, width and height first.
    if (bytes.size() < 33 || bigEndian32(bytes, 8) != 13 || bytes.mid(12, 4) != "IHDR")
        return std::nullopt;
    const quint32 width = bigEndian32(bytes, 16), height = bigEndian32(bytes, 20);
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX)
        return std::nullopt;
    Header header{QByteArrayLiteral("png"), QSize(int(width), int(height)), QSizeF()};
    // pHYs, before the image data, in pixels to the metre.
    qsizetype at = 8;
    while (at + 12 <= bytes.size()) {
        const quint32 length = bigEndian32(bytes, at);
        const QByteArray type = bytes.mid(at + 4, 4);
        if (type == "IDAT" || length > quint32(bytes.size() - at - 12))
            break;
        if (type == "pHYs" && length == 9 && quint8(bytes.at(at + 16)) == 1) {
            const quint32 x = bigEndian32(bytes, at + 8), y = bigEndian32(bytes, at + 12);
            if (x > 0 && y > 0)
                header.sizeMm = QSizeF(width * 1000.0 / x, height * 1000.0 / y);
            break;
        }
        at += 12 + qsizetype(length);
    }
    return header;
}

std::optional<Header> jpegHeader(const QByteArray &bytes)
{
    // Markers and their segments up to the first frame header, which holds the size.
    qsizetype at = 2;
    QSizeF density; // dots to the millimetre, from JFIF
    while (at + 4 <= bytes.size()) {
        if (quint8(bytes.at(at)) != 0xff)
            return std::nullopt;
        const quint8 marker = quint8(bytes.at(at + 1));
        if (marker == 0xff) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) { // no segment
            at += 2;
            continue;
        }
        if (marker == 0xda || marker == 0xd9) // scan or end before any frame header
            return std::nullopt;
        const quint16 length = bigEndian16(bytes, at + 2);
        if (length < 2)
            return std::nullopt;
        const bool frame =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            if (length < 7 || at + 9 > bytes.size())
                return std::nullopt;
            const int height = bigEndian16(bytes, at + 5), width = bigEndian16(bytes, at + 7);
            if (width == 0 || height == 0)
                return std::nullopt;
            return Header{QByteArrayLiteral("jpeg"), QSize(width, height),
                          density.isEmpty() ? QSizeF()
                                            : QSizeF(width / density.width(), height / density.height())};
        }
        if (marker == 0xe0 && length >= 14 && at + 16 <= bytes.size() &&
            bytes.mid(at + 4, 5) == QByteArray("JFIF\0", 5)) {
            const int units = quint8(bytes.at(at + 11));
            const double x = bigEndian16(bytes, at + 12), y = bigEndian16(bytes, at + 14);
            if ((units == 1 || units == 2) && x > 0 && y > 0)
                density = QSizeF(x, y) / (units == 1 ? 25.4 : 10.0);
        }
        at += 2 + length;
    }
    return std::nullopt;
}

bool keptChunk(const QByteArray &type)
{
    static const QByteArray kept[] = {"IHDR", "PLTE", "IDAT", "IEND", "tRNS", "gAMA",
                                      "cHRM", "sRGB", "sBIT", "bKGD", "pHYs"};
    for (const QByteArray &k : kept) {
        if (type == k)
            return true;
    }
    return false;
}

} // namespace

int allocationLimitMb()
{
    return int(Form::MaxPicturePixels * 4 / (1024 * 1024)) + 1;
}

std::optional<Header> header(const QByteArray &bytes)
{
    if (bytes.startsWith(PngSignature))
        return pngHeader(bytes);
    if (bytes.size() >= 4 && quint8(bytes.at(0)) == 0xff && quint8(bytes.at(1)) == 0xd8)
        return jpegHeader(bytes);
    return std::nullopt;
}

bool check(const QByteArray &bytes, QString *error, Header *header)
{
    const bool png = bytes.startsWith(PngSignature);
    const bool jpeg = bytes.size() >= 2 && quint8(bytes.at(0)) == 0xff && quint8(bytes.at(1)) == 0xd8;
    if (!png && !jpeg) {
        *error = QStringLiteral("模板的底图不是 PNG 或 JPEG 图片，或已损坏。");
        return false;
    }
    const std::optional<Header> read = FormPicture::header(bytes);
    if (!read) {
        *error = QStringLiteral("模板的底图已损坏，读不出它的大小。");
        return false;
    }
    const QSize size = read->size;
    if (size.width() > Form::MaxPictureSide || size.height() > Form::MaxPictureSide ||
        qint64(size.width()) * size.height() > Form::MaxPicturePixels) {
        *error = QStringLiteral("模板的底图太大（%1×%2 像素），最大 %3×%3 像素、共 %4 万像素。")
                     .arg(size.width())
                     .arg(size.height())
                     .arg(Form::MaxPictureSide)
                     .arg(Form::MaxPicturePixels / 10000);
        return false;
    }
    if (header)
        *header = *read;
    return true;
}

QByteArray withoutMetadata(const QByteArray &bytes)
{
    if (!bytes.startsWith(PngSignature))
        return bytes;
    QByteArray kept = PngSignature;
    qsizetype at = PngSignature.size();
    // Length, type, data and checksum; a chunk that runs past the end ends the copy.
    while (at + 12 <= bytes.size()) {
        const quint32 length = bigEndian32(bytes, at);
        if (length > quint32(bytes.size() - at - 12))
            break;
        const QByteArray type = bytes.mid(at + 4, 4);
        const qsizetype whole = 12 + qsizetype(length);
        if (keptChunk(type))
            kept.append(bytes.constData() + at, whole);
        at += whole;
        if (type == "IEND")
            break;
    }
    return kept;
}

QImage decode(const QByteArray &bytes, QSize atMost, QString *error)
{
    QString why;
    Header head;
    if (!check(bytes, &why, &head)) {
        if (error)
            *error = why;
        return QImage();
    }
    QByteArray data = withoutMetadata(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, head.format);
    reader.setAllocationLimit(allocationLimitMb());
    if (atMost.isValid() && !atMost.isEmpty() &&
        (head.size.width() > atMost.width() || head.size.height() > atMost.height()))
        reader.setScaledSize(head.size.scaled(atMost, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull() && error)
        *error = QStringLiteral("模板的底图已损坏，无法显示。");
    return image;
}

QSize pixelsFor(QSizeF paperMm)
{
    return QSize(int(std::ceil(paperMm.width() / 25.4 * PageDpi)),
                 int(std::ceil(paperMm.height() / 25.4 * PageDpi)));
}

} // namespace FormPicture
} // namespace Forms
