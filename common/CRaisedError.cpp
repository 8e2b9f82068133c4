#include "common/CRaisedError.h"

CRaisedError::CRaisedError(std::uint32_t number, QString source, QString description)
    : m_number(number), m_source(std::move(source)), m_description(std::move(description)),
      m_what(QStringLiteral("%1 (0x%2, %3)")
                 .arg(m_description)
                 .arg(m_number, 8, 16, QLatin1Char('0'))
                 .arg(m_source)
                 .toUtf8())
{
}
