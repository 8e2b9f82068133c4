#include "platform/desktop/CDefaultBrowser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const char* const kMimeAppsList = "mimeapps.list";
const char* const kDefaultApplications = "Default Applications";
const char* const kDesktopEntry = "Desktop Entry";

QStringList SplitFolders(const QString& value, const QStringList& fallback)
{
    const QStringList folders = value.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return folders.isEmpty() ? fallback : folders;
}

// The value of a key in a group of a desktop-entry style file ("[Group]",
// "Key=Value", "#" comments); empty when absent.
QString KeyFileValue(const QString& path, const QString& group, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inGroup = line.mid(1, line.size() - 2) == group;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inGroup && equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

// Undoes the escapes of a desktop entry's string values.
QString UnescapeValue(const QString& value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            result += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == QLatin1Char('s'))
            result += QLatin1Char(' ');
        else if (next == QLatin1Char('t'))
            result += QLatin1Char('\t');
        else if (next == QLatin1Char('n'))
            result += QLatin1Char('\n');
        else if (next == QLatin1Char('r'))
            result += QLatin1Char('\r');
        else if (next == QLatin1Char('\\'))
            result += QLatin1Char('\\');
        else
            result += QLatin1Char('\\') + next;
    }
    return result;
}

// Splits a command line into words as a shell and the Exec key do: blanks
// separate words; double quotes keep blanks, with a backslash escaping the
// next character inside them; single quotes keep everything.
QStringList SplitCommandLine(const QString& line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quote == QLatin1Char('\'')) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (quote == QLatin1Char('"')) {
            if (c == quote)
                quote = QChar();
            else if (c == QLatin1Char('\\') && i + 1 < line.size())
                word += line[++i];
            else
                word += c;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            inWord = true;
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

bool IsEnvironmentAssignment(const QString& word)
{
    const qsizetype equals = word.indexOf(QLatin1Char('='));
    return equals > 0 && !word.left(equals).contains(QLatin1Char('/'));
}

bool IsExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

SBrowserEnvironment SBrowserEnvironment::FromEnvironment(const QProcessEnvironment& environment)
{
    const QString home = environment.value(QStringLiteral("HOME"), QDir::homePath());
    SBrowserEnvironment result;
    result.configHome = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (result.configHome.isEmpty())
        result.configHome = home + QStringLiteral("/.config");
    result.configDirs = SplitFolders(environment.value(QStringLiteral("XDG_CONFIG_DIRS")),
                                     {QStringLiteral("/etc/xdg")});
    result.dataHome = environment.value(QStringLiteral("XDG_DATA_HOME"));
    if (result.dataHome.isEmpty())
        result.dataHome = home + QStringLiteral("/.local/share");
    result.dataDirs =
        SplitFolders(environment.value(QStringLiteral("XDG_DATA_DIRS")),
                     {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
    const QStringList desktops = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                                     .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& desktop : desktops)
        result.desktops.append(desktop.toLower());
    result.searchPath =
        environment.value(QStringLiteral("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    result.browserVariable = environment.value(QStringLiteral("BROWSER"));
    return result;
}

SBrowserEnvironment SBrowserEnvironment::FromProcess()
{
    return FromEnvironment(QProcessEnvironment::systemEnvironment());
}

CDefaultBrowser::CDefaultBrowser(SBrowserEnvironment environment)
    : m_environment(std::move(environment))
{
}

QString CDefaultBrowser::Command() const
{
    QString command = DefaultHandlerCommand();
    if (command.isEmpty())
        command = AlternativeCommand();
    if (command.isEmpty())
        command = VariableCommand();
    return command;
}

// The lists of default applications, most important first, as the XDG
// association rules order them: per desktop before general, the user's
// before the system's, configuration before data folders.
QStringList CDefaultBrowser::MimeAppsLists() const
{
    QStringList folders{m_environment.configHome};
    folders += m_environment.configDirs;
    folders += m_environment.dataHome + QStringLiteral("/applications");
    for (const QString& data : m_environment.dataDirs)
        folders += data + QStringLiteral("/applications");

    QStringList lists;
    for (const QString& folder : folders) {
        for (const QString& desktop : m_environment.desktops)
            lists +=
                QDir(folder).filePath(desktop + QLatin1Char('-') + QLatin1String(kMimeAppsList));
        lists += QDir(folder).filePath(QLatin1String(kMimeAppsList));
    }
    return lists;
}

// The file of an installed desktop entry: "vendor-name.desktop" may also lie
// in a "vendor" sub-folder.
QString CDefaultBrowser::DesktopEntryPath(const QString& desktopId) const
{
    QStringList folders{m_environment.dataHome + QStringLiteral("/applications")};
    for (const QString& data : m_environment.dataDirs)
        folders += data + QStringLiteral("/applications");
    for (const QString& folder : folders) {
        QString candidate = QDir(folder).filePath(desktopId);
        if (QFileInfo(candidate).isFile())
            return candidate;
        const qsizetype dash = desktopId.indexOf(QLatin1Char('-'));
        if (dash > 0) {
            candidate = QDir(folder).filePath(desktopId.left(dash) + QLatin1Char('/')
                                              + desktopId.mid(dash + 1));
            if (QFileInfo(candidate).isFile())
                return candidate;
        }
    }
    return {};
}

QString CDefaultBrowser::DefaultHandlerCommand() const
{
    for (const QString& list : MimeAppsLists()) {
        const QString handlers = KeyFileValue(list, QLatin1String(kDefaultApplications),
                                              QLatin1String(kHttpHandlerType));
        // The first handler that is installed wins; when none of a list's is,
        // the next list decides.
        for (const QString& id : handlers.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString entry = DesktopEntryPath(id.trimmed());
            if (entry.isEmpty())
                continue;
            const QString exec = UnescapeValue(
                KeyFileValue(entry, QLatin1String(kDesktopEntry), QStringLiteral("Exec")));
            if (!exec.isEmpty())
                return exec;
        }
    }
    return {};
}

QString CDefaultBrowser::AlternativeCommand() const
{
    return FindProgram(QLatin1String(kAlternativeName));
}

QString CDefaultBrowser::VariableCommand() const
{
    // $BROWSER may list several commands, separated by colons; the first counts.
    const QStringList commands =
        m_environment.browserVariable.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& command : commands) {
        if (!command.trimmed().isEmpty())
            return command.trimmed();
    }
    return {};
}

QString CDefaultBrowser::ProgramOf(const QString& commandLine)
{
    QStringList words = SplitCommandLine(commandLine);
    if (!words.isEmpty() && words.first() == QLatin1String("env")) {
        words.removeFirst();
        while (!words.isEmpty()
               && (IsEnvironmentAssignment(words.first())
                   || words.first().startsWith(QLatin1Char('-')))) {
            // "-u NAME" and "-C FOLDER" take the next word with them.
            const bool takesNext =
                words.first() == QLatin1String("-u") || words.first() == QLatin1String("-C");
            words.removeFirst();
            if (takesNext && !words.isEmpty())
                words.removeFirst();
        }
    }
    return words.isEmpty() ? QString() : words.first();
}

QString CDefaultBrowser::FindProgram(const QString& program) const
{
    if (program.isEmpty())
        return {};
    if (QDir::isAbsolutePath(program))
        return program;
    // A relative path with a folder in it is not looked up on the search path.
    if (program.contains(QLatin1Char('/')))
        return {};
    for (const QString& folder : m_environment.searchPath) {
        const QString candidate = QDir(folder).filePath(program);
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return {};
}
