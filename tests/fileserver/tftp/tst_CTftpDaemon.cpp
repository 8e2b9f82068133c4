#include "common/CRaisedError.h"
#include "fileserver/tftp/CTftpDaemon.h"
#include "tests/fileserver/tftp/TftpTestClient.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace tftptest;

namespace {

// Long enough that no retransmission comes while a test answers.
constexpr int kCalmIntervalMs = 3000;
constexpr int kDataSize = 700; // two blocks: 512 and 188 bytes

} // namespace

class tst_CTftpDaemon final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<CTftpDaemon> m_daemon;
    // The session count each NewTftpSessionStarted saw.
    QList<int> m_countsAtStart;

    // A listener on an ephemeral port, serving m_root.
    void StartDaemon()
    {
        STftpOptions options{.servedFolder = CServedFolder(m_root->path())};
        options.port = 0;
        options.retryIntervalMs = kCalmIntervalMs;
        m_daemon = std::make_unique<CTftpDaemon>(options);
        m_daemon->StartService();
        QVERIFY(m_daemon->LocalPort() != 0);
        connect(m_daemon.get(), &CTftpDaemon::NewTftpSessionStarted, this,
                [this] { m_countsAtStart.append(m_daemon->TftpSessionCount()); });
    }

    quint16 Port() const { return m_daemon->LocalPort(); }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        QVERIFY(WriteFile(m_root->filePath("a.bin"), Pattern(kDataSize)));
        m_countsAtStart.clear();
        StartDaemon();
    }
    void cleanup()
    {
        m_daemon.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_root.reset();
    }

    void startServiceOnTakenPortRaises()
    {
        STftpOptions options{.servedFolder = CServedFolder(m_root->path())};
        options.port = Port();
        CTftpDaemon second(options);
        try {
            second.StartService();
            QFAIL("nothing raised");
        } catch (const CRaisedError& error) {
            QVERIFY(!error.Description().isEmpty());
        }
        QCOMPARE(second.LocalPort(), quint16(0));
    }

    void requestStartsSessionOnItsOwnPort_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("firstAnswer"); // empty: the file as DATA blocks
        QTest::newRow("read") << Request(1, "a.bin") << QByteArray();
        QTest::newRow("first byte not examined")
            << "\x17" + Request(1, "a.bin").mid(1) << QByteArray();
        QTest::newRow("netascii served byte for byte")
            << Request(1, "a.bin", "netascii") << QByteArray();
        QTest::newRow("unknown options not answered")
            << Request(1, "a.bin") + "rollover" + '\0' + "0" + '\0' << QByteArray();
        QTest::newRow("write") << Request(2, "up.bin") << Ack(0);
        // The options reach the session, whose negotiation is tested on its own.
        QTest::newRow("write with options") << Request(2, "up.bin") + "TSIZE" + '\0' + "3" + '\0'
                                            << Word(6) + "tsize" + '\0' + "3" + '\0';
    }
    void requestStartsSessionOnItsOwnPort()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, firstAnswer);
        // Line ends and zero bytes that a text conversion would change.
        QVERIFY(WriteFile(m_root->filePath("a.bin"), Pattern(kDataSize) + "\r\n\n\r\0x"));
        CTftpTestClient client;
        client.Send(Port(), request);
        if (firstAnswer.isEmpty()) {
            const STransfer transfer = client.ReadAll();
            QVERIFY2(transfer.failure.isEmpty(), qPrintable(transfer.failure));
            QCOMPARE(transfer.content, ReadFile(m_root->filePath("a.bin")));
            QVERIFY(transfer.serverPort != Port());
        } else {
            const std::optional<SReceived> packet = client.Next();
            QVERIFY(packet);
            QCOMPARE(packet->data.toHex(' '), firstAnswer.toHex(' '));
            QVERIFY(packet->port != Port());
            QVERIFY(packet->port >= kTftpFirstSessionPort && packet->port <= kTftpLastSessionPort);
            client.Send(packet->port, Data(1, "up"));
            QVERIFY(client.Next());
            QTRY_COMPARE(ReadFile(m_root->filePath("up.bin")), QByteArray("up"));
        }
        QCOMPARE(m_countsAtStart, QList<int>{1});
        QTRY_COMPARE(m_daemon->TftpSessionCount(), 0);
    }

    void droppedAtListener_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte") << QByteArray(1, '\1');
        QTest::newRow("name without zero byte") << Word(1) + "a.bin";
        QTest::newRow("DATA") << Data(1, "x");
        QTest::newRow("ACK") << Ack(0);
        QTest::newRow("ERROR") << Error(1, "File not found");
        QTest::newRow("opcode 6") << Request(6, "a.bin");
        QTest::newRow("opcode 0") << Request(0, "a.bin");
    }
    void droppedAtListener()
    {
        QFETCH(QByteArray, datagram);
        CTftpTestClient client;
        client.Send(Port(), datagram);
        // The first answer the client gets is the one to this later request.
        client.Send(Port(), Request(1, "none.bin"));
        const std::optional<SReceived> packet = client.Next();
        QVERIFY(packet);
        QCOMPARE(packet->data.toHex(' '), Error(1, "File not found").toHex(' '));
        QVERIFY(packet->port != Port());
        QVERIFY(!client.HasPending());
        // A session that ended at once is announced all the same.
        QCOMPARE(m_countsAtStart, QList<int>{0});
    }

    void repeatedRequestDropped_data()
    {
        QTest::addColumn<QByteArray>("repeat");
        QTest::newRow("same request") << Request(1, "a.bin");
        QTest::newRow("other file") << Request(1, "none.bin");
        QTest::newRow("write request") << Request(2, "a.bin");
    }
    void repeatedRequestDropped()
    {
        QFETCH(QByteArray, repeat);
        CTftpTestClient client;
        client.Send(Port(), Request(1, "a.bin"));
        const std::optional<SReceived> first = client.Next();
        QVERIFY(first);
        QCOMPARE(first->data, Data(1, Pattern(kDataSize).left(512)));

        client.Send(Port(), repeat);
        client.Send(first->port, Ack(1));
        const std::optional<SReceived> second = client.Next();
        QVERIFY(second);
        QCOMPARE(second->data, Data(2, Pattern(kDataSize).mid(512)));
        QCOMPARE(m_countsAtStart, QList<int>{1});
        QCOMPARE(m_daemon->TftpSessionCount(), 1);
        QCOMPARE(ReadFile(m_root->filePath("a.bin")), Pattern(kDataSize));

        // Once it has ended, the same port starts a new session.
        client.Send(first->port, Ack(2));
        QTRY_COMPARE(m_daemon->TftpSessionCount(), 0);
        client.Send(Port(), Request(1, "a.bin"));
        const STransfer transfer = client.ReadAll();
        QVERIFY2(transfer.failure.isEmpty(), qPrintable(transfer.failure));
        QCOMPARE(transfer.content, Pattern(kDataSize));
        QCOMPARE(m_countsAtStart, (QList<int>{1, 1}));
    }

    void sessionsCountedWhileTheyRun()
    {
        CTftpTestClient first;
        CTftpTestClient second;
        first.Send(Port(), Request(1, "a.bin"));
        second.Send(Port(), Request(2, "up.bin"));
        const std::optional<SReceived> data = first.Next();
        const std::optional<SReceived> ack = second.Next();
        QVERIFY(data && ack);
        QVERIFY(data->port != ack->port);
        QCOMPARE(m_daemon->TftpSessionCount(), 2);
        QCOMPARE(m_countsAtStart, (QList<int>{1, 2}));
        second.Send(ack->port, Data(1, "x"));
        QTRY_COMPARE(m_daemon->TftpSessionCount(), 1);
    }

    void samePortFromTwoAddressesBothServed()
    {
        CTftpTestClient first;
        CTftpTestClient second(QHostAddress(QStringLiteral("127.0.0.2")), first.Port());
        QVERIFY(second.IsBound());
        first.Send(Port(), Request(1, "a.bin"));
        second.Send(Port(), Request(1, "a.bin"));
        const STransfer one = first.ReadAll();
        const STransfer two = second.ReadAll();
        QVERIFY2(one.failure.isEmpty(), qPrintable(one.failure));
        QVERIFY2(two.failure.isEmpty(), qPrintable(two.failure));
        QCOMPARE(one.content, Pattern(kDataSize));
        QCOMPARE(two.content, Pattern(kDataSize));
        QVERIFY(one.serverPort != two.serverPort);
        QCOMPARE(m_countsAtStart, (QList<int>{1, 2}));
    }

    void refusedNameTouchesNothing_data()
    {
        QTest::addColumn<QByteArray>("request");
        // The name ends at the first zero byte: what follows it cannot
        // carry the name past the checks.
        QTest::newRow("NUL byte behind a dangling link")
            << Word(2) + "dangle" + '\0' + "x" + '\0' + "octet" + '\0';
        QTest::newRow("control character") << Request(2, "new\x01");
        QTest::newRow("line feed") << Request(1, "a.bin\n");
    }
    void refusedNameTouchesNothing()
    {
        QFETCH(QByteArray, request);
        QTemporaryDir outside;
        QVERIFY(QFile::link(outside.filePath("made"), m_root->filePath("dangle")));
        CTftpTestClient client;
        client.Send(Port(), request);
        const std::optional<SReceived> answer = client.Next();
        QVERIFY(answer);
        QCOMPARE(answer->data.toHex(' '), Error(2, "Access violation").toHex(' '));
        QVERIFY(!client.HasPending());
        QVERIFY(QDir(outside.path()).isEmpty());
        QCOMPARE(
            QDir(m_root->path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
            (QStringList{"a.bin", "dangle"}));
    }

    void floodBeyondTheCapIsToldBusy()
    {
        constexpr int kCap = 8;
        constexpr int kRequests = 1010;
        constexpr quint16 kFirstPort = 47000;
        constexpr quint16 kLastPort = 47015; // twice the cap: ports must come back
        STftpOptions options{.servedFolder = CServedFolder(m_root->path())};
        options.port = 0;
        options.retryIntervalMs = 20; // an unanswered read lives 17 intervals
        options.firstSessionPort = kFirstPort;
        options.lastSessionPort = kLastPort;
        options.maxSessions = kCap;
        m_daemon.reset();
        m_countsAtStart.clear();
        // Sockets, and files of the served folder (the system's own files
        // come and go with its look-ups).
        const auto socketsAndServedFiles = [this] {
            const QFileInfoList links =
                QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files);
            return static_cast<int>(std::ranges::count_if(links, [this](const QFileInfo& link) {
                const QString target = link.symLinkTarget();
                return target.contains(QLatin1String("socket:"))
                       || target.startsWith(m_root->path());
            }));
        };
        const int sockets = socketsAndServedFiles();
        m_daemon = std::make_unique<CTftpDaemon>(options);
        m_daemon->StartService();
        connect(m_daemon.get(), &CTftpDaemon::NewTftpSessionStarted, this,
                [this] { m_countsAtStart.append(m_daemon->TftpSessionCount()); });

        // One request at a time, none acknowledged, each from an address of
        // its own, so that no reused client port passes for a repeat.
        const QByteArray busy = Error(0, "Server busy");
        int busyCount = 0;
        int peakDescriptors = 0;
        for (int i = 0; i < kRequests; ++i) {
            CTftpTestClient client(QHostAddress((127U << 24) | (1U << 16) | quint32(i + 1)));
            QVERIFY(client.IsBound());
            client.Send(Port(), Request(1, "a.bin"));
            const std::optional<SReceived> answer = client.Next();
            QVERIFY(answer);
            if (answer->data == busy) {
                QCOMPARE(answer->port, Port());
                ++busyCount;
            } else {
                QCOMPARE(answer->data, Data(1, Pattern(kDataSize).left(512)));
                QVERIFY(answer->port >= kFirstPort && answer->port <= kLastPort);
            }
            peakDescriptors = std::max(peakDescriptors, socketsAndServedFiles());
            // Halfway, the unanswered sessions are let run out, however fast
            // the requests came: their ports and places must come back.
            if (i == kRequests / 2)
                QTRY_COMPARE_WITH_TIMEOUT(m_daemon->TftpSessionCount(), 0, kAnswerWaitMs);
        }
        QVERIFY(busyCount > 0);
        QCOMPARE(busyCount + m_countsAtStart.size(), kRequests);
        QVERIFY(m_countsAtStart.size() > kCap);
        QVERIFY(*std::max_element(m_countsAtStart.begin(), m_countsAtStart.end()) <= kCap);
        // The listener, the test's client and two for each session.
        QVERIFY(peakDescriptors <= sockets + 2 + 2 * kCap);

        // The next request is answered; its latency is measured by bench/.
        {
            CTftpTestClient next;
            next.Send(Port(), Request(1, "a.bin"));
            QVERIFY(next.Next());
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_daemon->TftpSessionCount(), 0, kAnswerWaitMs);
        const STransfer transfer = [this] {
            CTftpTestClient last;
            last.Send(Port(), Request(1, "a.bin"));
            return last.ReadAll();
        }();
        QVERIFY2(transfer.failure.isEmpty(), qPrintable(transfer.failure));
        QTRY_COMPARE(m_daemon->TftpSessionCount(), 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(socketsAndServedFiles(), sockets + 1);
    }

    void listenerGoneClosesRunningSessions()
    {
        CTftpTestClient reader;
        CTftpTestClient writer;
        const int descriptors = OpenDescriptorCount();
        reader.Send(Port(), Request(1, "a.bin"));
        writer.Send(Port(), Request(2, "up.bin"));
        QVERIFY(reader.Next());
        QVERIFY(writer.Next());
        QCOMPARE(m_daemon->TftpSessionCount(), 2);
        m_daemon.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // Its socket and both sessions' sockets and files are closed.
        QCOMPARE(OpenDescriptorCount(), descriptors - 1);
    }
};

QTEST_GUILESS_MAIN(tst_CTftpDaemon)
#include "tst_CTftpDaemon.moc"
