// Pasted addresses: whatever the text, the parser ends, fills every field with one
// line, and names only regions of the division table and well-formed numbers.
#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "fuzzsupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace {

struct Parser
{
    Parser()
    {
        QFile file(QStringLiteral(QUILLBOX_REGIONS_JSON));
        FUZZ_CHECK(file.open(QIODevice::ReadOnly) && table.loadJson(file.readAll()), "no division table");
        for (int level = RegionTable::Province; level <= RegionTable::District; ++level) {
            for (int i = 0; i < table.count(RegionTable::Level(level)); ++i)
                names.insert(table.region(RegionTable::Level(level), i).name);
        }
    }
    RegionTable table;
    AddressParser parser{table};
    QSet<QString> names;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Parser p;
    static const QRegularExpression phone(QStringLiteral(
        R"(^((1[0-9]{10}|1[0-9]{2}\*{4}[0-9]{4})((-|转)[0-9]{1,6}|\[[0-9]{1,6}\]| 分机号[0-9]{1,6})?)"
        R"(|0[0-9]{2,3}-[0-9]{7,8}(-[0-9]{1,5})?)?$)"));
    static const QRegularExpression postcode(QStringLiteral(R"(^([0-9]{6})?$)"));
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const ParsedAddress parsed = p.parser.parse(text);

    for (const QString &value : parsed.values)
        FUZZ_CHECK(!value.contains(u'\n') && !value.contains(u'\r'), "a field holds a line break: %s",
                   qPrintable(value));
    for (ParsedAddress::Field f : {ParsedAddress::Province, ParsedAddress::City, ParsedAddress::District}) {
        const QString &value = parsed.value(f);
        FUZZ_CHECK(value.isEmpty() || p.names.contains(value), "not a region: %s", qPrintable(value));
    }
    FUZZ_CHECK(phone.match(parsed.value(ParsedAddress::Phone)).hasMatch(), "phone %s",
               qPrintable(parsed.value(ParsedAddress::Phone)));
    FUZZ_CHECK(postcode.match(parsed.value(ParsedAddress::Postcode)).hasMatch(), "postcode %s",
               qPrintable(parsed.value(ParsedAddress::Postcode)));
    return 0;
}
