#include "platform/sockets/CTcpDaemon.h"
#include "platform/sockets/CTcpSocket.h"
#include "platform/sockets/MSocketError.h"
#include "tests/kit/TestFiles.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");
constexpr int kLarge = int(2 * CTcpSocket::kSendHighWater);

// A port on loopback where nothing listens: bound by a server that is then closed.
quint16 ClosedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// A CTcpSocket, its events in order ("state N" and error numbers), and a
// Qt socket on loopback that gathers what arrives once Connect has run.
struct SLoopbackPair {
    QTcpServer server;
    QTcpServer holder; // holds a port, so that it is taken
    CTcpSocket socket;
    QStringList events;
    std::unique_ptr<QTcpSocket> peer;
    QByteArray received;

    SLoopbackPair()
    {
        server.listen(QHostAddress::LocalHost, 0);
        holder.listen(QHostAddress::AnyIPv4, 0);
        QObject::connect(&socket, &CTcpSocket::StateChanged, &socket,
                         [this] { events << QStringLiteral("state %1").arg(socket.State()); });
        QObject::connect(&socket, &CTcpSocket::Error, &socket,
                         [this](int number) { events << QString::number(number); });
    }

    bool Connect()
    {
        socket.Connect(kLoopback, server.serverPort());
        if (!QTest::qWaitFor(
                [this] { return !events.isEmpty() && server.hasPendingConnections(); }))
            return false;
        peer.reset(server.nextPendingConnection());
        QObject::connect(peer.get(), &QTcpSocket::readyRead, peer.get(),
                         [this] { received += peer->readAll(); });
        return events == QStringList{"state 2"};
    }
};

} // namespace

class tst_CTcpSocket final : public QObject {
    Q_OBJECT

private slots:
    // Errors come from the event loop, never from inside the call.
    void connectOutcomes_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("send before a connection, then refused")
            << "refused" << QStringList{"10057", "10061", "state 0"};
        QTest::newRow("free local port: used") << "free" << QStringList{"state 2"};
        QTest::newRow("taken local port, required") << "taken" << QStringList{"10048", "state 0"};
        QTest::newRow("taken local port, preferred: another one")
            << "preferred" << QStringList{"state 2"};
    }
    void connectOutcomes()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, events);
        SLoopbackPair pair;
        const quint16 wished = how == "free" ? ClosedPort() : pair.holder.serverPort();
        if (how == "refused") {
            pair.socket.Send("x");
            pair.socket.Connect(kLoopback, ClosedPort());
        } else {
            pair.socket.Connect(kLoopback, pair.server.serverPort(), wished,
                                how == "preferred" ? CTcpSocket::ELocalPort::Preferred
                                                   : CTcpSocket::ELocalPort::Required);
        }
        QVERIFY(pair.events.isEmpty());
        QTRY_COMPARE(pair.events, events);
        if (how != "refused" && how != "taken")
            QCOMPARE(pair.socket.LocalPort() == wished, how == "free");
    }

    // A sender that sends its next piece from SendDone, as a retrieve does,
    // then closes: one SendDone per piece, never from inside Send, and the
    // peer gets every byte in order, also what was still queued at Close.
    void sendDoneAsksForTheNextPiece_data()
    {
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<bool>("direct"); // confirmed by the handler, not the signal
        const int many = int(3 * CTcpSocket::kSendHighWater / 256 + 1);
        QTest::newRow("one piece") << 256 << 1 << false;
        QTest::newRow("small pieces beyond the high-water mark") << 256 << many << false;
        QTest::newRow("pieces larger than the high-water mark") << kLarge << 3 << false;
        QTest::newRow("small pieces, each confirmed by a direct call") << 256 << many << true;
    }
    void sendDoneAsksForTheNextPiece()
    {
        QFETCH(int, pieceSize);
        QFETCH(int, pieces);
        QFETCH(bool, direct);
        SLoopbackPair pair;
        QVERIFY(pair.Connect());
        CTcpSocket& socket = pair.socket;
        const QByteArray expected = TestFiles::Pattern(qint64(pieceSize) * pieces);
        int sent = 0;
        int confirmed = 0;
        const auto sendNext = [&] {
            socket.Send(expected.mid(qint64(sent++) * pieceSize, pieceSize));
        };
        const auto onDone = [&] {
            ++confirmed;
            if (sent < pieces)
                sendNext();
            else
                socket.Close();
        };
        QSignalSpy signalled(&socket, &CTcpSocket::SendDone);
        if (direct)
            socket.SetSendDoneHandler(onDone);
        else
            connect(&socket, &CTcpSocket::SendDone, this, onDone);
        sendNext();
        QCOMPARE(confirmed, 0);
        QCOMPARE(socket.PendingBytes(), qint64(pieceSize));
        QTRY_COMPARE_WITH_TIMEOUT(pair.events, (QStringList{"state 2", "state 0"}), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(pair.received.size(), expected.size(), 10000);
        QCOMPARE(pair.received, expected);
        QCOMPARE(confirmed, pieces);
        QCOMPARE(signalled.count(), direct ? 0 : pieces);
    }

    // Bytes and file ranges reach the peer in order, the ranges by the
    // system's file call, and a second Close does not cut short what is
    // queued; a file cut short under its range ends the connection with
    // Error 10000. (Ranges closed from SendDone: FTcpDataTransfer's tables.)
    void queuedBytesAndRangesOutliveClose_data()
    {
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("closed twice at once") << false;
        QTest::newRow("file cut short under its range") << true;
    }
    void queuedBytesAndRangesOutliveClose()
    {
        QFETCH(bool, cutShort);
        QTemporaryDir folder;
        const QByteArray content = TestFiles::Pattern(kLarge);
        QVERIFY(TestFiles::Write(folder.filePath("f"), content));
        auto file = std::make_shared<QFile>(folder.filePath("f"));
        QVERIFY(file->open(QIODevice::ReadOnly));
        SLoopbackPair pair;
        QVERIFY(pair.Connect());
        CTcpSocket& socket = pair.socket;
        QVERIFY(!socket.NoDelay()); // the Boolean option reaches the system's socket
        socket.SetNoDelay(true);
        QVERIFY(socket.NoDelay());
        socket.Send("head");
        socket.SendFileRange(file, 0, 256);
        socket.SendFileRange(file, 256, kLarge - 256);
        socket.Send(content.left(kLarge / 2));
        socket.SendFileRange(file, 100, 10);
        const QByteArray expected =
            "head" + content + content.left(kLarge / 2) + content.mid(100, 10);
        QCOMPARE(socket.PendingBytes(), qint64(expected.size()));
        if (cutShort) {
            QVERIFY(QFile::resize(folder.filePath("f"), 0));
            QTRY_COMPARE(pair.events, (QStringList{"state 2", "10000", "state 0"}));
            return;
        }
        socket.Close();
        socket.Close();
        QTRY_COMPARE_WITH_TIMEOUT(pair.received.size(), expected.size(), 10000);
        QCOMPARE(pair.received, expected);
        QTRY_COMPARE(pair.events, (QStringList{"state 2", "state 0"}));
    }

    // Accepted connections are exercised by every FTP session test; here the
    // listener closes a connection nobody takes, and a taken port gives 10048.
    void listenerClosesUnreadHandleAndRefusesTakenPort()
    {
        CTcpDaemon daemon;
        daemon.Listen(0, QHostAddress::LocalHost);
        QTcpSocket unread;
        QSignalSpy gone(&unread, &QTcpSocket::disconnected);
        unread.connectToHost(QHostAddress::LocalHost, daemon.LocalPort());
        QTRY_COMPARE(gone.count(), 1);
        SLoopbackPair pair;
        CTcpDaemon refused;
        QSignalSpy errors(&refused, &CTcpDaemon::Error);
        refused.Listen(pair.holder.serverPort());
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), kSockAddressInUse);
        QVERIFY(!refused.IsListening());
    }
};

QTEST_GUILESS_MAIN(tst_CTcpSocket)
#include "tst_CTcpSocket.moc"
