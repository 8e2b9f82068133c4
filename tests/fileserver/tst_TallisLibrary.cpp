#include "common/CRaisedError.h"
#include "fileserver/cFtpServer.h"
#include "tests/fileserver/LoopbackServerOptions.h"
#include "tests/kit/MessageCapture.h"

#include <QApplication>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

class tst_TallisLibrary final : public QObject {
    Q_OBJECT
private slots:
    // A taken FTP port: one box per Enable titled with the server's title,
    // Enable keeps its value, nothing is retried.
    void listenerErrorReachesTheHostOnce()
    {
        CMessageCapture messages;
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::Any, 0));
        QTemporaryDir folder;
        SFtpServerOptions options = LoopbackServerOptions(folder.path());
        options.ftp.port = taken.serverPort();
        options.trayIcon = false;
        const std::unique_ptr<cFtpServer> server = CreateFtpServer(options);
        QSignalSpy failed(server.get(), &cFtpServer::OnFtpListenerFailed);
        server->SetEnable(true);
        QVERIFY(failed.wait());
        QCOMPARE(messages.Shown().size(), 1);
        QCOMPARE(messages.Shown().at(0).title, cFtpServer::ServerTitle());
        QCOMPARE(messages.Shown().at(0).icon, EMessageIcon::Information);
        QVERIFY(server->Enable());
        QCOMPARE(server->FtpPort(), quint16(0));
        server->CloseMe();
    }
    void creationFailsWhenTftpPortTaken()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::Any, 0));
        QTemporaryDir folder;
        SFtpServerOptions options = LoopbackServerOptions(folder.path());
        options.tftp.port = holder.localPort();
        QVERIFY_THROWS_EXCEPTION(CRaisedError, CreateFtpServer(options));
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }
};

QTEST_MAIN(tst_TallisLibrary)
#include "tst_TallisLibrary.moc"
