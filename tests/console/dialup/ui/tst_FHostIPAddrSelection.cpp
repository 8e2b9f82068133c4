#include "console/dialup/ui/FHostIPAddrSelection.h"
#include "tests/console/dialup/ui/DialogTestKit.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

class tst_FHostIPAddrSelection final : public QObject {
    Q_OBJECT

private slots:
    void texts()
    {
        DialogTestKit kit;
        FHostIPAddrSelection dialog(kit.options, [] { return QStringList{"10.0.0.5"}; });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Available Host IP Address "));
        QCOMPARE(dialog.ListView()->headerItem()->text(0), QStringLiteral("Ip Address"));
        QCOMPARE(dialog.Label1()->text(), "In a Multi-Homed Host one IP Address must be used as a "
                                          "Network Manager.Select one from the above list");
        QCOMPARE(dialog.cmdOK()->text(), QStringLiteral("OK"));
        QCOMPARE(dialog.cmdCancel()->text(), QStringLiteral("Cancel"));
        dialog.Load(true);
        QCOMPARE(dialog.ListView()->topLevelItem(0)->text(0), QStringLiteral("10.0.0.5"));
        QCOMPARE(dialog.ListView()->topLevelItem(0)->data(0, Qt::UserRole), "K10.0.0.5");
    }

    // The stored choice is selected; Cancel is offered only when one is stored;
    // OK only with a row to store.
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
            kit.options.SetMultiHomedIp(stored);
        FHostIPAddrSelection dialog(kit.options, [addresses] { return addresses; });
        dialog.Load(fromStore);
        QCOMPARE(dialog.ListView()->topLevelItemCount(), addresses.size());
        const QList<QTreeWidgetItem*> selected = dialog.ListView()->selectedItems();
        QCOMPARE(selected.isEmpty() ? -1 : dialog.ListView()->indexOfTopLevelItem(selected.first()),
                 selectedRow);
        QCOMPARE(dialog.cmdCancel()->isEnabled(), cancel);
        QCOMPARE(dialog.cmdOK()->isEnabled(), selectedRow >= 0);
        if (cancel)
            return;
        dialog.show(); // without Cancel, Escape does not close it
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
    }

    // Activate shows the dialog (from the store or not) and returns the
    // choice: OK stores the row chosen, Cancel keeps the stored one.
    void activateReturnsTheChoice_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("returned");
        QTest::newRow("OK") << "" << true << "192.168.1.20";
        QTest::newRow("Cancel") << "10.0.0.5" << false << "10.0.0.5";
    }
    void activateReturnsTheChoice()
    {
        QFETCH(QString, stored);
        QFETCH(bool, ok);
        QFETCH(QString, returned);
        DialogTestKit kit;
        if (!stored.isEmpty())
            kit.options.SetMultiHomedIp(stored);
        FHostIPAddrSelection dialog(kit.options, [] {
            return QStringList{"10.0.0.5", "192.168.1.20"};
        });
        QTimer::singleShot(0, &dialog, [&dialog, ok] {
            if (ok) // nothing chosen yet: OK is disabled, the dialog stays
                QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
            dialog.ListView()->topLevelItem(1)->setSelected(true);
            QTest::mouseClick(ok ? dialog.cmdOK() : dialog.cmdCancel(), Qt::LeftButton);
        });
        QCOMPARE(dialog.Activate(!ok), returned);
        QCOMPARE(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
        QCOMPARE(kit.Stored(CProgOptions::kMultiHomedIp), returned);
    }
};

QTEST_MAIN(tst_FHostIPAddrSelection)
#include "tst_FHostIPAddrSelection.moc"
