#include "orders/waybillnumber.h"

#include <QRegularExpression>

namespace WaybillNumber {

Courier courierFor(const QString &name)
{
    if (name.contains(QStringLiteral("顺丰")) || name.startsWith(u"SF", Qt::CaseInsensitive))
        return Courier::SF;
    if (name.contains(QStringLiteral("韵达")))
        return Courier::Yunda;
    return Courier::Other;
}

QString normalised(const QString &typed)
{
    QString number;
    for (QChar c : typed.trimmed()) {
        const char16_t u = c.unicode();
        if ((u >= u'０' && u <= u'９') || (u >= u'Ａ' && u <= u'Ｚ') || (u >= u'ａ' && u <= u'ｚ'))
            c = QChar(char16_t(u - 0xFEE0));
        number.append(c.toUpper());
    }
    return number;
}

QString problem(const QString &number, Courier courier)
{
    if (number.isEmpty())
        return QStringLiteral("运单号是空的");
    static const QRegularExpression sf(QStringLiteral(R"(^(?:SF[0-9]{12,13}|[0-9]{12})$)"));
    static const QRegularExpression yunda(QStringLiteral(R"(^(?:[0-9]{13}|[0-9]{15})$)"));
    static const QRegularExpression other(QStringLiteral(R"(^[0-9A-Z]{8,20}$)"));
    switch (courier) {
    case Courier::SF:
        return sf.match(number).hasMatch()
                   ? QString()
                   : QStringLiteral("“%1”不像顺丰运单号（SF 加 12 或 13 位数字，或 12 位数字）").arg(number);
    case Courier::Yunda:
        return yunda.match(number).hasMatch()
                   ? QString()
                   : QStringLiteral("“%1”不像韵达运单号（13 或 15 位数字）").arg(number);
    case Courier::Other:
        break;
    }
    return other.match(number).hasMatch()
               ? QString()
               : QStringLiteral("“%1”不像运单号（8 到 20 位字母和数字，不含空格）").arg(number);
}

} // namespace WaybillNumber
