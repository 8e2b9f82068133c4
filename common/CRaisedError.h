#pragma once

#include <QString>

#include <cstdint>
#include <exception>

// An error raised to a caller, carrying what a message box or a log needs:
// a number, the source that raised it and a description.
class CRaisedError : public std::exception {
public:
    CRaisedError(std::uint32_t number, QString source, QString description);

    std::uint32_t Number() const noexcept { return m_number; }
    const QString& Source() const noexcept { return m_source; }
    const QString& Description() const noexcept { return m_description; }

    const char* what() const noexcept override { return m_what.constData(); }

private:
    std::uint32_t m_number = 0;
    QString m_source;
    QString m_description;
    QByteArray m_what;
};
