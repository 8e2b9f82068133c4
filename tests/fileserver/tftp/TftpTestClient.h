#pragma once

#include "tests/kit/TestFiles.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest> // with all of QtCore
#include <algorithm>

namespace tftptest {

inline constexpr int kAnswerWaitMs = 10000;  // for an answer that must come
inline constexpr int kCalmIntervalMs = 3000; // no retransmission while a test answers

// Text with each '|' a zero byte: Z("blksize|8|").
inline const auto Z = [](const char* text) { return QByteArray(text).replace('|', '\0'); };
inline const auto Word = [](int n) { return QByteArray().append(char(n >> 8)).append(char(n)); };
inline const auto Request = [](int op, QByteArray name) { return Word(op) + name + Z("|octet|"); };
inline const auto Data = [](int block, QByteArray bytes) { return Word(3) + Word(block) + bytes; };
inline const auto Ack = [](int block) { return Word(4) + Word(block); };
inline const auto Error = [](int n, QByteArray text) { return Word(5) + Word(n) + text + '\0'; };
inline const auto Hex = [](const QByteArray& bytes) { return bytes.toHex(' '); };

// One packet of a script: An ACK, Dn DATA, En ERROR with code n, Rn a
// request, O the OACK with the options oack, #hex any bytes. DATA carries the
// file's block that n is when counted from lastBlock + 1, with 65535 followed
// by 1 (Dn@i: its block i; Dnx: a block of x), so that a block sent twice,
// left out or out of order shows.
inline QByteArray Packet(const QString& token, const QByteArray& file, qsizetype blockSize,
                         int lastBlock = 0, const QByteArray& oack = {})
{
    static const QRegularExpression form("^([ADER])(\\d+)(?:@(\\d+)|(x))?$");
    static const QByteArrayList texts{
        "File read error",         "File not found",
        "Access violation",        "Disk full or allocation exceeded.",
        "Illegal TFTP operation.", "Unknown transfer ID"};
    const QRegularExpressionMatch match = form.match(token);
    const int n = match.captured(2).toInt();
    const int index = match.hasCaptured(3) ? match.captured(3).toInt()
                                           : ((n - lastBlock - 1) % 65535 + 65535) % 65535;
    if (token == "O" || token.startsWith('#'))
        return token == "O" ? Word(6) + oack : QByteArray::fromHex(token.mid(1).toLatin1());
    switch (match.hasMatch() ? token.at(0).toLatin1() : '?') {
    case 'A': return Ack(n);
    case 'D':
        return Data(n, match.hasCaptured(4) ? QByteArray(blockSize, 'x')
                                            : file.mid(index * blockSize, blockSize));
    case 'E': return Error(n, texts.value(n, "no"));
    case 'R': return Request(n, "a");
    }
    return "bad token " + token.toLatin1();
}

// One exchange of a script: [from]input[*count][>answer;answer...][+|.]: the
// input count times, each time answered with all that is listed, in that
// order; + when the retry wait starts over, . when it has ended.
struct SExchange {
    QString from, input;
    int count = 1;
    QStringList answers;
    QString outcome;
};
inline QList<SExchange> Exchanges(const QString& script)
{
    static const QRegularExpression form("^([~^]?)([^*>+.]+)(?:\\*(\\d+))?(?:>([^+.]*))?([+.]?)$");
    QList<SExchange> exchanges;
    for (const QString& text : script.split(' ')) {
        const QRegularExpressionMatch part = form.match(text);
        exchanges.append({part.captured(1), part.hasMatch() ? part.captured(2) : "bad " + text,
                          std::max(1, part.captured(3).toInt()),
                          part.captured(4).split(';', Qt::SkipEmptyParts), part.captured(5)});
    }
    return exchanges;
}

class CTftpTestClient final {
public:
    explicit CTftpTestClient(const QHostAddress& address = QHostAddress::LocalHost,
                             quint16 port = 0)
    {
        m_socket.bind(address, port);
    }
    quint16 Port() const { return m_socket.localPort(); }
    quint16 LastPort() const { return m_lastPort; } // where the last answer came from
    void Send(quint16 port, const QByteArray& packet)
    {
        m_socket.writeDatagram(packet, QHostAddress::LocalHost, port);
    }
    // The next datagram in hex, "none" when none came in time. The event
    // loop runs meanwhile, so the server in this process answers.
    QByteArray Answer()
    {
        if (!QTest::qWaitFor([this] { return m_socket.hasPendingDatagrams(); }, kAnswerWaitMs))
            return "none";
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        m_lastPort = quint16(datagram.senderPort());
        return Hex(datagram.data());
    }
    bool HasPending()
    {
        QCoreApplication::processEvents();
        return m_socket.hasPendingDatagrams();
    }

private:
    QUdpSocket m_socket;
    quint16 m_lastPort = 0;
};
} // namespace tftptest
