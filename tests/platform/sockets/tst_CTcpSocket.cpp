#include "platform/sockets/CTcpDaemon.h"
#include "platform/sockets/CTcpSocket.h"
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

// A loopback port where nothing listens.
quint16 ClosedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// A CTcpSocket, its events ("state N", error numbers) and a server whose peer Connect accepts.
struct SLoopbackPair {
    QTcpServer server;
    QTcpServer holder; // holds a port, so that it is taken
    CTcpSocket socket;
    QStringList events;
    std::unique_ptr<QTcpSocket> peer;

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

    // Error 10000 ends it. Bytes and ranges in order are CSendQueue's and every FTP retrieve's.
    void fileCutShortUnderItsRangeEndsTheConnection()
    {
        QTemporaryDir folder;
        QVERIFY(TestFiles::Write(folder.filePath("f"), TestFiles::Pattern(kLarge)));
        auto file = std::make_shared<QFile>(folder.filePath("f"));
        QVERIFY(file->open(QIODevice::ReadOnly));
        SLoopbackPair pair;
        QVERIFY(pair.Connect());
        CTcpSocket& socket = pair.socket;
        QVERIFY(!socket.NoDelay()); // the Boolean option reaches the system's socket
        socket.SetNoDelay(true);
        QVERIFY(socket.NoDelay());
        socket.Send("head");
        socket.SendFileRange(file, 0, kLarge);
        QCOMPARE(socket.PendingBytes(), qint64(4 + kLarge));
        QVERIFY(QFile::resize(folder.filePath("f"), 0));
        QTRY_COMPARE(pair.events, (QStringList{"state 2", "10000", "state 0"}));
    }

    // Accepted connections are every FTP test's; one nobody takes is closed.
    void listenerClosesUnreadHandle()
    {
        CTcpDaemon daemon;
        daemon.Listen(0, QHostAddress::LocalHost);
        QTcpSocket unread;
        QSignalSpy gone(&unread, &QTcpSocket::disconnected);
        unread.connectToHost(QHostAddress::LocalHost, daemon.LocalPort());
        QTRY_COMPARE(gone.count(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_CTcpSocket)
#include "tst_CTcpSocket.moc"
