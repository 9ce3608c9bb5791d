#pragma once

#include <QString>

// Whether a typed or scanned number looks like a waybill number of the courier
// it is given for, before it is written against an order.
namespace WaybillNumber {

enum class Courier { SF, Yunda, Other };

// The courier a form or a company name stands for ("顺丰速运", "韵达快递"); Other
// for any else.
Courier courierFor(const QString &name);

// The number as it should be kept: blanks around it gone, full-width letters and
// digits as ASCII, letters in capitals ("sf1234…" from a scanner set to lower case).
QString normalised(const QString &typed);

// Empty when the (normalised) number has the courier's form; else why not, in
// words for the user.
QString problem(const QString &number, Courier courier);
inline bool looksValid(const QString &number, Courier courier)
{
    return problem(number, courier).isEmpty();
}

} // namespace WaybillNumber
