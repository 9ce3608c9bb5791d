#include "forms/formfile.h"

#include "forms/formpicture.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>
#include <quazipnewinfo.h>

#include <cmath>

namespace Forms {
namespace FormFile {

namespace {

const QString Description = QStringLiteral("form.json");
const QString FormatName = QStringLiteral("quillbox-form");
const QString SlipKind = QStringLiteral("packingSlip");
constexpr qint64 MaxDescriptionBytes = 2 * 1024 * 1024;
constexpr int MaxEntries = 16;
constexpr qsizetype MaxTextLength = 2000;

struct Name
{
    FormField::Source source;
    const char16_t *text;
};
const Name SourceNames[] = {
    {FormField::Source::Contact, u"contact"}, {FormField::Source::FixedText, u"text"},
    {FormField::Source::Date, u"date"},       {FormField::Source::CheckMark, u"check"},
    {FormField::Source::Asked, u"ask"},
};

QString fitName(FormField::Fit fit)
{
    switch (fit) {
    case FormField::Fit::OneLine:
        return QStringLiteral("line");
    case FormField::Fit::Shrink:
        return QStringLiteral("shrink");
    case FormField::Fit::Wrap:
        break;
    }
    return QStringLiteral("wrap");
}

QString alignName(Qt::Alignment a)
{
    return a & Qt::AlignRight     ? QStringLiteral("right")
           : a & Qt::AlignHCenter ? QStringLiteral("center")
                                  : QStringLiteral("left");
}

QString valignName(Qt::Alignment a)
{
    return a & Qt::AlignBottom    ? QStringLiteral("bottom")
           : a & Qt::AlignVCenter ? QStringLiteral("middle")
                                  : QStringLiteral("top");
}

// Reads the description's values, stopping at the first that is missing, of
// the wrong type or out of range; error names it for the user.
class Reader
{
public:
    QString error;

    bool fail(const QString &what)
    {
        if (error.isEmpty())
            error = what;
        return false;
    }

    bool number(const QJsonObject &o, const QString &key, double low, double high, double *value,
                const QString &where, bool required = true)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined() && !required)
            return true;
        if (!v.isDouble())
            return fail(QStringLiteral("%1缺少数值“%2”或它不是数字。").arg(where, key));
        const double d = v.toDouble();
        if (!std::isfinite(d) || d < low || d > high)
            return fail(
                QStringLiteral("%1的“%2”为 %3，应在 %4 到 %5 之间。")
                    .arg(where, key, QString::number(d), QString::number(low), QString::number(high)));
        *value = d;
        return true;
    }

    bool text(const QJsonObject &o, const QString &key, QString *value, const QString &where,
              bool required = false)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined() && !required)
            return true;
        if (!v.isString())
            return fail(QStringLiteral("%1的“%2”应为文字。").arg(where, key));
        if (v.toString().size() > MaxTextLength)
            return fail(QStringLiteral("%1的“%2”太长。").arg(where, key));
        *value = v.toString();
        return true;
    }

    bool boolean(const QJsonObject &o, const QString &key, bool *value, const QString &where)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return true;
        if (!v.isBool())
            return fail(QStringLiteral("%1的“%2”应为 true 或 false。").arg(where, key));
        *value = v.toBool();
        return true;
    }

    bool object(const QJsonObject &o, const QString &key, QJsonObject *value, const QString &where)
    {
        const QJsonValue v = o.value(key);
        if (!v.isObject())
            return fail(QStringLiteral("%1缺少“%2”或它的格式不对。").arg(where, key));
        *value = v.toObject();
        return true;
    }

    bool field(const QJsonObject &o, int index, FormField *f)
    {
        const QString where = QStringLiteral("第 %1 个字段").arg(index + 1);
        static const QStringList known{
            QStringLiteral("source"),   QStringLiteral("keys"),       QStringLiteral("separator"),
            QStringLiteral("text"),     QStringLiteral("dateFormat"), QStringLiteral("ask"),
            QStringLiteral("x"),        QStringLiteral("y"),          QStringLiteral("width"),
            QStringLiteral("height"),   QStringLiteral("font"),       QStringLiteral("size"),
            QStringLiteral("bold"),     QStringLiteral("align"),      QStringLiteral("valign"),
            QStringLiteral("fit"),      QStringLiteral("pitch"),      QStringLiteral("symbol"),
            QStringLiteral("showText"), QStringLiteral("module"),     QStringLiteral("ecc"),
        };
        QString source;
        if (!text(o, QStringLiteral("source"), &source, where, true))
            return false;
        bool knownSource = false;
        for (const Name &n : SourceNames) {
            if (source == QString::fromUtf16(n.text)) {
                f->source = n.source;
                knownSource = true;
            }
        }
        if (!knownSource)
            return fail(QStringLiteral("%1的内容类型“%2”无法识别。").arg(where, source));

        if (f->source == FormField::Source::Contact) {
            const QJsonValue keys = o.value(QStringLiteral("keys"));
            if (!keys.isArray() || keys.toArray().isEmpty() || keys.toArray().size() > 16)
                return fail(QStringLiteral("%1缺少要打印的联系人栏目（keys）。").arg(where));
            for (const QJsonValue k : keys.toArray()) {
                if (!k.isString() || !isPrintableKey(k.toString()))
                    return fail(
                        QStringLiteral("%1的联系人栏目“%2”无法识别。").arg(where, k.toVariant().toString()));
                f->keys.append(k.toString());
            }
        }
        double x = 0, y = 0, w = 0, h = 0, size = f->pointSize, pitch = 0;
        const double M = Form::MaxPaper;
        if (!text(o, QStringLiteral("separator"), &f->separator, where) ||
            !text(o, QStringLiteral("text"), &f->text, where) ||
            !text(o, QStringLiteral("dateFormat"), &f->dateFormat, where) ||
            !text(o, QStringLiteral("ask"), &f->askLabel, where) ||
            !number(o, QStringLiteral("x"), -M, M, &x, where) ||
            !number(o, QStringLiteral("y"), -M, M, &y, where) ||
            !number(o, QStringLiteral("width"), 0.1, M, &w, where) ||
            !number(o, QStringLiteral("height"), 0.1, M, &h, where) ||
            !text(o, QStringLiteral("font"), &f->fontFamily, where) ||
            !number(o, QStringLiteral("size"), Form::MinPointSize, Form::MaxPointSize, &size, where, false) ||
            !boolean(o, QStringLiteral("bold"), &f->bold, where) ||
            !number(o, QStringLiteral("pitch"), 0, 100, &pitch, where, false))
            return false;
        if (f->source == FormField::Source::Asked && f->askLabel.trimmed().isEmpty())
            return fail(QStringLiteral("%1是打印时填写的内容，但没有名称（ask）。").arg(where));
        f->box = QRectF(x, y, w, h);
        f->pointSize = size;
        f->pitch = pitch;

        QString align = QStringLiteral("left"), valign = QStringLiteral("top"), fit = QStringLiteral("wrap");
        if (!text(o, QStringLiteral("align"), &align, where) ||
            !text(o, QStringLiteral("valign"), &valign, where) ||
            !text(o, QStringLiteral("fit"), &fit, where))
            return false;
        Qt::Alignment a;
        if (align == QLatin1String("left"))
            a = Qt::AlignLeft;
        else if (align == QLatin1String("center"))
            a = Qt::AlignHCenter;
        else if (align == QLatin1String("right"))
            a = Qt::AlignRight;
        else
            return fail(QStringLiteral("%1的对齐方式“%2”无法识别。").arg(where, align));
        if (valign == QLatin1String("top"))
            a |= Qt::AlignTop;
        else if (valign == QLatin1String("middle"))
            a |= Qt::AlignVCenter;
        else if (valign == QLatin1String("bottom"))
            a |= Qt::AlignBottom;
        else
            return fail(QStringLiteral("%1的对齐方式“%2”无法识别。").arg(where, valign));
        f->alignment = a;
        if (fit == QLatin1String("line"))
            f->fit = FormField::Fit::OneLine;
        else if (fit == QLatin1String("wrap"))
            f->fit = FormField::Fit::Wrap;
        else if (fit == QLatin1String("shrink"))
            f->fit = FormField::Fit::Shrink;
        else
            return fail(QStringLiteral("%1的排版方式“%2”无法识别。").arg(where, fit));

        QString symbol, ecc = QStringLiteral("M");
        double module = f->moduleMm;
        if (!text(o, QStringLiteral("symbol"), &symbol, where) ||
            !text(o, QStringLiteral("ecc"), &ecc, where) ||
            !boolean(o, QStringLiteral("showText"), &f->showText, where) ||
            !number(o, QStringLiteral("module"), FormField::MinModuleMm, FormField::MaxModuleMm, &module,
                    where, false))
            return false;
        if (symbol.isEmpty())
            f->symbol = FormField::Symbol::None;
        else if (symbol == QLatin1String("code128"))
            f->symbol = FormField::Symbol::Code128;
        else if (symbol == QLatin1String("qr"))
            f->symbol = FormField::Symbol::QrCode;
        else
            return fail(QStringLiteral("%1的条码种类“%2”无法识别。").arg(where, symbol));
        if (ecc.size() != 1 || !QStringView(u"LMQH").contains(ecc.front()))
            return fail(QStringLiteral("%1的纠错等级“%2”无法识别（应为 L、M、Q 或 H）。").arg(where, ecc));
        f->errorLevel = ecc.front();
        f->moduleMm = module;

        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!known.contains(it.key()))
                f->unknown.insert(it.key(), it.value());
        }
        return true;
    }
};

// One entry of the archive, read whole when it is no larger than limit. The
// size the archive states is checked first, and the bytes read are capped
// too, since the stated size may lie.
std::optional<QByteArray> readEntry(QuaZip &zip, const QString &name, qint64 limit, QString *error)
{
    if (!zip.setCurrentFile(name)) {
        *error = QStringLiteral("文件里缺少“%1”。").arg(name);
        return std::nullopt;
    }
    QuaZipFileInfo64 info;
    if (!zip.getCurrentFileInfo(&info) || info.uncompressedSize > quint64(limit)) {
        *error = QStringLiteral("文件里的“%1”太大或已损坏。").arg(name);
        return std::nullopt;
    }
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("文件里的“%1”无法读取，文件可能已损坏。").arg(name);
        return std::nullopt;
    }
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const qint64 got = file.read(chunk, sizeof chunk);
        if (got < 0) {
            *error = QStringLiteral("文件里的“%1”无法读取，文件可能已损坏。").arg(name);
            return std::nullopt;
        }
        if (got == 0)
            break;
        if (bytes.size() + got > limit) {
            *error = QStringLiteral("文件里的“%1”太大。").arg(name);
            return std::nullopt;
        }
        bytes.append(chunk, got);
    }
    file.close();
    // A damaged entry shows here: its checksum or length does not match.
    if (file.getZipError() != UNZ_OK) {
        *error = QStringLiteral("文件里的“%1”已损坏。").arg(name);
        return std::nullopt;
    }
    return bytes;
}

// The picture's size is read from its header before anything is decoded: a
// small file can claim a picture that would take gigabytes.
bool checkPicture(const QByteArray &bytes, bool decode, QString *error)
{
    if (!FormPicture::check(bytes, error))
        return false;
    return !decode || !FormPicture::decode(bytes, QSize(), error).isNull();
}

QString pictureEntryName(const QByteArray &picture)
{
    const std::optional<FormPicture::Header> header = FormPicture::header(picture);
    return header && header->format == "jpeg" ? QStringLiteral("picture.jpg") : QStringLiteral("picture.png");
}

bool writeEntry(QuaZip &zip, const QString &name, const QByteArray &bytes)
{
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name)))
        return false;
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.getZipError() == ZIP_OK;
}

} // namespace

QString suffix()
{
    return QStringLiteral(".qbform");
}

std::optional<Form> read(const QByteArray &bytes, QString *error, bool decodePicture)
{
    QString why;
    const auto refuse = [&](const QString &reason) {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    if (bytes.isEmpty())
        return refuse(QStringLiteral("文件是空的，不是快递单模板。"));
    if (bytes.size() > MaxFileBytes)
        return refuse(
            QStringLiteral("文件太大（超过 %1 MB），不是快递单模板。").arg(MaxFileBytes / 1024 / 1024));

    QBuffer buffer;
    buffer.setData(bytes);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdUnzip))
        return refuse(QStringLiteral("文件不是快递单模板，或者已经损坏、不完整。"));
    if (zip.getEntriesCount() > MaxEntries)
        return refuse(QStringLiteral("文件里的内容太多，不是快递单模板。"));
    const std::optional<QByteArray> description = readEntry(zip, Description, MaxDescriptionBytes, &why);
    if (!description)
        return refuse(QStringLiteral("文件不是快递单模板，或者已经损坏：%1").arg(why));

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*description, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return refuse(QStringLiteral("模板描述已损坏，无法读取（%1）。").arg(parseError.errorString()));
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != FormatName)
        return refuse(QStringLiteral("文件不是快递单模板。"));
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toDouble() < 1 || version.toDouble() != std::floor(version.toDouble()))
        return refuse(QStringLiteral("模板的格式版本无法识别，文件可能已损坏。"));
    if (version.toDouble() > Version)
        return refuse(
            QStringLiteral("这个模板由更新版本的 Quillbox 制作（格式版本 %1），请先升级 Quillbox 再打开。")
                .arg(version.toDouble()));

    Reader r;
    Form form;
    QJsonObject paper;
    double width = 0, height = 0;
    const QString page = QStringLiteral("纸张");
    if (!r.text(root, QStringLiteral("id"), &form.id, QStringLiteral("模板")) ||
        !r.text(root, QStringLiteral("name"), &form.name, QStringLiteral("模板"), true) ||
        !r.boolean(root, QStringLiteral("landscape"), &form.landscape, QStringLiteral("模板")) ||
        !r.object(root, QStringLiteral("paper"), &paper, QStringLiteral("模板")) ||
        !r.number(paper, QStringLiteral("width"), Form::MinPaper, Form::MaxPaper, &width, page) ||
        !r.number(paper, QStringLiteral("height"), Form::MinPaper, Form::MaxPaper, &height, page))
        return refuse(QStringLiteral("模板有误：%1").arg(r.error));
    if (form.name.trimmed().isEmpty())
        return refuse(QStringLiteral("模板有误：模板没有名称。"));
    form.paper = QSizeF(width, height);

    const QJsonValue fields = root.value(QStringLiteral("fields"));
    if (!fields.isArray())
        return refuse(QStringLiteral("模板有误：缺少字段列表，或它的格式不对。"));
    const QJsonArray list = fields.toArray();
    if (list.size() > Form::MaxFields)
        return refuse(QStringLiteral("模板有误：字段太多（%1 个），最多 %2 个。")
                          .arg(list.size())
                          .arg(Form::MaxFields));
    for (int i = 0; i < list.size(); ++i) {
        if (!list.at(i).isObject())
            return refuse(QStringLiteral("模板有误：第 %1 个字段的格式不对。").arg(i + 1));
        FormField field;
        if (!r.field(list.at(i).toObject(), i, &field))
            return refuse(QStringLiteral("模板有误：%1").arg(r.error));
        form.fields.push_back(std::move(field));
    }

    const QJsonValue picture = root.value(QStringLiteral("picture"));
    if (!picture.isUndefined() && !picture.isNull()) {
        QJsonObject place;
        QString file;
        double x = 0, y = 0, w = 0, h = 0;
        const QString where = QStringLiteral("底图");
        const double M = Form::MaxPaper;
        if (!r.object(root, QStringLiteral("picture"), &place, QStringLiteral("模板")) ||
            !r.text(place, QStringLiteral("file"), &file, where, true) ||
            !r.number(place, QStringLiteral("x"), -M, M, &x, where) ||
            !r.number(place, QStringLiteral("y"), -M, M, &y, where) ||
            !r.number(place, QStringLiteral("width"), Form::MinPictureSideMm, Form::MaxPictureSideMm, &w,
                      where) ||
            !r.number(place, QStringLiteral("height"), Form::MinPictureSideMm, Form::MaxPictureSideMm, &h,
                      where))
            return refuse(QStringLiteral("模板有误：%1").arg(r.error));
        const std::optional<QByteArray> bytes = readEntry(zip, file, Form::MaxPictureBytes, &why);
        if (!bytes)
            return refuse(QStringLiteral("模板的底图无法读取：%1").arg(why));
        if (!checkPicture(*bytes, decodePicture, &why))
            return refuse(why);
        form.picture = *bytes;
        form.picturePlace = QRectF(x, y, w, h);
    }

    // A kind this version does not know is kept as an unknown key and the
    // form read as a waybill: a later version's kind prints as a form still.
    const QJsonValue kind = root.value(QStringLiteral("kind"));
    if (kind == QJsonValue(SlipKind))
        form.kind = Form::Kind::PackingSlip;
    static const QStringList known{QStringLiteral("format"),  QStringLiteral("version"),
                                   QStringLiteral("id"),      QStringLiteral("name"),
                                   QStringLiteral("paper"),   QStringLiteral("landscape"),
                                   QStringLiteral("picture"), QStringLiteral("fields")};
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (!known.contains(it.key()) &&
            !(it.key() == QLatin1String("kind") && form.kind != Form::Kind::Waybill))
            form.unknown.insert(it.key(), it.value());
    }
    if (form.id.isEmpty())
        form.id = Form::newId();
    return form;
}

QByteArray write(const Form &form, QString *error)
{
    QJsonObject root = form.unknown;
    root.insert(QStringLiteral("format"), FormatName);
    root.insert(QStringLiteral("version"), Version);
    root.insert(QStringLiteral("id"), form.id);
    root.insert(QStringLiteral("name"), form.name);
    root.insert(QStringLiteral("paper"), QJsonObject{{QStringLiteral("width"), form.paper.width()},
                                                     {QStringLiteral("height"), form.paper.height()}});
    root.insert(QStringLiteral("landscape"), form.landscape);
    // Only on slips: a waybill's file stays as every version wrote it, and
    // keeps a kind of a later version as it came.
    if (form.kind == Form::Kind::PackingSlip)
        root.insert(QStringLiteral("kind"), SlipKind);
    else if (root.value(QStringLiteral("kind")) == QJsonValue(SlipKind))
        root.remove(QStringLiteral("kind"));
    const QString pictureName = pictureEntryName(form.picture);
    if (!form.picture.isEmpty()) {
        const QRectF &p = form.picturePlace;
        root.insert(QStringLiteral("picture"), QJsonObject{{QStringLiteral("file"), pictureName},
                                                           {QStringLiteral("x"), p.x()},
                                                           {QStringLiteral("y"), p.y()},
                                                           {QStringLiteral("width"), p.width()},
                                                           {QStringLiteral("height"), p.height()}});
    } else {
        root.remove(QStringLiteral("picture"));
    }
    QJsonArray fields;
    for (const FormField &f : form.fields) {
        QJsonObject o = f.unknown;
        for (const Name &n : SourceNames) {
            if (n.source == f.source)
                o.insert(QStringLiteral("source"), QString::fromUtf16(n.text));
        }
        // What the source needs, and whatever else the field holds, so that a
        // field read and written back is the same field.
        if (f.source == FormField::Source::Contact || !f.keys.isEmpty())
            o.insert(QStringLiteral("keys"), QJsonArray::fromStringList(f.keys));
        if (!f.separator.isEmpty())
            o.insert(QStringLiteral("separator"), f.separator);
        if (f.source == FormField::Source::FixedText || !f.text.isEmpty())
            o.insert(QStringLiteral("text"), f.text);
        if (f.source == FormField::Source::Date || f.dateFormat != FormField().dateFormat)
            o.insert(QStringLiteral("dateFormat"), f.dateFormat);
        if (f.source == FormField::Source::Asked || !f.askLabel.isEmpty())
            o.insert(QStringLiteral("ask"), f.askLabel);
        o.insert(QStringLiteral("x"), f.box.x());
        o.insert(QStringLiteral("y"), f.box.y());
        o.insert(QStringLiteral("width"), f.box.width());
        o.insert(QStringLiteral("height"), f.box.height());
        o.insert(QStringLiteral("font"), f.fontFamily);
        o.insert(QStringLiteral("size"), f.pointSize);
        o.insert(QStringLiteral("bold"), f.bold);
        o.insert(QStringLiteral("align"), alignName(f.alignment));
        o.insert(QStringLiteral("valign"), valignName(f.alignment));
        o.insert(QStringLiteral("fit"), fitName(f.fit));
        if (f.pitch > 0)
            o.insert(QStringLiteral("pitch"), f.pitch);
        // Only on barcode fields: a form without them reads in any version as before.
        if (f.symbol != FormField::Symbol::None) {
            o.insert(QStringLiteral("symbol"), f.symbol == FormField::Symbol::QrCode
                                                   ? QStringLiteral("qr")
                                                   : QStringLiteral("code128"));
            o.insert(QStringLiteral("showText"), f.showText);
            o.insert(QStringLiteral("module"), f.moduleMm);
            o.insert(QStringLiteral("ecc"), QString(f.errorLevel));
        }
        fields.append(o);
    }
    root.insert(QStringLiteral("fields"), fields);

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QuaZip zip(&buffer);
    bool made = zip.open(QuaZip::mdCreate);
    made = made && writeEntry(zip, Description, QJsonDocument(root).toJson(QJsonDocument::Indented));
    if (made && !form.picture.isEmpty())
        made = writeEntry(zip, pictureName, form.picture);
    zip.close();
    if (!made || zip.getZipError() != ZIP_OK) {
        if (error)
            *error = QStringLiteral("无法生成模板文件。");
        return QByteArray();
    }
    return buffer.data();
}

} // namespace FormFile
} // namespace Forms
