#include "addressbook/vcard.h"

#include <QStringDecoder>

namespace {

enum Value { Company, Person, Province, City, District, Street, Phone, Postcode, ValueCount };

// The parts of a structured value, split at unescaped ";", each unescaped.
QStringList components(QStringView value)
{
    QStringList parts{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            parts.last() += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
        } else if (c == u';') {
            parts.append(QString());
        } else {
            parts.last() += c;
        }
    }
    return parts;
}

// The text of bytes in a vCard's CHARSET: phones of the GB2312 days wrote the
// GB family, which GB18030 reads whole; UTF-8 when none is named.
QString decoded(const QByteArray &bytes, QStringView charset)
{
    const QString name = charset.toString().toUpper();
    if (name.isEmpty() || name == u"UTF-8" || name == u"UTF8")
        return QString::fromUtf8(bytes);
    if (name == u"GB2312" || name == u"GBK" || name == u"GB18030" || name == u"CP936" || name == u"EUC-CN")
        return QStringDecoder("GB18030").decode(bytes);
    QStringDecoder other(name.toLatin1().constData());
    return other.isValid() ? other.decode(bytes) : QString::fromUtf8(bytes);
}

QString quotedPrintable(QStringView value, QStringView charset)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'=' && i + 2 < value.size()) {
            bool ok = false;
            const int byte = value.sliced(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                bytes += static_cast<char>(byte);
                i += 2;
                continue;
            }
        }
        bytes += value[i].toLatin1();
    }
    return decoded(bytes, charset);
}

struct Property
{
    QString name;           // upper case, group dropped
    QStringList parameters; // upper case, as written ("TYPE=CELL", "PREF", "ENCODING=QUOTED-PRINTABLE")
    QString value;          // raw, still escaped

    bool preferred() const
    {
        for (const QString &p : parameters) {
            if (p == u"PREF" || p.startsWith(u"PREF=") || (p.startsWith(u"TYPE=") && p.contains(u"PREF")))
                return true;
        }
        return false;
    }
    QStringView charset() const
    {
        for (const QString &p : parameters) {
            if (p.startsWith(u"CHARSET="))
                return QStringView(p).sliced(8);
        }
        return {};
    }
    bool quotedPrintable() const
    {
        return parameters.contains(QStringLiteral("ENCODING=QUOTED-PRINTABLE")) ||
               parameters.contains(QStringLiteral("QUOTED-PRINTABLE"));
    }
};

// Unfolded content lines: a line starting with a blank or a tab continues the one
// before; so does the line after a quoted-printable soft break ("=" at the end).
QStringList unfoldedLines(QStringView text)
{
    QStringList lines;
    bool softBreak = false;
    for (QStringView line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!lines.isEmpty() && (softBreak || line.startsWith(u' ') || line.startsWith(u'\t'))) {
            if (softBreak)
                lines.last().chop(1);
            lines.last() += softBreak ? line : line.sliced(1);
        } else if (!line.isEmpty()) {
            lines.append(line.toString());
        } else {
            softBreak = false;
            continue;
        }
        const QString &last = lines.last();
        softBreak = last.endsWith(u'=') &&
                    last.contains(QStringLiteral("QUOTED-PRINTABLE"), Qt::CaseInsensitive) &&
                    last.indexOf(u':') < last.size() - 1;
    }
    return lines;
}

Property property(QStringView line)
{
    Property p;
    // The name and parameters end at the first colon outside double quotes.
    qsizetype colon = -1;
    bool inQuotes = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'"')
            inQuotes = !inQuotes;
        else if (line[i] == u':' && !inQuotes) {
            colon = i;
            break;
        }
    }
    if (colon < 0)
        return p;
    const QList<QStringView> head = line.first(colon).split(u';');
    QStringView name = head.front();
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot >= 0)
        name = name.sliced(dot + 1);
    p.name = name.toString().toUpper();
    for (qsizetype i = 1; i < head.size(); ++i)
        p.parameters.append(head[i].toString().toUpper());
    p.value = line.sliced(colon + 1).toString();
    if (p.quotedPrintable())
        p.value = quotedPrintable(p.value, p.charset());
    return p;
}

// A phone number, also as vCard 4.0 writes it, a "tel:" address
// ("tel:+86-138-1234-5678;ext=12"): the number, with its extension after 转.
QString phone(const Property *p)
{
    if (!p)
        return {};
    if (!p->value.startsWith(QStringLiteral("tel:"), Qt::CaseInsensitive))
        return components(p->value).join(QLatin1Char(' '));
    const QList<QStringView> parts = QStringView(p->value).sliced(4).split(u';');
    QString number = parts.front().toString();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].startsWith(u"ext=", Qt::CaseInsensitive))
            number += QStringLiteral("转") + parts[i].sliced(4).toString();
    }
    return number;
}

QStringList contact(const QList<Property> &card)
{
    QStringList values(ValueCount);
    const auto pick = [&card](QStringView name) -> const Property * {
        const Property *chosen = nullptr;
        for (const Property &p : card) {
            if (p.name != name)
                continue;
            if (!chosen || (p.preferred() && !chosen->preferred()))
                chosen = &p;
        }
        return chosen;
    };
    const auto plain = [](const Property *p) {
        return p ? components(p->value).join(QLatin1Char(' ')) : QString();
    };

    if (const Property *org = pick(u"ORG"))
        values[Company] = components(org->value).value(0);
    values[Person] = plain(pick(u"FN"));
    if (values[Person].isEmpty()) {
        if (const Property *n = pick(u"N")) {
            const QStringList parts = components(n->value);
            values[Person] = (parts.value(0) + parts.value(1)).trimmed();
        }
    }
    values[Phone] = phone(pick(u"TEL"));
    if (const Property *adr = pick(u"ADR")) {
        const QStringList parts = components(adr->value);
        values[District] = parts.value(1);
        values[Street] = parts.value(2);
        values[City] = parts.value(3);
        values[Province] = parts.value(4);
        values[Postcode] = parts.value(5);
    }
    // The fields are single lines.
    for (QString &v : values)
        v.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return values;
}

} // namespace

namespace VCard {

QString escaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\' || c == u',' || c == u';')
            out += u'\\';
        if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c != u'\r')
            out += c;
    }
    return out;
}

// One content line, folded: no line longer than 75 bytes, a continuation starts
// with a blank, and a UTF-8 character is never split.
QByteArray folded(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    qsizetype limit = 75;
    while (bytes.size() - start > limit) {
        qsizetype cut = start + limit;
        while (cut > start && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        out += bytes.mid(start, cut - start) + "\r\n ";
        start = cut;
        limit = 74; // the leading blank counts
    }
    out += bytes.mid(start) + "\r\n";
    return out;
}

QByteArray write(const Contacts &contacts)
{
    QByteArray out;
    for (const QStringList &c : contacts) {
        const auto v = [&c](Value i) { return escaped(c.value(i)); };
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        out += folded(QStringLiteral("FN:") + v(Person));
        out += folded(QStringLiteral("N:") + v(Person) + QStringLiteral(";;;;"));
        // Empty properties are left out: phones show them as blank entries.
        if (!c.value(Company).isEmpty())
            out += folded(QStringLiteral("ORG:") + v(Company));
        if (!c.value(Phone).isEmpty())
            out += folded(QStringLiteral("TEL;TYPE=VOICE:") + v(Phone));
        const QString adr =
            u';' + v(District) + u';' + v(Street) + u';' + v(City) + u';' + v(Province) + u';' + v(Postcode);
        if (adr != QStringLiteral(";;;;;"))
            out += folded(QStringLiteral("ADR;TYPE=WORK:") + adr + QStringLiteral(";中国"));
        out += "END:VCARD\r\n";
    }
    return out;
}

Contacts parse(QStringView text)
{
    Contacts contacts;
    QList<Property> card;
    bool inCard = false;
    for (const QString &line : unfoldedLines(text)) {
        const Property p = property(line);
        if (p.name == u"BEGIN" && p.value.compare(u"VCARD", Qt::CaseInsensitive) == 0) {
            card.clear();
            inCard = true;
        } else if (p.name == u"END" && inCard) {
            contacts.append(contact(card));
            inCard = false;
        } else if (inCard && !p.name.isEmpty()) {
            card.append(p);
        }
    }
    return contacts;
}

} // namespace VCard
