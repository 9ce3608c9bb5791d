#include "designer/picturefile.h"

#include "forms/form.h"
#include "forms/formpicture.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QRectF>

namespace Designer {

namespace {

using Forms::FormPicture::pixelsFor;

bool fitsForm(QSize pixels)
{
    return pixels.width() > 0 && pixels.height() > 0 && pixels.width() <= Forms::Form::MaxPictureSide &&
           pixels.height() <= Forms::Form::MaxPictureSide &&
           qint64(pixels.width()) * pixels.height() <= Forms::Form::MaxPicturePixels;
}

// The pixels a picture of that size keeps on the page: no more than the place
// it gets needs at 200 dpi.
QSize keptPixels(QSize pixels, QRectF place)
{
    const QSize needed = pixelsFor(place.size()).expandedTo(QSize(1, 1));
    if (pixels.width() <= needed.width() && pixels.height() <= needed.height())
        return pixels;
    return pixels.scaled(needed, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, qstrcmp(format, "JPEG") == 0 ? 90 : -1);
    return bytes;
}

std::optional<FormPicture> readPdf(const QString &path, QSizeF paper, QString *error)
{
    QPdfDocument pdf;
    if (pdf.load(path) != QPdfDocument::Error::None || pdf.pageCount() < 1) {
        *error = QStringLiteral("无法读取这个 PDF 文件。");
        return std::nullopt;
    }
    const QSizeF points = pdf.pagePointSize(0);
    const QSizeF mm = points * 25.4 / 72;
    const QSize full = (points * RenderDpi / 72).toSize();
    if (full.isEmpty()) {
        *error = QStringLiteral("无法读取这个 PDF 文件。");
        return std::nullopt;
    }
    // A large page is drawn at the resolution its place on the form needs,
    // which keeps it within what a form's picture may be.
    const QRectF place = placeForPicture(paper, mm, full);
    const QSize pixels = keptPixels(full, place);
    if (!fitsForm(pixels)) {
        *error = QStringLiteral("PDF 的第一页形状太特别（%1×%2 毫米），不能作为底图。")
                     .arg(qRound(mm.width()))
                     .arg(qRound(mm.height()));
        return std::nullopt;
    }
    const QImage page = pdf.render(0, pixels);
    if (page.isNull()) {
        *error = QStringLiteral("无法读取这个 PDF 文件。");
        return std::nullopt;
    }
    // A page may be transparent where it is blank: paper is white.
    QImage flat(page.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    {
        QPainter painter(&flat);
        painter.drawImage(0, 0, page);
    }
    return FormPicture{encoded(flat, "JPEG"), mm, place};
}

} // namespace

std::optional<FormPicture> readFormPicture(const QString &path, QSizeF paper, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法打开文件：%1").arg(file.errorString());
        return std::nullopt;
    }
    const QByteArray head = file.peek(5);
    if (head == "%PDF-") {
        file.close();
        return readPdf(path, paper, error);
    }
    if (file.size() > Forms::Form::MaxPictureBytes) {
        *error = QStringLiteral("图片文件太大（不能超过 %1 MB）。").arg(Forms::Form::MaxPictureBytes >> 20);
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (!Forms::FormPicture::header(bytes)) {
        *error = QStringLiteral("只能打开 PNG、JPEG 图片或 PDF 文件。");
        return std::nullopt;
    }
    // The size is checked from the header before the picture is decoded: a
    // small file can claim a huge picture.
    Forms::FormPicture::Header header;
    QString why;
    if (!Forms::FormPicture::check(bytes, &why, &header)) {
        *error = QStringLiteral("图片太大或已损坏，不能作为底图：%1").arg(why);
        return std::nullopt;
    }
    // Where the file does not say its size on paper, 96 dots to the inch.
    const QSizeF mm = header.sizeMm.isEmpty() ? QSizeF(header.size) * 25.4 / 96 : header.sizeMm;
    const QRectF place = placeForPicture(paper, mm, header.size);
    const QSize kept = keptPixels(header.size, place);
    const QImage image = Forms::FormPicture::decode(bytes, kept, &why);
    if (image.isNull()) {
        *error = QStringLiteral("图片无法读取：%1").arg(why);
        return std::nullopt;
    }
    // A scan finer than the page needs is kept at what it needs, once, here.
    FormPicture picture{kept == header.size ? Forms::FormPicture::withoutMetadata(bytes)
                                            : encoded(image, header.format == "jpeg" ? "JPEG" : "PNG"),
                        mm, place};
    return picture;
}

QRectF placeForPicture(QSizeF paper, QSizeF sizeMm, QSize pixels)
{
    if (!sizeMm.isEmpty() && sizeMm.width() <= paper.width() * 1.25 &&
        sizeMm.height() <= paper.height() * 1.25 && sizeMm.width() >= paper.width() * 0.75)
        return QRectF(QPointF(0, 0), sizeMm);
    if (pixels.isEmpty())
        return QRectF(QPointF(0, 0), paper);
    const QSizeF fitted = QSizeF(pixels).scaled(paper, Qt::KeepAspectRatio);
    return QRectF(QPointF(0, 0), fitted);
}

} // namespace Designer
