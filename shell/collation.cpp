#include "shell/collation.h"

#include <algorithm>
#include <numeric>
#include <vector>

Collation::Collation() : m_collator(QLocale(QLocale::Chinese, QLocale::China))
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

bool Collation::lessThan(const QString &a, const QString &b) const
{
    const int order = m_collator.compare(a, b);
    return order != 0 ? order < 0 : a < b;
}

void Collation::sort(QStringList &texts) const
{
    std::vector<QCollatorSortKey> keys;
    keys.reserve(texts.size());
    for (const QString &text : texts)
        keys.push_back(m_collator.sortKey(text));
    std::vector<qsizetype> order(texts.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int byKey = keys[a].compare(keys[b]);
        return byKey != 0 ? byKey < 0 : texts[a] < texts[b];
    });
    QStringList sorted;
    sorted.reserve(texts.size());
    for (qsizetype i : order)
        sorted.append(std::move(texts[i]));
    texts = std::move(sorted);
}
