#include "console/dialup/ui/FOptions.h"
#include "tests/console/dialup/ui/DialogTestKit.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

class tst_FOptions final : public QObject {
    Q_OBJECT

private slots:
    void captions()
    {
        DialogTestKit kit;
        FOptions dialog(*kit.options, kit.Dialup());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
        QCOMPARE(dialog.frmPpp()->title(), QStringLiteral("PPP"));
        QCOMPARE(dialog.frmLan()->title(), QStringLiteral("LAN"));
        QCOMPARE(dialog.OptionConnType(0)->text(),
                 QStringLiteral("Connect using direct serial cable"));
        QCOMPARE(dialog.OptionConnType(1)->text(), QStringLiteral("Connect using a modem"));
        for (QPushButton* settings :
             {dialog.cmdDirectSettings(), dialog.cmdModemSettings(), dialog.CmdLanSettings()})
            QCOMPARE(settings->text(), QStringLiteral("Settings..."));
        QCOMPARE(dialog.cmdOk()->text(), QStringLiteral("Ok"));
        QCOMPARE(dialog.cmdCancel()->text(), QStringLiteral("Cancel"));
    }

    void storedChoiceIsSelected_data()
    {
        QTest::addColumn<int>("connType");
        QTest::addColumn<bool>("direct");
        QTest::addColumn<bool>("modem");
        QTest::newRow("direct cable") << 0 << true << false;
        QTest::newRow("modem") << 1 << false << true;
        QTest::newRow("unknown type") << 7 << false << false;
    }
    void storedChoiceIsSelected()
    {
        QFETCH(int, connType);
        QFETCH(bool, direct);
        QFETCH(bool, modem);
        DialogTestKit kit;
        kit.connType = connType;
        FOptions dialog(*kit.options, kit.Dialup());
        QCOMPARE(dialog.OptionConnType(0)->isChecked(), direct);
        QCOMPARE(dialog.OptionConnType(1)->isChecked(), modem);
    }

    void okWritesAtOnceCancelWritesNothing_data()
    {
        QTest::addColumn<int>("storedType");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("written");
        QTest::addColumn<int>("connType");
        QTest::newRow("Ok with the modem") << 0 << 1 << true << "1" << 1;
        QTest::newRow("Ok with the cable") << 1 << 0 << true << "0" << 0;
        QTest::newRow("Cancel after choosing") << 0 << 1 << false << "<absent>" << 0;
        QTest::newRow("Ok with neither") << 7 << -1 << true << "<absent>" << 7;
    }
    void okWritesAtOnceCancelWritesNothing()
    {
        QFETCH(int, storedType);
        QFETCH(int, clicked);
        QFETCH(bool, ok);
        QFETCH(QString, written);
        QFETCH(int, connType);
        DialogTestKit kit;
        kit.connType = storedType;
        FOptions dialog(*kit.options, kit.Dialup());
        if (clicked >= 0)
            QTest::mouseClick(dialog.OptionConnType(clicked), Qt::LeftButton);
        QTest::mouseClick(ok ? dialog.cmdOk() : dialog.cmdCancel(), Qt::LeftButton);
        QCOMPARE(kit.Stored(CProgOptions::kConnectionType), written);
        QCOMPARE(kit.connType, connType);
        QVERIFY(kit.messages.isEmpty());
    }

    // Without pppd the click is answered with the message, and the stored
    // choice stays selected.
    void optionClickWithoutDialUpService_data()
    {
        QTest::addColumn<int>("storedType");
        QTest::addColumn<int>("clicked");
        QTest::newRow("modem clicked, cable stored") << 0 << 1;
        QTest::newRow("cable clicked, modem stored") << 1 << 0;
        QTest::newRow("stored one clicked") << 1 << 1;
    }
    void optionClickWithoutDialUpService()
    {
        QFETCH(int, storedType);
        QFETCH(int, clicked);
        DialogTestKit kit;
        kit.connType = storedType;
        FOptions dialog(*kit.options, kit.Dialup(false));
        QTest::mouseClick(dialog.OptionConnType(clicked), Qt::LeftButton);
        QCOMPARE(kit.messages.size(), 1);
        QCOMPARE(kit.messages.at(0).text,
                 QStringLiteral("You must install the Remote Access Service before!"));
        QCOMPARE(kit.messages.at(0).title, QStringLiteral("Pelion"));
        QCOMPARE(kit.messages.at(0).icon, EMessageIcon::Information);
        QVERIFY(dialog.OptionConnType(storedType)->isChecked());
        QVERIFY(!dialog.OptionConnType(1 - storedType)->isChecked());
    }

    void directSettingsEditsTheCableEntry_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("edited");
        QTest::newRow("entry there") << "TarnDirectPPP" << true << true;
        QTest::newRow("letter case differs") << "tarndirectppp" << true << false;
        QTest::newRow("no entry") << "" << true << false;
        QTest::newRow("no dial-up service") << "TarnDirectPPP" << false << false;
    }
    void directSettingsEditsTheCableEntry()
    {
        QFETCH(QString, entry);
        QFETCH(bool, installed);
        QFETCH(bool, edited);
        DialogTestKit kit;
        if (!entry.isEmpty())
            kit.AddEntry(entry);
        FOptions dialog(*kit.options, kit.Dialup(installed));
        QList<bool> activity;
        connect(&dialog, &FOptions::OnPhonebookEditorActive, this, [&](bool active) {
            kit.editorActive = active;
            activity << active;
        });
        QTest::mouseClick(dialog.cmdDirectSettings(), Qt::LeftButton);
        if (edited) {
            QCOMPARE(kit.edited, QStringList{"TarnDirectPPP"});
            QCOMPARE(kit.editorActiveDuringCall, QList<bool>{true});
            QCOMPARE(activity, (QList<bool>{true, false}));
            QVERIFY(kit.messages.isEmpty());
        } else {
            QVERIFY(kit.edited.isEmpty());
            QVERIFY(activity.isEmpty());
            QCOMPARE(kit.messages.size(), 1);
            QCOMPARE(kit.messages.at(0).text,
                     QStringLiteral("Remote Access entry 'TarnDirectPPP' not found"));
            QCOMPARE(kit.messages.at(0).icon, EMessageIcon::Exclamation);
        }
    }

    void modemSettingsOpensOnlyWithTheService_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed") << true;
        QTest::newRow("missing") << false;
    }
    void modemSettingsOpensOnlyWithTheService()
    {
        QFETCH(bool, installed);
        DialogTestKit kit;
        FOptions dialog(*kit.options, kit.Dialup(installed));
        QString opened;
        DialogTestKit::CloseNextModal(&opened);
        QTest::mouseClick(dialog.cmdModemSettings(), Qt::LeftButton);
        QCOMPARE(opened, installed ? QStringLiteral("Modem settings") : QString());
        QCoreApplication::processEvents(); // the pending closer finds nothing
        QVERIFY(kit.messages.isEmpty());
    }

    void lanSettingsOpensTheAddressSelection()
    {
        DialogTestKit kit;
        FOptions dialog(*kit.options, kit.Dialup());
        QString opened;
        kit.store->setValue(QStringLiteral("Prog Options/MultiHomed IP Selected"), "10.1.0.5");
        DialogTestKit::CloseNextModal(&opened);
        QTest::mouseClick(dialog.CmdLanSettings(), Qt::LeftButton);
        QCOMPARE(opened, QStringLiteral("Available Host IP Address "));
    }
};

QTEST_MAIN(tst_FOptions)
#include "tst_FOptions.moc"
