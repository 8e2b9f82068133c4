#include "platform/dialup/MPppdProgram.h"
#include "platform/dialup/MRasApi.h"
#include "platform/dialup/MSerialDevices.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

// What the dial-up layer reads from the file system: the pppd program, the
// phonebook entries and the serial devices, and the entry names it accepts.
class tst_DialupFiles final : public QObject {
    Q_OBJECT

private slots:
    void rasIsInstalledWhenPppdCanRun()
    {
        QTemporaryDir dir;
        QVERIFY(TestFiles::WriteScript(dir.filePath("program"), "#!/bin/sh\n"));
        QVERIFY(TestFiles::Write(dir.filePath("plain"), "#!/bin/sh\n"));
        QVERIFY(IsRasInstalled(dir.filePath("program")));
        for (const char* notRunnable : {"plain", "missing", "."}) // "." is a folder
            QVERIFY2(!IsRasInstalled(dir.filePath(notRunnable)), notRunnable);
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
    void entryNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(IsValidEntryName(name), valid);
    }

    // Each name is made as a file, "dir/" as a folder, "name->target" as a link.
    void entriesAreThePeerFiles_data()
    {
        QTest::addColumn<QStringList>("made");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, const char* made, const char* expected) {
            QTest::newRow(name) << QString::fromLatin1(made).split(u' ', Qt::SkipEmptyParts)
                                << QString::fromLatin1(expected).split(u' ', Qt::SkipEmptyParts);
        };
        row("empty folder", "", "");
        row("sorted by name", "provider TarnDirectPPP modem", "TarnDirectPPP modem provider");
        row("names differing in case are two entries", "tarndirectppp TarnDirectPPP",
            "TarnDirectPPP tarndirectppp");
        row("folders are no entries", "chat/ modem", "modem");
        row("backups and package leftovers are not", "modem~ provider.dpkg-old provider",
            "provider");
        row("a link to a file is one, a broken link not", "real alias->real broken->missing",
            "alias real");
    }
    void entriesAreThePeerFiles()
    {
        QFETCH(QStringList, made);
        QFETCH(QStringList, expected);
        QTemporaryDir peers;
        for (const QString& name : made) {
            const QStringList link = name.split(QLatin1String("->"));
            if (name.endsWith(u'/'))
                QVERIFY(QDir().mkpath(peers.filePath(name)));
            else if (link.size() == 2)
                QVERIFY(QFile::link(link[1], peers.filePath(link[0])));
            else
                QVERIFY(TestFiles::Write(peers.filePath(name), "/dev/ttyS0 115200\n"));
        }
        QCOMPARE(EnumRasEntries(peers.path()), expected);
        QCOMPARE(EnumRasEntries(peers.filePath("missing")), QStringList{});
        QCOMPARE(EnumRasEntries(QString()), QStringList{});
    }

    void serialDevicesInNaturalOrder()
    {
        QTemporaryDir dev;
        for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "tty0", "ttyX1", "null"})
            QVERIFY(TestFiles::Write(dev.filePath(QString::fromLatin1(name)), {}));
        QCOMPARE(ListSerialDevices(dev.path()),
                 (QStringList{dev.filePath("ttyACM1"), dev.filePath("ttyS2"),
                              dev.filePath("ttyS10"), dev.filePath("ttyUSB0")}));
        QVERIFY(ListSerialDevices(dev.filePath(QStringLiteral("missing"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_DialupFiles)
#include "tst_DialupFiles.moc"
