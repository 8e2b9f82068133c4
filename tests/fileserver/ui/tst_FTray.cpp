#include "common/ui/CTrayIcon.h"
#include "fileserver/ui/FAbout.h"
#include "fileserver/ui/FTray.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

QStringList VisibleItems(const QMenu* menu)
{
    QStringList items;
    for (const QAction* action : menu->actions()) {
        if (action->isVisible())
            items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return items;
}

} // namespace

class tst_FTray final : public QObject {
    Q_OBJECT

private slots:
    void iconUpWithTip()
    {
        FTray tray({QStringLiteral("Title"), {}});
        QVERIFY(!tray.isVisible());
        QVERIFY(tray.TrayIcon()->IsShown());
        QCOMPARE(tray.TrayIcon()->Tip(), QStringLiteral("Orvane FTP/TFTP Server"));
        QCOMPARE(tray.TrayIcon()->Icon().value<QIcon>().cacheKey(), tray.Image1().cacheKey());
        QVERIFY(!tray.Timer()->isActive());
        QCOMPARE(tray.Timer()->interval(), 500);
    }

    void menuItems()
    {
        FTray tray({QStringLiteral("Title"), {}});
        QCOMPARE(VisibleItems(tray.mnuMain()), (QStringList{"Monitor", "-", "About"}));
        tray.EnableExitMenu(true);
        QCOMPARE(VisibleItems(tray.mnuMain()), (QStringList{"Monitor", "-", "About", "-", "Exit"}));
        tray.EnableExitMenu(false);
        QCOMPARE(VisibleItems(tray.mnuMain()), (QStringList{"Monitor", "-", "About"}));
    }

    void menuAndClicksRaiseTrayEvents_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("code");
        QTest::newRow("Monitor") << "Monitor" << int(TrayShowMon);
        QTest::newRow("Exit") << "Exit" << int(TrayExit);
        QTest::newRow("Options") << "Options" << int(TrayShowOptions);
    }
    void menuAndClicksRaiseTrayEvents()
    {
        QFETCH(QString, entry);
        QFETCH(int, code);
        FTray tray({QStringLiteral("Title"), {}});
        QSignalSpy events(&tray, &FTray::TrayEvent);
        for (QAction* action : tray.mnuMain()->actions()) {
            if (action->text() == entry)
                action->trigger();
        }
        QCOMPARE(events.count(), 1);
        QCOMPARE(events.at(0).at(0).value<TrayEvents>(), static_cast<TrayEvents>(code));
    }

    void doubleClickShowsMonitorSingleClickNothing()
    {
        FTray tray({QStringLiteral("Title"), {}});
        QSignalSpy events(&tray, &FTray::TrayEvent);
        emit tray.TrayIcon()->SystemIcon()->activated(QSystemTrayIcon::Trigger);
        QCOMPARE(events.count(), 0);
        emit tray.TrayIcon()->SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(events.count(), 1);
        QCOMPARE(events.at(0).at(0).value<TrayEvents>(), TrayShowMon);
    }

    void rightClickPopsMenu()
    {
        FTray tray({QStringLiteral("Title"), {}});
        emit tray.TrayIcon()->SystemIcon()->activated(QSystemTrayIcon::Context);
        QTRY_VERIFY(tray.mnuMain()->isVisible());
        tray.mnuMain()->hide();
    }

    void blinkSequence()
    {
        int running = 1;
        FTray tray({QStringLiteral("Title"), [&running] { return running; }});
        const auto shown = [&tray] {
            const qint64 key = tray.TrayIcon()->Icon().value<QIcon>().cacheKey();
            return key == tray.Image2().cacheKey() ? 2 : key == tray.Image1().cacheKey() ? 1 : 0;
        };
        tray.StartBlinking();
        QList<int> pictures{shown()};
        for (int tick = 0; tick < 3; ++tick) {
            tray.Timer_Timer();
            pictures << shown();
        }
        QCOMPARE(pictures, (QList<int>{2, 1, 2, 1}));
        QVERIFY(tray.Timer()->isActive());

        tray.StartBlinking(); // a new transfer restarts at the transfer picture
        QCOMPARE(shown(), 2);
        QVERIFY(!tray.BlinkState());

        running = 0;
        tray.Timer_Timer();
        QCOMPARE(shown(), 1);
        QVERIFY(!tray.Timer()->isActive());
        QVERIFY(!tray.BlinkState());
    }

    void timerDrivesBlinkingUntilTransfersEnd()
    {
        int running = 1;
        FTray tray({QStringLiteral("Title"), [&running] { return running; }, 10});
        tray.StartBlinking();
        QTRY_VERIFY(tray.BlinkState()); // a tick came and showed the idle picture
        running = 0;
        QTRY_VERIFY(!tray.Timer()->isActive());
        QCOMPARE(tray.TrayIcon()->Icon().value<QIcon>().cacheKey(), tray.Image1().cacheKey());
    }

    void aboutTwiceIsOneWindow()
    {
        FTray tray({QStringLiteral("Orvane FTP/TFTP Server Ver. 1.2.4"), {}});
        tray.ShowAbout();
        FAbout* first = tray.About();
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->Title(), QStringLiteral("Orvane FTP/TFTP Server Ver. 1.2.4"));
        tray.ShowAbout();
        QCOMPARE(tray.About(), first);
        first->close(); // deleted on close
        QTRY_VERIFY(tray.About() == nullptr);
        tray.ShowAbout();
        QVERIFY(tray.About() != nullptr);
        QCOMPARE(tray.About()->Title(), QStringLiteral("Orvane FTP/TFTP Server Ver. 1.2.4"));
    }
};

QTEST_MAIN(tst_FTray)
#include "tst_FTray.moc"
