#include "common/CRaisedError.h"
#include "fileserver/ui/FMonitor.h"

#include <QTreeWidget>
#include <QtTest>

class tst_FMonitor final : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void header()
    {
        FMonitor monitor;
        const QTreeWidgetItem* header = monitor.ListView()->headerItem();
        const QStringList expected{"Remote Host", "Session ID", "Status", "Data Trans. Rate",
                                   "File in Proc."};
        for (int column = 0; column < expected.size(); ++column)
            QCOMPARE(header->text(column), expected.at(column));
    }
    void rateText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, const char* locale, qint64 bytes, qint64 total,
                            const char* text) {
            QTest::newRow(name) << QString(locale) << bytes << total << QString(text);
        };
        row("three quarters", "C", 768, 1024, "75.00 %");
        row("half a percent", "C", 5, 1000, ".50 %");
        row("comma locale", "de_DE", 5, 1000, ",50 %");
        row("no grouping", "en_US", 1234567, 0, "1234567 Byte");
        row("beyond 4 GiB", "C", qint64(6) << 30, qint64(8) << 30, "75.00 %");
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
        const auto row = [](int status, const char* text) {
            QTest::newRow(text) << status << QString(text);
        };
        row(0, "Wait command");
        row(1, "Transfering");
        row(2, "Storing");
        row(3, "");
    }
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
        monitor.AddSession("8", "10.1.2.4", 0, QString());
        QVERIFY_THROWS_EXCEPTION(CRaisedError, monitor.AddSession("7", "x", 0, QString()));
        QVERIFY_THROWS_EXCEPTION(CRaisedError, monitor.SessionStatus("9", 0));
        monitor.ShowNewSession("7", "x", 0);
        monitor.ShowTransferStart("9", "x", 1, "/f");
        monitor.ShowStatusChange("9", "x", 0);
        monitor.ShowBytesSent("9", "x", 1, 2);
        QCOMPARE(row->text(FMonitor::kColumnRemoteHost), QStringLiteral("10.1.2.3"));
        monitor.RemoveSession("7");
        monitor.RemoveSession("7"); // twice is harmless
        QCOMPARE(monitor.ListView()->topLevelItemCount(), 1);
        QCOMPARE(monitor.ListView()->topLevelItem(0)->text(FMonitor::kColumnSessionId),
                 QStringLiteral("8"));
    }
};

QTEST_MAIN(tst_FMonitor)
#include "tst_FMonitor.moc"
