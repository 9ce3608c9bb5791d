#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The vCards this program puts on the server: the eight contact values in the
// addressbook's vCard mapping, with a UID and CATEGORIES. A card that came from
// the server is changed in place, so what other clients wrote into it (photos,
// more phone numbers, notes, its vCard version) stays.
namespace SyncCard {

// A vCard 3.0 for the eight values in key order.
QByteArray create(const QStringList &values, const QString &uid, const QString &category);

// The server's card with only the properties whose values differ from the eight
// given rewritten; CATEGORIES is added when the card has none.
QByteArray patched(const QByteArray &card, const QStringList &values, const QString &category);

// The eight values as the addressbook's vCard reader reads them.
QStringList values(const QByteArray &card);
QString uid(const QByteArray &card);

} // namespace SyncCard
