#include "common/CRaisedError.h"
#include "platform/dialup/CRas.h"
#include "platform/dialup/MRasLinks.h"
#include "tests/platform/dialup/RasRecorder.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kEndTimeoutMs = 15000;

} // namespace

class tst_CRas final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("PPPD_STANDIN_PAUSE", "0.02");
        qputenv("PPPD_STANDIN_HOLD", "20");
    }

    // Dials that end by themselves: the states in order, then the error.
    void dialEndsOnItsOwn_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("hold");
        QTest::addColumn<QString>("eventList");
        QTest::addColumn<QString>("description");
        const struct {
            const char* name;
            const char* entry;
            const char* hold;
            const char* events;
            const char* description;
        } rows[] = {{"device cannot be opened", "no-device", "20", "S2 S8193 E20651",
                     "The serial port could not be opened."},
                    {"device locked", "locked", "20", "S2 S8193 E20651",
                     "The serial port could not be locked."},
                    {"connect script fails", "connect-fails", "20", "S2 S8193 E20651",
                     "The connect script failed."},
                    {"authentication fails", "auth-fails", "20", "S2 S3 S5 S8198 S8193 E21019",
                     "The authentication of this PC to the peer failed."},
                    {"no PPP in the kernel", "no-kernel", "20", "S2 S8193 E21004",
                     "The kernel does not support PPP."},
                    {"entry not in the phonebook", "not-there", "20", "S2 S8193 E21002",
                     "pppd found an error in the options of the entry."},
                    {"modem link up, then the modem hangs up", "modem-ok", "0.1",
                     "S2 S3 S5 S14 S8192 S8198 S8193 E20651",
                     "The link was ended by the modem hanging up."},
                    {"direct link up, then the peer ends it", "direct-ok", "0.1",
                     "S2 S3 S8192 S8198 S8193", ""}};
        for (const auto& row : rows)
            QTest::newRow(row.name) << QString(row.entry) << QString(row.hold)
                                    << QString(row.events) << QString(row.description);
    }
    void dialEndsOnItsOwn()
    {
        QFETCH(QString, entry);
        QFETCH(QString, hold);
        QFETCH(QString, description);
        QFETCH(QString, eventList);
        const QStringList events = eventList.split(' ');
        qputenv("PPPD_STANDIN_HOLD", hold.toLatin1());

        CRas ras(nullptr, StandIn());
        RasRecorder recorder(ras);
        ras.Dial(entry);
        QVERIFY(recorder.events.isEmpty()); // Dial returns before anything is reported
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Ended() && recorder.events.size() >= events.size(),
                                 kEndTimeoutMs);
        QCOMPARE(recorder.events, events);
        QCOMPARE(recorder.descriptions.value(0), description);
        QCOMPARE(ras.RasState(), 8193);
        QCOMPARE(ras.RasConnHandle(), 0);
        QVERIFY(ras.Entry().isEmpty());
    }

    // Closing at once, then the end; a dial cut short is reported as
    // cancelled; a pppd deaf to SIGTERM is killed after the grace time.
    void hangUp_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("waitForState");
        QTest::addColumn<QString>("eventList");
        QTest::newRow("up") << "modem-ok" << 8192 << "S2 S3 S5 S14 S8192 S8198 S8193";
        QTest::newRow("dialling") << "dial-hangs" << 3 << "S2 S3 S8198 S8193 E21301";
        QTest::newRow("up, deaf") << "stubborn" << 8192 << "S2 S3 S8192 S8198 S8193";
        QTest::newRow("dialling, deaf") << "stubborn-dial" << 3 << "S2 S3 S8198 S8193 E21301";
    }
    void hangUp()
    {
        QFETCH(QString, entry);
        QFETCH(int, waitForState);
        QFETCH(QString, eventList);
        CRas ras(nullptr, {QStringLiteral(PPPD_STANDIN), 200});
        RasRecorder recorder(ras);
        ras.Dial(entry);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Saw(waitForState), kEndTimeoutMs);
        QVERIFY(ras.RasConnHandle() > 0);
        QCOMPARE(ras.Entry(), entry);
        QCOMPARE(ras.RemoteAddress(), waitForState == 8192 ? "127.0.0.2" : "");
        ras.HangUp();
        QCOMPARE(recorder.events.last(), QStringLiteral("S8198"));
        ras.HangUp(); // a second request changes nothing
        const QStringList events = eventList.split(' ');
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.size() == events.size(), kEndTimeoutMs);
        QCOMPARE(recorder.events, events);
        QCOMPARE(ras.RasConnHandle(), 0);
        QVERIFY(ras.RemoteAddress().isEmpty());
    }

    // A pppd ended from outside always brings the end, whatever the state.
    void endedFromOutside_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("waitForState");
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QString>("error");

        QTest::newRow("killed while dialling") << "dial-hangs" << 3 << SIGKILL << "E21302";
        QTest::newRow("killed while up") << "direct-ok" << 8192 << SIGKILL << "E21302";
        QTest::newRow("SIGTERM while dialling") << "dial-hangs" << 3 << SIGTERM << "E21005";
        QTest::newRow("SIGTERM while up") << "direct-ok" << 8192 << SIGTERM << "E21005";
    }
    void endedFromOutside()
    {
        QFETCH(QString, entry);
        QFETCH(int, waitForState);
        QFETCH(int, signalNumber);
        QFETCH(QString, error);

        CRas ras(nullptr, StandIn());
        RasRecorder recorder(ras);
        ras.Dial(entry);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Saw(waitForState), kEndTimeoutMs);
        QVERIFY(ras.RasConnHandle() > 0);
        QCOMPARE(::kill(static_cast<pid_t>(ras.RasConnHandle()), signalNumber), 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.contains(error), kEndTimeoutMs);
        const qsizetype end = recorder.events.indexOf(QStringLiteral("S8193"));
        QVERIFY(end >= 0);
        QCOMPARE(recorder.events.indexOf(error), end + 1); // the end first, then the error
        QCOMPARE(ras.RasState(), 8193);
    }

    void missingPppdIsSaidClearly()
    {
        QTemporaryDir empty;
        CRas ras(nullptr, {empty.filePath(QStringLiteral("pppd")), 1000});
        RasRecorder recorder(ras);
        ras.Dial(QStringLiteral("TarnDirectPPP")); // returns: the failure comes as an event
        QTRY_COMPARE(recorder.events, (QStringList{"S8193", "E21303"}));
        QVERIFY(recorder.descriptions.at(0).contains(QStringLiteral("not installed")));
        QVERIFY(recorder.descriptions.at(0).contains(QStringLiteral("ppp package")));
        // The control is free again.
        ras.Dial(QStringLiteral("TarnDirectPPP"));
        QTRY_COMPARE(recorder.events.size(), 4);
    }

    void hangUpWithNothingRunningStillReportsTheEnd()
    {
        CRas ras(nullptr, StandIn());
        RasRecorder recorder(ras);
        ras.HangUp();
        QVERIFY(recorder.events.isEmpty()); // later, from the event loop
        QTRY_COMPARE(recorder.events, QStringList{"S8193"});
    }

    void secondDialWhileRunningIsRefused()
    {
        CRas ras(nullptr, StandIn());
        RasRecorder recorder(ras);
        ras.Dial(QStringLiteral("dial-hangs"));
        QVERIFY_THROWS_EXCEPTION(CRaisedError, ras.Dial(QStringLiteral("modem-ok")));
        QCOMPARE(ras.Entry(), QStringLiteral("dial-hangs"));
        ras.HangUp();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Ended(), kEndTimeoutMs);
    }

    void pppdIsCalledWithTheEntryAndNodetach()
    {
        // A stand-in that writes down its arguments shows what pppd is given.
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("pppd"));
        const QString argsFile = folder.filePath(QStringLiteral("args"));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\nexit 7\n")
                         .arg(argsFile)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        CRas ras(nullptr, {program, 1000});
        RasRecorder recorder(ras);
        ras.Dial(QStringLiteral("My Modem"));
        QTRY_VERIFY(recorder.Ended());
        QFile args(argsFile);
        QVERIFY(args.open(QIODevice::ReadOnly));
        const QStringList given =
            QString::fromUtf8(args.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(given.mid(0, 3), (QStringList{"call", "My Modem", "nodetach"}));
        QVERIFY(given.contains(QStringLiteral("logfd")));
    }

    void destroyingTheControlEndsItsPppd()
    {
        qint64 handle = 0;
        {
            CRas ras(nullptr, StandIn());
            RasRecorder recorder(ras);
            ras.Dial(QStringLiteral("direct-ok"));
            QTRY_VERIFY_WITH_TIMEOUT(recorder.Saw(8192), kEndTimeoutMs);
            handle = ras.RasConnHandle();
            QCOMPARE(CRas::RunningLinks().size(), 1);
        }
        QVERIFY(CRas::RunningLinks().isEmpty());
        // The process is gone: signal 0 finds no such process.
        QCOMPARE(::kill(static_cast<pid_t>(handle), 0), -1);
    }

private:
    static SRasOptions StandIn() { return {QStringLiteral(PPPD_STANDIN), 5000}; }
};

QTEST_GUILESS_MAIN(tst_CRas)
#include "tst_CRas.moc"
