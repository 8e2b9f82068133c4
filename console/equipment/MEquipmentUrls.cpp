#include "console/equipment/MEquipmentUrls.h"

namespace MEquipmentUrls {

namespace {

QString Origin(const QString& ipAddress, quint16 port)
{
    QString origin = QStringLiteral("http://") + ipAddress;
    if (port != kHttpPort)
        origin += QLatin1Char(':') + QString::number(port);
    return origin;
}

} // namespace

QUrl RootPage(const QString& ipAddress, quint16 port)
{
    return QUrl(Origin(ipAddress, port), QUrl::StrictMode);
}

QUrl HomePage(const QString& ipAddress, quint16 port)
{
    return QUrl(Origin(ipAddress, port) + QStringLiteral("/home.html"), QUrl::StrictMode);
}

QUrl BridgePage(const QString& ipAddress, const QString& user, quint16 port)
{
    // SECURITY: encoded, so that "&", "#" or "/" in the name stay part of it.
    const QString encodedUser = QString::fromLatin1(QUrl::toPercentEncoding(user));
    return QUrl(Origin(ipAddress, port) + QStringLiteral("/orvaneBridge.asp?user=") + encodedUser,
                QUrl::StrictMode);
}

} // namespace MEquipmentUrls
