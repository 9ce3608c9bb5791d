#pragma once

// A day of a shop's orders as its web shop exports them, a row per product,
// with buyers who ordered twice and look-alikes who must not be packed
// together: what the packing tests read.

#include <QList>
#include <QString>
#include <QStringList>

namespace TestDay {

struct Day
{
    // The header and a row per product: an order's further products on rows
    // that carry only its number and the product's cells.
    QList<QStringList> table;
    // Orders of one buyer, by order number, that must be proposed as one parcel.
    QList<QStringList> pairs;
    // Orders that look alike and must never be proposed together.
    QList<QStringList> traps;
    int orders = 0;
    int pieces = 0;      // every product's count, summed over the day
    QStringList remarks; // every remark written, once each
};

inline Day make(int orders = 300, int pairs = 40, int traps = 10)
{
    static const QStringList surnames =
        QStringLiteral("王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗").split(u' ');
    static const QStringList given =
        QStringLiteral("伟 芳 娜 敏 静 丽 强 磊 军 洋 勇 艳 杰 娟 涛 明 超 秀 霞 平").split(u' ');
    static const QStringList cities = {
        QStringLiteral("北京市朝阳区建国路"), QStringLiteral("上海市浦东新区世纪大道"),
        QStringLiteral("广东省深圳市南山区科技园路"), QStringLiteral("浙江省杭州市西湖区文三路"),
        QStringLiteral("四川省成都市武侯区人民南路")};
    static const QStringList products = {QStringLiteral("保温杯"), QStringLiteral("纯棉T恤"),
                                         QStringLiteral("西湖龙井"), QStringLiteral("羊毛围巾"),
                                         QStringLiteral("陶瓷茶具")};
    static const QStringList specs = {QStringLiteral("红色 500ml"), QStringLiteral("白色 XL"), QString(),
                                      QStringLiteral("灰色"), QStringLiteral("六件套")};
    Day day;
    day.orders = orders;
    day.table.append({QStringLiteral("订单编号"), QStringLiteral("收货人"), QStringLiteral("手机"),
                      QStringLiteral("收货地址"), QStringLiteral("宝贝标题"), QStringLiteral("颜色分类"),
                      QStringLiteral("购买数量"), QStringLiteral("商家编码"), QStringLiteral("买家留言")});
    struct Buyer
    {
        QString name, phone, address;
    };
    const auto buyer = [&](int n) {
        // Distinct names, phones and addresses for every n.
        return Buyer{surnames[n % 20] + given[(n / 20) % 20] + given[(n / 400 + n) % 20],
                     QStringLiteral("139%1").arg(10000000 + n, 8, 10, QChar(u'0')),
                     cities[n % 5] + QString::number(100 + n) + QStringLiteral("号")};
    };
    int next = 0;
    const auto order = [&](const Buyer &b, bool remark) {
        const QString number = QStringLiteral("26120800%1").arg(++next, 4, 10, QChar(u'0'));
        const int products_ = 1 + next % 3;
        for (int k = 0; k < products_; ++k) {
            const int p = (next + k) % 5;
            const int count = 1 + (next + k) % 4;
            day.pieces += count;
            QString note;
            if (k == 0 && remark) {
                note = QStringLiteral("订单%1：请放发票").arg(next);
                day.remarks.append(note);
            }
            if (k == 0)
                day.table.append({number, b.name, b.phone, b.address, products[p], specs[p],
                                  QString::number(count),
                                  QStringLiteral("SKU-%1").arg(p + 1, 2, 10, QChar(u'0')), note});
            else
                day.table.append({number, QString(), QString(), QString(), products[p], specs[p],
                                  QString::number(count),
                                  QStringLiteral("SKU-%1").arg(p + 1, 2, 10, QChar(u'0')), QString()});
        }
        return number;
    };
    int n = 0;
    for (int i = 0; i < pairs; ++i) {
        const Buyer b = buyer(++n);
        // Half by phone and address, half by name and address with another
        // phone; the address written once with blanks, once without.
        Buyer again = b;
        again.address = b.address.left(2) + u' ' + b.address.mid(2);
        if (i % 2)
            again.phone = QStringLiteral("137%1").arg(20000000 + i, 8, 10, QChar(u'0'));
        day.pairs.append({order(b, true), order(again, true)});
    }
    for (int i = 0; i < traps; ++i) {
        const Buyer b = buyer(++n);
        Buyer other = b;
        if (i % 2) {
            // The same name and phone, another address.
            other.address = cities[(n + 1) % 5] + QString::number(900 + i) + QStringLiteral("号");
        } else {
            // The same address, another name and phone: a neighbour.
            other = buyer(5000 + i);
            other.address = b.address;
        }
        day.traps.append({order(b, false), order(other, false)});
    }
    while (next < orders)
        order(buyer(++n), next % 7 == 0);
    return day;
}

} // namespace TestDay
