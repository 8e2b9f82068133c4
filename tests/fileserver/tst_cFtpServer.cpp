#include "common/ui/CTrayIcon.h"
#include "fileserver/cFtpServer.h"
#include "fileserver/ui/FMonitor.h"
#include "fileserver/ui/FTray.h"
#include "tests/fileserver/LoopbackServerOptions.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"
#include "tests/kit/MessageCapture.h"

#include <QApplication>
#include <QDialog>
#include <QNetworkDatagram>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QtTest>

// The server object's face: Enable, the events a host sees, the monitor, CloseMe.
class tst_cFtpServer final : public QObject {
    Q_OBJECT
private slots:
    void init() { m_folder = std::make_unique<QTemporaryDir>(); }
    void tftpAtOnceFtpAfterEnableNothingAfterCloseMe()
    {
        SFtpServerOptions options = LoopbackServerOptions(m_folder->path());
        QTcpServer probe; // a port where nothing listens until Enable
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        options.ftp.port = probe.serverPort();
        probe.close();
        cFtpServer server(options);
        QTcpSocket refused;
        refused.connectToHost(QHostAddress::LocalHost, options.ftp.port);
        WAIT_COMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);
        TestFiles::Write(m_folder->filePath("boot.bin"), QByteArray(10, 'b'));
        QUdpSocket tftp;
        tftp.writeDatagram(QByteArray("\0\1boot.bin\0octet\0", 17), QHostAddress::LocalHost,
                           server.TftpPort());
        QVERIFY(WaitUntil([&tftp] { return tftp.hasPendingDatagrams(); }));
        QCOMPARE(tftp.receiveDatagram().data(), QByteArray("\0\3\0\1", 4) + QByteArray(10, 'b'));
        server.SetEnable(true);
        server.SetEnable(true); // the one listener stays
        QCOMPARE(server.FtpPort(), options.ftp.port);
        CFtpTestClient client(options.ftp.port);
        QCOMPARE(client.Line(),
                 QByteArray("220 Welcome to the brennor Orvane FTP/TFTP Server Ver. 1.2.4"));
        server.SetEnable(false);
        QCOMPARE(server.FtpPort(), quint16(0));
        QCOMPARE(client.Command("PASS x"), QByteArray("230 User logged in")); // sessions go on
        server.SetEnable(true);
        const quint16 tftpPort = server.TftpPort();
        server.CloseMe();
        QVERIFY(server.Tray() == nullptr);
        QVERIFY(probe.listen(QHostAddress::Any, options.ftp.port));
        QUdpSocket tftpAgain;
        QVERIFY(tftpAgain.bind(QHostAddress::Any, tftpPort));
        server.SetEnable(true); // harmless after CloseMe
        QCOMPARE(server.FtpPort(), quint16(0));
    }
    void eventsAHostSees()
    {
        TestFiles::Write(m_folder->filePath("six.bin"), QByteArray(100, 's'));
        cFtpServer server(LoopbackServerOptions(m_folder->path()));
        server.SetEnable(true);
        QStringList events;
        RECORD(&server, cFtpServer, OnNewFtpSession, events);
        RECORD(&server, cFtpServer, OnCloseFtpSession, events);
        RECORD(&server, cFtpServer, OnInitRetrive, events);
        RECORD(&server, cFtpServer, OnInitStore, events);
        RECORD(&server, cFtpServer, OnNewDataBlockRecv, events);
        RECORD(&server, cFtpServer, OnNewDataBlockSent, events);
        connect(&server, &cFtpServer::OnTrayEvent, this, [&events](TrayEvents code) {
            events << QStringLiteral("OnTrayEvent(%1)").arg(code);
        });
        RECORD(&server, cFtpServer, OnSessionStatusChange, events);
        CFtpTestClient client(server.FtpPort());
        QVERIFY(client.LogIn());
        QVERIFY(client.Command("RETR six.bin").startsWith("150 "));
        QCOMPARE(client.ReceiveData().size(), 100);
        QVERIFY(client.Line().startsWith("226 "));
        QVERIFY(client.Command("STOR up.bin").startsWith("150 "));
        QTcpSocket* upload = client.AcceptData();
        QVERIFY(upload);
        upload->write(QByteArray(100, 'u'));
        upload->disconnectFromHost();
        QVERIFY(client.Line().startsWith("226 "));
        QCOMPARE(client.Command("QUIT"), QByteArray("221 Goodbye."));
        WAIT_COMPARE(events.last(), QStringLiteral("OnCloseFtpSession(1,127.0.0.1,0)"));
        emit server.Tray()->TrayIcon()->SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(events, (QStringList{
                             "OnNewFtpSession(1,127.0.0.1,0,1)",
                             "OnSessionStatusChange(1,127.0.0.1,1)",
                             "OnInitRetrive(1,127.0.0.1,1,/six.bin)",
                             "OnNewDataBlockSent(1,127.0.0.1,100,100)",
                             "OnSessionStatusChange(1,127.0.0.1,0)",
                             "OnSessionStatusChange(1,127.0.0.1,2)",
                             "OnInitStore(1,127.0.0.1,2,/up.bin)",
                             "OnNewDataBlockRecv(1,127.0.0.1,100)",
                             "OnSessionStatusChange(1,127.0.0.1,0)",
                             "OnCloseFtpSession(1,127.0.0.1,0)",
                             QStringLiteral("OnTrayEvent(%1)").arg(TrayShowMon),
                         }));
    }
    // The default listeners take both families, and a peer is served alike
    // over either: confined to the folder, shown by its address (an IPv4 one
    // reaching the IPv6 side in its dotted form), data connected back to it
    // whatever PORT names, the tray blinking for FTP and TFTP.
    void peerOfEitherFamily_data()
    {
        QTest::addColumn<QString>("address");    // the server's, as the client reaches it
        QTest::addColumn<QString>("remoteHost"); // the peer as the events and the monitor show it
        QTest::newRow("IPv6") << "::1"
                              << "::1";
        QTest::newRow("IPv4") << "127.0.0.1"
                              << "127.0.0.1";
        QTest::newRow("IPv4-mapped") << "::ffff:127.0.0.1"
                                     << "127.0.0.1";
    }
    void peerOfEitherFamily()
    {
        QFETCH(QString, address);
        QFETCH(QString, remoteHost);
        const QHostAddress target(address);
        const QString served = m_folder->filePath("served");
        QVERIFY(QDir().mkpath(served));
        QVERIFY(TestFiles::Write(m_folder->filePath("outside.bin"), "secret"));
        QVERIFY(TestFiles::Write(served + "/six.bin", QByteArray(100, 's')));
        cFtpServer server(LoopbackServerOptions(served));
        server.SetEnable(true);
        QStringList events;
        RECORD(&server, cFtpServer, OnNewFtpSession, events);
        RECORD(&server, cFtpServer, OnInitRetrive, events);
        RECORD(&server, cFtpServer, OnInitStore, events);
        RECORD(&server, cFtpServer, OnCloseFtpSession, events);
        CFtpTestClient client(server.FtpPort(), target, QHostAddress(remoteHost));
        QVERIFY(client.LogIn());
        QCOMPARE(client.Command("RETR ../outside.bin"),
                 QByteArray("550 File not found or open error"));
        QVERIFY(client.Command("RETR six.bin").startsWith("150 "));
        QCOMPARE(client.ReceiveData(), QByteArray(100, 's'));
        QVERIFY(client.Line().startsWith("226 "));
        server.SetEnableMonitor(true);
        QVERIFY(client.Command("STOR up.bin").startsWith("150 "));
        QTcpSocket* upload = client.AcceptData();
        QVERIFY(upload);
        WAIT_COMPARE(server.ActiveTransferCount(), 1);
        QVERIFY(server.Tray()->Timer()->isActive());
        QCOMPARE(Rows(server.Monitor()), QStringList{remoteHost + "|1|Storing||/up.bin"});
        upload->disconnectFromHost();
        QVERIFY(client.Line().startsWith("226 "));
        QCOMPARE(client.Command("QUIT"), QByteArray("221 Goodbye."));
        WAIT_COMPARE(events.size(), 4);
        QCOMPARE(events, (QStringList{"OnNewFtpSession(1,%1,0,1)", "OnInitRetrive(1,%1,1,/six.bin)",
                                      "OnInitStore(1,%1,2,/up.bin)", "OnCloseFtpSession(1,%1,0)"})
                             .replaceInStrings("%1", remoteHost));

        QUdpSocket tftp;
        QVERIFY(tftp.bind(QHostAddress::Any, 0));
        const auto answer = [&tftp](const QByteArray& request, quint16 port,
                                    const QHostAddress& to) {
            tftp.writeDatagram(request, to, port);
            if (!WaitUntil([&tftp] { return tftp.hasPendingDatagrams(); }))
                return QNetworkDatagram();
            return tftp.receiveDatagram();
        };
        const auto request = [](char opcode, const QByteArray& name) {
            return QByteArray(1, '\0') + opcode + name + QByteArray("\0octet\0", 7);
        };
        QCOMPARE(answer(request(1, "../outside.bin"), server.TftpPort(), target).data().left(4),
                 QByteArray("\0\5\0\2", 4));
        const QNetworkDatagram write = answer(request(2, "up.bin"), server.TftpPort(), target);
        QCOMPARE(write.data(), QByteArray("\0\4\0\0", 4));
        QVERIFY(write.senderAddress().isEqual(target, QHostAddress::TolerantConversion));
        QVERIFY(server.TftpSessionCount() == 1 && server.Tray()->Timer()->isActive());
        QCOMPARE(answer(QByteArray("\0\3\0\1x", 5), quint16(write.senderPort()), target).data(),
                 QByteArray("\0\4\0\1", 4));
        QCOMPARE(TestFiles::Read(served + "/up.bin"), QByteArray("x"));
    }
    // Opened while a session stores; then a session accepted before its
    // greeting shows once, from its greeting on, and a failed one never.
    void monitorShowsTheSessions()
    {
        cFtpServer server(LoopbackServerOptions(m_folder->path()));
        server.SetEnable(true);
        CFtpTestClient idle(server.FtpPort());
        QVERIFY(idle.LogIn());
        CFtpTestClient storing(server.FtpPort());
        QVERIFY(storing.LogIn());
        QVERIFY(storing.Command("STOR up.bin").startsWith("150 "));
        QTcpSocket* upload = storing.AcceptData();
        QVERIFY(upload);
        WAIT_COMPARE(server.ActiveTransferCount(), 1);
        server.SetEnableMonitor(true);
        FMonitor* monitor = server.Monitor();
        QVERIFY(monitor && monitor->isVisible());
        QCOMPARE(Rows(monitor),
                 (QStringList{"127.0.0.1|1|Wait command||", "127.0.0.1|2|Storing||/up.bin"}));
        upload->write(QByteArray(4096, 'u'));
        WAIT_COMPARE(Rows(monitor).value(1),
                     QStringLiteral("127.0.0.1|2|Storing|4096 Byte|/up.bin"));
        upload->disconnectFromHost();
        WAIT_COMPARE(Rows(monitor).value(1), QStringLiteral("127.0.0.1|2|Wait command||"));
        server.SetEnableMonitor(true); // neither reopens nor refills
        QCOMPARE(server.Monitor(), monitor);
        QCOMPARE(Rows(monitor).size(), 2);
        idle.Command("QUIT");
        WAIT_COMPARE(Rows(monitor).size(), 1);
        monitor->close(); // the user's close box
        QVERIFY(!server.EnableMonitor());
        QVERIFY(WaitUntil([&server] { return server.Monitor() == nullptr; }));
        FTcpListen listen;
        connect(&listen, &FTcpListen::OnNewConnection, &server, [&server](qintptr handle) {
            server.Sessions()->Add(handle);
            server.SetEnableMonitor(true);
        });
        listen.Listen(0, QHostAddress::LocalHost);
        auto late = std::make_unique<CFtpTestClient>(listen.LocalPort());
        QVERIFY(late->Line().startsWith("220 "));
        monitor = server.Monitor();
        WAIT_COMPARE(Rows(monitor),
                     (QStringList{"127.0.0.1|2|Wait command||", "127.0.0.1|3|Wait command||"}));
        late.reset();
        WAIT_COMPARE(Rows(monitor).size(), 1);
        server.Sessions()->Add(-1); // its control connection fails at once
        WAIT_COMPARE(server.Sessions()->Count(), 1);
        QCOMPARE(Rows(monitor).size(), 1);
    }
    void monitorRefusedWhileModalDialogOpen()
    {
        CMessageCapture messages;
        cFtpServer server(LoopbackServerOptions(m_folder->path()));
        QDialog dialog;
        QTimer::singleShot(0, &dialog, [&server, &dialog] {
            server.SetEnableMonitor(true);
            dialog.reject();
        });
        dialog.exec();
        QVERIFY(!server.EnableMonitor());
        QCOMPARE(messages.Texts(), QStringList{"Can't show in this phase!"});
        QCOMPARE(messages.Shown().at(0).title, QStringLiteral("Tallis"));
    }

private:
    static QStringList Rows(FMonitor* monitor)
    {
        QStringList rows;
        for (int row = 0; row < monitor->ListView()->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = monitor->ListView()->topLevelItem(row);
            QStringList columns;
            for (int column = 0; column < monitor->ListView()->columnCount(); ++column)
                columns << item->text(column);
            rows << columns.join('|');
        }
        return rows;
    }
    std::unique_ptr<QTemporaryDir> m_folder;
};

QTEST_MAIN(tst_cFtpServer)
#include "tst_cFtpServer.moc"
