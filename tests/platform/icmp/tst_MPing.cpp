#include "platform/icmp/CIcmpEcho.h"
#include "platform/icmp/MPing.h"
#include "tests/platform/TestNamespaces.h"

#include <QCoreApplication>
#include <QTimer>
#include <QtTest>

#include <cstdio>

namespace {

const QByteArray kTestRoute = QByteArrayLiteral("Test Route");

// The test runs itself with this first argument inside a network namespace:
// one echo, with a timer ticking beside it, printed as one line.
const char kEchoChild[] = "--echo-child";

int RunEchoChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    const QString address = QString::fromLocal8Bit(argv[2]);
    const qint32 timeoutMs = QByteArray(argv[3]).toInt();

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &app, [&ticks] { ++ticks; });
    ticker.start(10);
    // Bounded even if the echo never ended.
    QTimer::singleShot(timeoutMs + 10000, &app, [] { QCoreApplication::exit(3); });

    CIcmpEcho echo;
    QObject::connect(
        &echo, &CIcmpEcho::OnFinished, &app, [&echo, &ticks](const SIcmpEchoReply& reply) {
            std::printf("status=%u kind=%d ticks=%d data=%s\n", reply.Status,
                        static_cast<int>(echo.SocketKind()), ticks, reply.Data.toHex().constData());
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    echo.Start(MPing::DottedToAddress(address), kTestRoute, timeoutMs);
    return app.exec();
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

    void cleanupTestCase() { m_spaces.reset(); }

    void dottedToAddress_data()
    {
        QTest::addColumn<QString>("dotted");
        QTest::addColumn<qint32>("expected");
        QTest::newRow("first part in the lowest byte") << "10.0.0.1" << qint32(16777226);
        QTest::newRow("highest byte 254 is negative")
            << "192.168.1.254" << static_cast<qint32>(0xFE01A8C0U);
        QTest::newRow("all ones") << "255.255.255.255" << qint32(-1);
        QTest::newRow("a part of 300 gives 2C") << "1.2.3.300" << qint32(0x2C030201);
        QTest::newRow("three parts") << "10.0.1" << qint32(0);
        QTest::newRow("three parts ending in 0") << "10.0.0" << qint32(0);
        QTest::newRow("empty text") << "" << qint32(0);
        QTest::newRow("five parts") << "1.2.3.4.5" << qint32(0);
        QTest::newRow("a part that is not a number") << "10.0.x.1" << qint32(0);
        QTest::newRow("an empty part") << "10..0.1" << qint32(0);
        QTest::newRow("a signed part") << "10.0.-1.1" << qint32(0);
        QTest::newRow("blanks around parts") << " 10.0.0.1 " << qint32(16777226);
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
        QTest::newRow("201 stays") << 201 << 201;
        QTest::newRow("0 becomes 200") << 0 << 200;
        QTest::newRow("negative becomes 200") << -5 << 200;
        QTest::newRow("6000 stays") << 6000 << 6000;
    }

    // Through Ping itself: the caller's variable holds the floor afterwards.
    // Three parts convert to 0: nothing is sent (0.0.0.0 would answer from
    // this host), and the answer still comes from the event loop.
    void timeoutFloor()
    {
        QFETCH(qint32, given);
        QFETCH(qint32, expected);
        qint32 timeout = given;
        std::optional<SIcmpEchoReply> reply;
        MPing::Ping(QStringLiteral("10.0.0"), kTestRoute, timeout, this,
                    [&reply](const SIcmpEchoReply& r) { reply = r; });
        QCOMPARE(timeout, expected);
        QVERIFY(!reply);
        QTRY_VERIFY(reply.has_value());
        QCOMPARE(reply->Status, kIpBadDestination);
        QCOMPARE(reply->Result(), -static_cast<qint32>(kIpBadDestination));
    }

    // An echo whose context has gone calls nobody.
    void contextGoneDropsTheEcho()
    {
        qint32 timeout = 6000;
        bool firstRan = false;
        bool secondRan = false;
        auto context = std::make_unique<QObject>();
        MPing::Ping(QStringLiteral("10.0.1"), kTestRoute, timeout, context.get(),
                    [&firstRan](const SIcmpEchoReply&) { firstRan = true; });
        context.reset();
        MPing::Ping(QStringLiteral("10.0.1"), kTestRoute, timeout, this,
                    [&secondRan](const SIcmpEchoReply&) { secondRan = true; });
        QTRY_VERIFY(secondRan);
        QVERIFY(!firstRan);
    }

    void loopbackAnswers()
    {
        for (const QString address : {"127.0.0.1", "127.0.0.7"}) {
            qint32 timeout = 6000;
            std::optional<SIcmpEchoReply> reply;
            MPing::Ping(address, kTestRoute, timeout, this,
                        [&reply](const SIcmpEchoReply& r) { reply = r; });
            QTRY_VERIFY_WITH_TIMEOUT(reply.has_value(), 10000);
            if (reply->Status == kIpEchoNotPermitted)
                QSKIP("this system permits neither an ICMP datagram socket nor a raw socket");
            QCOMPARE(reply->Status, kIpSuccess);
            QCOMPARE(reply->Address, static_cast<quint32>(MPing::DottedToAddress(address)));
            QCOMPARE(reply->Data, kTestRoute);
            QCOMPARE(reply->DataSize, quint16(kTestRoute.size()));
            QVERIFY(reply->RoundTripTime < 655380);
            QCOMPARE(reply->Result(), static_cast<qint32>(reply->RoundTripTime));
        }
    }

    // In namespaces of its own, the test runs itself for one echo with the
    // socket kind it allows (ping_group_range) and, for one row, as a user
    // who may open neither kind.
    void echoInNamespace_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<quint32>("status");
        QTest::addColumn<int>("kind"); // the kind the system permits, and the one used
        const struct {
            const char* what;
            const char* target;
            int timeoutMs;
            quint32 status;
        } cases[] = {
            {"answered", CTestNamespaces::kNearAddress, 3000, kIpSuccess},
            {"ignored echo times out", CTestNamespaces::kFarAddress, 300, kIpReqTimedOut},
            {"far end reports unreachable", CTestNamespaces::kBeyondFar, 5000,
             kIpDestHostUnreachable},
        };
        for (const EIcmpSocketKind kind : {EIcmpSocketKind::Datagram, EIcmpSocketKind::Raw}) {
            for (const auto& c : cases) {
                QTest::addRow("%s socket: %s", kind == EIcmpSocketKind::Raw ? "raw" : "datagram",
                              c.what)
                    << c.target << c.timeoutMs << false << c.status << int(kind);
            }
        }
        const int raw = static_cast<int>(EIcmpSocketKind::Raw);
        QTest::newRow("no route: the send fails")
            << CTestNamespaces::kNoRoute << 3000 << false << kIpGeneralFailure << raw;
        QTest::newRow("neither socket permitted")
            << CTestNamespaces::kNearAddress << 3000 << true << kIpEchoNotPermitted << raw;
    }

    void echoInNamespace()
    {
        QFETCH(QString, target);
        QFETCH(int, timeoutMs);
        QFETCH(bool, asNobody);
        QFETCH(quint32, status);
        QFETCH(int, kind);
        if (!m_spaces->IsReady())
            QSKIP(qPrintable(m_spaces->Reason()));
        const bool datagram = kind == int(EIcmpSocketKind::Datagram);
        QVERIFY(CTestNamespaces::Ip({"netns", "exec", m_spaces->Near(), "sysctl", "-q", "-w",
                                     datagram ? "net.ipv4.ping_group_range=0 2147483647"
                                              : "net.ipv4.ping_group_range=1 0"}));

        QStringList arguments{"netns", "exec", m_spaces->Near()};
        if (asNobody)
            arguments << "setpriv"
                      << "--reuid=65534"
                      << "--regid=65534"
                      << "--clear-groups"
                      << "--inh-caps=-all";
        arguments << QCoreApplication::applicationFilePath() << kEchoChild << target
                  << QString::number(timeoutMs);
        const std::optional<QByteArray> output = RunToEnd("ip", arguments);
        QVERIFY(output.has_value());
        const QByteArray line = output->trimmed().split('\n').constLast();
        const QRegularExpressionMatch match =
            QRegularExpression("^status=(\\d+) kind=(\\d+) ticks=(\\d+) data=([0-9a-f]*)$")
                .match(QString::fromLatin1(line));
        QVERIFY2(match.hasMatch(), line.constData());
        QCOMPARE(match.captured(1).toUInt(), status);
        QCOMPARE(match.captured(2).toInt(), asNobody ? int(EIcmpSocketKind::None) : kind);
        if (status == kIpSuccess)
            QCOMPARE(QByteArray::fromHex(match.captured(4).toLatin1()), kTestRoute);
        // The loop went on while the echo waited.
        if (status == kIpReqTimedOut)
            QVERIFY(match.captured(3).toInt() > 0);
    }

private:
    std::unique_ptr<CTestNamespaces> m_spaces;
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], kEchoChild) == 0)
        return RunEchoChild(argc, argv);
    QCoreApplication app(argc, argv);
    tst_MPing test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MPing.moc"
