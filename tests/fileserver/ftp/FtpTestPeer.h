#pragma once

// Test helpers for the FTP classes: a served folder with a listening
// collection, and a client that speaks the dialogue over real loopback
// sockets. Everything runs on the test's own event loop, so every wait
// lets events run (QTest::qWaitFor) instead of blocking.

#include "fileserver/ftp/FTcpListen.h"
#include "fileserver/ftp/cFtpSessions.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

inline constexpr int kWaitMs = 10000;
inline const QByteArray kTimedOut = "<no reply>";
inline const QString kTestTitle = QStringLiteral("Test Server 1.0");

// A temporary served folder and a collection listening on 127.0.0.1.
class CFtpTestServer final {
public:
    explicit CFtpTestServer(quint16 localDataPort = 0)
        : sessions(SFtpOptions{m_dir.path(), kTestTitle, localDataPort})
    {
        QObject::connect(&listen, &FTcpListen::NewConnection, &sessions, &cFtpSessions::Add);
        listen.Listen(0, QHostAddress::LocalHost);
    }

    quint16 Port() const { return listen.LocalPort(); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // Writes a file of the served folder (folders on the way are made).
    void Write(const QString& name, const QByteArray& content) const
    {
        QDir(m_dir.path()).mkpath(QFileInfo(Path(name)).path());
        QFile file(Path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    }

    QByteArray Read(const QString& name) const
    {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private:
    QTemporaryDir m_dir; // first: the collection serves it

public:
    cFtpSessions sessions;
    FTcpListen listen;
};

// Bytes made of a counting pattern, so a shifted or lost block shows.
inline QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
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
        if (!QTest::qWaitFor([this] { return m_received.contains("\r\n"); }, timeoutMs))
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

    // Reads the greeting and logs in.
    bool LogIn()
    {
        return Line().startsWith("220 ") && Command("USER test") == "331 Password required for test"
               && Command("PASS x") == "230 User logged in";
    }

    // Sends PORT for the client's data listener. The address in it is one
    // where nothing listens: data connections must go to the control
    // connection's peer whatever PORT says.
    bool Port()
    {
        const quint16 port = m_data.serverPort();
        return Command("PORT 127,9,9,9," + QByteArray::number(port / 256) + ','
                       + QByteArray::number(port % 256))
               == "200 Port command successful";
    }

    // Waits for the server's data connection and takes it over.
    QTcpSocket* AcceptData()
    {
        if (!m_dataConnection
            && QTest::qWaitFor([this] { return m_data.hasPendingConnections(); }, kWaitMs))
            m_dataConnection.reset(m_data.nextPendingConnection());
        return m_dataConnection.get();
    }

    // Everything the server sends on its data connection, until it closes it.
    QByteArray ReceiveData()
    {
        QTcpSocket* data = AcceptData();
        if (!data)
            return kTimedOut;
        QByteArray bytes;
        const bool ended = QTest::qWaitFor(
            [&bytes, data] {
                bytes += data->readAll();
                return data->state() == QAbstractSocket::UnconnectedState;
            },
            kWaitMs);
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
        const bool closed = QTest::qWaitFor(
            [data] { return data->state() == QAbstractSocket::UnconnectedState; }, kWaitMs);
        m_dataConnection.reset();
        return closed;
    }

    // Stops accepting data connections: the server's next one is refused.
    void RefuseData() { m_data.close(); }

    QTcpSocket& Control() { return m_control; }
    quint16 DataListenPort() const { return m_data.serverPort(); }

    bool WaitClosed()
    {
        return QTest::qWaitFor(
            [this] { return m_control.state() == QAbstractSocket::UnconnectedState; }, kWaitMs);
    }

private:
    QTcpSocket m_control;
    QByteArray m_received;
    QTcpServer m_data;
    std::unique_ptr<QTcpSocket> m_dataConnection;
};
