// Times the address parser: loading the division table on first use, and splitting
// one pasted address; then measures its accuracy per level on addresses written
// from the division table's towns. quillbox-parse-bench [--smoke]
#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "figures.h"
#include "orders/orderfile.h"

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

// One address of the measured set and what the parser should make of it.
struct Case
{
    QString text;
    QString province, city, district, town, street, name, phone;
    // The regions as an export made from the division table writes them in their
    // own columns ("省直辖县级行政区划" and "市辖区" included).
    QString provinceColumn, cityColumn, districtColumn;
};

// Every step-th town of the table, each written in one of the ways shops write
// addresses, in turn: the set follows from the table and these rules alone.
QList<Case> casesFromTowns(const RegionTable &table, int step)
{
    static const char16_t *const names[] = {u"张伟", u"王芳", u"李娜", u"刘洋", u"陈静",   u"杨磊",
                                            u"赵敏", u"黄强", u"周杰", u"吴刚", u"欧阳晓", u"司马云"};
    static const char16_t *const roads[] = {u"人民路", u"解放路", u"建设街", u"和平大道",
                                            u"文化巷", u"新华路", u"幸福路", u"光明街"};
    using L = RegionTable::Level;
    QList<Case> cases;
    for (int t = 0, n = 0; t < table.townCount(); t += step, ++n) {
        const RegionTable::Town &town = table.town(t);
        const int district = town.district;
        const int city = table.region(L::District, district).parent;
        const int province = table.region(L::City, city).parent;
        const RegionTable::Names want = table.names(province, city, district);
        Case c;
        c.province = want.province;
        c.city = want.city;
        c.district = want.district;
        c.town = town.name;
        // The statistics put some towns' county before their name ("博爱县许良镇");
        // people write the town without it, after the regions or in their place.
        QString bare = town.name;
        for (const QString &region :
             {want.province, table.region(L::City, city).name, table.region(L::District, district).name}) {
            if (bare.startsWith(region) && bare.size() - region.size() >= 2)
                bare.remove(0, region.size());
        }
        c.street = bare + QString::fromUtf16(roads[n % 8]) + QString::number(n % 300 + 1) + u'号';
        c.name = QString::fromUtf16(names[n % 12]);
        c.phone = QStringLiteral("1%1%2").arg(3 + n % 7).arg(100000000 + n * 7919 % 900000000);
        const RegionTable::Region &p = table.region(L::Province, province);
        const bool ownCity = !table.isPlaceholderCity(city);
        const QString cityName = ownCity ? table.region(L::City, city).name : QString();
        const QString cityShort = ownCity ? table.region(L::City, city).shortName : QString();
        const QString districtName = table.region(L::District, district).name;
        const QString pShort = p.shortName.isEmpty() ? p.name : p.shortName;
        c.provinceColumn = p.name;
        c.cityColumn = table.region(L::City, city).name;
        c.districtColumn = districtName;
        switch (n % 7) {
        case 0: // full names, name and phone first
            c.text = c.name + u' ' + c.phone + u' ' + p.name + cityName + districtName + c.street;
            break;
        case 1: // short forms
            c.text = pShort + (cityShort.isEmpty() ? cityName : cityShort) + districtName + c.street + u' ' +
                     c.name + u' ' + c.phone;
            break;
        case 2: // province left out, commas
            c.text = (cityName.isEmpty() ? p.name : cityName) + districtName + c.street + u'，' + c.name +
                     u'，' + c.phone;
            break;
        case 3: // blanks between the regions
            c.text = p.name + u' ' + cityName + u' ' + districtName + u' ' + c.street + u' ' + c.name + u' ' +
                     c.phone;
            break;
        case 4: // labelled
            c.text = QStringLiteral("收货人：") + c.name + QStringLiteral("\n手机号码：") + c.phone +
                     QStringLiteral("\n所在地区：") + p.name + u' ' + cityName + u' ' + districtName +
                     QStringLiteral("\n详细地址：") + c.street;
            break;
        case 5: // district left out
            c.text = p.name + cityName + c.street + u' ' + c.name + u' ' + c.phone;
            break;
        default: // the district alone
            c.text = c.name + u' ' + c.phone + u' ' + districtName + c.street;
            break;
        }
        cases.append(c);
    }
    return cases;
}

// Per level, the share the parser got right; and of the addresses it got wrong,
// the share it marked unsure in a field that was wrong.
void measureAccuracy(const AddressParser &parser, const QList<Case> &cases)
{
    using F = ParsedAddress::Field;
    const char *const levels[] = {"province", "city", "district", "town", "street", "name", "phone"};
    int right[7] = {};
    int wrong = 0;
    int wrongMarked = 0;
    QList<double> us;
    QStringList examples;
    for (const Case &c : cases) {
        QElapsedTimer timer;
        timer.start();
        const ParsedAddress a = parser.parse(c.text);
        us.push_back(double(timer.nsecsElapsed()) / 1e3);
        const bool ok[7] = {a.value(F::Province) == c.province, a.value(F::City) == c.city,
                            a.value(F::District) == c.district, a.town == c.town,
                            a.value(F::Street) == c.street,     a.value(F::Person) == c.name,
                            a.value(F::Phone) == c.phone};
        // The town has no field of its own: its doubt is the district's.
        const F fields[7] = {F::Province, F::City, F::District, F::District, F::Street, F::Person, F::Phone};
        bool anyWrong = false;
        bool marked = false;
        for (int k = 0; k < 7; ++k) {
            right[k] += ok[k] ? 1 : 0;
            if (!ok[k]) {
                anyWrong = true;
                marked = marked || a.unsure(fields[k]);
            }
        }
        if (anyWrong) {
            ++wrong;
            wrongMarked += marked ? 1 : 0;
            if (!marked && examples.size() < 5)
                examples.append(QString(c.text).replace(u'\n', u' ') + QStringLiteral(" -> ") +
                                a.fields().join(u'|') + QStringLiteral(" town ") + a.town);
        }
    }
    std::printf("accuracy on %lld addresses written from the town table (not a public labelled set):\n",
                qlonglong(cases.size()));
    for (int k = 0; k < 7; ++k)
        std::printf("  %-9s %6.2f %%\n", levels[k], 100.0 * right[k] / double(cases.size()));
    std::printf("  wrong in some field: %d, of which marked unsure: %d (%.1f %%)\n", wrong, wrongMarked,
                wrong ? 100.0 * wrongMarked / wrong : 100.0);
    for (const QString &e : examples)
        std::printf("  unmarked: %s\n", e.toUtf8().constData());
    std::printf("  parse time over the set: median %.1f µs, p99 %.1f µs\n", median(us), percentile99(us));
}

// The same addresses as rows of an order file, half with the regions in columns of
// their own, half in one address column ("广东省 深圳市 南山区 粤海街道…").
void measureOrderFile(const AddressParser &parser, const QList<Case> &cases)
{
    QList<QStringList> columns{{QStringLiteral("收货人"), QStringLiteral("手机"), QStringLiteral("省"),
                                QStringLiteral("市"), QStringLiteral("区"), QStringLiteral("详细地址")}};
    QList<QStringList> whole{{QStringLiteral("收货人"), QStringLiteral("手机"), QStringLiteral("收货地址")}};
    QList<const Case *> order;
    for (int k = 0; k < cases.size(); k += 2)
        order.append(&cases[k]);
    for (int k = 1; k < cases.size(); k += 2)
        order.append(&cases[k]);
    for (int k = 0; k < cases.size(); ++k) {
        const Case &c = cases[k];
        if (k % 2 == 0)
            columns.append({c.name, c.phone, c.provinceColumn, c.cityColumn, c.districtColumn, c.street});
        else
            whole.append(
                {c.name, c.phone,
                 QStringList{c.provinceColumn, c.cityColumn, c.districtColumn, c.street}.join(u' ')});
    }
    const OrderFileReader reader(parser);
    QList<OrderRow> rows = reader.fromTable(columns).rows;
    rows += reader.fromTable(whole).rows;
    if (rows.size() != order.size()) {
        std::printf("order file: %lld rows read of %lld\n", qlonglong(rows.size()), qlonglong(order.size()));
        return;
    }
    int right[4] = {};
    int wrong = 0;
    int wrongMarked = 0;
    for (int k = 0; k < rows.size(); ++k) {
        const OrderRow &r = rows[k];
        const Case &c = *order[k];
        const bool ok[4] = {r.province == c.province, r.city == c.city, r.district == c.district,
                            r.street == c.street};
        const OrderRow::Field fields[4] = {OrderRow::Province, OrderRow::City, OrderRow::District,
                                           OrderRow::Street};
        bool anyWrong = false;
        bool marked = false;
        for (int f = 0; f < 4; ++f) {
            right[f] += ok[f] ? 1 : 0;
            if (!ok[f]) {
                anyWrong = true;
                marked = marked || r.isUnsure(fields[f]);
            }
        }
        wrong += anyWrong ? 1 : 0;
        wrongMarked += anyWrong && marked ? 1 : 0;
    }
    std::printf("the same as an order file (region columns or one address column):\n");
    const char *const levels[] = {"province", "city", "district", "street"};
    for (int f = 0; f < 4; ++f)
        std::printf("  %-9s %6.2f %%\n", levels[f], 100.0 * right[f] / double(rows.size()));
    std::printf("  wrong in some field: %d, of which marked unsure: %d\n", wrong, wrongMarked);
}

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
    const QList<Case> cases = casesFromTowns(table, smoke ? 2000 : 17);
    measureAccuracy(parser, cases);
    measureOrderFile(parser, cases);
    return 0;
}
