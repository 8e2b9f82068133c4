#include "fileserver/ftp/CFtpPort.h"

#include <QStringList>

namespace {

// More digits than any port field has; further digits are not read.
constexpr int kMaxDigits = 9;

} // namespace

qint64 CFtpPort::DataPort(const QString& argument)
{
    const QStringList fields = argument.split(QLatin1Char(','));
    const auto field = [&fields](int index) {
        return index < fields.size() ? LeadingNumber(fields.at(index)) : 0;
    };
    return 256 * field(kHighByteField) + field(kLowByteField);
}

qint64 CFtpPort::LeadingNumber(const QString& field)
{
    const QString text = field.trimmed();
    qint64 value = 0;
    for (int i = 0; i < text.size() && i < kMaxDigits; ++i) {
        const char16_t digit = text.at(i).unicode();
        if (digit < u'0' || digit > u'9')
            break;
        value = value * 10 + (digit - u'0');
    }
    return value;
}
