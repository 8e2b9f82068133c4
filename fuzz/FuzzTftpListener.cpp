// Feeds each input to the TFTP listener as a burst of datagrams that reach
// its port at once, many more than it reads per wake-up. The input is a list
// of records, at most kMaxDatagrams:
//
//   record:  length (2 bytes, big-endian), datagram (length bytes)
//
// Record i is sent from client socket i % kClients, each on a port of its
// own, so that several clients start sessions and repeat requests. The
// listener runs on a real loopback port with a real served folder (one small
// file and a link to a file outside) and a short retry interval. Answers
// are read and dropped; the clients never acknowledge, so every session
// times out, except those that wait for the answer to their option
// acknowledgement with a retry interval of the client's choosing: after
// kGiveUpMs their clients refuse it with an error packet.
//
// Sockets are real loopback ones, so the target refuses to run unless its
// network namespace has nothing but the loopback interface (scripts/fuzz.sh
// makes one). The run stops as a crash when the listener leaves datagrams
// unread or a session lives past kMaxEndMs, when the canary beside the
// served folder changes or anything else appears there, or when descriptors
// stay open after the listener has gone.

#include "fileserver/tftp/CTftpDaemon.h"
#include "fileserver/tftp/CTftpPacket.h"
#include "fuzz/FuzzKit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using namespace FuzzKit;

constexpr int kMaxDatagrams = 256;
constexpr int kClients = 8;
// Fewer places than clients, so that a burst meets "Server busy" too.
constexpr int kMaxSessions = 4;
constexpr int kRetryIntervalMs = 2;
// An unanswered session lives 17 retry intervals; well past that, the
// clients refuse what still waits for them.
constexpr qint64 kGiveUpMs = 100;
constexpr qint64 kMaxEndMs = 3000;
constexpr int kMaxLoopPasses = 200000;
constexpr int kWakeIntervalMs = 5;
constexpr int kMaxReadsPerPass = 64;

struct SFixture : SServedPlace {
    std::array<int, kClients> clients{};

    ~SFixture()
    {
        for (const int fd : clients)
            if (fd > 0)
                close(fd);
    }
};

std::unique_ptr<SFixture> g_fixture;

sockaddr_in Loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int ClientSocket()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(0);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        Fail("cannot bind a client socket on loopback (is the loopback interface up?)");
    return fd;
}

// The bytes waiting in the receive queues of the sockets bound to port, from
// the system's socket tables (local address, then tx_queue:rx_queue in hex).
qint64 QueuedBytes(quint16 port)
{
    const QByteArray local = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    qint64 queued = 0;
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray& line : lines) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 4 && fields.at(1).endsWith(local))
                queued += fields.at(4).split(':').value(1).toLongLong(nullptr, 16);
        }
    }
    return queued;
}

void PopulateServed(const SFixture& fixture)
{
    QDir(fixture.served).removeRecursively();
    if (!QDir().mkpath(fixture.served))
        Fail("cannot prepare the served folder");
    WriteFile(fixture.served + QStringLiteral("/a.txt"), QByteArray(600, 'a'));
    QFile::link(fixture.canary, fixture.served + QStringLiteral("/linkout"));
}

// Reads and drops the answers a client got; notes the session ports they
// came from.
void DrainClient(int client, quint16 listenerPort, QSet<quint16>& sessionPorts)
{
    char sink[65536];
    for (int reads = 0; reads < kMaxReadsPerPass; ++reads) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (recvfrom(client, sink, sizeof sink, 0, reinterpret_cast<sockaddr*>(&from), &length) < 0)
            return;
        if (ntohs(from.sin_port) != listenerPort)
            sessionPorts.insert(ntohs(from.sin_port));
    }
}

void SendTo(int client, quint16 port, const QByteArray& datagram)
{
    const sockaddr_in to = Loopback(port);
    // A datagram the system drops (a full queue) is part of the burst.
    (void)sendto(client, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    (void)argc;
    StartUp((*argv)[0]);
    g_fixture = std::make_unique<SFixture>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Here, not at start-up: with -fork the parent process starts up too but
    // runs no input.
    if (g_fixture->clients[0] <= 0) {
        for (int& fd : g_fixture->clients)
            fd = ClientSocket();
        g_fixture->descriptorBaseline = OpenDescriptors();
    }
    PopulateServed(*g_fixture);
    {
        CTftpDaemon daemon({.servedFolder = CServedFolder(g_fixture->served),
                            .port = 0,
                            .retryIntervalMs = kRetryIntervalMs,
                            .firstSessionPort = 40000,
                            .lastSessionPort = 40015,
                            .maxSessions = kMaxSessions});
        daemon.StartService();
        const quint16 port = daemon.LocalPort();

        std::size_t at = 0;
        for (int i = 0; i < kMaxDatagrams && size - at >= 2; ++i) {
            const std::size_t length = std::min<std::size_t>(
                static_cast<std::size_t>(data[at] << 8 | data[at + 1]), size - at - 2);
            SendTo(g_fixture->clients[i % kClients], port,
                   QByteArray(reinterpret_cast<const char*>(data + at + 2),
                              static_cast<qsizetype>(length)));
            at += 2 + length;
        }

        std::array<QSet<quint16>, kClients> sessionPorts;
        QTimer wake;
        wake.start(kWakeIntervalMs);
        QElapsedTimer elapsed;
        elapsed.start();
        const QByteArray refusal = CTftpPacket::EncodeError(CTftpPacket::eteReadFailed, "given up");
        for (int pass = 0; QueuedBytes(port) > 0 || daemon.TftpSessionCount() > 0; ++pass) {
            if (pass > kMaxLoopPasses || elapsed.elapsed() > kMaxEndMs)
                Fail(QueuedBytes(port) > 0 ? "the listener left datagrams unread"
                                           : "a session outlived its retries");
            for (int c = 0; c < kClients; ++c)
                DrainClient(g_fixture->clients[c], port, sessionPorts[c]);
            // Past kGiveUpMs, whatever a session still sends is refused.
            if (elapsed.elapsed() > kGiveUpMs) {
                for (int c = 0; c < kClients; ++c) {
                    for (const quint16 sessionPort : sessionPorts[c])
                        SendTo(g_fixture->clients[c], sessionPort, refusal);
                    sessionPorts[c].clear();
                }
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QSet<quint16> late;
    for (const int client : g_fixture->clients)
        DrainClient(client, 0, late);
    // The canary and the served folder.
    CheckOutside(g_fixture->outside, g_fixture->canary, 2);
    // Sessions and the listener that are gone must have closed their sockets
    // and files: a few lazily opened descriptors of Qt's are allowed, a
    // steady growth is not.
    CheckNoDescriptorLeak(g_fixture->descriptorBaseline);
    return 0;
}
