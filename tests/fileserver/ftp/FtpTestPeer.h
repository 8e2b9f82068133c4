#pragma once

// Helpers of every FTP test: waiting on the event loop, files, a served folder
// with a listening session collection, a recorder of notifications, and a
// client that speaks the dialogue over real loopback sockets.

#include "fileserver/ftp/FTcpListen.h"
#include "fileserver/ftp/cFtpSessions.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

inline constexpr int kWaitMs = 10000;
inline const QByteArray kTimedOut = "<timed out>";

// Lets events run until done() holds, false after timeoutMs. It wakes for
// each event instead of polling, so an answer counts the moment it arrives.
template <typename Predicate> bool WaitUntil(Predicate done, int timeoutMs = kWaitMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // ends the last wait at the deadline
    wake.start(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// QCOMPARE once the two are equal, or after kWaitMs.
#define WAIT_COMPARE(actual, expected)                                                             \
    do {                                                                                           \
        WaitUntil([&] { return (actual) == (expected); });                                         \
        QCOMPARE(actual, expected);                                                                \
    } while (false)

// Writes a file, making the folders on the way.
inline void WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Bytes of a counting pattern, so a shifted or lost block shows.
inline QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// Records each emission of a signal into events as "Name(arg,arg,...)".
template <typename Sender, typename... Args>
void Record(Sender* sender, void (Sender::*signal)(Args...), const char* name, QStringList& events)
{
    QObject::connect(sender, signal, sender, [&events, name](Args... args) {
        const QStringList texts{QVariant::fromValue(std::decay_t<Args>(args)).toString()...};
        events << QStringLiteral("%1(%2)").arg(QLatin1String(name), texts.join(QLatin1Char(',')));
    });
}
#define RECORD(sender, Class, signal, events) Record(sender, &Class::signal, #signal, events)

// Descriptors open in this process.
inline int OpenDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size());
}

// A loopback port that never accepts: its queue of one is taken by a filler
// connection, so the system drops further connection requests unanswered.
class CBlockedPort final {
public:
    CBlockedPort()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        const auto* generic = reinterpret_cast<sockaddr*>(&address);
        if (::bind(m_fd, generic, length) == 0 && ::listen(m_fd, 0) == 0
            && ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
        m_filler.connectToHost(QHostAddress::LocalHost, m_port);
        m_filler.waitForConnected(kWaitMs);
    }
    ~CBlockedPort() { ::close(m_fd); }
    CBlockedPort(const CBlockedPort&) = delete;
    CBlockedPort& operator=(const CBlockedPort&) = delete;

    // The PORT argument's port fields.
    QByteArray PortFields() const
    {
        return QByteArray::number(m_port / 256) + ',' + QByteArray::number(m_port % 256);
    }

private:
    int m_fd = -1;
    quint16 m_port = 0;
    QTcpSocket m_filler;
};

// A temporary served folder and a session collection listening on
// 127.0.0.1, whose eight notifications land in events in the order raised.
class CFtpTestServer final {
public:
    explicit CFtpTestServer(quint16 localDataPort = 0,
                            int dataConnectTimeoutMs = kFtpDataConnectTimeoutMs,
                            int idleTimeoutMs = kFtpIdleTimeoutMs)
        : sessions(SFtpOptions{CServedFolder(m_dir.path()), QStringLiteral("Test Server 1.0"),
                               localDataPort, dataConnectTimeoutMs, idleTimeoutMs})
    {
        QObject::connect(&listen, &FTcpListen::OnNewConnection, &sessions, &cFtpSessions::Add);
        listen.Listen(0, QHostAddress::LocalHost);
        RECORD(&sessions, cFtpSessions, OnNewFtpSession, events);
        RECORD(&sessions, cFtpSessions, OnCloseFtpSession, events);
        RECORD(&sessions, cFtpSessions, OnInitRetrive, events);
        RECORD(&sessions, cFtpSessions, OnInitStore, events);
        RECORD(&sessions, cFtpSessions, OnNewDataBlockSent, events);
        RECORD(&sessions, cFtpSessions, OnTransferTerminate, events);
        RECORD(&sessions, cFtpSessions, OnNewDataBlockRecv, events);
        RECORD(&sessions, cFtpSessions, OnSessionStatusChange, events);
    }

    quint16 Port() const { return listen.LocalPort(); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir; // first: the collection serves it

public:
    cFtpSessions sessions;
    FTcpListen listen;
    QStringList events;
};

// One FTP client: a control connection and a listener for data connections.
class CFtpTestClient final {
public:
    explicit CFtpTestClient(quint16 port)
    {
        QObject::connect(&m_control, &QTcpSocket::readyRead, &m_control,
                         [this] { m_received += m_control.readAll(); });
        // Commands sent back to back leave at once.
        QObject::connect(&m_control, &QTcpSocket::connected, &m_control,
                         [this] { m_control.setSocketOption(QAbstractSocket::LowDelayOption, 1); });
        m_control.connectToHost(QHostAddress::LocalHost, port);
        m_data.listen(QHostAddress::LocalHost, 0);
    }

    // The next reply line without its CR LF, or kTimedOut.
    QByteArray Line(int timeoutMs = kWaitMs)
    {
        if (!WaitUntil([this] { return m_received.contains("\r\n"); }, timeoutMs))
            return kTimedOut;
        const qsizetype end = m_received.indexOf("\r\n");
        const QByteArray line = m_received.left(end);
        m_received.remove(0, end + 2);
        return line;
    }

    void Send(const QByteArray& bytes) { m_control.write(bytes); }

    // Sends a command line and returns the first reply line.
    QByteArray Command(const QByteArray& line)
    {
        Send(line + "\r\n");
        return Line();
    }

    // Reads the greeting, logs in and sends PORT for the data listener. The
    // address in PORT is one where nothing listens: data connections must go
    // to the control connection's peer whatever PORT says.
    bool LogIn()
    {
        const quint16 port = m_data.serverPort();
        return Line().startsWith("220 ") && Command("USER test") == "331 Password required for test"
               && Command("PASS x") == "230 User logged in"
               && Command("PORT 127,9,9,9," + QByteArray::number(port / 256) + ','
                          + QByteArray::number(port % 256))
                      == "200 Port command successful";
    }

    // Waits for the server's data connection and takes it over.
    QTcpSocket* AcceptData()
    {
        if (!m_dataConnection && WaitUntil([this] { return m_data.hasPendingConnections(); })) {
            m_dataConnection.reset(m_data.nextPendingConnection());
            // Read only when asked, so that what the server gets ahead of the
            // client stays within the system's socket buffers (a few MiB).
            m_dataConnection->setReadBufferSize(kDataReadAhead);
        }
        return m_dataConnection.get();
    }

    // Everything the server sends on its data connection, until it closes it.
    QByteArray ReceiveData()
    {
        QTcpSocket* data = AcceptData();
        if (!data)
            return kTimedOut;
        data->setReadBufferSize(0);
        QByteArray bytes;
        const bool ended = WaitUntil([&bytes, data] {
            bytes += data->readAll();
            return data->state() == QAbstractSocket::UnconnectedState;
        });
        bytes += data->readAll();
        m_dataConnection.reset();
        return ended ? bytes : kTimedOut;
    }

    // Sends bytes on the data connection and closes it.
    bool SendData(const QByteArray& bytes)
    {
        QTcpSocket* data = AcceptData();
        if (!data)
            return false;
        data->write(bytes);
        data->disconnectFromHost();
        const bool closed =
            WaitUntil([data] { return data->state() == QAbstractSocket::UnconnectedState; });
        m_dataConnection.reset();
        return closed;
    }

    // Stops accepting data connections: the server's next one is refused.
    void RefuseData() { m_data.close(); }

    bool WaitClosed()
    {
        return WaitUntil([this] { return m_control.state() == QAbstractSocket::UnconnectedState; });
    }

private:
    static constexpr qint64 kDataReadAhead = 64 * 1024;

    QTcpSocket m_control;
    QByteArray m_received;
    QTcpServer m_data;
    std::unique_ptr<QTcpSocket> m_dataConnection;
};
