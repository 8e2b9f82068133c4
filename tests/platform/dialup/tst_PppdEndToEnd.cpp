#include "platform/dialup/CRas.h"
#include "tests/kit/TestFiles.h"
#include "tests/platform/dialup/RasRecorder.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// Two real pppd processes over a pty pair, in a network and mount namespace
// of the test's own: the control dials, sees the link come up with the far
// end's address, and hangs up. Runs where the kernel has PPP (/dev/ppp).
class tst_PppdEndToEnd final : public QObject {
    Q_OBJECT

private slots:
    void dialAndHangUpARealLink()
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/ppp")))
            QSKIP("the kernel has no PPP here (/dev/ppp is missing)");
        const QString pppd = DefaultPppdPath();
        if (!IsRasInstalled(pppd))
            QSKIP("pppd is not installed");
        if (::geteuid() != 0)
            QSKIP("needs root for its own namespaces");
        if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
            QSKIP("unshare is missing");

        // The test's own /etc/ppp, mounted over the real one inside the
        // namespace only: the real peers and scripts are never read or run.
        QTemporaryDir folder;
        const QString etcPpp = folder.filePath(QStringLiteral("ppp"));
        QVERIFY(TestFiles::WriteText(etcPpp + QStringLiteral("/options"), {}));
        QVERIFY(TestFiles::WriteText(
            etcPpp + QStringLiteral("/peers/EndToEnd"),
            QStringLiteral("noauth\nlocal\nnodefaultroute\n"
                           "pty \"%1 notty noauth local nodetach 10.77.1.2:10.77.1.1\"\n"
                           "10.77.1.1:10.77.1.2\n")
                .arg(pppd)));
        const QString wrapper = folder.filePath(QStringLiteral("pppd"));
        QVERIFY(TestFiles::WriteScript(
            wrapper, QStringLiteral("#!/bin/sh\nexec unshare --mount --net --propagation private "
                                    "sh -c 'mount --bind \"$0\" /etc/ppp && exec %1 \"$@\"' "
                                    "'%2' \"$@\"\n")
                         .arg(pppd, etcPpp)
                         .toUtf8()));

        CRas ras(nullptr, {wrapper, 10000});
        SRasLinkSources links;
        ras.AddOwnLinkTo(links);
        RasRecorder recorder(ras);
        ras.Dial(QStringLiteral("EndToEnd"));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Saw(8192) || recorder.Ended(), 30000);
        QVERIFY2(recorder.Saw(8192), qPrintable(recorder.events.join(u' ')));
        QVERIFY(recorder.Saw(3));
        QString address;
        QCOMPARE(GetProjectedIp(ras.RasConnHandle(), address, links), 0);
        QCOMPARE(address, QStringLiteral("10.77.1.2"));

        ras.HangUp();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Ended(), 30000);
        QVERIFY2(recorder.descriptions.isEmpty(), qPrintable(recorder.descriptions.join(u' ')));
    }
};

QTEST_GUILESS_MAIN(tst_PppdEndToEnd)
#include "tst_PppdEndToEnd.moc"
