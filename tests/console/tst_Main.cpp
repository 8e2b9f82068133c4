// The console's start-up in the test process, offscreen, with the test's own
// folders, a scripted desktop and the file server on ports the system chooses.

#include "common/CRaisedError.h"
#include "console/MainModule.h"
#include "console/cRunRulesValidator.h"
#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "console/ui/FMain.h"
#include "platform/sockets/MSocketError.h"
#include "tests/console/PelionProcessKit.h"
#include "tests/console/ScriptedDesktop.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/console/ui/MainTestKit.h"
#include "tests/fileserver/LoopbackServerOptions.h"

#include <QCursor>
#include <QTreeWidget>
#include <QUdpSocket>

class tst_Main final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.IsValid() && m_folder.isValid());
        // The real runtime folder stays untouched, even by the default lock path.
        const QString runtime = m_folder.filePath(QStringLiteral("runtime"));
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                   | QFileDevice::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
        QVERIFY(TestFiles::WriteScript(m_folder.filePath(QStringLiteral("bin/firefox")),
                                       "#!/bin/sh\nexit 0\n"));
    }

    void init()
    {
        m_settings.MakeSystemScopeWritable();
        m_settings.Clear();
        CSettingsStore().WriteWwwRoot(m_webRoot.Path());
        gIpBookCount = 0;
        gConnType = 0;
        m_messages.Clear();
    }

    void cleanup()
    {
        ReleaseStartupObjects();
        SetDesktopWindows(std::make_unique<CScriptedDesktop>(QStringList{}));
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    // Each message as "icon|text", the text of the last row a prefix.
    void startsTheConsole_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QString>("window"); // another program's, on the desktop
        QTest::addColumn<bool>("tftpPortHeld");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("exitDuringSplash");
        QTest::newRow("empty book: the window loads when it shows")
            << 0 << "TarnDirectPPP"
            << "Terminal" << false << QStringList{} << false;
        QTest::newRow("direct-cable entry missing: a warning, start-up goes on")
            << 3 << "tarndirectppp"
            << "Terminal" << false
            << QStringList{"48|Remote Access entry 'TarnDirectPPP' not found"} << false;
        QTest::newRow("file server port held: told once, no file server")
            << 3 << "TarnDirectPPP"
            << "Terminal" << true << QStringList{"48|The file server could not start on UDP port "}
            << false;
        QTest::newRow("sibling manager: told, no file server")
            << 3 << "TarnDirectPPP"
            << "xx Orvane Manager yy" << false
            << QStringList{QStringLiteral("16|") + kManagerRunning} << false;
        QTest::newRow("tray Exit during the splash: no window, the lock released")
            << 3 << "TarnDirectPPP"
            << "Terminal" << false << QStringList{} << true;
    }
    void startsTheConsole()
    {
        QFETCH(int, entries);
        QFETCH(QString, peer);
        QFETCH(QString, window);
        QFETCH(bool, tftpPortHeld);
        QFETCH(QStringList, messages);
        QFETCH(bool, exitDuringSplash);
        WriteBook(entries);
        SetDesktopWindows(std::make_unique<CScriptedDesktop>(QStringList{window}));
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::Any, 0));
        SStartupOptions options = Options(peer);
        if (tftpPortHeld)
            options.fileServer.tftp.port = holder.localPort();
        // The tray menu is there once the window has loaded, while the splash is up.
        QTimer exitChooser;
        connect(&exitChooser, &QTimer::timeout, this, [&exitChooser] {
            if (gMainForm && gMainForm->findChild<QAction*>(QStringLiteral("mnuTray6"))) {
                exitChooser.stop();
                Tray(*gMainForm, FMain::kTrayExit)->trigger();
            }
        });
        if (exitDuringSplash)
            exitChooser.start(5);
        QVERIFY(Main(options));
        if (exitDuringSplash) {
            QVERIFY(!exitChooser.isActive() && gMainForm->IsUnloaded() && !gMainForm->isVisible());
            ReleaseStartupObjects();
            QVERIFY(!QFile::exists(options.rules.lockFilePaths.first()));
            return;
        }
        QCOMPARE(m_messages.Shown().size(), messages.size());
        for (int i = 0; i < messages.size(); ++i) {
            const SMessage& message = m_messages.Shown().at(i);
            QCOMPARE(message.title, QStringLiteral("Pelion"));
            QVERIFY2(
                (QString::number(int(message.icon)) + '|' + message.text).startsWith(messages[i]),
                qPrintable(message.text));
        }
        QVERIFY(gMainForm && gMainForm->isVisible() && gRulesValidator);
        const auto* book = WindowLookup::Child<QTreeWidget>(*gMainForm, QStringLiteral("lvwIpAdd"));
        QVERIFY(book->topLevelItemCount() == entries && gIpBookCount == entries);
        QVERIFY(book->selectedItems().isEmpty()
                && !Button(*gMainForm, FMain::kKeyRemove)->isEnabled());
        QCOMPARE(bool(gFileServer), !tftpPortHeld && window == "Terminal");
        if (gFileServer)
            QVERIFY(gFileServer->Enable() && gFileServer->FtpPort() && gFileServer->TftpPort());
        QVERIFY(!QApplication::overrideCursor());
    }

    // The stored key turns the server's extended FTP on; nothing else does.
    void extendedFtpFromTheStore_data()
    {
        QTest::addColumn<QByteArray>("file"); // the user's store as written by hand
        QTest::addColumn<bool>("extended");
        QTest::newRow("absent") << QByteArray("[Prog Options]\nConnection Type=0\n") << false;
        QTest::newRow("1, as the console writes it")
            << QByteArray("[Prog%20Options]\nExtended%20FTP=1\n") << true;
        QTest::newRow("1, spaces written out")
            << QByteArray("[Prog Options]\nExtended FTP=1\n") << true;
        QTest::newRow("0") << QByteArray("[Prog Options]\nExtended FTP=0\n") << false;
        QTest::newRow("true") << QByteArray("[Prog Options]\nExtended FTP=true\n") << false;
        QTest::newRow("another section") << QByteArray("[Settings]\nExtended FTP=1\n") << false;
    }
    void extendedFtpFromTheStore()
    {
        QFETCH(QByteArray, file);
        QVERIFY(TestFiles::Write(m_settings.UserFile(), file));
        QVERIFY(Main(Options(QStringLiteral("TarnDirectPPP"))));
        QVERIFY(gFileServer);
        QTEST(gFileServer->Options().ftp.extended, "extended");
    }

    // SIGTERM while the start-up loads a full address book: the real program ends soon, with
    // status 0, rather than once every row is in.
    void sigtermDuringLoading()
    {
        CPelionHome home;
        home.WriteBook(32767);
        QProcess pelion;
        StartPelion(pelion, home.Environment(QStringLiteral("sigterm")));
        QVERIFY(pelion.waitForStarted());
        // The lock is taken just before the settings are read.
        QTRY_VERIFY_WITH_TIMEOUT(home.LockHolder() == pelion.processId(), 20000);
        pelion.terminate();
        const bool ended = pelion.waitForFinished(8000);
        EndProcess(pelion);
        QVERIFY(ended && pelion.exitStatus() == QProcess::NormalExit);
        QCOMPARE(pelion.exitCode(), 0);
    }

    // The hint for a protected port (a port in use is started above).
    void fileServerFailureText()
    {
        const CRaisedError error(std::uint32_t(kSockAccessDenied), QStringLiteral("pelion.Sockets"),
                                 QStringLiteral("The address is protected"));
        QCOMPARE(FileServerFailureText(error, 69),
                 "The file server could not start on UDP port 69: The address is protected.\r\n"
                 "Ports below 1024 need the network capabilities: start Pelion with "
                 "scripts/run.sh, which grants them, or see \"Without capabilities\" in the "
                 "README.\r\nPelion goes on without the file server.");
    }

private:
    SStartupOptions Options(const QString& peer) const
    {
        static int run = 0;
        const QString folder = m_folder.filePath(QStringLiteral("run%1").arg(++run));
        SStartupOptions options;
        options.rules.lockFilePaths = {folder + QStringLiteral("/runtime/pelion.lock")};
        options.rules.peersFolder = folder + QStringLiteral("/peers");
        TestFiles::Write(options.rules.peersFolder + QLatin1Char('/') + peer, {});
        SBrowserEnvironment browser;
        browser.configHome = folder + QStringLiteral("/config");
        browser.dataHome = folder + QStringLiteral("/data");
        browser.browserVariable = m_folder.filePath(QStringLiteral("bin/firefox"));
        options.rules.browserEnvironment = browser;
        options.fileServer = LoopbackServerOptions(folder);
        options.helpPort = 0;
        options.splashMs = 100;
        return options;
    }

    static void WriteBook(int entries)
    {
        for (int i = 0; i < entries; ++i)
            CSettingsStore().Write(QLatin1String(kSectionIpAddressBook),
                                   QString::number(i) + "IpAddress",
                                   QStringLiteral("10.0.0.%1").arg(i + 1));
    }

    CTestSettingsFolder m_settings;
    CTestWebRoot m_webRoot;
    CMessageCapture m_messages;
    QTemporaryDir m_folder;
};

QTEST_MAIN(tst_Main)
#include "tst_Main.moc"
