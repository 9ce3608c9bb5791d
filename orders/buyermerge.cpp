#include "orders/buyermerge.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

#include <numeric>

namespace BuyerMerge {

namespace {

// Letters and digits only, case folded, full width as ASCII; the rest (blanks,
// commas, dashes, brackets …) says nothing about where a parcel goes.
QString folded(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() >= 0xFF01 && c.unicode() <= 0xFF5E)
            c = QChar(c.unicode() - 0xFEE0);
        if (c.isLetterOrNumber())
            out += c.toCaseFolded();
    }
    return out;
}

// Union-find over the orders, each set named by its smallest index.
struct Groups
{
    explicit Groups(qsizetype n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    int find(int i)
    {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    }
    void join(int a, int b)
    {
        a = find(a);
        b = find(b);
        if (a != b)
            parent[std::max(a, b)] = std::min(a, b);
    }
    QList<int> parent;
};

} // namespace

QString addressKey(const Buyer &buyer)
{
    QString street = folded(buyer.street);
    // "广东省深圳市南山区科技园" in the street beside the same regions in their fields.
    for (const QString &region : {buyer.province, buyer.city, buyer.district}) {
        const QString r = folded(region);
        if (!r.isEmpty() && street.startsWith(r))
            street.remove(0, r.size());
    }
    if (street.isEmpty())
        return QString(); // no street: nothing to be sure of
    return folded(buyer.province) + u'|' + folded(buyer.city) + u'|' + folded(buyer.district) + u'|' + street;
}

QString phoneKey(const QString &phone)
{
    const QString text = phone.trimmed();
    if (text.contains(u'*')) {
        // A privacy number: the mask and the extension together name the buyer's line.
        const qsizetype cut = text.indexOf(QRegularExpression(QStringLiteral("[\\[转\\-分]")));
        const QString ext = cut < 0 ? QString() : folded(text.mid(cut));
        QString mask = cut < 0 ? text : text.left(cut);
        mask.remove(u' ');
        return ext.isEmpty() ? QString() : mask + u'#' + ext;
    }
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit())
            digits += c;
    }
    if (digits.startsWith(QStringLiteral("0086")))
        digits.remove(0, 4);
    else if (digits.size() == 13 && digits.startsWith(QStringLiteral("86")))
        digits.remove(0, 2);
    return digits.size() >= 7 ? digits : QString();
}

QList<Proposal> propose(const QList<Buyer> &buyers)
{
    Groups groups(buyers.size());
    QList<bool> byPhone(buyers.size(), false);
    QHash<QString, int> firstWithPhone, firstWithName;
    for (int i = 0; i < buyers.size(); ++i) {
        const QString address = addressKey(buyers[i]);
        if (address.isEmpty())
            continue;
        // Both ways require the same address: different addresses never meet.
        const QString phone = phoneKey(buyers[i].phone);
        if (!phone.isEmpty()) {
            const auto it = firstWithPhone.constFind(address + u'#' + phone);
            if (it == firstWithPhone.cend()) {
                firstWithPhone.insert(address + u'#' + phone, i);
            } else {
                groups.join(*it, i);
                byPhone[i] = byPhone[*it] = true;
            }
        }
        const QString name = folded(buyers[i].name);
        if (!name.isEmpty() && !buyers[i].name.contains(u'*')) {
            const auto it = firstWithName.constFind(address + u'#' + name);
            if (it == firstWithName.cend())
                firstWithName.insert(address + u'#' + name, i);
            else
                groups.join(*it, i);
        }
    }
    QHash<int, int> proposalOf; // a set's first order → its proposal
    QList<Proposal> proposals;
    for (int i = 0; i < buyers.size(); ++i) {
        // A set's proposal is made when its second order comes.
        const int root = groups.find(i);
        if (root == i)
            continue;
        auto it = proposalOf.find(root);
        if (it == proposalOf.end()) {
            it = proposalOf.insert(root, int(proposals.size()));
            proposals.append({{root}, QString()});
        }
        proposals[*it].orders.append(i);
    }
    for (Proposal &p : proposals) {
        const bool phone = std::any_of(p.orders.cbegin(), p.orders.cend(), [&](int i) { return byPhone[i]; });
        p.reason = phone ? QStringLiteral("同一手机号和地址") : QStringLiteral("同一收货人和地址");
    }
    return proposals;
}

} // namespace BuyerMerge
