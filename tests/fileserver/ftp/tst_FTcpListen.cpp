#include "fileserver/ftp/FTcpListen.h"
#include "platform/sockets/MSocketError.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

class tst_FTcpListen final : public QObject {
    Q_OBJECT

private slots:
    void acceptedConnectionIsHandedOver()
    {
        FTcpListen listen;
        QList<qintptr> handles;
        connect(&listen, &FTcpListen::NewConnection, this,
                [&handles](qintptr handle) { handles << handle; });
        listen.Listen(0, QHostAddress::LocalHost);
        QVERIFY(listen.IsListening());
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, listen.LocalPort());
        QTRY_COMPARE(handles.size(), 1);
        QTcpSocket served;
        QVERIFY(served.setSocketDescriptor(handles.first()));
        served.write("hello");
        QTRY_COMPARE(client.bytesAvailable(), qint64(5));
    }

    void connectionNobodyTakesIsClosed()
    {
        FTcpListen listen;
        listen.Listen(0, QHostAddress::LocalHost);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, listen.LocalPort());
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    }

    void portInUseIsAListenerError()
    {
        FTcpListen first;
        first.Listen(0, QHostAddress::LocalHost);
        QVERIFY(first.IsListening());
        FTcpListen second;
        QSignalSpy errors(&second, &FTcpListen::ListenerError);
        second.Listen(first.LocalPort(), QHostAddress::LocalHost);
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), kSockAddressInUse);
        QVERIFY(!second.IsListening());
    }
};

QTEST_GUILESS_MAIN(tst_FTcpListen)
#include "tst_FTcpListen.moc"
