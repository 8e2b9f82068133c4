#include "platform/dialup/MRasApi.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_MRasApi final : public QObject {
    Q_OBJECT

private slots:
    void entriesAreThePeerFiles_data()
    {
        // Each name is made as a file; "dir/" as a folder, "name->target" as a link.
        QTest::addColumn<QStringList>("made");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("empty folder") << QStringList{} << QStringList{};
        QTest::newRow("sorted by name") << QStringList{"provider", "TarnDirectPPP", "modem"}
                                        << QStringList{"TarnDirectPPP", "modem", "provider"};
        QTest::newRow("names differing in case are two entries")
            << QStringList{"tarndirectppp", "TarnDirectPPP"}
            << QStringList{"TarnDirectPPP", "tarndirectppp"};
        QTest::newRow("folders are no entries")
            << QStringList{"chat/", "modem"} << QStringList{"modem"};
        QTest::newRow("backups and package leftovers are no entries")
            << QStringList{"modem~", "provider.dpkg-old", "provider"} << QStringList{"provider"};
        QTest::newRow("a link to a file is an entry, a broken link is not")
            << QStringList{"real", "alias->real", "broken->missing"}
            << QStringList{"alias", "real"};
    }
    void entriesAreThePeerFiles()
    {
        QFETCH(QStringList, made);
        QFETCH(QStringList, expected);
        QTemporaryDir peers;
        QVERIFY(peers.isValid());
        for (const QString& name : made) {
            if (name.endsWith(QLatin1Char('/'))) {
                QVERIFY(QDir(peers.path()).mkdir(name.chopped(1)));
            } else if (name.contains(QLatin1String("->"))) {
                const QStringList parts = name.split(QLatin1String("->"));
                QVERIFY(QFile::link(parts[1], peers.filePath(parts[0])));
            } else {
                QFile file(peers.filePath(name));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write("/dev/ttyS0 115200\n");
            }
        }
        QCOMPARE(EnumRasEntries(peers.path()), expected);
    }

    void aMissingFolderHasNoEntries()
    {
        QTemporaryDir parent;
        QCOMPARE(EnumRasEntries(parent.filePath(QStringLiteral("missing"))), QStringList{});
        QCOMPARE(EnumRasEntries(QString()), QStringList{});
    }
};

QTEST_GUILESS_MAIN(tst_MRasApi)
#include "tst_MRasApi.moc"
