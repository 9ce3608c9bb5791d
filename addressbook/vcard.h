#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// vCard 3.0 (RFC 2426, escaping as RFC 6350) for the eight contact values, in
// the order of the contact keys: company, person, province, city, district,
// street address, phone, postcode.
//
//   FN and N   person (N holds the whole name as family name: a Chinese name is
//              not split reliably)
//   ORG        company
//   TEL        phone
//   ADR        ;district;street;city;province;postcode;中国 (the district in
//              the "extended address" part, so it comes back where it was)
namespace VCard {

// A property value with its backslash, comma, semicolon and line breaks escaped.
QString escaped(QStringView text);
// One content line, folded at 75 bytes without splitting a UTF-8 character.
QByteArray folded(const QString &line);

using Contacts = QList<QStringList>;

// UTF-8, CR LF, lines folded at 75 bytes without splitting a character.
QByteArray write(const Contacts &contacts);
// Reads vCard 2.1, 3.0 and 4.0 as phones export them: folded lines, property
// groups ("item1.TEL"), quoted-printable values in their CHARSET (UTF-8, or
// GB2312/GBK/GB18030 from older phones), "tel:" numbers. Of several TEL or ADR the one
// marked preferred (else the first) is taken; the person falls back to N, then
// to the company.
Contacts parse(QStringView text);

} // namespace VCard
