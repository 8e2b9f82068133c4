// The run rules against real folders: peers, XDG folders, a search path and
// the instance lock. Where the browser command comes from is CDefaultBrowser's
// rule; here, which browsers count. Every rule met, a missing entry and no
// browser are the start-up's own test.

#include "console/cRunRulesValidator.h"
#include "platform/dialup/MRasApi.h"
#include "tests/kit/FileModesObeyed.h"
#include "tests/kit/MessageCapture.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr const char* kDirectEntry = "TarnDirectPPP";

} // namespace

// Setup steps: "handler:EXEC" (the default http handler's Exec line),
// "alternative:TARGET" (bin/x-www-browser links there), "variable:VALUE"
// ($BROWSER), "program:PATH" (an executable); "@" is the row's folder.
struct SRun {
    QString peers; // separated by blanks; "!": a folder this user may not read
    int connectionType = 0;
    QStringList setup;
    bool otherInstance = false; // a validator runs already
    int result = 0;
    QString warning;
    QString browserPath;
};
Q_DECLARE_METATYPE(SRun)

class tst_cRunRulesValidator final : public QObject {
    Q_OBJECT

private slots:
    void run_data()
    {
        QTest::addColumn<SRun>("r");
        const QString esr = "@/esr/firefox-esr", ff = "@/ff/firefox";
        const QStringList esrSetup{"program:" + esr, "handler:" + esr + " %u"};
        const auto browser = [](const char* name, const QString& setup, const QString& path) {
            QTest::newRow(name) << SRun{"TarnDirectPPP", 0, setup.split('|'), {}, 0, {}, path};
        };
        const auto entry = [&](const char* name, const QString& peers, int type,
                               const QString& warning) {
            QTest::newRow(name) << SRun{peers, type, esrSetup, {}, 0, warning, esr};
        };
        entry("modem: the entry checked too", "modem", 1,
              "Remote Access entry 'TarnDirectPPP' not found");
        entry("another connection type: no entry check", "", 2, {});
        entry("phonebook unreadable: not said missing", "!", 0,
              PhonebookUnreadableText(QLatin1String(kDirectEntry)));
        const QString quoted = "@/My FireFox/FireFox";
        browser("quoted path keeps its case",
                "program:" + quoted + "|handler:\"" + quoted + "\" -url %u", quoted);
        browser("a third browser: no path", "handler:@/cr/chromium %U", "");
        browser("known browser not installed: path kept", "handler:" + ff + " %u", ff);
        browser("x-www-browser leading to a known one", "program:" + esr + "|alternative:" + esr,
                "@/bin/x-www-browser");
        browser("$BROWSER naming a program on the path",
                "program:@/bin/firefox|variable:firefox %s:lynx", "@/bin/firefox");
        QTest::newRow("another instance") << SRun{"", 0, esrSetup, true, 1, {}, ""};
    }
    void run()
    {
        QFETCH(SRun, r);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        SRunRulesOptions options = Options(root, r.peers.split(' ', Qt::SkipEmptyParts), r.setup);
        options.connectionType = [&r] { return r.connectionType; };
        CMessageCapture messages;
        cRunRulesValidator first(options);
        QVERIFY(!r.otherInstance || first.Run() == 0);
        QSignalSpy shown(&first.InstanceChannel(), &CInstanceChannel::ShowRequested);
        messages.Clear();
        {
            cRunRulesValidator validator(options);
            const QFileDevice::Permissions peersMode = QFile::permissions(options.peersFolder);
            QVERIFY(r.peers != "!" || QFile::setPermissions(options.peersFolder, {}));
            {
                const CFileModesObeyed obeyed;
                QCOMPARE(validator.Run(), r.result);
            }
            QVERIFY(r.peers != "!" || QFile::setPermissions(options.peersFolder, peersMode));
            // The refused one asked the first to show itself; the first answers once its
            // events run, after the refused one has stopped waiting.
            QCOMPARE(shown.wait(r.otherInstance ? 5000 : 1), r.otherInstance);
            const char* const texts[] = {"Ok", "Application already running", "",
                                         "Internet Browser not installed"};
            QCOMPARE(validator.GetLastErrDescr(), QLatin1String(texts[r.result]));
            QCOMPARE(validator.DefaultInternetBrowser(), r.browserPath.replace('@', root.path()));
            QCOMPARE(messages.Texts(),
                     r.warning.isEmpty() ? QStringList{} : QStringList{r.warning});
            // Its own lock refuses it no second run, and it holds it, failed rule or not.
            QCOMPARE(validator.Run(), r.result);
            QVERIFY(!CInstanceLock(options.lockFilePaths).TryLock());
        }
        QCOMPARE(CInstanceLock(options.lockFilePaths).TryLock(), !r.otherInstance);
    }

private:
    static SRunRulesOptions Options(const QTemporaryDir& root, const QStringList& peers,
                                    const QStringList& setup)
    {
        SRunRulesOptions options;
        options.lockFilePaths = {root.filePath("runtime/pelion.lock")};
        options.askInstanceMs = 10;
        options.peersFolder = root.filePath("peers");
        for (const QString& peer : peers)
            TestFiles::Write(options.peersFolder + '/' + (peer == "!" ? kDirectEntry : peer),
                             "/dev/ttyS0\n");
        SBrowserEnvironment& browser = options.browserEnvironment;
        browser = SBrowserEnvironment{};
        browser.configHome = root.filePath("config");
        browser.dataHome = root.filePath("data");
        browser.searchPath = {root.filePath("bin")};
        QDir().mkpath(browser.searchPath.first());
        for (QString step : setup) {
            step.replace('@', root.path());
            const QString kind = step.section(':', 0, 0), value = step.section(':', 1);
            if (kind == "program") {
                TestFiles::WriteScript(value, "#!/bin/sh\nexit 0\n");
            } else if (kind == "handler") {
                TestFiles::Write(browser.configHome + "/mimeapps.list",
                                 "[Default Applications]\nx-scheme-handler/http=web.desktop\n");
                TestFiles::Write(browser.dataHome + "/applications/web.desktop",
                                 "[Desktop Entry]\nType=Application\nExec=" + value.toUtf8()
                                     + "\n");
            } else if (kind == "alternative") {
                QFile::link(value, root.filePath("bin/x-www-browser"));
            } else {
                browser.browserVariable = value;
            }
        }
        return options;
    }
};

QTEST_GUILESS_MAIN(tst_cRunRulesValidator)
#include "tst_cRunRulesValidator.moc"
