#include "sync/synccard.h"

#include "addressbook/vcard.h"

#include <QPair>

#include <algorithm>
#include <tuple>

namespace {

using VCard::escaped;
using VCard::folded;

enum Value { Company, Person, Province, City, District, Street, Phone, Postcode, ValueCount };

QStringList unfolded(const QByteArray &card)
{
    QStringList lines;
    for (QString line : QString::fromUtf8(card).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!lines.isEmpty() && (line.startsWith(u' ') || line.startsWith(u'\t')))
            lines.last() += QStringView(line).sliced(1);
        else if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

// A content line split into its head (group, name, parameters) and its value.
struct Line
{
    QString head;
    QString value;

    explicit Line(const QString &text)
    {
        bool inQuotes = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == u'"') {
                inQuotes = !inQuotes;
            } else if (text[i] == u':' && !inQuotes) {
                head = text.first(i);
                value = text.sliced(i + 1);
                return;
            }
        }
        head = text;
    }
    QString name() const
    {
        QString n = head.section(u';', 0, 0);
        return n.section(u'.', -1).toUpper();
    }
    bool preferred() const
    {
        const QString params = head.section(u';', 1).toUpper();
        return params.contains(QStringLiteral("PREF"));
    }
    QString text() const { return head + u':' + value; }
};

// The line the vCard reader takes for a property: the preferred one, else the first.
qsizetype chosen(const QList<Line> &lines, QStringView name)
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].name() != name)
            continue;
        if (found < 0 || (lines[i].preferred() && !lines[found].preferred()))
            found = i;
    }
    return found;
}

QStringList structured(QStringView value)
{
    QStringList parts{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            parts.last() += value[i];
            parts.last() += value[++i];
        } else if (value[i] == u';') {
            parts.append(QString());
        } else {
            parts.last() += value[i];
        }
    }
    return parts;
}

// Where a city ends and its district begins in one locality ("杭州市余杭区",
// "延边朝鲜族自治州延吉市"), as Chinese addresses are written; no district when
// the text does not read so.
QPair<QString, QString> cityAndDistrict(const QString &locality)
{
    static const QStringList cityEnds{QStringLiteral("市"), QStringLiteral("州"), QStringLiteral("盟"),
                                      QStringLiteral("地区")};
    static const QStringList districtEnds{QStringLiteral("区"), QStringLiteral("县"), QStringLiteral("市"),
                                          QStringLiteral("旗")};
    for (const QString &end : cityEnds) {
        const qsizetype at = locality.indexOf(end);
        if (at <= 0)
            continue;
        const QString district = locality.sliced(at + end.size());
        if (district.size() >= 2 && std::any_of(districtEnds.cbegin(), districtEnds.cend(),
                                                [&](const QString &e) { return district.endsWith(e); }))
            return {locality.first(at + end.size()), district};
    }
    return {locality, QString()};
}

// The ADR parts for the address: the district after the city in the locality,
// where other clients show it, when it reads back so; else in the extended
// address, as before.
void setAddress(QStringList &parts, const QStringList &values)
{
    const QString locality = values.value(City) + values.value(District);
    const bool joined = !values.value(District).isEmpty() &&
                        cityAndDistrict(locality) == qMakePair(values.value(City), values.value(District));
    parts[1] = joined ? QString() : escaped(values.value(District));
    parts[2] = escaped(values.value(Street));
    parts[3] = escaped(joined ? locality : values.value(City));
    parts[4] = escaped(values.value(Province));
    parts[5] = escaped(values.value(Postcode));
}

} // namespace

namespace SyncCard {

QByteArray create(const QStringList &values, const QString &uid, const QString &category)
{
    QStringList noAddress = values;
    for (int i : {Province, City, District, Street, Postcode})
        noAddress[i].clear();
    QByteArray card = VCard::write({noAddress});
    QByteArray extra = folded(QStringLiteral("UID:") + escaped(uid)) +
                       folded(QStringLiteral("CATEGORIES:") + escaped(category));
    if (noAddress != values) {
        QStringList parts(7);
        setAddress(parts, values);
        parts[6] = QStringLiteral("中国");
        extra.prepend(folded(QStringLiteral("ADR;TYPE=WORK:") + parts.join(u';')));
    }
    card.insert(card.lastIndexOf("END:VCARD"), extra);
    return card;
}

QByteArray patched(const QByteArray &card, const QStringList &values, const QString &category)
{
    const QStringList before = SyncCard::values(card);
    QList<Line> lines;
    for (const QString &text : unfolded(card))
        lines.append(Line(text));
    qsizetype end = lines.size();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].name() == u"END")
            end = i;
    }
    const bool version4 = [&lines] {
        for (const Line &l : lines) {
            if (l.name() == u"VERSION")
                return l.value.trimmed() == u"4.0";
        }
        return false;
    }();
    const auto set = [&](QStringView name, const QString &head, const QString &value) {
        const qsizetype at = chosen(lines, name);
        if (at >= 0) {
            lines[at].value = value;
        } else {
            Line added(head + u':' + value);
            lines.insert(end++, added);
        }
    };

    if (values.value(Company) != before.value(Company)) {
        // Keeps the departments after the organisation's name.
        const qsizetype at = chosen(lines, u"ORG");
        QStringList parts = at >= 0 ? structured(lines[at].value) : QStringList{QString()};
        parts[0] = escaped(values.value(Company));
        set(u"ORG", QStringLiteral("ORG"), parts.join(u';'));
    }
    if (values.value(Person) != before.value(Person)) {
        set(u"FN", QStringLiteral("FN"), escaped(values.value(Person)));
        set(u"N", QStringLiteral("N"), escaped(values.value(Person)) + QStringLiteral(";;;;"));
    }
    if (values.value(Phone) != before.value(Phone)) {
        const qsizetype at = chosen(lines, u"TEL");
        if (at >= 0) {
            // A vCard 4.0 number is a tel: URI by default; ours is text as typed.
            QStringList params = lines[at].head.split(u';');
            params.removeIf([](const QString &p) { return p.startsWith(u"VALUE=", Qt::CaseInsensitive); });
            if (version4)
                params.append(QStringLiteral("VALUE=text"));
            lines[at].head = params.join(u';');
        }
        set(u"TEL", QStringLiteral("TEL;TYPE=VOICE"), escaped(values.value(Phone)));
    }
    bool addressChanged = false;
    for (int i : {Province, City, District, Street, Postcode})
        addressChanged = addressChanged || values.value(i) != before.value(i);
    if (addressChanged) {
        const qsizetype at = chosen(lines, u"ADR");
        QStringList parts = at >= 0 ? structured(lines[at].value) : QStringList();
        while (parts.size() < 7)
            parts.append(QString());
        if (at < 0)
            parts[6] = QStringLiteral("中国");
        setAddress(parts, values);
        set(u"ADR", QStringLiteral("ADR;TYPE=WORK"), parts.join(u';'));
    }
    if (chosen(lines, u"CATEGORIES") < 0)
        set(u"CATEGORIES", QStringLiteral("CATEGORIES"), escaped(category));

    QByteArray out;
    for (const Line &line : lines)
        out += folded(line.text());
    return out;
}

QStringList values(const QByteArray &card)
{
    // A tel: number's parameters as Radicale keeps them, with ";" escaped
    // ("tel:+86-571-8888-0000\\;ext=22"), are parameters all the same.
    QString text;
    bool districtApart = false;
    for (const QString &line : unfolded(card)) {
        Line l(line);
        if (l.name() == u"TEL" && l.value.startsWith(u"tel:", Qt::CaseInsensitive))
            l.value.replace(QStringLiteral("\\;"), QStringLiteral(";"));
        if (l.name() == u"ADR" && !structured(l.value).value(1).isEmpty())
            districtApart = true;
        text += l.text() + QStringLiteral("\r\n");
    }
    QStringList v = VCard::parse(text).value(0);
    while (v.size() < ValueCount)
        v.append(QString());
    // The district after the city, where this program and other clients put it.
    if (!districtApart && v[District].isEmpty())
        std::tie(v[City], v[District]) = cityAndDistrict(v[City]);
    return v;
}

QString uid(const QByteArray &card)
{
    for (const QString &text : unfolded(card)) {
        const Line line(text);
        if (line.name() == u"UID")
            return line.value.trimmed();
    }
    return QString();
}

} // namespace SyncCard
