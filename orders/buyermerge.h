#pragma once

#include <QList>
#include <QString>

// Orders that go to one buyer, to be packed as one parcel (合单): the same
// phone and the same address, or the same name and the same address. Orders to
// different addresses are never proposed, whatever the name or the phone.
namespace BuyerMerge {

// What a proposal looks at of an order.
struct Buyer
{
    QString name;
    QString phone;
    QString province;
    QString city;
    QString district;
    QString street;
};

struct Proposal
{
    QList<int> orders; // indexes into the list given, in order
    QString reason;    // for the user: "同一手机号和地址"
};

// The address as one text to compare: blanks, punctuation and letter case
// dropped, full-width letters and digits as ASCII, the regions repeated at the
// start of the street left out.
QString addressKey(const Buyer &buyer);
// The phone as one text to compare: its digits without the country code; a
// privacy number by its mask and its extension ("138****5678#7804"); empty for
// a masked number without extension, which tells no buyer from another.
QString phoneKey(const QString &phone);

// The proposals for a day's orders, each group of two or more once, in the order
// of their first order. Linear in the number of orders.
QList<Proposal> propose(const QList<Buyer> &buyers);

} // namespace BuyerMerge
