#include "common/CRaisedError.h"
#include "common/messages/CMessageService.h"
#include "common/ui/CTrayIcon.h"
#include "fileserver/cFtpServer.h"
#include "fileserver/ui/FMonitor.h"
#include "fileserver/ui/FTray.h"
#include "tests/fileserver/LoopbackServerOptions.h"

#include <QDialog>
#include <QFile>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

// A free TCP port on loopback, found by binding port 0 and letting it go.
quint16 FreeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

// A minimal FTP client: one control connection, replies read line by line.
class CTestClient final {
public:
    explicit CTestClient(quint16 port) { m_control.connectToHost(QHostAddress::LocalHost, port); }

    // Waits for the next reply line.
    QByteArray Reply()
    {
        // The server runs on this thread: wait with the event loop running.
        if (!QTest::qWaitFor([this] { return m_control.canReadLine(); }, 10000))
            return QByteArray("(no reply)");
        return m_control.readLine().trimmed();
    }

    void Send(const QByteArray& command) { m_control.write(command + "\r\n"); }

    QByteArray Command(const QByteArray& command)
    {
        Send(command);
        return Reply();
    }

    // Opens a data listener and tells the server its port.
    void PortCommand(QTcpServer& data)
    {
        data.listen(QHostAddress::LocalHost, 0);
        const quint16 port = data.serverPort();
        Command("PORT 127,0,0,1," + QByteArray::number(port / 256) + ","
                + QByteArray::number(port % 256));
    }

    QTcpSocket& Control() { return m_control; }

private:
    QTcpSocket m_control;
};

// Accepts the server's data connection and reads it to its end.
QByteArray ReadAll(QTcpServer& data)
{
    QByteArray bytes;
    if (!QTest::qWaitFor([&data] { return data.hasPendingConnections(); }, 10000))
        return bytes;
    std::unique_ptr<QTcpSocket> socket(data.nextPendingConnection());
    const bool ended = QTest::qWaitFor(
        [&socket, &bytes] {
            bytes += socket->readAll();
            return socket->state() == QAbstractSocket::UnconnectedState;
        },
        10000);
    return ended ? bytes + socket->readAll() : QByteArray("(data connection did not end)");
}

} // namespace

class tst_cFtpServer final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_folder.isValid());
        m_messages.clear();
        CMessageService::SetHandler([this](const SMessage& message) {
            m_messages << message.title + QStringLiteral(": ") + message.text;
            return EMessageResult::Ok;
        });
    }
    void cleanup() { CMessageService::SetHandler({}); }

    void ftpOnlyAfterEnableTftpAtOnce()
    {
        auto options = Options();
        options.ftpPort = FreeTcpPort();
        cFtpServer server(options);
        QVERIFY(!server.Enable());
        QVERIFY(server.TftpPort() != 0);

        QTcpSocket refused;
        QSignalSpy errors(&refused, &QTcpSocket::errorOccurred);
        refused.connectToHost(QHostAddress::LocalHost, options.ftpPort);
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);

        WriteFile(QStringLiteral("boot.bin"), QByteArray(10, 'b'));
        QUdpSocket tftp;
        tftp.writeDatagram(QByteArray("\0\1boot.bin\0octet\0", 17), QHostAddress::LocalHost,
                           server.TftpPort());
        QTRY_VERIFY(tftp.hasPendingDatagrams());
        QCOMPARE(tftp.receiveDatagram().data(), QByteArray("\0\3\0\1", 4) + QByteArray(10, 'b'));

        server.SetEnable(true);
        QVERIFY(server.Enable());
        QCOMPARE(server.FtpPort(), options.ftpPort);
        CTestClient client(options.ftpPort);
        QCOMPARE(client.Reply(),
                 QByteArray("220 Welcome to the brennor Orvane FTP/TFTP Server Ver. 1.2.4"));
    }

    void eventsOfRetrieveAndStore()
    {
        WriteFile(QStringLiteral("six.bin"), QByteArray(600, 's'));
        cFtpServer server(Options());
        server.SetEnable(true);
        QStringList events;
        Record(server, events);

        CTestClient client(server.FtpPort());
        QVERIFY(client.Reply().startsWith("220"));
        QTRY_COMPARE(events.size(), 1);
        QCOMPARE(client.Command("PASS any"), QByteArray("230 User logged in"));

        QTcpServer data;
        client.PortCommand(data);
        QCOMPARE(client.Command("RETR six.bin"),
                 QByteArray("150 File status ok; about to open data connection"));
        QCOMPARE(ReadAll(data).size(), 600);
        QCOMPARE(client.Reply(),
                 QByteArray("226 Closing data connection, file transfer successful"));

        QTcpServer storeData;
        client.PortCommand(storeData);
        QCOMPARE(client.Command("STOR up.bin"), QByteArray("150 About to open data connection"));
        QTRY_VERIFY(storeData.hasPendingConnections());
        {
            std::unique_ptr<QTcpSocket> socket(storeData.nextPendingConnection());
            socket->write(QByteArray(100, 'u'));
            socket->disconnectFromHost();
            QTRY_COMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        }
        QCOMPARE(client.Reply(),
                 QByteArray("226 Closing data connection, file transfer successful"));
        QCOMPARE(client.Command("QUIT"), QByteArray("221 Goodbye."));
        QTRY_VERIFY(events.last().startsWith(QLatin1String("OnCloseFtpSession")));

        const QStringList expected{
            "OnNewFtpSession(1,127.0.0.1,0,1)",        "OnSessionStatusChange(1,127.0.0.1,1)",
            "OnInitRetrive(1,127.0.0.1,1,/six.bin)",   "OnNewDataBlockSent(1,127.0.0.1,256,600)",
            "OnNewDataBlockSent(1,127.0.0.1,512,600)", "OnNewDataBlockSent(1,127.0.0.1,600,600)",
            "OnSessionStatusChange(1,127.0.0.1,0)",    "OnSessionStatusChange(1,127.0.0.1,2)",
            "OnInitStore(1,127.0.0.1,2,/up.bin)",      "OnNewDataBlockRecv(1,127.0.0.1,100)",
            "OnSessionStatusChange(1,127.0.0.1,0)",    "OnCloseFtpSession(1,127.0.0.1,0)",
        };
        QCOMPARE(events, expected);
    }

    void monitorShowsTheSessionsOnce()
    {
        cFtpServer server(Options());
        server.SetEnable(true);
        QSignalSpy opened(&server, &cFtpServer::OnNewFtpSession);
        CTestClient first(server.FtpPort());
        CTestClient second(server.FtpPort());
        QTRY_COMPARE(opened.count(), 2);

        // The second session is storing a file when the monitor opens.
        QVERIFY(second.Reply().startsWith("220"));
        QCOMPARE(second.Command("PASS any"), QByteArray("230 User logged in"));
        QTcpServer data;
        second.PortCommand(data);
        QSignalSpy storing(&server, &cFtpServer::OnInitStore);
        QCOMPARE(second.Command("STOR up.bin"), QByteArray("150 About to open data connection"));
        QTRY_VERIFY(data.hasPendingConnections());
        std::unique_ptr<QTcpSocket> upload(data.nextPendingConnection());
        QTRY_COMPARE(storing.count(), 1);

        server.SetEnableMonitor(true);
        QVERIFY(server.EnableMonitor());
        FMonitor* monitor = server.Monitor();
        QVERIFY(monitor && monitor->isVisible());
        QCOMPARE(monitor->ListView()->topLevelItemCount(), 2);
        const QTreeWidgetItem* idle = monitor->ListView()->topLevelItem(0);
        const QTreeWidgetItem* busy = monitor->ListView()->topLevelItem(1);
        QCOMPARE(idle->text(FMonitor::kColumnSessionId), QStringLiteral("1"));
        QCOMPARE(idle->text(FMonitor::kColumnStatus), QStringLiteral("Wait command"));
        QCOMPARE(idle->text(FMonitor::kColumnFile), QString());
        QCOMPARE(busy->text(FMonitor::kColumnSessionId), QStringLiteral("2"));
        QCOMPARE(busy->text(FMonitor::kColumnStatus), QStringLiteral("Storing"));
        QCOMPARE(busy->text(FMonitor::kColumnFile), QStringLiteral("/up.bin"));

        upload->write(QByteArray(4096, 'u'));
        QTRY_COMPARE(busy->text(FMonitor::kColumnRate), QStringLiteral("4096 Byte"));
        upload->disconnectFromHost();
        QTRY_COMPARE(busy->text(FMonitor::kColumnStatus), QStringLiteral("Wait command"));
        QCOMPARE(busy->text(FMonitor::kColumnFile), QString());

        server.SetEnableMonitor(true); // neither reopens nor refills
        QCOMPARE(server.Monitor(), monitor);
        QCOMPARE(monitor->ListView()->topLevelItemCount(), 2);

        QSignalSpy closed(&server, &cFtpServer::OnCloseFtpSession);
        first.Command("QUIT");
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(monitor->ListView()->topLevelItemCount(), 1);

        monitor->close(); // the user's close box
        QVERIFY(!server.EnableMonitor());
        QTRY_VERIFY(server.Monitor() == nullptr);
        server.SetEnableMonitor(true);
        QVERIFY(server.Monitor() != nullptr);
        QCOMPARE(server.Monitor()->ListView()->topLevelItemCount(), 1);
        server.SetEnableMonitor(false);
        QTRY_VERIFY(server.Monitor() == nullptr);
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

    void enableTwiceKeepsOneListenerAndListensAgain()
    {
        cFtpServer server(Options());
        server.SetEnable(true);
        const quint16 port = server.FtpPort();
        server.SetEnable(true);
        QCOMPARE(server.FtpPort(), port);
        QCoreApplication::processEvents();
        QVERIFY(m_messages.isEmpty());
        server.SetEnable(false);
        QCOMPARE(server.FtpPort(), quint16(0));
        server.SetEnable(true);
        QVERIFY(server.FtpPort() != 0);
    }

    void listenerErrorShownOncePerEnable()
    {
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, 0));
        auto options = Options();
        options.ftpPort = holder.serverPort();
        cFtpServer server(options);
        QSignalSpy failed(&server, &cFtpServer::FtpListenerFailed);
        server.SetEnable(true);
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(
            m_messages.first().startsWith(QLatin1String("Orvane FTP/TFTP Server Ver. 1.2.4: ")));
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
        QVERIFY(QApplication::topLevelWidgets().isEmpty()
                || std::none_of(QApplication::topLevelWidgets().cbegin(),
                                QApplication::topLevelWidgets().cend(),
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
        SFtpServerOptions options = LoopbackServerOptions(m_folder.path());
        options.tftpRetryIntervalMs = 100;
        return options;
    }

    void WriteFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QString Args(const QVariantList& values)
    {
        QStringList texts;
        for (const QVariant& value : values)
            texts << value.toString();
        return texts.join(QLatin1Char(','));
    }

    // Writes every event of the server, with its arguments, into events.
    static void Record(cFtpServer& server, QStringList& events)
    {
        const auto add = [&events](const char* name, const QVariantList& values) {
            events << QStringLiteral("%1(%2)").arg(QLatin1String(name), Args(values));
        };
        connect(&server, &cFtpServer::OnNewFtpSession, &server,
                [add](const QString& id, const QString& host, int status, int count) {
                    add("OnNewFtpSession", {id, host, status, count});
                });
        connect(&server, &cFtpServer::OnCloseFtpSession, &server,
                [add](const QString& id, const QString& host, int count) {
                    add("OnCloseFtpSession", {id, host, count});
                });
        connect(&server, &cFtpServer::OnInitRetrive, &server,
                [add](const QString& id, const QString& host, int status, const QString& file) {
                    add("OnInitRetrive", {id, host, status, file});
                });
        connect(&server, &cFtpServer::OnInitStore, &server,
                [add](const QString& id, const QString& host, int status, const QString& file) {
                    add("OnInitStore", {id, host, status, file});
                });
        connect(&server, &cFtpServer::OnNewDataBlockRecv, &server,
                [add](const QString& id, const QString& host, qint64 bytes) {
                    add("OnNewDataBlockRecv", {id, host, bytes});
                });
        connect(&server, &cFtpServer::OnNewDataBlockSent, &server,
                [add](const QString& id, const QString& host, qint64 bytes, qint64 total) {
                    add("OnNewDataBlockSent", {id, host, bytes, total});
                });
        connect(&server, &cFtpServer::OnSessionStatusChange, &server,
                [add](const QString& id, const QString& host, int status) {
                    add("OnSessionStatusChange", {id, host, status});
                });
    }

    QTemporaryDir m_folder;
    QStringList m_messages;
};

QTEST_MAIN(tst_cFtpServer)
#include "tst_cFtpServer.moc"
