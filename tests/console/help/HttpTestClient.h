#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QTcpSocket>
#include <QtTest>

// One HTTP response as it came over the wire.
struct SHttpResponse {
    int status = 0;                       // 0: no complete response in time
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// Sends one raw request over a fresh loopback connection, byte for byte as
// given (no client tidies the path), and reads the response: its head, then
// as many bytes as it announces (none after a HEAD). The server runs on the
// test's thread, so the wait keeps the event loop running.
inline SHttpResponse
RawHttpRequest(quint16 port, const QByteArray& request, bool headRequest = false,
               const QHostAddress& address = QHostAddress(QHostAddress::LocalHost))
{
    SHttpResponse response;
    QTcpSocket socket;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(10000))
        return response;
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
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                response.headers.insert(line.left(colon).trimmed().toLower(),
                                        line.mid(colon + 1).trimmed());
        }
        response.body = received.mid(headEnd + 4);
        return headRequest
               || response.body.size() >= response.headers.value("content-length").toLongLong();
    };
    if (!QTest::qWaitFor(complete, 10000))
        return {};
    return response;
}

inline QByteArray RequestLine(const QByteArray& method, const QByteArray& path)
{
    return method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}
