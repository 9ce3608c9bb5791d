#include "orders/shippingfile.h"

#include "addressbook/csvtext.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

namespace ShippingFile {

namespace {

// GBK where it has the character, GB18030 (of which GBK is a part) where not, so
// that nothing turns into "?".
QByteArray toGbk(QStringView text)
{
    QByteArray out;
    QStringEncoder gbk("GBK");
    QStringEncoder gb18030("GB18030");
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView c = text.mid(i, n);
        QByteArray bytes = gbk.encode(c);
        if (gbk.hasError()) {
            gbk.resetState();
            bytes = gb18030.encode(c);
        }
        out += bytes;
        i += n;
    }
    return out;
}

} // namespace

QByteArray contents(const QList<Line> &lines, Encoding encoding)
{
    CsvText::Rows rows{{QStringLiteral("订单编号"), QStringLiteral("快递公司"), QStringLiteral("运单号")}};
    // The writer guards every cell a spreadsheet would run as a formula, once.
    for (const Line &line : lines)
        rows.append({line.orderNumber, line.courier, line.waybillNumber});
    const QByteArray utf8 = CsvText::write(rows);
    if (encoding == Encoding::Utf8Bom)
        return utf8;
    QString text = QString::fromUtf8(utf8);
    if (text.startsWith(u'\uFEFF'))
        text.remove(0, 1);
    return toGbk(text);
}

bool save(const QString &path, const QList<Line> &lines, Encoding encoding, QString *error)
{
    QSaveFile file(path);
    const QByteArray bytes = contents(lines, encoding);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("无法写入“%1”：%2").arg(QFileInfo(path).fileName(), file.errorString());
        return false;
    }
    return true;
}

} // namespace ShippingFile
