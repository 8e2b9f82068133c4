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

// The socket's events in order: "state N" and error numbers.
void Record(CTcpSocket& socket, QStringList& events)
{
    QObject::connect(&socket, &CTcpSocket::StateChanged, &socket, [&socket, &events] {
        events << QStringLiteral("state %1").arg(socket.State());
    });
    QObject::connect(&socket, &CTcpSocket::Error, &socket,
                     [&events](int number) { events << QString::number(number); });
}

// A CTcpSocket connected to a Qt socket on loopback that gathers what arrives.
struct SLoopbackPair {
    QTcpServer server;
    CTcpSocket socket;
    QStringList events;
    std::unique_ptr<QTcpSocket> peer;
    QByteArray received;

    bool Connect()
    {
        Record(socket, events);
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
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
    // Sending before a connection gives 10057 from the event loop; a refused
    // connection gives 10061, then its end.
    void notConnectedGives10057AndRefusedGives10061ThenClosed()
    {
        CTcpSocket socket;
        QStringList events;
        Record(socket, events);
        socket.Send("x");
        QVERIFY(events.isEmpty());
        socket.Connect(kLoopback, ClosedPort());
        QTRY_COMPARE(events, (QStringList{"10057", "10061", "state 0"}));
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
    // system's file call; what is queued at Close is still delivered, and a
    // second Close does not cut it short. A file cut short under its range
    // ends the connection with Error 10000.
    void fileRangesAndClose_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("closed from SendDone") << "on SendDone";
        QTest::newRow("bytes after the ranges, closed twice at once") << "at once";
        QTest::newRow("file cut short under its range") << "cut short";
    }
    void fileRangesAndClose()
    {
        QFETCH(QString, how);
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
        QCOMPARE(socket.RemoteHost(), kLoopback);

        socket.Send("head");
        socket.SendFileRange(file, 0, 256);
        socket.SendFileRange(file, 256, kLarge - 256);
        QByteArray expected = "head" + content;
        if (how == "at once") {
            socket.Send(content.left(kLarge / 2));
            socket.SendFileRange(file, 100, 10);
            expected += content.left(kLarge / 2) + content.mid(100, 10);
        }
        QCOMPARE(socket.PendingBytes(), qint64(expected.size()));
        if (how == "cut short") {
            QVERIFY(QFile::resize(folder.filePath("f"), 0));
            QTRY_COMPARE(pair.events, (QStringList{"state 2", "10000", "state 0"}));
            QVERIFY(pair.received.size() < expected.size());
            return;
        }
        if (how == "at once") {
            socket.Close();
            socket.Close();
        } else {
            connect(&socket, &CTcpSocket::SendDone, this, [&socket] { socket.Close(); });
        }
        QTRY_COMPARE_WITH_TIMEOUT(pair.received.size(), expected.size(), 10000);
        QCOMPARE(pair.received, expected);
        QTRY_COMPARE(pair.events, (QStringList{"state 2", "state 0"}));
        QCOMPARE(socket.State(), CTcpSocket::kStateClosed);
    }

    void acceptedConnectionRaisesEvents()
    {
        CTcpDaemon daemon;
        daemon.Listen(0, QHostAddress::LocalHost);
        QVERIFY(daemon.IsListening());
        CTcpSocket accepted;
        QSignalSpy states(&accepted, &CTcpSocket::StateChanged);
        QSignalSpy arrived(&accepted, &CTcpSocket::DataArrived);
        connect(&daemon, &CTcpDaemon::Accept, this, [&] { accepted.SetHandle(daemon.Handle()); });

        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, daemon.LocalPort());
        QTRY_COMPARE(states.count(), 1);
        QCOMPARE(accepted.State(), CTcpSocket::kStateConnected);
        QCOMPARE(accepted.RemoteHost(), kLoopback);

        client.write("hello");
        QTRY_VERIFY(arrived.count() >= 1);
        QByteArray got = accepted.Receive();
        QTRY_COMPARE(got += accepted.Receive(), QByteArray("hello"));
        QCOMPARE(accepted.Receive(), QByteArray()); // nothing twice

        client.disconnectFromHost(); // an ordinary end: no Error
        QTRY_COMPARE(states.count(), 2);
        QCOMPARE(accepted.State(), CTcpSocket::kStateClosed);
        accepted.Close(); // closing an ended socket reports nothing more
        QCoreApplication::processEvents();
        QCOMPARE(states.count(), 2);
    }

    // The listener closes a connection nobody takes; a taken port gives 10048.
    void listenerClosesUnreadHandleAndRefusesTakenPort()
    {
        CTcpDaemon daemon;
        daemon.Listen(0, QHostAddress::LocalHost);
        QTcpSocket client;
        QSignalSpy gone(&client, &QTcpSocket::disconnected);
        client.connectToHost(QHostAddress::LocalHost, daemon.LocalPort());
        QTRY_COMPARE(gone.count(), 1);

        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, 0));
        CTcpDaemon refused;
        QSignalSpy errors(&refused, &CTcpDaemon::Error);
        refused.Listen(holder.serverPort());
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), kSockAddressInUse);
        QVERIFY(!refused.IsListening());
    }

    void localPort_data()
    {
        QTest::addColumn<bool>("taken");
        QTest::addColumn<bool>("preferred");
        QTest::newRow("free: used") << false << false;
        QTest::newRow("taken and required: 10048") << true << false;
        QTest::newRow("taken and preferred: another one") << true << true;
    }
    void localPort()
    {
        QFETCH(bool, taken);
        QFETCH(bool, preferred);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QTcpServer holder; // holds the wished-for local port
        QVERIFY(holder.listen(QHostAddress::AnyIPv4, 0));
        const quint16 wished = taken ? holder.serverPort() : ClosedPort();
        CTcpSocket socket;
        QSignalSpy states(&socket, &CTcpSocket::StateChanged);
        QSignalSpy errors(&socket, &CTcpSocket::Error);
        socket.Connect(kLoopback, server.serverPort(), wished,
                       preferred ? CTcpSocket::ELocalPort::Preferred
                                 : CTcpSocket::ELocalPort::Required);
        QTRY_COMPARE(states.count(), 1);
        if (taken && !preferred) {
            QCOMPARE(errors.count(), 1);
            QCOMPARE(errors.at(0).at(0).toInt(), kSockAddressInUse);
            return;
        }
        QCOMPARE(socket.State(), CTcpSocket::kStateConnected);
        QCOMPARE(socket.LocalPort() == wished, !taken);
    }
};

QTEST_GUILESS_MAIN(tst_CTcpSocket)
#include "tst_CTcpSocket.moc"
