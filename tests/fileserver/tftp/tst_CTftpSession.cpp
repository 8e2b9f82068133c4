#include "fileserver/tftp/CTftpSession.h"
#include "tests/fileserver/tftp/TftpTestClient.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace tftptest;

namespace {

// Long enough that no retransmission comes while a test answers.
constexpr int kCalmIntervalMs = 3000;
// Short enough that the retry tests run in a second.
constexpr int kQuickIntervalMs = 50;
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
        auto session = std::make_unique<CTftpSession>(Options(intervalMs));
        session->Activate(opcode, QStringLiteral("127.0.0.1"), client.Port(), name);
        return session;
    }

    // Deletes a session as its owner does, with what it handed over for later deletion.
    static void Release(std::unique_ptr<CTftpSession>& session)
    {
        session.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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
        QVERIFY(WriteFile(m_root + "/sub/b.bin", "bee"));
        QVERIFY(WriteFile(m_root + "/.hidden", "hidden"));
        QVERIFY(WriteFile(m_outer->path() + "/secret", "secret"));
        QVERIFY(WriteFile(m_outside + "/secret", "secret"));
        QVERIFY(QFile::link(m_outside, m_root + "/outlink"));
        QVERIFY(QFile::link(m_outside + "/secret", m_root + "/filelink"));
        QVERIFY(QFile::link(m_outside + "/none", m_root + "/dangling"));
    }
    void cleanup() { m_outer.reset(); }

    void readSendsFileInBlocks_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("blockSizes");
        QTest::newRow("empty file: one empty block") << 0 << QList<int>{0};
        QTest::newRow("one byte") << 1 << QList<int>{1};
        QTest::newRow("511 bytes") << 511 << QList<int>{511};
        QTest::newRow("512 bytes end with an empty block") << 512 << QList<int>{512, 0};
        QTest::newRow("513 bytes") << 513 << QList<int>{512, 1};
        QTest::newRow("700 bytes") << 700 << QList<int>{512, 188};
        QTest::newRow("1024 bytes") << 1024 << QList<int>{512, 512, 0};
    }
    void readSendsFileInBlocks()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, blockSizes);
        QVERIFY(WriteFile(m_root + "/file.bin", Pattern(size)));
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoReadRequest, client, QStringLiteral("file.bin"));
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        const quint16 sessionPort = session->LocalPort();
        QVERIFY(sessionPort != 0);

        const STransfer transfer = client.ReadAll();
        QVERIFY2(transfer.failure.isEmpty(), qPrintable(transfer.failure));
        QCOMPARE(transfer.blockSizes, blockSizes);
        QCOMPARE(transfer.content, Pattern(size));
        QCOMPARE(transfer.serverPort, sessionPort);
        // The ACK of the short block ends the session.
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(session->IsEnded());
        QVERIFY(!client.HasPending());
    }

    void blockAfter65535IsOne()
    {
        // 65536 full blocks and a short one: block numbers 1 to 65535, then 1 and 2.
        const qsizetype size = 65536LL * 512 + 10;
        QByteArray content = Pattern(4096).repeated(size / 4096);
        content += Pattern(10);
        QVERIFY(WriteFile(m_root + "/big.bin", content));
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoReadRequest, client, QStringLiteral("big.bin"));
        const STransfer transfer = client.ReadAll();
        QVERIFY2(transfer.failure.isEmpty(), qPrintable(transfer.failure));
        QCOMPARE(transfer.blockSizes.size(), 65537);
        QVERIFY(transfer.content == content);
    }

    void writeBeyond65535Blocks_data()
    {
        QTest::addColumn<int>("afterLast"); // the block number a client sends after 65535
        QTest::newRow("client goes on with 0") << 0;
        QTest::newRow("client goes on with 1") << 1;
    }
    void writeBeyond65535Blocks()
    {
        QFETCH(int, afterLast);
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoWriteRequest, client, QStringLiteral("big.bin"));
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        const quint16 sessionPort = session->LocalPort();
        QVERIFY(client.Next());
        const int blocks = 65537; // the last one short
        QByteArray sent;
        quint16 block = 0;
        for (int i = 1; i <= blocks; ++i) {
            block = block == 0xFFFF ? static_cast<quint16>(afterLast) : quint16(block + 1);
            const QByteArray payload = i < blocks ? Pattern(512) : QByteArray("end");
            sent += payload;
            client.Send(sessionPort, Data(block, payload));
            const std::optional<SReceived> packet = client.Next();
            QVERIFY(packet);
            QCOMPARE(packet->data, Ack(block));
        }
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(ReadFile(m_root + "/big.bin") == sent);
    }

    void readNamesResolvedInServedFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("leading slash") << "/a.bin" << Pattern(kDataSize);
        QTest::newRow("drive letter") << "C:\\a.bin" << Pattern(kDataSize);
        QTest::newRow("backslash") << "sub\\b.bin" << QByteArray("bee");
        QTest::newRow("drive, mixed separators") << "c:/sub\\b.bin" << QByteArray("bee");
        QTest::newRow("parent that stays inside") << "sub/../a.bin" << Pattern(kDataSize);
        QTest::newRow("dot") << "./sub/./b.bin" << QByteArray("bee");
    }
    void readNamesResolvedInServedFolder()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoReadRequest, client, name);
        const STransfer transfer = client.ReadAll();
        QVERIFY2(transfer.failure.isEmpty(), qPrintable(transfer.failure));
        QCOMPARE(transfer.content, content);
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
        QTest::newRow("read: the served folder") << read << "" << notFound;
        QTest::newRow("read: hidden file") << read << ".hidden" << notFound;
        QTest::newRow("read: absolute name stays inside") << read << "/etc/hostname" << notFound;
        QTest::newRow("read: parent") << read << "../secret" << violation;
        QTest::newRow("read: backslash parent") << read << "..\\secret" << violation;
        QTest::newRow("read: drive and parent") << read << "C:..\\secret" << violation;
        QTest::newRow("read: parent after folder") << read << "sub/../../secret" << violation;
        QTest::newRow("read: link to outside folder") << read << "outlink/secret" << violation;
        QTest::newRow("read: link to outside file") << read << "filelink" << violation;
        QTest::newRow("read: dangling link") << read << "dangling" << violation;
        QTest::newRow("write: parent") << write << "../new.bin" << violation;
        QTest::newRow("write: drive and parent") << write << "C:\\..\\new.bin" << violation;
        QTest::newRow("write: parent over a file") << write << "../secret" << violation;
        QTest::newRow("write: link to outside folder") << write << "outlink/new.bin" << violation;
        QTest::newRow("write: link to outside file") << write << "filelink" << violation;
        QTest::newRow("write: dangling link") << write << "dangling" << violation;
        QTest::newRow("write: a folder") << write << "sub" << violation;
        QTest::newRow("write: the served folder") << write << "" << violation;
        QTest::newRow("write: missing folder") << write << "nothere/new.bin" << violation;
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

    void writeStoresBlocks_data()
    {
        QTest::addColumn<QList<int>>("blockSizes");
        QTest::newRow("empty file") << QList<int>{0};
        QTest::newRow("one byte") << QList<int>{1};
        QTest::newRow("511 bytes") << QList<int>{511};
        QTest::newRow("512 bytes end with an empty block") << QList<int>{512, 0};
        QTest::newRow("700 bytes") << QList<int>{512, 188};
        QTest::newRow("1024 bytes end with the third block") << QList<int>{512, 512, 0};
    }
    void writeStoresBlocks()
    {
        QFETCH(QList<int>, blockSizes);
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

        const int total = std::accumulate(blockSizes.begin(), blockSizes.end(), 0);
        const QByteArray content = Pattern(total);
        int offset = 0;
        for (int i = 0; i < blockSizes.size(); ++i) {
            QCOMPARE(ended.count(), 0);
            const auto block = static_cast<quint16>(i + 1);
            client.Send(sessionPort, Data(block, content.mid(offset, blockSizes.at(i))));
            offset += blockSizes.at(i);
            packet = client.Next();
            QVERIFY(packet);
            QCOMPARE(packet->data.toHex(' '), Ack(block).toHex(' '));
        }
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(ReadFile(m_root + "/up.bin"), content);
    }

    void writeStoresEachBlockOnce_data()
    {
        // Blocks the client sends, with the ACK each gets (-1: none); block
        // n carries bytes of value n, a full block unless it is the last.
        QTest::addColumn<QList<int>>("blocks");
        QTest::addColumn<QList<int>>("acks");
        QTest::addColumn<QByteArray>("stored");
        const QByteArray one(512, '\1');
        QTest::newRow("block sent again after a lost ACK")
            << QList<int>{1, 1, 2} << QList<int>{1, 1, 2} << one + QByteArray(1, '\2');
        QTest::newRow("block sent a third time")
            << QList<int>{1, 1, 1, 2} << QList<int>{1, 1, 1, 2} << one + QByteArray(1, '\2');
        QTest::newRow("block 0 repeats the request's answer")
            << QList<int>{0, 1} << QList<int>{0, 1} << QByteArray(1, '\1');
        QTest::newRow("block out of step dropped")
            << QList<int>{1, 3, 2} << QList<int>{1, -1, 2} << one + QByteArray(1, '\2');
        QTest::newRow("older block dropped") << QList<int>{1, 2, 1, 3} << QList<int>{1, 2, -1, 3}
                                             << one + QByteArray(512, '\2') + QByteArray(1, '\3');
    }
    void writeStoresEachBlockOnce()
    {
        QFETCH(QList<int>, blocks);
        QFETCH(QList<int>, acks);
        QFETCH(QByteArray, stored);
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoWriteRequest, client, QStringLiteral("up.bin"));
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        const quint16 sessionPort = session->LocalPort();
        QVERIFY(client.Next());
        const int last = blocks.last();
        for (int i = 0; i < blocks.size(); ++i) {
            const int block = blocks.at(i);
            const int size = block == last && i == blocks.size() - 1 ? 1 : 512;
            client.Send(sessionPort, Data(static_cast<quint16>(block),
                                          QByteArray(size, static_cast<char>(block))));
            // A block without an answer shows itself when the next one's ACK comes first.
            if (acks.at(i) < 0)
                continue;
            const std::optional<SReceived> packet = client.Next();
            QVERIFY(packet);
            QCOMPARE(packet->data.toHex(' '), Ack(static_cast<quint16>(acks.at(i))).toHex(' '));
        }
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(ReadFile(m_root + "/up.bin").toHex(), stored.toHex());
    }

    void datagramAtSessionPort_data()
    {
        // A datagram reaching a running transfer, from its client or from a
        // stranger, and the only answer the client gets (empty: none).
        QTest::addColumn<int>("opcode");
        QTest::addColumn<QString>("sender"); // "client", "stranger port", "stranger host"
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("answer");
        const int read = CTftpPacket::etoReadRequest;
        const int write = CTftpPacket::etoWriteRequest;
        const QByteArray illegal = Error(4, "Illegal TFTP operation.");
        const QByteArray unknown = Error(5, "Unknown transfer ID");
        const QByteArray none;
        for (const int mode : {read, write}) {
            const QString prefix = mode == read ? "read: " : "write: ";
            const auto row = [&prefix](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable(prefix + name));
            };
            row("read request") << mode << "client" << Request(1, "a.bin") << illegal;
            row("write request") << mode << "client" << Request(2, "a.bin") << illegal;
            row("opcode 6") << mode << "client" << Word(6) + Word(0) << illegal;
            row("opcode 0") << mode << "client" << Word(0) << illegal;
            row("opcode 6 from a stranger") << mode << "stranger port" << Word(6) << illegal;
            row("empty") << mode << "client" << QByteArray() << none;
            row("one byte") << mode << "client" << QByteArray(1, '\4') << none;
            row("client's error packet") << mode << "client" << Error(0, "stop") << none;
        }
        QTest::newRow("read: DATA") << read << "client" << Data(1, "x") << none;
        QTest::newRow("read: short ACK") << read << "client" << Word(4) + '\0' << none;
        QTest::newRow("read: ACK from a stranger port")
            << read << "stranger port" << Ack(1) << unknown;
        QTest::newRow("read: ACK from a stranger host, same port")
            << read << "stranger host" << Ack(1) << unknown;
        QTest::newRow("write: ACK") << write << "client" << Ack(0) << none;
        QTest::newRow("write: short DATA") << write << "client" << Word(3) + '\0' << none;
        QTest::newRow("write: DATA from a stranger port")
            << write << "stranger port" << Data(1, "evil") << unknown;
        QTest::newRow("write: DATA from a stranger host, same port")
            << write << "stranger host" << Data(1, "evil") << unknown;
    }
    void datagramAtSessionPort()
    {
        QFETCH(int, opcode);
        QFETCH(QString, sender);
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, answer);
        CTftpTestClient client;
        CTftpTestClient stranger(sender == "stranger host" ? QHostAddress("127.0.0.2")
                                                           : QHostAddress::LocalHost,
                                 sender == "stranger host" ? client.Port() : 0);
        QVERIFY(stranger.IsBound());
        const bool reading = opcode == CTftpPacket::etoReadRequest;
        auto session =
            Start(static_cast<CTftpPacket::ETftpOpcode>(opcode), client, QStringLiteral("a.bin"));
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        const quint16 sessionPort = session->LocalPort();
        QVERIFY(client.Next()); // DATA 1 or ACK 0

        (sender == "client" ? client : stranger).Send(sessionPort, datagram);
        // A datagram left unanswered shows itself when this probe's answer comes first.
        const QByteArray probeAnswer = Error(4, "Illegal TFTP operation.");
        if (answer.isEmpty())
            client.Send(sessionPort, Word(6));
        std::optional<SReceived> packet = client.Next();
        QVERIFY(packet);
        QCOMPARE(packet->data.toHex(' '), (answer.isEmpty() ? probeAnswer : answer).toHex(' '));
        QCOMPARE(packet->port, sessionPort);
        QVERIFY(!stranger.HasPending());
        QCOMPARE(ended.count(), 0);

        // The transfer goes on unchanged.
        client.Send(sessionPort, reading ? Ack(1) : Data(1, "own"));
        packet = client.Next();
        QVERIFY(packet);
        QCOMPARE(packet->data.toHex(' '),
                 (reading ? Data(2, Pattern(kDataSize).mid(512)) : Ack(1)).toHex(' '));
        if (reading)
            client.Send(sessionPort, Ack(2));
        QTRY_COMPARE(ended.count(), 1);
        if (!reading)
            QCOMPARE(ReadFile(m_root + "/a.bin"), QByteArray("own"));
    }

    void wrongAckGetsBlockAgainAtNextTick()
    {
        const int intervalMs = 300;
        CTftpTestClient client;
        auto session = Start(CTftpPacket::etoReadRequest, client, "a.bin", intervalMs);
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        const std::optional<SReceived> first = client.Next();
        QVERIFY(first);
        QCOMPARE(first->data, Data(1, Pattern(kDataSize).left(512)));
        QElapsedTimer clock;
        clock.start();
        client.Send(first->port, Ack(0));
        client.Send(first->port, Ack(2));
        std::optional<SReceived> again = client.Next();
        QVERIFY(again);
        QCOMPARE(again->data, first->data);
        // Qt timers may fire up to 5 % early.
        QVERIFY(clock.elapsed() >= intervalMs * 9 / 10);
        client.Send(first->port, Ack(1));
        again = client.Next();
        QVERIFY(again);
        QCOMPARE(again->data, Data(2, Pattern(kDataSize).mid(512)));
    }

    void silentClientEndsSession_data()
    {
        // What the session sends before it gives up: the same packet each time.
        QTest::addColumn<int>("opcode");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>(
            "blocksFirst"); // DATA blocks the client writes before it falls silent
        QTest::addColumn<QByteArray>("repeated");
        QTest::addColumn<int>("count");
        const int read = CTftpPacket::etoReadRequest;
        const int write = CTftpPacket::etoWriteRequest;
        QTest::newRow("read: first block sent 17 times")
            << read << "a.bin" << 0 << Data(1, Pattern(kDataSize).left(512)) << 17;
        QTest::newRow("read: empty last block sent 17 times")
            << read << "empty.bin" << 0 << Data(1, {}) << 17;
        QTest::newRow("write: no DATA at all") << write << "up.bin" << 0 << Ack(0) << 1;
        QTest::newRow("write: silent after a block") << write << "up.bin" << 1 << Ack(1) << 1;
    }
    void silentClientEndsSession()
    {
        QFETCH(int, opcode);
        QFETCH(QString, name);
        QFETCH(int, blocksFirst);
        QFETCH(QByteArray, repeated);
        QFETCH(int, count);
        QVERIFY(WriteFile(m_root + "/empty.bin", {}));
        CTftpTestClient client;
        const int descriptors = OpenDescriptorCount();
        auto session =
            Start(static_cast<CTftpPacket::ETftpOpcode>(opcode), client, name, kQuickIntervalMs);
        QSignalSpy ended(session.get(), &CTftpSession::OnEnded);
        QElapsedTimer clock;
        clock.start();
        const quint16 sessionPort = session->LocalPort();
        if (blocksFirst > 0) {
            QVERIFY(client.Next()); // ACK 0
            client.Send(sessionPort, Data(1, QByteArray(512, 'w')));
            clock.start();
        }

        QVERIFY(ended.wait(kAnswerWaitMs));
        // 17 intervals without progress, less what Qt timers may fire early.
        QVERIFY(clock.elapsed() >= 16 * kQuickIntervalMs);
        int sent = 0;
        while (client.HasPending()) {
            const std::optional<SReceived> packet = client.Next();
            QVERIFY(packet);
            QCOMPARE(packet->port, sessionPort);
            if (packet->data == Ack(0) && blocksFirst > 0)
                continue;
            QCOMPARE(packet->data.toHex(' '), repeated.toHex(' '));
            ++sent;
        }
        QCOMPARE(sent, count);
        if (opcode == CTftpPacket::etoWriteRequest)
            QCOMPARE(ReadFile(m_root + "/up.bin"), QByteArray(512 * blocksFirst, 'w'));

        // Its file and socket are closed once it has ended, not only when it is deleted.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(OpenDescriptorCount(), descriptors);
        Release(session);
        QCOMPARE(OpenDescriptorCount(), descriptors);
    }

    void writeThatFailsGetsDiskFull()
    {
        const rlim_t limit = 1000;
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
        client.Send(sessionPort, Data(1, QByteArray(512, 'a')));
        client.Send(sessionPort, Data(2, QByteArray(512, 'b')));
        const std::optional<SReceived> first = client.Next();
        const std::optional<SReceived> second = client.Next();
        QVERIFY(setrlimit(RLIMIT_FSIZE, &saved) == 0);
        std::signal(SIGXFSZ, savedHandler);

        QVERIFY(first && second);
        QCOMPARE(first->data.toHex(' '), Ack(1).toHex(' '));
        QCOMPARE(second->data.toHex(' '), Error(3, "Disk full or allocation exceeded.").toHex(' '));
        QCOMPARE(ended.count(), 1);
        QVERIFY(!client.HasPending());
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
        CTftpSession session(options);
        {
            const CUnprivileged unprivileged;
            session.Activate(CTftpPacket::etoReadRequest, QStringLiteral("127.0.0.1"),
                             client.Port(), QStringLiteral("a.bin"));
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
