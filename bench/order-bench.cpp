// Times reading a day's order export: a 2,000-row file, as CSV (UTF-8, GBK) and
// XLSX, read and every address split. quillbox-order-bench [--smoke]
#include "addressbook/csvtext.h"
#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "batch/batchparcels.h"
#include "batch/printbatch.h"
#include "figures.h"
#include "orders/orderfile.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// Orders spread over the whole division table, with the mix of numbers shops hand
// out (plain, with an extension, hidden).
CsvText::Rows orders(const RegionTable &table, int count)
{
    static const char *const names[] = {"张伟", "王芳", "李娜", "刘洋", "陈静", "杨帆", "赵敏", "黄磊"};
    static const char *const roads[] = {"人民路", "解放大道", "建设街", "中山北路", "科苑路", "幸福巷"};
    CsvText::Rows rows{{QStringLiteral("订单编号"), QStringLiteral("收货人姓名"), QStringLiteral("联系手机"),
                        QStringLiteral("收货地址"), QStringLiteral("邮编"), QStringLiteral("买家留言"),
                        QStringLiteral("宝贝标题")}};
    const int districts = table.count(RegionTable::District);
    for (int i = 0; i < count; ++i) {
        const int d = int((qint64(i) * 7919) % districts);
        const int city = table.region(RegionTable::District, d).parent;
        const int province = table.region(RegionTable::City, city).parent;
        const RegionTable::Names n = table.names(province, city, d);
        const QString address =
            n.province + n.city + n.district + QString::fromUtf8(roads[i % 6]) +
            QString::number(i % 300 + 1) + QStringLiteral("号") +
            (i % 3 ? QStringLiteral("%1栋%2室").arg(i % 20 + 1).arg(i % 900 + 101) : QString());
        QString phone = QStringLiteral("13%1").arg(800000000 + i * 37, 9, 10, QLatin1Char('0'));
        if (i % 4 == 1)
            phone += QStringLiteral("-%1").arg(1000 + i % 9000);
        else if (i % 4 == 2)
            phone = phone.left(3) + QStringLiteral("****") + phone.right(4) +
                    QStringLiteral("[%1]").arg(1000 + i % 9000);
        rows.append(
            {QStringLiteral("2026120700%1").arg(i, 9, 10, QLatin1Char('0')), QString::fromUtf8(names[i % 8]),
             phone, address, i % 5 ? QString() : QStringLiteral("518057"),
             i % 7 ? QString() : QStringLiteral("请尽快发货，谢谢"), QStringLiteral("保温杯 500ml 白色")});
    }
    return rows;
}

QByteArray xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

// A workbook of one sheet with shared strings, as spreadsheet programs save one.
bool writeXlsx(const QString &path, const CsvText::Rows &rows)
{
    QByteArray sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet "
                       "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    QByteArray strings;
    int count = 0;
    for (int r = 0; r < rows.size(); ++r) {
        sheet += "<row r=\"" + QByteArray::number(r + 1) + "\">";
        for (int c = 0; c < rows[r].size(); ++c) {
            const QByteArray ref = QByteArray(1, char('A' + c)) + QByteArray::number(r + 1);
            sheet += "<c r=\"" + ref + "\" t=\"s\"><v>" + QByteArray::number(count++) + "</v></c>";
            strings += "<si><t>" + xmlEscaped(rows[r][c]) + "</t></si>";
        }
        sheet += "</row>";
    }
    sheet += "</sheetData></worksheet>";
    strings = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst "
              "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
              strings + "</sst>";
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const auto &[name, bytes] : {std::pair{QStringLiteral("xl/worksheets/sheet1.xml"), sheet},
                                      std::pair{QStringLiteral("xl/sharedStrings.xml"), strings}}) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name)) || file.write(bytes) != bytes.size())
            return false;
        file.close();
    }
    zip.close();
    return zip.getZipError() == 0;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool smoke = app.arguments().contains(QStringLiteral("--smoke"));
    const int count = smoke ? 50 : 2000;
    const int rounds = smoke ? 1 : 9;

    RegionTable table;
    QString error;
    if (!table.load(&error)) {
        std::fprintf(stderr, "division table: %s\n", qPrintable(error));
        return 1;
    }
    const AddressParser parser(table);
    const OrderFileReader reader(parser);
    const CsvText::Rows rows = orders(table, count);

    QTemporaryDir dir;
    const QByteArray csv = CsvText::write(rows);
    QStringEncoder gbk("GBK");
    const QString csvPath = dir.filePath(QStringLiteral("orders.csv"));
    const QString gbkPath = dir.filePath(QStringLiteral("orders-gbk.csv"));
    const QString xlsxPath = dir.filePath(QStringLiteral("orders.xlsx"));
    if (!writeFile(csvPath, csv) || !writeFile(gbkPath, gbk.encode(QString::fromUtf8(csv.mid(3)))) ||
        !writeXlsx(xlsxPath, rows)) {
        std::fprintf(stderr, "cannot write the order files\n");
        return 1;
    }

    std::printf("order file of %d rows read and every address split, target 1 s (median of %d):\n", count,
                rounds);
    for (const auto &[label, path] :
         {std::pair{"CSV UTF-8", csvPath}, std::pair{"CSV GBK", gbkPath}, std::pair{"XLSX", xlsxPath}}) {
        QList<double> ms, cpu;
        int unsure = 0;
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            const double start = threadCpuMs();
            const OrderFileResult result = reader.readFile(path);
            cpu.push_back(threadCpuMs() - start);
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            if (!result.ok() || result.rows.size() != count) {
                std::fprintf(stderr, "%s: %s (%d rows)\n", label, qPrintable(result.summary()),
                             int(result.rows.size()));
                return 1;
            }
            unsure = result.unsureRows;
        }
        std::sort(ms.begin(), ms.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("  %-10s %8.1f KB  %7.1f ms (processor %7.1f ms)  %d rows to check\n", label,
                    double(QFileInfo(path).size()) / 1024, ms[ms.size() / 2], cpu[cpu.size() / 2], unsure);
    }

    // One parcel per buyer: the proposals for the day's orders, read once more.
    const OrderFileResult day = reader.readFile(csvPath);
    // As the batch window asks: the batch's rows, those still to be packed.
    PrintBatch batch;
    for (const OrderRow &row : day.rows)
        batch.rows.append(BatchRow::fromOrder(row));
    QList<double> merge;
    qsizetype proposed = 0;
    for (int i = 0; i < rounds; ++i) {
        const double start = threadCpuMs();
        proposed = BatchParcels::proposals(batch).size();
        merge.append(threadCpuMs() - start);
    }
    std::printf(
        "merge proposals for %d orders: %.2f ms processor (median of %d, target 100 ms), %d proposed\n",
        count, median(merge), rounds, int(proposed));
    return 0;
}
