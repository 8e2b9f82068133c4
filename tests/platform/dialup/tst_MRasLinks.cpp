#include "platform/dialup/MRasLinks.h"
#include "tests/kit/TestFiles.h"
#include "tests/platform/TestNamespaces.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <unistd.h>

namespace {

constexpr qint64 kUntouched = 777777;
// Above every process id: own links that the process list does not show.
constexpr qint64 kUnlisted = qint64(1) << 40;
// The user whose links count as the console's.
constexpr qint64 kUser = 1000;

} // namespace

class tst_MRasLinks final : public QObject {
    Q_OBJECT

private slots:
    // "running": the process list, "pid:parent:entry[:how]" each, "how" being
    // "sh" (the program run by its interpreter), "chat" (another program),
    // "ended" (gone while read), "other" (another user's) or "nouser" (its
    // user cannot be read); "none": no list. "own": this process's links,
    // one of a running entry being that process, else one the list lacks.
    // "choice": what Connect finds for the entry, "take PID", "busy" or "none".
    void findCountsLinksByEntry_data()
    {
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("own");
        QTest::addColumn<int>("count");
        QTest::addColumn<qint64>("handle");
        QTest::addColumn<QString>("choice");
        const auto row = [](const char* name, const char* running, const char* own, int count,
                            qint64 handle, const QString& choice) {
            QTest::newRow(name) << QString::fromLatin1(running) << QString::fromLatin1(own) << count
                                << handle << choice;
        };
        const char* tarn = "TarnDirectPPP";
        const QString busy = QStringLiteral("busy"), none = QStringLiteral("none");
        const auto take = [](qint64 pid) { return QStringLiteral("take %1").arg(pid); };
        row("no link", "", "", 0, kUntouched, none);
        row("processes cannot be listed", "none", "", -1, kUntouched, none);
        row("the entry's link", "100:1:TarnDirectPPP", "", 1, 100, take(100));
        row("letter case matters", "100:1:tarndirectppp", "", 1, kUntouched, busy);
        row("two of the entry: the last wins", "300:1:TarnDirectPPP 200:1:TarnDirectPPP", "", 2,
            300, take(300));
        row("run by its interpreter", "100:1:TarnDirectPPP:sh", "", 1, 100, take(100));
        row("another program is no link", "100:1:TarnDirectPPP:chat", "", 0, kUntouched, none);
        row("ended while read", "100:1:TarnDirectPPP:ended", "", 0, kUntouched, none);
        row("just forked: one link", "100:1:TarnDirectPPP 101:100:TarnDirectPPP", "", 1, 100,
            take(100));
        row("an own link also in the list counts once", "100:1:TarnDirectPPP", tarn, 1, 100,
            take(100));
        row("an own link not yet in the list", "100:1:Modem", tarn, 2, kUnlisted, take(kUnlisted));
        row("another user's link of the entry", "100:1:TarnDirectPPP:other", "", 1, 100, busy);
        row("a link whose user cannot be read", "100:1:TarnDirectPPP:nouser", "", 1, 100, busy);
        row("this user's beside another user's", "100:1:TarnDirectPPP 200:1:TarnDirectPPP:other",
            "", 2, 200, take(100));
    }
    void findCountsLinksByEntry()
    {
        QFETCH(QString, running);
        QFETCH(QString, own);
        QFETCH(int, count);
        QFETCH(qint64, handle);
        QFETCH(QString, choice);
        QTemporaryDir proc;
        SRasLinkSources sources;
        sources.userId = kUser;
        sources.procFolder = proc.filePath(running == QStringLiteral("none") ? "absent" : "proc");
        QVERIFY(QDir().mkpath(proc.filePath("proc")));
        QMap<QString, qint64> pids;
        for (const QString& process : running.split(u' ', Qt::SkipEmptyParts)) {
            const QStringList f = process.split(u':');
            if (f.size() < 3)
                continue;
            const QString folder = sources.procFolder + u'/' + f[0];
            QByteArrayList args{"/usr/sbin/pppd", "call", f[2].toUtf8(), "nodetach"};
            if (f.value(3) == QStringLiteral("chat"))
                args[0] = "chat";
            if (f.value(3) == QStringLiteral("sh"))
                args.prepend("/bin/sh");
            QVERIFY(TestFiles::Write(folder + "/cmdline", args.join('\0') + '\0'));
            if (f.value(3) != QStringLiteral("ended"))
                QVERIFY(TestFiles::WriteText(folder + "/stat", f[0] + " (pppd) S " + f[1] + " 1"));
            // pppd runs setuid root: the real user comes first, the effective one after it.
            const qint64 user = f.value(3) == QStringLiteral("other") ? kUser + 1 : kUser;
            if (f.value(3) != QStringLiteral("nouser"))
                QVERIFY(TestFiles::WriteText(
                    folder + "/status",
                    QStringLiteral("Name:\tpppd\nUid:\t%1\t0\t0\t0\n").arg(user)));
            pids[f[2]] = f[0].toLongLong();
        }
        QList<SOwnLink> ownLinks;
        for (const QString& entry : own.split(u' ', Qt::SkipEmptyParts))
            ownLinks.append({pids.value(entry, kUnlisted), entry, {}});
        sources.ownLinks = [ownLinks] { return ownLinks; };
        qint64 found = kUntouched;
        QCOMPARE(FindRasConnection(QStringLiteral("TarnDirectPPP"), found, sources), count);
        QCOMPARE(found, handle);
        const SRasLinkFound chosen = ChooseRasLink(QStringLiteral("TarnDirectPPP"), sources);
        const QStringList choices{"none", QStringLiteral("take %1").arg(chosen.handle), "busy"};
        QCOMPARE(choices.at(int(chosen.choice)), choice);
    }

    // Only this user's link is signalled: the test's own stand-in, seen as
    // another user's, is left running.
    void endSignalsOnlyThisUsersLink()
    {
        QTemporaryDir bin;
        const QString name = QStringLiteral("pppd-%1").arg(QCoreApplication::applicationPid());
        QVERIFY(QFile::link(QStringLiteral(PPPD_STANDIN), bin.filePath(name)));
        QProcess process;
        process.start(bin.filePath(name), {QStringLiteral("call"), QStringLiteral("direct-ok")});
        QVERIFY(process.waitForStarted());
        SRasLinkSources sources;
        sources.programName = name;
        // Its command line shows only once its exec has got that far.
        SRasLink link;
        QTRY_VERIFY(FindRasLink(process.processId(), link, sources));
        sources.userId = qint64(::getuid()) + 1;
        QCOMPARE(EndRasLink(process.processId(), false, sources), kEndNotOurs);
        sources.userId = SRasLinkSources::kThisUser;
        QCOMPARE(EndRasLink(process.processId(), false, sources), 0);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(EndRasLink(process.processId(), false, sources), kEndNoLink);
    }

    // An own link's far end is what pppd reported to its control; else
    // pppd's pid files name the link's interface, whose destination address
    // is the far end. The interface is made in a network namespace of this test.
    void projectedIp_data()
    {
        QTest::addColumn<qint64>("handle");
        QTest::addColumn<QString>("pidFile"); // "NAME=CONTENT"
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("address");
        const qint64 pppd = 424242;
        const int noLink = kProjectionNoLink, noAddress = kProjectionNoAddress;
        QTest::newRow("own link, up") << kUnlisted << "" << 0 << "127.0.0.9";
        QTest::newRow("own link, dialling") << kUnlisted + 1 << "" << noAddress << "unchanged";
        QTest::newRow("no such link") << kUnlisted + 2 << "" << noLink << "unchanged";
        QTest::newRow("unit pid file") << pppd << "ppp7.pid=424242\n" << 0 << "10.77.0.2";
        QTest::newRow("interface gone")
            << pppd << "ppp-M.pid=424242\nppp9" << noAddress << "unchanged";
        QTest::newRow("another pppd's file")
            << pppd << "ppp-M.pid=1\nppp7" << noLink << "unchanged";
    }
    void projectedIp()
    {
        QFETCH(qint64, handle);
        QFETCH(QString, pidFile);
        QFETCH(int, result);
        QFETCH(QString, address);
        if (!pidFile.isEmpty() && !m_inOwnNetwork) {
            if (::unshare(CLONE_NEWNET) != 0)
                QSKIP("no network namespace of our own (unshare refused)");
            m_inOwnNetwork = true;
            if (!CTestNamespaces::Ip({"tuntap", "add", "dev", "ppp7", "mode", "tun"})
                || !CTestNamespaces::Ip(
                    {"addr", "add", "10.77.0.1", "peer", "10.77.0.2", "dev", "ppp7"}))
                QSKIP("no tun interface can be made here");
        }
        QTemporaryDir run;
        SRasLinkSources sources;
        sources.runFolder = run.path();
        if (!pidFile.isEmpty())
            QVERIFY(TestFiles::WriteText(run.filePath(pidFile.section(u'=', 0, 0)),
                                         pidFile.section(u'=', 1)));
        sources.ownLinks = [] {
            return QList<SOwnLink>{{kUnlisted, "Up", "127.0.0.9"}, {kUnlisted + 1, "Dialling", {}}};
        };
        QString found = QStringLiteral("unchanged");
        QCOMPARE(GetProjectedIp(handle, found, sources), result);
        QCOMPARE(found, address);
    }

private:
    bool m_inOwnNetwork = false;
};

QTEST_GUILESS_MAIN(tst_MRasLinks)
#include "tst_MRasLinks.moc"
