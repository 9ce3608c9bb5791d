#include "forms/form.h"

#include <QUuid>

#include <algorithm>

namespace Forms {

bool FormField::operator==(const FormField &o) const
{
    return source == o.source && keys == o.keys && separator == o.separator && text == o.text &&
           dateFormat == o.dateFormat && askLabel == o.askLabel && box == o.box &&
           fontFamily == o.fontFamily && pointSize == o.pointSize && bold == o.bold &&
           alignment == o.alignment && fit == o.fit && pitch == o.pitch && symbol == o.symbol &&
           showText == o.showText && moduleMm == o.moduleMm && errorLevel == o.errorLevel &&
           unknown == o.unknown;
}

bool Form::operator==(const Form &o) const
{
    return id == o.id && name == o.name && kind == o.kind && paper == o.paper && landscape == o.landscape &&
           picture == o.picture && picturePlace == o.picturePlace && fields == o.fields &&
           unknown == o.unknown;
}

bool Form::picturePlaceAllowed(const QRectF &p)
{
    const auto within = [](double v, double low, double high) { return v >= low && v <= high; };
    return within(p.x(), -MaxPaper, MaxPaper) && within(p.y(), -MaxPaper, MaxPaper) &&
           within(p.width(), MinPictureSideMm, MaxPictureSideMm) &&
           within(p.height(), MinPictureSideMm, MaxPictureSideMm);
}

QString Form::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

const QList<std::pair<QString, QString>> &batchFields()
{
    static const QList<std::pair<QString, QString>> fields{
        {QStringLiteral("orderNumber"), QStringLiteral("订单编号")},
        {QStringLiteral("waybillNumber"), QStringLiteral("运单号")},
        {QStringLiteral("orderNumbers"), QStringLiteral("全部订单编号")},
        {QStringLiteral("items"), QStringLiteral("商品明细")},
        {QStringLiteral("remarks"), QStringLiteral("备注")},
        {QStringLiteral("parcel"), QStringLiteral("件数")},
    };
    return fields;
}

bool isPrintableKey(QStringView key)
{
    for (const auto *list : {&contactFields(), &batchFields()}) {
        for (const auto &[name, caption] : *list) {
            if (name == key)
                return true;
        }
    }
    return false;
}

const QList<std::pair<QString, QString>> &contactFields()
{
    static const QList<std::pair<QString, QString>> fields{
        {QStringLiteral("txtSent"), QStringLiteral("寄件单位")},
        {QStringLiteral("txtName"), QStringLiteral("寄件人")},
        {QStringLiteral("txtP"), QStringLiteral("寄件省")},
        {QStringLiteral("txtC"), QStringLiteral("寄件市")},
        {QStringLiteral("txtA"), QStringLiteral("寄件区/县")},
        {QStringLiteral("txtAdd"), QStringLiteral("寄件详细地址")},
        {QStringLiteral("txtTel"), QStringLiteral("寄件电话")},
        {QStringLiteral("txtZip"), QStringLiteral("寄件邮编")},
        {QStringLiteral("txtSentTo"), QStringLiteral("收件单位")},
        {QStringLiteral("txtNameTo"), QStringLiteral("收件人")},
        {QStringLiteral("txtPTo"), QStringLiteral("收件省")},
        {QStringLiteral("txtCTo"), QStringLiteral("收件市")},
        {QStringLiteral("txtATo"), QStringLiteral("收件区/县")},
        {QStringLiteral("txtAddTo"), QStringLiteral("收件详细地址")},
        {QStringLiteral("txtTelTo"), QStringLiteral("收件电话")},
        {QStringLiteral("txtZipTo"), QStringLiteral("收件邮编")},
    };
    return fields;
}

namespace {

// "{订单编号}-{txtNameTo}" with each named field's value; a name no field has stays as written.
QString withPlaceholders(const QString &text, const FormValues &values)
{
    QString out;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype open = text.indexOf(u'{', at);
        const qsizetype close = open < 0 ? -1 : text.indexOf(u'}', open + 1);
        if (close < 0) {
            out += QStringView(text).sliced(at);
            break;
        }
        out += QStringView(text).sliced(at, open - at);
        const QStringView name = QStringView(text).sliced(open + 1, close - open - 1);
        QString key;
        for (const auto *list : {&contactFields(), &batchFields()}) {
            for (const auto &[fieldKey, caption] : *list) {
                if (name == fieldKey || name == caption)
                    key = fieldKey;
            }
        }
        if (key.isEmpty())
            out += QStringView(text).sliced(open, close - open + 1);
        else if (values.contact)
            out += values.contact(key);
        at = close + 1;
    }
    return out;
}

} // namespace

QString fieldText(const FormField &field, const FormValues &values)
{
    switch (field.source) {
    case FormField::Source::Contact: {
        QStringList parts;
        for (const QString &key : field.keys) {
            const QString part = values.contact ? values.contact(key) : QString();
            if (!part.isEmpty())
                parts.append(part);
        }
        return parts.join(field.separator);
    }
    case FormField::Source::FixedText:
        return field.symbol == FormField::Symbol::None ? field.text : withPlaceholders(field.text, values);
    case FormField::Source::Date:
        return values.today.toString(field.dateFormat);
    case FormField::Source::CheckMark:
        return QStringLiteral("✓");
    case FormField::Source::Asked:
        return values.asked.value(field.askLabel);
    }
    return QString();
}

QString fieldCaption(const FormField &field)
{
    if (field.symbol != FormField::Symbol::None) {
        const QString kind =
            field.symbol == FormField::Symbol::QrCode ? QStringLiteral("二维码") : QStringLiteral("条码");
        FormField content = field;
        content.symbol = FormField::Symbol::None;
        return field.source == FormField::Source::FixedText
                   ? QStringLiteral("%1“%2”").arg(kind, field.text)
                   : kind + QStringLiteral("：") + fieldCaption(content);
    }
    switch (field.source) {
    case FormField::Source::Contact: {
        // The usual joins by the name the user knows them by.
        if (field.keys.size() == 4 && field.keys.at(0).startsWith(QLatin1String("txtP")))
            return field.keys.at(0).endsWith(QLatin1String("To")) ? QStringLiteral("收件地址")
                                                                  : QStringLiteral("寄件地址");
        QStringList captions;
        for (const QString &key : field.keys) {
            QString caption = key;
            for (const auto *list : {&contactFields(), &batchFields()}) {
                for (const auto &[name, shown] : *list) {
                    if (name == key)
                        caption = shown;
                }
            }
            captions.append(caption);
        }
        return captions.join(QStringLiteral("+"));
    }
    case FormField::Source::FixedText:
        return QStringLiteral("固定文字“%1”").arg(field.text);
    case FormField::Source::Date:
        return QStringLiteral("日期");
    case FormField::Source::CheckMark:
        return QStringLiteral("勾选");
    case FormField::Source::Asked:
        return field.askLabel;
    }
    return QString();
}

QStringList askedLabels(const Form &form)
{
    QStringList labels;
    for (const FormField &field : form.fields) {
        if (field.source == FormField::Source::Asked && !labels.contains(field.askLabel))
            labels.append(field.askLabel);
    }
    return labels;
}

namespace {

FormField contact(QStringList keys, QRectF box, double points = 11, FormField::Fit fit = FormField::Fit::Wrap,
                  QString separator = QString())
{
    FormField field;
    field.source = FormField::Source::Contact;
    field.keys = std::move(keys);
    field.separator = std::move(separator);
    field.box = box;
    field.pointSize = points;
    field.fit = fit;
    return field;
}

QStringList address(const QString &side)
{
    return {QStringLiteral("txtP") + side, QStringLiteral("txtC") + side, QStringLiteral("txtA") + side,
            QStringLiteral("txtAdd") + side};
}

// The usual fields of one side in a block at the given place, width w: company
// and person on the first line, the address below, phone at the bottom.
void addSide(Form &form, const QString &side, double x, double y, double w, double points)
{
    const double line = points * 25.4 / 72 * 1.5;
    form.fields.push_back(contact({QStringLiteral("txtName") + side}, QRectF(x, y, w * 0.4, line), points,
                                  FormField::Fit::Shrink));
    form.fields.push_back(contact({QStringLiteral("txtTel") + side}, QRectF(x + w * 0.45, y, w * 0.55, line),
                                  points, FormField::Fit::Shrink));
    form.fields.push_back(contact({QStringLiteral("txtSent") + side}, QRectF(x, y + line, w, line), points,
                                  FormField::Fit::Shrink));
    form.fields.push_back(contact(address(side), QRectF(x, y + 2 * line, w, 2 * line), points));
}

Form preset(const QString &name, QSizeF paper)
{
    Form form;
    form.id = Form::newId();
    form.name = name;
    form.paper = paper;
    return form;
}

} // namespace

std::vector<Form> presets()
{
    std::vector<Form> forms;

    // A paper waybill is blank: each courier has its own boxes, and only the
    // user's measurements from the scan can place them.
    forms.push_back(preset(QStringLiteral("纸质快递单 230×127"), QSizeF(230, 127)));

    // Labels are the shop's own layout: recipient above the sender, larger.
    const QSizeF labels[] = {{76, 130}, {100, 150}, {100, 180}};
    for (const QSizeF size : labels) {
        Form label = preset(QStringLiteral("标签 %1×%2").arg(size.width()).arg(size.height()), size);
        const double margin = 5, w = size.width() - 2 * margin;
        addSide(label, QStringLiteral("To"), margin, size.height() * 0.15, w, size.width() < 90 ? 11 : 12);
        addSide(label, QString(), margin, size.height() * 0.55, w, 9);
        forms.push_back(label);
    }
    return forms;
}

namespace {

// A packing slip's lettering, by the paper: body text, captions and heading
// in points, the margin in mm.
struct SlipStyle
{
    double margin;
    double body;
    double heading;
    double barcodeWidth; // mm
    double barcodeHeight;
    double moduleMm; // the barcode's narrowest bar
    bool twoColumns; // the items beside the rest, on a page wider than tall
};

// One line of text of that size, as the painter lays it out, with a little to spare.
double lineMm(double points)
{
    return points * 25.4 / 72 * 1.25;
}

FormField caption(const QString &text, QRectF box, double points)
{
    FormField field;
    field.source = FormField::Source::FixedText;
    field.text = text;
    field.box = box;
    field.pointSize = points;
    field.bold = true;
    field.fit = FormField::Fit::Shrink;
    return field;
}

// A caption with its value to its right, the value's box lines high; the height taken.
double addLabelled(Form &form, const QString &text, FormField value, double x, double y, double w,
                   const SlipStyle &style, int lines)
{
    const double line = lineMm(style.body);
    // Four characters and the colon, at the caption's size.
    const double captionWidth = style.body * 25.4 / 72 * 5.2;
    form.fields.push_back(caption(text + QStringLiteral("："), QRectF(x, y, captionWidth, line), style.body));
    value.box = QRectF(x + captionWidth, y, w - captionWidth, line * lines);
    value.pointSize = style.body;
    form.fields.push_back(value);
    return line * lines + line * 0.3;
}

Form slip(const QString &name, QSizeF paper, const SlipStyle &s)
{
    Form form = preset(name, paper);
    form.kind = Form::Kind::PackingSlip;
    const double left = s.margin, width = paper.width() - 2 * s.margin;
    const double bottom = paper.height() - s.margin;
    const double line = lineMm(s.body);

    // The heading and below it the day and the parcel of several, the
    // barcode to their right: what the packer and the buyer look for first.
    FormField heading =
        caption(QStringLiteral("发货单"),
                QRectF(left, s.margin, width - s.barcodeWidth - 2, lineMm(s.heading)), s.heading);
    form.fields.push_back(heading);
    FormField code;
    code.source = FormField::Source::FixedText;
    code.text = QStringLiteral("{订单编号}");
    code.symbol = FormField::Symbol::Code128;
    code.moduleMm = s.moduleMm;
    code.box = QRectF(left + width - s.barcodeWidth, s.margin, s.barcodeWidth, s.barcodeHeight);
    form.fields.push_back(code);
    double y = s.margin + lineMm(s.heading) + line * 0.3;
    const double beside = width - s.barcodeWidth - 2;
    FormField date;
    date.source = FormField::Source::Date;
    date.fit = FormField::Fit::Shrink;
    y += addLabelled(form, QStringLiteral("打印日期"), date, left, y, beside, s, 1);
    y += addLabelled(form, QStringLiteral("件数"), contact({QStringLiteral("parcel")}, QRectF()), left, y,
                     beside, s, 1);
    y = std::max(y, s.margin + s.barcodeHeight) + line * 0.5;

    const double columnGap = 6;
    const double infoWidth = s.twoColumns ? (width - columnGap) * 0.45 : width;
    double info = y;
    info += addLabelled(form, QStringLiteral("订单编号"), contact({QStringLiteral("orderNumbers")}, QRectF()),
                        left, info, infoWidth, s, 3);
    info += addLabelled(form, QStringLiteral("收货人"),
                        contact({QStringLiteral("txtNameTo"), QStringLiteral("txtTelTo")}, QRectF(), s.body,
                                FormField::Fit::Shrink, QStringLiteral("  ")),
                        left, info, infoWidth, s, 1);
    info += addLabelled(form, QStringLiteral("收货地址"), contact(address(QStringLiteral("To")), QRectF()),
                        left, info, infoWidth, s, 3);

    // From the bottom up: the sender, then the remarks above it.
    const double senderTop = bottom - line;
    addLabelled(form, QStringLiteral("发货人"),
                contact({QStringLiteral("txtSent"), QStringLiteral("txtName")}, QRectF(), s.body,
                        FormField::Fit::Shrink, QStringLiteral(" ")),
                left, senderTop, infoWidth, s, 1);
    const int remarkLines = 4;
    const double remarksTop = senderTop - line * 0.5 - line * remarkLines;
    addLabelled(form, QStringLiteral("备注"), contact({QStringLiteral("remarks")}, QRectF()), left,
                remarksTop, infoWidth, s, remarkLines);

    // The items take what is left: beside the rest, or between the address and the remarks.
    const double itemsLeft = s.twoColumns ? left + infoWidth + columnGap : left;
    const double itemsTop = s.twoColumns ? y : info;
    const double itemsBottom = s.twoColumns ? bottom : remarksTop - line * 0.5;
    const int itemLines = int((itemsBottom - itemsTop) / line);
    addLabelled(form, QStringLiteral("商品明细"), contact({QStringLiteral("items")}, QRectF()), itemsLeft,
                itemsTop, width - (itemsLeft - left), s, itemLines);
    return form;
}

} // namespace

std::vector<Form> slipPresets()
{
    return {
        slip(QStringLiteral("发货单 A4"), QSizeF(210, 297), {15, 12, 24, 70, 18, 0.33, false}),
        slip(QStringLiteral("发货单 A5"), QSizeF(148, 210), {10, 10.5, 20, 60, 16, 0.25, false}),
        slip(QStringLiteral("发货单 半张A4"), QSizeF(210, 148.5), {10, 10.5, 20, 60, 16, 0.25, true}),
        slip(QStringLiteral("发货单 标签 100×150"), QSizeF(100, 150), {5, 9, 16, 50, 14, 0.25, false}),
    };
}

} // namespace Forms
