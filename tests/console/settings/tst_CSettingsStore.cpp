#include "console/settings/CSettingsStore.h"
#include "console/settings/MSettings.h"
#include "tests/console/TestSettingsFolder.h"

#include <QFile>
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

    void storeIsTheUsersIniFile()
    {
        CSettingsStore store;
        QCOMPARE(store.FileName(), m_folder.UserFile());
        QVERIFY(store.Write(QStringLiteral("Prog Options"), QStringLiteral("Modem Entry"),
                            QStringLiteral("Office modem")));
        // Written at once, in INI form, under the section as a group.
        QSettings file(m_folder.UserFile(), QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("Prog Options/Modem Entry")).toString(),
                 QStringLiteral("Office modem"));
    }

    void readWriteDelete_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QStringLiteral("10.0.0.1");
        QTest::newRow("empty") << QString();
        QTest::newRow("comma") << QStringLiteral("Lab, rack 3");
        QTest::newRow("quotes and equals") << QStringLiteral("a \"b\" = c; d");
        QTest::newRow("non-latin") << QStringLiteral("Zentrale München Ω");
        QTest::newRow("leading blanks") << QStringLiteral("  spaced  ");
    }
    void readWriteDelete()
    {
        QFETCH(QString, value);
        const QString section = QLatin1String(kSectionIpAddressBook);
        const QString key = QStringLiteral("0Description");
        {
            CSettingsStore store;
            QCOMPARE(store.Read(section, key, QStringLiteral("absent")), QStringLiteral("absent"));
            QVERIFY(store.Write(section, key, value));
        }
        {
            // A new store reads what the file holds.
            CSettingsStore store;
            QCOMPARE(store.Read(section, key, QStringLiteral("absent")), value);
            QVERIFY(store.Delete(section, key));
            QCOMPARE(store.Read(section, key, QStringLiteral("absent")), QStringLiteral("absent"));
            QVERIFY(store.Keys(section).isEmpty());
        }
    }

    void handEditedListReadsAsOneText()
    {
        QFile file(m_folder.UserFile());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Ip%20Address%20Book]\n0IpAddress=10.0.0.1\n0Description=Lab, rack 3\n");
        file.close();
        CSettingsStore store;
        QCOMPARE(store.Read(QLatin1String(kSectionIpAddressBook), QStringLiteral("0Description")),
                 QStringLiteral("Lab, rack 3"));
    }

    void wwwRootIsSystemScope()
    {
        CSettingsStore store;
        QCOMPARE(store.ReadWwwRoot(), QString());
        QVERIFY(store.WriteWwwRoot(QStringLiteral("/opt/pelion/wwwRoot")));
        QCOMPARE(CSettingsStore().ReadWwwRoot(), QStringLiteral("/opt/pelion/wwwRoot"));
        QVERIFY(QFile::exists(m_folder.SystemFile()));
        // The per-user file knows nothing of it.
        QCOMPARE(store.Read(QStringLiteral("Settings"), QStringLiteral("wwwRoot")), QString());
    }

    void wwwRootWriteFailsQuietly()
    {
        m_folder.MakeSystemScopeUnwritable();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        CSettingsStore store;
        QVERIFY(!store.WriteWwwRoot(QStringLiteral("/somewhere/wwwRoot")));
        QVERIFY(!QFile::exists(m_folder.SystemFile()));
    }

    void loadProgramSettings_data()
    {
        QTest::addColumn<QString>("connectionType"); // null: absent
        QTest::addColumn<QString>("modemEntry");     // null: absent
        QTest::addColumn<QString>("wwwRoot");        // null: absent
        QTest::addColumn<int>("expectedConnType");
        QTest::addColumn<QString>("expectedWwwRoot");
        const QString exeRoot = QStringLiteral("/usr/lib/pelion/wwwRoot");
        QTest::newRow("empty store") << QString() << QString() << QString() << 0 << exeRoot;
        QTest::newRow("modem") << QStringLiteral("1") << QStringLiteral("Office modem") << QString()
                               << 1 << exeRoot;
        QTest::newRow("direct cable")
            << QStringLiteral("0") << QString() << QString() << 0 << exeRoot;
        QTest::newRow("not a number")
            << QStringLiteral("modem") << QString() << QString() << 0 << exeRoot;
        QTest::newRow("empty web root")
            << QString() << QString() << QStringLiteral("") << 0 << exeRoot;
        QTest::newRow("web root set") << QString() << QString() << QStringLiteral("/srv/help") << 0
                                      << QStringLiteral("/srv/help");
    }
    void loadProgramSettings()
    {
        QFETCH(QString, connectionType);
        QFETCH(QString, modemEntry);
        QFETCH(QString, wwwRoot);
        QFETCH(int, expectedConnType);
        QFETCH(QString, expectedWwwRoot);
        CSettingsStore store;
        const QString options = QLatin1String(kSectionProgOptions);
        if (!connectionType.isNull())
            store.Write(options, QLatin1String(kKeyConnectionType), connectionType);
        if (!modemEntry.isNull())
            store.Write(options, QLatin1String(kKeyModemEntry), modemEntry);
        if (!wwwRoot.isNull())
            store.WriteWwwRoot(wwwRoot);
        gConnType = 7;
        gModemEntry = QStringLiteral("stale");
        gWwwRoot = QStringLiteral("stale");

        LoadProgramSettings(store, QStringLiteral("/usr/lib/pelion"));
        QCOMPARE(gConnType, expectedConnType);
        QCOMPARE(gModemEntry, modemEntry.isNull() ? QString() : modemEntry);
        QCOMPARE(gWwwRoot, expectedWwwRoot);
    }

private:
    CTestSettingsFolder m_folder;
};

QTEST_GUILESS_MAIN(tst_CSettingsStore)
#include "tst_CSettingsStore.moc"
