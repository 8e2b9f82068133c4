// The console's start-up in the test process, offscreen: the run rules with
// the test's own folders, the sibling manager on a scripted desktop, the file
// server on ports the system chooses, the stored book, the splash and the
// main window. Every message box is captured.

#include "common/CRaisedError.h"
#include "console/MainModule.h"
#include "console/cRunRulesValidator.h"
#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "console/ui/FMain.h"
#include "console/ui/FSplash.h"
#include "platform/sockets/MSocketError.h"
#include "tests/console/ScriptedDesktop.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/console/ui/MainTestKit.h"
#include "tests/fileserver/LoopbackServerOptions.h"

#include <QCursor>
#include <QTreeWidget>
#include <QUdpSocket>

namespace {

const QString kManagerWindow = QStringLiteral("xx Orvane Manager yy");

QTreeWidget* Book()
{
    return WindowLookup::Child<QTreeWidget>(*gMainForm, QStringLiteral("lvwIpAdd"));
}

} // namespace

class tst_Main final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.IsValid());
        QVERIFY(m_folder.isValid());
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
        SetDesktopWindows(std::make_unique<CScriptedDesktop>(QStringList{}));
        m_messages.Clear();
    }

    void cleanup()
    {
        ReleaseStartupObjects();
        SetDesktopWindows(std::make_unique<CScriptedDesktop>(QStringList{}));
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    void startsTheConsole_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<QStringList>("peers");
        QTest::addColumn<QStringList>("windows");
        QTest::addColumn<QStringList>("messages"); // icon|text
        QTest::addColumn<bool>("fileServer");

        const QStringList direct{QStringLiteral("TarnDirectPPP")};
        QTest::newRow("every rule met, three entries")
            << 3 << direct << QStringList{"Terminal"} << QStringList{} << true;
        QTest::newRow("empty book: the window loads when it shows")
            << 0 << direct << QStringList{} << QStringList{} << true;
        QTest::newRow("sibling manager running: no file server, book still loads")
            << 3 << direct << QStringList{"Terminal", kManagerWindow}
            << QStringList{"16|Warning! Orvane is currently running!\r\nPelion Download "
                           "capability will be guaranteed until Orvane will be terminated"}
            << false;
        QTest::newRow("direct-cable entry missing: a warning, start-up goes on")
            << 3 << QStringList{"tarndirectppp"} << QStringList{}
            << QStringList{"48|Remote Access entry 'TarnDirectPPP' not found"} << true;
    }
    void startsTheConsole()
    {
        QFETCH(int, entries);
        QFETCH(QStringList, peers);
        QFETCH(QStringList, windows);
        QFETCH(QStringList, messages);
        QFETCH(bool, fileServer);
        WriteBook(entries);
        SetDesktopWindows(std::make_unique<CScriptedDesktop>(windows));

        QVERIFY(Main(Options(peers)));

        QStringList shown;
        for (const SMessage& message : m_messages.Shown()) {
            QCOMPARE(message.title, QStringLiteral("Pelion"));
            shown.append(QString::number(static_cast<int>(message.icon)) + '|' + message.text);
        }
        QCOMPARE(shown, messages);
        QVERIFY(gMainForm && gMainForm->isVisible());
        QCOMPARE(Book()->topLevelItemCount(), entries);
        QCOMPARE(gIpBookCount, entries);
        for (int i = 0; i < entries; ++i) {
            QTreeWidgetItem* row = Book()->topLevelItem(i);
            QCOMPARE(row->text(0), QStringLiteral("10.0.0.%1").arg(i + 1));
            QVERIFY(!row->isSelected());
        }
        // No row is selected yet: nothing to remove or edit.
        QVERIFY(!Button(*gMainForm, FMain::kKeyRemove)->isEnabled());
        QVERIFY(!Button(*gMainForm, FMain::kKeyEdit)->isEnabled());
        QVERIFY(Button(*gMainForm, FMain::kKeyAdd)->isEnabled());

        QCOMPARE(bool(gFileServer), fileServer);
        if (fileServer) {
            // The window's load switched FTP on.
            QVERIFY(gFileServer->Enable());
            QVERIFY(gFileServer->FtpPort() != 0);
            QVERIFY(gFileServer->TftpPort() != 0);
        }
        QVERIFY(SplashWindows().isEmpty());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(gRulesValidator);
    }

    void refusedStartEndsWithoutWindows_data()
    {
        QTest::addColumn<bool>("browser");
        QTest::addColumn<bool>("otherInstance");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no browser at all") << false << false << "Internet Browser not installed";
        QTest::newRow("another instance") << true << true << "Application already running";
    }
    void refusedStartEndsWithoutWindows()
    {
        QFETCH(bool, browser);
        QFETCH(bool, otherInstance);
        QFETCH(QString, reason);
        WriteBook(3);
        SStartupOptions options = Options({QStringLiteral("TarnDirectPPP")});
        if (!browser)
            options.rules.browserEnvironment.browserVariable.clear();
        CInstanceLock other(options.rules.lockFilePath);
        if (otherInstance)
            QVERIFY(other.TryLock());
        gWwwRoot = QStringLiteral("(not read)");

        QVERIFY(!Main(options));

        QCOMPARE(m_messages.Shown().size(), 1);
        const SMessage& message = m_messages.Shown().first();
        QCOMPARE(message.text, QStringLiteral("Impossible to run Pelion\r\n(%1)").arg(reason));
        QCOMPARE(message.title, QStringLiteral("Pelion"));
        QCOMPARE(message.icon, EMessageIcon::Critical);
        QVERIFY(!gMainForm);
        QVERIFY(!gFileServer);
        // Nothing was read: the settings stay as they were.
        QCOMPARE(gWwwRoot, QStringLiteral("(not read)"));
        QCOMPARE(gIpBookCount, qint16(0));
        QVERIFY(SplashWindows().isEmpty());
        QVERIFY(!QApplication::overrideCursor());
    }

    // The file server's port is taken: one message with the reason and the
    // fix, and the console starts without the file server.
    void fileServerThatCannotStartIsToldOnce()
    {
        WriteBook(3);
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::Any, 0));
        SStartupOptions options = Options({QStringLiteral("TarnDirectPPP")});
        options.fileServer.tftp.port = holder.localPort();

        QVERIFY(Main(options));

        QCOMPARE(m_messages.Shown().size(), 1);
        const SMessage& message = m_messages.Shown().first();
        QCOMPARE(message.title, QStringLiteral("Pelion"));
        QCOMPARE(message.icon, EMessageIcon::Exclamation);
        QVERIFY2(message.text.startsWith(
                     QStringLiteral("The file server could not start on UDP port %1: ")
                         .arg(holder.localPort())),
                 qPrintable(message.text));
        QVERIFY(message.text.contains(QStringLiteral("Another program is using the port")));
        QVERIFY(!gFileServer);
        QVERIFY(gMainForm && gMainForm->isVisible());
        QCOMPARE(Book()->topLevelItemCount(), 3);
    }

    void fileServerFailureText_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("text");
        const QString start = QStringLiteral("The file server could not start on UDP port 69: ");
        const QString goesOn = QStringLiteral("Pelion goes on without the file server.");
        QTest::newRow("not permitted")
            << kSockAccessDenied << "The address is protected"
            << start
                   + "The address is protected.\r\nPorts below 1024 need the network "
                     "capabilities: start Pelion with scripts/run.sh, which grants them, or see "
                     "\"Without capabilities\" in the README.\r\n"
                   + goesOn;
        QTest::newRow("taken")
            << kSockAddressInUse << "The bound address is already in use."
            << start
                   + "The bound address is already in use.\r\nAnother program is using the port "
                     "(a TFTP service of the system, or a file server still running): stop it and "
                     "restart Pelion.\r\n"
                   + goesOn;
        QTest::newRow("anything else: the reason alone")
            << kSockGeneralFailure << "Out of resources"
            << start + "Out of resources.\r\n" + goesOn;
    }
    void fileServerFailureText()
    {
        QFETCH(int, number);
        QFETCH(QString, description);
        QFETCH(QString, text);
        const CRaisedError error(static_cast<std::uint32_t>(number),
                                 QStringLiteral("pelion.Sockets"), description);
        QCOMPARE(FileServerFailureText(error, 69), text);
    }

    // The splash is up, with the hourglass, while the settings load and the
    // window loads; the window shows only once the splash has gone.
    void splashStaysUpAfterTheSettingsLoad()
    {
        WriteBook(3);
        bool seenLoaded = false;
        bool splashUpWhenLoaded = false;
        bool hourglassWhenLoaded = false;
        bool windowHiddenWhenLoaded = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            // Loaded: the caption carries the version.
            if (seenLoaded || !gMainForm || !gMainForm->windowTitle().contains(" ver. "))
                return;
            seenLoaded = true;
            const QList<FSplash*> splashes = SplashWindows();
            splashUpWhenLoaded = splashes.size() == 1 && splashes.first()->isVisible();
            hourglassWhenLoaded = QApplication::overrideCursor()
                                  && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            windowHiddenWhenLoaded = !gMainForm->isVisible();
        });
        watch.start(0);

        QVERIFY(Main(Options({QStringLiteral("TarnDirectPPP")})));

        QVERIFY(seenLoaded);
        QVERIFY(splashUpWhenLoaded);
        QVERIFY(hourglassWhenLoaded);
        QVERIFY(windowHiddenWhenLoaded);
        QVERIFY(SplashWindows().isEmpty());
        QVERIFY(gMainForm->isVisible());
    }

private:
    SStartupOptions Options(const QStringList& peers) const
    {
        static int run = 0;
        const QString folder = m_folder.filePath(QStringLiteral("run%1").arg(++run));
        SStartupOptions options;
        options.rules.lockFilePath = folder + QStringLiteral("/runtime/pelion.lock");
        options.rules.peersFolder = folder + QStringLiteral("/peers");
        QDir().mkpath(options.rules.peersFolder);
        for (const QString& peer : peers)
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

    void WriteBook(int entries) const
    {
        CSettingsStore store;
        for (int i = 0; i < entries; ++i) {
            const QString index = QString::number(i);
            store.Write(QLatin1String(kSectionIpAddressBook), index + QLatin1String("IpAddress"),
                        QStringLiteral("10.0.0.%1").arg(i + 1));
            store.Write(QLatin1String(kSectionIpAddressBook), index + QLatin1String("Description"),
                        QStringLiteral("Rack %1").arg(i));
        }
    }

    static QList<FSplash*> SplashWindows()
    {
        QList<FSplash*> splashes;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* splash = qobject_cast<FSplash*>(widget))
                splashes.append(splash);
        }
        return splashes;
    }

    CTestSettingsFolder m_settings;
    CTestWebRoot m_webRoot;
    CMessageCapture m_messages;
    QTemporaryDir m_folder;
};

QTEST_MAIN(tst_Main)
#include "tst_Main.moc"
