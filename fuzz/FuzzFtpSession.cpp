// Feeds each input to the FTP session collection as the bytes one client
// sends on its control connection, then closes the client's end and runs the
// event loop until the session and its data transfers have ended.
//
// The control connection is one end of a local socket pair, so no network
// is needed; data connections have nowhere to go and fail. The served folder
// is real and rebuilt for each input: a file, a subfolder, a hidden file, a
// link to a file outside and a dangling link that points outside. Beside the
// served folder lies a canary file. The run stops as a crash when the canary
// changes, when anything else appears beside the served folder, or when the
// session outlives its client.

#include "fileserver/ftp/SFtpOptions.h"
#include "fileserver/ftp/cFtpSessions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// How long a session may take to end after its client has closed.
constexpr qint64 kMaxEndMs = 5000;
constexpr int kMaxLoopPasses = 200000;
// Wakes the event loop while waiting, so the bound above is checked.
constexpr int kWakeIntervalMs = 20;
constexpr char kCanaryText[] = "outside the served folder: never written\n";

struct SFixture {
    QTemporaryDir outside;
    QString served;
    QString canary;
    QString danglingTarget;
};

SFixture* g_fixture = nullptr;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_ftp_session: %s\n", what);
    std::abort();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        Fail("cannot prepare the served folder");
}

void PopulateServed(const SFixture& fixture)
{
    QDir(fixture.served).removeRecursively();
    if (!QDir().mkpath(fixture.served + QStringLiteral("/sub")))
        Fail("cannot create the served folder");
    // More than two 256-byte blocks, so a retrieve would take several.
    WriteFile(fixture.served + QStringLiteral("/a.txt"), QByteArray(600, 'a'));
    WriteFile(fixture.served + QStringLiteral("/sub/b.txt"), "b");
    WriteFile(fixture.served + QStringLiteral("/.hidden"), "h");
    QFile::link(fixture.canary, fixture.served + QStringLiteral("/linkout"));
    QFile::link(fixture.danglingTarget, fixture.served + QStringLiteral("/lndangle"));
    QFile::link(fixture.outside.path(), fixture.served + QStringLiteral("/sub/updir"));
}

// SECURITY: nothing a client sends may change what lies outside the served folder.
void CheckOutside(const SFixture& fixture)
{
    QFile canary(fixture.canary);
    if (!canary.open(QIODevice::ReadOnly) || canary.readAll() != kCanaryText)
        Fail("the canary file outside the served folder changed");
    const QStringList entries =
        QDir(fixture.outside.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (entries.size() != 2)
        Fail("a file appeared outside the served folder");
}

void Drain(int fd)
{
    char sink[4096];
    for (int reads = 0; reads < 1024 && read(fd, sink, sizeof sink) > 0; ++reads) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    static QCoreApplication app(qtArgc, qtArgv);
    g_fixture = new SFixture;
    if (!g_fixture->outside.isValid())
        Fail("no temporary folder");
    g_fixture->served = g_fixture->outside.filePath(QStringLiteral("served"));
    g_fixture->canary = g_fixture->outside.filePath(QStringLiteral("canary"));
    g_fixture->danglingTarget = g_fixture->outside.filePath(QStringLiteral("created"));
    WriteFile(g_fixture->canary, kCanaryText);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    PopulateServed(*g_fixture);
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
        Fail("no socket pair");
    const int client = fds[1];
    {
        SFtpOptions options;
        options.servedFolder = CServedFolder(g_fixture->served);
        options.serverTitle = QStringLiteral("fuzz");
        options.localDataPort = 0;
        cFtpSessions sessions(options);
        sessions.Add(fds[0]);

        QTimer wake;
        wake.start(kWakeIntervalMs);
        QElapsedTimer elapsed;
        elapsed.start();
        std::size_t written = 0;
        bool shut = false;
        for (int pass = 0; !shut || sessions.Count() > 0 || sessions.TransferCount() > 0; ++pass) {
            if (pass > kMaxLoopPasses || elapsed.elapsed() > kMaxEndMs)
                Fail("the session did not end after its client closed");
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
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
    }
    close(client);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CheckOutside(*g_fixture);
    return 0;
}
