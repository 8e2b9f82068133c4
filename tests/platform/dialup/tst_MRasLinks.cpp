#include "common/CRaisedError.h"
#include "platform/dialup/CRas.h"
#include "platform/dialup/MRasLinks.h"
#include "tests/platform/TestNamespaces.h"
#include "tests/platform/dialup/RasRecorder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sched.h>

namespace {

constexpr int kTimeoutMs = 15000;
constexpr qint64 kUntouched = 777777;

} // namespace

class tst_MRasLinks final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Only processes started under this test's own program name count,
        // so real pppd links and other tests' stand-ins are never seen.
        QVERIFY(m_folder.isValid());
        m_programName = QStringLiteral("pppd-links-%1").arg(QCoreApplication::applicationPid());
        m_program = m_folder.filePath(m_programName);
        QVERIFY(QFile::link(QStringLiteral(PPPD_STANDIN), m_program));
        m_sources.programName = m_programName;
        m_sources.runFolder = m_folder.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(m_sources.runFolder));
        qputenv("PPPD_STANDIN_PAUSE", "0.02");
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
        // shows the stand-in's command line until it runs its own program;
        // the next case starts from an empty list.
        qint64 handle = 0;
        QTRY_COMPARE_WITH_TIMEOUT(FindRasConnection(QStringLiteral("any"), handle, m_sources), 0,
                                  kTimeoutMs);
        QDir(m_sources.runFolder).removeRecursively();
        QDir().mkpath(m_sources.runFolder);
    }

    void findCountsLinksByEntry_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("matches");

        QTest::newRow("no link") << QStringList{} << "TarnDirectPPP" << 0 << false;
        QTest::newRow("the entry's link")
            << QStringList{"TarnDirectPPP"} << "TarnDirectPPP" << 1 << true;
        QTest::newRow("letter case matters")
            << QStringList{"tarndirectppp"} << "TarnDirectPPP" << 1 << false;
        QTest::newRow("another entry's link counts too")
            << QStringList{"Modem"} << "TarnDirectPPP" << 1 << false;
        QTest::newRow("two links, one of them the entry's")
            << QStringList{"Modem", "TarnDirectPPP"} << "TarnDirectPPP" << 2 << true;
    }
    void findCountsLinksByEntry()
    {
        QFETCH(QStringList, running);
        QFETCH(QString, entry);
        QFETCH(int, count);
        QFETCH(bool, matches);

        qint64 expectedHandle = kUntouched;
        for (const QString& name : running) {
            const qint64 pid = StartStandIn(name);
            QVERIFY(pid > 0);
            if (name == entry)
                expectedHandle = pid;
        }
        qint64 handle = kUntouched;
        QCOMPARE(FindRasConnection(entry, handle, m_sources), count);
        QCOMPARE(handle != kUntouched, matches);
        QCOMPARE(handle, expectedHandle);
    }

    void theLastMatchWins()
    {
        const qint64 first = StartStandIn(QStringLiteral("Twice"));
        const qint64 second = StartStandIn(QStringLiteral("Twice"));
        qint64 handle = 0;
        QCOMPARE(FindRasConnection(QStringLiteral("Twice"), handle, m_sources), 2);
        QCOMPARE(handle, std::max(first, second));
    }

    void unlistableProcessesGiveMinusOne()
    {
        SRasLinkSources sources = m_sources;
        sources.procFolder = m_folder.filePath(QStringLiteral("no-proc"));
        qint64 handle = kUntouched;
        QCOMPARE(FindRasConnection(QStringLiteral("TarnDirectPPP"), handle, sources), -1);
        QCOMPARE(handle, kUntouched);
    }

    void ownControlsCountOnce_data()
    {
        QTest::addColumn<bool>("visibleInProcessList");
        QTest::newRow("also seen in the process list") << true;
        QTest::newRow("only known to this process") << false;
    }
    void ownControlsCountOnce()
    {
        QFETCH(bool, visibleInProcessList);
        SRasLinkSources sources = m_sources;
        if (!visibleInProcessList)
            sources.programName = QStringLiteral("no-such-program");

        CRas ras(nullptr, {m_program, 5000});
        RasRecorder recorder(ras);
        ras.Dial(QStringLiteral("dial-hangs"));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Saw(3), kTimeoutMs);
        qint64 handle = 0;
        QCOMPARE(FindRasConnection(QStringLiteral("dial-hangs"), handle, sources), 1);
        QCOMPARE(handle, ras.RasConnHandle());
        ras.HangUp();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Ended(), kTimeoutMs);
        QCOMPARE(FindRasConnection(QStringLiteral("dial-hangs"), handle, sources), 0);
    }

    void projectedIpOfAnOwnLinkIsWhatPppdReported()
    {
        qputenv("PPPD_STANDIN_REMOTE", "127.0.0.9");
        CRas ras(nullptr, {m_program, 5000});
        RasRecorder recorder(ras);
        ras.Dial(QStringLiteral("direct-ok"));
        qunsetenv("PPPD_STANDIN_REMOTE");
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Saw(3), kTimeoutMs);
        const qint64 handle = ras.RasConnHandle();

        QString address = QStringLiteral("unchanged");
        if (!recorder.Saw(8192)) // dialling: the link is known, its address not yet
            QCOMPARE(GetProjectedIp(handle, address, m_sources), kProjectionNoAddress);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Saw(8192), kTimeoutMs);
        QCOMPARE(GetProjectedIp(handle, address, m_sources), 0);
        QCOMPARE(address, QStringLiteral("127.0.0.9"));

        ras.HangUp();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.Ended(), kTimeoutMs);
        address = QStringLiteral("unchanged");
        QCOMPARE(GetProjectedIp(handle, address, m_sources), kProjectionNoLink);
        QCOMPARE(address, QStringLiteral("unchanged"));
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
        QFile file(QDir(m_sources.runFolder).filePath(pidFile));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content.arg(handle).toLatin1());
        file.close();

        QString found = QStringLiteral("unchanged");
        QCOMPARE(GetProjectedIp(handle, found, m_sources), result);
        QCOMPARE(found, address);
    }

    void rasIsInstalledWhenPppdCanRun_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("installed");
        QTest::newRow("a program") << "program" << true;
        QTest::newRow("a file that is no program") << "plain" << false;
        QTest::newRow("missing") << "missing" << false;
        QTest::newRow("a folder") << "run" << false;
    }
    void rasIsInstalledWhenPppdCanRun()
    {
        QFETCH(QString, name);
        QFETCH(bool, installed);
        QFile program(m_folder.filePath(QStringLiteral("program")));
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile plain(m_folder.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(IsRasInstalled(m_folder.filePath(name)), installed);
    }

    void entryNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "TarnDirectPPP" << true;
        QTest::newRow("with blank") << "My Modem" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("slash") << "a/b" << false;
        QTest::newRow("climbs") << ".." << false;
        QTest::newRow("hidden") << ".x" << false;
        QTest::newRow("option") << "-x" << false;
        QTest::newRow("tab") << "a\tb" << false;
        QTest::newRow("line break") << "a\nb" << false;
        QTest::newRow("too long") << QString(256, u'a') << false;
    }
    // What is no entry name is never dialled.
    void entryNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(IsValidEntryName(name), valid);
        if (!valid) {
            CRas ras(nullptr, {m_program, 1000});
            QVERIFY_THROWS_EXCEPTION(CRaisedError, ras.Dial(name));
            QCOMPARE(ras.RasConnHandle(), 0);
        }
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
        const auto shown = [&commandLine] {
            QFile file(commandLine);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("call");
        };
        return QTest::qWaitFor(shown, kTimeoutMs) ? pid : 0;
    }

    QTemporaryDir m_folder;
    QString m_programName;
    QString m_program;
    SRasLinkSources m_sources;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    bool m_inOwnNetwork = false;
};

QTEST_GUILESS_MAIN(tst_MRasLinks)
#include "tst_MRasLinks.moc"
