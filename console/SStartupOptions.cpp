#include "console/SStartupOptions.h"

namespace {

std::optional<quint16> PortOf(const QProcessEnvironment& environment, const char* name)
{
    const QString text = environment.value(QLatin1String(name));
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

} // namespace

SStartupOptions SStartupOptions::FromEnvironment(const QProcessEnvironment& environment)
{
    SStartupOptions options;
    options.rules.browserEnvironment = SBrowserEnvironment::FromEnvironment(environment);
    const QString peers = environment.value(QStringLiteral("PELION_PEERS_FOLDER"));
    if (!peers.isEmpty())
        options.rules.peersFolder = peers;
    const QString instance = environment.value(QStringLiteral("PELION_INSTANCE_FOLDER"));
    if (!instance.isEmpty())
        options.rules.lockFilePaths = {instance + QStringLiteral("/pelion.lock")};
    if (const auto port = PortOf(environment, "PELION_FTP_PORT"))
        options.fileServer.ftp.port = *port;
    if (const auto port = PortOf(environment, "PELION_FTP_DATA_PORT"))
        options.fileServer.ftp.localDataPort = *port;
    if (const auto port = PortOf(environment, "PELION_TFTP_PORT"))
        options.fileServer.tftp.port = *port;
    options.helpPort = PortOf(environment, "PELION_HELP_PORT");
    options.messageLog = environment.value(QStringLiteral("PELION_MESSAGE_LOG"));
    options.systemSettingsFolder = environment.value(QStringLiteral("PELION_SYSTEM_SETTINGS"));
    return options;
}
