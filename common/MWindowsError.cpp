#include "common/MWindowsError.h"

#include "common/CRaisedError.h"

#include <QCoreApplication>

#include <cstring>

namespace {

// Suffix that marks run-time errors of the libraries.
const char* const kRuntimeSuffix = ".Runtime";

struct KnownText {
    std::uint32_t code;
    const char* text;
};

// Windows' own wording for the codes this system raises or reports.
constexpr KnownText kKnownTexts[] = {
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough storage is available to process this command."},
    {13, "The data is invalid."},
    {87, "The parameter is incorrect."},
};

} // namespace

QString ProgramName()
{
    if (QCoreApplication::instance() && !QCoreApplication::applicationName().isEmpty())
        return QCoreApplication::applicationName();
    return QStringLiteral("pelion");
}

QString WindowsErrorText(std::uint32_t code)
{
    for (const auto& known : kKnownTexts) {
        if (known.code == code)
            return QString::fromLatin1(known.text);
    }
    const char* text = std::strerror(static_cast<int>(code));
    if (!text || QByteArray(text).startsWith("Unknown error"))
        return {};
    return QString::fromLocal8Bit(text);
}

void RaiseWindowsError(std::uint32_t code)
{
    throw CRaisedError(kWindowsErrorBase + code, ProgramName() + QStringLiteral(".Windows"),
                       WindowsErrorText(code));
}

void RaiseWindowsErrorIf(std::uint32_t code)
{
    if (code != 0)
        RaiseWindowsError(code);
}

void RaiseLibraryError(std::uint32_t number, const QString& moduleSuffix,
                       const QString& description)
{
    if (number <= 1000)
        throw CRaisedError(number, ProgramName() + QLatin1String(kRuntimeSuffix), description);
    throw CRaisedError(number | kLibraryErrorBase, ProgramName() + moduleSuffix, description);
}
