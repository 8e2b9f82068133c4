#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class QTcpServer;

// A listening socket. Each accepted connection is announced by Accept; the
// handler reads Handle at once and gives it to a CTcpSocket (SetHandle).
// A connection whose handle nobody read during Accept is closed.
class CTcpDaemon final : public QObject {
    Q_OBJECT

public:
    explicit CTcpDaemon(QObject* parent = nullptr);
    ~CTcpDaemon() override;

    // Starts listening on the port (0: the system chooses, see LocalPort).
    // A failure arrives as Error from the event loop. Listening again while
    // listening changes nothing.
    void Listen(quint16 port, const QHostAddress& address = QHostAddress::Any);

    // Stops listening; accepted connections live on in their sockets.
    void Close();

    bool IsListening() const;
    quint16 LocalPort() const;

    // The connection just accepted; reading it hands it over to the reader.
    qintptr Handle();

signals:
    void Accept();
    void Error(int number, const QString& description);

private:
    class CServer;
    void OnIncoming(qintptr handle);

    std::unique_ptr<CServer> m_server;
    qintptr m_handle = -1;
    bool m_handleTaken = false;
};
