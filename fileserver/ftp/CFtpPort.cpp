#include "fileserver/ftp/CFtpPort.h"

#include <QHostAddress>
#include <QStringList>

#include <charconv>
#include <cstdint>
#include <limits>

namespace {

// A field's leading number; one too large for 32 bits counts as the largest,
// which no port reaches.
qint64 LeadingNumber(const QString& field)
{
    // Non-Latin-1 characters become '?', which is no digit.
    const QByteArray text = field.trimmed().toLatin1();
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.cbegin(), text.cend(), value);
    if (error == std::errc::result_out_of_range)
        return std::numeric_limits<std::uint32_t>::max();
    return end == text.cbegin() ? 0 : value;
}

} // namespace

qint64 CFtpPort::DataPort(const QString& argument)
{
    const QStringList fields = argument.split(QLatin1Char(','));
    const auto field = [&fields](int index) {
        return index < fields.size() ? LeadingNumber(fields.at(index)) : 0;
    };
    return 256 * field(kHighByteField) + field(kLowByteField);
}

std::optional<QString> CFtpPort::PassiveArgument(const QString& host, quint16 port)
{
    if (ProtocolOf(host) != kProtocolIpv4)
        return std::nullopt;
    QString argument = host;
    argument.replace(QLatin1Char('.'), QLatin1Char(','));
    return argument + QStringLiteral(",%1,%2").arg(port / 256).arg(port % 256);
}

std::optional<CFtpPort::SExtendedAddress> CFtpPort::ExtendedAddress(const QString& argument)
{
    constexpr qsizetype kFields = 3;
    if (argument.size() < 2 || argument.front().unicode() < '!' || argument.front().unicode() > '~'
        || argument.front().isDigit())
        return std::nullopt;
    const QChar delimiter = argument.front();
    if (argument.back() != delimiter)
        return std::nullopt;
    const QStringList fields = argument.mid(1, argument.size() - 2).split(delimiter);
    if (fields.size() != kFields)
        return std::nullopt;
    bool protocolOk = false;
    bool portOk = false;
    SExtendedAddress result;
    result.protocol = fields.at(0).toInt(&protocolOk);
    result.address = fields.at(1);
    const uint port = fields.at(2).toUInt(&portOk);
    if (!protocolOk || !portOk || !IsValidPort(port))
        return std::nullopt;
    result.port = static_cast<quint16>(port);
    const bool known = result.protocol == kProtocolIpv4 || result.protocol == kProtocolIpv6;
    if (known && ProtocolOf(result.address) != result.protocol)
        return std::nullopt;
    return result;
}

int CFtpPort::ProtocolOf(const QString& host)
{
    const QHostAddress address(host);
    switch (address.protocol()) {
    case QAbstractSocket::IPv4Protocol: return kProtocolIpv4;
    case QAbstractSocket::IPv6Protocol: return kProtocolIpv6;
    default: return 0;
    }
}
