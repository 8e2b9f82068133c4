#include "common/CRaisedError.h"
#include "fileserver/ui/FMonitor.h"

#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

class tst_FMonitor final : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void layout()
    {
        FMonitor monitor;
        QCOMPARE(monitor.windowTitle(), QStringLiteral("FTP Monitor"));
        const QTreeWidgetItem* header = monitor.ListView()->headerItem();
        const QStringList expected{"Remote Host", "Session ID", "Status", "Data Trans. Rate",
                                   "File in Proc."};
        for (int column = 0; column < expected.size(); ++column)
            QCOMPARE(header->text(column), expected.at(column));
        QCOMPARE(monitor.ListView()->topLevelItemCount(), 0);

        QSignalSpy closed(&monitor, &FMonitor::Closed);
        monitor.resize(700, 300);
        monitor.show();
        QTRY_COMPARE(monitor.ListView()->geometry().size(), monitor.size());
        monitor.close();
        QCOMPARE(closed.count(), 1);
    }

    void rateText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("text");
        QTest::newRow("three quarters") << "C" << qint64(768) << qint64(1024) << "75.00 %";
        QTest::newRow("half a percent") << "C" << qint64(5) << qint64(1000) << ".50 %";
        QTest::newRow("nothing yet") << "C" << qint64(0) << qint64(1000) << ".00 %";
        QTest::newRow("all") << "C" << qint64(600) << qint64(600) << "100.00 %";
        QTest::newRow("comma locale") << "de_DE" << qint64(5) << qint64(1000) << ",50 %";
        QTest::newRow("bytes received") << "C" << qint64(4096) << qint64(0) << "4096 Byte";
        QTest::newRow("no grouping") << "en_US" << qint64(1234567) << qint64(0) << "1234567 Byte";
        QTest::newRow("beyond 4 GiB")
            << "C" << qint64(6) * 1024 * 1024 * 1024 << qint64(8) * 1024 * 1024 * 1024 << "75.00 %";
    }
    void rateText()
    {
        QFETCH(QString, locale);
        QFETCH(qint64, bytes);
        QFETCH(qint64, total);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(FMonitor::RateText(bytes, total), text);
    }

    void statusFollowsTransfers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("waiting") << 0 << "Wait command";
        QTest::newRow("sending") << 1 << "Transfering";
        QTest::newRow("storing") << 2 << "Storing";
        QTest::newRow("unknown") << 3 << "";
    }
    // A transfer shows its file; any other status empties the file and the progress.
    void statusFollowsTransfers()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        const bool transfers = status == 1 || status == 2;
        FMonitor monitor;
        QTreeWidgetItem* row = monitor.AddSession("7", "127.0.0.1", 1, "/a.bin");
        monitor.CalculateRate("7", 256, 1024);
        QCOMPARE(row->text(FMonitor::kColumnRate), QStringLiteral("25.00 %"));
        monitor.SessionStatus("7", static_cast<std::int16_t>(status), "/b.bin");
        QCOMPARE(row->text(FMonitor::kColumnStatus), text);
        QCOMPARE(row->text(FMonitor::kColumnFile),
                 transfers ? QStringLiteral("/b.bin") : QString());
        QCOMPARE(row->text(FMonitor::kColumnRate).isEmpty(), !transfers);
    }

    // Progress reported faster than the redraw interval: the first report
    // shows at once, the latest when the interval ends, and a status change
    // drops progress still held back.
    void progressRedrawsAtMostOncePerInterval()
    {
        FMonitor monitor(FMonitor::SOptions{std::chrono::milliseconds(20)});
        QTreeWidgetItem* first = monitor.AddSession("7", "127.0.0.1", 1, "/a.bin");
        QTreeWidgetItem* second = monitor.AddSession("8", "127.0.0.1", 1, "/b.bin");
        monitor.CalculateRate("7", 256, 1024);
        QCOMPARE(first->text(FMonitor::kColumnRate), QStringLiteral("25.00 %"));
        monitor.CalculateRate("7", 384, 1024);
        monitor.CalculateRate("7", 512, 1024);
        QCOMPARE(first->text(FMonitor::kColumnRate), QStringLiteral("25.00 %"));
        QTRY_COMPARE(first->text(FMonitor::kColumnRate), QStringLiteral("50.00 %"));

        monitor.CalculateRate("8", 1, 4); // now the interval runs, whatever it did before
        monitor.CalculateRate("7", 768, 1024);
        monitor.SessionStatus("7", 0);
        monitor.CalculateRate("8", 1, 2);
        QTRY_COMPARE(second->text(FMonitor::kColumnRate), QStringLiteral("50.00 %"));
        QCOMPARE(first->text(FMonitor::kColumnRate), QString());
    }

    void rowsByKey()
    {
        FMonitor monitor;
        QTreeWidgetItem* row = monitor.AddSession("7", "10.1.2.3", 0, QString());
        QCOMPARE(row->text(FMonitor::kColumnRemoteHost), QStringLiteral("10.1.2.3"));
        QCOMPARE(row->text(FMonitor::kColumnSessionId), QStringLiteral("7"));
        QCOMPARE(row->text(FMonitor::kColumnStatus), QStringLiteral("Wait command"));
        monitor.AddSession("8", "10.1.2.4", 0, QString());

        QVERIFY_THROWS_EXCEPTION(CRaisedError, monitor.AddSession("7", "x", 0, QString()));
        QVERIFY_THROWS_EXCEPTION(CRaisedError, monitor.SessionStatus("9", 0));
        // What the monitor observes never fails: a known row stays, a missing one changes nothing.
        monitor.ShowNewSession("7", "x", 0);
        monitor.ShowTransferStart("9", "x", 1, "/f");
        monitor.ShowStatusChange("9", "x", 0);
        monitor.ShowBytesSent("9", "x", 1, 2);
        QCOMPARE(row->text(FMonitor::kColumnRemoteHost), QStringLiteral("10.1.2.3"));

        QVERIFY(monitor.HasSession("7"));
        QVERIFY(!monitor.HasSession("9"));
        monitor.RemoveSession("7");
        monitor.RemoveSession("7"); // twice is harmless
        QVERIFY(!monitor.HasSession("7"));
        QCOMPARE(monitor.ListView()->topLevelItemCount(), 1);
        QCOMPARE(monitor.ListView()->topLevelItem(0)->text(FMonitor::kColumnSessionId),
                 QStringLiteral("8"));
    }
};

QTEST_MAIN(tst_FMonitor)
#include "tst_FMonitor.moc"
