#include "platform/textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// Length in bytes of the GB18030 character that starts at bytes[i].
qsizetype characterLength(QByteArrayView bytes, qsizetype i)
{
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead <= 0x80 || lead == 0xFF)
        return 1;
    if (i + 1 < bytes.size()) {
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        if (second >= 0x30 && second <= 0x39)
            return std::min<qsizetype>(4, bytes.size() - i);
    }
    return std::min<qsizetype>(2, bytes.size() - i);
}

QString decodeRun(QByteArrayView bytes)
{
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

} // namespace

namespace TextCodec {

QByteArray encode(QStringView text)
{
    QStringEncoder gbk("GBK");
    QByteArray whole = gbk.encode(text);
    if (!gbk.hasError())
        return whole;

    // Rare: some character is outside GBK. Encode character by character so that
    // every GBK character keeps its code page 936 bytes (the euro sign among them).
    QByteArray out;
    out.reserve(whole.size() + 8);
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QStringView ch = text.mid(i, n);
        QStringEncoder one("GBK");
        QByteArray bytes = one.encode(ch);
        if (one.hasError()) {
            QStringEncoder wide("GB18030");
            bytes = wide.encode(ch);
        }
        out += bytes;
        i += n;
    }
    return out;
}

QString decode(QByteArrayView bytes)
{
    // GB18030 has no single byte 0x80; code page 936 uses it for the euro sign.
    QString out;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) == 0x80) {
            out += decodeRun(bytes.sliced(runStart, i - runStart));
            out += QChar(0x20AC);
            runStart = ++i;
            continue;
        }
        i += characterLength(bytes, i);
    }
    if (runStart == 0)
        return decodeRun(bytes);
    out += decodeRun(bytes.sliced(runStart));
    return out;
}

qsizetype characterBoundary(QByteArrayView bytes, qsizetype limit)
{
    if (limit >= bytes.size())
        return bytes.size();
    qsizetype i = 0;
    while (i < limit) {
        const qsizetype next = i + characterLength(bytes, i);
        if (next > limit)
            break;
        i = next;
    }
    return i;
}

} // namespace TextCodec
