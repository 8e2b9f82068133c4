#include "platform/icmp/CIcmpEcho.h"
#include "platform/icmp/MPing.h"
#include "tests/platform/TestNamespaces.h"

#include <QtTest>

#include <linux/capability.h>
#include <sys/syscall.h>

namespace {

const QByteArray kTestRoute = QByteArrayLiteral("Test Route");

// Drops (or restores) this thread's raw-socket capability: root plays a user who may not ping.
bool SetRawSocketsAllowed(bool allowed)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective =
        allowed ? data[0].effective | data[0].permitted : data[0].effective & ~(1U << CAP_NET_RAW);
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

class tst_MPing final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<SIcmpEchoReply>();
        m_spaces = std::make_unique<CTestNamespaces>(QStringLiteral("icmp"));
    }

    void dottedToAddress_data()
    {
        QTest::addColumn<QString>("dotted");
        QTest::addColumn<qint32>("expected");
        const auto row = [](const char* name, const char* dotted, quint32 expected) {
            QTest::newRow(name) << QString(dotted) << static_cast<qint32>(expected);
        };
        row("first part in the lowest byte", "10.0.0.1", 0x0100000AU);
        row("highest byte 254 is negative", "192.168.1.254", 0xFE01A8C0U);
        row("a part of 300 gives 2C", "1.2.3.300", 0x2C030201U);
        row("blanks around parts", " 10.0.0.1 ", 0x0100000AU);
        for (const char* invalid : {"10.0.1", "", "1.2.3.4.5", "10.0.x.1", "10..0.1", "10.0.-1.1"})
            row(qPrintable(QStringLiteral("invalid: '%1'").arg(invalid)), invalid, 0);
    }
    void dottedToAddress()
    {
        QFETCH(QString, dotted);
        QFETCH(qint32, expected);
        QCOMPARE(MPing::DottedToAddress(dotted), expected);
    }

    void timeoutFloor_data()
    {
        QTest::addColumn<qint32>("given");
        QTest::addColumn<qint32>("expected");
        QTest::newRow("50 becomes 200") << 50 << 200;
        QTest::newRow("200 stays") << 200 << 200;
    }
    // The caller's variable holds the floor afterwards. An invalid address is not sent (0.0.0.0
    // would answer from here), yet answered from the event loop; a gone context hears nothing.
    void timeoutFloor()
    {
        QFETCH(qint32, given);
        QFETCH(qint32, expected);
        qint32 goneTimeout = given;
        bool goneRan = false;
        auto gone = std::make_unique<QObject>();
        MPing::Ping(QStringLiteral("10.0.1"), kTestRoute, goneTimeout, gone.get(),
                    [&goneRan](const SIcmpEchoReply&) { goneRan = true; });
        gone.reset();
        std::optional<SIcmpEchoReply> reply;
        MPing::Ping(QStringLiteral("10.0.0"), kTestRoute, given, this,
                    [&reply](const SIcmpEchoReply& r) { reply = r; });
        QCOMPARE(given, expected);
        QVERIFY(!reply);
        QTRY_VERIFY(reply.has_value());
        QCOMPARE(reply->Result(), -static_cast<qint32>(kIpBadDestination));
        QVERIFY(!goneRan);
    }

    // With the socket kind ping_group_range allows and, for one row, no raw-socket capability.
    void echoInNamespace_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<quint32>("status");
        QTest::addColumn<int>("kind"); // permitted, and so used
        for (const EIcmpSocketKind kind : {EIcmpSocketKind::Datagram, EIcmpSocketKind::Raw}) {
            const auto row = [kind](const char* what, const char* target, int timeoutMs,
                                    quint32 status) {
                QTest::addRow("%s socket: %s", kind == EIcmpSocketKind::Raw ? "raw" : "datagram",
                              what)
                    << QString(target) << timeoutMs << status << int(kind);
            };
            row("answered", CTestNamespaces::kNearAddress, 3000, kIpSuccess);
            row("ignored echo times out", CTestNamespaces::kFarAddress, 300, kIpReqTimedOut);
            row("far end reports unreachable", CTestNamespaces::kBeyondFar, 5000,
                kIpDestHostUnreachable);
            if (kind == EIcmpSocketKind::Raw) {
                row("no route, the send fails", CTestNamespaces::kNoRoute, 3000, kIpGeneralFailure);
                row("neither permitted", CTestNamespaces::kNearAddress, 3000, kIpEchoNotPermitted);
            }
        }
    }
    void echoInNamespace()
    {
        QFETCH(QString, target);
        QFETCH(int, timeoutMs);
        QFETCH(quint32, status);
        QFETCH(int, kind);
        if (!m_spaces->IsReady())
            QSKIP(qPrintable(m_spaces->Reason()));
        const bool datagram = kind == int(EIcmpSocketKind::Datagram);
        QVERIFY(CTestNamespaces::Ip({"netns", "exec", m_spaces->Near(), "sysctl", "-q", "-w",
                                     datagram ? "net.ipv4.ping_group_range=0 2147483647"
                                              : "net.ipv4.ping_group_range=1 0"}));
        const CEnteredNamespace inside(m_spaces->Near());
        QVERIFY(inside.IsEntered());
        const bool refused = status == kIpEchoNotPermitted;
        QVERIFY(!refused || SetRawSocketsAllowed(false));
        CIcmpEcho echo;
        std::optional<SIcmpEchoReply> reply;
        connect(&echo, &CIcmpEcho::OnFinished, this,
                [&reply](const SIcmpEchoReply& r) { reply = r; });
        echo.Start(MPing::DottedToAddress(target), kTestRoute, timeoutMs);
        QVERIFY(SetRawSocketsAllowed(true));
        QVERIFY(!reply); // the loop goes on while the echo waits
        QTRY_VERIFY_WITH_TIMEOUT(reply.has_value(), timeoutMs + 10000);
        QCOMPARE(reply->Status, status);
        QCOMPARE(int(echo.SocketKind()), refused ? int(EIcmpSocketKind::None) : kind);
        if (status != kIpSuccess)
            return;
        QCOMPARE(reply->Data, kTestRoute);
        QCOMPARE(reply->DataSize, quint16(kTestRoute.size()));
        QCOMPARE(reply->Address, quint32(MPing::DottedToAddress(target)));
        QCOMPARE(reply->Result(), qint32(reply->RoundTripTime));
    }

private:
    std::unique_ptr<CTestNamespaces> m_spaces;
};

QTEST_GUILESS_MAIN(tst_MPing)
#include "tst_MPing.moc"
