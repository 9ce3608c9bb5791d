#include "addressbook/parsing/addressparser.h"

#include "addressbook/parsing/regiontable.h"

#include <algorithm>

namespace {

using Field = ParsedAddress::Field;

bool isSeparator(QChar c)
{
    static const QStringView separators = u",;|:、。!?【】\"“”";
    return c.isSpace() || separators.contains(c);
}

// Full-width digits, letters and the punctuation that separates fields become their
// ASCII forms, so that one set of patterns reads both; everything else stays as typed.
QString normalised(const QString &text)
{
    static const QStringView folded = u"＋－：，；！？＃＊［］";
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= u'０' && u <= u'９') || (u >= u'Ａ' && u <= u'Ｚ') || (u >= u'ａ' && u <= u'ｚ') ||
            folded.contains(c))
            out.append(QChar(char16_t(u - 0xFEE0)));
        else if (u == 0x3000 || u == u'\r')
            out.append(u == u'\r' ? u'\n' : u' ');
        else if (u == 0x2013 || u == 0x2014)
            out.append(u'-');
        else if (u != 0x200B && u != 0xFEFF)
            out.append(c);
    }
    return out;
}

bool isLatinWord(QStringView token)
{
    return std::all_of(token.begin(), token.end(),
                       [](QChar c) { return c.isLetter() && c.unicode() < 0x80; });
}

// The parts between separators; Latin words next to each other stay one ("Li Na").
QStringList tokens(QStringView text)
{
    QStringList list;
    qsizetype start = -1;
    bool lastLatin = false;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool sep = i == text.size() || isSeparator(text[i]);
        if (!sep && start < 0) {
            start = i;
        } else if (sep && start >= 0) {
            const QStringView token = text.mid(start, i - start);
            const bool latin = isLatinWord(token);
            if (latin && lastLatin)
                list.last() += u' ' + token.toString();
            else
                list.append(token.toString());
            lastLatin = latin;
            start = -1;
        }
    }
    return list;
}

// Between region names shops also write "广东省/深圳市/南山区" or "广东-深圳".
int skipBetweenRegions(const QString &text, int pos)
{
    while (pos < text.size() && (isSeparator(text[pos]) || text[pos] == u'/' || text[pos] == u'-'))
        ++pos;
    return pos;
}

struct LabelWord
{
    QStringView word;
    int field;
};

// Longest first, so that "详细地址" wins over "地址".
const LabelWord Labels[] = {
    {u"收货人姓名", Field::Person}, {u"收件人姓名", Field::Person}, {u"客户姓名", Field::Person},
    {u"收货人", Field::Person},     {u"收件人", Field::Person},     {u"联系人", Field::Person},
    {u"寄件人", Field::Person},     {u"发件人", Field::Person},     {u"姓名", Field::Person},
    {u"名字", Field::Person},       {u"手机号码", Field::Phone},    {u"联系电话", Field::Phone},
    {u"电话号码", Field::Phone},    {u"联系方式", Field::Phone},    {u"手机号", Field::Phone},
    {u"手机", Field::Phone},        {u"电话", Field::Phone},        {u"座机", Field::Phone},
    {u"所在地区", Field::Province}, {u"所在城市", Field::Province}, {u"省市区", Field::Province},
    {u"所在地", Field::Province},   {u"地区", Field::Province},     {u"详细地址", Field::Street},
    {u"收货地址", Field::Street},   {u"收件地址", Field::Street},   {u"寄件地址", Field::Street},
    {u"街道地址", Field::Street},   {u"地址", Field::Street},       {u"邮政编码", Field::Postcode},
    {u"邮编", Field::Postcode},     {u"公司名称", Field::Company},  {u"单位名称", Field::Company},
    {u"收件单位", Field::Company},  {u"寄件单位", Field::Company},  {u"公司", Field::Company},
    {u"单位", Field::Company},
};

// Words that are never a name: left-over labels and the small talk of a chat.
const QStringView NotNames[] = {u"谢谢", u"你好", u"您好", u"麻烦", u"快递", u"发货", u"包邮", u"尽快",
                                u"收货", u"收件", u"地址", u"电话", u"手机", u"备注", u"订单", u"信息",
                                u"邮编", u"姓名", u"顺丰", u"韵达", u"亲",   u"老板"};

const QStringView FirmWords[] = {u"公司",   u"有限",   u"集团", u"商行",  u"工作室",
                                 u"经营部", u"门市部", u"商店", u"事务所"};

// Places a parcel is sent to: before the regions they name the recipient's company,
// after them they are where it goes ("珞喻路1037号 华中科技大学").
const QStringView InstitutionWords[] = {u"研究所", u"研究院", u"学校", u"学院", u"大学",
                                        u"医院",   u"银行",   u"厂",   u"校区"};

const QStringView AddressWords[] = {u"路",   u"街",   u"道",   u"巷",   u"弄",   u"胡同", u"号",   u"楼",
                                    u"室",   u"栋",   u"幢",   u"单元", u"层",   u"座",   u"村",   u"镇",
                                    u"乡",   u"园",   u"苑",   u"庭",   u"府",   u"城",   u"广场", u"大厦",
                                    u"中心", u"小区", u"公寓", u"宿舍", u"社区", u"基地", u"里",   u"门",
                                    u"院",   u"屯",   u"组",   u"期",   u"区",   u"站",   u"港"};

// The names the division table gives a city level that is no city.
const QStringView PlaceholderCities[] = {u"自治区直辖县级行政区划", u"省直辖县级行政区划", u"市辖区"};

// Towns as the statistics name them; farms, parks and development zones in the
// town table are too often a street's words to tell a district by.
bool isTownName(QStringView name)
{
    return name.endsWith(u"镇") || name.endsWith(u"乡") || name.endsWith(u"街道") || name.endsWith(u"苏木");
}

bool containsAny(QStringView text, const QStringView *words, size_t count)
{
    return std::any_of(words, words + count, [&](QStringView w) { return text.contains(w); });
}

template <size_t N> bool containsAny(QStringView text, const QStringView (&words)[N])
{
    return containsAny(text, words, N);
}

bool isFirm(QStringView token)
{
    return containsAny(token, FirmWords);
}

bool isInstitution(QStringView token)
{
    return containsAny(token, InstitutionWords);
}

bool isCompany(QStringView token)
{
    return isFirm(token) || isInstitution(token);
}

bool looksLikeAddress(QStringView token)
{
    return std::any_of(token.begin(), token.end(), [](QChar c) { return c.isDigit(); }) ||
           containsAny(token, AddressWords);
}

bool looksLikeName(QStringView token)
{
    if (containsAny(token, NotNames))
        return false;
    const bool han =
        token.size() >= 2 && token.size() <= 5 && std::all_of(token.begin(), token.end(), [](QChar c) {
            return c.script() == QChar::Script_Han || c == u'·' || c == u'•';
        });
    const bool latin = token.size() >= 2 && token.size() <= 30 &&
                       std::all_of(token.begin(), token.end(),
                                   [](QChar c) { return c.unicode() < 0x80 && (c.isLetter() || c == u' '); });
    return han || latin;
}

// "收货人张三" -> "张三", "地址" -> "": labels typed without a colon.
QString withoutLabel(QString token)
{
    for (const LabelWord &label : Labels) {
        if (token.startsWith(label.word)) {
            token.remove(0, label.word.size());
            break;
        }
    }
    return token;
}

QString joined(const QStringList &texts)
{
    return texts.join(u"、");
}

} // namespace

struct AddressParser::Labelled
{
    std::array<QString, ParsedAddress::FieldCount> values;
    QString personDoubt;
};

struct AddressParser::Chain
{
    int start = -1;
    int end = -1;
    int province = -1;
    int city = -1;
    int district = -1;
    int levels = 0;
    int fullNames = 0;
    bool atTokenStart = false;
    QString doubt;
    int doubtFields = 0; // bits of Field
    // A district named alone whose name stands for several: all of them, and
    // whether the rest of the text left it open which one is meant.
    QVarLengthArray<int, 4> shared;
    bool undecided = false;
    QString clue; // the city or province name elsewhere that decided it
    int town = -1;
    int townAt = -1; // where a town would stand, after the regions

    bool found() const { return start >= 0; }
    int score() const
    {
        return levels * 10 + fullNames * 3 - (doubt.isEmpty() ? 0 : 5) + (atTokenStart ? 1 : 0);
    }
};

AddressParser::AddressParser(const RegionTable &regions) : m_regions(regions)
{
    QStringList words;
    for (const LabelWord &label : Labels)
        words.append(label.word.toString());
    m_label = QRegularExpression(QStringLiteral("(") + words.join(u'|') + QStringLiteral(")\\s*:\\s*"));
    // +86 only where no word or number runs into it, or "路86 138…" would lose its 86.
    // A number never runs over a line break. Digits are ASCII ones: full-width digits
    // are folded before, other scripts' digits are no phone number.
    // Web shops hide a buyer's number behind a shared one and an extension, written
    // "13812345678-7804", "13812345678转7804", "138****5678[7804]" or followed by
    // "分机号 7804"; the courier needs both parts, so the extension stays with it.
    m_mobile = QRegularExpression(QStringLiteral(
        R"((?:(?<![0-9A-Za-z\p{Han}])\+?86[ \t-]?|(?<![0-9]))(1[3-9][0-9](?:[ \t-]?[0-9]){8}|1[3-9][0-9]\*{4}[0-9]{4})(?![0-9]))"
        R"((?:[ \t]*-[ \t]*(?<dash>[0-9]{1,6})|[ \t]*转[ \t]*(?<turn>[0-9]{1,6})|[ \t]*\[[ \t]*(?<bracket>[0-9]{1,6})[ \t]*\])"
        R"(|[\s,]*分机号?[ \t]*:?[ \t]*(?<extension>[0-9]{1,6}))?(?![0-9]))"));
    // Area codes: 010 and 02x have three digits, all others four.
    m_landline = QRegularExpression(QStringLiteral(
        R"((?<![0-9])(?:\((0(?:[12][0-9]|[3-9][0-9]{2}))\)|(0(?:[12][0-9]|[3-9][0-9]{2})))[ \t-]?([0-9]{7,8}|[0-9]{3,4}[ \t-][0-9]{4})(?:(?:-|[ \t]*转[ \t]*)([0-9]{1,5}))?(?![0-9]))"));
    // "(310012)": the brackets go with the postcode.
    m_postcode = QRegularExpression(QStringLiteral(
        R"([(（][ \t]*([0-9]{6})[ \t]*[)）]|(?<![0-9-])([0-9]{6})(?![0-9]|[号室栋幢楼层弄座#-]|单元))"));
    m_gluedName = QRegularExpression(QStringLiteral(R"([号室楼层栋座幢]([\p{Han}]{2,3})$)"));
    // Compiled now, with the table load, rather than in the user's first parse.
    for (const QRegularExpression *re : {&m_label, &m_mobile, &m_landline, &m_postcode, &m_gluedName})
        re->optimize();
}

ParsedAddress AddressParser::parse(const QString &input) const
{
    return parseText(input, false);
}

ParsedAddress AddressParser::parseAddress(const QString &input) const
{
    return parseText(input, true);
}

ParsedAddress AddressParser::parseText(const QString &input, bool wholeIsAddress) const
{
    ParsedAddress result;
    QString text = normalised(input);

    const QStringList phones = takePhones(text);
    const QStringList postcodes = takePostcodes(text);
    const Labelled labelled = takeLabels(text);
    const QString &labelledPerson = labelled.values[Field::Person];

    const Chain chain = findRegions(text);
    const QString prefix = chain.found() ? text.left(chain.start) : text;
    const QString tail = chain.found() ? text.mid(chain.end) : QString();
    const bool gluedToRegions = !tail.isEmpty() && !isSeparator(tail.front());

    QStringList names; // strong candidates, in the order they came
    QStringList companies;
    QStringList detail;
    int weakName = -1; // a detail part that may be a name after all ("王小园")

    for (const QString &raw : tokens(prefix)) {
        const QString token = withoutLabel(raw);
        if (token.isEmpty())
            continue;
        if (wholeIsAddress) {
            if (!chain.found())
                detail.append(token);
        } else if (isCompany(token))
            companies.append(token);
        // Before the regions a name may well hold 园 or 城: the detail comes after them.
        else if (looksLikeName(token) && labelledPerson.isEmpty() &&
                 (chain.found() || !looksLikeAddress(token)))
            names.append(token);
        else if (!chain.found() && looksLikeAddress(token))
            detail.append(token);
    }
    // The parts after the regions with the line each stands on: a line break, or a
    // number taken out, is where one field may end and another begin.
    struct Part
    {
        QString text;
        int line;
    };
    QList<Part> parts;
    const QStringList tailLines = tail.split(u'\n');
    for (int l = 0; l < tailLines.size(); ++l) {
        for (const QString &token : tokens(tailLines[l]))
            parts.append({token, l});
    }
    auto partText = [&](int k) {
        return k == 0 && gluedToRegions ? parts[k].text : withoutLabel(parts[k].text);
    };
    // A company written on the line of the street belongs to the street
    // ("科苑路15号 某某科技有限公司"); it stands apart only on a line of its own.
    QList<int> streetLines;
    for (int k = 0; k < parts.size(); ++k) {
        const QString token = partText(k);
        if ((k == 0 && gluedToRegions) ||
            (!isFirm(token) && (looksLikeAddress(token) || isInstitution(token))))
            streetLines.append(parts[k].line);
    }
    int tailCompany = -1;
    for (int k = 0; k < parts.size(); ++k) {
        const QString token = partText(k);
        if (token.isEmpty())
            continue;
        if (wholeIsAddress) {
            detail.append(token);
            continue;
        }
        const bool name = looksLikeName(token) && labelledPerson.isEmpty();
        const bool address = looksLikeAddress(token) || isInstitution(token);
        if (isFirm(token) && !(k == 0 && gluedToRegions)) {
            if (streetLines.contains(parts[k].line)) {
                detail.append(token);
            } else {
                if (tailCompany < 0)
                    tailCompany = int(companies.size());
                companies.append(token);
            }
        } else if (detail.isEmpty() && (gluedToRegions || !name || address)) {
            detail.append(token);
        } else if (address) {
            if (name && token.size() <= 3)
                weakName = int(detail.size());
            detail.append(token);
        } else if (name) {
            names.append(token);
        } else if (!labelledPerson.isEmpty() && !containsAny(token, NotNames)) {
            detail.append(token);
        }
    }
    // After the regions there was only a company: it is where the parcel goes.
    QString streetDoubt;
    if (detail.isEmpty() && tailCompany >= 0 && labelled.values[Field::Street].isEmpty()) {
        detail.append(companies.takeAt(tailCompany));
        streetDoubt = QStringLiteral("详细地址只有单位名称“") + detail.first() + QStringLiteral("”");
    }

    // "南山区科技园… 深圳": the word that told the district is no name.
    if (!chain.clue.isEmpty())
        names.removeAll(chain.clue);
    QString &person = result.values[Field::Person];
    person = labelledPerson;
    result.doubts[Field::Person] = labelled.personDoubt;
    if (person.isEmpty() && !names.isEmpty()) {
        person = names.first();
        if (names.size() > 1)
            result.doubts[Field::Person] = QStringLiteral("有多个可能的姓名：") + joined(names);
    }
    if (person.isEmpty() && weakName > 0) {
        person = detail.takeAt(weakName);
        result.doubts[Field::Person] = QStringLiteral("“") + person + QStringLiteral("”也可能是地址的一部分");
    }

    QString street = labelled.values[Field::Street].isEmpty() || chain.found()
                         ? detail.join(QString())
                         : labelled.values[Field::Street];
    const RegionTable::Names regionNames = m_regions.names(chain.province, chain.city, chain.district);
    QStringList repeated{regionNames.province, regionNames.city, regionNames.district};
    for (int level = RegionTable::Province; level <= RegionTable::District; ++level) {
        const int index = level == RegionTable::Province ? chain.province
                          : level == RegionTable::City   ? chain.city
                                                         : chain.district;
        if (index >= 0)
            repeated.append(m_regions.region(RegionTable::Level(level), index).name);
    }
    // "成武县党集镇": a town the statistics name after its county keeps its name.
    const bool townFirst = chain.town >= 0 && street.startsWith(m_regions.town(chain.town).name);
    if (!townFirst)
        street = stripRegionNames(street, repeated);
    // A name typed straight after the house number: "科苑路15号张三".
    if (person.isEmpty() && !wholeIsAddress) {
        const QRegularExpressionMatch m = m_gluedName.match(street);
        if (m.hasMatch() && looksLikeName(m.capturedView(1)) && !looksLikeAddress(m.capturedView(1))) {
            person = m.captured(1);
            street.chop(person.size());
        }
    }
    result.values[Field::Street] = street;
    result.doubts[Field::Street] = street.isEmpty() ? QStringLiteral("没有详细地址") : streetDoubt;
    if (person.isEmpty() && !wholeIsAddress)
        result.doubts[Field::Person] = QStringLiteral("没有找到姓名");

    QString &company = result.values[Field::Company];
    company = labelled.values[Field::Company];
    if (company.isEmpty() && !companies.isEmpty()) {
        company = companies.first();
        if (companies.size() > 1)
            result.doubts[Field::Company] = QStringLiteral("有多个可能的单位：") + joined(companies);
    }

    result.values[Field::Province] = regionNames.province;
    result.values[Field::City] = regionNames.city;
    result.values[Field::District] = regionNames.district;
    if (chain.town >= 0)
        result.town = m_regions.town(chain.town).name;
    if (chain.undecided) {
        // No guess at the city; the district only where every candidate bears its name.
        result.values[Field::Province].clear();
        result.values[Field::City].clear();
        for (int d : chain.shared) {
            if (m_regions.region(RegionTable::District, d).name != regionNames.district)
                result.values[Field::District].clear();
        }
    }
    if (!chain.found()) {
        for (Field f : {Field::Province, Field::City, Field::District})
            result.doubts[f] = QStringLiteral("没有识别出省、市、区/县");
    } else {
        for (Field f : {Field::Province, Field::City, Field::District}) {
            if (chain.doubtFields & (1 << f))
                result.doubts[f] = chain.doubt;
        }
        const int city =
            chain.district >= 0 ? m_regions.region(RegionTable::District, chain.district).parent : chain.city;
        const bool countyLevelCity = city >= 0 && m_regions.governsCountiesDirectly(city);
        if (regionNames.city.isEmpty() && result.doubts[Field::City].isEmpty())
            result.doubts[Field::City] = QStringLiteral("没有识别出城市");
        if (regionNames.district.isEmpty() && !countyLevelCity && result.doubts[Field::District].isEmpty())
            result.doubts[Field::District] = QStringLiteral("没有识别出区/县");
    }

    if (!phones.isEmpty())
        result.values[Field::Phone] = phones.first();
    if (phones.isEmpty())
        result.doubts[Field::Phone] = QStringLiteral("没有找到电话号码");
    else if (phones.size() > 1)
        result.doubts[Field::Phone] = QStringLiteral("有多个电话号码：") + joined(phones);

    if (!postcodes.isEmpty())
        result.values[Field::Postcode] = postcodes.first();
    if (postcodes.size() > 1)
        result.doubts[Field::Postcode] = QStringLiteral("有多个可能的邮编：") + joined(postcodes);
    return result;
}

QStringList AddressParser::takePhones(QString &text) const
{
    struct Found
    {
        qsizetype start;
        qsizetype length;
        QString number;
    };
    std::vector<Found> found;
    for (auto it = m_mobile.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString number = m.captured(1);
        number.removeIf([](QChar c) { return (c < u'0' || c > u'9') && c != u'*'; });
        if (m.hasCaptured(u"dash"))
            number += u'-' + m.captured(u"dash");
        else if (m.hasCaptured(u"turn"))
            number += u'转' + m.captured(u"turn");
        else if (m.hasCaptured(u"bracket"))
            number += u'[' + m.captured(u"bracket") + u']';
        else if (m.hasCaptured(u"extension"))
            number += QStringLiteral(" 分机号") + m.captured(u"extension");
        found.push_back({m.capturedStart(), m.capturedLength(), number});
    }
    // Mobiles first, so that a landline never reads a piece of one.
    for (const Found &f : found)
        text.replace(f.start, f.length, QString(f.length, u'\n'));
    for (auto it = m_landline.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        // "0755-8765-4321": the number in two groups is one number.
        QString local = m.captured(3);
        local.removeIf([](QChar c) { return c < u'0' || c > u'9'; });
        QString number = (m.hasCaptured(1) ? m.captured(1) : m.captured(2)) + u'-' + local;
        if (m.hasCaptured(4))
            number += u'-' + m.captured(4);
        found.push_back({m.capturedStart(), m.capturedLength(), number});
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) { return a.start < b.start; });
    QStringList numbers;
    for (const Found &f : found) {
        text.replace(f.start, f.length, QString(f.length, u'\n'));
        if (!numbers.contains(f.number))
            numbers.append(f.number);
    }
    return numbers;
}

QString AddressParser::phoneIn(const QString &cell) const
{
    QString text = normalised(cell);
    const QStringList numbers = takePhones(text);
    return numbers.isEmpty() ? cell.simplified() : numbers.first();
}

bool AddressParser::isPlaceholderCity(QStringView name)
{
    const QStringView trimmed = name.trimmed();
    return trimmed == u"县" || std::find(std::begin(PlaceholderCities), std::end(PlaceholderCities),
                                         trimmed) != std::end(PlaceholderCities);
}

bool AddressParser::nameLooksLikeAddress(const QString &name) const
{
    if (std::any_of(name.begin(), name.end(), [](QChar c) { return c.isDigit(); }))
        return true;
    if (name.size() > 4 && containsAny(name, AddressWords))
        return true;
    const Chain chain = findRegions(name);
    return chain.found() && chain.end - chain.start >= 3;
}

QStringList AddressParser::takePostcodes(QString &text) const
{
    QStringList codes;
    for (auto it = m_postcode.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        text.replace(m.capturedStart(), m.capturedLength(), QString(m.capturedLength(), u'\n'));
        const QString code = m.hasCaptured(1) ? m.captured(1) : m.captured(2);
        if (!codes.contains(code))
            codes.append(code);
    }
    return codes;
}

AddressParser::Labelled AddressParser::takeLabels(QString &text) const
{
    Labelled labelled;
    QList<QRegularExpressionMatch> matches;
    for (auto it = m_label.globalMatch(text); it.hasNext();)
        matches.append(it.next());
    if (matches.isEmpty())
        return labelled;

    QString rest = text.left(matches.first().capturedStart());
    QString regions;
    for (int i = 0; i < matches.size(); ++i) {
        const QRegularExpressionMatch &m = matches[i];
        const qsizetype end = i + 1 < matches.size() ? matches[i + 1].capturedStart() : text.size();
        QString value = text.mid(m.capturedEnd(), end - m.capturedEnd());
        const int field = std::find_if(std::begin(Labels), std::end(Labels), [&](const LabelWord &l) {
                              return l.word == m.capturedView(1);
                          })->field;
        QString trimmed = value;
        while (!trimmed.isEmpty() && isSeparator(trimmed.back()))
            trimmed.chop(1);
        while (!trimmed.isEmpty() && isSeparator(trimmed.front()))
            trimmed.remove(0, 1);
        if (field == Field::Person) {
            // "收件人：张三 广东省深圳市…": the name is the first word of its line, the
            // rest of the line is an address like any other.
            const qsizetype lineEnd = trimmed.indexOf(u'\n');
            const QString line = trimmed.left(lineEnd).simplified();
            QString after = lineEnd >= 0 ? trimmed.mid(lineEnd) : QString();
            const QStringList words = tokens(line);
            QString name = words.isEmpty() ? QString() : words.first();
            after.prepend(line.mid(line.indexOf(name) + name.size()) + u'\n');
            // "收件人：张三广东省深圳市…": the name ends where the regions begin.
            const Chain glued = findRegions(name);
            if (glued.found() && glued.start > 0 && looksLikeName(name.left(glued.start))) {
                after.prepend(name.mid(glued.start) + u' ');
                name.truncate(glued.start);
            }
            if (labelled.values[field].isEmpty()) {
                labelled.values[field] = name;
                if (nameLooksLikeAddress(name))
                    labelled.personDoubt = QStringLiteral("“") + name + QStringLiteral("”像是地址，不像姓名");
            }
            rest += u'\n' + after;
        } else if (field == Field::Company) {
            // A field is one line; what follows on later lines is parsed freely.
            const qsizetype lineEnd = trimmed.indexOf(u'\n');
            if (labelled.values[field].isEmpty())
                labelled.values[field] = trimmed.left(lineEnd).simplified();
            if (lineEnd >= 0)
                rest += trimmed.mid(lineEnd);
        } else if (field == Field::Province) {
            regions += u' ' + trimmed;
        } else if (field == Field::Street) {
            labelled.values[Field::Street] += u' ' + trimmed;
        } else {
            rest += u'\n' + value;
        }
    }
    // The regions go in front of the detail, where the region search expects them.
    text = rest + u'\n' + regions + u' ' + labelled.values[Field::Street];
    labelled.values[Field::Street] = labelled.values[Field::Street].simplified();
    return labelled;
}

AddressParser::Chain AddressParser::findRegions(const QString &text) const
{
    Chain best;
    for (int i = 0; i < text.size(); ++i) {
        if (isSeparator(text[i]))
            continue;
        const quint32 lengths = m_regions.nameLengths(text[i]);
        for (int length = 31; length >= 2 && lengths; --length) {
            if (!(lengths & (quint32(1) << length)) || i + length > text.size())
                continue;
            const RegionTable::Refs &refs = m_regions.find(QStringView(text).mid(i, length));
            if (refs.isEmpty())
                continue;
            for (const RegionTable::Ref &ref : refs) {
                if (!ref.fullName && !shortFormFits(text, i + length))
                    continue;
                Chain chain;
                chain.atTokenStart = i == 0 || isSeparator(text[i - 1]);
                chainFrom(chain, i, i + length, ref.level, ref.index, ref.fullName, text);
                if (ref.level == RegionTable::District) {
                    QStringList cities;
                    for (const RegionTable::Ref &other : refs) {
                        if (other.level == RegionTable::District) {
                            const int city = m_regions.region(RegionTable::District, other.index).parent;
                            const RegionTable::Names n = m_regions.names(-1, city, other.index);
                            cities.append(n.province + n.city);
                            chain.shared.append(other.index);
                        }
                    }
                    if (cities.size() < 2)
                        chain.shared.clear();
                    if (cities.size() > 1) {
                        chain.doubt = QStringLiteral("“") + text.mid(i, length) +
                                      QStringLiteral("”有多处：") + joined(cities);
                        chain.doubtFields = 1 << Field::Province | 1 << Field::City | 1 << Field::District;
                    }
                }
                const bool accepted =
                    chain.levels >= 2 || (chain.fullNames >= 1 && (length >= 3 || chain.atTokenStart));
                if (accepted && (!best.found() || chain.score() > best.score()))
                    best = chain;
            }
        }
    }
    if (!best.found())
        best = loneTown(text);
    if (!best.shared.isEmpty())
        chooseShared(best, text);
    return best;
}

// No region named, but a town whose name is found in one district only: "粤海街道科技园…".
AddressParser::Chain AddressParser::loneTown(const QString &text) const
{
    Chain chain;
    for (int i = 0; i < text.size(); ++i) {
        if (i > 0 && !isSeparator(text[i - 1]))
            continue;
        int length = 0;
        const RegionTable::TownRefs &towns = townsAt(text, i, &length);
        if (towns.size() != 1 || !isTownName(QStringView(text).mid(i, length)))
            continue;
        chain.start = chain.end = chain.townAt = i;
        chain.town = towns.first();
        chain.district = m_regions.town(chain.town).district;
        chain.levels = 1;
        chain.atTokenStart = true;
        break;
    }
    return chain;
}

// "南山区科技园…": of the districts of that name, the one whose city or province the
// rest of the text names; with none or several, no guess.
void AddressParser::chooseShared(Chain &chain, const QString &text) const
{
    using L = RegionTable::Level;
    QString clue;
    auto named = [&](const QString &name, bool full) {
        for (qsizetype at = text.indexOf(name); !name.isEmpty() && at >= 0; at = text.indexOf(name, at + 1)) {
            const int end = int(at + name.size());
            if ((end <= chain.start || at >= chain.end) && (full || shortFormFits(text, end))) {
                clue = name;
                return true;
            }
        }
        return false;
    };
    auto namedRegion = [&](const RegionTable::Region &r) {
        return named(r.name, true) || named(r.shortName, false);
    };
    int chosen = -1;
    int fitting = 0;
    for (int district : chain.shared) {
        const int city = m_regions.region(L::District, district).parent;
        const int province = m_regions.region(L::City, city).parent;
        const bool fits =
            (!m_regions.isPlaceholderCity(city) && namedRegion(m_regions.region(L::City, city))) ||
            namedRegion(m_regions.region(L::Province, province));
        if (fits) {
            chosen = district;
            chain.clue = clue;
            ++fitting;
        }
    }
    // A town after the district tells it too, unless the names elsewhere say otherwise.
    int length = 0;
    int townFits = 0;
    int townDistrict = -1;
    int townChosen = -1;
    for (int town : townsAt(text, chain.townAt, &length)) {
        const int district = m_regions.town(town).district;
        if (std::find(chain.shared.begin(), chain.shared.end(), district) != chain.shared.end()) {
            if (townFits == 0 || district != townDistrict)
                ++townFits;
            townDistrict = district;
            townChosen = town;
        }
    }
    if (townFits > 1 || (townFits == 1 && fitting == 1 && chosen != townDistrict)) {
        fitting = 2;
    } else if (townFits == 1) {
        fitting = 1;
        chosen = townDistrict;
    }
    chain.town = townFits == 1 ? townChosen : -1;
    if (fitting == 1) {
        chain.district = chosen;
        chain.doubt.clear();
        chain.doubtFields = 0;
    } else {
        chain.undecided = true;
        chain.town = -1;
    }
}

void AddressParser::chainFrom(Chain &chain, int start, int end, int level, int index, bool fullName,
                              const QString &text) const
{
    using L = RegionTable::Level;
    chain.start = start;
    chain.end = end;
    chain.levels = 1;
    chain.fullNames = fullName ? 1 : 0;
    int pos = skipBetweenRegions(text, end);
    int found = -1;
    bool full = false;
    auto take = [&](int &slot) {
        slot = found;
        chain.end = pos;
        ++chain.levels;
        chain.fullNames += full ? 1 : 0;
        pos = skipBetweenRegions(text, pos);
    };
    // "济南市中区" is 济南 + 市中区: the 市 that ended the city may begin its district.
    // "准格尔召镇" is a town of 准格尔旗, not 准格尔 + "召镇": a town of the city
    // that goes on longer than a district's short form wins.
    auto townGoesOn = [&](int city, int from, int length) {
        int townLength = 0;
        const RegionTable::TownRefs &towns = townsAt(text, from, &townLength);
        return townLength > length && std::any_of(towns.begin(), towns.end(), [&](int t) {
                   return m_regions.region(L::District, m_regions.town(t).district).parent == city;
               });
    };
    auto districtOf = [&](int city, int &p) {
        const int from = p;
        if (matchIn(text, p, L::District, L::City, city, &found, &full)) {
            if (full || !townGoesOn(city, from, p - from))
                return true;
            p = from;
            return false;
        }
        int back = chain.end - 1;
        if (text[back] != u'市' || !matchIn(text, back, L::District, L::City, city, &found, &full))
            return false;
        p = back;
        return true;
    };
    // "河北省承德市钢城街道": a town of the regions found beats a district of that
    // name elsewhere (嘉峪关's 钢城街道).
    auto townHere = [&](int from) {
        int townLength = 0;
        const RegionTable::TownRefs &towns = townsAt(text, from, &townLength);
        return std::any_of(towns.begin(), towns.end(), [&](int t) {
            const int district = m_regions.town(t).district;
            return chain.city >= 0 ? m_regions.region(L::District, district).parent == chain.city
                                   : m_regions.provinceOf(L::District, district) == chain.province;
        });
    };
    auto unfit = [&](L foundLevel, const QString &above) {
        chain.doubt = QStringLiteral("“") + m_regions.region(foundLevel, found).name +
                      QStringLiteral("”不属于") + above;
        chain.doubtFields = 1 << Field::Province | 1 << Field::City | 1 << Field::District;
    };

    if (level == L::Province) {
        chain.province = index;
        // "北京市北京市朝阳区": a municipality is written again as its city.
        if (m_regions.isMunicipality(index) && matchIn(text, pos, L::Province, -1, -1, &found, &full) &&
            found == index) {
            chain.end = pos;
            pos = skipBetweenRegions(text, pos);
        }
        // Copied from the division table's own levels: "湖北省省直辖县级行政区划潜江市".
        for (QStringView placeholder : PlaceholderCities) {
            if (QStringView(text).mid(pos).startsWith(placeholder)) {
                pos += int(placeholder.size());
                chain.end = pos;
                pos = skipBetweenRegions(text, pos);
                break;
            }
        }
        int p = pos;
        if (matchIn(text, p, L::City, L::Province, index, &found, &full)) {
            pos = p;
            take(chain.city);
        }
        p = pos;
        if (chain.city >= 0 && districtOf(chain.city, p)) {
            pos = p;
            take(chain.district);
        } else if (chain.city < 0 && matchIn(text, p, L::District, L::Province, index, &found, &full)) {
            pos = p;
            take(chain.district);
        } else if (chain.city < 0 && matchIn(text, p, L::City, -1, -1, &found, &full)) {
            unfit(L::City, m_regions.region(L::Province, index).name);
            pos = p;
            take(chain.city);
            chain.province = -1;
        } else if (!townHere(p) && matchIn(text, p, L::District, -1, -1, &found, &full)) {
            unfit(L::District, chain.city >= 0 ? m_regions.names(-1, chain.city, -1).city
                                               : m_regions.region(L::Province, index).name);
            pos = p;
            take(chain.district);
            chain.city = -1;
            chain.province = -1;
        }
    } else if (level == L::City) {
        chain.city = index;
        int p = pos;
        if (districtOf(index, p)) {
            pos = p;
            take(chain.district);
        } else if (!townHere(p) && matchIn(text, p, L::District, -1, -1, &found, &full)) {
            unfit(L::District, m_regions.names(-1, index, -1).city);
            pos = p;
            take(chain.district);
            chain.city = -1;
        }
    } else {
        chain.district = index;
    }
    followWithTown(chain, text);
}

// A town or street office after the regions: it belongs to the district found, or
// tells which district is meant when the text leaves that out ("广东深圳粤海街道").
void AddressParser::followWithTown(Chain &chain, const QString &text) const
{
    using L = RegionTable::Level;
    chain.townAt = skipBetweenRegions(text, chain.end);
    int length = 0;
    const RegionTable::TownRefs &towns = townsAt(text, chain.townAt, &length);
    if (towns.isEmpty())
        return;
    auto under = [&](int town) {
        const int district = m_regions.town(town).district;
        if (chain.district >= 0)
            return district == chain.district;
        if (chain.city >= 0)
            return m_regions.region(L::District, district).parent == chain.city;
        return chain.province >= 0 && m_regions.provinceOf(L::District, district) == chain.province;
    };
    int match = -1;
    int matches = 0;
    for (int town : towns) {
        if (under(town)) {
            match = town;
            ++matches;
        }
    }
    const QString name = text.mid(chain.townAt, length);
    if (chain.district >= 0) {
        if (matches > 0) {
            chain.town = match;
            ++chain.levels; // a chain that explains more of the text is the likelier
        } else if (chain.doubt.isEmpty() && isTownName(name)) {
            chain.doubt = QStringLiteral("“") + name + QStringLiteral("”不在") +
                          m_regions.region(L::District, chain.district).name;
            chain.doubtFields = 1 << Field::District;
        }
    } else if (matches == 1) {
        chain.town = match;
        chain.district = m_regions.town(match).district;
        ++chain.levels;
    } else if (matches > 1 && chain.doubt.isEmpty()) {
        chain.doubt = QStringLiteral("“") + name + QStringLiteral("”有多处，没有写区/县");
        chain.doubtFields = 1 << Field::District;
    }
}

// The towns of the longest town name that begins at pos.
const RegionTable::TownRefs &AddressParser::townsAt(const QString &text, int pos, int *length) const
{
    static const RegionTable::TownRefs none;
    if (pos >= text.size())
        return none;
    const quint32 lengths = m_regions.townNameLengths(text[pos]);
    for (int n = 31; n >= 2 && lengths; --n) {
        if (!(lengths & (quint32(1) << n)) || pos + n > text.size())
            continue;
        const RegionTable::TownRefs &towns = m_regions.findTowns(QStringView(text).mid(pos, n));
        if (!towns.isEmpty()) {
            *length = n;
            return towns;
        }
    }
    return none;
}

bool AddressParser::matchIn(const QString &text, int &pos, int level, int parentLevel, int parent, int *found,
                            bool *fullName) const
{
    if (pos >= text.size())
        return false;
    const quint32 lengths = m_regions.nameLengths(text[pos]);
    for (int length = 31; length >= 2 && lengths; --length) {
        if (!(lengths & (quint32(1) << length)) || pos + length > text.size())
            continue;
        for (const RegionTable::Ref &ref : m_regions.find(QStringView(text).mid(pos, length))) {
            if (ref.level != level)
                continue;
            // Outside the regions named before, only a full name counts.
            if (parent < 0 && !ref.fullName)
                continue;
            if (!ref.fullName && !shortFormFits(text, pos + length))
                continue;
            if (parent >= 0) {
                const int owner = parentLevel == RegionTable::Province
                                      ? m_regions.provinceOf(RegionTable::Level(level), ref.index)
                                      : m_regions.region(RegionTable::Level(level), ref.index).parent;
                if (owner != parent)
                    continue;
            }
            *found = ref.index;
            *fullName = ref.fullName;
            pos += length;
            return true;
        }
    }
    return false;
}

// A short form ("南山", "北京") is a region only when no road or place name goes on
// from it ("南山大道", "北京路" are streets), unless another region follows it
// ("江苏镇江", "北京门头沟区").
bool AddressParser::shortFormFits(const QString &text, int end) const
{
    if (end >= text.size())
        return true;
    const quint32 lengths = m_regions.nameLengths(text[end]);
    for (int length = 2; length < 32 && end + length <= text.size(); ++length) {
        if (!(lengths & (quint32(1) << length)))
            continue;
        if (!m_regions.find(QStringView(text).mid(end, length)).isEmpty())
            return true;
    }
    static const QStringView roadChars = u"路街道巷弄桥村里庄门镇乡湖";
    static const QStringView roadWords[] = {u"大道", u"大街", u"大厦", u"广场", u"花园", u"小区",
                                            u"公园", u"中心", u"新城", u"大桥", u"国际"};
    if (roadChars.contains(text[end]))
        return false;
    const QStringView next = QStringView(text).mid(end);
    return std::none_of(std::begin(roadWords), std::end(roadWords),
                        [&](QStringView w) { return next.startsWith(w); });
}

QString AddressParser::stripRegionNames(QString detail, const QStringList &names) const
{
    bool stripped = true;
    while (stripped) {
        stripped = false;
        detail = detail.trimmed();
        while (!detail.isEmpty() && (isSeparator(detail.front()) || detail.front() == u'/'))
            detail.remove(0, 1);
        for (const QString &name : names) {
            if (!name.isEmpty() && detail.startsWith(name) && detail.size() > name.size()) {
                detail.remove(0, name.size());
                stripped = true;
            }
        }
    }
    return detail;
}
