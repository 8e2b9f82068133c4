#include "platform/sockets/CUdpSocket.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

class tst_CUdpSocket final : public QObject {
    Q_OBJECT

private slots:
    // A datagram comes with its sender (IPv4 shown as IPv4) and is answered there; an empty
    // queue and answers to a CUdpPeer are every TFTP session's.
    void datagramsCarryTheirSender_data()
    {
        QTest::addColumn<QString>("client");
        QTest::newRow("IPv4") << "127.0.0.1";
        QTest::newRow("IPv6") << "::1";
    }
    void datagramsCarryTheirSender()
    {
        QFETCH(QString, client);
        CUdpSocket socket;
        socket.Open(0);
        QVERIFY(socket.LocalPort() != 0);
        QUdpSocket peer;
        if (!peer.bind(QHostAddress(client), 0))
            QSKIP("no such loopback address here");
        QSignalSpy arrived(&socket, &CUdpSocket::DataArrived);
        const QByteArray first = QByteArray("\x00\x01", 2) + "name";
        peer.writeDatagram(first, QHostAddress(client), socket.LocalPort());
        peer.writeDatagram("second", QHostAddress(client), socket.LocalPort());
        QTRY_VERIFY(arrived.count() >= 1);
        QByteArray data;
        QString host;
        quint16 port = 0;
        QVERIFY(QTest::qWaitFor([&] { return socket.Receive(data, host, port); }));
        QCOMPARE(data, first);
        QCOMPARE(host, client);
        QCOMPARE(port, peer.localPort());
        QByteArrayView view;
        CUdpPeer sender;
        QVERIFY(QTest::qWaitFor([&] { return socket.Receive(view, sender); }));
        QCOMPARE(view.toByteArray(), QByteArray("second"));
        QVERIFY(sender == CUdpPeer(QHostAddress(client), peer.localPort()));
        QCOMPARE(sender.IsIPv4(), client == "127.0.0.1");
        QVERIFY(socket.Send("reply", host, port));
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), QByteArray("reply"));
    }
};

QTEST_GUILESS_MAIN(tst_CUdpSocket)
#include "tst_CUdpSocket.moc"
