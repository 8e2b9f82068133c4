#include "common/messages/CMessageService.h"
#include "common/ui/CTrayIcon.h"
#include "fileserver/cFtpServer.h"
#include "fileserver/ui/FMonitor.h"
#include "fileserver/ui/FTray.h"
#include "tests/fileserver/LoopbackServerOptions.h"
#include "tests/fileserver/ftp/FtpTestPeer.h"

#include <QApplication>
#include <QDialog>
#include <QNetworkDatagram>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QtTest>

namespace {

// Every session event of the server, with its arguments, in the order raised.
void RecordEvents(cFtpServer& server, QStringList& events)
{
    RECORD(&server, cFtpServer, OnNewFtpSession, events);
    RECORD(&server, cFtpServer, OnCloseFtpSession, events);
    RECORD(&server, cFtpServer, OnInitRetrive, events);
    RECORD(&server, cFtpServer, OnInitStore, events);
    RECORD(&server, cFtpServer, OnNewDataBlockRecv, events);
    RECORD(&server, cFtpServer, OnNewDataBlockSent, events);
    RECORD(&server, cFtpServer, OnSessionStatusChange, events);
}

QString RowText(FMonitor* monitor, int row, int column)
{
    return monitor->ListView()->topLevelItem(row)->text(column);
}

} // namespace

class tst_cFtpServer final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_messages.clear();
        CMessageService::SetHandler([this](const SMessage& message) {
            m_messages << message.title + QStringLiteral(": ") + message.text;
            return EMessageResult::Ok;
        });
    }
    void cleanup() { CMessageService::SetHandler({}); }

    void tftpAtOnceFtpOnlyAfterEnable()
    {
        SFtpServerOptions options = Options();
        QTcpServer probe; // a port where nothing listens until Enable
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        options.ftpPort = probe.serverPort();
        probe.close();
        cFtpServer server(options);
        QTcpSocket refused;
        refused.connectToHost(QHostAddress::LocalHost, options.ftpPort);
        WAIT_COMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);

        WriteFile(m_folder->filePath("boot.bin"), QByteArray(10, 'b'));
        QUdpSocket tftp;
        tftp.writeDatagram(QByteArray("\0\1boot.bin\0octet\0", 17), QHostAddress::LocalHost,
                           server.TftpPort());
        QVERIFY(WaitUntil([&tftp] { return tftp.hasPendingDatagrams(); }));
        QCOMPARE(tftp.receiveDatagram().data(), QByteArray("\0\3\0\1", 4) + QByteArray(10, 'b'));

        server.SetEnable(true);
        QCOMPARE(server.FtpPort(), options.ftpPort);
        CFtpTestClient client(options.ftpPort);
        QCOMPARE(client.Line(),
                 QByteArray("220 Welcome to the brennor Orvane FTP/TFTP Server Ver. 1.2.4"));
    }

    void eventsOfRetrieveAndStore()
    {
        WriteFile(m_folder->filePath("six.bin"), QByteArray(600, 's'));
        cFtpServer server(Options());
        server.SetEnable(true);
        QStringList events;
        RecordEvents(server, events);
        CFtpTestClient client(server.FtpPort());
        QVERIFY(client.LogIn());
        QCOMPARE(client.Command("RETR six.bin"),
                 "150 File status ok; about to open data connection");
        QCOMPARE(client.ReceiveData().size(), 600);
        QCOMPARE(client.Line(), "226 Closing data connection, file transfer successful");
        QCOMPARE(client.Command("STOR up.bin"), QByteArray("150 About to open data connection"));
        QVERIFY(client.SendData(QByteArray(100, 'u')));
        QCOMPARE(client.Line(), "226 Closing data connection, file transfer successful");
        QCOMPARE(client.Command("QUIT"), QByteArray("221 Goodbye."));
        WAIT_COMPARE(events.last(), QStringLiteral("OnCloseFtpSession(1,127.0.0.1,0)"));
        QCOMPARE(events, (QStringList{
                             "OnNewFtpSession(1,127.0.0.1,0,1)",
                             "OnSessionStatusChange(1,127.0.0.1,1)",
                             "OnInitRetrive(1,127.0.0.1,1,/six.bin)",
                             "OnNewDataBlockSent(1,127.0.0.1,256,600)",
                             "OnNewDataBlockSent(1,127.0.0.1,512,600)",
                             "OnNewDataBlockSent(1,127.0.0.1,600,600)",
                             "OnSessionStatusChange(1,127.0.0.1,0)",
                             "OnSessionStatusChange(1,127.0.0.1,2)",
                             "OnInitStore(1,127.0.0.1,2,/up.bin)",
                             "OnNewDataBlockRecv(1,127.0.0.1,100)",
                             "OnSessionStatusChange(1,127.0.0.1,0)",
                             "OnCloseFtpSession(1,127.0.0.1,0)",
                         }));
    }

    // A retrieve goes on after its session has closed: its events still come,
    // with the client's address and the file's size.
    void eventsOfATransferWhoseSessionHasGone()
    {
        // More than the system's socket buffers hold, so it is still running.
        const int size = 16 * 1024 * 1024;
        WriteFile(m_folder->filePath("big"), Pattern(size));
        cFtpServer server(Options());
        server.SetEnable(true);
        server.SetEnableMonitor(true);
        QStringList events;
        RecordEvents(server, events);
        CFtpTestClient client(server.FtpPort());
        QVERIFY(client.LogIn());
        QCOMPARE(client.Command("RETR big"), "150 File status ok; about to open data connection");
        QVERIFY(client.AcceptData());
        WAIT_COMPARE(events.last().left(18), QStringLiteral("OnNewDataBlockSent"));
        client.Send("QUIT\r\n");
        QVERIFY(client.WaitClosed());
        WAIT_COMPARE(server.Monitor()->ListView()->topLevelItemCount(), 0);
        QCOMPARE(client.ReceiveData(), Pattern(size));
        const QString closed = QStringLiteral("OnCloseFtpSession(1,127.0.0.1,0)");
        QVERIFY(events.contains(closed));
        const QStringList after = events.mid(events.indexOf(closed) + 1);
        QCOMPARE(after.value(after.size() - 1),
                 QStringLiteral("OnNewDataBlockSent(1,127.0.0.1,%1,%1)").arg(size));
    }

    void monitorShowsTheSessions()
    {
        cFtpServer server(Options());
        server.SetEnable(true);
        CFtpTestClient idle(server.FtpPort());
        QVERIFY(idle.LogIn());
        CFtpTestClient storing(server.FtpPort());
        QVERIFY(storing.LogIn());
        QCOMPARE(storing.Command("STOR up.bin"), QByteArray("150 About to open data connection"));
        QTcpSocket* upload = storing.AcceptData();
        QVERIFY(upload);
        WAIT_COMPARE(server.ActiveTransferCount(), 1);

        // Opened while the second session stores a file.
        server.SetEnableMonitor(true);
        FMonitor* monitor = server.Monitor();
        QVERIFY(monitor && monitor->isVisible());
        QCOMPARE(monitor->ListView()->topLevelItemCount(), 2);
        QCOMPARE(RowText(monitor, 0, FMonitor::kColumnStatus), QStringLiteral("Wait command"));
        QCOMPARE(RowText(monitor, 1, FMonitor::kColumnSessionId), QStringLiteral("2"));
        QCOMPARE(RowText(monitor, 1, FMonitor::kColumnStatus), QStringLiteral("Storing"));
        QCOMPARE(RowText(monitor, 1, FMonitor::kColumnFile), QStringLiteral("/up.bin"));
        upload->write(QByteArray(4096, 'u'));
        WAIT_COMPARE(RowText(monitor, 1, FMonitor::kColumnRate), QStringLiteral("4096 Byte"));
        upload->disconnectFromHost();
        WAIT_COMPARE(RowText(monitor, 1, FMonitor::kColumnStatus), QStringLiteral("Wait command"));
        QCOMPARE(RowText(monitor, 1, FMonitor::kColumnFile), QString());

        server.SetEnableMonitor(true); // neither reopens nor refills
        QCOMPARE(server.Monitor(), monitor);
        QCOMPARE(monitor->ListView()->topLevelItemCount(), 2);
        idle.Command("QUIT");
        WAIT_COMPARE(monitor->ListView()->topLevelItemCount(), 1);

        monitor->close(); // the user's close box
        QVERIFY(!server.EnableMonitor());
        QVERIFY(WaitUntil([&server] { return server.Monitor() == nullptr; }));
        server.SetEnableMonitor(true);
        QCOMPARE(server.Monitor()->ListView()->topLevelItemCount(), 1);
    }

    // A monitor opened after a connection was accepted but before its greeting
    // shows the session once, from its greeting on, with its address; its
    // row goes with the session whichever way it ends.
    void monitorOpenedBeforeTheGreeting()
    {
        cFtpServer server(Options());
        FTcpListen listen;
        connect(&listen, &FTcpListen::OnNewConnection, &server, [&server](qintptr handle) {
            server.Sessions()->Add(handle);
            server.SetEnableMonitor(true);
        });
        listen.Listen(0, QHostAddress::LocalHost);
        QSignalSpy opened(&server, &cFtpServer::OnNewFtpSession);
        auto client = std::make_unique<CFtpTestClient>(listen.LocalPort());
        QVERIFY(client->Line().startsWith("220 "));
        WAIT_COMPARE(opened.count(), 1);
        FMonitor* monitor = server.Monitor();
        QCOMPARE(monitor->ListView()->topLevelItemCount(), 1);
        QCOMPARE(RowText(monitor, 0, FMonitor::kColumnRemoteHost), QStringLiteral("127.0.0.1"));
        QCOMPARE(RowText(monitor, 0, FMonitor::kColumnStatus), QStringLiteral("Wait command"));
        client.reset();
        WAIT_COMPARE(monitor->ListView()->topLevelItemCount(), 0);
        // A session whose control connection fails leaves no row behind.
        server.Sessions()->Add(-1);
        WAIT_COMPARE(server.Sessions()->Count(), 0);
        QCOMPARE(monitor->ListView()->topLevelItemCount(), 0);
    }

    void monitorRefusedWhileModalDialogOpen()
    {
        cFtpServer server(Options());
        QDialog dialog;
        QTimer::singleShot(0, &dialog, [&server, &dialog] {
            server.SetEnableMonitor(true);
            dialog.reject();
        });
        dialog.exec();
        QVERIFY(!server.EnableMonitor());
        QCOMPARE(m_messages, QStringList{"Tallis: Can't show in this phase!"});
    }

    void enableTwiceKeepsOneListener()
    {
        cFtpServer server(Options());
        server.SetEnable(true);
        const quint16 port = server.FtpPort();
        server.SetEnable(true);
        QCOMPARE(server.FtpPort(), port);
        server.SetEnable(false);
        QCOMPARE(server.FtpPort(), quint16(0));
        server.SetEnable(true);
        QVERIFY(server.FtpPort() != 0);
        QCoreApplication::processEvents();
        QVERIFY(m_messages.isEmpty());
    }

    void listenerErrorShownOncePerEnable()
    {
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, 0));
        SFtpServerOptions options = Options();
        options.ftpPort = holder.serverPort();
        cFtpServer server(options);
        QSignalSpy failed(&server, &cFtpServer::OnFtpListenerFailed);
        server.SetEnable(true);
        QVERIFY(failed.wait(kWaitMs));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages.first().startsWith("Orvane FTP/TFTP Server Ver. 1.2.4: "));
        QVERIFY(server.Enable()); // keeps its value; nothing is retried
        QCOMPARE(server.FtpPort(), quint16(0));
    }

    void trayDoubleClickRaisesShowMonitor()
    {
        cFtpServer server(Options());
        QSignalSpy tray(&server, &cFtpServer::OnTrayEvent);
        emit server.Tray()->TrayIcon()->SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(tray.count(), 1);
        QCOMPARE(tray.at(0).at(0).value<TrayEvents>(), TrayShowMon);
    }

    void closeMeStopsEverything()
    {
        cFtpServer server(Options());
        server.SetEnable(true);
        const quint16 ftp = server.FtpPort();
        const quint16 tftp = server.TftpPort();
        server.CloseMe();
        QVERIFY(server.Tray() == nullptr);
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.cbegin(), windows.cend(),
                             [](QWidget* w) { return qobject_cast<FTray*>(w) != nullptr; }));
        QTcpServer ftpAgain;
        QVERIFY(ftpAgain.listen(QHostAddress::Any, ftp));
        QUdpSocket tftpAgain;
        QVERIFY(tftpAgain.bind(QHostAddress::Any, tftp));
        server.SetEnable(true); // harmless after CloseMe
        QCOMPARE(server.FtpPort(), quint16(0));
    }

private:
    SFtpServerOptions Options() const
    {
        SFtpServerOptions options = LoopbackServerOptions(m_folder->path());
        options.tftpRetryIntervalMs = 100;
        return options;
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    QStringList m_messages;
};

QTEST_MAIN(tst_cFtpServer)
#include "tst_cFtpServer.moc"
