// Times the address parser: loading the division table on first use, and splitting
// one pasted address. quillbox-parse-bench [--smoke]
#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "figures.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// As shops paste them: free order, labels, short forms, noise.
const char *const Samples[] = {
    "张三 13812345678 广东省深圳市南山区科技园科苑路15号",
    "收货人：李娜\n手机号码：15822223333\n所在地区：天津市 和平区\n详细地址：南京路219号天津中心30层",
    "山西太原小店区长风街1号 赵敏 +86 138 0351 2345",
    "内蒙古呼和浩特市赛罕区大学西街235号，孙丽，13947112345，010020",
    "吉林省延边朝鲜族自治州延吉市光明街1号 金哲 13904331234",
    "姓名:王芳,电话:13611112222,地址:浙江省杭州市余杭区文一西路969号",
    "深圳恒通科技有限公司 李娜 0755-87654321 广东省深圳市南山区科技园南区1号楼 518057",
    "亲，麻烦发顺丰 谢谢 收货人张飞 电话13712345678 地址河南省洛阳市老城区中州东路1号",
    "鼓楼区中山路1号 张三 13812345678",
    "【收货信息】收货人: 赵六，手机号码: 159 8765 4321，所在地区: 四川省 成都市 锦江区，详细地址: 春熙路88号 "
    "谢谢！",
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool smoke = app.arguments().contains(QStringLiteral("--smoke"));
    const int loads = smoke ? 2 : 21;
    const int rounds = smoke ? 2 : 2000;

    // The first load is the one the user waits for: nothing of it is warm yet.
    QList<double> loadMs;
    QList<double> loadCpuMs;
    RegionTable table;
    for (int i = 0; i < loads; ++i) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = threadCpuMs();
        QString error;
        if (!table.load(&error)) {
            std::fprintf(stderr, "division table: %s\n", qPrintable(error));
            return 1;
        }
        loadCpuMs.push_back(threadCpuMs() - cpu);
        loadMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("division table (%d provinces, %d cities, %d districts), target 50 ms:\n",
                table.count(RegionTable::Province), table.count(RegionTable::City),
                table.count(RegionTable::District));
    std::printf(
        "  first load %.1f ms (processor %.1f ms); again, median of %d: %.1f ms (processor %.1f ms)\n",
        loadMs.front(), loadCpuMs.front(), loads - 1, median(loadMs.mid(1)), median(loadCpuMs.mid(1)));

    QElapsedTimer construction;
    construction.start();
    const AddressParser parser(table);
    std::printf("  parser set up (patterns compiled): %.1f ms\n", double(construction.nsecsElapsed()) / 1e6);
    {
        // The user's first paste: nothing of the parsing code is warm yet.
        QElapsedTimer timer;
        timer.start();
        const double cpu = threadCpuMs();
        parser.parse(QString::fromUtf8(Samples[0]));
        std::printf("  first parse after set-up: %.2f ms (processor %.2f ms)\n",
                    double(timer.nsecsElapsed()) / 1e6, threadCpuMs() - cpu);
    }
    std::printf("parse time per address, target 2 ms (%d rounds each):\n", rounds);
    std::printf("  %-9s %-9s %-9s  address\n", "1st µs", "median µs", "p99 µs");
    double worst = 0;
    for (const char *sample : Samples) {
        const QString text = QString::fromUtf8(sample);
        QList<double> us;
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            const ParsedAddress parsed = parser.parse(text);
            us.push_back(double(timer.nsecsElapsed()) / 1e3);
            if (parsed.values[ParsedAddress::Street].isEmpty())
                return 1; // every sample has a street
        }
        const double first = us.front();
        std::sort(us.begin(), us.end());
        const double p99 = us[us.size() * 99 / 100];
        worst = std::max(worst, us[us.size() / 2]);
        std::printf("  %-9.1f %-9.1f %-9.1f  %s\n", first, us[us.size() / 2], p99,
                    QString(text).replace(u'\n', u' ').left(36).toUtf8().constData());
    }
    std::printf("slowest median: %.3f ms\n", worst / 1000);
    return 0;
}
