#pragma once

#include <QCollator>
#include <QStringList>

// The order of every sorted list: Chinese collation (pinyin for Hanzi), letter
// case ignored. Following the Unicode rules for Chinese, Hanzi come before Latin
// letters. Texts that collate equal keep a fixed order by their code points.
class Collation
{
public:
    Collation();

    bool lessThan(const QString &a, const QString &b) const;
    // Sorts once by precomputed sort keys; fast for lists of 100,000 names.
    void sort(QStringList &texts) const;

private:
    QCollator m_collator;
};
