#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Where the desktop keeps its settings and programs: the XDG base folders, the
// search path and $BROWSER. Read from the process's environment unless a test
// gives its own.
struct SBrowserEnvironment {
    QString configHome;      // $XDG_CONFIG_HOME, else ~/.config
    QStringList configDirs;  // $XDG_CONFIG_DIRS, else /etc/xdg
    QString dataHome;        // $XDG_DATA_HOME, else ~/.local/share
    QStringList dataDirs;    // $XDG_DATA_DIRS, else /usr/local/share and /usr/share
    QStringList desktops;    // $XDG_CURRENT_DESKTOP, lower case
    QStringList searchPath;  // $PATH
    QString browserVariable; // $BROWSER

    static SBrowserEnvironment FromEnvironment(const QProcessEnvironment& environment);
    static SBrowserEnvironment FromProcess();
};

// The desktop's default web browser, as the command line that opens a page.
// The sources, in order: the desktop's default handler for http addresses
// (the Exec line of its desktop entry), the Debian alternative x-www-browser,
// and $BROWSER.
class CDefaultBrowser final {
public:
    static constexpr const char* kHttpHandlerType = "x-scheme-handler/http";
    static constexpr const char* kAlternativeName = "x-www-browser";

    explicit CDefaultBrowser(SBrowserEnvironment environment = SBrowserEnvironment::FromProcess());

    // The command of the first source that names one; empty when none does.
    QString Command() const;

    // Each source on its own; empty when it names no browser.
    QString DefaultHandlerCommand() const;
    QString AlternativeCommand() const;
    QString VariableCommand() const;

    // The program a command line starts: its first word with quotes and
    // escapes taken out, after an "env NAME=value ..." prefix; empty when the
    // line names none.
    static QString ProgramOf(const QString& commandLine);

    // The absolute path of a program: the name itself when absolute, else the
    // first executable file of that name on the search path; empty when none.
    QString FindProgram(const QString& program) const;

    const SBrowserEnvironment& Environment() const { return m_environment; }

private:
    QStringList MimeAppsLists() const;
    QString DesktopEntryPath(const QString& desktopId) const;

    SBrowserEnvironment m_environment;
};
