#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "tests/console/TestSettingsFolder.h"
#include "tests/kit/TestFiles.h"

#include <QtTest>

class tst_CSettingsStore final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_folder.IsValid());
        m_folder.MakeSystemScopeWritable();
        m_folder.Clear();
    }

    // The user's INI file, the section as a group; the values' round trips
    // are the address book's.
    void storeIsTheUsersIniFile()
    {
        CSettingsStore store;
        QCOMPARE(store.FileName(), m_folder.UserFile());
        QVERIFY(store.Write(kSectionProgOptions, kKeyModemEntry, "Office modem"));
        QCOMPARE(
            QSettings(m_folder.UserFile(), QSettings::IniFormat).value("Prog Options/Modem Entry"),
            QVariant("Office modem"));
    }

    void handEditedListReadsAsOneText()
    {
        QVERIFY(
            TestFiles::Write(m_folder.UserFile(), "[Ip%20Address%20Book]\n0Description=a, b\n"));
        QCOMPARE(CSettingsStore().Read(kSectionIpAddressBook, "0Description"),
                 QStringLiteral("a, b"));
    }

    // The web root lives in the system scope only; a write there that the
    // user may not make fails quietly.
    void wwwRoot()
    {
        CSettingsStore store;
        QCOMPARE(store.ReadWwwRoot(), QString());
        QVERIFY(store.WriteWwwRoot("/opt/pelion/wwwRoot"));
        QCOMPARE(CSettingsStore().ReadWwwRoot(), QStringLiteral("/opt/pelion/wwwRoot"));
        QVERIFY(QFile::exists(m_folder.SystemFile()));
        QCOMPARE(store.Read("Settings", "wwwRoot"), QString());
        m_folder.Clear();
        m_folder.MakeSystemScopeUnwritable();
        QTest::failOnWarning(QRegularExpression(".*"));
        QVERIFY(!store.WriteWwwRoot("/somewhere/wwwRoot"));
        QVERIFY(!QFile::exists(m_folder.SystemFile()));
    }

    void loadProgramSettings_data()
    {
        QTest::addColumn<QString>("connectionType"); // null: absent, and so below
        QTest::addColumn<QString>("modemEntry");
        QTest::addColumn<QString>("wwwRoot");
        QTest::addColumn<int>("connType");
        QTest::addColumn<QString>("expectedWwwRoot");
        const QString none, exeRoot = QStringLiteral("/usr/lib/pelion/wwwRoot");
        QTest::newRow("empty store") << none << none << none << 0 << exeRoot;
        QTest::newRow("modem") << "1"
                               << "Office modem" << none << 1 << exeRoot;
        QTest::newRow("direct cable") << "0" << none << none << 0 << exeRoot;
        QTest::newRow("not a number") << "modem" << none << none << 0 << exeRoot;
        QTest::newRow("empty web root") << none << none << "" << 0 << exeRoot;
        QTest::newRow("web root set") << none << none << "/srv/help" << 0 << "/srv/help";
    }
    void loadProgramSettings()
    {
        QFETCH(QString, connectionType);
        QFETCH(QString, modemEntry);
        QFETCH(QString, wwwRoot);
        QFETCH(int, connType);
        QFETCH(QString, expectedWwwRoot);
        CSettingsStore store;
        if (!connectionType.isNull())
            store.Write(kSectionProgOptions, kKeyConnectionType, connectionType);
        if (!modemEntry.isNull())
            store.Write(kSectionProgOptions, kKeyModemEntry, modemEntry);
        if (!wwwRoot.isNull())
            store.WriteWwwRoot(wwwRoot);
        gConnType = 7;
        gModemEntry = gWwwRoot = QStringLiteral("stale");
        LoadProgramSettings(store, "/usr/lib/pelion");
        QCOMPARE(gConnType, connType);
        QCOMPARE(gModemEntry, modemEntry);
        QCOMPARE(gWwwRoot, expectedWwwRoot);
    }

private:
    CTestSettingsFolder m_folder;
};

QTEST_GUILESS_MAIN(tst_CSettingsStore)
#include "tst_CSettingsStore.moc"
