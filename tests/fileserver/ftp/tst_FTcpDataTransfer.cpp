#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/cFtpSession.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray kRetrieveOpening = "150 File status ok; about to open data connection";
const QByteArray kStoreOpening = "150 About to open data connection";
const QByteArray kFileDone = "226 Closing data connection, file transfer successful";

// Every notification of the collection, as text, in the order raised.
class CEventLog final {
public:
    explicit CEventLog(cFtpSessions& sessions)
    {
        QObject::connect(&sessions, &cFtpSessions::OnInitRetrive, &sessions,
                         [this](const QString& id) { events << "init retrieve " + id; });
        QObject::connect(&sessions, &cFtpSessions::OnInitStore, &sessions,
                         [this](const QString& id) { events << "init store " + id; });
        QObject::connect(&sessions, &cFtpSessions::OnNewDataBlockSent, &sessions,
                         [this](const QString&, qint64 bytes) { sent << bytes; });
        QObject::connect(&sessions, &cFtpSessions::OnNewDataBlockRecv, &sessions,
                         [this](const QString&, qint64 bytes) { received << bytes; });
        QObject::connect(&sessions, &cFtpSessions::OnTransferTerminate, &sessions,
                         [this](const QString& id) { events << "terminate " + id; });
        QObject::connect(&sessions, &cFtpSessions::OnSessionStatusChange, &sessions,
                         [this](const QString& id, const QString& host, int status) {
                             events << QStringLiteral("status %1 %2 %3").arg(id, host).arg(status);
                         });
    }

    QStringList events;
    QList<qint64> sent;
    QList<qint64> received;
};

// A collection serving a temporary folder, its notifications, and a client.
struct SFixture {
    CFtpTestServer server;
    CEventLog log{server.sessions};
    CFtpTestClient client{server.Port()};

    // Logs the client in and gives its data port.
    bool LogIn() { return client.LogIn() && client.Port(); }
};

} // namespace

class tst_FTcpDataTransfer final : public QObject {
    Q_OBJECT

private slots:
    void retrieve_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<qint64>>("totals");
        QTest::newRow("600 bytes: 256 + 256 + 88") << 600 << QList<qint64>{256, 512, 600};
        QTest::newRow("512 bytes: 256 + 256") << 512 << QList<qint64>{256, 512};
        QTest::newRow("one byte") << 1 << QList<qint64>{1};
        QTest::newRow("255 bytes") << 255 << QList<qint64>{255};
        QTest::newRow("256 bytes") << 256 << QList<qint64>{256};
        QTest::newRow("257 bytes") << 257 << QList<qint64>{256, 257};
    }
    void retrieve()
    {
        QFETCH(int, size);
        QFETCH(QList<qint64>, totals);
        SFixture f;
        QVERIFY(f.LogIn());
        const QByteArray content = Pattern(size);
        f.server.Write(QStringLiteral("sub/file.bin"), content);
        QCOMPARE(f.client.Command("CWD sub"), QByteArray("250 CWD command successful."));
        QCOMPARE(f.client.Command("RETR file.bin"), kRetrieveOpening);
        QCOMPARE(f.client.ReceiveData(), content);
        QCOMPARE(f.client.Line(), kFileDone);
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
        QCOMPARE(f.log.sent, totals);
        QCOMPARE(f.log.events, (QStringList{"status 1 127.0.0.1 1", "init retrieve 1",
                                            "status 1 127.0.0.1 0", "terminate 1"}));
        const cFtpSession* session = f.server.sessions.Item(QStringLiteral("1"));
        QCOMPARE(session->FileName(), QStringLiteral("/sub/file.bin"));
        QCOMPARE(session->FileSize(), qint64(size));
        QCOMPARE(session->SessionStatus(), cFtpSession::kStatusWaiting);
    }

    void store_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("one byte") << 1;
        QTest::newRow("257 bytes") << 257;
        QTest::newRow("300 KiB") << 300 * 1024;
    }
    void store()
    {
        QFETCH(int, size);
        SFixture f;
        QVERIFY(f.LogIn());
        f.server.Write(QStringLiteral("up.bin"), "old content that must go");
        QCOMPARE(f.client.Command("STOR up.bin"), kStoreOpening);
        // The old file went before any data arrived.
        QCOMPARE(f.server.Read(QStringLiteral("up.bin")), QByteArray());
        const QByteArray content = Pattern(size);
        QVERIFY(f.client.SendData(content));
        QCOMPARE(f.client.Line(), kFileDone);
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
        QCOMPARE(f.server.Read(QStringLiteral("up.bin")), content);
        QCOMPARE(f.log.received.isEmpty() ? 0 : f.log.received.last(), qint64(size));
        QCOMPARE(f.log.events, (QStringList{"status 1 127.0.0.1 2", "init store 1",
                                            "status 1 127.0.0.1 0", "terminate 1"}));
        QCOMPARE(f.server.sessions.Item(QStringLiteral("1"))->FileName(),
                 QStringLiteral("/up.bin"));
    }

    void listing_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("LIST") << QByteArray("LIST") << QStringList{"sub", "a.txt"};
        QTest::newRow("NLST gives the same lines")
            << QByteArray("NLST") << QStringList{"sub", "a.txt"};
        QTest::newRow("options list the current folder")
            << QByteArray("LIST -la") << QStringList{"sub", "a.txt"};
        QTest::newRow("a folder") << QByteArray("LIST sub") << QStringList{"b.txt", "empty"};
        QTest::newRow("an empty folder") << QByteArray("LIST sub/empty") << QStringList{};
    }
    void listing()
    {
        QFETCH(QByteArray, command);
        QFETCH(QStringList, names);
        SFixture f;
        QVERIFY(f.LogIn());
        f.server.Write(QStringLiteral("a.txt"), "a");
        f.server.Write(QStringLiteral(".dot"), "hidden");
        f.server.Write(QStringLiteral("sub/b.txt"), "bb");
        QVERIFY(QDir(f.server.Path(QStringLiteral("sub"))).mkdir(QStringLiteral("empty")));
        QCOMPARE(f.client.Command(command),
                 QByteArray("150 Opening ASCII mode data connection for /"));
        const QByteArray listing = f.client.ReceiveData();
        QCOMPARE(f.client.Line(), QByteArray("226 Transfer complete."));
        QStringList got;
        for (const QByteArray& line : listing.split('\n')) {
            if (!line.isEmpty())
                got << QString::fromUtf8(line.split('\t').value(1));
        }
        got.sort();
        names.sort();
        QCOMPARE(got, names);
        // Listings leave the status alone.
        QCOMPARE(f.log.events, QStringList());
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
    }

    void refusedDataConnection_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("opening");
        QTest::newRow("RETR") << QByteArray("RETR f") << kRetrieveOpening;
        QTest::newRow("STOR") << QByteArray("STOR g") << kStoreOpening;
        QTest::newRow("LIST") << QByteArray("LIST")
                              << QByteArray("150 Opening ASCII mode data connection for /");
    }
    void refusedDataConnection()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, opening);
        SFixture f;
        QVERIFY(f.LogIn());
        f.server.Write(QStringLiteral("f"), "content");
        f.client.RefuseData();
        QCOMPARE(f.client.Command(command), opening);
        QCOMPARE(f.client.Line(), QByteArray("425 can't open data connection "));
        // Nothing claims success afterwards: the next reply is the next command's.
        QCOMPARE(f.client.Command("PWD"), QByteArray("257 \"/\""));
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
        QCOMPARE(f.log.events, QStringList());
    }

    void portOutsideThePortRangeCannotOpen()
    {
        SFixture f;
        QVERIFY(f.LogIn());
        f.server.Write(QStringLiteral("f"), "content");
        QCOMPARE(f.client.Command("PORT 127,0,0,1,256,0"),
                 QByteArray("200 Port command successful"));
        QCOMPARE(f.client.Command("RETR f"), kRetrieveOpening);
        QCOMPARE(f.client.Line(), QByteArray("425 can't open data connection "));
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
    }

    void dataPortEqualToLocalPortDoesNotConnectToItself()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        CFtpTestServer server(port);
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        QCOMPARE(client.Command("PORT 127,0,0,1," + QByteArray::number(port / 256) + ','
                                + QByteArray::number(port % 256)),
                 QByteArray("200 Port command successful"));
        QCOMPARE(client.Command("STOR self"), kStoreOpening);
        QCOMPARE(client.Line(), QByteArray("425 can't open data connection "));
        QTRY_COMPARE(server.sessions.TransferCount(), 0);
    }

    void abortDuringRetrieve()
    {
        SFixture f;
        QVERIFY(f.LogIn());
        const qsizetype size = 8 * 1024 * 1024;
        f.server.Write(QStringLiteral("big"), Pattern(size));
        QCOMPARE(f.client.Command("RETR big"), kRetrieveOpening);
        QVERIFY(f.client.AcceptData());
        QTRY_COMPARE(f.log.events.size(), 2); // status 1, init retrieve
        QCOMPARE(f.server.sessions.ActiveTransferCount(), 1);
        f.client.Send("\xFF\xF4\xFF"
                      "ABOR\r\n");
        QCOMPARE(f.client.Line(), QByteArray("226 Closing data connection"));
        const QByteArray received = f.client.ReceiveData();
        QVERIFY(received.size() < size);
        QVERIFY(Pattern(size).startsWith(received));
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
        QCOMPARE(f.log.events, (QStringList{"status 1 127.0.0.1 1", "init retrieve 1",
                                            "status 1 127.0.0.1 0", "terminate 1"}));
        QCOMPARE(f.server.sessions.ActiveTransferCount(), 0);
        // The transfer has ended: a second ABOR finds nothing and gets no reply.
        f.client.Send("ABOR\r\n");
        QCOMPARE(f.client.Command("PWD"), QByteArray("257 \"/\""));
    }

    void abortDuringStoreKeepsWhatWasWritten()
    {
        SFixture f;
        QVERIFY(f.LogIn());
        QCOMPARE(f.client.Command("STOR part"), kStoreOpening);
        QTcpSocket* data = f.client.AcceptData();
        QVERIFY(data);
        data->write("first piece");
        QTRY_COMPARE(f.log.received, QList<qint64>{11});
        QCOMPARE(f.client.Command("ABOR"), QByteArray("226 Closing data connection"));
        QTRY_COMPARE(data->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(f.server.Read(QStringLiteral("part")), QByteArray("first piece"));
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
        QCOMPARE(f.log.events.last(), QStringLiteral("terminate 1"));
    }

    void storeThatCannotBeWrittenIsAFailure()
    {
        SFixture f;
        QVERIFY(f.LogIn());
        QCOMPARE(f.client.Command("STOR full"), kStoreOpening);
        QTcpSocket* data = f.client.AcceptData();
        QVERIFY(data);
        // Files of this process may not grow past 64 KiB while the data arrives.
        rlimit oldLimit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
        rlimit limit = oldLimit;
        limit.rlim_cur = 64 * 1024;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        data->write(Pattern(256 * 1024));
        const QByteArray reply = f.client.Line();
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(reply, QByteArray("451 Local error "));
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
        QCOMPARE(f.log.events.last(), QStringLiteral("terminate 1"));
        QCOMPARE(f.client.Command("PWD"), QByteArray("257 \"/\""));
    }

    void abortAfterListingGetsNoReply()
    {
        SFixture f;
        QVERIFY(f.LogIn());
        QVERIFY(f.client.Command("LIST").startsWith("150 "));
        f.client.ReceiveData();
        QCOMPARE(f.client.Line(), QByteArray("226 Transfer complete."));
        f.client.Send("ABOR\r\n");
        QCOMPARE(f.client.Command("PWD"), QByteArray("257 \"/\""));
    }

    void clientDroppingRetrieveEndsIt()
    {
        SFixture f;
        QVERIFY(f.LogIn());
        f.server.Write(QStringLiteral("big"), Pattern(4 * 1024 * 1024));
        QCOMPARE(f.client.Command("RETR big"), kRetrieveOpening);
        QTcpSocket* data = f.client.AcceptData();
        QVERIFY(data);
        QTRY_COMPARE(f.log.events.size(), 2);
        data->abort();
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
        QCOMPARE(f.log.events.last(), QStringLiteral("terminate 1"));
        QCOMPARE(f.server.sessions.Item(QStringLiteral("1"))->SessionStatus(),
                 cFtpSession::kStatusWaiting);
        QCOMPARE(f.client.Command("PWD"), QByteArray("257 \"/\""));
    }

    void transferOutlivesItsSession()
    {
        SFixture f;
        QVERIFY(f.LogIn());
        QCOMPARE(f.client.Command("STOR late"), kStoreOpening);
        QTcpSocket* data = f.client.AcceptData();
        QVERIFY(data);
        QCOMPARE(f.client.Command("QUIT"), QByteArray("221 Goodbye."));
        QTRY_COMPARE(f.server.sessions.Count(), 0);
        data->write("still stored");
        data->disconnectFromHost();
        QTRY_COMPARE(f.server.sessions.TransferCount(), 0);
        QCOMPARE(f.server.Read(QStringLiteral("late")), QByteArray("still stored"));
        QCOMPARE(f.log.events.last(), QStringLiteral("terminate 1"));
    }
};

QTEST_GUILESS_MAIN(tst_FTcpDataTransfer)
#include "tst_FTcpDataTransfer.moc"
