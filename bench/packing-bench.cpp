// Times the packing pages of a day's batch of 2,000 orders (a catalogue of 300
// products, one to three items an order, a tenth of the parcels holding a
// merged order, one in twenty sent as two parcels): the picking list summed and
// sorted, laid out on A4 and written as CSV; and the packing slips, an A5 form
// with the order numbers, the items, the remarks and a Code 128, drawn into one
// PDF at a laser printer's 600 dpi and onto 203-dpi images as a label printer
// gets them. quillbox-packing-bench [--smoke]
#include "batch/printbatch.h"
#include "figures.h"
#include "packing/pickinglist.h"
#include "packing/slipprinter.h"
#include "platform/printqueue.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <numeric>

namespace {

OrderItem product(QRandomGenerator &random)
{
    static const QStringList titles{QStringLiteral("纯棉短袖T恤"), QStringLiteral("加厚保温杯"),
                                    QStringLiteral("真皮钱包"),    QStringLiteral("无线蓝牙耳机"),
                                    QStringLiteral("羊毛围巾"),    QStringLiteral("手机壳")};
    static const QStringList specs{QStringLiteral("白色 XL"), QStringLiteral("黑色 L"),
                                   QStringLiteral("灰色 均码"), QStringLiteral("红色 M")};
    const int n = random.bounded(300);
    OrderItem item;
    item.title = titles[n % titles.size()] + QString::number(n / titles.size());
    item.spec = specs[n % specs.size()];
    // One product in five has no code of the shop's.
    if (n % 5 != 0)
        item.code = QStringLiteral("SKU-%1").arg(n);
    item.quantity = 1 + random.bounded(3);
    return item;
}

PrintBatch dayBatch(int orders)
{
    QRandomGenerator random(2026);
    PrintBatch batch;
    batch.created = QStringLiteral("2026-12-08 09:30:00");
    for (int i = 0; i < orders; ++i) {
        BatchRow row;
        row.recipient = {QString(),
                         QStringLiteral("收件人%1").arg(i),
                         QStringLiteral("浙江省"),
                         QStringLiteral("杭州市"),
                         QStringLiteral("西湖区"),
                         QStringLiteral("文三路%1号").arg(i),
                         QStringLiteral("138%1").arg(i, 8, 10, QLatin1Char('0')),
                         QStringLiteral("310000")};
        row.orderNumber = QStringLiteral("2026120809%1").arg(i, 6, 10, QLatin1Char('0'));
        for (int n = 1 + random.bounded(3); n > 0; --n)
            row.items.append(product(random));
        if (i % 7 == 0)
            row.note = QStringLiteral("请尽快发货，谢谢");
        if (i % 10 == 0) {
            MergedOrder merged;
            merged.orderNumber = row.orderNumber + QStringLiteral("1");
            merged.items = {product(random)};
            row.merged.append(merged);
        }
        row.printOrder = i + 1;
        batch.rows.append(row);
        if (i % 20 == 0) {
            batch.rows.last().parcels = 2;
            BatchRow second = batch.rows.last();
            second.id = BatchRow::newId();
            second.parcel = 2;
            second.parcelOf = batch.rows.last().id;
            second.printOrder = 0;
            batch.rows.append(second);
        }
    }
    return batch;
}

Forms::Form slipForm()
{
    Forms::Form form;
    form.name = QStringLiteral("发货单");
    form.paper = QSizeF(148, 210);
    const auto text = [&](const QString &key, QRectF box) {
        Forms::FormField f;
        f.keys = QStringList{key};
        f.box = box;
        f.pointSize = 11;
        form.fields.push_back(f);
    };
    text(QStringLiteral("txtNameTo"), QRectF(10, 10, 80, 8));
    text(QStringLiteral("txtAddTo"), QRectF(10, 20, 128, 10));
    text(QStringLiteral("orderNumbers"), QRectF(10, 32, 80, 15));
    text(QStringLiteral("items"), QRectF(10, 50, 128, 95));
    text(QStringLiteral("remarks"), QRectF(10, 150, 128, 20));
    Forms::FormField code;
    code.source = Forms::FormField::Source::FixedText;
    code.text = QStringLiteral("{订单编号}");
    code.symbol = Forms::FormField::Symbol::Code128;
    code.moduleMm = 0.33;
    code.box = QRectF(10, 175, 110, 25);
    form.fields.push_back(code);
    return form;
}

struct Timed
{
    double wallMs = 0;
    double cpuMs = 0;
};

template <typename Work> Timed timed(Work work)
{
    QElapsedTimer wall;
    wall.start();
    const double cpu = threadCpuMs();
    work();
    return {double(wall.nsecsElapsed()) / 1e6, threadCpuMs() - cpu};
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const bool smoke = app.arguments().contains(QStringLiteral("--smoke"));
    const int orders = smoke ? 200 : 2000;
    const int runs = smoke ? 3 : 9;
    const PrintBatch batch = dayBatch(orders);

    QList<double> listWall, listCpu, layoutCpu, csvCpu;
    int lines = 0, pieces = 0, pages = 0;
    for (int run = 0; run < runs; ++run) {
        std::unique_ptr<PickingList> list;
        const Timed made = timed([&] { list = std::make_unique<PickingList>(batch); });
        listWall.append(made.wallMs);
        listCpu.append(made.cpuMs);
        layoutCpu.append(timed([&] { pages = list->pageCount(); }).cpuMs);
        csvCpu.append(timed([&] { list->csv(); }).cpuMs);
        lines = list->lineCount();
        pieces = list->pieces();
    }
    std::printf("picking list: %d orders in %lld rows, %d lines, %d pieces, %d A4 pages\n", orders,
                qlonglong(batch.rows.size()), lines, pieces, pages);
    std::printf("  summed and sorted: median %.2f ms wall, %.2f ms processor (target < 100 ms)\n",
                median(listWall), median(listCpu));
    std::printf("  laid out on A4: median %.2f ms processor; CSV: median %.2f ms processor\n",
                median(layoutCpu), median(csvCpu));

    QList<int> all(batch.rows.size());
    std::iota(all.begin(), all.end(), 0);
    const PrintQueue queue;
    const SlipPrinter slips(slipForm(), queue);
    const qsizetype count = SlipPrinter::slipOrder(batch, all).size();
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("slips.pdf"));
    bool painted = false;
    const Timed toPdf = timed([&] {
        QPdfWriter writer(pdf);
        writer.setResolution(600);
        painted = slips.paint(writer, batch, all);
    });
    if (!painted) {
        std::fprintf(stderr, "the slips could not be drawn into %s\n", qPrintable(pdf));
        return 1;
    }
    std::printf("packing slips: %lld A5 slips into one PDF at 600 dpi (%.1f MiB)\n", qlonglong(count),
                double(QFileInfo(pdf).size()) / (1 << 20));
    std::printf("  %.0f ms wall, %.0f ms processor: %.0f slips a second (processor %.0f; target >= 50)\n",
                toPdf.wallMs, toPdf.cpuMs, count / toPdf.wallMs * 1e3, count / toPdf.cpuMs * 1e3);

    const int dpi = 203;
    QImage image(qRound(148 / 25.4 * dpi), qRound(210 / 25.4 * dpi), QImage::Format_Grayscale8);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    const QList<int> order = SlipPrinter::slipOrder(batch, all);
    const Timed toImages = timed([&] {
        for (const int row : order) {
            image.fill(Qt::white);
            QPainter painter(&image);
            slips.paintSlip(painter, batch, row);
        }
    });
    std::printf(
        "  the same onto 203-dpi images one by one: %.0f ms wall, %.0f ms processor: %.0f slips a second\n",
        toImages.wallMs, toImages.cpuMs, count / toImages.wallMs * 1e3);
    return 0;
}
