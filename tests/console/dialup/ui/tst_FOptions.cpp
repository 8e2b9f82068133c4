#include "console/dialup/ui/FOptions.h"
#include "tests/console/dialup/ui/DialogTestKit.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

class tst_FOptions final : public QObject {
    Q_OBJECT

private slots:
    void captions()
    {
        DialogTestKit kit;
        FOptions dialog(kit.options, kit.Dialup());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
        QCOMPARE(dialog.frmPpp()->title(), QStringLiteral("PPP"));
        QCOMPARE(dialog.frmLan()->title(), QStringLiteral("LAN"));
        QCOMPARE(dialog.OptionConnType(0)->text(), "Connect using direct serial cable");
        QCOMPARE(dialog.OptionConnType(1)->text(), QStringLiteral("Connect using a modem"));
        for (QPushButton* settings :
             {dialog.cmdDirectSettings(), dialog.cmdModemSettings(), dialog.CmdLanSettings()})
            QCOMPARE(settings->text(), QStringLiteral("Settings..."));
        QCOMPARE(dialog.cmdOk()->text(), QStringLiteral("Ok"));
        QCOMPARE(dialog.cmdCancel()->text(), QStringLiteral("Cancel"));
    }

    // The stored choice is selected; Ok writes the choice at once, Cancel
    // nothing. Without pppd a click is answered with the message, and the
    // stored choice stays selected.
    void okWritesAtOnceCancelWritesNothing_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<int>("storedType");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("written");
        QTest::newRow("Ok with the modem") << true << 0 << 1 << true << "1";
        QTest::newRow("Ok with the cable") << true << 1 << 0 << true << "0";
        QTest::newRow("Cancel after choosing") << true << 0 << 1 << false << "<absent>";
        QTest::newRow("unknown type: Ok with neither") << true << 7 << -1 << true << "<absent>";
        QTest::newRow("no pppd: modem clicked, cable stays") << false << 0 << 1 << true << "0";
        QTest::newRow("no pppd: cable clicked, modem stays") << false << 1 << 0 << true << "1";
        QTest::newRow("no pppd: the stored one clicked") << false << 1 << 1 << true << "1";
    }
    void okWritesAtOnceCancelWritesNothing()
    {
        QFETCH(bool, installed);
        QFETCH(int, storedType);
        QFETCH(int, clicked);
        QFETCH(bool, ok);
        QFETCH(QString, written);
        DialogTestKit kit;
        kit.connType = storedType;
        FOptions dialog(kit.options, kit.Dialup(installed));
        QCOMPARE(dialog.OptionConnType(0)->isChecked(), storedType == 0);
        QCOMPARE(dialog.OptionConnType(1)->isChecked(), storedType == 1);
        if (clicked >= 0)
            QTest::mouseClick(dialog.OptionConnType(clicked), Qt::LeftButton);
        if (!installed) {
            QCOMPARE(kit.messages.Texts(), {"You must install the Remote Access Service before!"});
            QCOMPARE(kit.messages.Shown().at(0).title, QStringLiteral("Pelion"));
            QCOMPARE(kit.messages.Shown().at(0).icon, EMessageIcon::Information);
            QVERIFY(dialog.OptionConnType(storedType)->isChecked());
            QVERIFY(!dialog.OptionConnType(1 - storedType)->isChecked());
            kit.messages.Clear();
        }
        QTest::mouseClick(ok ? dialog.cmdOk() : dialog.cmdCancel(), Qt::LeftButton);
        QCOMPARE(kit.Stored(CProgOptions::kConnectionType), written);
        QCOMPARE(kit.connType, written == "<absent>" ? storedType : written.toInt());
        QVERIFY(kit.messages.Shown().isEmpty());
    }

    void directSettingsEditsTheCableEntry_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("installed");
        QTest::newRow("entry there") << "TarnDirectPPP" << true;
        QTest::newRow("letter case differs") << "tarndirectppp" << true;
        QTest::newRow("no entry") << "" << true;
        QTest::newRow("no dial-up service") << "TarnDirectPPP" << false;
    }
    void directSettingsEditsTheCableEntry()
    {
        QFETCH(QString, entry);
        QFETCH(bool, installed);
        DialogTestKit kit;
        if (!entry.isEmpty())
            kit.AddEntry(entry);
        FOptions dialog(kit.options, kit.Dialup(installed));
        connect(&dialog, &FOptions::OnPhonebookEditorActive, this,
                [&kit](bool active) { kit.RecordActive(active); });
        QTest::mouseClick(dialog.cmdDirectSettings(), Qt::LeftButton);
        if (installed && entry == QStringLiteral("TarnDirectPPP")) {
            QCOMPARE(kit.calls, (QStringList{"active", "edit TarnDirectPPP", "idle"}));
            QVERIFY(kit.messages.Shown().isEmpty());
        } else {
            QVERIFY(kit.calls.isEmpty());
            QCOMPARE(kit.messages.Texts(), {"Remote Access entry 'TarnDirectPPP' not found"});
            QCOMPARE(kit.messages.Shown().at(0).icon, EMessageIcon::Exclamation);
        }
    }

    // The sub-dialogs: modem settings only with pppd, the address selection always.
    void settingsButtonsOpenTheirDialogs_data()
    {
        QTest::addColumn<bool>("lan");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("opened");
        QTest::newRow("modem settings") << false << true << "Modem settings";
        QTest::newRow("modem settings without pppd") << false << false << "";
        QTest::newRow("LAN settings") << true << true << "Available Host IP Address ";
    }
    void settingsButtonsOpenTheirDialogs()
    {
        QFETCH(bool, lan);
        QFETCH(bool, installed);
        QFETCH(QString, opened);
        DialogTestKit kit;
        kit.options.SetMultiHomedIp(QStringLiteral("10.1.0.5"));
        FOptions dialog(kit.options, kit.Dialup(installed));
        QString title;
        QTimer::singleShot(0, [&title] { // runs inside the modal dialog's loop, if one is up
            if (QWidget* modal = QApplication::activeModalWidget()) {
                title = modal->windowTitle();
                modal->close();
            }
        });
        QTest::mouseClick(lan ? dialog.CmdLanSettings() : dialog.cmdModemSettings(),
                          Qt::LeftButton);
        QCOMPARE(title, opened);
        QCoreApplication::processEvents(); // the pending closer finds nothing
        QVERIFY(kit.messages.Shown().isEmpty());
    }
};

QTEST_MAIN(tst_FOptions)
#include "tst_FOptions.moc"
