#include "common/CRaisedError.h"
#include "common/messages/CMessageService.h"
#include "fileserver/cFtpServer.h"
#include "tests/fileserver/LoopbackServerOptions.h"

#include <QApplication>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

// The component as a host sees it: through libtallis.so's exported face,
// with the process's one message service.
class tst_TallisLibrary final : public QObject {
    Q_OBJECT

private slots:
    void hostHandlerCapturesTheComponentsMessages()
    {
        QList<SMessage> shown;
        const auto previous = CMessageService::SetHandler([&shown](const SMessage& message) {
            shown.append(message);
            return EMessageResult::Ok;
        });

        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::Any, 0));
        QTemporaryDir folder;
        SFtpServerOptions options = LoopbackServerOptions(folder.path());
        options.ftpPort = taken.serverPort();
        options.trayIcon = false;
        const std::unique_ptr<cFtpServer> server = CreateFtpServer(options);
        server->SetEnable(true);

        QTRY_COMPARE(shown.size(), 1);
        QCOMPARE(shown.at(0).title, cFtpServer::ServerTitle());
        QCOMPARE(shown.at(0).icon, EMessageIcon::Information);
        server->CloseMe();
        CMessageService::SetHandler(previous);
    }

    // The component's error type crosses the library boundary, and a failed
    // creation leaves no window behind.
    void creationFailsWhenTftpPortTaken()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::Any, 0));
        QTemporaryDir folder;
        SFtpServerOptions options = LoopbackServerOptions(folder.path());
        options.tftpPort = holder.localPort();
        try {
            CreateFtpServer(options);
            QFAIL("created all the same");
        } catch (const CRaisedError& error) {
            QVERIFY(!error.Description().isEmpty());
        }
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }
};

QTEST_MAIN(tst_TallisLibrary)
#include "tst_TallisLibrary.moc"
