#pragma once

// The FTP tests' peers over real loopback sockets: a session collection on a
// temporary served folder whose notifications are recorded, a client that
// speaks the dialogue, and a data port that never accepts.

#include "fileserver/ftp/FTcpListen.h"
#include "fileserver/ftp/cFtpSessions.h"
#include "tests/kit/TestFiles.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

inline constexpr int kWaitMs = 10000;
inline const QByteArray kTimedOut = "<timed out>";

// Lets events run until done() holds, false after timeoutMs. It wakes for
// each event instead of polling, so a transfer runs at full speed meanwhile.
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

#define WAIT_COMPARE(actual, expected)                                                             \
    do {                                                                                           \
        WaitUntil([&] { return (actual) == (expected); });                                         \
        QCOMPARE(actual, expected);                                                                \
    } while (false)

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

// A loopback port that never accepts: a filler connection takes its queue of
// one, so the system leaves further connection requests unanswered.
class CBlockedPort final {
public:
    CBlockedPort()
    {
        m_server.setListenBacklogSize(0);
        m_server.listen(QHostAddress::LocalHost, 0);
        m_server.pauseAccepting();
        m_filler.connectToHost(QHostAddress::LocalHost, m_server.serverPort());
        m_filler.waitForConnected(kWaitMs);
    }
    // The PORT argument: 127.0.0.1 and the port.
    QByteArray PortArgument() const
    {
        const quint16 port = m_server.serverPort();
        return "127,0,0,1," + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256);
    }

private:
    QTcpServer m_server;
    QTcpSocket m_filler;
};

// A temporary served folder and a session collection listening on
// 127.0.0.1, whose eight notifications land in events in the order raised.
class CFtpTestServer final {
public:
    explicit CFtpTestServer(SFtpOptions options = {})
    {
        options.servedFolder = CServedFolder(m_dir.path());
        options.serverTitle = QStringLiteral("Test Server 1.0");
        sessions = std::make_unique<cFtpSessions>(options);
        QObject::connect(&listen, &FTcpListen::OnNewConnection, sessions.get(), &cFtpSessions::Add);
        listen.Listen(0, QHostAddress::LocalHost);
        cFtpSessions* s = sessions.get();
        RECORD(s, cFtpSessions, OnNewFtpSession, events);
        RECORD(s, cFtpSessions, OnCloseFtpSession, events);
        RECORD(s, cFtpSessions, OnInitRetrive, events);
        RECORD(s, cFtpSessions, OnInitStore, events);
        RECORD(s, cFtpSessions, OnNewDataBlockSent, events);
        RECORD(s, cFtpSessions, OnTransferTerminate, events);
        RECORD(s, cFtpSessions, OnNewDataBlockRecv, events);
        RECORD(s, cFtpSessions, OnSessionStatusChange, events);
    }

    quint16 Port() const { return listen.LocalPort(); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir; // first: the collection serves it

public:
    std::unique_ptr<cFtpSessions> sessions;
    FTcpListen listen;
    QStringList events;
};

// Options of a collection whose data connections come from any local port.
inline SFtpOptions TestOptions(int dataConnectTimeoutMs = kFtpDataConnectTimeoutMs,
                               int idleTimeoutMs = kFtpIdleTimeoutMs)
{
    SFtpOptions options;
    options.localDataPort = 0;
    options.dataConnectTimeoutMs = dataConnectTimeoutMs;
    options.idleTimeoutMs = idleTimeoutMs;
    return options;
}

// One FTP client: a control connection and a listener for data connections.
class CFtpTestClient final {
public:
    explicit CFtpTestClient(quint16 port)
    {
        QObject::connect(&m_control, &QTcpSocket::readyRead, &m_control,
                         [this] { m_received += m_control.readAll(); });
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
    bool LogIn(bool readGreeting = true)
    {
        const quint16 port = m_data.serverPort();
        return (!readGreeting || Line().startsWith("220 "))
               && Command("PASS x") == "230 User logged in"
               && Command("PORT 127,9,9,9," + QByteArray::number(port / 256) + ','
                          + QByteArray::number(port % 256))
                      == "200 Port command successful";
    }

    // Waits for the server's data connection and takes it over. It is read
    // only when asked, so what the server gets ahead stays in the system's buffers.
    QTcpSocket* AcceptData()
    {
        if (!m_dataConnection && WaitUntil([this] { return m_data.hasPendingConnections(); })) {
            m_dataConnection.reset(m_data.nextPendingConnection());
            m_dataConnection->setReadBufferSize(64 * 1024);
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
    QTcpSocket m_control;
    QByteArray m_received;
    QTcpServer m_data;
    std::unique_ptr<QTcpSocket> m_dataConnection;
};
