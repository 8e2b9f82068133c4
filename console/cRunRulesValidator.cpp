#include "console/cRunRulesValidator.h"

#include "common/messages/CMessageService.h"

#include <QFileInfo>

namespace {

// The browsers the console knows how to drive, by the upper-case start of the
// program's file name (firefox, firefox-esr, firefox-bin, ...).
const char* const kKnownBrowser = "FIREFOX";

bool IsKnownBrowserName(const QString& path)
{
    return QFileInfo(path).fileName().toUpper().startsWith(QLatin1String(kKnownBrowser));
}

} // namespace

cRunRulesValidator::cRunRulesValidator(SRunRulesOptions options)
    : m_options(std::move(options)), m_instanceLock(m_options.lockFilePaths)
{
}

qint32 cRunRulesValidator::Run()
{
    if (!m_instanceLock.IsLocked()) {
        if (!m_instanceLock.TryLock()) {
            // The one who started it again is looking for its window.
            if (!m_instanceLock.Path().isEmpty())
                CInstanceChannel::AskToShow(CInstanceChannel::PathBeside(m_instanceLock.Path()),
                                            m_options.askInstanceMs);
            priLastErr = kErrAlreadyRunning;
            return priLastErr;
        }
        m_instanceChannel.Listen(CInstanceChannel::PathBeside(m_instanceLock.Path()));
    }
    const qint32 connectionType = m_options.connectionType ? m_options.connectionType() : 0;
    priCheckDialUp = connectionType == 0 || connectionType == 1;
    return ValidateRules();
}

QString cRunRulesValidator::GetLastErrDescr() const
{
    switch (priLastErr) {
    case kErrOk: return QStringLiteral("Ok");
    case kErrAlreadyRunning: return QStringLiteral("Application already running");
    case kErrNoDirectEntry:
        return QStringLiteral("Impossible to locate \"TarnDirectPPP\" phone book entry");
    case kErrNoBrowser: return QStringLiteral("Internet Browser not installed");
    default: return {};
    }
}

qint32 cRunRulesValidator::ValidateRules()
{
    if (priCheckDialUp)
        CheckDirectEntry();
    return CheckBrowserInstalled() ? kErrOk : priLastErr;
}

void cRunRulesValidator::CheckDirectEntry()
{
    // Peer names are file names: the comparison keeps the case.
    QString text;
    switch (LookUpRasEntry(QLatin1String(kDirectEntry), m_options.peersFolder)) {
    case EEntryLookup::Found: return;
    case EEntryLookup::Missing: text = QLatin1String(kDirectEntryMissing); break;
    case EEntryLookup::PhonebookUnreadable:
        text = PhonebookUnreadableText(QLatin1String(kDirectEntry));
        break;
    }
    CMessageService::Show(
        {text, QLatin1String(kApplicationTitle), EMessageIcon::Exclamation, EMessageButtons::Ok});
}

// The first source that names a browser decides, whatever its command turns
// out to be; only when none names one does the rule fail.
bool cRunRulesValidator::CheckBrowserInstalled()
{
    const CDefaultBrowser browser(m_options.browserEnvironment);
    const QString command = browser.Command();
    if (!command.isEmpty())
        return ParseBrowserCommand(command);
    priLastErr = kErrNoBrowser;
    return false;
}

// Takes the program out of the browser's command line. A browser the console
// does not know leaves the path empty and the start-up goes on; a known one is
// kept even when its file is missing, and the result says whether it is there.
bool cRunRulesValidator::ParseBrowserCommand(const QString& command)
{
    const QString program = CDefaultBrowser::ProgramOf(command);
    if (program.isEmpty())
        return false;
    const CDefaultBrowser browser(m_options.browserEnvironment);
    const QString found = browser.FindProgram(program);
    const QString path = found.isEmpty() ? program : found;
    // x-www-browser and /usr/bin/firefox-esr are links: the program they lead
    // to names the browser too. Its path is compared in upper case, but the
    // path kept for starting it has its real case.
    const QString target = QFileInfo(path).canonicalFilePath();
    if (!IsKnownBrowserName(path) && !(target.size() > 0 && IsKnownBrowserName(target)))
        return false;
    priBrowserPath = path;
    const QFileInfo file(path);
    return file.isFile() && file.isExecutable();
}
