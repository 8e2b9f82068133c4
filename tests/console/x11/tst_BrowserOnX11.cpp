// The older web interface with a real browser on a virtual X display with a
// window manager (tests/x11/run_on_display.sh --wm): the first request opens
// one browser window on the simulated equipment, the second finds that window
// and brings it to the front instead of starting another browser.
//
// The browser runs as a child of the test on a profile of the test's own
// making that keeps all its traffic on the loopback network. A picture of the
// display is kept in $PELION_ARTEFACTS.

#include "console/browser/CEquipmentPages.h"
#include "platform/desktop/CX11WindowSystem.h"
#include "tests/console/EquipmentSimProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include <unistd.h>

namespace {

constexpr int kBrowserStartMs = 60000;
constexpr int kDesktopMs = 20000;

const QString kBrowser = QStringLiteral("/usr/bin/firefox-esr");
const QString kEquipmentAddress = QStringLiteral("127.0.0.41");

QString Artefact(const QString& name)
{
    const QString folder = qEnvironmentVariable("PELION_ARTEFACTS", QDir::tempPath());
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

// Preferences that keep the browser quiet and local: no first-run or welcome
// pages, no reports, updates, safe-browsing lists or remote settings, no
// name lookups; anything not on 127.0.0.0/8 goes to a proxy where nothing
// listens, so it fails on this machine.
QByteArray LoopbackOnlyPreferences(quint16 deadPort)
{
    const QByteArray dead = QByteArray::number(deadPort);
    const QByteArray deadUrl = "http://127.0.0.1:" + dead + "/";
    QList<QPair<QByteArray, QByteArray>> prefs = {
        {"network.proxy.type", "1"},
        {"network.proxy.http", "\"127.0.0.1\""},
        {"network.proxy.http_port", dead},
        {"network.proxy.ssl", "\"127.0.0.1\""},
        {"network.proxy.ssl_port", dead},
        {"network.proxy.socks", "\"127.0.0.1\""},
        {"network.proxy.socks_port", dead},
        {"network.proxy.socks_remote_dns", "true"},
        {"network.proxy.share_proxy_settings", "true"},
        {"network.proxy.no_proxies_on", "\"127.0.0.0/8\""},
        {"network.proxy.allow_hijacking_localhost", "false"},
        {"network.dns.disabled", "true"},
        {"network.dns.disablePrefetch", "true"},
        {"network.trr.mode", "5"},
        {"network.prefetch-next", "false"},
        {"network.predictor.enabled", "false"},
        {"network.http.speculative-parallel-limit", "0"},
        {"network.captive-portal-service.enabled", "false"},
        {"network.connectivity-service.enabled", "false"},
        {"browser.startup.homepage_override.mstone", "\"ignore\""},
        {"browser.startup.page", "0"},
        {"browser.startup.homepage", "\"about:blank\""},
        {"startup.homepage_welcome_url", "\"\""},
        {"startup.homepage_welcome_url.additional", "\"\""},
        {"browser.aboutwelcome.enabled", "false"},
        {"browser.newtabpage.enabled", "false"},
        {"browser.newtabpage.activity-stream.feeds.section.topstories", "false"},
        {"browser.newtabpage.activity-stream.feeds.topsites", "false"},
        {"browser.newtabpage.activity-stream.default.sites", "\"\""},
        {"browser.shell.checkDefaultBrowser", "false"},
        {"browser.sessionstore.resume_from_crash", "false"},
        {"browser.tabs.warnOnClose", "false"},
        {"browser.discovery.enabled", "false"},
        {"browser.search.update", "false"},
        {"browser.search.geoip.url", "\"\""},
        {"browser.region.network.url", "\"\""},
        {"browser.region.update.enabled", "false"},
        {"browser.ping-centre.telemetry", "false"},
        {"browser.safebrowsing.malware.enabled", "false"},
        {"browser.safebrowsing.phishing.enabled", "false"},
        {"browser.safebrowsing.blockedURIs.enabled", "false"},
        {"browser.safebrowsing.downloads.enabled", "false"},
        {"browser.safebrowsing.downloads.remote.enabled", "false"},
        {"browser.safebrowsing.provider.google4.updateURL", "\"\""},
        {"browser.safebrowsing.provider.google.updateURL", "\"\""},
        {"browser.safebrowsing.provider.mozilla.updateURL", "\"\""},
        {"datareporting.healthreport.uploadEnabled", "false"},
        {"datareporting.policy.dataSubmissionEnabled", "false"},
        {"datareporting.policy.firstRunURL", "\"\""},
        {"toolkit.telemetry.enabled", "false"},
        {"toolkit.telemetry.unified", "false"},
        {"toolkit.telemetry.archive.enabled", "false"},
        {"toolkit.telemetry.server", "\"" + deadUrl + "\""},
        {"toolkit.startup.max_resumed_crashes", "-1"},
        {"app.update.enabled", "false"},
        {"app.update.auto", "false"},
        {"app.update.url", "\"" + deadUrl + "\""},
        {"app.normandy.enabled", "false"},
        {"app.normandy.api_url", "\"\""},
        {"app.shield.optoutstudies.enabled", "false"},
        {"extensions.update.enabled", "false"},
        {"extensions.update.autoUpdateDefault", "false"},
        {"extensions.systemAddon.update.enabled", "false"},
        {"extensions.getAddons.cache.enabled", "false"},
        {"extensions.blocklist.enabled", "false"},
        {"services.settings.server", "\"" + deadUrl + "v1\""},
        {"media.gmp-manager.url", "\"" + deadUrl + "\""},
        {"media.gmp-gmpopenh264.enabled", "false"},
        {"geo.enabled", "false"},
        {"security.OCSP.enabled", "0"},
        {"security.remote_settings.crlite_filters.enabled", "false"},
        {"identity.fxaccounts.enabled", "false"},
        {"captivedetect.canonicalURL", "\"\""},
    };
    QByteArray text;
    for (const auto& [name, value] : prefs)
        text += "user_pref(\"" + name + "\", " + value + ");\n";
    return text;
}

// The browser's windows on the equipment, found as the console finds them.
QList<WindowHandle> WindowsTitled(CWindowSystem& windows, const QString& upperText)
{
    QList<WindowHandle> found;
    for (const WindowHandle window : windows.TopLevelWindows()) {
        if (windows.WindowTitle(window).toUpper().contains(upperText))
            found.append(window);
    }
    return found;
}

// The window the window manager reports as active; 0 when none or unknown.
WindowHandle ActiveWindow()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")});
    if (!xprop.waitForFinished(10000) || xprop.exitCode() != 0)
        return 0;
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("window id # (0x[0-9a-fA-F]+)"))
            .match(QString::fromLatin1(xprop.readAllStandardOutput()));
    return match.hasMatch() ? static_cast<WindowHandle>(match.captured(1).toULongLong(nullptr, 16))
                            : 0;
}

// Ends a process the test started, politely first.
void End(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(10000);
    }
}

} // namespace

class tst_BrowserOnX11 final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFileInfo(kBrowser).isExecutable())
            QSKIP("No browser at /usr/bin/firefox-esr: nothing to open the older interface with.");
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"),
                 "Runs on an X display (tests/x11/run_on_display.sh).");
        QVERIFY(m_home.isValid());
    }

    void cleanup() { End(m_browser); }

    void olderInterfaceReusesTheBrowserWindow()
    {
        CEquipmentSimProcess sim;
        QVERIFY(sim.Start(kEquipmentAddress, {QStringLiteral("--older")}));
        const QUrl url(QStringLiteral("http://%1:%2/").arg(kEquipmentAddress).arg(sim.Port()));

        const QString profile = m_home.filePath(QStringLiteral("profile"));
        QVERIFY(QDir().mkpath(profile));
        QFile userJs(QDir(profile).filePath(QStringLiteral("user.js")));
        QVERIFY(userJs.open(QIODevice::WriteOnly));
        QVERIFY(
            userJs.write(LoopbackOnlyPreferences(ClosedLoopbackPort(QStringLiteral("127.0.0.1"))))
            > 0);
        userJs.close();

        // The browser keeps everything of its own under the test's folder.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                           m_home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("MOZ_CRASHREPORTER_DISABLE"), QStringLiteral("1"));
        environment.insert(QStringLiteral("MOZ_DISABLE_AUTO_SAFE_MODE"), QStringLiteral("1"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        // The content sandbox refuses to run as root.
        if (::geteuid() == 0)
            environment.insert(QStringLiteral("MOZ_DISABLE_CONTENT_SANDBOX"), QStringLiteral("1"));
        m_browser.setProcessEnvironment(environment);
        m_browser.setProcessChannelMode(QProcess::MergedChannels);
        m_browser.setStandardOutputFile(m_home.filePath(QStringLiteral("browser.log")));

        int started = 0;
        QString startedProgram;
        CX11WindowSystem windows;
        SPageLaunchers launchers = CEquipmentPages::DesktopLaunchers(
            [&](const QString& upperText) {
                const QList<WindowHandle> found = WindowsTitled(windows, upperText);
                return found.isEmpty() ? WindowHandle{0} : found.first();
            },
            [&](WindowHandle window) { return windows.ActivateWindow(window); });
        launchers.startProgram = [&](const QString& program, const QStringList& arguments) {
            ++started;
            startedProgram = program;
            m_browser.start(program, QStringList{QStringLiteral("--profile"), profile,
                                                 QStringLiteral("--no-remote"),
                                                 QStringLiteral("--new-instance")}
                                         + arguments);
            return m_browser.waitForStarted(10000);
        };
        launchers.openUrl = [](const QUrl& unexpected) {
            QFAIL(
                qPrintable(QStringLiteral("Handed to the desktop: %1").arg(unexpected.toString())));
        };
        CEquipmentPages pages(kBrowser, launchers);

        const QString sought = QStringLiteral("HTTP://%1 - LINK").arg(kEquipmentAddress);
        QCOMPARE(WindowsTitled(windows, sought).size(), 0);

        pages.ShowEquipmentPage(kEquipmentAddress, url);
        QCOMPARE(started, 1);
        QCOMPARE(startedProgram, kBrowser);
        QTRY_VERIFY2_WITH_TIMEOUT(WindowsTitled(windows, sought).size() == 1
                                      || m_browser.state() == QProcess::NotRunning,
                                  "No browser window on the equipment's page", kBrowserStartMs);
        QCOMPARE(m_browser.state(), QProcess::Running);
        const WindowHandle browserWindow = WindowsTitled(windows, sought).constFirst();
        QVERIFY(sim.Count(QStringLiteral("GET / ")) >= 1);

        // Another window takes the front, so that bringing the browser back
        // is something the second request has to do.
        QWindow other;
        other.setTitle(QStringLiteral("Another window"));
        other.resize(400, 300);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other, kDesktopMs));
        const auto otherWindow = static_cast<WindowHandle>(other.winId());
        QVERIFY(windows.ActivateWindow(otherWindow));
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), otherWindow, kDesktopMs);

        pages.ShowEquipmentPage(kEquipmentAddress, url);
        QCOMPARE(started, 1);
        QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), browserWindow, kDesktopMs);
        QCOMPARE(WindowsTitled(windows, sought), QList<WindowHandle>{browserWindow});

        QProcess import;
        import.start(QStringLiteral("import"),
                     {QStringLiteral("-window"), QStringLiteral("root"),
                      Artefact(QStringLiteral("browser-older-interface.png"))});
        QVERIFY(import.waitForFinished(30000));
        QCOMPARE(import.exitCode(), 0);
    }

private:
    QTemporaryDir m_home;
    QProcess m_browser;
};

QTEST_MAIN(tst_BrowserOnX11)
#include "tst_BrowserOnX11.moc"
