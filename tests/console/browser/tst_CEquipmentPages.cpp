#include "console/browser/CEquipmentPages.h"
#include "tests/kit/TestFiles.h"

#include <QDesktopServices>
#include <QTemporaryDir>
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
    // to the desktop straight away.
    void launch_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<WindowHandle>("found");
        QTest::addColumn<bool>("activates");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QStringList>("calls");
        const QString ff = "/usr/lib/firefox-esr/firefox-esr",
                      find = "find HTTP://127.0.0.5 - LINK";
        const QString start = "start " + ff + " http://127.0.0.5/", open = "open http://127.0.0.5/";
        QTest::newRow("a window on the equipment comes to the front")
            << ff << WindowHandle(42) << true << true << QStringList{find, "activate 42"};
        QTest::newRow("a window that cannot be activated: the browser starts")
            << ff << WindowHandle(42) << false << true << QStringList{find, "activate 42", start};
        QTest::newRow("no window: the default browser starts on the URL")
            << ff << WindowHandle(0) << true << true << QStringList{find, start};
        QTest::newRow("no browser known: the desktop opens the URL")
            << QString() << WindowHandle(0) << true << true << QStringList{find, open};
        QTest::newRow("a browser that does not start: the desktop opens the URL")
            << ff << WindowHandle(0) << true << false << QStringList{find, start, open};
        QTest::newRow("newer interface: the desktop opens the URL")
            << ff << WindowHandle(7) << true << true << QStringList{open};
    }
    void launch()
    {
        QFETCH(QString, browser);
        QFETCH(WindowHandle, found);
        QFETCH(bool, activates);
        QFETCH(bool, starts);
        QFETCH(QStringList, calls);
        CAsked asked;
        const auto record = [&asked](const QString& call, auto result) {
            asked.calls << call;
            return result;
        };
        CEquipmentPages pages(
            browser, {[&](const QString& text) { return record("find " + text, found); },
                      [&](WindowHandle window) {
                          return record(QString("activate %1").arg(window), activates);
                      },
                      [&](const QString& program, const QStringList& arguments) {
                          return record("start " + program + ' ' + arguments.join(' '), starts);
                      },
                      [&](const QUrl& url) { asked.Open(url); }});
        const QUrl url(QStringLiteral("http://127.0.0.5/"));
        if (calls.first().startsWith("find"))
            pages.ShowEquipmentPage("127.0.0.5", url);
        else
            pages.OpenEquipmentPage(url);
        QCOMPARE(asked.calls, calls);
    }

    // The desktop's own launchers: the browser program started by its path,
    // the URL its one argument; the URL handed unchanged to the desktop's
    // "http" handler.
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
};

QTEST_MAIN(tst_CEquipmentPages)
#include "tst_CEquipmentPages.moc"
