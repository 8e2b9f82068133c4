#include "console/CMessageLog.h"
#include "console/SStartupOptions.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_SStartupOptions final : public QObject {
    Q_OBJECT

private slots:
    void environmentSetsTheTestSeams_data()
    {
        QTest::addColumn<QString>("variables"); // NAME=VALUE, separated by blanks
        QTest::addColumn<QString>("peersFolder");
        QTest::addColumn<QList<int>>("ports"); // FTP, FTP data, TFTP, help (-1: unset)
        QTest::addColumn<QString>("messageLog");
        QTest::addColumn<QString>("lockFile"); // empty: the user's own places
        const QList<int> own{21, 20, 69, -1};
        QTest::newRow("nothing set: the product's own") << ""
                                                        << "/etc/ppp/peers" << own << ""
                                                        << "";
        QTest::newRow("everything set")
            << "PELION_PEERS_FOLDER=/tmp/peers PELION_FTP_PORT=0 PELION_FTP_DATA_PORT=2020 "
               "PELION_TFTP_PORT=0 PELION_HELP_PORT=0 PELION_MESSAGE_LOG=/tmp/m.log "
               "XDG_CONFIG_HOME=/tmp/cfg BROWSER=firefox PELION_INSTANCE_FOLDER=/tmp/i "
               "PELION_SYSTEM_SETTINGS=/tmp/sys"
            << "/tmp/peers" << QList<int>{0, 2020, 0, 0} << "/tmp/m.log"
            << "/tmp/i/pelion.lock";
        QTest::newRow("values that are no port are ignored")
            << "PELION_FTP_PORT=ftp PELION_TFTP_PORT=65536 PELION_HELP_PORT=-1 "
               "PELION_FTP_DATA_PORT= PELION_INSTANCE_FOLDER="
            << "/etc/ppp/peers" << own << ""
            << "";
    }
    void environmentSetsTheTestSeams()
    {
        QFETCH(QString, variables);
        QFETCH(QList<int>, ports);
        QProcessEnvironment environment;
        for (const QString& variable : variables.split(' ', Qt::SkipEmptyParts))
            environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        const SStartupOptions options = SStartupOptions::FromEnvironment(environment);
        QTEST(options.rules.peersFolder, "peersFolder");
        const auto& server = options.fileServer;
        QCOMPARE(
            (QList<int>{int(server.ftp.port), int(server.ftp.localDataPort), int(server.tftp.port),
                        options.helpPort ? int(*options.helpPort) : -1}),
            ports);
        QTEST(options.messageLog, "messageLog");
        QCOMPARE(options.systemSettingsFolder, environment.value("PELION_SYSTEM_SETTINGS"));
        QFETCH(QString, lockFile);
        QCOMPARE(options.rules.lockFilePaths, lockFile.isEmpty()
                                                  ? CInstanceLock::DefaultPaths("pelion")
                                                  : QStringList{lockFile});
        QCOMPARE(options.splashMs, 2000);
        QCOMPARE(options.rules.browserEnvironment.browserVariable, environment.value("BROWSER"));
        QCOMPARE(options.rules.browserEnvironment.configHome == "/tmp/cfg",
                 environment.contains("XDG_CONFIG_HOME"));
    }
    // The log takes every message whole and answers at once: OK, or No to a question.
    void messageLogAnswersAtOnce()
    {
        QTemporaryDir folder;
        CMessageLog::Install(folder.filePath("m.log"));
        const SMessage shown[] = {
            {"Impossible to run Pelion\r\n(x)", "Pelion", EMessageIcon::Critical,
             EMessageButtons::Ok},
            {"Entry \"x\" – ok?", "Pelion", EMessageIcon::Question, EMessageButtons::YesNo}};
        QCOMPARE(CMessageService::Show(shown[0]), EMessageResult::Ok);
        QCOMPARE(CMessageService::Show(shown[1]), EMessageResult::No);
        CMessageService::SetHandler({});
        const QList<SMessage> read = CMessageLog::Read(folder.filePath("m.log"));
        QCOMPARE(read.size(), 2);
        for (int i = 0; i < 2; ++i)
            QVERIFY(read[i].text == shown[i].text && read[i].title == shown[i].title
                    && read[i].icon == shown[i].icon && read[i].buttons == shown[i].buttons);
    }
};

QTEST_GUILESS_MAIN(tst_SStartupOptions)
#include "tst_SStartupOptions.moc"
