#include "platform/dialup/MPppdLog.h"

#include <QtTest>

class tst_MPppdLog final : public QObject {
    Q_OBJECT

private slots:
    void linesAnnounceStates_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("state");
        QTest::newRow("init script done") << "Serial port initialized." << 2;
        QTest::newRow("connect script done") << "Serial connection established." << 3;
        QTest::newRow("channel up") << "Connect: ppp0 <--> /dev/ttyS0" << 3;
        QTest::newRow("PAP request") << "sent [PAP AuthReq id=0x1 user=\"u\" password=<x>]" << 5;
        QTest::newRow("CHAP challenge") << "rcvd [CHAP Challenge id=0x1 <4a1b>, name = \"e\"]" << 5;
        QTest::newRow("PAP done") << "PAP authentication succeeded" << 14;
        QTest::newRow("CHAP done") << "CHAP authentication succeeded" << 14;
        QTest::newRow("local address is not yet up") << "local  IP address 10.64.64.1" << 0;
        QTest::newRow("remote address: up") << "remote IP address 10.64.64.2" << 8192;
        QTest::newRow("signal") << "Terminating on signal 15" << 8198;
        QTest::newRow("modem hangup") << "Modem hangup" << 8198;
        QTest::newRow("terminated") << "Connection terminated." << 8198;
        QTest::newRow("peer ends") << "LCP terminated by peer (User request)" << 8198;
        QTest::newRow("with line end") << "Serial connection established.\r" << 3;
        QTest::newRow("failure line") << "Failed to open /dev/ttyS9: No such file" << 0;
        QTest::newRow("auth failure is no state") << "PAP authentication failed" << 0;
        QTest::newRow("other debug line") << "sent [LCP ConfReq id=0x1 <asyncmap 0x0>]" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void linesAnnounceStates()
    {
        QFETCH(QString, line);
        QFETCH(int, state);
        QCOMPARE(static_cast<int>(StateOfPppdLine(line)), state);
    }

    void remoteAddressIsRead_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("address");
        QTest::newRow("remote") << "remote IP address 10.64.64.2"
                                << "10.64.64.2";
        QTest::newRow("local is not it") << "local  IP address 10.64.64.1"
                                         << "";
        QTest::newRow("not an address") << "remote IP address nonsense"
                                        << "";
        QTest::newRow("trailing text") << "remote IP address 192.168.7.1 (x)"
                                       << "192.168.7.1";
    }
    void remoteAddressIsRead()
    {
        QFETCH(QString, line);
        QFETCH(QString, address);
        QCOMPARE(RemoteAddressOfPppdLine(line), address);
    }

    // The one table of pppd's exit statuses and the errors they become.
    void exitStatusesBecomeErrors_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::newRow("0 is no error") << 0 << 0 << "";
        QTest::newRow("2 options")
            << 2 << 21002 << "pppd found an error in the options of the entry.";
        QTest::newRow("4 kernel") << 4 << 21004 << "The kernel does not support PPP.";
        QTest::newRow("5 signal") << 5 << 21005
                                  << "pppd was ended by a SIGINT, SIGTERM or SIGHUP signal.";
        QTest::newRow("6 lock") << 6 << 20651 << "The serial port could not be locked.";
        QTest::newRow("7 open") << 7 << 20651 << "The serial port could not be opened.";
        QTest::newRow("8 connect script") << 8 << 20651 << "The connect script failed.";
        QTest::newRow("10 negotiation")
            << 10 << 21010 << "The PPP negotiation failed: no network protocol came up.";
        QTest::newRow("16 modem hangup")
            << 16 << 20651 << "The link was ended by the modem hanging up.";
        QTest::newRow("18 init script") << 18 << 20651 << "The modem init script failed.";
        QTest::newRow("19 our authentication")
            << 19 << 21019 << "The authentication of this PC to the peer failed.";
        QTest::newRow("unknown status") << 42 << 21042 << "pppd ended with status 42.";
    }
    void exitStatusesBecomeErrors()
    {
        QFETCH(int, status);
        QFETCH(int, number);
        QFETCH(QString, description);
        const SRasError error = ErrorOfPppdExitStatus(status);
        QCOMPARE(error.number, number);
        QCOMPARE(error.description, description);
    }

    // No status may fall on the numbers that holders treat as "no action".
    void noStatusGivesAnIgnoredNumber()
    {
        for (int status = 0; status <= 255; ++status) {
            const int number = ErrorOfPppdExitStatus(status).number;
            QVERIFY2(number != 20756 && (number < 12001 || number > 12003),
                     qPrintable(QString::number(status)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_MPppdLog)
#include "tst_MPppdLog.moc"
