// The run rules against real folders: a peers folder, XDG folders with
// default-application lists and desktop entries, a search path with programs,
// and $BROWSER, all made by the test.

#include "console/cRunRulesValidator.h"

#include "common/messages/CMessageService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// How a row sets up the browser: "handler:EXEC" makes the default http
// handler's desktop entry with that Exec line, "alternative:TARGET" makes
// bin/x-www-browser a link to TARGET, "variable:VALUE" sets $BROWSER,
// "program:PATH" makes an executable file. "@" stands for the row's folder.
using Setup = QStringList;

bool MakeProgram(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("#!/bin/sh\nexit 0\n");
    file.close();
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

bool WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class tst_cRunRulesValidator final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_messages.clear();
        CMessageService::SetHandler([this](const SMessage& message) {
            m_messages.append(message);
            return EMessageResult::Ok;
        });
    }
    void cleanup() { CMessageService::SetHandler({}); }

    void run_data()
    {
        QTest::addColumn<QStringList>("peers");
        QTest::addColumn<int>("connectionType");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("entryWarning");
        QTest::addColumn<QString>("browserPath");

        const QStringList direct{"TarnDirectPPP", "provider"};
        const Setup firefox{"program:@/opt/firefox-esr/firefox-esr",
                            "handler:@/opt/firefox-esr/firefox-esr %u"};
        QTest::newRow("every rule met")
            << direct << 0 << firefox << 0 << "Ok" << false << "@/opt/firefox-esr/firefox-esr";
        QTest::newRow("modem connection type checks the entry too")
            << QStringList{"modem"} << 1 << firefox << 0 << "Ok" << true
            << "@/opt/firefox-esr/firefox-esr";
        QTest::newRow("another connection type skips the entry check")
            << QStringList{} << 2 << firefox << 0 << "Ok" << false
            << "@/opt/firefox-esr/firefox-esr";
        QTest::newRow("missing entry: warning, start-up goes on")
            << QStringList{"provider"} << 0 << firefox << 0 << "Ok" << true
            << "@/opt/firefox-esr/firefox-esr";
        QTest::newRow("entry differing in case does not count")
            << QStringList{"tarndirectppp", "TARNDIRECTPPP"} << 0 << firefox << 0 << "Ok" << true
            << "@/opt/firefox-esr/firefox-esr";
        QTest::newRow("quoted path with arguments keeps its real case")
            << direct << 0
            << Setup{"program:@/Opt/Mozilla FireFox/FireFox",
                     "handler:\"@/Opt/Mozilla FireFox/FireFox\" -osint -url %u"}
            << 0 << "Ok" << false << "@/Opt/Mozilla FireFox/FireFox";
        QTest::newRow("a third browser: path stays empty, start-up goes on")
            << direct << 0
            << Setup{"program:@/opt/chromium/chromium", "handler:@/opt/chromium/chromium %U"} << 0
            << "Ok" << false << "";
        QTest::newRow("the first source decides even for a third browser")
            << direct << 0
            << Setup{"program:@/opt/chromium/chromium", "handler:@/opt/chromium/chromium %U",
                     "program:@/opt/firefox/firefox", "alternative:@/opt/firefox/firefox"}
            << 0 << "Ok" << false << "";
        QTest::newRow("known browser not installed: path kept, start-up goes on")
            << direct << 0 << Setup{"handler:@/opt/firefox/firefox %u"} << 0 << "Ok" << false
            << "@/opt/firefox/firefox";
        QTest::newRow("x-www-browser leading to a known browser")
            << direct << 0
            << Setup{"program:@/usr/lib/firefox-esr/firefox-esr",
                     "alternative:@/usr/lib/firefox-esr/firefox-esr"}
            << 0 << "Ok" << false << "@/bin/x-www-browser";
        QTest::newRow("$BROWSER naming a program on the search path")
            << direct << 0 << Setup{"program:@/bin/firefox", "variable:firefox %s:lynx"} << 0
            << "Ok" << false << "@/bin/firefox";
        QTest::newRow("no browser at all")
            << direct << 0 << Setup{} << 3 << "Internet Browser not installed" << false << "";
    }
    void run()
    {
        QFETCH(QStringList, peers);
        QFETCH(int, connectionType);
        QFETCH(Setup, setup);
        QFETCH(int, result);
        QFETCH(QString, description);
        QFETCH(bool, entryWarning);
        QFETCH(QString, browserPath);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        SRunRulesOptions options = Options(root, peers, setup);
        options.connectionType = [connectionType] { return connectionType; };

        cRunRulesValidator validator(options);
        QCOMPARE(validator.Run(), result);
        QCOMPARE(validator.GetLastErrDescr(), description);
        browserPath.replace(QLatin1Char('@'), root.path());
        QCOMPARE(validator.DefaultInternetBrowser(), browserPath);
        if (entryWarning) {
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(m_messages[0].text,
                     QStringLiteral("Remote Access entry 'TarnDirectPPP' not found"));
            QCOMPARE(m_messages[0].title, QStringLiteral("Pelion"));
            QCOMPARE(m_messages[0].icon, EMessageIcon::Exclamation);
        } else {
            QCOMPARE(m_messages.size(), 0);
        }
    }

    void anotherInstanceFailsBeforeAnyOtherRule_data()
    {
        QTest::addColumn<bool>("holderIsAValidator");
        QTest::newRow("held by another validator") << true;
        QTest::newRow("held by the lock alone") << false;
    }
    void anotherInstanceFailsBeforeAnyOtherRule()
    {
        QFETCH(bool, holderIsAValidator);
        QTemporaryDir root;
        const Setup firefox{"program:@/opt/firefox/firefox", "handler:@/opt/firefox/firefox"};
        SRunRulesOptions options = Options(root, {}, firefox);
        cRunRulesValidator first(options);
        CInstanceLock lock(options.lockFilePath);
        if (holderIsAValidator)
            QCOMPARE(first.Run(), 0);
        else
            QVERIFY(lock.TryLock());
        m_messages.clear();

        cRunRulesValidator second(options);
        QCOMPARE(second.Run(), 1);
        QCOMPARE(second.GetLastErrDescr(), QStringLiteral("Application already running"));
        QCOMPARE(second.DefaultInternetBrowser(), QString());
        QCOMPARE(m_messages.size(), 0);
    }

    void theLockIsHeldForTheValidatorsLifetime()
    {
        QTemporaryDir root;
        const SRunRulesOptions options = Options(root, {"TarnDirectPPP"}, {});
        {
            cRunRulesValidator first(options);
            QCOMPARE(first.Run(), 3); // a failed rule still holds the lock until the end
            QCOMPARE(first.Run(), 3);
            CInstanceLock other(options.lockFilePath);
            QVERIFY(!other.TryLock());
        }
        CInstanceLock after(options.lockFilePath);
        QVERIFY(after.TryLock());
    }

private:
    static SRunRulesOptions Options(const QTemporaryDir& root, const QStringList& peers,
                                    const Setup& setup)
    {
        SRunRulesOptions options;
        options.lockFilePath = root.filePath(QStringLiteral("runtime/pelion.lock"));
        options.peersFolder = root.filePath(QStringLiteral("peers"));
        for (const QString& peer : peers)
            WriteFile(QDir(options.peersFolder).filePath(peer), "/dev/ttyS0\n");

        SBrowserEnvironment& browser = options.browserEnvironment;
        browser = SBrowserEnvironment{};
        browser.configHome = root.filePath(QStringLiteral("config"));
        browser.dataHome = root.filePath(QStringLiteral("data"));
        browser.searchPath = {root.filePath(QStringLiteral("bin"))};
        QDir().mkpath(browser.searchPath.first());
        for (QString step : setup) {
            step.replace(QLatin1Char('@'), root.path());
            const qsizetype colon = step.indexOf(QLatin1Char(':'));
            const QString kind = step.left(colon);
            const QString value = step.mid(colon + 1);
            if (kind == QLatin1String("program")) {
                MakeProgram(value);
            } else if (kind == QLatin1String("handler")) {
                WriteFile(browser.configHome + QStringLiteral("/mimeapps.list"),
                          "[Default Applications]\nx-scheme-handler/http=web.desktop\n");
                WriteFile(browser.dataHome + QStringLiteral("/applications/web.desktop"),
                          "[Desktop Entry]\nType=Application\nExec=" + value.toUtf8() + "\n");
            } else if (kind == QLatin1String("alternative")) {
                QFile::link(value, root.filePath(QStringLiteral("bin/x-www-browser")));
            } else if (kind == QLatin1String("variable")) {
                browser.browserVariable = value;
            }
        }
        return options;
    }

    QList<SMessage> m_messages;
};

QTEST_GUILESS_MAIN(tst_cRunRulesValidator)
#include "tst_cRunRulesValidator.moc"
