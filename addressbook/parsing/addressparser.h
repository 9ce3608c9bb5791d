#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <array>

class RegionTable;

// What a pasted address was split into. The fields come in the order of a contact
// file's keys, so values[i] belongs to ContactFile::senderKeys()[i].
struct ParsedAddress
{
    enum Field { Company, Person, Province, City, District, Street, Phone, Postcode, FieldCount };

    std::array<QString, FieldCount> values;
    // Why a field may be wrong; empty when the parser is sure of it.
    std::array<QString, FieldCount> doubts;

    const QString &value(Field field) const { return values[field]; }
    // The town or street office (乡镇/街道) the street begins with, when the
    // division table knows it; it stays part of the street, as shops write it.
    QString town;

    bool unsure(Field field) const { return !doubts[field].isEmpty(); }
    QStringList fields() const { return {values.begin(), values.end()}; }
};

// Splits an address as shops copy it from an order or a chat ("张三 13812345678
// 广东省深圳市南山区科技园科苑路15号", or labelled "收货人：… 手机号码：… 所在地区：…
// 详细地址：…") into the eight fields of a contact, checking the regions against
// the division table.
class AddressParser
{
public:
    explicit AddressParser(const RegionTable &regions);

    ParsedAddress parse(const QString &text) const;
    // An address alone, as an order file's address column holds it: everything
    // after the regions is the street, however it reads; no name or company is
    // taken out of it.
    ParsedAddress parseAddress(const QString &text) const;
    // The phone number in a cell that should hold one (an order file's phone
    // column), tidied as parse() gives it, extension and all; the cell's text,
    // trimmed, when it holds no number the parser knows.
    QString phoneIn(const QString &cell) const;
    // A city level of the division table that names no city: "市辖区", "县" and
    // "省直辖县级行政区划", as some shops' region columns copy them.
    static bool isPlaceholderCity(QStringView name);

private:
    struct Chain;
    struct Labelled;

    ParsedAddress parseText(const QString &text, bool wholeIsAddress) const;
    Labelled takeLabels(QString &text) const;
    QStringList takePhones(QString &text) const;
    QStringList takePostcodes(QString &text) const;
    Chain findRegions(const QString &text) const;
    void chainFrom(Chain &chain, int start, int end, int level, int index, bool fullName,
                   const QString &text) const;
    bool matchIn(const QString &text, int &pos, int level, int parentLevel, int parent, int *found,
                 bool *fullName) const;
    void chooseShared(Chain &chain, const QString &text) const;
    void followWithTown(Chain &chain, const QString &text) const;
    Chain loneTown(const QString &text) const;
    const QVarLengthArray<int, 2> &townsAt(const QString &text, int pos, int *length) const;
    bool shortFormFits(const QString &text, int end) const;
    bool nameLooksLikeAddress(const QString &name) const;
    QString stripRegionNames(QString detail, const QStringList &names) const;

    const RegionTable &m_regions;
    QRegularExpression m_label;
    QRegularExpression m_mobile;
    QRegularExpression m_landline;
    QRegularExpression m_postcode;
    QRegularExpression m_gluedName;
};
