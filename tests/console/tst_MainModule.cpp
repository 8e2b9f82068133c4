// The search for the sibling manager's window over a desktop of scripted windows.

#include "console/MainModule.h"
#include "tests/console/ScriptedDesktop.h"

#include <QtTest>

class tst_MainModule final : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { SetDesktopWindows({}); }

    // found: the index of the window found, -1 none; reads: the titles read
    // before the search stopped.
    void managerWindowSearch_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("found");
        QTest::addColumn<int>("reads");
        QTest::newRow("among other words")
            << QStringList{"Terminal", "xx Orvane Manager yy", "Editor"} << 1 << 2;
        QTest::newRow("first of two is kept")
            << QStringList{"Orvane Manager 1", "Orvane Manager 2"} << 0 << 1;
        QTest::newRow("words apart do not count")
            << QStringList{"Orvane  Manager", "OrvaneManager", "Manager Orvane"} << -1 << 3;
        QTest::newRow("a title that fails to read is passed over")
            << QStringList{"!", "Orvane Manager"} << 1 << 2;
        QTest::newRow("only the first 255 characters are read")
            << QStringList{QString(250, 'x') + "Orvane Manager"} << -1 << 1;
        QTest::newRow("within the first 255 characters")
            << QStringList{QString(241, 'x') + "Orvane Manager"} << 0 << 1;
    }
    void managerWindowSearch()
    {
        QFETCH(QStringList, titles);
        QFETCH(int, found);
        QFETCH(int, reads);
        auto desktop = std::make_unique<CScriptedDesktop>(titles);
        CScriptedDesktop* scripted = desktop.get();
        SetDesktopWindows(std::move(desktop));
        gFoundWindow = 12345; // a result of an earlier search must not stay
        QCOMPARE(IsManagerRunning(), found >= 0);
        QCOMPARE(gFoundWindow, found >= 0 ? CScriptedDesktop::Handle(found) : WindowHandle(0));
        QCOMPARE(scripted->Reads(), reads);
    }
};

QTEST_GUILESS_MAIN(tst_MainModule)
#include "tst_MainModule.moc"
