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
        m_folder.Clear();
    }
    // The user's INI file, the section a group; a hand-edited list reads as one text.
    void storeIsTheUsersIniFile()
    {
        CSettingsStore store;
        QVERIFY(store.Write(kSectionProgOptions, kKeyModemEntry, "Office modem"));
        QCOMPARE(
            QSettings(m_folder.UserFile(), QSettings::IniFormat).value("Prog Options/Modem Entry"),
            QVariant("Office modem"));
        QVERIFY(
            TestFiles::Write(m_folder.UserFile(), "[Ip%20Address%20Book]\n0Description=a, b\n"));
        QCOMPARE(CSettingsStore().Read(kSectionIpAddressBook, "0Description"), QString("a, b"));
    }
    void loadProgramSettings_data()
    {
        QTest::addColumn<QString>("settings"); // type|modem entry|web root; "-": absent
        QTest::addColumn<QString>("loaded");
        const QString exeRoot = "|/usr/lib/pelion/wwwRoot";
        const auto row = [](const char* name, const char* settings, const QString& loaded) {
            QTest::newRow(name) << QString(settings) << loaded;
        };
        row("modem", "1|Office modem|-", "1|Office modem" + exeRoot);
        row("type not a number", "modem|-|-", "0|" + exeRoot);
        row("web root set", "-|-|/srv/help", "0||/srv/help");
    }
    void loadProgramSettings()
    {
        QFETCH(QString, settings);
        const QStringList values = settings.split('|');
        CSettingsStore store;
        if (values[0] != "-")
            store.Write(kSectionProgOptions, kKeyConnectionType, values[0]);
        if (values[1] != "-")
            store.Write(kSectionProgOptions, kKeyModemEntry, values[1]);
        if (values[2] != "-")
            store.WriteWwwRoot(values[2]);
        gConnType = 7;
        gModemEntry = gWwwRoot = QStringLiteral("stale");
        LoadProgramSettings(store, "/usr/lib/pelion");
        const QStringList loaded{QString::number(gConnType), gModemEntry, gWwwRoot};
        QTEST(loaded.join('|'), "loaded");
    }

private:
    CTestSettingsFolder m_folder;
};

QTEST_GUILESS_MAIN(tst_CSettingsStore)
#include "tst_CSettingsStore.moc"
