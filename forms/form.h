#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace Forms {

// Reads one of the main window's sixteen contact fields by name ("txtSent", "txtZipTo", ...).
using FieldReader = std::function<QString(QStringView)>;

// One box of a waybill form and what prints into it. Geometry in millimetres
// from the top-left corner of the page as the form is drawn.
struct FormField
{
    enum class Source {
        Contact,   // contact fields joined by separator ("txtP", "txtC", "txtA", "txtAdd")
        FixedText, // text, as written
        Date,      // the day of printing, in dateFormat
        CheckMark, // a tick drawn to fill the box
        Asked,     // a value the user types when printing, asked for as askLabel
    };
    enum class Fit {
        OneLine, // one line; what passes the box's right edge is cut
        Wrap,    // broken into lines at the box's width; lines below its bottom are cut
        Shrink,  // one line, the font made smaller until it fits the box
    };

    Source source = Source::Contact;
    QStringList keys;                                  // Contact: the main window's field names, in order
    QString separator;                                 // Contact: put between two non-empty parts
    QString text;                                      // FixedText
    QString dateFormat = QStringLiteral("yyyy-MM-dd"); // Date, as QDate::toString takes it
    QString askLabel;                                  // Asked: "托寄物", "件数"

    QRectF box; // mm
    QString fontFamily = QStringLiteral("宋体");
    double pointSize = 12;
    bool bold = false;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
    Fit fit = Fit::Wrap;
    // mm between character centres, each character centred in its own box of
    // that width from the field's left edge (postcode and phone boxes); 0: none.
    double pitch = 0;

    // Drawn as a barcode of its text instead of the text itself.
    enum class Symbol {
        None,
        Code128, // 条码
        QrCode,  // 二维码
    };
    static constexpr double MinModuleMm = 0.1;
    static constexpr double MaxModuleMm = 2;
    Symbol symbol = Symbol::None;
    bool showText = true;    // Code 128: the human-readable line under the bars
    double moduleMm = 0.25;  // the narrowest bar, or a QR module; rounded up to the printer's dots
    QChar errorLevel = u'M'; // QR: L, M, Q or H

    // Keys this version does not know, kept as read so that a rewrite keeps them.
    QJsonObject unknown;

    bool operator==(const FormField &other) const;
    bool operator!=(const FormField &other) const { return !(*this == other); }
};

// A courier's waybill form, or a packing slip: its paper, an optional picture
// of the blank form to lay the boxes out on, and the fields.
struct Form
{
    enum class Kind {
        Waybill,     // a courier's waybill or the shop's own label, stuck on the parcel
        PackingSlip, // 发货单: one a parcel, put into the box with the goods
    };

    // Limits a form must keep; the reader refuses files beyond them.
    static constexpr double MinPaper = 20;   // mm
    static constexpr double MaxPaper = 1000; // mm
    static constexpr int MaxFields = 200;
    static constexpr double MinPointSize = 3;
    static constexpr double MaxPointSize = 144;
    static constexpr qint64 MaxPictureBytes = 30 * 1024 * 1024;
    static constexpr int MaxPictureSide = 12000;         // pixels
    static constexpr qint64 MaxPicturePixels = 80000000; // pixels, all of the picture
    // The picture's place on the page: its corner within MaxPaper of the
    // page's either way, each side from MinPictureSide to MaxPictureSideMm.
    static constexpr double MinPictureSideMm = 1;
    static constexpr double MaxPictureSideMm = 2 * MaxPaper;
    static bool picturePlaceAllowed(const QRectF &place);

    QString id;                // stays with the form through renames; keys its print settings
    QString name;              // as the user knows the courier: "申通快递"
    Kind kind = Kind::Waybill; // what it is printed for
    QSizeF paper{230, 127};    // mm, as the form is drawn
    bool landscape = false;    // the printer turns the page

    QByteArray picture;  // PNG or JPEG bytes as the user gave them; empty: none
    QRectF picturePlace; // mm on the page
    std::vector<FormField> fields;

    QJsonObject unknown;

    bool operator==(const Form &other) const;
    bool operator!=(const Form &other) const { return !(*this == other); }

    // A fresh id, for a new form or a copy.
    static QString newId();
};

// What the fields print: the main window's fields, the answers to the asked
// values (by askLabel) and the day of printing.
struct FormValues
{
    FieldReader contact;
    QHash<QString, QString> asked;
    QDate today = QDate::currentDate();
};

// The text a field prints for the values; a check mark gives "✓". A barcode's
// fixed text may name other fields in braces, "{订单编号}-{txtNameTo}": each is
// replaced by that field's value (by its key or its caption).
QString fieldText(const FormField &field, const FormValues &values);

// What the user calls a field: "收件地址", "托寄物", "固定文字：…".
QString fieldCaption(const FormField &field);

// The sixteen contact fields by name and caption, in the main window's order.
const QList<std::pair<QString, QString>> &contactFields();
// What a batch row adds, read like a contact field: its order number (订单编号),
// its waybill number (运单号), every order number of a merged parcel, its items
// and remarks one a line, and its parcel of several ("2/3"); empty outside a
// batch, or before a number is given.
const QList<std::pair<QString, QString>> &batchFields();
// Whether a field may print this key: a contact field or a batch row's.
bool isPrintableKey(QStringView key);

// The labels asked for when printing, each once, in field order.
QStringList askedLabels(const Form &form);

// Forms to start from: a blank 230 × 127 mm paper waybill (its boxes are the
// courier's, to be measured from a scan) and labels of 76 × 130, 100 × 150 and
// 100 × 180 mm with the recipient above the sender.
std::vector<Form> presets();
// Packing slips to start from, one a parcel: A4, A5, half an A4 sheet and a
// 100 × 150 mm label. Each has the heading 发货单, a Code 128 of the first
// order number, every order number of the parcel, the recipient and the
// address, the items one a line, the remarks, the parcel of several, the day
// of printing and the sender.
std::vector<Form> slipPresets();

} // namespace Forms
