#include "fileserver/tftp/CTftpPortRing.h"
#include "fileserver/tftp/CTftpSession.h"
#include "tests/fileserver/tftp/TftpTestClient.h"

#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace tftptest;

struct SRun {
    int opcode;
    QString name, script;
    int size;    // sub/big.bin to read, or the blocks a write sends
    bool stored; // the write replaced up.bin
    QByteArray options, oack;
    int windowBuffer, intervalMs, fileSizeLimit; // no limit: 0
};
Q_DECLARE_METATYPE(SRun)

class tst_CTftpSession final : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_outer;
    const QString m_root = m_outer.filePath("root"); // the served folder
    const QString m_outside = m_outer.filePath("outside");
    CTftpPortRing m_ports{kTftpFirstSessionPort, kTftpLastSessionPort};
    QStringList Listing() const
    {
        QStringList names;
        for (const QString& folder : {m_outer.path(), m_root, m_root + "/sub", m_outside})
            names += QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
        return names;
    }
private slots:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(m_root + "/sub") && QDir().mkpath(m_outside));
        // Open to every user, so that the folders stay usable unprivileged.
        for (const QString& folder : {m_outer.path(), m_root, m_root + "/sub", m_outside})
            QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7755)));
        QVERIFY(TestFiles::Write(m_root + "/.hidden", "hidden"));
        QVERIFY(TestFiles::Write(m_root + "/locked.bin", "locked"));
        QVERIFY(QFile::setPermissions(m_root + "/locked.bin", {}));
        QVERIFY(TestFiles::Write(m_outside + "/secret", "secret"));
        QVERIFY(TestFiles::Write(m_outside + "/linked", "old"));
    }
    void exchanges_data()
    {
        // The script is played as tst_CTftpTransfer's, over the wire: start
        // and wait send nothing, ~ sends from 127.0.0.1 on a port of its own,
        // ^ from 127.0.0.2 on the client's port; answers go to the one who sent.
        QTest::addColumn<SRun>("run");
        const auto row = [](const char* what, int opcode, const char* name, const char* script,
                            int size = 0, bool stored = false, const QByteArray& options = {},
                            const QByteArray& oack = {}, int windowBuffer = 0,
                            int intervalMs = kCalmIntervalMs, int fileSizeLimit = 0) {
            QTest::newRow(what) << SRun{opcode,  name, script,       size,       stored,
                                        options, oack, windowBuffer, intervalMs, fileSizeLimit};
        };
        const int read = CTftpPacket::etoReadRequest;
        const int write = CTftpPacket::etoWriteRequest;
        row("read: hidden file", read, ".hidden", "start>E1.");
        // As an ordinary user, whose ring ports below 1024 give way to one the system chooses.
        row("read: a file it may not read", read, "locked.bin", "start>E2.");
        row("write: over a file it may not write", write, "locked.bin", "start>E2.");
        row("write: missing folder", write, "nothere/new.bin", "start>E2.");
        row("read: name as the equipment writes it; a stranger on the client's port", read,
            "C:\\sub\\big.bin", "start>D1 ^A1>E5 A1>D2 A2>D3 A3.", 1024);
        row("write: the name replaced, not the linked file; a stranger told", write, "up.bin",
            "start>A0 ~A1>E5 D1>A1 D2>A2.", 700, true);
        row("write given up after a block: the old file stays", write, "up.bin",
            "start>A0 D1>A1 wait.", 700, false, {}, {}, 0, 10);
        // The buffered blocks fail when the last one flushes them.
        row("write beyond the file size limit: disk full", write, "up.bin",
            "start>A0 D1>A1 D2>A2 D3>E3.", 1034, false, {}, {}, 0, kCalmIntervalMs, 1000);
        // The options' own interval outlasts the wait for an answer.
        row("read: the negotiated timeout is the retry interval", read, "sub/big.bin",
            "start>O wait>O A0>D1 A1.", 10, false, Z("timeout|1|"), Z("timeout|1|"), 0,
            2 * kAnswerWaitMs);
    }
    void exchanges()
    {
        QFETCH(SRun, run);
        const QByteArray file = TestFiles::Pattern(run.size);
        QVERIFY(TestFiles::Write(m_root + "/sub/big.bin", run.opcode == 1 ? file : "big"));
        // Writes replace up.bin, a hard link to a file outside.
        QFile::remove(m_root + "/up.bin");
        QVERIFY(::link(qPrintable(m_outside + "/linked"), qPrintable(m_root + "/up.bin")) == 0);
        const int blockSize =
            run.oack.startsWith("blksize") ? run.oack.split('\0')[1].toInt() : 512;
        const QStringList before = Listing();
        const bool unprivileged = run.name == "locked.bin";
        CTftpPortRing privileged(1000, 1023);
        CTftpPortRing& ports = unprivileged ? privileged : m_ports;
        const qsizetype freePorts = ports.FreeCount();
        CTftpTestClient client, stranger, samePort(QHostAddress("127.0.0.2"), client.Port());
        QVERIFY(samePort.Port() != 0);
        const qsizetype descriptors =
            QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size();
        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{rlim_t(run.fileSizeLimit), saved.rlim_max};
        QVERIFY(run.fileSizeLimit == 0 || setrlimit(RLIMIT_FSIZE, &limited) == 0);
        CTftpSession session({.servedFolder = CServedFolder(m_root),
                              .retryIntervalMs = run.intervalMs,
                              .windowBufferBytes = run.windowBuffer},
                             ports);
        // As an ordinary user, file permissions and port privileges apply also to root.
        const bool dropped = unprivileged && geteuid() == 0 && seteuid(65534) == 0;
        session.Activate(CTftpPacket::ETftpOpcode(run.opcode),
                         CUdpPeer(QHostAddress::LocalHost, client.Port()), run.name,
                         CTftpPacket::DecodeRequest(Request(1, "x") + run.options)->options);
        QVERIFY(!dropped || seteuid(0) == 0);
        const quint16 port = session.LocalPort(); // 0 when it ended at once
        for (const SExchange& exchange : Exchanges(run.script)) {
            CTftpTestClient& from = exchange.from == "~"   ? stranger
                                    : exchange.from == "^" ? samePort
                                                           : client;
            for (int i = 0; i < exchange.count; ++i) {
                if (exchange.input != "start" && exchange.input != "wait")
                    from.Send(port, Packet(exchange.input, file, blockSize, 0, run.oack));
                for (const QString& answer : exchange.answers) {
                    QCOMPARE(from.Answer(), Hex(Packet(answer, file, blockSize, 0, run.oack)));
                    QVERIFY(port == 0 ? from.LastPort() >= (unprivileged ? 1024 : 1)
                                      : from.LastPort() == port);
                }
            }
            if (exchange.outcome == ".")
                QTRY_VERIFY_WITH_TIMEOUT(session.IsEnded(), kAnswerWaitMs);
        }
        QVERIFY(setrlimit(RLIMIT_FSIZE, &saved) == 0);
        std::signal(SIGXFSZ, savedHandler);
        QVERIFY(!client.HasPending() && !stranger.HasPending() && !samePort.HasPending());
        QCOMPARE(ports.FreeCount(), freePorts);
        QCOMPARE(Listing(), before);
        QCOMPARE(TestFiles::Read(m_root + "/up.bin"), run.stored ? file : "old");
        QCOMPARE(TestFiles::Read(m_outside + "/linked"), QByteArray("old"));
        QCOMPARE(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size(), descriptors);
    }
};

QTEST_GUILESS_MAIN(tst_CTftpSession)
#include "tst_CTftpSession.moc"
