#include "fileserver/ftp/FTcpListen.h"

#include <QTcpSocket>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <vector>

class tst_FTcpListen final : public QObject {
    Q_OBJECT
private slots:
    void connectionNobodyTakesIsClosed()
    {
        FTcpListen listen;
        listen.Listen(0, QHostAddress::LocalHost);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, listen.LocalPort());
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    }
    void acceptsAgainAfterDescriptorsRunOut()
    {
        FTcpListen listen;
        QList<qintptr> handles;
        connect(&listen, &FTcpListen::OnNewConnection, this,
                [&handles](qintptr handle) { handles << handle; });
        listen.Listen(0, QHostAddress::LocalHost);
        int shed = 0;
        connect(&listen, &FTcpListen::OnAcceptPaused, this, [&shed](int count) { shed += count; });
        // Nothing new is made while the table is full: checks of the
        // sanitizers may need descriptors of their own.
        QTcpSocket refused;
        QCOMPARE(refused.state(), QAbstractSocket::UnconnectedState);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &old), 0);
        rlimit low = old;
        low.rlim_cur = 256;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
        std::vector<int> fillers;
        for (int fd = ::dup(0); fd >= 0 && fillers.size() < low.rlim_cur; fd = ::dup(0))
            fillers.push_back(fd);
        ::close(fillers.back()); // for the client's own socket
        fillers.pop_back();
        refused.connectToHost(QHostAddress::LocalHost, listen.LocalPort());
        const bool closed = QTest::qWaitFor(
            [&refused] { return refused.state() == QAbstractSocket::UnconnectedState; });
        for (const int fd : fillers)
            ::close(fd);
        setrlimit(RLIMIT_NOFILE, &old);
        QVERIFY(closed);
        QVERIFY(shed >= 1);
        QVERIFY(handles.isEmpty());
        QTcpSocket accepted;
        accepted.connectToHost(QHostAddress::LocalHost, listen.LocalPort());
        QTRY_COMPARE(handles.size(), 1);
        ::close(static_cast<int>(handles.first()));
    }
};

QTEST_GUILESS_MAIN(tst_FTcpListen)
#include "tst_FTcpListen.moc"
