#include "fileserver/ftp/FTcpListen.h"

#include <QSignalSpy>
#include <QTcpServer>
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
    // Each address on the port the first got; one that cannot be had leaves
    // none listened on (no probes). The probes: "+" connects, "-" is refused.
    void listensOnEachAddressOnOnePort_data()
    {
        QTest::addColumn<QStringList>("addresses"); // "any": both families on one socket
        QTest::addColumn<QStringList>("probes");
        QTest::newRow("both families by default")
            << QStringList{"any"} << QStringList{"+127.0.0.1", "+::1"};
        QTest::newRow("one IPv4 address")
            << QStringList{"127.0.0.2"} << QStringList{"+127.0.0.2", "-127.0.0.1", "-::1"};
        QTest::newRow("IPv6 only") << QStringList{"::1"} << QStringList{"+::1", "-127.0.0.1"};
        QTest::newRow("two addresses")
            << QStringList{"::1", "127.0.0.1"} << QStringList{"+::1", "+127.0.0.1", "-127.0.0.2"};
        QTest::newRow("an address not this host's: none")
            << QStringList{"127.0.0.1", "192.0.2.1"} << QStringList{};
    }
    void listensOnEachAddressOnOnePort()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QStringList, probes);
        QList<QHostAddress> listened;
        for (const QString& text : addresses)
            listened << (text == "any" ? QHostAddress(QHostAddress::Any) : QHostAddress(text));
        FTcpListen listen;
        QSignalSpy errors(&listen, &FTcpListen::OnListenerError);
        QList<qintptr> handles;
        connect(&listen, &FTcpListen::OnNewConnection, this,
                [&handles](qintptr handle) { handles << handle; });
        listen.Listen(0, listened);
        const bool listening = !probes.isEmpty();
        QCOMPARE(listen.IsListening(), listening);
        QCOMPARE(listen.LocalPort() != 0, listening);
        if (!listening)
            QVERIFY(errors.wait());
        const quint16 port = listen.LocalPort();
        for (const QString& probe : probes) {
            QTcpSocket client;
            client.connectToHost(QHostAddress(probe.mid(1)), port);
            if (probe.startsWith('+'))
                QVERIFY2(client.waitForConnected(10000), qPrintable(probe));
            else
                QTRY_COMPARE(client.error(), QAbstractSocket::ConnectionRefusedError);
        }
        QTRY_COMPARE(handles.size(), int(probes.filter(QRegularExpression("^\\+")).size()));
        for (const qintptr handle : handles)
            ::close(static_cast<int>(handle));
        QCOMPARE(errors.size(), listening ? 0 : 1);
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
