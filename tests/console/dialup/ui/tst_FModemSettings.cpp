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
        FModemSettings dialog(kit.options, kit.Dialup());
        const QStringList shown{dialog.windowTitle(),    dialog.lblSelect()->text(),
                                dialog.cmdAdd()->text(), dialog.cmdProperties()->text(),
                                dialog.cmdOk()->text(),  dialog.cmdCancel()->text()};
        QCOMPARE(shown, (QStringList{"Modem settings",
                                     "Use the following entry for modem connection:", "Add",
                                     "Properties", "Ok", "Cancel"}));
    }

    void storedEntryIsSelected_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("properties");
        const QStringList three{"Alpha", "Modem1", "Zulu"};
        QTest::newRow("stored entry there") << three << "Modem1" << true << "Modem1" << true;
        QTest::newRow("stored entry vanished") << three << "Gone" << true << "" << false;
        QTest::newRow("letter case matters") << three << "modem1" << true << "" << false;
        QTest::newRow("nothing stored") << three << "" << true << "" << false;
        QTest::newRow("no entries") << QStringList{} << "Modem1" << true << "" << false;
        QTest::newRow("no dial-up service: no list") << three << "Modem1" << false << "" << true;
    }
    void storedEntryIsSelected()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, stored);
        QFETCH(bool, installed);
        QFETCH(QString, selected);
        QFETCH(bool, properties);
        DialogTestKit kit;
        for (const QString& name : entries)
            kit.AddEntry(name);
        kit.modemEntry = stored;
        FModemSettings dialog(kit.options, kit.Dialup(installed));
        QCOMPARE(dialog.comboSelectEntry()->count(), installed ? entries.size() : 0);
        QCOMPARE(dialog.comboSelectEntry()->currentText(), selected);
        QCOMPARE(dialog.cmdProperties()->isEnabled(), properties);
        if (!installed)
            return;
        dialog.comboSelectEntry()->setCurrentIndex(entries.isEmpty() ? -1 : 0);
        QCOMPARE(dialog.cmdProperties()->isEnabled(), !entries.isEmpty());
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
        FModemSettings dialog(kit.options, kit.Dialup());
        dialog.comboSelectEntry()->setCurrentIndex(1);
        QTest::mouseClick(ok ? dialog.cmdOk() : dialog.cmdCancel(), Qt::LeftButton);
        QCOMPARE(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
        QCOMPARE(kit.Stored(CProgOptions::kModemEntry), ok ? "Beta" : "<absent>");
        QCOMPARE(kit.modemEntry, ok ? "Beta" : "Alpha");
    }

    // Properties edits the chosen entry; Add opens the new-entry dialog, then
    // the list shows the new entry. The console's editor flag is up meanwhile.
    void addAndPropertiesOpenTheEditors()
    {
        DialogTestKit kit;
        kit.AddEntry(QStringLiteral("Beta"));
        kit.modemEntry = QStringLiteral("Beta");
        FModemSettings dialog(kit.options, kit.Dialup());
        connect(&dialog, &FModemSettings::OnPhonebookEditorActive, this,
                [&kit](bool active) { kit.RecordActive(active); });
        QTest::mouseClick(dialog.cmdProperties(), Qt::LeftButton);
        QTest::mouseClick(dialog.cmdAdd(), Qt::LeftButton);
        QCOMPARE(dialog.comboSelectEntry()->count(), 2);
        QCOMPARE(kit.calls,
                 (QStringList{"active", "edit Beta", "idle", "active", "create", "idle"}));
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
