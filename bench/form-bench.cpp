// Times drawing a waybill form of 30 fields: one page through the print path
// into a PDF file (as a PDF queue or printer driver receives it), and the
// window's page on screen. quillbox-form-bench [--smoke]
#include "figures.h"
#include "forms/formpainter.h"
#include "platform/printqueue.h"
#include "waybill/printjob.h"
#include "waybill/printsettings.h"

#include <QApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using Forms::Form;
using Forms::FormField;

namespace {

// Every kind of field a form has, thirty in all, on a 230 x 127 mm paper waybill.
Form thirtyFields()
{
    Form form;
    form.name = QStringLiteral("基准");
    form.paper = QSizeF(230, 127);
    const FormField::Fit fits[] = {FormField::Fit::OneLine, FormField::Fit::Wrap, FormField::Fit::Shrink};
    int n = 0;
    for (const auto &[key, caption] : Forms::contactFields()) {
        FormField f;
        f.keys = QStringList{key};
        f.fit = fits[n % 3];
        f.box = QRectF(10 + (n % 3) * 70, 10 + (n / 3) * 12, 65, f.fit == FormField::Fit::Wrap ? 10 : 6);
        form.fields.push_back(f);
        ++n;
    }
    FormField address;
    address.keys = QStringList{QStringLiteral("txtPTo"), QStringLiteral("txtCTo"), QStringLiteral("txtATo"),
                               QStringLiteral("txtAddTo")};
    for (int i = 0; i < 6; ++i) {
        address.box = QRectF(10 + (i % 3) * 70, 85 + (i / 3) * 15, 65, 13);
        form.fields.push_back(address);
    }
    FormField zip;
    zip.keys = QStringList{QStringLiteral("txtZipTo")};
    zip.pitch = 7;
    zip.fit = FormField::Fit::OneLine;
    for (int i = 0; i < 3; ++i) {
        zip.box = QRectF(10 + i * 70, 115, 42, 7);
        form.fields.push_back(zip);
    }
    FormField fixed;
    fixed.source = FormField::Source::FixedText;
    fixed.text = QStringLiteral("寄付月结");
    fixed.box = QRectF(200, 5, 25, 6);
    form.fields.push_back(fixed);
    fixed.text = QStringLiteral("不保价");
    fixed.box = QRectF(200, 62, 25, 6);
    form.fields.push_back(fixed);
    FormField date;
    date.source = FormField::Source::Date;
    date.box = QRectF(200, 70, 25, 6);
    date.fit = FormField::Fit::Shrink;
    form.fields.push_back(date);
    FormField asked;
    asked.source = FormField::Source::Asked;
    asked.askLabel = QStringLiteral("托寄物");
    asked.box = QRectF(200, 78, 25, 6);
    form.fields.push_back(asked);
    FormField check;
    check.source = FormField::Source::CheckMark;
    check.box = QRectF(220, 115, 5, 5);
    form.fields.push_back(check);
    return form;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool smoke = app.arguments().contains(QStringLiteral("--smoke"));
    const int pages = smoke ? 2 : 50;

    const Form form = thirtyFields();
    const QHash<QString, QString> contact{
        {QStringLiteral("txtSent"), QStringLiteral("深圳前海科技有限公司")},
        {QStringLiteral("txtName"), QStringLiteral("张三")},
        {QStringLiteral("txtP"), QStringLiteral("广东省")},
        {QStringLiteral("txtC"), QStringLiteral("深圳市")},
        {QStringLiteral("txtA"), QStringLiteral("南山区")},
        {QStringLiteral("txtAdd"), QStringLiteral("科技园科苑路15号讯美科技广场3号楼12层")},
        {QStringLiteral("txtTel"), QStringLiteral("0755-87654321")},
        {QStringLiteral("txtZip"), QStringLiteral("518057")},
        {QStringLiteral("txtSentTo"), QStringLiteral("杭州西湖贸易有限责任公司国际物流部")},
        {QStringLiteral("txtNameTo"), QStringLiteral("李四")},
        {QStringLiteral("txtPTo"), QStringLiteral("浙江省")},
        {QStringLiteral("txtCTo"), QStringLiteral("杭州市")},
        {QStringLiteral("txtATo"), QStringLiteral("西湖区")},
        {QStringLiteral("txtAddTo"), QStringLiteral("文三路2号东部软件园创新大厦A座8楼")},
        {QStringLiteral("txtTelTo"), QStringLiteral("13812345678")},
        {QStringLiteral("txtZipTo"), QStringLiteral("310000")},
    };
    Forms::FormValues values;
    values.contact = [&contact](QStringView key) { return contact.value(key.toString()); };
    values.asked.insert(QStringLiteral("托寄物"), QStringLiteral("文件"));
    const Forms::FormPainter painter(form);

    QTemporaryDir dir;
    Waybill::PrintSettings settings;
    settings.paper = form.paper;
    QList<double> printMs, screenMs;
    double firstPrint = 0;
    const PrintQueue queue; // the page goes to a file, never to a queue
    for (int i = 0; i < pages; ++i) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
        const double start = threadCpuMs();
        const QString failure = Waybill::printPage(
            printer, settings, QStringLiteral("基准"),
            [&](QPainter &p) { painter.paintClientPixels(p, values); }, queue);
        const double took = threadCpuMs() - start;
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "printing failed: %s\n", qPrintable(failure));
            return 1;
        }
        if (i == 0)
            firstPrint = took;
        else
            printMs.push_back(took);
    }
    QImage screen(qRound(form.paper.width() * Forms::FormPainter::PixelsPerMm),
                  qRound(form.paper.height() * Forms::FormPainter::PixelsPerMm),
                  QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < pages; ++i) {
        screen.fill(Qt::white);
        const double start = threadCpuMs();
        QPainter p(&screen);
        painter.paintClientPixels(p, values, Forms::FormPainter::FaintBackground);
        p.end();
        screenMs.push_back(threadCpuMs() - start);
    }

    std::printf("form of %zu fields, %d pages, processor time\n", form.fields.size(), pages);
    std::printf("print page (PDF, 1200 dpi): first %.1f ms, median of the rest %.1f ms\n", firstPrint,
                median(printMs));
    std::printf("window page (96 dpi): median %.1f ms\n", median(screenMs));
    return 0;
}
