#include "console/dialup/ui/FModemSettings.h"
#include "console/dialup/ui/MEntryCombo.h"
#include "tests/console/dialup/ui/DialogTestKit.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class tst_FModemSettings final : public QObject {
    Q_OBJECT

private slots:
    void captions()
    {
        DialogTestKit kit;
        FModemSettings dialog(*kit.options, kit.Dialup());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Modem settings"));
        QCOMPARE(dialog.lblSelect()->text(),
                 QStringLiteral("Use the following entry for modem connection:"));
        QCOMPARE(dialog.cmdAdd()->text(), QStringLiteral("Add"));
        QCOMPARE(dialog.cmdProperties()->text(), QStringLiteral("Properties"));
        QCOMPARE(dialog.cmdOk()->text(), QStringLiteral("Ok"));
        QCOMPARE(dialog.cmdCancel()->text(), QStringLiteral("Cancel"));
    }

    void storedEntryIsSelected_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("properties");

        const QStringList three{"Alpha", "Modem1", "Zulu"};
        QTest::newRow("stored entry there") << three << "Modem1" << true << 3 << "Modem1" << true;
        QTest::newRow("stored entry vanished") << three << "Gone" << true << 3 << "" << false;
        QTest::newRow("letter case matters") << three << "modem1" << true << 3 << "" << false;
        QTest::newRow("nothing stored") << three << "" << true << 3 << "" << false;
        QTest::newRow("no entries") << QStringList{} << "Modem1" << true << 0 << "" << false;
        QTest::newRow("no dial-up service") << three << "Modem1" << false << 0 << "" << true;
    }
    void storedEntryIsSelected()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, stored);
        QFETCH(bool, installed);
        QFETCH(int, count);
        QFETCH(QString, selected);
        QFETCH(bool, properties);

        DialogTestKit kit;
        for (const QString& name : entries)
            kit.AddEntry(name);
        kit.modemEntry = stored;
        FModemSettings dialog(*kit.options, kit.Dialup(installed));
        QCOMPARE(dialog.comboSelectEntry()->count(), count);
        QCOMPARE(dialog.comboSelectEntry()->currentText(), selected);
        QCOMPARE(dialog.cmdProperties()->isEnabled(), properties);
    }

    void choosingAnEntryEnablesProperties()
    {
        DialogTestKit kit;
        kit.AddEntry(QStringLiteral("Alpha"));
        FModemSettings dialog(*kit.options, kit.Dialup());
        QVERIFY(!dialog.cmdProperties()->isEnabled());
        dialog.comboSelectEntry()->setCurrentIndex(0);
        QVERIFY(dialog.cmdProperties()->isEnabled());
        dialog.comboSelectEntry()->setCurrentIndex(-1);
        QVERIFY(!dialog.cmdProperties()->isEnabled());
    }

    void okStoresTheEntryAtOnceAndCancelNothing_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::newRow("Ok") << true;
        QTest::newRow("Cancel") << false;
    }
    void okStoresTheEntryAtOnceAndCancelNothing()
    {
        QFETCH(bool, ok);
        DialogTestKit kit;
        kit.AddEntry(QStringLiteral("Alpha"));
        kit.AddEntry(QStringLiteral("Beta"));
        kit.modemEntry = QStringLiteral("Alpha");
        FModemSettings dialog(*kit.options, kit.Dialup());
        dialog.comboSelectEntry()->setCurrentIndex(1);
        QTest::mouseClick(ok ? dialog.cmdOk() : dialog.cmdCancel(), Qt::LeftButton);
        QCOMPARE(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
        QCOMPARE(kit.Stored(CProgOptions::kModemEntry), ok ? "Beta" : "<absent>");
        QCOMPARE(kit.modemEntry, ok ? "Beta" : "Alpha");
    }

    void addOpensTheNewEntryDialogThenRefreshes()
    {
        DialogTestKit kit;
        kit.AddEntry(QStringLiteral("Alpha"));
        FModemSettings dialog(*kit.options, kit.Dialup());
        QObject::connect(&dialog, &FModemSettings::OnPhonebookEditorActive,
                         [&kit](bool active) { kit.editorActive = active; });
        QTest::mouseClick(dialog.cmdAdd(), Qt::LeftButton);
        QCOMPARE(kit.created, 1);
        QCOMPARE(kit.editorActiveDuringCall, QList<bool>{true});
        QVERIFY(!kit.editorActive);
        QCOMPARE(dialog.comboSelectEntry()->count(), 2);
    }

    void propertiesEditsTheChosenEntry()
    {
        DialogTestKit kit;
        kit.AddEntry(QStringLiteral("Alpha"));
        kit.AddEntry(QStringLiteral("Beta"));
        kit.modemEntry = QStringLiteral("Beta");
        FModemSettings dialog(*kit.options, kit.Dialup());
        QObject::connect(&dialog, &FModemSettings::OnPhonebookEditorActive,
                         [&kit](bool active) { kit.editorActive = active; });
        QTest::mouseClick(dialog.cmdProperties(), Qt::LeftButton);
        QCOMPARE(kit.edited, QStringList{"Beta"});
        QCOMPARE(kit.editorActiveDuringCall, QList<bool>{true});
        QVERIFY(!kit.editorActive);
    }

    void fillEntryComboCounts()
    {
        DialogTestKit kit;
        QComboBox combo;
        combo.addItem(QStringLiteral("stale"));
        QCOMPARE(FillEntryCombo(&combo, kit.Peers()), -1);
        QCOMPARE(combo.count(), 0);
        kit.AddEntry(QStringLiteral("b"));
        kit.AddEntry(QStringLiteral("a"));
        QCOMPARE(FillEntryCombo(&combo, kit.Peers()), 2);
        QCOMPARE(combo.itemText(0), QStringLiteral("a"));
    }
};

QTEST_MAIN(tst_FModemSettings)
#include "tst_FModemSettings.moc"
