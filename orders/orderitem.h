#pragma once

#include <QList>
#include <QString>

// One product of an order as the shop exported it.
struct OrderItem
{
    QString title; // 宝贝标题 / 商品名称
    QString spec;  // 颜色分类 / 商品规格 / SKU
    QString code;  // the shop's own code of the product (商家编码 / 货号)
    int quantity = 1;

    bool operator==(const OrderItem &other) const
    {
        return title == other.title && spec == other.spec && code == other.code && quantity == other.quantity;
    }
    bool operator!=(const OrderItem &other) const { return !(*this == other); }

    // As a packing slip and the batch window show it: "T恤 白色 XL ×2".
    QString text() const;

    // The items a title cell holds: one, or several as shops write them into one
    // cell ("A×2；B×1", "A*2,B", "A x2"). A count written after the title is the
    // quantity; quantity (from a column of its own, 0: none) is used where the
    // cell names only one item and gives no count. spec and code go with a single item.
    static QList<OrderItem> fromCells(const QString &title, const QString &spec, const QString &code,
                                      int quantity);
    // The items as one line: "A 红色 ×2；B ×1".
    static QString listText(const QList<OrderItem> &items);
    // Largest quantity a cell is believed to give: more is a code or a misread.
    static constexpr int MaxQuantity = 99999;
};
