#include "console/SStartupOptions.h"

#include <QtTest>

class tst_SStartupOptions final : public QObject {
    Q_OBJECT

private slots:
    void environmentSetsTheTestSeams_data()
    {
        QTest::addColumn<QStringList>("variables"); // NAME=VALUE
        QTest::addColumn<QString>("peersFolder");
        QTest::addColumn<QList<int>>("ports"); // FTP, FTP data, TFTP, help (-1: unset)
        QTest::addColumn<QString>("messageLog");
        QTest::newRow("nothing set: the product's own")
            << QStringList{} << "/etc/ppp/peers" << QList<int>{21, 20, 69, -1} << "";
        QTest::newRow("everything set, the browser looked up in it too")
            << QStringList{"PELION_PEERS_FOLDER=/tmp/peers",
                           "PELION_FTP_PORT=0",
                           "PELION_FTP_DATA_PORT=2020",
                           "PELION_TFTP_PORT=0",
                           "PELION_HELP_PORT=0",
                           "PELION_MESSAGE_LOG=/tmp/m.log",
                           "XDG_CONFIG_HOME=/tmp/cfg",
                           "BROWSER=firefox"}
            << "/tmp/peers" << QList<int>{0, 2020, 0, 0} << "/tmp/m.log";
        QTest::newRow("values that are no port are ignored")
            << QStringList{"PELION_FTP_PORT=ftp", "PELION_TFTP_PORT=65536", "PELION_HELP_PORT=-1",
                           "PELION_FTP_DATA_PORT="}
            << "/etc/ppp/peers" << QList<int>{21, 20, 69, -1} << "";
    }
    void environmentSetsTheTestSeams()
    {
        QFETCH(QStringList, variables);
        QFETCH(QList<int>, ports);
        QProcessEnvironment environment;
        for (const QString& variable : variables)
            environment.insert(variable.section('=', 0, 0), variable.section('=', 1));

        const SStartupOptions options = SStartupOptions::FromEnvironment(environment);
        QTEST(options.rules.peersFolder, "peersFolder");
        QCOMPARE(options.fileServer.ftp.port, ports[0]);
        QCOMPARE(options.fileServer.ftp.localDataPort, ports[1]);
        QCOMPARE(options.fileServer.tftp.port, ports[2]);
        QCOMPARE(options.helpPort ? int(*options.helpPort) : -1, ports[3]);
        QTEST(options.messageLog, "messageLog");
        QCOMPARE(options.splashMs, 2000);
        QCOMPARE(options.rules.browserEnvironment.browserVariable, environment.value("BROWSER"));
        if (environment.contains("XDG_CONFIG_HOME"))
            QCOMPARE(options.rules.browserEnvironment.configHome, QStringLiteral("/tmp/cfg"));
    }
};

QTEST_GUILESS_MAIN(tst_SStartupOptions)
#include "tst_SStartupOptions.moc"
