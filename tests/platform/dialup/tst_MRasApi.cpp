#include "platform/dialup/MRasApi.h"
#include "tests/kit/TestFiles.h"

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
        QTest::newRow("no folder") << QStringList{"<no folder>"} << QStringList{};
    }
    void entriesAreThePeerFiles()
    {
        QFETCH(QStringList, made);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString peers = dir.filePath("peers");
        for (const QString& name : made) {
            const QStringList link = name.split(QLatin1String("->"));
            if (name.endsWith(u'/'))
                QVERIFY(QDir().mkpath(peers + u'/' + name));
            else if (link.size() == 2)
                QVERIFY(QDir().mkpath(peers) && QFile::link(link[1], peers + u'/' + link[0]));
            else if (name != QStringLiteral("<no folder>"))
                QVERIFY(TestFiles::Write(peers + u'/' + name, "/dev/ttyS0 115200\n"));
        }
        QCOMPARE(EnumRasEntries(made.isEmpty() ? dir.path() : peers), expected);
        QCOMPARE(EnumRasEntries(QString()), QStringList{});
    }
};

QTEST_GUILESS_MAIN(tst_MRasApi)
#include "tst_MRasApi.moc"
