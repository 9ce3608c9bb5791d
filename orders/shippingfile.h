#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The file web shops take to mark many orders shipped at once: one line per
// order with its courier and waybill number.
namespace ShippingFile {

struct Line
{
    QString orderNumber;
    QString courier; // as the shop lists couriers: 顺丰速运, 韵达快递 …
    QString waybillNumber;
};

enum class Encoding {
    Utf8Bom, // what current spreadsheets and most shops read
    Gbk      // for shops and spreadsheets that still expect the Windows encoding
};

// 订单编号, 快递公司, 运单号 and a line per order, CR LF line ends. A cell that a
// spreadsheet would read as a formula (= + - @, a tab or CR first) gets a
// leading ' so that it is shown as text.
QByteArray contents(const QList<Line> &lines, Encoding encoding);
// Writes the whole file or leaves what was there; false with the reason, in
// words for the user.
bool save(const QString &path, const QList<Line> &lines, Encoding encoding, QString *error);

} // namespace ShippingFile
