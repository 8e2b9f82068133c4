#include "common/CRaisedError.h"
#include "platform/sockets/CUdpSocket.h"
#include "platform/sockets/MSocketError.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

class tst_CUdpSocket final : public QObject {
    Q_OBJECT

private slots:
    void datagramCarriesSenderAddressAndPort()
    {
        CUdpSocket socket;
        socket.Open(0);
        QVERIFY(socket.LocalPort() != 0);
        QSignalSpy arrived(&socket, &CUdpSocket::DataArrived);

        QUdpSocket client;
        QVERIFY(client.bind(QHostAddress::LocalHost, 0));
        client.writeDatagram(QByteArray("\x00\x01", 2) + "name", QHostAddress::LocalHost,
                             socket.LocalPort());
        client.writeDatagram("second", QHostAddress::LocalHost, socket.LocalPort());
        QTRY_VERIFY(arrived.count() >= 1);

        struct Datagram {
            QByteArray data;
            QString host;
            quint16 port = 0;
        };
        QList<Datagram> received;
        const auto drain = [&socket, &received] {
            Datagram d;
            while (socket.Receive(d.data, d.host, d.port))
                received << d;
            return received.size();
        };
        QTRY_COMPARE(drain(), 2);
        QCOMPARE(received.at(0).data, QByteArray("\x00\x01", 2) + "name");
        QCOMPARE(received.at(0).host, QStringLiteral("127.0.0.1"));
        QCOMPARE(received.at(0).port, client.localPort());
        QCOMPARE(received.at(1).data, QByteArray("second"));
        const QString host = received.at(0).host;
        const quint16 port = received.at(0).port;

        QVERIFY(socket.Send("reply", host, port));
        QTRY_VERIFY(client.hasPendingDatagrams());
        QCOMPARE(client.receiveDatagram().data(), QByteArray("reply"));
    }

    void peerInBinaryForm_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("host"); // as the dual-stack socket's peer shows it
        QTest::newRow("IPv4") << "127.0.0.1"
                              << "127.0.0.1";
        QTest::newRow("IPv6") << "::1"
                              << "::1";
    }
    void peerInBinaryForm()
    {
        QFETCH(QString, client);
        QFETCH(QString, host);
        CUdpSocket socket;
        socket.Open(0);
        QUdpSocket peer;
        if (!peer.bind(QHostAddress(client), 0))
            QSKIP("no such loopback address here");
        QSignalSpy arrived(&socket, &CUdpSocket::DataArrived);
        peer.writeDatagram("ping", QHostAddress(client), socket.LocalPort());
        QTRY_VERIFY(arrived.count() >= 1);
        QByteArrayView data;
        CUdpPeer sender;
        QVERIFY(socket.Receive(data, sender));
        QCOMPARE(data.toByteArray(), QByteArray("ping"));
        QCOMPARE(sender.Host(), host);
        QCOMPARE(sender.Port(), peer.localPort());
        // The same client however its address was written.
        QVERIFY(sender == CUdpPeer(QHostAddress(client), peer.localPort()));
        QVERIFY(sender.IsIPv4() == (host == "127.0.0.1"));
        QCOMPARE(qHash(sender), qHash(CUdpPeer(QHostAddress(client), peer.localPort())));
        QVERIFY(!(sender == CUdpPeer(QHostAddress(client), peer.localPort() + 1)));
        QVERIFY(!socket.Receive(data, sender));

        // A socket of the client's own family answers it as well.
        CUdpSocket own;
        own.Open(0, sender.IsIPv4() ? QHostAddress::AnyIPv4 : QHostAddress::AnyIPv6);
        QVERIFY(own.Send(QByteArrayView("pong"), sender));
        QVERIFY(socket.Send(QByteArrayView("pong"), sender));
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), QByteArray("pong"));
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), QByteArray("pong"));
    }

    void openOnTakenPortRaises10048()
    {
        CUdpSocket first;
        first.Open(0);
        CUdpSocket second;
        try {
            second.Open(first.LocalPort());
            QFAIL("nothing raised");
        } catch (const CRaisedError& error) {
            QCOMPARE(error.Number(), std::uint32_t(kSockAddressInUse));
            QVERIFY(!error.Description().isEmpty());
        }
        QVERIFY(!second.IsOpen());
    }

    void closeReleasesPort()
    {
        CUdpSocket socket;
        socket.Open(0);
        const quint16 port = socket.LocalPort();
        socket.Close();
        QVERIFY(!socket.IsOpen());
        CUdpSocket again;
        again.Open(port);
        QCOMPARE(again.LocalPort(), port);
    }
};

QTEST_GUILESS_MAIN(tst_CUdpSocket)
#include "tst_CUdpSocket.moc"
