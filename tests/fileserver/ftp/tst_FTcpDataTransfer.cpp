#include "fileserver/ftp/FTcpDataTransfer.h"
#include "fileserver/ftp/cFtpSession.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray kStoreOpening = "150 About to open data connection";
const QByteArray kFileDone = "226 Closing data connection, file transfer successful";
const QByteArray kAborted = "226 Closing data connection";
const QByteArray kLocalError = "451 Local error ";
} // namespace

class tst_FTcpDataTransfer final : public QObject {
    Q_OBJECT
private slots:
    // A file that changes while it is retrieved: one that grew is sent to its
    // new end, one cut below what was sent is a failure.
    void fileThatChanges_data()
    {
        QTest::addColumn<int>("changeAt"); // the running total
        QTest::addColumn<int>("newSize");
        QTest::addColumn<QList<int>>("totals");
        QTest::addColumn<QByteArray>("reply");
        const auto row = [](const char* name, int changeAt, int newSize, const QList<int>& totals,
                            const QByteArray& reply) {
            QTest::newRow(name) << changeAt << newSize << totals << reply;
        };
        row("grown while sent", 256, 1000, {256, 512, 768, 1000}, kFileDone);
        row("cut below what was sent", 512, 300, {256, 512}, kLocalError);
    }
    void fileThatChanges()
    {
        QFETCH(int, changeAt);
        QFETCH(int, newSize);
        QFETCH(QList<int>, totals);
        QFETCH(QByteArray, reply);
        QTemporaryDir folder;
        const QString path = folder.filePath("file.bin");
        TestFiles::Write(path, TestFiles::Pattern(600));
        QTcpServer client;
        QVERIFY(client.listen(QHostAddress::LocalHost, 0));
        FTcpDataTransfer transfer({"1", "127.0.0.1", client.serverPort()});
        QList<int> seen;
        QByteArrayList replies;
        connect(&transfer, &FTcpDataTransfer::OnNewDataBlockSent, this, [&](qint64 total) {
            seen << int(total);
            if (total == changeAt)
                TestFiles::Write(path, TestFiles::Pattern(newSize));
        });
        connect(&transfer, &FTcpDataTransfer::OnReply, this,
                [&replies](const QByteArray& text) { replies << text; });
        QSignalSpy ended(&transfer, &FTcpDataTransfer::OnEnded);
        auto file = std::make_unique<QFile>(path);
        QVERIFY(file->open(QIODevice::ReadOnly));
        transfer.OpenRetrieve(std::move(file), "file.bin");
        QTRY_VERIFY(client.hasPendingConnections());
        std::unique_ptr<QTcpSocket> data(client.nextPendingConnection());
        QByteArray received;
        connect(data.get(), &QTcpSocket::readyRead, this,
                [&received, &data] { received += data->readAll(); });
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, kWaitMs);
        QCOMPARE(seen, totals);
        QCOMPARE(replies, QByteArrayList{reply});
        if (reply == kFileDone)
            QTRY_COMPARE(received += data->readAll(), TestFiles::Pattern(newSize));
    }
    // A retrieve or store stopped before its end: the file is closed, the
    // status is back, and nothing runs any more for a later ABOR to stop.
    void stoppedMidway_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("stop");  // on the control connection; empty: the client drops
        QTest::addColumn<QByteArray>("reply"); // empty: none
        const auto row = [](const char* name, const char* command, const QByteArray& stop,
                            const QByteArray& reply) {
            QTest::newRow(name) << QByteArray(command) << stop << reply;
        };
        row("ABOR during a retrieve, after a Telnet interrupt", "RETR big",
            "\xFF\xF4\xFF"
            "ABOR",
            kAborted);
        row("ABOR during a store keeps what was written", "STOR big", "ABOR", kAborted);
        row("the client drops a retrieve", "RETR big", {}, {});
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
        const QByteArray content = TestFiles::Pattern(16 * 1024 * 1024);
        TestFiles::Write(server.Path("big"), content);
        QVERIFY(client.Command(command).startsWith("150 "));
        QTcpSocket* data = client.AcceptData();
        QVERIFY(data);
        WAIT_COMPARE(server.sessions->ActiveTransferCount(), 1);
        const bool store = command.startsWith("STOR");
        QCOMPARE(server.sessions->Item("1")->SessionStatus(), store ? essStoring : essSending);
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
        WAIT_COMPARE(server.sessions->TransferCount(), 0);
        QCOMPARE(server.events.last(), QStringLiteral("OnTransferTerminate(1,0)"));
        QCOMPARE(server.sessions->ActiveTransferCount(), 0);
        if (store)
            QCOMPARE(TestFiles::Read(server.Path("big")), QByteArray("first piece"));
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
        data->write(TestFiles::Pattern(256 * 1024));
        const QByteArray reply = client.Line();
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(reply, kLocalError);
        QCOMPARE(server.events.last(), QStringLiteral("OnTransferTerminate(1,0)"));
        QCOMPARE(client.Command("PWD"), QByteArray("257 \"/\""));
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
        WAIT_COMPARE(server.sessions->TransferCount(), 0);
        QCOMPARE(TestFiles::Read(server.Path("late")), QByteArray("still stored"));
        QVERIFY(server.events.contains("OnNewDataBlockRecv(1,127.0.0.1,12)"));
        QCOMPARE(server.events.last(), QStringLiteral("OnTransferTerminate(1,0)"));
    }
};

QTEST_GUILESS_MAIN(tst_FTcpDataTransfer)
#include "tst_FTcpDataTransfer.moc"
