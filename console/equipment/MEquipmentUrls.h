#pragma once

#include <QString>
#include <QUrl>

// The addresses of an equipment's pages. Every URL is "http://" and the
// dotted address; a port other than the equipment's usual 80 is written out.
namespace MEquipmentUrls {

inline constexpr quint16 kHttpPort = 80;

// The older interface: the equipment's root, "http://" + address.
QUrl RootPage(const QString& ipAddress, quint16 port = kHttpPort);

// The newer interface: "/home.html".
QUrl HomePage(const QString& ipAddress, quint16 port = kHttpPort);

// After a rescue login: "/orvaneBridge.asp?user=" and the user, percent-encoded.
QUrl BridgePage(const QString& ipAddress, const QString& user, quint16 port = kHttpPort);

} // namespace MEquipmentUrls
