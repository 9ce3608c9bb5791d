#include "barcode/barcode.h"

#include <zint.h>

#include <memory>

namespace Barcode {

namespace {

struct SymbolDeleter
{
    void operator()(zint_symbol *symbol) const { ZBarcode_Delete(symbol); }
};

bool isAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() > 0x7e)
            return false;
    }
    return true;
}

QString firstUnencodable(const QString &content)
{
    for (qsizetype i = 0; i < content.size(); ++i) {
        const ushort c = content.at(i).unicode();
        if (c < 0x20 || c > 0x7e)
            return content.at(i).isHighSurrogate() ? content.mid(i, 2) : QString(content.at(i));
    }
    return QString();
}

} // namespace

int quietZone(Kind kind)
{
    return kind == Kind::Code128 ? 10 : 4;
}

Symbol encode(Kind kind, const QString &content, QrLevel level)
{
    Symbol result;
    if (content.isEmpty()) {
        result.whyNot = QStringLiteral("条码内容为空。");
        return result;
    }
    // Latin-1 letters are valid Code 128 but read back differently from
    // scanner to scanner: a courier's number is plain ASCII.
    if (kind == Kind::Code128) {
        const QString bad = firstUnencodable(content);
        if (!bad.isEmpty()) {
            result.whyNot =
                QStringLiteral("条码内容里的“%1”不能印成条码（条码只能印字母、数字和英文符号）。").arg(bad);
            return result;
        }
    }
    std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol) {
        result.whyNot = QStringLiteral("内存不足，条码无法生成。");
        return result;
    }
    symbol->symbology = kind == Kind::Code128 ? BARCODE_CODE128 : BARCODE_QRCODE;
    symbol->input_mode = UNICODE_MODE;
    symbol->show_hrt = 0;
    // In 2.11 the vector output is 2 * scale units to a module.
    symbol->scale = 0.5f;
    if (kind == Kind::QrCode) {
        symbol->option_1 = int(level) + 1;
        // Without an ECI zint turns Chinese into Shift JIS, which scanners
        // read as Japanese.
        if (!isAscii(content))
            symbol->eci = 26;
    }
    const QByteArray utf8 = content.toUtf8();
    const int status = ZBarcode_Encode_and_Buffer_Vector(
        symbol.get(), reinterpret_cast<const unsigned char *>(utf8.constData()), int(utf8.size()), 0);
    if (status >= ZINT_ERROR || !symbol->vector) {
        if (status == ZINT_ERROR_TOO_LONG)
            result.whyNot = kind == Kind::QrCode ? QStringLiteral("二维码内容太长，无法编码。")
                                                 : QStringLiteral("条码内容太长，无法编码。");
        else
            result.whyNot = QStringLiteral("条码内容无法编码（%1）。").arg(QString::fromUtf8(symbol->errtxt));
        return result;
    }
    for (const zint_vector_rect *r = symbol->vector->rectangles; r; r = r->next)
        result.bars.append(QRectF(r->x, r->y, r->width, r->height));
    result.size = QSizeF(symbol->vector->width, symbol->vector->height);
    result.eci = symbol->eci;
    if (kind == Kind::Code128) {
        // Bars one module high; the painter stretches them to the box.
        for (QRectF &bar : result.bars) {
            bar.setTop(0);
            bar.setHeight(1);
        }
        result.size.setHeight(1);
        result.text = content;
    }
    return result;
}

} // namespace Barcode
