#pragma once

#include <QHostAddress>
#include <QMap>
#include <QTcpSocket>
#include <QtTest>

// One HTTP response as it came over the wire; status 0: none complete in time.
struct SHttpResponse {
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// Sends a raw request over a connected socket, byte for byte (no
// client tidies the path), and reads the head, then as many bytes as it
// announces (none after a HEAD). The wait keeps the test's event loop running.
inline SHttpResponse RawHttpRequestOn(QTcpSocket& socket, const QByteArray& request,
                                      bool headRequest = false)
{
    SHttpResponse response;
    socket.write(request);
    QByteArray received;
    const auto complete = [&] {
        received += socket.readAll();
        const qsizetype headEnd = received.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return false;
        const QList<QByteArray> lines = received.left(headEnd).split('\n');
        response.status = lines.value(0).trimmed().split(' ').value(1).toInt();
        for (const QByteArray& line : lines.mid(1)) {
            if (const qsizetype colon = line.indexOf(':'); colon > 0)
                response.headers.insert(line.left(colon).trimmed().toLower(),
                                        line.mid(colon + 1).trimmed());
        }
        response.body = received.mid(headEnd + 4);
        return headRequest
               || response.body.size() >= response.headers.value("content-length").toLongLong();
    };
    return QTest::qWaitFor(complete, 10000) ? response : SHttpResponse{};
}

// The same over a fresh loopback connection.
inline SHttpResponse
RawHttpRequest(quint16 port, const QByteArray& request, bool headRequest = false,
               const QHostAddress& address = QHostAddress(QHostAddress::LocalHost))
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    return RawHttpRequestOn(socket, request, headRequest);
}

inline QByteArray RequestLine(const QByteArray& method, const QByteArray& path, quint16 port)
{
    return method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
           + "\r\nConnection: close\r\n\r\n";
}
