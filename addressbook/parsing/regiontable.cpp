#include "addressbook/parsing/regiontable.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// Peoples named in autonomous regions, prefectures, counties and banners; one-character
// names only count with "族" after them ("回族"), or they would eat place names.
const QStringView Peoples[] = {
    u"蒙古", u"回",   u"藏",   u"维吾尔", u"苗",     u"彝",     u"壮",       u"布依",   u"朝鲜",   u"满",
    u"侗",   u"瑶",   u"白",   u"土家",   u"哈尼",   u"哈萨克", u"傣",       u"黎",     u"傈僳",   u"佤",
    u"畲",   u"拉祜", u"水",   u"东乡",   u"纳西",   u"景颇",   u"柯尔克孜", u"土",     u"达斡尔", u"仫佬",
    u"羌",   u"布朗", u"撒拉", u"毛南",   u"仡佬",   u"锡伯",   u"普米",     u"塔吉克", u"怒",     u"鄂温克",
    u"保安", u"裕固", u"京",   u"独龙",   u"鄂伦春", u"各"};

// "延边朝鲜族" -> "延边", "湘西土家族苗族" -> "湘西", "博尔塔拉蒙古" -> "博尔塔拉".
QStringView withoutPeoples(QStringView name)
{
    bool stripped = true;
    while (stripped) {
        stripped = false;
        for (QStringView people : Peoples) {
            const bool withZu = name.endsWith(u'族') && name.chopped(1).endsWith(people);
            const bool bare = people.size() > 1 && name.endsWith(people);
            // "内蒙古" keeps its "蒙古": a short form has two characters at least.
            if ((withZu || bare) && name.size() - people.size() - (withZu ? 1 : 0) >= 2) {
                name.chop(people.size() + (withZu ? 1 : 0));
                stripped = true;
                break;
            }
        }
    }
    return name;
}

// The short form people write, or an empty view when there is none.
QStringView shortName(RegionTable::Level level, QStringView name)
{
    static const QStringView autonomous[] = {u"自治区", u"自治州", u"自治县", u"自治旗"};
    for (QStringView suffix : autonomous) {
        if (name.endsWith(suffix))
            return withoutPeoples(name.chopped(suffix.size()));
    }
    QList<QStringView> suffixes;
    switch (level) {
    case RegionTable::Province:
        suffixes = {u"省", u"市"};
        break;
    case RegionTable::City:
        suffixes = {u"地区", u"盟", u"市"};
        break;
    case RegionTable::District:
        // Towns and streets (under cities without districts) are written in full.
        if (name.endsWith(u"林区") && name.size() >= 5) // 神农架林区, not 万柏林区
            return name.chopped(2);
        suffixes = {u"新区", u"区", u"县", u"市", u"旗"};
        break;
    }
    for (QStringView suffix : suffixes) {
        if (name.endsWith(suffix))
            return name.chopped(suffix.size());
    }
    return {};
}

} // namespace

bool RegionTable::load(QString *error)
{
    QFile file(QStringLiteral(":/regions/pca-code.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (!loadJson(file.readAll(), error))
        return false;
    QFile towns(QStringLiteral(":/regions/towns.txt"));
    if (!towns.open(QIODevice::ReadOnly)) {
        if (error)
            *error = towns.errorString();
        loadJson({});
        return false;
    }
    if (!loadTowns(towns.readAll(), error)) {
        loadJson({});
        return false;
    }
    QFile renamed(QStringLiteral(":/regions/renamed.txt"));
    if (!renamed.open(QIODevice::ReadOnly)) {
        if (error)
            *error = renamed.errorString();
        loadJson({});
        return false;
    }
    if (!loadRenamed(renamed.readAll(), error)) {
        loadJson({});
        return false;
    }
    return true;
}

int RegionTable::districtOfCode(const QString &code) const
{
    const auto it = m_codes.constFind(code);
    return it != m_codes.cend() && it->level == District ? it->index : -1;
}

bool RegionTable::loadRenamed(const QByteArray &text, QString *error)
{
    const QString all = QString::fromUtf8(text);
    int lineNumber = 0;
    for (QStringView line : QStringView(all).split(u'\n')) {
        ++lineNumber;
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const QList<QStringView> cells = line.split(u'\t');
        const auto it = cells.size() >= 2 ? m_codes.constFind(cells[0].toString()) : m_codes.cend();
        if (it == m_codes.cend() || cells[1].trimmed().size() < 2) {
            if (error)
                *error = QStringLiteral("旧地名表第 %1 行读不懂").arg(lineNumber);
            return false;
        }
        const Ref today = *it;
        const QString old = cells[1].trimmed().toString();
        addName(old, today);
        const QStringView alias = shortName(today.level, old);
        const Refs &already = find(alias);
        const bool known = std::any_of(already.begin(), already.end(), [&](const Ref &r) {
            return r.level == today.level && r.index == today.index;
        });
        if (alias.size() >= 2 && !known)
            addName(alias.toString(), {today.level, today.index, false});
    }
    return true;
}

bool RegionTable::loadTowns(const QByteArray &text, QString *error)
{
    m_towns.clear();
    m_townNames.clear();
    m_townLengths.clear();
    const QString all = QString::fromUtf8(text);
    m_towns.reserve(42000);
    m_townNames.reserve(40000);
    int lineNumber = 0;
    for (QStringView line : QStringView(all).split(u'\n', Qt::SkipEmptyParts)) {
        ++lineNumber;
        const qsizetype tab = line.indexOf(u'\t');
        const int district = tab > 0 ? districtOfCode(line.left(tab).toString()) : -1;
        if (district < 0) {
            if (error)
                *error = QStringLiteral("乡镇表第 %1 行的区县代码不在行政区划表里").arg(lineNumber);
            m_towns.clear();
            m_townNames.clear();
            m_townLengths.clear();
            return false;
        }
        const int city = m_regions[District][district].parent;
        const QString above[] = {m_regions[Province][m_regions[City][city].parent].name,
                                 m_regions[City][city].name, m_regions[District][district].name};
        auto addTownName = [&](QStringView name) {
            m_townNames[name.toString()].append(int(m_towns.size()) - 1);
            if (name.size() < 32)
                m_townLengths[name.front().unicode()] |= quint32(1) << name.size();
        };
        for (QStringView name : line.mid(tab + 1).split(u' ', Qt::SkipEmptyParts)) {
            m_towns.push_back({name.toString(), district});
            addTownName(name);
            // "博爱县许良镇": the statistics put some towns' county before their
            // name; people write it without.
            QStringView bare = name;
            for (const QString &region : above) {
                if (bare.startsWith(region) && bare.size() - region.size() >= 2)
                    bare = bare.mid(region.size());
            }
            if (bare.size() < name.size())
                addTownName(bare);
        }
    }
    return true;
}

const RegionTable::TownRefs &RegionTable::findTowns(QStringView text) const
{
    static const TownRefs none;
    const auto it = m_townNames.constFind(QString::fromRawData(text.data(), text.size()));
    return it == m_townNames.cend() ? none : *it;
}

bool RegionTable::loadJson(const QByteArray &json, QString *error)
{
    for (auto &level : m_regions)
        level.clear();
    m_names.clear();
    m_lengths.clear();
    m_municipalities.clear();
    m_codes.clear();
    m_towns.clear();
    m_townNames.clear();
    m_townLengths.clear();

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isArray() || document.array().isEmpty()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                  : QStringLiteral("行政区划表是空的");
        return false;
    }
    const QString codeKey = QStringLiteral("code");
    const QString nameKey = QStringLiteral("name");
    const QString childrenKey = QStringLiteral("children");
    m_names.reserve(8192);
    for (const QJsonValue &p : document.array()) {
        const QJsonObject po = p.toObject();
        add(Province, po.value(codeKey).toString(), po.value(nameKey).toString(), -1);
        const int province = count(Province) - 1;
        const QJsonArray cities = po.value(childrenKey).toArray();
        for (const QJsonValue &c : cities) {
            const QJsonObject co = c.toObject();
            add(City, co.value(codeKey).toString(), co.value(nameKey).toString(), province);
            const int city = count(City) - 1;
            const QJsonArray districts = co.value(childrenKey).toArray();
            for (const QJsonValue &d : districts) {
                const QJsonObject dobj = d.toObject();
                add(District, dobj.value(codeKey).toString(), dobj.value(nameKey).toString(), city);
            }
        }
        const bool hasCities = !m_regions[City].empty() && m_regions[City].back().parent == province;
        if (hasCities && isPlaceholderCity(count(City) - 1) && !governsCountiesDirectly(count(City) - 1))
            m_municipalities.insert(province);
    }
    return true;
}

void RegionTable::add(Level level, const QString &code, const QString &name, int parent)
{
    const QStringView alias = shortName(level, name);
    m_regions[level].push_back({code, name, alias.size() >= 2 ? alias.toString() : QString(), parent});
    const int index = int(m_regions[level].size()) - 1;
    m_codes.insert(code, {level, index, true});
    if (level == City && isPlaceholderCity(index))
        return;
    addName(name, {level, index, true});
    if (!m_regions[level].back().shortName.isEmpty())
        addName(m_regions[level].back().shortName, {level, index, false});
}

void RegionTable::addName(const QString &name, Ref ref)
{
    m_names[name].append(ref);
    if (name.size() < 32)
        m_lengths[name.front().unicode()] |= quint32(1) << name.size();
}

const RegionTable::Refs &RegionTable::find(QStringView text) const
{
    static const Refs none;
    // No copy of the text: the hash only compares it.
    const auto it = m_names.constFind(QString::fromRawData(text.data(), text.size()));
    return it == m_names.cend() ? none : *it;
}

int RegionTable::provinceOf(Level level, int index) const
{
    while (level != Province) {
        index = m_regions[level][index].parent;
        level = Level(level - 1);
    }
    return index;
}

bool RegionTable::isMunicipality(int province) const
{
    return m_municipalities.contains(province);
}

bool RegionTable::isPlaceholderCity(int city) const
{
    const QString &name = m_regions[City][city].name;
    return name == u"市辖区" || name == u"县" || governsCountiesDirectly(city);
}

bool RegionTable::governsCountiesDirectly(int city) const
{
    return m_regions[City][city].name.endsWith(u"直辖县级行政区划");
}

RegionTable::Names RegionTable::names(int province, int city, int district) const
{
    Names names;
    if (district >= 0)
        city = m_regions[District][district].parent;
    if (city >= 0)
        province = m_regions[City][city].parent;
    if (province < 0)
        return names;
    names.province = m_regions[Province][province].name;
    if (city >= 0 && governsCountiesDirectly(city)) {
        if (district >= 0)
            names.city = m_regions[District][district].name;
        return names;
    }
    if (isMunicipality(province))
        names.city = names.province;
    else if (city >= 0)
        names.city = m_regions[City][city].name;
    if (district >= 0)
        names.district = m_regions[District][district].name;
    return names;
}
