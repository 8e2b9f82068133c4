#include "platform/dialup/MPppdProgram.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_MPppdProgram final : public QObject {
    Q_OBJECT

private slots:
    void rasIsInstalledWhenPppdCanRun_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("installed");
        QTest::newRow("a program") << "program" << true;
        QTest::newRow("a file that is no program") << "plain" << false;
        QTest::newRow("missing") << "missing" << false;
        QTest::newRow("a folder") << "folder" << false;
    }
    void rasIsInstalledWhenPppdCanRun()
    {
        QFETCH(QString, name);
        QFETCH(bool, installed);
        QTemporaryDir dir;
        QVERIFY(TestFiles::WriteScript(dir.filePath("program"), "#!/bin/sh\n"));
        QVERIFY(TestFiles::Write(dir.filePath("plain"), "#!/bin/sh\n"));
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        QCOMPARE(IsRasInstalled(dir.filePath(name)), installed);
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
};

QTEST_GUILESS_MAIN(tst_MPppdProgram)
#include "tst_MPppdProgram.moc"
