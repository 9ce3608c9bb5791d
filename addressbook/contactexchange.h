#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Platform;

// Bringing contacts in from and taking them out to CSV and vCard files. A contact
// here is its eight values in the order of the contact keys (company, person,
// province, city, district, street address, phone, postcode).
namespace ContactExchange {

enum class Format { Csv, VCard };
// vCard for ".vcf" and ".vcard", CSV otherwise.
Format formatFor(const QString &fileName);

// The labels of the eight fields on the main window, without their colons: the
// CSV header. Either side's header is understood on import.
QStringList senderHeader();
QStringList recipientHeader();

// The contacts of one folder ("sent/" with the sender keys, a group folder with
// the recipient keys), in file-name order.
QList<QStringList> readFolder(const Platform &platform, const QString &folder, const QStringList &keys);
QByteArray exportContacts(const QList<QStringList> &contacts, Format format, const QStringList &header);

// The contacts of a file, each with the line (CSV) or card (vCard) number it
// came from, counted from 1. A CSV whose first row is a header is mapped by the
// header's names (the labels, or names shops use such as 姓名, 手机, 地址), so
// columns may come in any order and extra ones are ignored; without a header
// the columns are taken in key order.
// A CSV row whose quotes never close is not read into values: it comes with
// the reason in problem, and is refused on import.
struct Row
{
    int number = 0;
    QStringList values;
    QString problem;
};
QList<Row> parse(QByteArrayView bytes, Format format);

// Where imported contacts go. exists() says whether the contact key names a
// contact there (without regard to letter case, as file names are matched);
// save() saves the eight values as the 新增/修改 button does and returns the
// reason it refused or failed, or the empty text.
struct Target
{
    std::function<bool(const QString &contactKey)> exists;
    std::function<QString(const QStringList &values)> save;
};
// The contact files of one folder, written with Platform::writeProfileStrings
// under the given keys.
Target folderTarget(Platform &platform, const QString &folder, const QStringList &keys);
// Why the 新增/修改 button would refuse these names; empty when it would not.
QString refusalFor(const QString &company, const QString &person);

enum class Answer { Replace, Skip, ReplaceAll, SkipAll };
// Asked for each contact that exists already, with its contact key.
using OverwriteQuestion = std::function<Answer(const QString &contactKey)>;

struct Summary
{
    struct Refusal
    {
        int row;
        QString name;
        QString reason;
    };
    int imported = 0; // new contacts
    int replaced = 0;
    int skipped = 0;
    int namedAsCompany = 0; // rows without a company, given the person's name as company
    QList<Refusal> refused;

    // The text of the summary box; lists at most maxListed refusals.
    QString text(int maxListed = 20) const;
};

// Company and person lose blanks at either end, as a pick would; a row with a
// person but no company takes the person's name as its company (phones and web
// shops rarely give one).
Summary importRows(const QList<Row> &rows, const Target &target, const OverwriteQuestion &ask);

} // namespace ContactExchange
