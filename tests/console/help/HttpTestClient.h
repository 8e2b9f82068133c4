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
// given (no client tidies the path), and reads the response. The server runs
// on the test's thread, so the wait keeps the event loop running.
inline SHttpResponse
RawHttpRequest(quint16 port, const QByteArray& request, bool headRequest = false,
               const QHostAddress& address = QHostAddress(QHostAddress::LocalHost))
{
    constexpr int kTimeoutMs = 10000;
    SHttpResponse response;
    QTcpSocket socket;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(kTimeoutMs))
        return response;
    socket.write(request);

    QByteArray received;
    qsizetype headerEnd = -1;
    qint64 contentLength = -1;
    const auto complete = [&] {
        received += socket.readAll();
        if (headerEnd < 0) {
            headerEnd = received.indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return false;
            const QList<QByteArray> lines = received.left(headerEnd).split('\n');
            const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
            response.status = statusLine.value(1).toInt();
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    response.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                            lines[i].mid(colon + 1).trimmed());
            }
            contentLength = response.headers.value("content-length", "0").toLongLong();
        }
        if (headRequest)
            return true;
        return received.size() - (headerEnd + 4) >= contentLength;
    };
    if (!QTest::qWaitFor(complete, kTimeoutMs)) {
        response.status = 0;
        return response;
    }
    response.body = received.mid(headerEnd + 4);
    return response;
}

inline QByteArray RequestLine(const QByteArray& method, const QByteArray& path)
{
    return method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}
