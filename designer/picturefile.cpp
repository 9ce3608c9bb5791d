#include "designer/picturefile.h"

#include "forms/form.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPdfDocument>
#include <QRectF>

namespace Designer {

namespace {

bool fitsForm(QSize pixels)
{
    return pixels.width() > 0 && pixels.height() > 0 && pixels.width() <= Forms::Form::MaxPictureSide &&
           pixels.height() <= Forms::Form::MaxPictureSide &&
           qint64(pixels.width()) * pixels.height() <= Forms::Form::MaxPicturePixels;
}

std::optional<FormPicture> readPdf(const QString &path, QString *error)
{
    QPdfDocument pdf;
    if (pdf.load(path) != QPdfDocument::Error::None || pdf.pageCount() < 1) {
        *error = QStringLiteral("无法读取这个 PDF 文件。");
        return std::nullopt;
    }
    const QSizeF points = pdf.pagePointSize(0);
    const QSizeF mm = points * 25.4 / 72;
    const QSize pixels = (points * RenderDpi / 72).toSize();
    if (!fitsForm(pixels)) {
        *error = QStringLiteral("PDF 的第一页太大，不能作为底图。");
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
    FormPicture picture;
    QBuffer buffer(&picture.bytes);
    buffer.open(QIODevice::WriteOnly);
    flat.save(&buffer, "JPEG", 90);
    picture.sizeMm = mm;
    return picture;
}

} // namespace

std::optional<FormPicture> readFormPicture(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法打开文件：%1").arg(file.errorString());
        return std::nullopt;
    }
    const QByteArray head = file.peek(5);
    if (head == "%PDF-") {
        file.close();
        return readPdf(path, error);
    }
    if (file.size() > Forms::Form::MaxPictureBytes) {
        *error = QStringLiteral("图片文件太大（不能超过 %1 MB）。").arg(Forms::Form::MaxPictureBytes >> 20);
        return std::nullopt;
    }
    FormPicture picture;
    picture.bytes = file.readAll();
    QBuffer buffer(&picture.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg") {
        *error = QStringLiteral("只能打开 PNG、JPEG 图片或 PDF 文件。");
        return std::nullopt;
    }
    // The size is checked before the picture is decoded: a small file can
    // claim a huge picture.
    if (!fitsForm(reader.size())) {
        *error = QStringLiteral("图片太大，不能作为底图。");
        return std::nullopt;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        *error = QStringLiteral("图片无法读取：%1").arg(reader.errorString());
        return std::nullopt;
    }
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0)
        picture.sizeMm = QSizeF(image.width() * 1000.0 / image.dotsPerMeterX(),
                                image.height() * 1000.0 / image.dotsPerMeterY());
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
