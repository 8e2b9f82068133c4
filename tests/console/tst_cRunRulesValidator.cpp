// The run rules against real folders made by the test: a peers folder, XDG
// folders with a default-application list and desktop entries, a search path
// with programs, $BROWSER, and the instance lock.

#include "console/cRunRulesValidator.h"
#include "tests/kit/MessageCapture.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

// How a row sets up the browser: "handler:EXEC" makes the default http
// handler's desktop entry with that Exec line, "alternative:TARGET" makes
// bin/x-www-browser a link to TARGET, "variable:VALUE" sets $BROWSER,
// "program:PATH" makes an executable file. "@" stands for the row's folder.
using Setup = QStringList;

enum class EHolder { Nobody, AnotherValidator, TheLockAlone };
Q_DECLARE_METATYPE(EHolder)

class tst_cRunRulesValidator final : public QObject {
    Q_OBJECT

private slots:
    void run_data()
    {
        QTest::addColumn<QStringList>("peers");
        QTest::addColumn<int>("connectionType");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<EHolder>("lockHolder");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("entryWarning");
        QTest::addColumn<QString>("browserPath");

        const QStringList direct{"TarnDirectPPP", "provider"};
        const Setup esr{"program:@/opt/esr/firefox-esr", "handler:@/opt/esr/firefox-esr %u"};
        const QString esrPath = "@/opt/esr/firefox-esr";
        const EHolder none = EHolder::Nobody;
        QTest::newRow("every rule met") << direct << 0 << esr << none << 0 << false << esrPath;
        QTest::newRow("modem connection type checks the entry too")
            << QStringList{"modem"} << 1 << esr << none << 0 << true << esrPath;
        QTest::newRow("another connection type skips the entry check")
            << QStringList{} << 2 << esr << none << 0 << false << esrPath;
        QTest::newRow("missing entry: warning, start-up goes on")
            << QStringList{"provider"} << 0 << esr << none << 0 << true << esrPath;
        QTest::newRow("entry differing in case does not count")
            << QStringList{"tarndirectppp", "TARNDIRECTPPP"} << 0 << esr << none << 0 << true
            << esrPath;
        QTest::newRow("quoted path with arguments keeps its real case")
            << direct << 0
            << Setup{"program:@/Opt/Mozilla FireFox/FireFox",
                     "handler:\"@/Opt/Mozilla FireFox/FireFox\" -osint -url %u"}
            << none << 0 << false << "@/Opt/Mozilla FireFox/FireFox";
        const Setup chromium{"program:@/opt/chromium/chromium",
                             "handler:@/opt/chromium/chromium %U"};
        QTest::newRow("a third browser: path stays empty, start-up goes on")
            << direct << 0 << chromium << none << 0 << false << "";
        QTest::newRow("the first source decides even for a third browser")
            << direct << 0
            << chromium + Setup{"program:@/opt/ff/firefox", "alternative:@/opt/ff/firefox"} << none
            << 0 << false << "";
        QTest::newRow("known browser not installed: path kept, start-up goes on")
            << direct << 0 << Setup{"handler:@/opt/ff/firefox %u"} << none << 0 << false
            << "@/opt/ff/firefox";
        QTest::newRow("x-www-browser leading to a known browser")
            << direct << 0
            << Setup{"program:@/usr/lib/esr/firefox-esr", "alternative:@/usr/lib/esr/firefox-esr"}
            << none << 0 << false << "@/bin/x-www-browser";
        QTest::newRow("$BROWSER naming a program on the search path")
            << direct << 0 << Setup{"program:@/bin/firefox", "variable:firefox %s:lynx"} << none
            << 0 << false << "@/bin/firefox";
        QTest::newRow("no browser at all") << direct << 0 << Setup{} << none << 3 << false << "";
        QTest::newRow("another instance: a validator holds the lock")
            << QStringList{} << 0 << esr << EHolder::AnotherValidator << 1 << false << "";
        QTest::newRow("another instance: the lock alone is held")
            << QStringList{} << 0 << esr << EHolder::TheLockAlone << 1 << false << "";
    }
    void run()
    {
        QFETCH(QStringList, peers);
        QFETCH(int, connectionType);
        QFETCH(Setup, setup);
        QFETCH(EHolder, lockHolder);
        QFETCH(int, result);
        QFETCH(bool, entryWarning);
        QFETCH(QString, browserPath);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        SRunRulesOptions options = Options(root, peers, setup);
        options.connectionType = [connectionType] { return connectionType; };
        CMessageCapture messages;
        cRunRulesValidator first(options);
        CInstanceLock lock(options.lockFilePath);
        if (lockHolder == EHolder::AnotherValidator)
            QCOMPARE(first.Run(), 0);
        if (lockHolder == EHolder::TheLockAlone)
            QVERIFY(lock.TryLock());
        messages.Clear();
        {
            cRunRulesValidator validator(options);
            QCOMPARE(validator.Run(), result);
            const char* const texts[] = {"Ok", "Application already running", "",
                                         "Internet Browser not installed"};
            QCOMPARE(validator.GetLastErrDescr(), QLatin1String(texts[result]));
            QCOMPARE(validator.DefaultInternetBrowser(), browserPath.replace('@', root.path()));
            QCOMPARE(messages.Texts(),
                     entryWarning ? QStringList{"Remote Access entry 'TarnDirectPPP' not found"}
                                  : QStringList{});
            if (entryWarning) {
                QCOMPARE(messages.Shown().first().title, QStringLiteral("Pelion"));
                QCOMPARE(messages.Shown().first().icon, EMessageIcon::Exclamation);
            }
            // The validator holds the lock, failed rule or not, and its own
            // lock does not refuse it a second run.
            QCOMPARE(validator.Run(), result);
            QVERIFY(!CInstanceLock(options.lockFilePath).TryLock());
        }
        QCOMPARE(CInstanceLock(options.lockFilePath).TryLock(), lockHolder == EHolder::Nobody);
    }

private:
    static SRunRulesOptions Options(const QTemporaryDir& root, const QStringList& peers,
                                    const Setup& setup)
    {
        SRunRulesOptions options;
        options.lockFilePath = root.filePath(QStringLiteral("runtime/pelion.lock"));
        options.peersFolder = root.filePath(QStringLiteral("peers"));
        for (const QString& peer : peers)
            TestFiles::Write(options.peersFolder + '/' + peer, "/dev/ttyS0\n");
        SBrowserEnvironment& browser = options.browserEnvironment;
        browser = SBrowserEnvironment{};
        browser.configHome = root.filePath(QStringLiteral("config"));
        browser.dataHome = root.filePath(QStringLiteral("data"));
        browser.searchPath = {root.filePath(QStringLiteral("bin"))};
        QDir().mkpath(browser.searchPath.first());
        for (QString step : setup) {
            step.replace('@', root.path());
            const QString kind = step.section(':', 0, 0);
            const QString value = step.section(':', 1);
            if (kind == QLatin1String("program")) {
                TestFiles::WriteScript(value, "#!/bin/sh\nexit 0\n");
            } else if (kind == QLatin1String("handler")) {
                TestFiles::Write(browser.configHome + "/mimeapps.list",
                                 "[Default Applications]\nx-scheme-handler/http=web.desktop\n");
                TestFiles::Write(browser.dataHome + "/applications/web.desktop",
                                 "[Desktop Entry]\nType=Application\nExec=" + value.toUtf8()
                                     + "\n");
            } else if (kind == QLatin1String("alternative")) {
                QFile::link(value, root.filePath(QStringLiteral("bin/x-www-browser")));
            } else if (kind == QLatin1String("variable")) {
                browser.browserVariable = value;
            }
        }
        return options;
    }
};

QTEST_GUILESS_MAIN(tst_cRunRulesValidator)
#include "tst_cRunRulesValidator.moc"
