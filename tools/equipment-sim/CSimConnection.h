#pragma once

#include "tools/equipment-sim/CSimHttpRequest.h"
#include "tools/equipment-sim/CSimPages.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QTcpSocket;

// One connection to the simulated equipment: reads a request, prints its
// request line, answers as the options say, and closes, or with --keep-alive
// waits for the next request.
class CSimConnection final : public QObject {
    Q_OBJECT

public:
    using Printer = std::function<void(const QString&)>;

    CSimConnection(std::unique_ptr<QTcpSocket> socket, const CSimPages& pages,
                   const SSimOptions& options, Printer print, QObject* parent = nullptr);
    ~CSimConnection() override;

signals:
    void OnEnded();

private:
    void OnReadyRead();
    void Send(const QByteArray& reply);
    void SendNextPiece();
    void SendEndless();
    // The reply has gone out: the connection closes or takes the next request.
    void Replied();

    std::unique_ptr<QTcpSocket> m_socket;
    const CSimPages& m_pages;
    const SSimOptions& m_options;
    Printer m_print;
    CSimHttpRequest m_request;
    QByteArray m_pending; // what --split has still to send
    QTimer m_pause;
    bool m_answered = false;
    qint64 m_endlessSent = -1; // bytes of an endless reply; -1: none
};
