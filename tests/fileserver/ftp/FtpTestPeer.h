#pragma once

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

// Wakes for each event instead of polling, so a transfer runs at full speed meanwhile.
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

template <typename Sender, typename... Args>
void Record(Sender* sender, void (Sender::*signal)(Args...), const char* name, QStringList& events)
{
    QObject::connect(sender, signal, sender, [&events, name](Args... args) {
        const QStringList texts{QVariant::fromValue(std::decay_t<Args>(args)).toString()...};
        events << QStringLiteral("%1(%2)").arg(QLatin1String(name), texts.join(QLatin1Char(',')));
    });
}
#define RECORD(sender, Class, signal, events) Record(sender, &Class::signal, #signal, events)

inline QByteArray PortArgument(quint16 port, const QByteArray& address = "127,0,0,1")
{
    return "PORT " + address + ',' + QByteArray::number(port / 256) + ','
           + QByteArray::number(port % 256);
}

// A filler connection takes the queue of one, so the system leaves further
// connection requests unanswered.
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
    QByteArray Command() const { return PortArgument(m_server.serverPort()); }

private:
    QTcpServer m_server;
    QTcpSocket m_filler;
};

inline SFtpOptions TestOptions(int dataConnectTimeoutMs = kFtpDataConnectTimeoutMs,
                               int idleTimeoutMs = kFtpIdleTimeoutMs)
{
    SFtpOptions options;
    options.localDataPort = 0;
    options.dataConnectTimeoutMs = dataConnectTimeoutMs;
    options.idleTimeoutMs = idleTimeoutMs;
    return options;
}

class CFtpTestServer final {
public:
    explicit CFtpTestServer(SFtpOptions options = {},
                            const QHostAddress& address = QHostAddress::LocalHost)
    {
        options.servedFolder = CServedFolder(m_dir.path());
        options.serverTitle = QStringLiteral("Test Server 1.0");
        sessions = std::make_unique<cFtpSessions>(options);
        QObject::connect(&listen, &FTcpListen::OnNewConnection, sessions.get(), &cFtpSessions::Add);
        listen.Listen(0, address);
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

class CFtpTestClient final {
public:
    // Data connections are awaited on dataAddress only.
    explicit CFtpTestClient(quint16 port, const QHostAddress& address = QHostAddress::LocalHost,
                            const QHostAddress& dataAddress = QHostAddress::LocalHost)
        : m_host(address)
    {
        QObject::connect(&m_control, &QTcpSocket::readyRead, &m_control,
                         [this] { m_received += m_control.readAll(); });
        m_control.connectToHost(address, port);
        m_data.listen(dataAddress, 0);
    }
    quint16 DataListenPort() const { return m_data.serverPort(); }
    // Passive mode: sends PASV or EPSV and keeps the port its reply names;
    // false when the reply is not the expected one.
    bool AskPassive(const QByteArray& command)
    {
        const QByteArray reply = Command(command);
        const QByteArray expected = command == "PASV" ? "227 " : "229 ";
        if (!reply.startsWith(expected))
            return false;
        const QByteArray inner =
            reply.mid(reply.indexOf('(') + 1).chopped(reply.endsWith('.') ? 2 : 1);
        const QByteArrayList fields = inner.split(command == "PASV" ? ',' : '|');
        passivePort = command == "PASV"
                          ? quint16(fields.value(4).toUInt() * 256 + fields.value(5).toUInt())
                          : quint16(fields.value(3).toUInt());
        return passivePort != 0;
    }
    // Connects a data connection to the passive port from source.
    QTcpSocket* ConnectPassive(const QHostAddress& source = {})
    {
        m_dataConnection = std::make_unique<QTcpSocket>();
        if (!source.isNull())
            m_dataConnection->bind(source);
        m_dataConnection->connectToHost(m_host, passivePort);
        m_dataConnection->waitForConnected(kWaitMs);
        return m_dataConnection.get();
    }
    // Sends bytes on the data connection and closes it, as a storing client does.
    void SendData(const QByteArray& bytes)
    {
        if (QTcpSocket* data = AcceptData()) {
            data->write(bytes);
            data->disconnectFromHost();
            WaitUntil([data] { return data->state() == QAbstractSocket::UnconnectedState; });
        }
        m_dataConnection.reset();
    }
    quint16 passivePort = 0;
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
    QByteArray Command(const QByteArray& line)
    {
        Send(line + "\r\n");
        return Line();
    }
    // PORT names an address where nothing listens: data connections must go
    // to the control connection's peer whatever PORT says.
    bool LogIn(bool readGreeting = true)
    {
        return (!readGreeting || Line().startsWith("220 "))
               && Command("PASS x") == "230 User logged in"
               && Command(PortArgument(m_data.serverPort(), "127,9,9,9"))
                      == "200 Port command successful";
    }
    // Read only when asked, so what the server gets ahead stays in the system's buffers.
    QTcpSocket* AcceptData()
    {
        if (!m_dataConnection && WaitUntil([this] { return m_data.hasPendingConnections(); })) {
            m_dataConnection.reset(m_data.nextPendingConnection());
            m_dataConnection->setReadBufferSize(64 * 1024);
        }
        return m_dataConnection.get();
    }
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
    void RefuseData() { m_data.close(); }
    bool WaitClosed()
    {
        return WaitUntil([this] { return m_control.state() == QAbstractSocket::UnconnectedState; });
    }

private:
    QHostAddress m_host;
    QTcpSocket m_control;
    QByteArray m_received;
    QTcpServer m_data;
    std::unique_ptr<QTcpSocket> m_dataConnection;
};
