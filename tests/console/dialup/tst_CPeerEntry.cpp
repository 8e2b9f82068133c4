#include "console/dialup/CPeerEntry.h"

#include <QtTest>

Q_DECLARE_METATYPE(SPeerSettings)

namespace {

SPeerSettings Settings(const QString& device, int speed, bool modem, const QString& number = {},
                       const QString& init = {}, const QString& user = {},
                       const QString& local = {}, EFlowControl flow = EFlowControl::Hardware)
{
    return {device, speed, modem, number, init, user, local, flow};
}

SPeerSettings Modem(const QString& number, const QString& init)
{
    return Settings("/dev/ttyUSB0", 57600, true, number, init, "field");
}

} // namespace

class tst_CPeerEntry final : public QObject {
    Q_OBJECT

private slots:
    // What a file says is read ("" for no file); what could inject options
    // into pppd is refused; what the editor writes, it reads back the same.
    void settingsAndTheFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<SPeerSettings>("settings");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("direct cable")
            << "# cable\n/dev/ttyS1\n38400\nlocal\n10.0.0.1:\nnoauth\n"
            << Settings("/dev/ttyS1", 38400, false, {}, {}, {}, "10.0.0.1") << true;
        QTest::newRow("modem lines, no number: refused")
            << "/dev/ttyACM0\n9600\nmodem\n"
            << Settings("/dev/ttyACM0", 9600, true) << false;
        QTest::newRow("user and no local address")
            << "/dev/ttyS1\n38400\nlocal\nuser \"eng one\"\nnoipdefault\n"
            << Settings("/dev/ttyS1", 38400, false, {}, {}, "eng one") << true;
        QTest::newRow("template defaults") << "" << SPeerSettings() << true;
        QTest::newRow("three wires, the last flow word counts")
            << "/dev/ttyS0\n9600\nlocal\ncrtscts\nnocrtscts\n"
            << Settings("/dev/ttyS0", 9600, false, {}, {}, {}, {}, EFlowControl::None) << true;
        QTest::newRow("xon/xoff") << "/dev/ttyS0\n9600\nlocal\nxonxoff\n"
                                  << Settings("/dev/ttyS0", 9600, false, {}, {}, {}, {},
                                              EFlowControl::Software)
                                  << true;
        QTest::newRow("modem with init") << "" << Modem("0049 (89) 1234-5", "AT&F E0 V1") << true;
        QTest::newRow("modem without init") << "" << Modem("*99#", "") << true;
        QTest::newRow("quote in number") << "" << Modem("123' ; reboot '", "") << false;
        QTest::newRow("quote in init") << "" << Modem("1", "AT'") << false;
        QTest::newRow("line break in user")
            << "" << Settings("/dev/ttyS0", 115200, false, {}, {}, "a\"\nnoauth") << false;
        QTest::newRow("an option after the device")
            << "" << Settings("/dev/ttyS0 nodetach", 115200, false) << false;
        QTest::newRow("speed no line takes") << "" << Settings("/dev/ttyS0", 12345, false) << false;
        QTest::newRow("outside /dev") << "" << Settings("/etc/shadow", 9600, false) << false;
        QTest::newRow("climbing out of /dev")
            << "" << Settings("/dev/../etc/shadow", 9600, false) << false;
        QTest::newRow("control character, unused number")
            << "" << Settings("/dev/ttyS0", 9600, false, "1\r") << false;
        QTest::newRow("octet too large")
            << "" << Settings("/dev/ttyS0", 9600, false, {}, {}, {}, "10.0.0.256") << false;
    }
    void settingsAndTheFile()
    {
        QFETCH(QString, text);
        QFETCH(SPeerSettings, settings);
        QFETCH(bool, accepted);
        if (!text.isEmpty())
            QCOMPARE(CPeerEntry::Parse(text).Settings(), settings);
        QCOMPARE(CPeerEntry::Validate(settings).isEmpty(), accepted);
        if (!accepted)
            return;
        CPeerEntry entry = CPeerEntry::FromTemplate();
        entry.SetSettings(settings);
        QCOMPARE(CPeerEntry::Parse(entry.Text()).Settings(), settings);
    }

    void otherLinesStayWhereTheyWere()
    {
        const QString rest = QStringLiteral("local\nconnect \"/usr/local/bin/my-dialer --fast\"\n"
                                            "noipdefault\nipparam equipment\n");
        CPeerEntry entry = CPeerEntry::Parse("# Equipment link, keep this note\n/dev/ttyS0\n"
                                             "lcp-echo-interval 5\n115200\n"
                                             + rest + "/dev/ttyS3\n");
        QCOMPARE(entry.Settings().device, QStringLiteral("/dev/ttyS3")); // pppd takes the last
        entry.SetSettings(Settings("/dev/ttyUSB1", 57600, false));
        QCOMPARE(entry.Text(), "# Equipment link, keep this note\n/dev/ttyUSB1\n"
                               "lcp-echo-interval 5\n57600\n"
                                   + rest + "crtscts\n");
        entry = CPeerEntry::Parse(QStringLiteral("10.1.1.1:10.1.1.2\n"));
        QCOMPARE(entry.Settings().localAddress, QStringLiteral("10.1.1.1"));
        entry.SetSettings(Settings("/dev/ttyS0", 115200, false, {}, {}, {}, "10.1.1.5"));
        QVERIFY(
            entry.Text().startsWith(QStringLiteral("10.1.1.5:10.1.1.2\n"))); // the far end's kept
    }

    void switchingToAModemWritesTheChatScript()
    {
        CPeerEntry entry = CPeerEntry::Parse(QStringLiteral("/dev/ttyS0\n115200\nlocal\n"));
        entry.SetSettings(Modem("5551234", "AT&F"));
        const QStringList lines = entry.Text().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.mid(0, 3), (QStringList{"/dev/ttyUSB0", "57600", "modem"}));
        QVERIFY(lines.contains(
            "connect \"/usr/sbin/chat -v -t 60 ABORT BUSY ABORT 'NO CARRIER' ABORT 'NO DIALTONE' "
            "'' 'ATZ' OK 'AT&F' OK 'ATD5551234' CONNECT ''\""));
        QVERIFY(lines.contains("user \"field\""));
        // Back to the cable: the chat line goes, the user stays until cleared.
        SPeerSettings cable = entry.Settings();
        cable.modem = false;
        entry.SetSettings(cable);
        QVERIFY(!entry.Text().contains(QStringLiteral("chat")));
        QVERIFY(entry.Text().contains(QStringLiteral("\nlocal\n")));
    }
};

QTEST_GUILESS_MAIN(tst_CPeerEntry)
#include "tst_CPeerEntry.moc"
