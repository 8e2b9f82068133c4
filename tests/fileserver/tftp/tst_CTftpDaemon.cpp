#include "common/CRaisedError.h"
#include "fileserver/tftp/CTftpDaemon.h"
#include "tests/fileserver/tftp/TftpTestClient.h"

#include <QTemporaryDir>
#include <algorithm>
#include <memory>

using namespace tftptest;

class tst_CTftpDaemon final : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_root;
    std::unique_ptr<CTftpDaemon> m_daemon;
    QList<int> m_countsAtStart; // the session count each NewTftpSessionStarted saw
    const QByteArray m_file = TestFiles::Pattern(100); // a.bin: one short block
    void StartDaemon(STftpOptions options = {.retryIntervalMs = kCalmIntervalMs})
    {
        m_daemon.reset();
        m_countsAtStart.clear();
        QVERIFY(TestFiles::Write(m_root.filePath("a.bin"), m_file));
        options.servedFolder = CServedFolder(m_root.path());
        options.port = 0;
        m_daemon = std::make_unique<CTftpDaemon>(options);
        m_daemon->StartService();
        QVERIFY(Port() != 0);
        connect(m_daemon.get(), &CTftpDaemon::NewTftpSessionStarted, this,
                [this] { m_countsAtStart.append(m_daemon->TftpSessionCount()); });
    }
    quint16 Port() const { return m_daemon->LocalPort(); }
private slots:
    void init() { StartDaemon(); }
    void cleanup()
    {
        m_daemon.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // A request starts one session, on a port of its own; a repeat from the
    // same client, whatever it asks, is dropped while it runs. Anything else
    // is dropped without an answer.
    void datagramAtTheListener_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("answer"); // "File not found": dropped, the marker answered
        const QByteArray dropped = Error(1, "File not found");
        QTest::newRow("read") << Request(1, "a.bin") << Data(1, m_file);
        QTest::newRow("write with options")
            << Request(2, "up.bin") + Z("TSIZE|3|") << Word(6) + Z("tsize|3|");
        QTest::newRow("ACK") << Ack(0) << dropped;
    }
    void datagramAtTheListener()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, answer);
        const bool served = !answer.startsWith(Word(5));
        CTftpTestClient client;
        client.Send(Port(), datagram);
        client.Send(Port(), Request(1, "none.bin"));
        QCOMPARE(client.Answer(), Hex(answer));
        const quint16 sessionPort = client.LastPort();
        QVERIFY(sessionPort >= kTftpFirstSessionPort && sessionPort <= kTftpLastSessionPort);
        QVERIFY(!client.HasPending());
        QCOMPARE(m_countsAtStart, QList<int>(1, served ? 1 : 0));
        if (served)
            client.Send(sessionPort, datagram.at(1) == 1 ? Ack(1) : Data(1, "up"));
        QTRY_COMPARE(m_daemon->TftpSessionCount(), 0);
        QVERIFY(!served || datagram.at(1) != 2 || client.Answer() == Hex(Ack(1)));
        QCOMPARE(TestFiles::Read(m_root.filePath("a.bin")), m_file);
    }
    // Each address on the port the first got, and each session answers from
    // the address its request came to. Probes: "+" served, "-" not bound by
    // the listener. One address that cannot be had: none.
    void listensOnEachAddressOnOnePort_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QStringList>("probes"); // none: StartService throws
        QTest::newRow("both families by default")
            << QStringList{} << QStringList{"+127.0.0.1", "+::1"};
        QTest::newRow("one IPv4 address")
            << QStringList{"127.0.0.2"} << QStringList{"+127.0.0.2", "-127.0.0.1", "-::1"};
        QTest::newRow("IPv6 only") << QStringList{"::1"} << QStringList{"+::1", "-127.0.0.1"};
        QTest::newRow("two addresses")
            << QStringList{"127.0.0.3", "::1"} << QStringList{"+::1", "+127.0.0.3", "-127.0.0.1"};
        QTest::newRow("an address not this host's: none")
            << QStringList{"127.0.0.1", "192.0.2.1"} << QStringList{};
    }
    void listensOnEachAddressOnOnePort()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QStringList, probes);
        STftpOptions options{.servedFolder = CServedFolder(m_root.path()), .port = 0};
        for (const QString& text : addresses)
            options.listenAddresses << QHostAddress(text);
        CTftpDaemon daemon(options);
        if (probes.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(CRaisedError, daemon.StartService());
            QCOMPARE(daemon.LocalPort(), quint16(0));
            return;
        }
        daemon.StartService();
        for (const QString& probe : probes) {
            const QHostAddress target(probe.mid(1));
            QUdpSocket client;
            if (probe.startsWith('-')) {
                // Nothing listens there: the test's own socket may take it.
                QVERIFY2(client.bind(target, daemon.LocalPort(), QUdpSocket::DontShareAddress),
                         qPrintable(probe));
                continue;
            }
            QVERIFY(client.bind(QHostAddress::Any, 0));
            client.writeDatagram(Request(1, "a.bin"), target, daemon.LocalPort());
            QVERIFY(
                QTest::qWaitFor([&client] { return client.hasPendingDatagrams(); }, kAnswerWaitMs));
            const QNetworkDatagram answer = client.receiveDatagram();
            QCOMPARE(answer.data(), Data(1, m_file));
            QVERIFY2(answer.senderAddress().isEqual(target, QHostAddress::TolerantConversion),
                     qPrintable(answer.senderAddress().toString()));
            client.writeDatagram(Ack(1), answer.senderAddress(), quint16(answer.senderPort()));
            QTRY_COMPARE(daemon.TftpSessionCount(), 0);
        }
    }
    void floodBeyondTheCapIsToldBusy()
    {
        constexpr int kCap = 8;
        constexpr int kRequests = 1010;
        // Twice the cap: ports must come back. An unanswered read lives 17 intervals.
        StartDaemon({.retryIntervalMs = 20,
                     .firstSessionPort = 47000,
                     .lastSessionPort = 47015,
                     .maxSessions = kCap});
        const auto socketsAndServedFiles = [this] {
            const QFileInfoList links =
                QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System);
            return std::ranges::count_if(links, [this](const QFileInfo& link) {
                const QString target = link.symLinkTarget();
                return target.contains("socket:") || target.startsWith(m_root.path());
            });
        };
        const qsizetype sockets = socketsAndServedFiles();
        // One request at a time, none acknowledged, each from an address of
        // its own, so that no reused client port passes for a repeat.
        int busy = 0;
        qsizetype peakDescriptors = 0;
        for (int i = 0; i < kRequests; ++i) {
            CTftpTestClient client(QHostAddress((127U << 24) | (1U << 16) | quint32(i + 1)));
            client.Send(Port(), Request(1, "a.bin"));
            const QByteArray answer = client.Answer();
            busy += answer == Hex(Error(0, "Server busy")) && client.LastPort() == Port();
            QVERIFY(answer == Hex(Error(0, "Server busy"))
                    || (answer == Hex(Data(1, m_file)) && client.LastPort() >= 47000
                        && client.LastPort() <= 47015));
            peakDescriptors = std::max(peakDescriptors, socketsAndServedFiles());
            // Halfway, the unanswered sessions run out: their ports and places come back.
            if (i == kRequests / 2)
                QTRY_COMPARE_WITH_TIMEOUT(m_daemon->TftpSessionCount(), 0, kAnswerWaitMs);
        }
        QVERIFY(busy > 0 && m_countsAtStart.size() > kCap);
        QCOMPARE(busy + m_countsAtStart.size(), kRequests);
        QVERIFY(*std::ranges::max_element(m_countsAtStart) <= kCap);
        QVERIFY(peakDescriptors <= sockets + 1 + 2 * kCap);
        QTRY_COMPARE_WITH_TIMEOUT(m_daemon->TftpSessionCount(), 0, kAnswerWaitMs);
        // One session per client address and port: a read and a write from
        // the same port of two addresses, left running. The listener's end
        // closes their sockets and files, and its own.
        CTftpTestClient reader;
        CTftpTestClient writer(QHostAddress("127.0.0.2"), reader.Port());
        reader.Send(Port(), Request(1, "a.bin"));
        writer.Send(Port(), Request(2, "up.bin"));
        QCOMPARE(reader.Answer(), Hex(Data(1, m_file)));
        QCOMPARE(writer.Answer(), Hex(Ack(0)));
        QVERIFY(reader.LastPort() != writer.LastPort());
        QCOMPARE(m_countsAtStart.mid(m_countsAtStart.size() - 2), (QList<int>{1, 2}));
        cleanup();
        QCOMPARE(socketsAndServedFiles(), sockets + 1); // the test's own two, less the listener
    }
};

QTEST_GUILESS_MAIN(tst_CTftpDaemon)
#include "tst_CTftpDaemon.moc"
