#include "platform/sockets/CTcpDaemon.h"
#include "platform/sockets/CTcpSocket.h"
#include "platform/sockets/MSocketError.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

namespace {

// A port on loopback where nothing listens: bound by a server that is then closed.
quint16 ClosedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

// A CTcpSocket connected to a Qt socket on loopback that gathers what arrives.
struct SLoopbackPair {
    QTcpServer server;
    CTcpSocket socket;
    QSignalSpy states{&socket, &CTcpSocket::StateChanged};
    QSignalSpy errors{&socket, &CTcpSocket::Error};
    std::unique_ptr<QTcpSocket> peer;
    QByteArray received;

    bool Connect()
    {
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        socket.Connect(QStringLiteral("127.0.0.1"), server.serverPort());
        if (!QTest::qWaitFor(
                [this] { return states.count() == 1 && server.hasPendingConnections(); }))
            return false;
        peer.reset(server.nextPendingConnection());
        QObject::connect(peer.get(), &QTcpSocket::readyRead, peer.get(),
                         [this] { received += peer->readAll(); });
        return true;
    }
};

} // namespace

class tst_CTcpSocket final : public QObject {
    Q_OBJECT

private slots:
    void refusedConnectGives10061ThenClosed()
    {
        CTcpSocket socket;
        QList<QString> events;
        connect(&socket, &CTcpSocket::Error, this,
                [&events](int number, const QString&) { events << QString::number(number); });
        connect(&socket, &CTcpSocket::StateChanged, this,
                [&events, &socket] { events << QStringLiteral("state %1").arg(socket.State()); });
        socket.Connect(QStringLiteral("127.0.0.1"), ClosedPort());
        QTRY_COMPARE(events, (QList<QString>{QStringLiteral("10061"), QStringLiteral("state 0")}));
    }

    void sendBeforeConnectGives10057()
    {
        CTcpSocket socket;
        QSignalSpy errors(&socket, &CTcpSocket::Error);
        socket.Send("x");
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), kSockNotConnected);
    }

    void connectSendsInOrderAndCloseDeliversEverything()
    {
        SLoopbackPair pair;
        QVERIFY(pair.Connect());
        CTcpSocket& socket = pair.socket;
        QCOMPARE(socket.State(), CTcpSocket::kStateConnected);
        QCOMPARE(socket.RemoteHost(), QStringLiteral("127.0.0.1"));
        // The Boolean option reaches the system's socket and changes nothing that is sent.
        QVERIFY(!socket.NoDelay());
        socket.SetNoDelay(true);
        QVERIFY(socket.NoDelay());

        QByteArray expected;
        // More than the queue's high-water mark, all still queued at Close.
        for (int i = 0; expected.size() <= 2 * CTcpSocket::kSendHighWater; ++i) {
            const QByteArray piece = QByteArray::number(i).repeated(500);
            socket.Send(piece);
            expected += piece;
        }
        socket.Close(); // right after the sends: all of it must still arrive
        socket.Close(); // and a second Close must not cut it short

        QTRY_COMPARE_WITH_TIMEOUT(pair.received.size(), expected.size(), 10000);
        QCOMPARE(pair.received, expected);
        QTRY_COMPARE(pair.states.count(), 2);
        QCOMPARE(socket.State(), CTcpSocket::kStateClosed);
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
        QTest::newRow("pieces larger than the high-water mark")
            << int(CTcpSocket::kSendHighWater + 1) << 3 << false;
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
        QSignalSpy& states = pair.states;
        const QByteArray& received = pair.received;

        QByteArray expected;
        int sent = 0;
        int confirmed = 0;
        const auto sendNext = [&] {
            QByteArray piece(pieceSize, Qt::Uninitialized);
            for (int i = 0; i < pieceSize; ++i)
                piece[i] = static_cast<char>((sent * 131 + i) % 251);
            expected += piece;
            ++sent;
            socket.Send(piece);
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

        QTRY_COMPARE_WITH_TIMEOUT(states.count(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), expected.size(), 10000);
        QCOMPARE(received, expected);
        QCOMPARE(confirmed, pieces);
        QCOMPARE(signalled.count(), direct ? 0 : pieces);
    }

    // File ranges and bytes reach the peer in the order they were queued;
    // a file cut short under its queued ranges ends the connection.
    void fileRanges_data()
    {
        const int large = int(2 * CTcpSocket::kSendHighWater);
        QTest::addColumn<int>("fileSize");
        QTest::addColumn<QStringList>("steps"); // "offset+length" of the file, or bytes
        QTest::addColumn<int>("truncateTo");    // -1: the file stays whole
        QTest::newRow("blocks that continue one another")
            << 600 << QStringList{"0+256", "256+256", "512+88"} << -1;
        QTest::newRow("bytes between ranges, ranges out of order")
            << 600 << QStringList{"0+100", "xyz", "100+200", "50+10", "590+10"} << -1;
        QTest::newRow("ranges beyond the high-water mark")
            << large << QStringList{"0+256", QStringLiteral("256+%1").arg(large - 256)} << -1;
        QTest::newRow("file cut short under its ranges")
            << large << QStringList{QStringLiteral("0+%1").arg(large)} << large / 4;
    }
    void fileRanges()
    {
        QFETCH(int, fileSize);
        QFETCH(QStringList, steps);
        QFETCH(int, truncateTo);
        QByteArray content(fileSize, Qt::Uninitialized);
        for (int i = 0; i < fileSize; ++i)
            content[i] = static_cast<char>((i * 7 + i / 251) % 256);
        QTemporaryFile temporary;
        QVERIFY(temporary.open());
        temporary.write(content);
        temporary.flush();
        auto file = std::make_shared<QFile>(temporary.fileName());
        QVERIFY(file->open(QIODevice::ReadOnly));

        SLoopbackPair pair;
        QVERIFY(pair.Connect());
        CTcpSocket& socket = pair.socket;
        QSignalSpy& states = pair.states;
        QSignalSpy& errors = pair.errors;
        const QByteArray& received = pair.received;
        connect(&socket, &CTcpSocket::SendDone, this, [&socket] { socket.Close(); });

        QByteArray expected;
        for (const QString& step : steps) {
            const QStringList range = step.split('+');
            if (range.size() == 2) {
                const int offset = range[0].toInt();
                const int length = range[1].toInt();
                socket.SendFileRange(file, offset, length);
                expected += content.mid(offset, length);
            } else {
                socket.Send(step.toLatin1());
                expected += step.toLatin1();
            }
        }
        QCOMPARE(socket.PendingBytes(), qint64(expected.size()));
        if (truncateTo >= 0)
            QVERIFY(temporary.resize(truncateTo));
        QTRY_COMPARE_WITH_TIMEOUT(states.count(), 2, 10000);
        if (truncateTo >= 0) {
            QCOMPARE(errors.count(), 1);
            QCOMPARE(errors.at(0).at(0).toInt(), kSockGeneralFailure);
            QVERIFY(received.size() <= truncateTo);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), expected.size(), 10000);
        QCOMPARE(received, expected);
        QCOMPARE(errors.count(), 0);
    }

    void acceptedConnectionRaisesEvents()
    {
        CTcpDaemon daemon;
        daemon.Listen(0, QHostAddress::LocalHost);
        QVERIFY(daemon.IsListening());

        std::unique_ptr<CTcpSocket> accepted;
        std::unique_ptr<QSignalSpy> states;
        std::unique_ptr<QSignalSpy> arrived;
        connect(&daemon, &CTcpDaemon::Accept, this, [&] {
            accepted = std::make_unique<CTcpSocket>();
            states = std::make_unique<QSignalSpy>(accepted.get(), &CTcpSocket::StateChanged);
            arrived = std::make_unique<QSignalSpy>(accepted.get(), &CTcpSocket::DataArrived);
            accepted->SetHandle(daemon.Handle());
        });

        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, daemon.LocalPort());
        QTRY_VERIFY(accepted != nullptr);
        QTRY_COMPARE(states->count(), 1);
        QCOMPARE(accepted->State(), CTcpSocket::kStateConnected);
        QCOMPARE(accepted->RemoteHost(), QStringLiteral("127.0.0.1"));

        client.write("hello");
        QTRY_VERIFY(arrived->count() >= 1);
        QByteArray got = accepted->Receive();
        QTRY_COMPARE(got += accepted->Receive(), QByteArray("hello"));
        QCOMPARE(accepted->Receive(), QByteArray()); // nothing twice

        client.disconnectFromHost();
        QTRY_COMPARE(states->count(), 2);
        QCOMPARE(accepted->State(), CTcpSocket::kStateClosed);
        accepted->Close(); // closing an ended socket reports nothing more
        QCoreApplication::processEvents();
        QCOMPARE(states->count(), 2);
    }

    void unreadHandleIsClosed()
    {
        CTcpDaemon daemon;
        daemon.Listen(0, QHostAddress::LocalHost);
        QSignalSpy accepts(&daemon, &CTcpDaemon::Accept);
        QTcpSocket client;
        QSignalSpy gone(&client, &QTcpSocket::disconnected);
        client.connectToHost(QHostAddress::LocalHost, daemon.LocalPort());
        QTRY_COMPARE(accepts.count(), 1);
        QTRY_COMPARE(gone.count(), 1);
    }

    void listenOnTakenPortGives10048()
    {
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, 0));
        CTcpDaemon daemon;
        QSignalSpy errors(&daemon, &CTcpDaemon::Error);
        daemon.Listen(holder.serverPort());
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), kSockAddressInUse);
        QVERIFY(!daemon.IsListening());
    }

    void preferredLocalPortFallsBackWhenTaken()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QTcpServer holder; // holds the wished-for local port
        QVERIFY(holder.listen(QHostAddress::AnyIPv4, 0));

        CTcpSocket required;
        QSignalSpy requiredErrors(&required, &CTcpSocket::Error);
        required.Connect(QStringLiteral("127.0.0.1"), server.serverPort(), holder.serverPort(),
                         CTcpSocket::ELocalPort::Required);
        QTRY_COMPARE(requiredErrors.count(), 1);
        QCOMPARE(requiredErrors.at(0).at(0).toInt(), kSockAddressInUse);

        CTcpSocket preferred;
        QSignalSpy states(&preferred, &CTcpSocket::StateChanged);
        preferred.Connect(QStringLiteral("127.0.0.1"), server.serverPort(), holder.serverPort(),
                          CTcpSocket::ELocalPort::Preferred);
        QTRY_COMPARE(states.count(), 1);
        QCOMPARE(preferred.State(), CTcpSocket::kStateConnected);
        QVERIFY(preferred.LocalPort() != holder.serverPort());
    }

    void localPortIsUsedWhenFree()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const quint16 wished = ClosedPort();
        CTcpSocket socket;
        QSignalSpy states(&socket, &CTcpSocket::StateChanged);
        socket.Connect(QStringLiteral("127.0.0.1"), server.serverPort(), wished);
        QTRY_COMPARE(states.count(), 1);
        QCOMPARE(socket.LocalPort(), wished);
    }
};

QTEST_GUILESS_MAIN(tst_CTcpSocket)
#include "tst_CTcpSocket.moc"
