// Feeds each input to the FTP session collection as the bytes one client
// sends on its control connection, then closes the client's end and runs the
// event loop until the session and its data transfers have ended.
//
// Connections are real loopback TCP ones, so the target refuses to run
// unless its network namespace has nothing but the loopback interface
// (scripts/fuzz.sh makes one): whatever port a PORT command names, nothing
// outside the run is reached. The client side accepts data connections on
// 127.0.0.1 port 1025 ("PORT 127,0,0,1,4,1"), sends a few bytes on each and
// reads what comes until the server closes it.
//
// An input whose first byte is odd runs in the extended mode (passive ports,
// restarts, EPRT, ...); nothing connects to a passive port, so such a data
// connection ends by its time-out, kept short here.
//
// The served folder is real and rebuilt for each input: a file, a
// subfolder, a hidden file, a link to a file outside and a dangling link that
// points outside. Beside the served folder lies a canary file. The run stops
// as a crash when the canary changes, when anything else appears beside the
// served folder, when the session or a transfer outlives its client, or when
// descriptors stay open after it has gone.

#include "fileserver/ftp/SFtpOptions.h"
#include "fileserver/ftp/cFtpSessions.h"
#include "fuzz/FuzzKit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace {

using namespace FuzzKit;

// How long a session and its transfers may take to end after the client closed.
constexpr qint64 kMaxEndMs = 5000;
constexpr int kDataConnectTimeoutMs = 500; // well inside kMaxEndMs
constexpr int kMaxLoopPasses = 200000;
// Wakes the event loop while waiting, so the bound above is checked.
constexpr int kWakeIntervalMs = 20;
constexpr quint16 kDataPort = 1025;
// Accepted per pass, so that a flood of data connections cannot stall the loop.
constexpr int kMaxAcceptsPerPass = 16;
constexpr char kStoredBytes[] = "bytes a client stores\n";

struct SFixture : SServedPlace {
    QString danglingTarget = outside.filePath(QStringLiteral("created"));
    int dataListener = -1;

    ~SFixture()
    {
        if (dataListener >= 0)
            close(dataListener);
    }
};

std::unique_ptr<SFixture> g_fixture;

int LoopbackListener(quint16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(fd, 64) != 0)
        FailWithErrno("cannot listen on loopback (is the loopback interface up?)");
    return fd;
}

// A connected pair over loopback: the client's end and the server's. The
// listener lives for this pair only, so that nothing an earlier input left in
// a listener's queue can stand in for the client's connection.
std::pair<int, int> ControlConnection()
{
    const int listener = LoopbackListener(0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client < 0 || connect(client, reinterpret_cast<sockaddr*>(&address), length) != 0)
        FailWithErrno("cannot connect the control connection");
    const int server = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (server < 0)
        FailWithErrno("cannot accept the control connection");
    close(listener);
    const int flags = O_NONBLOCK;
    if (fcntl(client, F_SETFL, flags) != 0)
        Fail("cannot make the client's end non-blocking");
    return {client, server};
}

void PopulateServed(const SFixture& fixture)
{
    QDir(fixture.served).removeRecursively();
    if (!QDir().mkpath(fixture.served + QStringLiteral("/sub")))
        Fail("cannot create the served folder");
    // More than two 256-byte blocks, so a retrieve takes several.
    WriteFile(fixture.served + QStringLiteral("/a.txt"), QByteArray(600, 'a'));
    WriteFile(fixture.served + QStringLiteral("/sub/b.txt"), "b");
    WriteFile(fixture.served + QStringLiteral("/.hidden"), "h");
    QFile::link(fixture.canary, fixture.served + QStringLiteral("/linkout"));
    QFile::link(fixture.danglingTarget, fixture.served + QStringLiteral("/lndangle"));
    QFile::link(fixture.outside.path(), fixture.served + QStringLiteral("/sub/updir"));
}

// Reads what is there; false once the peer has closed its end.
bool Drain(int fd)
{
    char sink[4096];
    for (int reads = 0; reads < 64; ++reads) {
        const ssize_t n = read(fd, sink, sizeof sink);
        if (n == 0)
            return false;
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
    }
    return true;
}

// The client's side of the data connections the server opens.
class CDataClient {
public:
    explicit CDataClient(int listener) : m_listener(listener) {}
    ~CDataClient()
    {
        for (const int fd : m_open)
            close(fd);
    }

    void Pass()
    {
        for (int i = 0; i < kMaxAcceptsPerPass; ++i) {
            const int fd = accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                break;
            // What a store receives; a retrieve or listing ignores it.
            (void)!write(fd, kStoredBytes, sizeof kStoredBytes - 1);
            shutdown(fd, SHUT_WR);
            m_open.push_back(fd);
        }
        std::erase_if(m_open, [](int fd) {
            if (Drain(fd))
                return false;
            close(fd);
            return true;
        });
    }

private:
    int m_listener;
    std::vector<int> m_open;
};

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
    // runs no input, and the data port can be had only once.
    if (g_fixture->dataListener < 0) {
        g_fixture->dataListener = LoopbackListener(kDataPort);
        g_fixture->descriptorBaseline = OpenDescriptors();
    }
    PopulateServed(*g_fixture);
    const auto [client, server] = ControlConnection();
    {
        SFtpOptions options;
        options.servedFolder = CServedFolder(g_fixture->served);
        options.serverTitle = QStringLiteral("fuzz");
        options.localDataPort = 0;
        options.extended = size > 0 && (data[0] & 1) != 0;
        options.dataConnectTimeoutMs = kDataConnectTimeoutMs;
        cFtpSessions sessions(options);
        sessions.Add(server);
        CDataClient dataClient(g_fixture->dataListener);

        QTimer wake;
        wake.start(kWakeIntervalMs);
        QElapsedTimer elapsed;
        elapsed.start();
        std::size_t written = 0;
        bool shut = false;
        for (int pass = 0; !shut || sessions.Count() > 0 || sessions.TransferCount() > 0; ++pass) {
            if (pass > kMaxLoopPasses || elapsed.elapsed() > kMaxEndMs)
                Fail("the session or a transfer did not end after its client closed");
            if (written < size) {
                const ssize_t n = write(client, data + written, size - written);
                if (n < 0 && errno != EAGAIN)
                    Fail("cannot write to the session");
                written += n > 0 ? static_cast<std::size_t>(n) : 0;
            }
            if (written == size && !shut) {
                shutdown(client, SHUT_WR);
                shut = true;
            }
            Drain(client);
            dataClient.Pass();
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
    }
    close(client);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The canary and the served folder.
    CheckOutside(g_fixture->outside, g_fixture->canary, 2);
    CheckNoDescriptorLeak(g_fixture->descriptorBaseline);
    return 0;
}
