#include "platform/dialup/MRasLinks.h"
#include "tests/kit/TestFiles.h"
#include "tests/platform/TestNamespaces.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sched.h>

namespace {

constexpr int kTimeoutMs = 15000;
constexpr qint64 kUntouched = 777777;
// Above every process id: own links that the process list does not show.
constexpr qint64 kFirstUnlistedHandle = qint64(1) << 40;

} // namespace

class tst_MRasLinks final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Only processes started under this test's own program name count,
        // so real pppd links and other tests' stand-ins are never seen.
        QVERIFY(m_folder.isValid());
        m_sources.programName =
            QStringLiteral("pppd-links-%1").arg(QCoreApplication::applicationPid());
        m_program = m_folder.filePath(m_sources.programName);
        QVERIFY(QFile::link(QStringLiteral(PPPD_STANDIN), m_program));
        m_sources.runFolder = m_folder.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(m_sources.runFolder));
        qputenv("PPPD_STANDIN_HOLD", "20");
    }
    void cleanup()
    {
        for (const auto& process : m_processes) {
            process->terminate(); // the stand-in ends its pause and itself
            if (!process->waitForFinished(kTimeoutMs))
                process->kill();
        }
        m_processes.clear();
        // A stand-in that forked just before it ended leaves an orphan that
        // shows its command line until it runs its own program.
        qint64 handle = 0;
        QTRY_COMPARE_WITH_TIMEOUT(FindRasConnection("any", handle, m_sources), 0, kTimeoutMs);
    }

    // "running" are pppds in the process list; "own" are the links of this
    // process's controls: one of a running name is that process, else one
    // the list does not show yet.
    void findCountsLinksByEntry_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QStringList>("own");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("count");
        const QString tarn = QStringLiteral("TarnDirectPPP");
        QTest::newRow("no link") << QStringList{} << QStringList{} << tarn << 0;
        QTest::newRow("the entry's link") << QStringList{tarn} << QStringList{} << tarn << 1;
        QTest::newRow("letter case matters")
            << QStringList{"tarndirectppp"} << QStringList{} << tarn << 1;
        QTest::newRow("another entry's link counts too")
            << QStringList{"Modem"} << QStringList{} << tarn << 1;
        QTest::newRow("two links, one of them the entry's")
            << QStringList{"Modem", tarn} << QStringList{} << tarn << 2;
        QTest::newRow("two of the entry: the last wins")
            << QStringList{tarn, tarn} << QStringList{} << tarn << 2;
        QTest::newRow("an own link also in the list counts once")
            << QStringList{tarn} << QStringList{tarn} << tarn << 1;
        QTest::newRow("an own link not yet in the list")
            << QStringList{"Modem"} << QStringList{tarn} << tarn << 2;
    }
    void findCountsLinksByEntry()
    {
        QFETCH(QStringList, running);
        QFETCH(QStringList, own);
        QFETCH(QString, entry);
        QFETCH(int, count);
        QMap<QString, qint64> handles;
        QList<qint64> matching; // the last match (the highest process id) wins
        for (const QString& name : running) {
            handles[name] = StartStandIn(name);
            QVERIFY(handles[name] > 0);
            if (name == entry)
                matching.append(handles[name]);
        }
        QList<SOwnLink> ownLinks;
        for (const QString& name : own) {
            ownLinks.append(
                {handles.value(name, kFirstUnlistedHandle + ownLinks.size()), name, {}});
            if (name == entry)
                matching.append(ownLinks.last().handle);
        }
        SRasLinkSources sources = m_sources;
        sources.ownLinks = [ownLinks] { return ownLinks; };
        qint64 handle = kUntouched;
        QCOMPARE(FindRasConnection(entry, handle, sources), count);
        QCOMPARE(handle, matching.isEmpty() ? kUntouched
                                            : *std::max_element(matching.begin(), matching.end()));
    }

    void unlistableProcessesGiveMinusOne()
    {
        SRasLinkSources sources = m_sources;
        sources.procFolder = m_folder.filePath(QStringLiteral("no-proc"));
        qint64 handle = kUntouched;
        QCOMPARE(FindRasConnection(QStringLiteral("TarnDirectPPP"), handle, sources), -1);
        QCOMPARE(handle, kUntouched);
    }

    // An own link's far end is what pppd reported to its control.
    void projectedIpOfAnOwnLink()
    {
        SRasLinkSources sources = m_sources;
        sources.ownLinks = [] {
            return QList<SOwnLink>{{kFirstUnlistedHandle, "Up", "127.0.0.9"},
                                   {kFirstUnlistedHandle + 1, "Dialling", {}}};
        };
        QString address = QStringLiteral("unchanged");
        QCOMPARE(GetProjectedIp(kFirstUnlistedHandle + 1, address, sources), kProjectionNoAddress);
        QCOMPARE(GetProjectedIp(kFirstUnlistedHandle + 2, address, sources), kProjectionNoLink);
        QCOMPARE(address, QStringLiteral("unchanged"));
        QCOMPARE(GetProjectedIp(kFirstUnlistedHandle, address, sources), 0);
        QCOMPARE(address, QStringLiteral("127.0.0.9"));
    }

    // pppd's pid files name the link's interface; its destination address is
    // the far end. The interface is made in a network namespace of this test.
    void projectedIpFromThePointToPointInterface_data()
    {
        QTest::addColumn<QString>("pidFile");
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("address");
        QTest::newRow("unit pid file") << "ppp7.pid"
                                       << "%1\n"
                                       << 0 << "10.77.0.2";
        QTest::newRow("link name pid file") << "ppp-Modem.pid"
                                            << "%1\nppp7\n"
                                            << 0 << "10.77.0.2";
        QTest::newRow("interface gone") << "ppp-Modem.pid"
                                        << "%1\nppp9\n"
                                        << kProjectionNoAddress << "unchanged";
        QTest::newRow("another pppd's file") << "ppp-Modem.pid"
                                             << "1\nppp7\n"
                                             << kProjectionNoLink << "unchanged";
    }
    void projectedIpFromThePointToPointInterface()
    {
        QFETCH(QString, pidFile);
        QFETCH(QString, content);
        QFETCH(int, result);
        QFETCH(QString, address);
        if (!m_inOwnNetwork) {
            if (::unshare(CLONE_NEWNET) != 0)
                QSKIP("no network namespace of our own (unshare refused)");
            m_inOwnNetwork = true;
            if (!CTestNamespaces::Ip({"tuntap", "add", "dev", "ppp7", "mode", "tun"})
                || !CTestNamespaces::Ip(
                    {"addr", "add", "10.77.0.1", "peer", "10.77.0.2", "dev", "ppp7"}))
                QSKIP("no tun interface can be made here");
        }
        const qint64 handle = 424242;
        QDir(m_sources.runFolder).removeRecursively();
        QVERIFY(TestFiles::WriteText(m_sources.runFolder + u'/' + pidFile,
                                     QString(content).replace("%1", QString::number(handle))));
        QString found = QStringLiteral("unchanged");
        QCOMPARE(GetProjectedIp(handle, found, m_sources), result);
        QCOMPARE(found, address);
    }

private:
    // Starts a stand-in pppd that keeps dialling "call ENTRY"; its process id.
    qint64 StartStandIn(const QString& entry)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PPPD_STANDIN_SCENARIO"), QStringLiteral("dial-hangs"));
        process->setProcessEnvironment(environment);
        process->start(m_program, {QStringLiteral("call"), entry, QStringLiteral("nodetach")});
        if (!process->waitForStarted(kTimeoutMs))
            return 0;
        const qint64 pid = process->processId();
        m_processes.push_back(std::move(process));
        // The system fills in the new program's command line a moment after
        // the exec that QProcess reports as the start.
        const QString commandLine = QStringLiteral("/proc/%1/cmdline").arg(pid);
        const auto shown = [&commandLine] { return TestFiles::Read(commandLine).contains("call"); };
        return QTest::qWaitFor(shown, kTimeoutMs) ? pid : 0;
    }

    QTemporaryDir m_folder;
    QString m_program;
    SRasLinkSources m_sources;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    bool m_inOwnNetwork = false;
};

QTEST_GUILESS_MAIN(tst_MRasLinks)
#include "tst_MRasLinks.moc"
