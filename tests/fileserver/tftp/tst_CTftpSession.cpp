#include "fileserver/tftp/CTftpNegotiation.h"
#include "fileserver/tftp/CTftpPortRing.h"
#include "fileserver/tftp/CTftpSession.h"
#include "tests/fileserver/tftp/TftpTestClient.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

// What a session does with real sockets, files and timers; what a transfer
// decides for each datagram and tick is in tst_CTftpTransfer.

using namespace tftptest;

namespace {

// Long enough that no retransmission comes while a test answers.
constexpr int kCalmIntervalMs = 3000;
// Short enough that the 17 retry intervals of a silent client pass at once.
constexpr int kQuickIntervalMs = 10;
constexpr int kDataSize = 700; // two blocks: 512 and 188 bytes

// Makes this process an ordinary user for its lifetime, so that file
// permissions and port privileges apply when the tests run as root.
class CUnprivileged final {
public:
    CUnprivileged()
    {
        if (geteuid() == 0)
            m_dropped = seteuid(kNobody) == 0;
    }
    ~CUnprivileged()
    {
        if (m_dropped)
            QVERIFY(seteuid(0) == 0);
    }
    CUnprivileged(const CUnprivileged&) = delete;
    CUnprivileged& operator=(const CUnprivileged&) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    bool m_dropped = false;
};

// Lets every process open the folder, so that it stays usable unprivileged.
bool OpenToAll(const QString& path)
{
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                           | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup
                                           | QFile::ExeGroup);
}

QStringList Listing(const QString& folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << it.next();
    names.sort();
    return names;
}

} // namespace

class tst_CTftpSession final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_outer;
    QString m_root;    // the served folder
    QString m_outside; // beside it, never served
    CTftpPortRing m_ports{kTftpFirstSessionPort, kTftpLastSessionPort};

    STftpOptions Options(int intervalMs) const
    {
        STftpOptions options{.servedFolder = CServedFolder(m_root)};
        options.retryIntervalMs = intervalMs;
        return options;
    }

    // A session answering client's request for name; its first answer is on its way.
    std::unique_ptr<CTftpSession> Start(CTftpPacket::ETftpOpcode opcode, CTftpTestClient& client,
                                        const QString& name, int intervalMs = kCalmIntervalMs)
    {
        auto session = std::make_unique<CTftpSession>(Options(intervalMs), m_ports);
        session->Activate(opcode, CUdpPeer(QHostAddress::LocalHost, client.Port()), name);
        return session;
    }

private slots:
    void init()
    {
        m_outer = std::make_unique<QTemporaryDir>();
        QVERIFY(m_outer->isValid());
        QDir outer(m_outer->path());
        QVERIFY(outer.mkpath(QStringLiteral("root/sub")));
        QVERIFY(outer.mkpath(QStringLiteral("outside")));
        m_root = outer.filePath(QStringLiteral("root"));
        m_outside = outer.filePath(QStringLiteral("outside"));
        for (const QString& folder : {m_outer->path(), m_root, m_root + "/sub", m_outside})
            QVERIFY(OpenToAll(folder));
        QVERIFY(WriteFile(m_root + "/a.bin", Pattern(kDataSize)));
        QVERIFY(WriteFile(m_root + "/.hidden", "hidden"));
        QVERIFY(WriteFile(m_outer->path() + "/secret", "secret"));
        QVERIFY(WriteFile(m_outside + "/secret", "secret"));
        QVERIFY(QFile::link(m_outside + "/secret", m_root + "/filelink"));
        QVERIFY(QFile::link(m_outside + "/new", m_root + "/dangle"));
    }
    void cleanup() { m_outer.reset(); }

    void readSendsFile()
    {
        // Three blocks, the last one empty; the name as the equipment writes it.
        QVERIFY(WriteFile(m_root + "/sub/big.bin", Pattern(1024)));
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoReadRequest, client, "C:\\sub\\big.bin");
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        const quint16 sessionPort = session->LocalPort();
        QVERIFY(sessionPort != 0);

        const STransfer transfer = client.ReadAll();
        QVERIFY2(transfer.failure.isEmpty(), qPrintable(transfer.failure));
        QCOMPARE(transfer.blockSizes, (QList<int>{512, 512, 0}));
        QCOMPARE(transfer.content, Pattern(1024));
        QCOMPARE(transfer.serverPort, sessionPort);
        // The ACK of the short block ends the session.
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(session->IsEnded());
        QVERIFY(!client.HasPending());
    }

    void writeStoresFile()
    {
        // An older, longer file of that name is replaced as a whole.
        QVERIFY(WriteFile(m_root + "/up.bin", QByteArray(5000, 'o')));
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoWriteRequest, client, QStringLiteral("up.bin"));
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        const quint16 sessionPort = session->LocalPort();

        std::optional<SReceived> packet = client.Next();
        QVERIFY(packet);
        QCOMPARE(packet->data.toHex(' '), Ack(0).toHex(' '));
        QCOMPARE(packet->port, sessionPort);
        const QByteArray content = Pattern(kDataSize);
        for (const quint16 block : {1, 2}) {
            QCOMPARE(ended.count(), 0);
            client.Send(sessionPort, Data(block, content.mid((block - 1) * 512, 512)));
            packet = client.Next();
            QVERIFY(packet);
            QCOMPARE(packet->data.toHex(' '), Ack(block).toHex(' '));
        }
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(ReadFile(m_root + "/up.bin"), content);
    }

    void optionsOverTheWire_data()
    {
        QTest::addColumn<int>("opcode");
        QTest::addColumn<QByteArray>("options"); // name and value pairs, as the request has them
        QTest::addColumn<int>("windowBuffer");
        QTest::addColumn<int>("fileSize");
        QTest::addColumn<QByteArray>("oack");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("windowSize");
        const int read = CTftpPacket::etoReadRequest;
        const int write = CTftpPacket::etoWriteRequest;
        const int threeBlocks = static_cast<int>(3 * CTftpNegotiation::DatagramCost(512));
        QTest::newRow("read: a window cut to the buffer") << read
                                                          << QByteArray("windowsize\0"
                                                                        "64\0",
                                                                        14)
                                                          << threeBlocks << 2500
                                                          << QByteArray("windowsize\0"
                                                                        "3\0",
                                                                        13)
                                                          << 512 << 3;
        QTest::newRow("read: largest blocks") << read
                                              << QByteArray("blksize\0"
                                                            "65464\0",
                                                            14)
                                              << 0 << 70000
                                              << QByteArray("blksize\0"
                                                            "65464\0",
                                                            14)
                                              << 65464 << 1;
        QTest::newRow("write: largest blocks in a window")
            << write
            << QByteArray("blksize\0"
                          "65464\0windowsize\0"
                          "2\0",
                          27)
            << 4 * static_cast<int>(CTftpNegotiation::DatagramCost(65464)) << 140000
            << QByteArray("blksize\0"
                          "65464\0windowsize\0"
                          "2\0",
                          27)
            << 65464 << 2;
    }
    void optionsOverTheWire()
    {
        QFETCH(int, opcode);
        QFETCH(QByteArray, options);
        QFETCH(int, windowBuffer);
        QFETCH(int, fileSize);
        QFETCH(QByteArray, oack);
        QFETCH(int, blockSize);
        QFETCH(int, windowSize);
        const bool reading = opcode == CTftpPacket::etoReadRequest;
        const QByteArray content = Pattern(fileSize);
        if (reading)
            QVERIFY(WriteFile(m_root + "/o.bin", content));
        CTftpPacket::COptions requested =
            CTftpPacket::DecodeRequest(Request(static_cast<quint8>(opcode), "o.bin") + options)
                ->options;
        STftpOptions sessionOptions = Options(kCalmIntervalMs);
        sessionOptions.windowBufferBytes = windowBuffer;
        CTftpTestClient client;
        CTftpSession session(sessionOptions, m_ports);
        QSignalSpy ended(&session, &CTftpSession::OnEnded);
        session.Activate(static_cast<CTftpPacket::ETftpOpcode>(opcode),
                         CUdpPeer(QHostAddress::LocalHost, client.Port()), QStringLiteral("o.bin"),
                         requested);
        const quint16 port = session.LocalPort();
        std::optional<SReceived> packet = client.Next();
        QVERIFY(packet);
        QCOMPARE(packet->data.toHex(' '), (Word(6) + oack).toHex(' '));

        // Blocks go in windows; the last block of each, or the short one, is acknowledged.
        const int blocks = fileSize / blockSize + 1;
        QByteArray carried;
        if (reading) {
            client.Send(port, Ack(0));
            for (int block = 1; block <= blocks; ++block) {
                packet = client.Next();
                QVERIFY(packet);
                QCOMPARE(packet->data.left(4).toHex(' '), Data(block, {}).toHex(' '));
                carried += packet->data.mid(4);
                if (block % windowSize == 0 || block == blocks)
                    client.Send(port, Ack(block));
            }
            QCOMPARE(carried, content);
        } else {
            for (int block = 1; block <= blocks; ++block) {
                // The blocks go to a temporary file, renamed at the end.
                if (block == blocks)
                    QVERIFY(!QFileInfo::exists(m_root + "/o.bin"));
                client.Send(port, Data(block, content.mid((block - 1) * blockSize, blockSize)));
                if (block % windowSize == 0 || block == blocks) {
                    packet = client.Next();
                    QVERIFY(packet);
                    QCOMPARE(packet->data.toHex(' '), Ack(block).toHex(' '));
                }
            }
        }
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(!client.HasPending());
        if (!reading)
            QCOMPARE(ReadFile(m_root + "/o.bin"), content);
    }

    void negotiatedTimeoutIsTheRetryInterval()
    {
        // The options' own interval outlasts the wait: only the client's
        // timeout brings the OACK again in time.
        CTftpTestClient client;
        CTftpSession session(Options(2 * kAnswerWaitMs), m_ports);
        session.Activate(CTftpPacket::etoReadRequest,
                         CUdpPeer(QHostAddress::LocalHost, client.Port()), QStringLiteral("a.bin"),
                         {{"timeout", "1"}});
        const QByteArray oack = Word(6)
                                + QByteArray("timeout\0"
                                             "1\0",
                                             10);
        for (int sent = 0; sent < 2; ++sent) {
            const std::optional<SReceived> packet = client.Next();
            QVERIFY(packet);
            QCOMPARE(packet->data.toHex(' '), oack.toHex(' '));
        }
    }

    void refusedRequestGetsOneErrorPacket_data()
    {
        QTest::addColumn<int>("opcode");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray notFound = Error(1, "File not found");
        const QByteArray violation = Error(2, "Access violation");
        const int read = CTftpPacket::etoReadRequest;
        const int write = CTftpPacket::etoWriteRequest;
        QTest::newRow("read: missing") << read << "none.bin" << notFound;
        QTest::newRow("read: a folder") << read << "sub" << notFound;
        QTest::newRow("read: hidden file") << read << ".hidden" << notFound;
        // Which names leave the folder is tst_CServedFolder's; these show both
        // of its verdicts refused here.
        QTest::newRow("read: parent") << read << "sub/../../secret" << violation;
        QTest::newRow("write: link to outside file") << write << "filelink" << violation;
        QTest::newRow("write: a folder") << write << "sub" << violation;
        QTest::newRow("write: missing folder") << write << "nothere/new.bin" << violation;
        // The checks and the open must judge the same name: none with a
        // control character reaches either.
        QTest::newRow("write: NUL byte behind a dangling link")
            << write << QStringLiteral("dangle") + QChar(0) + "x" << violation;
        QTest::newRow("write: control character") << write << "new\x01.bin" << violation;
        QTest::newRow("read: line feed") << read << "a.bin\n" << violation;
        QTest::newRow("read: DEL") << read << "a.bin\x7f" << violation;
    }
    void refusedRequestGetsOneErrorPacket()
    {
        QFETCH(int, opcode);
        QFETCH(QString, name);
        QFETCH(QByteArray, answer);
        const QStringList before = Listing(m_outer->path());
        CTftpTestClient client;
        auto session = Start(static_cast<CTftpPacket::ETftpOpcode>(opcode), client, name);
        QVERIFY(session->IsEnded());

        const std::optional<SReceived> packet = client.Next();
        QVERIFY(packet);
        QCOMPARE(packet->data.toHex(' '), answer.toHex(' '));
        QVERIFY(packet->port != 0);
        QVERIFY(!client.HasPending());
        // Nothing was created, replaced or deleted, inside or outside.
        QCOMPARE(Listing(m_outer->path()), before);
        QCOMPARE(ReadFile(m_outside + "/secret"), QByteArray("secret"));
        QCOMPARE(ReadFile(m_outer->path() + "/secret"), QByteArray("secret"));
    }

    void fileThatCannotBeOpenedGetsAccessViolation_data()
    {
        QTest::addColumn<int>("opcode");
        QTest::newRow("read") << int(CTftpPacket::etoReadRequest);
        QTest::newRow("write over it") << int(CTftpPacket::etoWriteRequest);
    }
    void fileThatCannotBeOpenedGetsAccessViolation()
    {
        QFETCH(int, opcode);
        const QString path = m_root + "/locked.bin";
        QVERIFY(WriteFile(path, "locked"));
        QVERIFY(QFile::setPermissions(path, {}));
        CTftpTestClient client;
        std::unique_ptr<CTftpSession> session;
        {
            const CUnprivileged unprivileged;
            session = Start(static_cast<CTftpPacket::ETftpOpcode>(opcode), client, "locked.bin");
        }
        QVERIFY(session->IsEnded());
        const std::optional<SReceived> packet = client.Next();
        QVERIFY(packet);
        QCOMPARE(packet->data.toHex(' '), Error(2, "Access violation").toHex(' '));
        QVERIFY(!client.HasPending());
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(ReadFile(path), QByteArray("locked"));
    }

    void strangerIsToldAndTransferGoesOn_data()
    {
        QTest::addColumn<QString>("strangerHost");
        QTest::addColumn<bool>("samePort");
        QTest::newRow("another port") << "127.0.0.1" << false;
        QTest::newRow("another host, same port") << "127.0.0.2" << true;
    }
    void strangerIsToldAndTransferGoesOn()
    {
        QFETCH(QString, strangerHost);
        QFETCH(bool, samePort);
        QVERIFY(WriteFile(m_root + "/big.bin", Pattern(3000)));
        CTftpTestClient client;
        CTftpTestClient stranger(QHostAddress(strangerHost), samePort ? client.Port() : 0);
        QVERIFY(stranger.IsBound());
        auto session = Start(CTftpPacket::etoReadRequest, client, QStringLiteral("big.bin"));

        // The stranger's ACK of the block in flight is answered to the
        // stranger, from the session's port.
        stranger.Send(session->LocalPort(), Ack(1));
        const std::optional<SReceived> told = stranger.Next();
        QVERIFY(told);
        QCOMPARE(told->data.toHex(' '), Error(5, "Unknown transfer ID").toHex(' '));
        QCOMPARE(told->port, session->LocalPort());

        // The client hears nothing of it: any packet but DATA fails the read.
        const STransfer transfer = client.ReadAll();
        QVERIFY2(transfer.failure.isEmpty(), qPrintable(transfer.failure));
        QCOMPARE(transfer.content, Pattern(3000));
        QTRY_VERIFY(session->IsEnded());
        QVERIFY(!stranger.HasPending());
    }

    void writeReplacesTheNameNotALinkedFile()
    {
        // A hard link inside the folder to a file outside it.
        QVERIFY(WriteFile(m_outside + "/linked", "outside"));
        QVERIFY(::link(QFile::encodeName(m_outside + "/linked").constData(),
                       QFile::encodeName(m_root + "/hard").constData())
                == 0);
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoWriteRequest, client, QStringLiteral("hard"));
        QVERIFY(client.Next()); // ACK 0
        client.Send(session->LocalPort(), Data(1, "new"));
        const std::optional<SReceived> ack = client.Next();
        QVERIFY(ack);
        QCOMPARE(ack->data.toHex(' '), Ack(1).toHex(' '));
        QCOMPARE(ReadFile(m_root + "/hard"), QByteArray("new"));
        QCOMPARE(ReadFile(m_outside + "/linked"), QByteArray("outside"));
    }

    void uploadGivenUpKeepsTheOldFile()
    {
        QVERIFY(WriteFile(m_root + "/up.bin", "old"));
        const QStringList before = Listing(m_outer->path());
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoWriteRequest, client, "up.bin", kQuickIntervalMs);
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        QVERIFY(client.Next()); // ACK 0
        client.Send(session->LocalPort(), Data(1, QByteArray(512, 'n')));
        QVERIFY(client.Next()); // ACK 1, then silence
        QVERIFY(ended.wait(kAnswerWaitMs));
        QCOMPARE(ReadFile(m_root + "/up.bin"), QByteArray("old"));
        QCOMPARE(Listing(m_outer->path()), before);
    }

    void silentClientEndsSession_data()
    {
        // What the session sends before it gives up: the same packet each time.
        QTest::addColumn<int>("opcode");
        QTest::addColumn<QByteArray>("repeated");
        QTest::addColumn<int>("count");
        QTest::newRow("read: first block sent 17 times")
            << int(CTftpPacket::etoReadRequest) << Data(1, Pattern(kDataSize).left(512)) << 17;
        QTest::newRow("write: ACK 0 sent once") << int(CTftpPacket::etoWriteRequest) << Ack(0) << 1;
    }
    void silentClientEndsSession()
    {
        QFETCH(int, opcode);
        QFETCH(QByteArray, repeated);
        QFETCH(int, count);
        CTftpTestClient client;
        const int descriptors = OpenDescriptorCount();
        auto session =
            Start(static_cast<CTftpPacket::ETftpOpcode>(opcode), client, "a.bin", kQuickIntervalMs);
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        const quint16 sessionPort = session->LocalPort();

        QVERIFY(ended.wait(kAnswerWaitMs));
        int sent = 0;
        while (client.HasPending()) {
            const std::optional<SReceived> packet = client.Next();
            QVERIFY(packet);
            QCOMPARE(packet->port, sessionPort);
            QCOMPARE(packet->data.toHex(' '), repeated.toHex(' '));
            ++sent;
        }
        QCOMPARE(sent, count);
        // Its file and socket are closed once it has ended, not only when it is deleted.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(OpenDescriptorCount(), descriptors);
    }

    void writeThatFailsGetsDiskFull()
    {
        // A real file refused beyond 1000 bytes: the buffered blocks fail
        // when the last one flushes them, and the client hears of it instead
        // of the last ACK. The old file stays, and nothing else is left.
        const rlim_t limit = 1000;
        QVERIFY(WriteFile(m_root + "/up.bin", "old"));
        const QStringList before = Listing(m_outer->path());
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoWriteRequest, client, QStringLiteral("up.bin"));
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        const quint16 sessionPort = session->LocalPort();
        QVERIFY(client.Next());

        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = limit;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        QList<QByteArray> answers;
        for (const quint16 block : {1, 2, 3}) {
            client.Send(sessionPort, Data(block, QByteArray(block < 3 ? 512 : 10, 'a')));
            const std::optional<SReceived> answer = client.Next();
            answers << (answer ? answer->data.toHex(' ') : QByteArray());
        }
        QVERIFY(setrlimit(RLIMIT_FSIZE, &saved) == 0);
        std::signal(SIGXFSZ, savedHandler);

        QCOMPARE(answers,
                 (QList<QByteArray>{Ack(1).toHex(' '), Ack(2).toHex(' '),
                                    Error(3, "Disk full or allocation exceeded.").toHex(' ')}));
        QCOMPARE(ended.count(), 1);
        QVERIFY(!client.HasPending());
        QCOMPARE(ReadFile(m_root + "/up.bin"), QByteArray("old"));
        QCOMPARE(Listing(m_outer->path()), before);
    }

    void sessionPort_data()
    {
        QTest::addColumn<QString>("range"); // "free", "taken", "privileged"
        QTest::newRow("a free port of the range") << "free";
        QTest::newRow("every port of the range taken") << "taken";
        QTest::newRow("ports below 1024 without the right") << "privileged";
    }
    void sessionPort()
    {
        QFETCH(QString, range);
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::Any, 0));
        const quint16 port = holder.localPort();
        if (range == "free")
            holder.close();
        STftpOptions options = Options(kCalmIntervalMs);
        options.firstSessionPort = range == "privileged" ? 1000 : port;
        options.lastSessionPort = range == "privileged" ? 1023 : port;

        CTftpTestClient client;
        CTftpPortRing ports(options.firstSessionPort, options.lastSessionPort);
        CTftpSession session(options, ports);
        {
            const CUnprivileged unprivileged;
            session.Activate(CTftpPacket::etoReadRequest,
                             CUdpPeer(QHostAddress::LocalHost, client.Port()),
                             QStringLiteral("a.bin"));
        }
        const std::optional<SReceived> packet = client.Next();
        QVERIFY(packet);
        QCOMPARE(packet->port, session.LocalPort());
        if (range == "free")
            QCOMPARE(packet->port, port);
        else if (range == "taken")
            QVERIFY(packet->port != port && packet->port != 0);
        else
            QVERIFY(packet->port >= 1024);
    }
};

QTEST_GUILESS_MAIN(tst_CTftpSession)
#include "tst_CTftpSession.moc"
