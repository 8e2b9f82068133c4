#include "console/browser/CEquipmentPages.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// What the pages asked of the desktop, in order.
struct SAsked {
    QStringList calls;
    QString sought;

    SPageLaunchers Launchers(WindowHandle found, bool activates, bool starts)
    {
        return {[this, found](const QString& text) {
                    sought = text;
                    return found;
                },
                [this, activates](WindowHandle window) {
                    calls << QStringLiteral("activate %1").arg(window);
                    return activates;
                },
                [this, starts](const QString& program, const QStringList& arguments) {
                    calls << QStringLiteral("start %1 %2").arg(program, arguments.join(' '));
                    return starts;
                },
                [this](const QUrl& url) { calls << QStringLiteral("open ") + url.toString(); }};
    }
};

class tst_CEquipmentPages final : public QObject {
    Q_OBJECT

private slots:
    void showEquipmentPage_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<WindowHandle>("found");
        QTest::addColumn<bool>("activates");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QStringList>("calls");
        const QString url = QStringLiteral("http://127.0.0.5/");
        const QString firefox = QStringLiteral("/usr/lib/firefox-esr/firefox-esr");
        QTest::newRow("a window on the equipment comes to the front")
            << firefox << WindowHandle(42) << true << true
            << QStringList{QStringLiteral("activate 42")};
        QTest::newRow("a window that cannot be activated: the browser starts")
            << firefox << WindowHandle(42) << false << true
            << QStringList{QStringLiteral("activate 42"), "start " + firefox + " " + url};
        QTest::newRow("no window: the default browser starts on the URL")
            << firefox << WindowHandle(0) << true << true
            << QStringList{"start " + firefox + " " + url};
        QTest::newRow("no browser known: the desktop opens the URL")
            << QString() << WindowHandle(0) << true << true << QStringList{"open " + url};
        QTest::newRow("a browser that does not start: the desktop opens the URL")
            << firefox << WindowHandle(0) << true << false
            << QStringList{"start " + firefox + " " + url, "open " + url};
    }
    void showEquipmentPage()
    {
        QFETCH(QString, browser);
        QFETCH(WindowHandle, found);
        QFETCH(bool, activates);
        QFETCH(bool, starts);
        QFETCH(QStringList, calls);
        SAsked asked;
        CEquipmentPages pages(browser, asked.Launchers(found, activates, starts));
        pages.ShowEquipmentPage(QStringLiteral("127.0.0.5"),
                                QUrl(QStringLiteral("http://127.0.0.5/")));
        QCOMPARE(asked.sought, QStringLiteral("HTTP://127.0.0.5 - LINK"));
        QCOMPARE(asked.calls, calls);
    }

    void openEquipmentPageGoesToTheDesktop()
    {
        SAsked asked;
        CEquipmentPages pages(QStringLiteral("/usr/bin/firefox"), asked.Launchers(7, true, true));
        pages.OpenEquipmentPage(QUrl(QStringLiteral("http://127.0.0.5/home.html")));
        QCOMPARE(asked.calls, QStringList{QStringLiteral("open http://127.0.0.5/home.html")});
        QVERIFY(asked.sought.isEmpty());
    }

    // The real launcher starts the browser program by its path, with the URL
    // as its one argument.
    void desktopLauncherStartsTheBrowserProgram()
    {
        QTemporaryDir dir;
        const QString browser = dir.filePath(QStringLiteral("Browser Program"));
        const QString seen = dir.filePath(QStringLiteral("seen"));
        QFile script(browser);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            QStringLiteral("#!/bin/sh\nprintf '%s' \"$*\" > '%1.part' && mv '%1.part' '%1'\n")
                .arg(seen)
                .toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        CEquipmentPages pages(browser, CEquipmentPages::DesktopLaunchers(
                                           [](const QString&) { return WindowHandle(0); },
                                           [](WindowHandle) { return false; }));
        pages.ShowEquipmentPage(QStringLiteral("127.0.0.5"),
                                QUrl(QStringLiteral("http://127.0.0.5/")));
        QTRY_VERIFY(QFile::exists(seen));
        QFile result(seen);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), QByteArray("http://127.0.0.5/"));
    }
};

QTEST_GUILESS_MAIN(tst_CEquipmentPages)
#include "tst_CEquipmentPages.moc"
