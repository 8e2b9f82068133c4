#include "platform/dialup/MPppdLog.h"
#include "platform/dialup/MPppdProgram.h"
#include "platform/dialup/MRasApi.h"
#include "platform/dialup/MSerialDevices.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

// What the dial-up layer reads: pppd's log and exit status, the phonebook
// entries and the serial devices, and the entry names it accepts.
class tst_DialupFiles final : public QObject {
    Q_OBJECT

private slots:
    // Each log line: the state it announces (0: none) and the far end it names.
    void linesAnnounceStates_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("address");
        const auto row = [](const char* name, const char* line, int state,
                            const char* address = "") {
            QTest::newRow(name) << QString::fromLatin1(line) << state
                                << QString::fromLatin1(address);
        };
        row("init script done", "Serial port initialized.", 2);
        row("connect script done", "Serial connection established.", 3);
        row("channel up", "Connect: ppp0 <--> /dev/ttyS0", 3);
        row("PAP request", "sent [PAP AuthReq id=0x1 user=\"u\" password=<x>]", 5);
        row("CHAP challenge", "rcvd [CHAP Challenge id=0x1 <4a1b>, name = \"e\"]", 5);
        row("PAP done", "PAP authentication succeeded", 14);
        row("CHAP done", "CHAP authentication succeeded", 14);
        row("local address is not yet up", "local  IP address 10.64.64.1", 0);
        row("remote address: up", "remote IP address 10.64.64.2", 8192, "10.64.64.2");
        row("trailing text", "remote IP address 192.168.7.1 (x)", 8192, "192.168.7.1");
        row("remote, not an address", "remote IP address nonsense", 8192);
        row("signal", "Terminating on signal 15", 8198);
        row("modem hangup", "Modem hangup", 8198);
        row("terminated", "Connection terminated.", 8198);
        row("another protocol ended by the peer", "IPCP terminated by peer", 8198);
        row("with line end", "Serial connection established.\r", 3);
        row("failure line", "Failed to open /dev/ttyS9: No such file", 0);
        row("auth failure is no state", "PAP authentication failed", 0);
        row("other debug line", "sent [LCP ConfReq id=0x1 <asyncmap 0x0>]", 0);
        row("empty", "", 0);
    }
    void linesAnnounceStates()
    {
        QFETCH(QString, line);
        QFETCH(int, state);
        QFETCH(QString, address);
        QCOMPARE(static_cast<int>(StateOfPppdLine(line)), state);
        QCOMPARE(RemoteAddressOfPppdLine(line), address);
    }

    // The one table of pppd's ends and the errors they become: its exit status
    // alone, and the complaints ('|' between lines) that decide before it.
    void pppdEndsBecomeErrors_data()
    {
        QTest::addColumn<QString>("lines");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        const auto row = [](const char* name, const char* lines, int status, int number,
                            const char* description) {
            QTest::newRow(name) << QString::fromLatin1(lines) << status << number
                                << QString::fromLatin1(description);
        };
        row("0 is no error", "", 0, 0, "");
        row("2 options", "", 2, 21002, "pppd found an error in the options of the entry.");
        row("4 kernel", "", 4, 21004, "The kernel does not support PPP.");
        row("5 signal", "", 5, 21005, "pppd was ended by a SIGINT, SIGTERM or SIGHUP signal.");
        row("6 lock", "", 6, 20651, "The serial port could not be locked.");
        row("7 open", "", 7, 20651, "The serial port could not be opened.");
        row("8 connect script", "", 8, 20651, "The connect script failed.");
        row("10 negotiation", "", 10, 21010,
            "The PPP negotiation failed: no network protocol came up.");
        row("16 modem hangup", "Modem hangup|Connection terminated.", 16, 20651,
            "The link was ended by the modem hanging up.");
        row("18 init script", "", 18, 20651, "The modem init script failed.");
        row("19 our authentication", "", 19, 21019,
            "The authentication of this PC to the peer failed.");
        row("unknown status", "", 42, 21042, "pppd ended with status 42.");
        row("an up link's end is no error, whatever it said", "Failed to open /dev/ttyS9", 0, 0,
            "");
        row("absent device: an unknown option to pppd",
            "/usr/sbin/pppd: In file /etc/ppp/peers/E: unrecognized option '/dev/ttyUSB9'", 2,
            20651,
            "The serial device of the entry is missing or in use.\n"
            "In file /etc/ppp/peers/E: unrecognized option '/dev/ttyUSB9'");
        row("device that cannot be opened",
            "Using interface ppp0|Failed to open /dev/ttyS9: No such file", 7, 20651,
            "The serial port could not be opened.\nFailed to open /dev/ttyS9: No such file");
        row("device another program holds", "Device ttyS0 is locked by pid 4242", 1, 20651,
            "The serial device of the entry is missing or in use.\n"
            "Device ttyS0 is locked by pid 4242");
        row("device busy", "tcsetattr: Device or resource busy", 1, 20651,
            "The serial device of the entry is missing or in use.\n"
            "tcsetattr: Device or resource busy");
        row("lock file refused", "Can't create lock file /var/lock/LCK..ttyS0: Permission denied",
            6, 20651,
            "The serial port could not be locked.\n"
            "Can't create lock file /var/lock/LCK..ttyS0: Permission denied");
        row("entry this user may not read",
            "/usr/sbin/pppd: Can't open options file /etc/ppp/peers/E: Permission denied", 2, 21304,
            "Dial-up needs membership of the group dip, and the user ann is not a member. An "
            "administrator adds the user with the command\nsudo adduser ann dip\n"
            "then ann logs out and in again.");
        row("absent entry: pppd's words follow",
            "/usr/sbin/pppd: Can't open options file /etc/ppp/peers/E: No such file or directory",
            2, 21002,
            "pppd found an error in the options of the entry.\n"
            "Can't open options file /etc/ppp/peers/E: No such file or directory");
        row("privileged option from the command line",
            "/usr/sbin/pppd: using the linkname option requires root privilege", 2, 21002,
            "pppd found an error in the options of the entry.\n"
            "using the linkname option requires root privilege");
        row("kernel without PPP, not its device",
            "Couldn't open the /dev/ppp device: No such file or directory|"
            "/usr/sbin/pppd: You need to create the /dev/ppp device node by|"
            "executing the following command as root:|mknod /dev/ppp c 108 0",
            4, 21004, "The kernel does not support PPP.");
    }
    void pppdEndsBecomeErrors()
    {
        QFETCH(QString, lines);
        QFETCH(int, status);
        QFETCH(int, number);
        QFETCH(QString, description);
        const SRasError error =
            ErrorOfPppdEnd(lines.split(u'|', Qt::SkipEmptyParts), status, QStringLiteral("ann"));
        QCOMPARE(error.number, number);
        QCOMPARE(error.description, description);
        if (lines.isEmpty())
            QCOMPARE(ErrorOfPppdExitStatus(status).description, description);
    }

    void entryNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "TarnDirectPPP" << true;
        QTest::newRow("with blank") << "My Modem" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("slash") << "a/b" << false;
        QTest::newRow("hidden") << ".x" << false;
        QTest::newRow("option") << "-x" << false;
        QTest::newRow("tab") << "a\tb" << false;
        QTest::newRow("too long") << QString(256, u'a') << false;
    }
    void entryNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(IsValidEntryName(name), valid);
    }

    // The peer files, sorted, letter case kept; no folders, backups, package
    // leftovers or broken links. "dir/" is made as a folder, "a->b" as a link.
    void entriesAreThePeerFiles()
    {
        QTemporaryDir peers;
        for (const QString& name :
             QStringLiteral("provider TarnDirectPPP tarndirectppp chat/ modem~ "
                            "provider.dpkg-old alias->provider broken->missing")
                 .split(u' ')) {
            const QStringList link = name.split(QLatin1String("->"));
            if (name.endsWith(u'/'))
                QVERIFY(QDir().mkpath(peers.filePath(name)));
            else if (link.size() == 2)
                QVERIFY(QFile::link(link[1], peers.filePath(link[0])));
            else
                QVERIFY(TestFiles::Write(peers.filePath(name), "/dev/ttyS0 115200\n"));
        }
        QCOMPARE(EnumRasEntries(peers.path()),
                 (QStringList{"TarnDirectPPP", "alias", "provider", "tarndirectppp"}));
        QCOMPARE(EnumRasEntries(peers.filePath("missing")), QStringList{});
        QCOMPARE(EnumRasEntries(QString()), QStringList{});
        QCOMPARE(LookUpRasEntry("TarnDirectPPP", peers.path()), EEntryLookup::Found);
        QCOMPARE(LookUpRasEntry("tarnDirectPPP", peers.path()), EEntryLookup::Missing);
        QCOMPARE(LookUpRasEntry("provider", peers.filePath("missing")), EEntryLookup::Missing);
    }

    void serialDevicesInNaturalOrder()
    {
        QTemporaryDir dev;
        for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "tty0", "ttyX1", "null"})
            QVERIFY(TestFiles::Write(dev.filePath(QString::fromLatin1(name)), {}));
        QCOMPARE(ListSerialDevices(dev.path()),
                 (QStringList{dev.filePath("ttyACM1"), dev.filePath("ttyS2"),
                              dev.filePath("ttyS10"), dev.filePath("ttyUSB0")}));
        QVERIFY(ListSerialDevices(dev.filePath(QStringLiteral("missing"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_DialupFiles)
#include "tst_DialupFiles.moc"
