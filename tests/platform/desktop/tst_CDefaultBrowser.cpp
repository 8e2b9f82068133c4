#include "platform/desktop/CDefaultBrowser.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// "exec:" files are executable.
bool Put(const QTemporaryDir& root, const QString& path, const QByteArray& content)
{
    return path.startsWith("exec:") ? TestFiles::WriteScript(root.filePath(path.mid(5)), content)
                                    : TestFiles::Write(root.filePath(path), content);
}

QByteArray DesktopEntry(const QByteArray& exec)
{
    return "[Desktop Entry]\nType=Application\nName=Browser\nExec=" + exec
           + "\n\n[Desktop Action new-window]\nExec=/wrong/action --new-window\n";
}

QByteArray Defaults(const QByteArray& handlers)
{
    return "[Added Associations]\nx-scheme-handler/http=added.desktop;\n"
           "[Default Applications]\n# the user's choice\nx-scheme-handler/http="
           + handlers + "\n";
}

using FileMap = QMap<QString, QByteArray>;

} // namespace

class tst_CDefaultBrowser final : public QObject {
    Q_OBJECT

private slots:
    // Files below the root; $BROWSER|$XDG_CURRENT_DESKTOP; the command, from the handler
    // (else $BROWSER). The order of the sources is the start-up check's.
    void commandComesFromTheFirstSourceNamingOne_data()
    {
        QTest::addColumn<FileMap>("files");
        QTest::addColumn<QString>("variables");
        QTest::addColumn<QString>("command");
        const auto row = [](const char* name, const FileMap& files, const char* variables,
                            const char* command = "/opt/web/firefox %u") {
            QTest::newRow(name) << files << QString(variables) << QString(command);
        };
        const QByteArray installed = DesktopEntry("/opt/web/firefox %u");
        row("quoted path with arguments, escapes undone",
            {{"config/mimeapps.list", Defaults("web.desktop")},
             {"data/applications/web.desktop",
              DesktopEntry("\"/opt/My\\sWeb/firefox\" -new-window %u")}},
            "|", "\"/opt/My Web/firefox\" -new-window %u");
        row("desktop's own list before the general one",
            {{"config/mimeapps.list", Defaults("web.desktop")},
             {"config/xfce-mimeapps.list", Defaults("other.desktop")},
             {"data/applications/web.desktop", installed},
             {"data/applications/other.desktop", DesktopEntry("other-browser %u")}},
            "|XFCE:GNOME", "other-browser %u");
        row("handler not installed: next installed one, then next list",
            {{"config/mimeapps.list", Defaults("gone.desktop;also-gone.desktop")},
             {"sysconfig/mimeapps.list", Defaults("gone.desktop;web.desktop;")},
             {"data/applications/web.desktop", installed}},
            "|");
        row("system data folder list and vendor sub-folder",
            {{"sysdata/applications/mimeapps.list", Defaults("vendor-web.desktop")},
             {"sysdata/applications/vendor/web.desktop", installed}},
            "|");
        row("alternative not executable: $BROWSER, first of its list",
            {{"bin/x-www-browser", "not a program"}}, ":firefox-esr %s:lynx|", "firefox-esr %s");
    }
    void commandComesFromTheFirstSourceNamingOne()
    {
        QFETCH(FileMap, files);
        QFETCH(QString, variables);
        QFETCH(QString, command);
        QTemporaryDir root;
        for (auto file = files.cbegin(); file != files.cend(); ++file)
            QVERIFY(Put(root, file.key(), file.value()));
        QProcessEnvironment environment;
        const QStringList names{"HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME"};
        const QStringList folders{"home", "config", "sysconfig", "data"};
        for (qsizetype i = 0; i < names.size(); ++i)
            environment.insert(names[i], root.filePath(folders[i]));
        environment.insert("XDG_DATA_DIRS", root.filePath("none") + ':' + root.filePath("sysdata"));
        environment.insert("PATH", root.filePath("empty") + ':' + root.filePath("bin"));
        environment.insert("BROWSER", variables.section('|', 0, 0));
        environment.insert("XDG_CURRENT_DESKTOP", variables.section('|', 1));
        const CDefaultBrowser browser(SBrowserEnvironment::FromEnvironment(environment));
        QCOMPARE(browser.Command(), command);
        QCOMPARE(variables.startsWith('|') ? browser.DefaultHandlerCommand()
                                           : browser.VariableCommand(),
                 command);
    }

    // The program a command line runs, and where the search path finds it.
    void programOfCommandLine_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("found");
        const QStringList rows[] = {
            {"first folder of the search path that has it", "web %u", "web", "@first/web"},
            {"non-executable file is skipped", "tool", "tool", "@second/tool"},
            {"escaped quote inside quotes", "\"/opt/a \\\"b\\\"/firefox\" %u",
             "/opt/a \"b\"/firefox", "/opt/a \"b\"/firefox"},
            {"single quotes", "'/opt/My Browser/firefox' %s", "/opt/My Browser/firefox",
             "/opt/My Browser/firefox"},
            {"leading blanks, nowhere on the path", "   firefox", "firefox", ""},
            {"env prefix with settings",
             "env MOZ_ENABLE_WAYLAND=1 -u GTK_THEME /usr/bin/firefox %u", "/usr/bin/firefox",
             "/usr/bin/firefox"},
            {"relative path with a folder", "first/web", "first/web", ""},
            {"blanks only", "  \t ", "", ""},
        };
        for (const QStringList& row : rows)
            QTest::newRow(qPrintable(row[0])) << row[1] << row[2] << row[3];
    }
    void programOfCommandLine()
    {
        QFETCH(QString, commandLine);
        QFETCH(QString, program);
        QFETCH(QString, found);
        QTemporaryDir root;
        for (const char* path :
             {"exec:first/web", "exec:second/web", "first/tool", "exec:second/tool"})
            QVERIFY(Put(root, path, "#!/bin/sh\n"));
        SBrowserEnvironment environment;
        environment.searchPath = {root.filePath("first"), root.filePath("second")};
        if (found.startsWith('@'))
            found = root.filePath(found.mid(1));
        QCOMPARE(CDefaultBrowser::ProgramOf(commandLine), program);
        QCOMPARE(CDefaultBrowser(environment).FindProgram(program), found);
    }

    void unsetFoldersTakeTheirDefaults()
    {
        QProcessEnvironment environment;
        environment.insert("HOME", "/home/field");
        const SBrowserEnvironment f = SBrowserEnvironment::FromEnvironment(environment);
        QCOMPARE((QStringList{f.configHome, f.dataHome} + f.configDirs + f.dataDirs),
                 (QStringList{"/home/field/.config", "/home/field/.local/share", "/etc/xdg",
                              "/usr/local/share", "/usr/share"}));
    }
};

QTEST_GUILESS_MAIN(tst_CDefaultBrowser)
#include "tst_CDefaultBrowser.moc"
