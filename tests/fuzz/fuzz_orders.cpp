// Order files: whatever the bytes (CSV in any encoding, a damaged or hostile
// XLSX), the reader ends, and gives either a reason and no rows, or rows that
// each came from a line of the file and name a company whenever they name a
// person.
#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "fuzzsupport.h"
#include "orders/orderfile.h"

#include <QFile>

namespace {

struct Reader
{
    Reader()
    {
        QFile file(QStringLiteral(QUILLBOX_REGIONS_JSON));
        FUZZ_CHECK(file.open(QIODevice::ReadOnly) && table.loadJson(file.readAll()), "no division table");
    }
    RegionTable table;
    AddressParser parser{table};
    OrderFileReader reader{parser};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Reader r;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const OrderFileResult result = r.reader.readBytes(bytes);
    if (!result.ok()) {
        FUZZ_CHECK(result.rows.isEmpty(), "rows despite the error %s", qPrintable(result.error));
        return 0;
    }
    FUZZ_CHECK(result.companyFromName <= result.rows.size(), "%d rows named after their person of %d",
               result.companyFromName, int(result.rows.size()));
    for (const OrderRow &row : result.rows) {
        FUZZ_CHECK(row.sourceLine > 0, "row from line %d", row.sourceLine);
        FUZZ_CHECK(row.name.isEmpty() || !row.company.isEmpty(), "no company for %s", qPrintable(row.name));
        FUZZ_CHECK(row.unsure.size() == row.unsureReasons.size(), "a doubt without its reason");
    }
    return 0;
}
