#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/cFtpSession.h"
#include "platform/system/MRawFiles.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QtTest>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray kRetrieveOpening = "150 File status ok; about to open data connection";
const QByteArray kStoreOpening = "150 About to open data connection";
const QByteArray kListOpening = "150 Opening ASCII mode data connection for /";
const QByteArray kFileDone = "226 Closing data connection, file transfer successful";
const QByteArray kCannotOpen = "425 can't open data connection ";

} // namespace

// Data transfers through a session, with their replies and notifications.
class tst_FTcpDataTransfer final : public QObject {
    Q_OBJECT

private slots:
    void retrieve_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("totals"); // of each OnNewDataBlockSent
        QTest::newRow("600 bytes: 256 + 256 + 88") << 600 << QList<int>{256, 512, 600};
        QTest::newRow("512 bytes: an empty read ends it") << 512 << QList<int>{256, 512};
        QTest::newRow("one byte") << 1 << QList<int>{1};
        QTest::newRow("257 bytes") << 257 << QList<int>{256, 257};
        // Crosses the socket's queue limit and the file's read chunks: still
        // one notification per block, each with its running total.
        const int large =
            int(std::max(CTcpSocket::kSendHighWater, FTcpDataTransfer::kReadChunkSize)) * 3 + 100;
        QList<int> totals;
        for (int total = 256; total < large; total += 256)
            totals << total;
        QTest::newRow("beyond the queue and the read chunk") << large << (totals << large);
    }
    void retrieve()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, totals);
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        WriteFile(server.Path("sub/file.bin"), Pattern(size));
        QCOMPARE(client.Command("CWD sub"), QByteArray("250 CWD command successful."));
        QCOMPARE(client.Command("RETR file.bin"), kRetrieveOpening);
        QCOMPARE(client.ReceiveData(), Pattern(size));
        QCOMPARE(client.Line(), kFileDone);
        WAIT_COMPARE(server.sessions.TransferCount(), 0);

        QStringList expected{"OnNewFtpSession(1,1)", "OnSessionStatusChange(1,127.0.0.1,1)",
                             "OnInitRetrive(1,127.0.0.1,1,/sub/file.bin)"};
        for (const int total : totals)
            expected
                << QStringLiteral("OnNewDataBlockSent(1,127.0.0.1,%1,%2)").arg(total).arg(size);
        expected << "OnSessionStatusChange(1,127.0.0.1,0)"
                 << "OnTransferTerminate(1,0)";
        QCOMPARE(server.events, expected);
    }

    // A file that changes while it is retrieved: before the first block the
    // transfer sends what the file holds then; after it, a file that grew is
    // sent to its new end, and one cut below what was sent is a failure.
    void fileThatChanges_data()
    {
        QTest::addColumn<int>("changeAt"); // the running total; 0: before the connection
        QTest::addColumn<int>("newSize");
        QTest::addColumn<QList<int>>("totals");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("grown before the start")
            << 0 << 1000 << QList<int>{256, 512, 768, 1000} << QByteArray(kFileDone);
        QTest::newRow("cut before the start")
            << 0 << 300 << QList<int>{256, 300} << QByteArray(kFileDone);
        QTest::newRow("grown while sent")
            << 256 << 1000 << QList<int>{256, 512, 768, 1000} << QByteArray(kFileDone);
        QTest::newRow("cut below what was sent")
            << 512 << 300 << QList<int>{256, 512} << QByteArray("451 Local error ");
    }
    void fileThatChanges()
    {
        QFETCH(int, changeAt);
        QFETCH(int, newSize);
        QFETCH(QList<int>, totals);
        QFETCH(QByteArray, reply);
        QTemporaryDir folder;
        const QString path = folder.filePath("file.bin");
        WriteFile(path, Pattern(600));
        const auto change = [&path, newSize] { WriteFile(path, Pattern(newSize)); };
        QTcpServer client;
        QVERIFY(client.listen(QHostAddress::LocalHost, 0));
        FTcpDataTransfer transfer({"1", "127.0.0.1", client.serverPort()});
        QList<int> seen;
        QByteArrayList replies;
        connect(&transfer, &FTcpDataTransfer::OnNewDataBlockSent, this, [&](qint64 total) {
            seen << int(total);
            if (total == changeAt)
                change();
        });
        connect(&transfer, &FTcpDataTransfer::OnReply, this,
                [&replies](const QByteArray& text) { replies << text; });
        QSignalSpy ended(&transfer, &FTcpDataTransfer::OnEnded);
        auto file = std::make_unique<QFile>(path);
        QVERIFY(file->open(QIODevice::ReadOnly));
        transfer.OpenRetrieve(std::move(file), "file.bin");
        if (changeAt == 0)
            change();
        QTRY_VERIFY(client.hasPendingConnections());
        std::unique_ptr<QTcpSocket> data(client.nextPendingConnection());
        QByteArray received;
        connect(data.get(), &QTcpSocket::readyRead, this,
                [&received, &data] { received += data->readAll(); });
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
        QCOMPARE(seen, totals);
        QCOMPARE(replies, QByteArrayList{reply});
        if (reply == kFileDone)
            QTRY_COMPARE(received += data->readAll(), Pattern(newSize));
    }

    void store_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("nothing sent: an empty file") << 0;
        QTest::newRow("257 bytes") << 257;
        QTest::newRow("300 KiB") << 300 * 1024;
    }
    void store()
    {
        QFETCH(int, size);
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        WriteFile(server.Path("up.bin"), "old content that must go");
        QCOMPARE(client.Command("STOR up.bin"), kStoreOpening);
        QCOMPARE(ReadFile(server.Path("up.bin")), QByteArray()); // gone before any data
        QVERIFY(client.SendData(Pattern(size)));
        QCOMPARE(client.Line(), kFileDone);
        WAIT_COMPARE(server.sessions.TransferCount(), 0);
        QCOMPARE(ReadFile(server.Path("up.bin")), Pattern(size));
        // Without the pieces received, whose sizes are the system's choice.
        QCOMPARE(server.events.filter(QRegularExpression("^(?!OnNewDataBlockRecv)")),
                 (QStringList{"OnNewFtpSession(1,1)", "OnSessionStatusChange(1,127.0.0.1,2)",
                              "OnInitStore(1,127.0.0.1,2,/up.bin)",
                              "OnSessionStatusChange(1,127.0.0.1,0)", "OnTransferTerminate(1,0)"}));
        if (size > 0)
            QVERIFY(server.events.contains(
                QStringLiteral("OnNewDataBlockRecv(1,127.0.0.1,%1)").arg(size)));
    }

    void listing_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("LIST, no hidden file") << QByteArray("LIST") << QStringList{"a.txt", "sub"};
        QTest::newRow("NLST gives the same lines")
            << QByteArray("NLST") << QStringList{"a.txt", "sub"};
        QTest::newRow("a folder") << QByteArray("LIST sub") << QStringList{"b.txt", "empty"};
        QTest::newRow("an empty folder") << QByteArray("LIST sub/empty") << QStringList{};
    }
    void listing()
    {
        QFETCH(QByteArray, command);
        QFETCH(QStringList, names);
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        WriteFile(server.Path("a.txt"), "a");
        WriteFile(server.Path(".dot"), "hidden");
        WriteFile(server.Path("sub/b.txt"), "bb");
        QVERIFY(QDir(server.Path("sub")).mkdir("empty"));
        QCOMPARE(client.Command(command), kListOpening);
        QStringList got;
        for (const QByteArray& line : client.ReceiveData().split('\n')) {
            if (!line.isEmpty())
                got << QString::fromUtf8(line.split('\t').value(1));
        }
        got.sort();
        QCOMPARE(got, names);
        QCOMPARE(client.Line(), QByteArray("226 Transfer complete."));
        // ABOR after a listing finds nothing to stop and says nothing.
        client.Send("ABOR\r\n");
        QCOMPARE(client.Command("PWD"), QByteArray("257 \"/\""));
        QCOMPARE(server.events, QStringList{"OnNewFtpSession(1,1)"}); // no status change
    }

    void connectionThatCannotOpen_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("opening");
        QTest::addColumn<QByteArray>("port"); // sent after logging in; empty: the client refuses
        QTest::newRow("RETR refused") << QByteArray("RETR f") << kRetrieveOpening << QByteArray();
        QTest::newRow("STOR refused") << QByteArray("STOR g") << kStoreOpening << QByteArray();
        QTest::newRow("LIST refused") << QByteArray("LIST") << kListOpening << QByteArray();
        QTest::newRow("port outside the range")
            << QByteArray("RETR f") << kRetrieveOpening << QByteArray("256,0");
        QTest::newRow("the server's own data port: it must not connect to itself")
            << QByteArray("STOR g") << kStoreOpening << QByteArray("own");
    }
    void connectionThatCannotOpen()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, opening);
        QFETCH(QByteArray, port);
        QTcpServer probe; // a port that is free: the server's own data port
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 ownPort = probe.serverPort();
        probe.close();
        CFtpTestServer server(ownPort);
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        WriteFile(server.Path("f"), "content");
        if (port.isEmpty())
            client.RefuseData();
        else if (port == "own")
            port = QByteArray::number(ownPort / 256) + ',' + QByteArray::number(ownPort % 256);
        if (!port.isEmpty())
            QCOMPARE(client.Command("PORT 127,0,0,1," + port),
                     QByteArray("200 Port command successful"));
        QCOMPARE(client.Command(command), opening);
        QCOMPARE(client.Line(), kCannotOpen);
        // Nothing claims success afterwards: the next reply is the next command's.
        QCOMPARE(client.Command("PWD"), QByteArray("257 \"/\""));
        WAIT_COMPARE(server.sessions.TransferCount(), 0);
        QCOMPARE(server.events, QStringList{"OnNewFtpSession(1,1)"});
    }

    // A retrieve or store stopped before its end: the file is closed, the
    // status is back, and nothing runs any more for a later ABOR to stop.
    void stoppedMidway_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("stop");  // on the control connection; empty: the client drops
        QTest::addColumn<QByteArray>("reply"); // empty: none
        const auto row = [](const char* name, const char* command, const char* stop,
                            const char* reply) {
            QTest::newRow(name) << QByteArray(command) << QByteArray(stop) << QByteArray(reply);
        };
        row("ABOR during a retrieve, after a Telnet interrupt", "RETR big",
            "\xFF\xF4\xFF"
            "ABOR",
            "226 Closing data connection");
        row("ABOR during a store keeps what was written", "STOR big", "ABOR",
            "226 Closing data connection");
        row("the client drops a retrieve", "RETR big", "", "");
    }
    void stoppedMidway()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, stop);
        QFETCH(QByteArray, reply);
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        // More than the system's socket buffers hold, so it is still running.
        const QByteArray content = Pattern(16 * 1024 * 1024);
        WriteFile(server.Path("big"), content);
        QVERIFY(client.Command(command).startsWith("150 "));
        QTcpSocket* data = client.AcceptData();
        QVERIFY(data);
        WAIT_COMPARE(server.sessions.ActiveTransferCount(), 1);
        const bool store = command.startsWith("STOR");
        if (store) {
            data->write("first piece");
            WAIT_COMPARE(server.events.last(),
                         QStringLiteral("OnNewDataBlockRecv(1,127.0.0.1,11)"));
        }
        if (stop.isEmpty())
            data->abort();
        else
            client.Send(stop + "\r\n");
        if (!reply.isEmpty())
            QCOMPARE(client.Line(), reply);
        if (!store && !stop.isEmpty()) {
            const QByteArray received = client.ReceiveData();
            QVERIFY(received.size() < content.size() && content.startsWith(received));
        }
        WAIT_COMPARE(server.sessions.TransferCount(), 0);
        QCOMPARE(server.events.last(), QStringLiteral("OnTransferTerminate(1,0)"));
        QCOMPARE(server.sessions.Item("1")->SessionStatus(), essWaitCommand);
        if (store)
            QCOMPARE(ReadFile(server.Path("big")), QByteArray("first piece"));
        client.Send("ABOR\r\n");
        QCOMPARE(client.Command("PWD"), QByteArray("257 \"/\""));
    }

    void storeThatCannotBeWrittenIsAFailure()
    {
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        QCOMPARE(client.Command("STOR full"), kStoreOpening);
        QTcpSocket* data = client.AcceptData();
        QVERIFY(data);
        // Files of this process may not grow past 64 KiB while the data arrives.
        rlimit oldLimit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
        rlimit limit = oldLimit;
        limit.rlim_cur = 64 * 1024;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        data->write(Pattern(256 * 1024));
        const QByteArray reply = client.Line();
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(reply, QByteArray("451 Local error "));
        QCOMPARE(server.events.last(), QStringLiteral("OnTransferTerminate(1,0)"));
        QCOMPARE(client.Command("PWD"), QByteArray("257 \"/\""));
    }

    // A port that never accepts: the time-out ends the transfer with 425, or
    // ABOR ends it, a listing too; its socket goes either way.
    void dataPortThatNeverAccepts_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("stop"); // empty: wait for the time-out
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("events"); // after the greeting's
        QTest::newRow("LIST times out")
            << QByteArray("LIST") << QByteArray() << kCannotOpen << QStringList{};
        QTest::newRow("RETR times out")
            << QByteArray("RETR f") << QByteArray() << kCannotOpen << QStringList{};
        QTest::newRow("ABOR ends a listing")
            << QByteArray("LIST") << QByteArray("ABOR") << QByteArray("226 Closing data connection")
            << QStringList{"OnTransferTerminate(1,0)"};
    }
    void dataPortThatNeverAccepts()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, stop);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, events);
        const CBlockedPort blocked;
        CFtpTestServer server(0, stop.isEmpty() ? 50 : kFtpDataConnectTimeoutMs);
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        WriteFile(server.Path("f"), "content");
        QCOMPARE(client.Command("PORT 127,0,0,1," + blocked.PortFields()),
                 QByteArray("200 Port command successful"));
        QCOMPARE(client.Command(command).left(4), QByteArray("150 "));
        if (!stop.isEmpty())
            client.Send(stop + "\r\n");
        QCOMPARE(client.Line(), reply);
        WAIT_COMPARE(server.sessions.TransferCount(), 0);
        QCOMPARE(server.events.mid(1), events);
        QCOMPARE(client.Command("PWD"), QByteArray("257 \"/\""));
    }

    // Pipelined listings run one after another: a flood of them holds one
    // data connection at a time, not one each.
    void pipelinedListingsHoldOneConnection()
    {
        const CBlockedPort blocked;
        CFtpTestServer server(0, 20);
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        QCOMPARE(client.Command("PORT 127,0,0,1," + blocked.PortFields()),
                 QByteArray("200 Port command successful"));
        const int before = OpenDescriptors();
        client.Send(QByteArray("LIST\r\n").repeated(3000));
        int most = before;
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(client.Line().left(4), QByteArray("150 "));
            most = std::max(most, OpenDescriptors());
            QVERIFY(server.sessions.TransferCount() <= 1);
            QCOMPARE(client.Line(), kCannotOpen);
        }
        QVERIFY2(most <= before + 2, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(most)));
    }

    // Names are bytes: one that is not UTF-8 is stored and retrieved as it is.
    void nameThatIsNotUtf8()
    {
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        const QByteArray name = "caf\xe9";
        QCOMPARE(client.Command("STOR " + name), kStoreOpening);
        QVERIFY(client.SendData("bytes"));
        QCOMPARE(client.Line(), kFileDone);
        QCOMPARE(client.Command("RETR " + name), kRetrieveOpening);
        QCOMPARE(client.ReceiveData(), QByteArray("bytes"));
        QCOMPARE(client.Line(), kFileDone);
        // Qt cannot name it, and so its temporary folder could not remove it.
        QVERIFY(RemoveRawName(QFile::encodeName(server.Path(QString()) + '/') + name));
    }

    void transferOutlivesItsSession()
    {
        CFtpTestServer server;
        CFtpTestClient client(server.Port());
        QVERIFY(client.LogIn());
        QCOMPARE(client.Command("STOR late"), kStoreOpening);
        QTcpSocket* data = client.AcceptData();
        QVERIFY(data);
        QCOMPARE(client.Command("QUIT"), QByteArray("221 Goodbye."));
        QVERIFY(client.WaitClosed());
        WAIT_COMPARE(server.events.last(), QStringLiteral("OnCloseFtpSession(1,127.0.0.1,0)"));
        data->write("still stored");
        data->disconnectFromHost();
        WAIT_COMPARE(server.sessions.TransferCount(), 0);
        QCOMPARE(ReadFile(server.Path("late")), QByteArray("still stored"));
        // Its notifications still tell whose they are.
        QVERIFY(server.events.contains("OnNewDataBlockRecv(1,127.0.0.1,12)"));
        QCOMPARE(server.events.last(), QStringLiteral("OnTransferTerminate(1,0)"));
    }
};

QTEST_GUILESS_MAIN(tst_FTcpDataTransfer)
#include "tst_FTcpDataTransfer.moc"
