#include "fileserver/ftp/FTcpListen.h"

#include <QTcpSocket>
#include <QtTest>

class tst_FTcpListen final : public QObject {
    Q_OBJECT

private slots:
    // Without a receiver the listener leaves the handle to the socket layer,
    // which closes the connection instead of leaking it.
    void connectionNobodyTakesIsClosed()
    {
        FTcpListen listen;
        listen.Listen(0, QHostAddress::LocalHost);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, listen.LocalPort());
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_GUILESS_MAIN(tst_FTcpListen)
#include "tst_FTcpListen.moc"
