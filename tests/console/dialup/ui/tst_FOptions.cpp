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

    // Each settings button: what the user meets (editor calls with the
    // console's editor flag around them, a dialog opened, or a message).
    void settingsButtons_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QStringList>("seen");
        const QStringList notFound{"Remote Access entry 'TarnDirectPPP' not found"};
        QTest::newRow("cable settings edit the cable entry")
            << 0 << "TarnDirectPPP" << true << QStringList{"active", "edit TarnDirectPPP", "idle"};
        QTest::newRow("cable entry in another letter case")
            << 0 << "tarndirectppp" << true << notFound;
        QTest::newRow("no cable entry") << 0 << "" << true << notFound;
        QTest::newRow("cable settings without pppd") << 0 << "TarnDirectPPP" << false << notFound;
        QTest::newRow("modem settings") << 1 << "" << true << QStringList{"dialog Modem settings"};
        QTest::newRow("modem settings without pppd") << 1 << "" << false << QStringList{};
        QTest::newRow("LAN settings")
            << 2 << "" << true << QStringList{"dialog Available Host IP Address "};
    }
    void settingsButtons()
    {
        QFETCH(int, button);
        QFETCH(QString, entry);
        QFETCH(bool, installed);
        QFETCH(QStringList, seen);
        DialogTestKit kit;
        if (!entry.isEmpty())
            kit.AddEntry(entry);
        kit.options.SetMultiHomedIp(QStringLiteral("10.1.0.5"));
        FOptions dialog(kit.options, kit.Dialup(installed));
        connect(&dialog, &FOptions::OnPhonebookEditorActive, this,
                [&kit](bool active) { kit.RecordActive(active); });
        QTimer::singleShot(0, [&kit] { // runs inside the modal dialog's loop, if one is up
            if (QWidget* modal = QApplication::activeModalWidget()) {
                kit.calls << "dialog " + modal->windowTitle();
                modal->close();
            }
        });
        const QList<QPushButton*> buttons{dialog.cmdDirectSettings(), dialog.cmdModemSettings(),
                                          dialog.CmdLanSettings()};
        QTest::mouseClick(buttons.at(button), Qt::LeftButton);
        QCoreApplication::processEvents(); // the pending closer finds nothing
        QCOMPARE(kit.calls + kit.messages.Texts(), seen);
        for (const SMessage& message : kit.messages.Shown())
            QCOMPARE(message.icon, EMessageIcon::Exclamation);
    }
};

QTEST_MAIN(tst_FOptions)
#include "tst_FOptions.moc"
