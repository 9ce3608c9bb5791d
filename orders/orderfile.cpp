#include "orders/orderfile.h"

#include "addressbook/csvtext.h"
#include "addressbook/parsing/addressparser.h"
#include "orders/xlsxsheet.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <array>

namespace {

using Field = OrderRow::Field;

// The columns a reader looks for. Province, city and district columns are used
// where a shop exports them; otherwise the whole address is split.
enum Column {
    ColOrderNumber,
    ColName,
    ColCompany,
    ColMobile,
    ColPhone,
    ColAddress,
    ColChangedAddress, // the address the buyer changed to after ordering: wins where given
    ColStreet,
    ColProvince,
    ColCity,
    ColDistrict,
    ColTown, // the township or street office (街道/镇), between district and detail
    ColPostcode,
    ColNote,
    ColMessage,
    ColItems,
    ColSpec,
    ColQuantity,
    ColCode,
    ColumnCount
};

struct Heading
{
    QStringView text;
    Column column;
};

// The names web shops (淘宝/天猫, 拼多多, 京东, 抖店, 有赞 …) give their columns.
const Heading Headings[] = {
    {u"订单编号", ColOrderNumber},
    {u"订单号", ColOrderNumber},
    {u"主订单编号", ColOrderNumber},
    {u"订单id", ColOrderNumber},
    {u"收货人", ColName},
    {u"收货人姓名", ColName},
    {u"收件人", ColName},
    {u"收件人姓名", ColName},
    {u"买家姓名", ColName},
    {u"收货人名称", ColName},
    {u"客户姓名", ColName},
    {u"单位", ColCompany},
    {u"公司", ColCompany},
    {u"收货单位", ColCompany},
    {u"手机", ColMobile},
    {u"联系手机", ColMobile},
    {u"收货人手机", ColMobile},
    {u"手机号", ColMobile},
    {u"手机号码", ColMobile},
    {u"收货人手机号", ColMobile},
    {u"收件人手机", ColMobile},
    {u"收件人手机号", ColMobile},
    {u"联系方式", ColMobile},
    {u"联系电话", ColPhone},
    {u"电话", ColPhone},
    {u"收货人电话", ColPhone},
    {u"固定电话", ColPhone},
    {u"收件人电话", ColPhone},
    {u"收货地址", ColAddress},
    {u"地址", ColAddress},
    {u"收件地址", ColAddress},
    {u"收货人地址", ColAddress},
    {u"客户地址", ColAddress},
    {u"修改后的收货地址", ColChangedAddress},
    {u"修改后收货地址", ColChangedAddress},
    {u"街道", ColTown},
    {u"乡镇/街道", ColTown},
    {u"详细地址", ColStreet},
    {u"街道地址", ColStreet},
    {u"省", ColProvince},
    {u"省份", ColProvince},
    {u"收货省份", ColProvince},
    {u"市", ColCity},
    {u"城市", ColCity},
    {u"收货城市", ColCity},
    {u"区", ColDistrict},
    {u"区县", ColDistrict},
    {u"县区", ColDistrict},
    {u"区/县", ColDistrict},
    {u"收货区县", ColDistrict},
    {u"邮编", ColPostcode},
    {u"邮政编码", ColPostcode},
    {u"备注", ColNote},
    {u"订单备注", ColNote},
    {u"卖家备注", ColNote},
    {u"买家留言", ColMessage},
    {u"买家备注", ColMessage},
    {u"宝贝标题", ColItems},
    {u"商品", ColItems},
    {u"商品名称", ColItems},
    {u"商品标题", ColItems},
    {u"宝贝名称", ColItems},
    {u"商品标题名称", ColItems},
    {u"颜色分类", ColSpec},
    {u"商品规格", ColSpec},
    {u"规格", ColSpec},
    {u"sku", ColSpec},
    {u"sku名称", ColSpec},
    {u"销售属性", ColSpec},
    {u"商品属性", ColSpec},
    {u"数量", ColQuantity},
    {u"购买数量", ColQuantity},
    {u"商品数量", ColQuantity},
    {u"宝贝数量", ColQuantity},
    {u"宝贝总数量", ColQuantity},
    {u"商家编码", ColCode},
    {u"商品编码", ColCode},
    {u"货号", ColCode},
    {u"商家sku编码", ColCode},
    {u"sku编码", ColCode},
    {u"宝贝商家编码", ColCode},
};

// Header cells vary in blanks, full-width brackets and letter case ("订单ID").
QString headingKey(const QString &cell)
{
    QString key = cell.toLower();
    key.removeIf([](QChar c) { return c.isSpace() || c == u'\uFEFF' || c == u'*'; });
    return key;
}

int columnOf(const QString &cell)
{
    const QString key = headingKey(cell);
    for (const Heading &h : Headings) {
        if (h.text == key)
            return h.column;
    }
    // "收货人/提货人": shops with pick-up name two things at once; the first known one counts.
    if (key.contains(u'/')) {
        for (const QString &part : key.split(u'/', Qt::SkipEmptyParts)) {
            for (const Heading &h : Headings) {
                if (h.text == part)
                    return h.column;
            }
        }
    }
    return -1;
}

// Shops keep long numbers from turning into 2.02612E+18 in a spreadsheet by
// writing them as a formula (="2026120712345678901") or with a leading ' or tab.
QString plainCell(const QString &cell)
{
    QString text = cell.trimmed();
    if (text.size() >= 3 && text.startsWith(u"=\"") && text.endsWith(u'"'))
        return text.mid(2, text.size() - 3).trimmed();
    static const QStringView formulaStarts = u"=+-@";
    if (text.size() >= 2 && text.front() == u'\'' && (text[1].isDigit() || formulaStarts.contains(text[1])))
        text.remove(0, 1);
    return text;
}

struct Columns
{
    std::array<int, ColumnCount> at;
    QStringList unknown;
    int found = 0;

    Columns() { at.fill(-1); }
    bool has(Column c) const { return at[c] >= 0; }
    QString cell(const QStringList &row, Column c) const
    {
        return at[c] >= 0 ? plainCell(row.value(at[c])) : QString();
    }
};

Columns mapColumns(const QStringList &header)
{
    Columns columns;
    for (int i = 0; i < header.size(); ++i) {
        const int c = columnOf(header[i]);
        if (c < 0) {
            if (!header[i].trimmed().isEmpty())
                columns.unknown.append(header[i].trimmed());
        } else if (columns.at[c] < 0) {
            columns.at[c] = i;
            ++columns.found;
        }
    }
    return columns;
}

// A header row names at least who or where, and one more known column: a title
// line above it ("XX旗舰店 12月7日订单") names none.
bool isHeader(const Columns &c)
{
    const bool whoOrWhere = c.has(ColName) || c.has(ColAddress) || c.has(ColStreet);
    return whoOrWhere && c.found >= 2;
}

constexpr int HeaderSearchRows = 20;

// "收货人" and "收件人" both name the person: a second of either begins the next
// address.
QString labelKind(const QString &label)
{
    if (label.contains(u'人') || label.contains(QStringLiteral("姓名")) ||
        label.contains(QStringLiteral("名字")))
        return QStringLiteral("name");
    if (label.contains(QStringLiteral("电话")) || label.contains(QStringLiteral("手机")) ||
        label.contains(QStringLiteral("联系方式")))
        return QStringLiteral("phone");
    if (label.contains(QStringLiteral("详细")) || label.contains(QStringLiteral("街道")) ||
        label.contains(QStringLiteral("收货地址")) || label == u"地址")
        return QStringLiteral("street");
    return label;
}

bool hasDigit(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

void doubt(OrderRow &row, Field field, const QString &why)
{
    if (!row.isUnsure(field)) {
        row.unsure.append(field);
        row.unsureReasons.append(why);
    }
}

// Shops hide a buyer's data until the order is paid or the shop pays to see it
// ("186****4444", "张*", "****"). A privacy number with its extension is the
// courier's real way to reach the buyer and is fine.
void doubtMasked(OrderRow &row)
{
    static const QRegularExpression extension(
        QStringLiteral(R"((\[\d{1,6}\]|转\s*\d{1,6}|-\d{1,6}|分机号?\s*\d{1,6})$)"));
    if (row.phone.contains(u'*') && !extension.match(row.phone).hasMatch())
        doubt(row, OrderRow::Phone, QStringLiteral("手机号被隐藏"));
    if (row.name.contains(u'*'))
        doubt(row, OrderRow::Name, QStringLiteral("姓名被隐藏"));
    if (row.street.contains(QStringLiteral("**")) ||
        (!row.street.isEmpty() && row.street.count(u'*') == row.street.size()))
        doubt(row, OrderRow::Street, QStringLiteral("地址被隐藏"));
    // A byte the file's encoding did not allow, read as an unknown character.
    for (const Field field : {OrderRow::Name, OrderRow::Company, OrderRow::Phone, OrderRow::Province,
                              OrderRow::City, OrderRow::District, OrderRow::Street, OrderRow::Postcode}) {
        if (row.value(field).contains(QChar::ReplacementCharacter))
            doubt(row, field, QStringLiteral("有无法识别的字符（文件里有损坏的字节）"));
    }
}

// A quantity cell: "2", "2.0" from a number cell, "２件"; 0 when it gives none.
int quantityOf(const QString &cell)
{
    QString digits;
    for (const QChar c : cell) {
        if (c >= u'0' && c <= u'9')
            digits.append(c);
        else if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
            digits.append(QChar(u'0' + (c.unicode() - 0xFF10)));
        else if (!digits.isEmpty())
            break;
    }
    if (digits.isEmpty() || digits.size() > 5)
        return 0;
    return digits.toInt();
}

// A row of an order read already (an export with a row per product) gives it
// its items and remarks; true when it was joined so.
bool joinOrder(OrderFileResult &result, const OrderRow &row)
{
    if (row.orderNumber.isEmpty())
        return false;
    for (auto it = result.rows.rbegin(); it != result.rows.rend(); ++it) {
        if (it->orderNumber != row.orderNumber)
            continue;
        it->itemList.append(row.itemList);
        if (!row.items.isEmpty())
            it->items = it->items.isEmpty() ? row.items : it->items + QStringLiteral("；") + row.items;
        if (!row.note.isEmpty() && !it->note.contains(row.note))
            it->note = it->note.isEmpty() ? row.note : it->note + QStringLiteral("；") + row.note;
        ++result.joinedRows;
        return true;
    }
    return false;
}

// A row without a company takes the person's name as its company; the summary
// counts such rows and the unsure ones.
void addRow(OrderFileResult &result, OrderRow row)
{
    if (joinOrder(result, row))
        return;
    doubtMasked(row);
    if (row.company.isEmpty() && !row.name.isEmpty()) {
        row.company = row.name;
        ++result.companyFromName;
    }
    if (!row.unsure.isEmpty())
        ++result.unsureRows;
    result.rows.append(std::move(row));
}

} // namespace

QString OrderRow::value(Field field) const
{
    switch (field) {
    case OrderNumber:
        return orderNumber;
    case Name:
        return name;
    case Company:
        return company;
    case Phone:
        return phone;
    case Province:
        return province;
    case City:
        return city;
    case District:
        return district;
    case Street:
        return street;
    case Postcode:
        return postcode;
    case Note:
        return note;
    case Items:
        return items;
    case FieldCount:
        break;
    }
    return QString();
}

void OrderRow::setValue(Field field, const QString &text)
{
    QString *targets[] = {&orderNumber, &name,   &company,  &phone, &province, &city,
                          &district,    &street, &postcode, &note,  &items};
    if (field >= 0 && field < FieldCount)
        *targets[field] = text;
    // What the user has put right is no longer in doubt.
    const qsizetype i = unsure.indexOf(field);
    if (i >= 0) {
        unsure.removeAt(i);
        unsureReasons.removeAt(i);
    }
}

QString OrderRow::label(Field field)
{
    switch (field) {
    case OrderNumber:
        return QStringLiteral("订单编号");
    case Name:
        return QStringLiteral("收货人");
    case Company:
        return QStringLiteral("单位");
    case Phone:
        return QStringLiteral("电话");
    case Province:
        return QStringLiteral("省");
    case City:
        return QStringLiteral("市");
    case District:
        return QStringLiteral("区/县");
    case Street:
        return QStringLiteral("详细地址");
    case Postcode:
        return QStringLiteral("邮编");
    case Note:
        return QStringLiteral("备注");
    case Items:
        return QStringLiteral("商品");
    case FieldCount:
        break;
    }
    return QString();
}

QString OrderFileResult::summary() const
{
    if (!ok())
        return error;
    QString text = QStringLiteral("读入 %1 个订单").arg(rows.size());
    if (companyFromName > 0)
        text += QStringLiteral("，其中 %1 个没有单位，以收货人姓名作单位").arg(companyFromName);
    if (unsureRows > 0)
        text += QStringLiteral("，%1 个有待核对的内容（标黄）").arg(unsureRows);
    if (skippedRows > 0)
        text += QStringLiteral("，%1 行没有收货人、电话和地址，未读入").arg(skippedRows);
    if (joinedRows > 0)
        text += QStringLiteral("，%1 行是同一订单的其他商品，已并入该订单").arg(joinedRows);
    if (!sheetName.isEmpty())
        text += QStringLiteral("（读的是工作表“%1”）").arg(sheetName);
    text += u'。';
    if (!unclosedLines.isEmpty()) {
        QStringList lines;
        for (const int line : unclosedLines)
            lines.append(QString::number(line));
        text += QStringLiteral("第 %1 行引号不成对，未读入。").arg(lines.join(QStringLiteral("、")));
    }
    if (!unknownColumns.isEmpty())
        text += QStringLiteral("未识别的列（未读入）：%1。").arg(unknownColumns.join(QStringLiteral("、")));
    return text;
}

OrderFileReader::OrderFileReader(const AddressParser &parser) : m_parser(parser) {}

OrderFileResult OrderFileReader::readFile(const QString &path) const
{
    OrderFileResult result;
    QFile file(path);
    const QString shown = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("无法打开“%1”：%2").arg(shown, file.errorString());
        return result;
    }
    if (file.size() > MaxFileBytes) {
        result.error = QStringLiteral("“%1”有 %2 MB，订单文件最大 %3 MB，未读取。")
                           .arg(shown)
                           .arg(file.size() / (1024 * 1024))
                           .arg(MaxFileBytes / (1024 * 1024));
        return result;
    }
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes) {
        result.error =
            QStringLiteral("“%1”超过 %2 MB，未读取。").arg(shown).arg(MaxFileBytes / (1024 * 1024));
        return result;
    }
    return readBytes(bytes, path);
}

OrderFileResult OrderFileReader::readBytes(const QByteArray &bytes, const QString &fileName) const
{
    OrderFileResult result;
    if (bytes.size() > MaxFileBytes) {
        result.error =
            QStringLiteral("文件超过 %1 MB，不像订单文件，未读取。").arg(MaxFileBytes / (1024 * 1024));
        return result;
    }
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (bytes.startsWith("PK\x03\x04") || suffix == u"xlsx") {
        XlsxSheet::Table table;
        if (!XlsxSheet::read(bytes, MaxUnpackedBytes, &table, &result.error))
            return result;
        OrderFileResult read = fromTable(table.rows, table.rowNumbers);
        read.sheetName = table.sheetName;
        return read;
    }
    if (bytes.startsWith("\xD0\xCF\x11\xE0") || suffix == u"xls") {
        result.error =
            QStringLiteral("这是旧的 Excel 97–2003 文件（.xls），无法读取。请在 Excel 或 WPS 中另存为 "
                           ".xlsx 或 .csv 再打开。");
        return result;
    }
    // Text has no NUL byte in UTF-8 or GBK: anything with one is a picture, a
    // program or a document of some other kind.
    if (bytes.contains('\0')) {
        result.error = QStringLiteral("文件不是表格（CSV 或 XLSX），无法读取订单。");
        return result;
    }
    const CsvText::Table table = CsvText::read(CsvText::decode(bytes));
    OrderFileResult read = fromTable(table.rows, table.lines, false);
    read.unclosedLines = table.unclosed;
    return read;
}

OrderFileResult OrderFileReader::fromTable(const QList<QStringList> &table,
                                           const QList<int> &lineNumbers) const
{
    return fromTable(table, lineNumbers, !lineNumbers.isEmpty());
}

OrderFileResult OrderFileReader::fromTable(const QList<QStringList> &table, const QList<int> &lineNumbers,
                                           bool sparse) const
{
    OrderFileResult result;
    auto lineOf = [&](int i) { return i < lineNumbers.size() ? lineNumbers[i] : i + 1; };
    int headerRow = -1;
    Columns columns;
    for (int i = 0; i < table.size() && i < HeaderSearchRows; ++i) {
        columns = mapColumns(table[i]);
        if (isHeader(columns)) {
            headerRow = i;
            break;
        }
    }
    if (headerRow < 0) {
        result.error = table.isEmpty()
                           ? QStringLiteral("文件里没有内容。")
                           : QStringLiteral("没有找到表头：订单文件应有“收货人”“手机”“收货地址”等列。");
        return result;
    }
    const QStringList &header = table[headerRow];
    // A table whose rows are read by column position: a row that is wider than the
    // header, or (in a file that writes every cell) narrower, has its cells in the
    // wrong columns, and no order of it can be trusted.
    qsizetype width = header.size();
    while (width > 0 && header[width - 1].trimmed().isEmpty())
        --width;
    for (int i = headerRow + 1; i < table.size(); ++i) {
        QStringList cells = table[i];
        while (cells.size() > width && cells.back().trimmed().isEmpty())
            cells.removeLast();
        const bool wider = cells.size() > width;
        const bool narrower = !sparse && cells.size() < width && cells.size() > 1;
        if (wider || narrower) {
            result.error = QStringLiteral("第 %1 行有 %2 列，表头有 %3 列：这一行的内容与表头对不上"
                                          "（文件可能已损坏，或地址里有未加引号的逗号）。未读入任何订单。")
                               .arg(lineOf(i))
                               .arg(cells.size())
                               .arg(width);
            return result;
        }
    }

    for (const QString &cell : header)
        result.headers.append(cell.trimmed());
    result.unknownColumns = columns.unknown;
    for (int i = headerRow + 1; i < table.size(); ++i) {
        const QStringList &cells = table[i];
        OrderRow row;
        row.sourceLine = lineOf(i);
        row.orderNumber = columns.cell(cells, ColOrderNumber);
        row.name = columns.cell(cells, ColName);
        row.company = columns.cell(cells, ColCompany);
        const QString mobile = columns.cell(cells, ColMobile);
        const QString phone = mobile.isEmpty() ? columns.cell(cells, ColPhone) : mobile;
        row.phone = phone.isEmpty() ? QString() : m_parser.phoneIn(phone);
        row.postcode = columns.cell(cells, ColPostcode);
        // A postcode kept in a number cell lost its leading zero (010010 → 10010).
        if (row.postcode.size() == 5 && std::all_of(row.postcode.cbegin(), row.postcode.cend(),
                                                    [](QChar c) { return c >= u'0' && c <= u'9'; }))
            row.postcode.prepend(u'0');
        QStringList notes;
        for (Column c : {ColMessage, ColNote}) {
            if (!columns.cell(cells, c).isEmpty())
                notes.append(columns.cell(cells, c));
        }
        row.note = notes.join(QStringLiteral("；"));
        const QString quantity = columns.cell(cells, ColQuantity);
        row.itemList = OrderItem::fromCells(columns.cell(cells, ColItems), columns.cell(cells, ColSpec),
                                            columns.cell(cells, ColCode), quantityOf(quantity));
        row.items = columns.cell(cells, ColItems);

        // An address the buyer changed to after ordering replaces the regions
        // and the address first given.
        const QString changed = columns.cell(cells, ColChangedAddress);
        const QString province = changed.isEmpty() ? columns.cell(cells, ColProvince) : QString();
        const QString city = changed.isEmpty() ? columns.cell(cells, ColCity) : QString();
        const QString district = changed.isEmpty() ? columns.cell(cells, ColDistrict) : QString();
        // Beside region columns the detail is the street; without them the whole
        // address, where a shop gives one, holds the regions too.
        const bool regionColumns = changed.isEmpty() && (columns.has(ColProvince) || columns.has(ColCity) ||
                                                         columns.has(ColDistrict));
        const Column first = regionColumns ? ColStreet : ColAddress;
        QString address = changed.isEmpty() ? columns.cell(cells, first) : changed;
        if (address.isEmpty())
            address = columns.cell(cells, first == ColStreet ? ColAddress : ColStreet);
        const QString town = columns.cell(cells, ColTown);
        if (!town.isEmpty() && !address.contains(town))
            address.prepend(town);
        if (row.name.isEmpty() && row.phone.isEmpty() && address.isEmpty() && province.isEmpty()) {
            // A further product of an order read already, or a row of nothing.
            if (!joinOrder(result, row))
                ++result.skippedRows;
            continue;
        }

        auto doubt = [&row](Field field, const QString &why) {
            if (!row.isUnsure(field)) {
                row.unsure.append(field);
                row.unsureReasons.append(why);
            }
        };
        // The regions given in their own columns are put before the detail, where
        // the parser looks for them, and win over what it finds.
        const QString whole = QStringList{province, city, district, address}.join(u' ').simplified();
        const ParsedAddress parsed = m_parser.parseAddress(whole);
        using P = ParsedAddress;
        const std::pair<Field, P::Field> regionFields[] = {
            {OrderRow::Province, P::Province}, {OrderRow::City, P::City}, {OrderRow::District, P::District}};
        // A city column copied from the division table's levels ("省直辖县级行政区划",
        // "市辖区") names no city: the parser's city and district stand instead.
        const bool noCity = AddressParser::isPlaceholderCity(city);
        const QString given[] = {province, noCity ? QString() : city, noCity ? QString() : district};
        for (int k = 0; k < 3; ++k) {
            const auto [field, parsedField] = regionFields[k];
            row.setValue(field, given[k].isEmpty() ? parsed.value(parsedField) : given[k]);
            if (given[k].isEmpty() && parsed.unsure(parsedField))
                doubt(field, parsed.doubts[parsedField]);
        }
        row.street = parsed.value(P::Street);
        if (row.street.isEmpty())
            doubt(OrderRow::Street, QStringLiteral("没有详细地址"));
        if (row.postcode.isEmpty())
            row.postcode = parsed.value(P::Postcode);
        if (row.name.isEmpty())
            doubt(OrderRow::Name, QStringLiteral("没有收货人"));
        if (row.phone.isEmpty())
            doubt(OrderRow::Phone, QStringLiteral("没有电话号码"));
        else if (!hasDigit(row.phone))
            doubt(OrderRow::Phone, QStringLiteral("“") + row.phone + QStringLiteral("”不像电话号码"));
        addRow(result, std::move(row));
    }
    if (result.rows.isEmpty() && result.skippedRows == 0)
        result.error = QStringLiteral("表头下面没有订单。");
    return result;
}

OrderFileResult OrderFileReader::splitPasted(const QString &text) const
{
    // Where one address ends: at a blank line when the block has any (an address
    // may then take several lines); else at every line, except that the lines of
    // a labelled address ("收货人：…", "手机号码：…") stay together until a label
    // comes again.
    static const QRegularExpression labelled(QStringLiteral(R"(^[【\[]?([^:：\s]{1,6})[】\]]?\s*[:：])"));
    QString block = text;
    block.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    const QStringList lines = block.split(u'\n');
    const QStringList inner = block.trimmed().split(u'\n');
    const bool paragraphs =
        std::any_of(inner.begin(), inner.end(), [](const QString &l) { return l.trimmed().isEmpty(); });

    struct Block
    {
        QString text;
        int line;
    };
    QList<Block> blocks;
    QStringList labels;
    bool open = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty()) {
            open = false;
            continue;
        }
        bool startsNew = !open;
        if (!paragraphs) {
            const QRegularExpressionMatch m = labelled.match(line);
            if (!m.hasMatch()) {
                startsNew = true;
                labels.clear();
            } else {
                const QString label = labelKind(m.captured(1));
                startsNew = !open || labels.isEmpty() || labels.contains(label);
                if (startsNew)
                    labels.clear();
                labels.append(label);
            }
        }
        if (startsNew)
            blocks.append({line, i + 1});
        else
            blocks.last().text += u'\n' + line;
        open = true;
    }

    OrderFileResult result;
    using P = ParsedAddress;
    const std::pair<Field, P::Field> fields[] = {
        {OrderRow::Company, P::Company}, {OrderRow::Name, P::Person},       {OrderRow::Province, P::Province},
        {OrderRow::City, P::City},       {OrderRow::District, P::District}, {OrderRow::Street, P::Street},
        {OrderRow::Phone, P::Phone},     {OrderRow::Postcode, P::Postcode}};
    for (const Block &block : blocks) {
        const ParsedAddress parsed = m_parser.parse(block.text);
        OrderRow row;
        row.sourceLine = block.line;
        for (const auto &[field, parsedField] : fields) {
            row.setValue(field, parsed.value(parsedField));
            if (parsed.unsure(parsedField)) {
                row.unsure.append(field);
                row.unsureReasons.append(parsed.doubts[parsedField]);
            }
        }
        addRow(result, std::move(row));
    }
    if (result.rows.isEmpty())
        result.error = QStringLiteral("没有粘贴任何地址。");
    return result;
}
