#include "console/browser/CEquipmentPages.h"
#include "platform/desktop/SDesktopSession.h"
#include "tests/kit/TestFiles.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

// Records what the pages asked of the desktop, in order.
class CAsked final : public QObject {
    Q_OBJECT

public:
    QStringList calls;

public slots:
    void Open(const QUrl& url) { calls << "open " + url.toString(QUrl::FullyEncoded); }
};

class tst_CEquipmentPages final : public QObject {
    Q_OBJECT

private slots:
    // The older interface reuses a window on the equipment, else starts the
    // default browser, else hands the URL to the desktop; the newer one goes
    // to the desktop straight away. Window 43 and /bin/false refuse.
    void launch_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<WindowHandle>("found");
        QTest::addColumn<QString>("calls"); // separated by "; "
        const QString ff = "/usr/lib/firefox-esr/firefox-esr", url = " http://127.0.0.5/";
        const QString find = "find HTTP://127.0.0.5 - LINK; ", open = "open" + url;
        const QString start = "start " + ff + url;
        const auto row = [](const char* name, const QString& browser, int found,
                            const QString& calls) {
            QTest::newRow(name) << browser << WindowHandle(found) << calls;
        };
        row("window on the equipment: to the front", ff, 42, find + "activate 42");
        row("window not activated: browser starts", ff, 43, find + "activate 43; " + start);
        row("no window: default browser starts", ff, 0, find + start);
        row("no browser known: desktop opens", QString(), 0, find + open);
        row("browser does not start: desktop opens", "/bin/false", 0,
            find + "start /bin/false" + url + "; " + open);
        row("newer interface: desktop opens", ff, 7, open);
    }
    void launch()
    {
        QFETCH(QString, browser);
        QFETCH(WindowHandle, found);
        QFETCH(QString, calls);
        CAsked asked;
        const auto record = [&asked](const QString& call, bool result) {
            asked.calls << call;
            return result;
        };
        CEquipmentPages pages(
            browser, {[&](const QString& text) { return record("find " + text, true) ? found : 0; },
                      [&](WindowHandle window) {
                          return record(QString("activate %1").arg(window), window != 43);
                      },
                      [&](const QString& program, const QStringList& arguments) {
                          return record("start " + program + ' ' + arguments.join(' '),
                                        program != "/bin/false");
                      },
                      [&](const QUrl& url) { asked.Open(url); }});
        const QUrl url(QStringLiteral("http://127.0.0.5/"));
        if (calls.startsWith("find"))
            pages.ShowEquipmentPage("127.0.0.5", url);
        else
            pages.OpenEquipmentPage(url);
        QCOMPARE(asked.calls.join("; "), calls);
    }
    // The desktop's own launchers: the browser program started by its path
    // with the URL as its one argument; the URL handed unchanged to the
    // desktop's "http" handler.
    void desktopLaunchers()
    {
        QTemporaryDir dir;
        const QString browser = dir.filePath("Browser Program"), seen = dir.filePath("seen");
        QVERIFY(TestFiles::WriteScript(
            browser,
            QStringLiteral("#!/bin/sh\nprintf '%s' \"$*\" > '%1.part' && mv '%1.part' '%1'\n")
                .arg(seen)
                .toUtf8()));
        const auto launchers = CEquipmentPages::DesktopLaunchers(
            [](const QString&) { return WindowHandle(0); }, [](WindowHandle) { return false; });
        CEquipmentPages(browser, launchers)
            .ShowEquipmentPage("127.0.0.5", QUrl("http://127.0.0.5/"));
        QTRY_COMPARE(TestFiles::Read(seen), QByteArray("http://127.0.0.5/"));
        CAsked handler;
        QDesktopServices::setUrlHandler("http", &handler, "Open");
        const QUrl bridge(QStringLiteral("http://127.0.0.2/orvaneBridge.asp?user=A%26B"));
        CEquipmentPages(browser, launchers).OpenEquipmentPage(bridge);
        CEquipmentPages(QString(), launchers).ShowEquipmentPage("127.0.0.2", bridge);
        QDesktopServices::unsetUrlHandler("http");
        QCOMPARE(handler.calls, QStringList(2, "open " + bridge.toString(QUrl::FullyEncoded)));
    }

    // On a Wayland session (run_on_sway.sh) other programs' windows cannot be listed: beside a
    // window titled as the equipment's page, each request starts the browser again.
    void onWaylandEachRequestStartsTheBrowser()
    {
        if (QGuiApplication::platformName() != QLatin1String("wayland"))
            QSKIP("Needs a Wayland session (tests/x11/run_on_sway.sh).");
        QWindow page;
        page.setTitle(QStringLiteral("http://127.0.0.5 - Link"));
        page.resize(300, 200);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page, 20000));
        const SDesktopSession session = SDesktopSession::FromEnvironment(
            QProcessEnvironment::systemEnvironment(), QGuiApplication::platformName());
        QCOMPARE(session.WindowSearch(), SDesktopSession::EWindowSearch::NotAvailable);
        const std::unique_ptr<CWindowSystem> windows = session.MakeWindowSystem();
        QTemporaryDir dir;
        const QString browser = dir.filePath("firefox"), log = dir.filePath("started.log");
        QVERIFY(TestFiles::WriteScript(
            browser, QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\n").arg(log).toUtf8()));
        CEquipmentPages pages(
            browser, CEquipmentPages::DesktopLaunchers(
                         [&](const QString& upperText) {
                             for (const WindowHandle window : windows->TopLevelWindows())
                                 if (windows->WindowTitle(window).toUpper().contains(upperText))
                                     return window;
                             return WindowHandle(0);
                         },
                         [&](WindowHandle window) { return windows->ActivateWindow(window); }));
        for (int request = 1; request <= 2; ++request) {
            pages.ShowEquipmentPage("127.0.0.5", QUrl("http://127.0.0.5/"));
            QTRY_COMPARE(TestFiles::Read(log).count('\n'), request);
        }
        QCOMPARE(TestFiles::Read(log), QByteArray("http://127.0.0.5/\nhttp://127.0.0.5/\n"));
    }
};

QTEST_MAIN(tst_CEquipmentPages)
#include "tst_CEquipmentPages.moc"
