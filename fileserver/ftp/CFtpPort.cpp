#include "fileserver/ftp/CFtpPort.h"

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
