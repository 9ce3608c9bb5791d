#pragma once

#include <QByteArray>
#include <QString>

// Contact files are GBK (code page 936). Characters GBK lacks are stored in
// GB18030, which agrees with GBK on every character GBK has, so nothing typed is
// ever written as "?" and old files read exactly as before.
namespace TextCodec {

QByteArray encode(QStringView text);
QString decode(QByteArrayView bytes);

// The largest offset <= limit that does not split a multi-byte character.
qsizetype characterBoundary(QByteArrayView bytes, qsizetype limit);

} // namespace TextCodec
