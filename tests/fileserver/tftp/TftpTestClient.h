#pragma once

// A raw TFTP client for the component tests: a datagram socket on a loopback
// address, and packets written out byte by byte, independently of the
// server's own packet code.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

#include <optional>

namespace tftptest {

// How long a test waits for an answer that must come.
inline constexpr int kAnswerWaitMs = 10000;

inline QByteArray Word(quint16 value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value & 0xFF));
    return bytes;
}

inline QByteArray Request(quint8 opcode, const QByteArray& name, const QByteArray& mode = "octet")
{
    return Word(opcode) + name + '\0' + mode + '\0';
}

inline QByteArray Data(quint16 block, const QByteArray& payload)
{
    return Word(3) + Word(block) + payload;
}

inline QByteArray Ack(quint16 block)
{
    return Word(4) + Word(block);
}

inline QByteArray Error(quint16 code, const QByteArray& text)
{
    return Word(5) + Word(code) + text + '\0';
}

inline quint16 WordAt(const QByteArray& bytes, int index)
{
    return static_cast<quint16>((static_cast<quint8>(bytes.at(index)) << 8)
                                | static_cast<quint8>(bytes.at(index + 1)));
}

// The content a file of size bytes is given: no block repeats another.
inline QByteArray Pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 512) & 0xFF);
    return bytes;
}

inline bool WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The number of open file descriptors of this process.
inline int OpenDescriptorCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)
                                .size());
}

struct SReceived {
    QByteArray data;
    quint16 port = 0;
};

// What a whole read brought: the file, each block's size, the sending port.
struct STransfer {
    QByteArray content;
    QList<int> blockSizes;
    quint16 serverPort = 0;
    QString failure; // empty when the transfer completed
};

class CTftpTestClient final {
public:
    explicit CTftpTestClient(const QHostAddress& address = QHostAddress::LocalHost,
                             quint16 port = 0)
    {
        m_bound = m_socket.bind(address, port);
    }

    bool IsBound() const { return m_bound; }
    quint16 Port() const { return m_socket.localPort(); }

    void Send(quint16 port, const QByteArray& packet)
    {
        m_socket.writeDatagram(packet, QHostAddress::LocalHost, port);
    }

    // The next datagram; nothing when none came within timeoutMs. The
    // event loop runs meanwhile, so the server in this process answers.
    std::optional<SReceived> Next(int timeoutMs = kAnswerWaitMs)
    {
        if (!QTest::qWaitFor([this] { return m_socket.hasPendingDatagrams(); }, timeoutMs))
            return std::nullopt;
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        return SReceived{datagram.data(), static_cast<quint16>(datagram.senderPort())};
    }

    // Whether a datagram waits, after the events already posted have run.
    bool HasPending()
    {
        QCoreApplication::processEvents();
        return m_socket.hasPendingDatagrams();
    }

    // Reads a file whose first DATA block is on its way: acknowledges every
    // block until a short one. A block sent again (a retransmission) is
    // acknowledged again and not stored twice.
    STransfer ReadAll()
    {
        STransfer transfer;
        quint16 expected = 1;
        quint16 previous = 0;
        for (;;) {
            const std::optional<SReceived> packet = Next();
            if (!packet) {
                transfer.failure = QStringLiteral("no DATA for block %1").arg(expected);
                return transfer;
            }
            if (packet->data.size() < 4 || WordAt(packet->data, 0) != 3) {
                transfer.failure = QStringLiteral("not DATA: %1")
                                       .arg(QString::fromLatin1(packet->data.toHex(' ')));
                return transfer;
            }
            if (transfer.serverPort == 0)
                transfer.serverPort = packet->port;
            if (packet->port != transfer.serverPort) {
                transfer.failure = QStringLiteral("DATA from another port");
                return transfer;
            }
            const quint16 block = WordAt(packet->data, 2);
            const QByteArray payload = packet->data.mid(4);
            if (block == previous) {
                Send(packet->port, Ack(block));
                continue;
            }
            if (block != expected) {
                transfer.failure =
                    QStringLiteral("block %1 instead of %2").arg(block).arg(expected);
                return transfer;
            }
            transfer.content += payload;
            transfer.blockSizes.append(static_cast<int>(payload.size()));
            Send(packet->port, Ack(block));
            previous = block;
            if (payload.size() < 512)
                return transfer;
            // No file read whole here reaches block 65535; the wrap is tst_CTftpTransfer's.
            expected = static_cast<quint16>(expected + 1);
        }
    }

private:
    QUdpSocket m_socket;
    bool m_bound = false;
};

} // namespace tftptest
