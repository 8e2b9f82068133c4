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

QList<FSplash*> SplashWindows()
{
    QList<FSplash*> splashes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* splash = qobject_cast<FSplash*>(widget))
            splashes.append(splash);
    }
    return splashes;
}

} // namespace

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
        QTest::addColumn<bool>("tftpPortHeld");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("every rule met") << 3 << "TarnDirectPPP" << false << QStringList{};
        QTest::newRow("empty book: the window loads when it shows")
            << 0 << "TarnDirectPPP" << false << QStringList{};
        QTest::newRow("direct-cable entry missing: a warning, start-up goes on")
            << 3 << "tarndirectppp" << false
            << QStringList{"48|Remote Access entry 'TarnDirectPPP' not found"};
        QTest::newRow("file server port held: told once, no file server")
            << 3 << "TarnDirectPPP" << true
            << QStringList{"48|The file server could not start on UDP port "};
    }
    void startsTheConsole()
    {
        QFETCH(int, entries);
        QFETCH(QString, peer);
        QFETCH(bool, tftpPortHeld);
        QFETCH(QStringList, messages);
        WriteBook(entries);
        SetDesktopWindows(std::make_unique<CScriptedDesktop>(QStringList{"Terminal"}));
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::Any, 0));
        SStartupOptions options = Options(peer);
        if (tftpPortHeld)
            options.fileServer.tftp.port = holder.localPort();
        QVERIFY(Main(options));
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
        QVERIFY(book->selectedItems().isEmpty());
        QVERIFY(!Button(*gMainForm, FMain::kKeyRemove)->isEnabled());
        // The window's load switched the file server on.
        QCOMPARE(bool(gFileServer), !tftpPortHeld);
        if (gFileServer)
            QVERIFY(gFileServer->Enable() && gFileServer->FtpPort() && gFileServer->TftpPort());
        QVERIFY(SplashWindows().isEmpty() && !QApplication::overrideCursor());
    }

    // A refusal (here: no browser) is told once and nothing starts; the other
    // refusals come from the same rule check and are run by the desktop scenario.
    void refusedStartEndsWithoutWindows()
    {
        SStartupOptions options = Options(QStringLiteral("TarnDirectPPP"));
        options.rules.browserEnvironment.browserVariable.clear();
        gWwwRoot = QStringLiteral("(not read)");
        QVERIFY(!Main(options));
        QCOMPARE(m_messages.Texts(),
                 QStringList{"Impossible to run Pelion\r\n(Internet Browser not installed)"});
        QCOMPARE(m_messages.Shown().first().icon, EMessageIcon::Critical);
        QVERIFY(!gMainForm && !gFileServer);
        // Nothing was read: the settings stay as they were.
        QCOMPARE(gWwwRoot, QStringLiteral("(not read)"));
        QVERIFY(SplashWindows().isEmpty() && !QApplication::overrideCursor());
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
        const CRaisedError error(std::uint32_t(number), QStringLiteral("pelion.Sockets"),
                                 description);
        QCOMPARE(FileServerFailureText(error, 69), text);
    }

    // The splash is up, with the hourglass, while the settings load and the
    // window loads; the window shows only once the splash has gone.
    void splashStaysUpAfterTheSettingsLoad()
    {
        QString whenLoaded; // splash up, hourglass, window hidden: 1 each
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            // Loaded: the caption carries the version.
            if (whenLoaded.isEmpty() && gMainForm && gMainForm->windowTitle().contains(" ver. ")) {
                const QList<FSplash*> splashes = SplashWindows();
                for (bool seen : {splashes.size() == 1 && splashes.first()->isVisible(),
                                  QApplication::overrideCursor()
                                      && QApplication::overrideCursor()->shape() == Qt::WaitCursor,
                                  !gMainForm->isVisible()})
                    whenLoaded += seen ? '1' : '0';
            }
        });
        watch.start(0);
        WriteBook(3);
        QVERIFY(Main(Options(QStringLiteral("TarnDirectPPP"))));
        QCOMPARE(whenLoaded, QStringLiteral("111"));
        QVERIFY(SplashWindows().isEmpty() && gMainForm->isVisible());
    }

private:
    SStartupOptions Options(const QString& peer) const
    {
        static int run = 0;
        const QString folder = m_folder.filePath(QStringLiteral("run%1").arg(++run));
        SStartupOptions options;
        options.rules.lockFilePath = folder + QStringLiteral("/runtime/pelion.lock");
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
