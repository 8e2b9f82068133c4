#include "console/dialup/ui/FHostIPAddrSelection.h"
#include "tests/console/dialup/ui/DialogTestKit.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

class tst_FHostIPAddrSelection final : public QObject {
    Q_OBJECT

private slots:
    void texts()
    {
        DialogTestKit kit;
        FHostIPAddrSelection dialog(*kit.options, [] { return QStringList{"10.0.0.5"}; });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Available Host IP Address "));
        QCOMPARE(dialog.ListView()->headerItem()->text(0), QStringLiteral("Ip Address"));
        QCOMPARE(dialog.Label1()->text(),
                 QStringLiteral("In a Multi-Homed Host one IP Address must be used as a Network "
                                "Manager.Select one from the above list"));
        QCOMPARE(dialog.cmdOK()->text(), QStringLiteral("OK"));
        QCOMPARE(dialog.cmdCancel()->text(), QStringLiteral("Cancel"));
        dialog.Load(true);
        QCOMPARE(dialog.ListView()->topLevelItem(0)->text(0), QStringLiteral("10.0.0.5"));
        QCOMPARE(dialog.ListView()->topLevelItem(0)->data(0, Qt::UserRole).toString(),
                 QStringLiteral("K10.0.0.5"));
    }

    void loadSelectsAndDecidesCancel_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("fromStore");
        QTest::addColumn<int>("selectedRow");
        QTest::addColumn<bool>("cancel");

        const QStringList one{"10.0.0.5"};
        const QStringList several{"10.0.0.5", "192.168.1.20", "172.16.4.4"};
        QTest::newRow("one address, nothing stored") << one << "" << true << -1 << false;
        QTest::newRow("one address, it is stored") << one << "10.0.0.5" << true << 0 << true;
        QTest::newRow("several, the second stored")
            << several << "192.168.1.20" << true << 1 << true;
        QTest::newRow("stored choice gone") << several << "10.9.9.9" << true << -1 << true;
        QTest::newRow("no address at all") << QStringList{} << "" << true << -1 << false;
        QTest::newRow("not from the store") << several << "10.0.0.5" << false << -1 << false;
    }
    void loadSelectsAndDecidesCancel()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QString, stored);
        QFETCH(bool, fromStore);
        QFETCH(int, selectedRow);
        QFETCH(bool, cancel);

        DialogTestKit kit;
        if (!stored.isEmpty())
            kit.options->SetMultiHomedIp(stored);
        FHostIPAddrSelection dialog(*kit.options, [addresses] { return addresses; });
        dialog.Load(fromStore);
        QCOMPARE(dialog.ListView()->topLevelItemCount(), addresses.size());
        const QList<QTreeWidgetItem*> selected = dialog.ListView()->selectedItems();
        QCOMPARE(selected.isEmpty() ? -1 : dialog.ListView()->indexOfTopLevelItem(selected.first()),
                 selectedRow);
        QCOMPARE(dialog.cmdCancel()->isEnabled(), cancel);
        // OK only with a row to store.
        QCOMPARE(dialog.cmdOK()->isEnabled(), selectedRow >= 0);
    }

    void okStoresTheChosenAddress()
    {
        DialogTestKit kit;
        FHostIPAddrSelection dialog(*kit.options, [] {
            return QStringList{"10.0.0.5", "192.168.1.20"};
        });
        dialog.Load(true);
        QVERIFY(!dialog.cmdOK()->isEnabled());
        QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton); // disabled: nothing is stored
        QCOMPARE(kit.Stored(CProgOptions::kMultiHomedIp), QStringLiteral("<absent>"));

        dialog.ListView()->topLevelItem(1)->setSelected(true);
        QVERIFY(dialog.cmdOK()->isEnabled());
        QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
        QCOMPARE(dialog.result(), QDialog::Accepted);
        QCOMPARE(dialog.SelectedIp(), QStringLiteral("192.168.1.20"));
        QCOMPARE(kit.Stored(CProgOptions::kMultiHomedIp), QStringLiteral("192.168.1.20"));
    }

    void cancelReturnsTheStoredChoice()
    {
        DialogTestKit kit;
        kit.options->SetMultiHomedIp(QStringLiteral("10.0.0.5"));
        FHostIPAddrSelection dialog(*kit.options, [] {
            return QStringList{"10.0.0.5", "192.168.1.20"};
        });
        QTimer::singleShot(0, &dialog, [&dialog] {
            dialog.ListView()->topLevelItem(1)->setSelected(true);
            QTest::mouseClick(dialog.cmdCancel(), Qt::LeftButton);
        });
        QCOMPARE(dialog.Activate(true), QStringLiteral("10.0.0.5"));
        QCOMPARE(kit.Stored(CProgOptions::kMultiHomedIp), QStringLiteral("10.0.0.5"));
    }

    void withoutCancelEscapeDoesNotClose()
    {
        DialogTestKit kit;
        FHostIPAddrSelection dialog(*kit.options, [] { return QStringList{"10.0.0.5"}; });
        dialog.Load(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        dialog.hide();
    }

    void activateReturnsTheNewChoice()
    {
        DialogTestKit kit;
        FHostIPAddrSelection dialog(*kit.options, [] { return QStringList{"10.0.0.5"}; });
        QTimer::singleShot(0, &dialog, [&dialog] {
            dialog.ListView()->topLevelItem(0)->setSelected(true);
            QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
        });
        QCOMPARE(dialog.Activate(false), QStringLiteral("10.0.0.5"));
    }
};

QTEST_MAIN(tst_FHostIPAddrSelection)
#include "tst_FHostIPAddrSelection.moc"
