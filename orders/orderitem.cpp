#include "orders/orderitem.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// "×2", "x 2", "*2", "X2" at the end of a part; full-width forms too.
const QRegularExpression &countAtEnd()
{
    static const QRegularExpression re(
        QStringLiteral("\\s*[×xX*＊ｘＸ]\\s*([0-9０-９]{1,5})\\s*(?:件|个|份|套|双|瓶|盒|包)?\\s*$"));
    return re;
}

int digitsValue(const QString &digits)
{
    int value = 0;
    for (const QChar c : digits) {
        const int d = c.unicode() >= 0xFF10 ? c.unicode() - 0xFF10 : c.unicode() - u'0';
        value = value * 10 + d;
    }
    return value;
}

} // namespace

QString OrderItem::text() const
{
    QStringList parts;
    if (!title.isEmpty())
        parts.append(title);
    if (!spec.isEmpty())
        parts.append(spec);
    if (parts.isEmpty() && !code.isEmpty())
        parts.append(code);
    parts.append(QStringLiteral("×%1").arg(quantity));
    return parts.join(u' ');
}

QList<OrderItem> OrderItem::fromCells(const QString &title, const QString &spec, const QString &code,
                                      int quantity)
{
    QList<OrderItem> items;
    const QString whole = title.trimmed();
    if (whole.isEmpty() && spec.trimmed().isEmpty() && code.trimmed().isEmpty())
        return items;
    // Several items in one cell are separated by a semicolon or a line break;
    // a comma only when every part ends in a count, since titles hold commas.
    static const QRegularExpression strong(QStringLiteral("[；;\\n\\r]+"));
    QStringList parts = whole.split(strong, Qt::SkipEmptyParts);
    if (parts.size() == 1) {
        static const QRegularExpression weak(QStringLiteral("[，,、]"));
        const QStringList commaParts = whole.split(weak, Qt::SkipEmptyParts);
        const bool counted = commaParts.size() > 1 &&
                             std::all_of(commaParts.cbegin(), commaParts.cend(), [](const QString &part) {
                                 return countAtEnd().match(part).hasMatch();
                             });
        if (counted)
            parts = commaParts;
    }
    if (parts.isEmpty())
        parts.append(QString());
    for (const QString &part : parts) {
        OrderItem item;
        QString name = part.trimmed();
        const QRegularExpressionMatch count = countAtEnd().match(name);
        if (count.hasMatch() && count.capturedStart() > 0) {
            item.quantity = std::clamp(digitsValue(count.captured(1)), 0, MaxQuantity);
            name.truncate(count.capturedStart());
        } else if (parts.size() == 1 && quantity > 0) {
            item.quantity = std::min(quantity, MaxQuantity);
        }
        item.title = name.trimmed();
        if (parts.size() == 1) {
            item.spec = spec.trimmed();
            item.code = code.trimmed();
        }
        items.append(item);
    }
    return items;
}

QString OrderItem::listText(const QList<OrderItem> &items)
{
    QStringList texts;
    for (const OrderItem &item : items)
        texts.append(item.text());
    return texts.join(QStringLiteral("；"));
}
