#pragma once

#include "orders/orderitem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class AddressParser;

// One order as a web shop exports it, split into the fields a waybill needs.
struct OrderRow
{
    enum Field {
        OrderNumber,
        Name,
        Company,
        Phone,
        Province,
        City,
        District,
        Street,
        Postcode,
        Note,
        Items,
        FieldCount
    };

    QString orderNumber;
    QString name;
    QString company; // the person's name when the order names no company
    QString phone;   // whole, with any extension ("13812345678-7804", "138****5678[7804]")
    QString province;
    QString city;
    QString district;
    QString street;
    QString postcode;
    QString note;
    QString items; // the title cells as the shop wrote them, joined by "；"
    QList<OrderItem> itemList; // the same split into items with their variant, count and code
    // The fields the address parser is not sure of, for the user to look at before
    // printing; with the reason for each, in the same order.
    QList<Field> unsure;
    QStringList unsureReasons;
    // Where the order came from, 1-based: the row of an XLSX sheet, the row of a
    // CSV file as a spreadsheet shows it (blank lines not counted), or the first
    // line of its address in a pasted block.
    int sourceLine = 0;

    QString value(Field field) const;
    void setValue(Field field, const QString &text);
    bool isUnsure(Field field) const { return unsure.contains(field); }
    // The eight values of a contact, in the order of a contact file's keys
    // (company, person, province, city, district, street, phone, postcode), for
    // saving the recipient into a group.
    QStringList contactFields() const
    {
        return {company, name, province, city, district, street, phone, postcode};
    }
    // The field's name as the program shows it (收货人, 手机, 省 …).
    static QString label(Field field);
};

// What reading a file (or a pasted block) gave.
struct OrderFileResult
{
    QList<OrderRow> rows;
    // Empty when the file was read; else why not, in words for the user. No rows
    // are given then.
    QString error;
    int companyFromName = 0; // rows whose company is the person's name
    int unsureRows = 0;      // rows with at least one unsure field
    int skippedRows = 0;     // rows with neither a name, a phone nor an address
    int joinedRows = 0;      // rows of an order already read (a row per product), joined to it
    QStringList headers;     // the header row as found in the file
    QStringList unknownColumns;
    QList<int> unclosedLines; // CSV rows left out because a quote never closed, by line
    QString sheetName;        // the worksheet read, for an XLSX file

    bool ok() const { return error.isEmpty(); }
    // One line for the user: "读入 120 个订单，其中 3 个没有单位（以收货人姓名代替），2 个需要核对。"
    QString summary() const;
};

// Reads the order exports shops download from their web shop: CSV (UTF-8 with or
// without a byte order mark, or GBK) and XLSX, finding the columns by the names
// the shops use and splitting whole addresses with the address parser. Reading
// never changes anything; a bad file gives an error and no rows.
class OrderFileReader
{
public:
    // Larger files are refused before being read: a day's orders are far smaller.
    static constexpr qint64 MaxFileBytes = 32 * 1024 * 1024;
    // An XLSX file whose parts unpack to more than this is refused (a zip bomb).
    static constexpr qint64 MaxUnpackedBytes = 64 * 1024 * 1024;

    explicit OrderFileReader(const AddressParser &parser);

    OrderFileResult readFile(const QString &path) const;
    // The file's bytes; the name only tells XLSX from CSV when the bytes do not.
    OrderFileResult readBytes(const QByteArray &bytes, const QString &fileName = QString()) const;
    // A block of several pasted addresses, one per line or separated by blank
    // lines (a labelled address may take several lines), one row each.
    OrderFileResult splitPasted(const QString &text) const;

    // A table already split into cells (a sheet or a CSV file): finds the header
    // row, maps the columns and builds the rows. lineNumbers gives each row's line
    // in the file (empty: row index + 1).
    OrderFileResult fromTable(const QList<QStringList> &table, const QList<int> &lineNumbers = {}) const;
    // The same, saying whether the table leaves out empty cells at a row's end
    // (a sheet does, a CSV file writes every cell).
    OrderFileResult fromTable(const QList<QStringList> &table, const QList<int> &lineNumbers,
                              bool sparse) const;

private:
    const AddressParser &m_parser;
};
