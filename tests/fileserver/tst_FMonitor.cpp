#include "CRaisedError.h"
#include "FMonitor.h"

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

        monitor.resize(700, 300);
        monitor.show();
        QTRY_COMPARE(monitor.ListView()->geometry().size(), monitor.size());
    }

    void rateText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<quint32>("bytes");
        QTest::addColumn<quint32>("total");
        QTest::addColumn<QString>("text");
        QTest::newRow("three quarters") << "C" << 768u << 1024u << "75.00 %";
        QTest::newRow("half a percent") << "C" << 5u << 1000u << ".50 %";
        QTest::newRow("nothing yet") << "C" << 0u << 1000u << ".00 %";
        QTest::newRow("all") << "C" << 600u << 600u << "100.00 %";
        QTest::newRow("comma locale") << "de_DE" << 5u << 1000u << ",50 %";
        QTest::newRow("bytes received") << "C" << 4096u << 0u << "4096 Byte";
        QTest::newRow("no grouping") << "en_US" << 1234567u << 0u << "1234567 Byte";
        QTest::newRow("large file") << "C" << 4000000000u << 4294967295u << "93.13 %";
    }
    void rateText()
    {
        QFETCH(QString, locale);
        QFETCH(quint32, bytes);
        QFETCH(quint32, total);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(FMonitor::RateText(bytes, total), text);
    }

    void statusFollowsTransfers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("showsFile");
        QTest::newRow("waiting") << 0 << "Wait command" << false;
        QTest::newRow("sending") << 1 << "Transfering" << true;
        QTest::newRow("storing") << 2 << "Storing" << true;
        QTest::newRow("unknown") << 3 << "" << false;
    }
    void statusFollowsTransfers()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(bool, showsFile);
        FMonitor monitor;
        QTreeWidgetItem* row = monitor.AddSession("7", "127.0.0.1", 1, "/a.bin");
        monitor.CalculateRate("7", 256, 1024);
        QCOMPARE(row->text(FMonitor::kColumnRate), QStringLiteral("25.00 %"));

        monitor.SessionStatus("7", static_cast<std::int16_t>(status), "/b.bin");
        QCOMPARE(row->text(FMonitor::kColumnStatus), text);
        QCOMPARE(row->text(FMonitor::kColumnFile), showsFile ? QStringLiteral("/b.bin") : QString());
        QCOMPARE(row->text(FMonitor::kColumnRate).isEmpty(), !showsFile);
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
        monitor.CalculateRate("9", 1, 2); // a missing row changes nothing

        monitor.RemoveSession("7");
        monitor.RemoveSession("7"); // twice is harmless
        QCOMPARE(monitor.ListView()->topLevelItemCount(), 1);
        QCOMPARE(monitor.ListView()->topLevelItem(0)->text(FMonitor::kColumnSessionId),
                 QStringLiteral("8"));
    }

    void closingRaisesClosed()
    {
        FMonitor monitor;
        QSignalSpy closed(&monitor, &FMonitor::Closed);
        monitor.show();
        monitor.close();
        QCOMPARE(closed.count(), 1);
    }
};

QTEST_MAIN(tst_FMonitor)
#include "tst_FMonitor.moc"
