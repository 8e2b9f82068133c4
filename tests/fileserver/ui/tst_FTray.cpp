#include "common/ui/CTrayIcon.h"
#include "fileserver/ui/FAbout.h"
#include "fileserver/ui/FTray.h"

#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kTitle = QStringLiteral("Orvane FTP/TFTP Server Ver. 1.2.4");

QStringList VisibleItems(const QMenu* menu)
{
    QStringList items;
    for (const QAction* action : menu->actions()) {
        if (action->isVisible())
            items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return items;
}

// 1 when the tray shows the idle picture, 2 the transfer picture.
int Shown(const FTray& tray)
{
    const qint64 key = tray.TrayIcon()->Icon().value<QIcon>().cacheKey();
    return key == tray.Image2().cacheKey() ? 2 : key == tray.Image1().cacheKey() ? 1 : 0;
}
} // namespace

class tst_FTray final : public QObject {
    Q_OBJECT
private slots:
    void iconAndMenuAtLoad()
    {
        FTray tray({kTitle, {}});
        QVERIFY(!tray.isVisible());
        QVERIFY(tray.TrayIcon()->IsShown());
        QCOMPARE(tray.TrayIcon()->Tip(), QStringLiteral("Orvane FTP/TFTP Server"));
        QCOMPARE(Shown(tray), 1);
        QCOMPARE(tray.Timer()->interval(), 500);
        tray.EnableExitMenu(true);
        QCOMPARE(VisibleItems(tray.mnuMain()), (QStringList{"Monitor", "-", "About", "-", "Exit"}));
        QCOMPARE(tray.TrayIcon()->SystemIcon()->contextMenu(), tray.mnuMain());
    }
    // A menu entry, or an activation of the icon on a tray of either kind; the right button's
    // menu is the host's to show.
    void userAsks_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("activation"); // -1: none
        QTest::addColumn<bool>("notifierHost");
        QTest::addColumn<QList<int>>("codes");
        QTest::newRow("Options") << "Options" << -1 << false << QList<int>{TrayShowOptions};
        QTest::newRow("Exit") << "Exit" << -1 << false << QList<int>{TrayExit};
        QTest::newRow("XEmbed: single click, nothing")
            << "" << int(QSystemTrayIcon::Trigger) << false << QList<int>{};
        QTest::newRow("XEmbed: double click, Monitor")
            << "" << int(QSystemTrayIcon::DoubleClick) << false << QList<int>{TrayShowMon};
        QTest::newRow("StatusNotifier: activation, Monitor")
            << "" << int(QSystemTrayIcon::Trigger) << true << QList<int>{TrayShowMon};
        QTest::newRow("StatusNotifier: right button, nothing")
            << "" << int(QSystemTrayIcon::Context) << true << QList<int>{};
    }
    void userAsks()
    {
        QFETCH(QString, entry);
        QFETCH(int, activation);
        QFETCH(bool, notifierHost);
        QFETCH(QList<int>, codes);
        FTray::SOptions options{kTitle, {}};
        options.notifierHost = [notifierHost] { return notifierHost; };
        FTray tray(options);
        QList<int> got;
        connect(&tray, &FTray::TrayEvent, this, [&got](TrayEvents code) { got << code; });
        for (QAction* item : tray.mnuMain()->actions()) {
            if (item->text() == entry)
                item->trigger();
        }
        if (activation >= 0)
            emit tray.TrayIcon()->SystemIcon()->activated(
                QSystemTrayIcon::ActivationReason(activation));
        QCOMPARE(got, codes);
    }
    void blinkSequence()
    {
        int running = 1;
        FTray tray({kTitle, [&running] { return running; }});
        tray.StartBlinking();
        QList<int> pictures{Shown(tray)};
        for (int tick = 0; tick < 3; ++tick) {
            tray.Timer_Timer();
            pictures << Shown(tray);
        }
        QCOMPARE(pictures, (QList<int>{2, 1, 2, 1}));
        tray.StartBlinking(); // a new transfer restarts at the transfer picture
        QCOMPARE(Shown(tray), 2);
        QVERIFY(!tray.BlinkState());
        running = 0;
        tray.Timer_Timer();
        QCOMPARE(Shown(tray), 1);
        QVERIFY(!tray.Timer()->isActive());
        FTray timed({kTitle, [&running] { return running; }, 10});
        running = 1;
        timed.StartBlinking();
        QTRY_VERIFY(timed.BlinkState()); // the timer ticked and showed the idle picture
        running = 0;
        QTRY_VERIFY(!timed.Timer()->isActive());
        QCOMPARE(Shown(timed), 1);
    }
    void aboutTwiceIsOneWindow()
    {
        FTray tray({kTitle, {}});
        tray.ShowAbout();
        FAbout* first = tray.About();
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->windowTitle(), QStringLiteral("About "));
        QCOMPARE(first->Title(), kTitle);
        tray.ShowAbout();
        QCOMPARE(tray.About(), first);
        QTest::mouseClick(first->cmdOK(), Qt::LeftButton); // deleted on close
        QTRY_VERIFY(tray.About() == nullptr);
        tray.ShowAbout();
        QCOMPARE(tray.About()->Title(), kTitle);
    }
};

QTEST_MAIN(tst_FTray)
#include "tst_FTray.moc"
