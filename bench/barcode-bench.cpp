// Times a 100 x 150 mm label with a Code 128 of the order number, a QR code of
// the address and 20 text fields, drawn for a 203-dpi label printer: processor
// time per label, and a 500-label batch (the barcodes encoded anew for each
// label, as a batch row brings its own numbers). quillbox-barcode-bench [--smoke]
// [--pdf FILE]: the first label also into a PDF, as a print queue gets it
// (the README's picture is that page rasterised at 203 dpi).
#include "barcode/barcodepainter.h"
#include "figures.h"
#include "forms/formpainter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>

#include <cstdio>

using Forms::Form;
using Forms::FormField;

namespace {

constexpr int Dpi = 203;
constexpr double MmPerInch = 25.4;

Form twentyFields()
{
    Form form;
    form.name = QStringLiteral("标签");
    form.paper = QSizeF(100, 150);
    const QStringList texts{QStringLiteral("收件人：李四"), QStringLiteral("13812345678"),
                            QStringLiteral("浙江省杭州市西湖区文三路2号东部软件园创新大厦A座8楼"),
                            QStringLiteral("寄件人：张三 0755-87654321"),
                            QStringLiteral("广东省深圳市南山区科技园科苑路15号")};
    const FormField::Fit fits[] = {FormField::Fit::OneLine, FormField::Fit::Wrap, FormField::Fit::Shrink};
    for (int i = 0; i < 20; ++i) {
        FormField f;
        f.source = FormField::Source::FixedText;
        f.text = texts.at(i % texts.size());
        f.pointSize = 9;
        f.fit = fits[i % 3];
        f.box = QRectF(4 + (i % 2) * 47, 62 + (i / 2) * 8.5, 45, 7.5);
        form.fields.push_back(f);
    }
    return form;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const bool smoke = app.arguments().contains(QStringLiteral("--smoke"));
    const int labels = smoke ? 5 : 500;
    const int pdfAt = app.arguments().indexOf(QStringLiteral("--pdf"));
    const QString pdfPath = pdfAt > 0 ? app.arguments().value(pdfAt + 1) : QString();

    const Form form = twentyFields();
    const Forms::FormPainter fields(form);
    const Forms::FormValues values;
    QImage page(qRound(form.paper.width() * Dpi / MmPerInch), qRound(form.paper.height() * Dpi / MmPerInch),
                QImage::Format_ARGB32_Premultiplied);
    page.setDotsPerMeterX(qRound(Dpi / MmPerInch * 1000));
    page.setDotsPerMeterY(qRound(Dpi / MmPerInch * 1000));

    QList<double> perLabel;
    const double batchStart = threadCpuMs();
    for (int i = 0; i < labels; ++i) {
        const double start = threadCpuMs();
        Barcode::Request code;
        code.content = QStringLiteral("SF%1").arg(1400000000000LL + i * 7919LL);
        code.box = QRectF(5, 5, 90, 20);
        code.dpi = Dpi;
        Barcode::Request qr;
        qr.kind = Barcode::Kind::QrCode;
        qr.content = QStringLiteral("浙江省杭州市西湖区文三路%1号 李四 13812345678 订单 %2")
                         .arg(i % 300)
                         .arg(20260000 + i);
        qr.box = QRectF(60, 28, 32, 32);
        qr.dpi = Dpi;
        const Barcode::BarcodePainter codeBar(code), qrCode(qr);
        if (!codeBar.ok() || !qrCode.ok()) {
            std::fprintf(stderr, "barcode refused: %s%s\n", qPrintable(codeBar.whyNot()),
                         qPrintable(qrCode.whyNot()));
            return 1;
        }
        page.fill(Qt::white);
        QPainter painter(&page);
        painter.scale(Dpi / MmPerInch, Dpi / MmPerInch);
        codeBar.paint(painter);
        qrCode.paint(painter);
        fields.paint(painter, values);
        painter.end();
        perLabel.append(threadCpuMs() - start);
        if (i == 0 && !pdfPath.isEmpty()) {
            QPdfWriter writer(pdfPath);
            writer.setResolution(1200);
            writer.setPageSize(QPageSize(form.paper, QPageSize::Millimeter));
            writer.setPageMargins(QMarginsF());
            QPainter pdf;
            if (!pdf.begin(&writer)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(pdfPath));
                return 1;
            }
            pdf.scale(writer.resolution() / MmPerInch, writer.resolution() / MmPerInch);
            codeBar.paint(pdf);
            qrCode.paint(pdf);
            fields.paint(pdf, values);
            pdf.end();
        }
    }
    const double batchMs = threadCpuMs() - batchStart;

    std::printf("100 x 150 mm label, Code 128 + QR code + 20 text fields, %d dpi\n", Dpi);
    std::printf("  processor time per label: median %.2f ms, 99th percentile %.2f ms (target < 20 ms)\n",
                median(perLabel), percentile99(perLabel));
    std::printf("  %d labels: %.0f ms of processor time, %.0f labels a second (target >= 50)\n", labels,
                batchMs, labels * 1000 / batchMs);
    return 0;
}
