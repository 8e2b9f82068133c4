#include "console/ui/FAddEditIpAdd.h"
#include "tests/console/ui/MainTestKit.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class tst_FAddEditIpAdd final : public QObject {
    Q_OBJECT

private slots:
    void okNeedsADottedAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("okEnabled");
        QTest::addColumn<QString>("stored");
        QTest::newRow("address") << "10.0.0.1" << true << "10.0.0.1";
        QTest::newRow("blanks around") << "  192.168.1.20 " << true << "192.168.1.20";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("blanks only") << "   " << false << "";
        QTest::newRow("three parts") << "10.0.0" << false << "";
        QTest::newRow("trailing dot") << "10.0.0.1." << false << "";
        QTest::newRow("part above 255") << "10.0.0.256" << false << "";
        QTest::newRow("host name") << "equipment" << false << "";
    }
    void okNeedsADottedAddress()
    {
        QFETCH(QString, text);
        QFETCH(bool, okEnabled);
        QFETCH(QString, stored);
        FAddEditIpAdd dialog;
        WhenModal([&](QWidget*) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Add Ip Address"));
            QVERIFY(!dialog.cmdOK()->isEnabled());
            dialog.txtIpAddr()->setText(text);
            QCOMPARE(dialog.cmdOK()->isEnabled(), okEnabled);
            QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
            if (!okEnabled) {
                QVERIFY(dialog.isVisible());
                QTest::mouseClick(dialog.cmdCancel(), Qt::LeftButton);
            }
        });
        dialog.Activate();
        QCOMPARE(dialog.Cancelled(), !okEnabled);
        QCOMPARE(dialog.IpAddress(), stored);
    }

    void typingKeepsToAnAddress_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("address") << "10.0.0.1"
                                 << "10.0.0.1";
        QTest::newRow("letters dropped") << "1a0.b0.0.1"
                                         << "10.0.0.1";
        QTest::newRow("fourth dot dropped") << "1.2.3.4.5"
                                            << "1.2.3.45";
        QTest::newRow("part kept to 255") << "10.0.0.2567"
                                          << "10.0.0.25";
    }
    void typingKeepsToAnAddress()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        FAddEditIpAdd dialog;
        QTest::keyClicks(dialog.txtIpAddr(), typed);
        QCOMPARE(dialog.txtIpAddr()->text(), shown);
    }

    void editChangesTheDescriptionOnly()
    {
        FAddEditIpAdd dialog;
        WhenModal([&](QWidget*) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Edit Ip Address"));
            QCOMPARE(dialog.txtIpAddr()->text(), QStringLiteral("10.1.1.9"));
            QCOMPARE(dialog.txtDescription()->text(), QStringLiteral("old"));
            QVERIFY(dialog.txtIpAddr()->isReadOnly());
            QTest::keyClicks(dialog.txtIpAddr(), QStringLiteral("1"));
            QCOMPARE(dialog.txtIpAddr()->text(), QStringLiteral("10.1.1.9"));
            dialog.txtDescription()->setText(QStringLiteral("rack 4"));
            QVERIFY(dialog.cmdOK()->isEnabled());
            QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
        });
        dialog.Activate(QStringLiteral("10.1.1.9"), QStringLiteral("old"));
        QVERIFY(!dialog.Cancelled());
        QCOMPARE(dialog.IpAddress(), QStringLiteral("10.1.1.9"));
        QCOMPARE(dialog.Description(), QStringLiteral("rack 4"));
    }

    void cancelAndEscapeCancel_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Escape") << true;
    }
    void cancelAndEscapeCancel()
    {
        QFETCH(bool, escape);
        FAddEditIpAdd dialog;
        WhenModal([&](QWidget*) {
            dialog.txtIpAddr()->setText(QStringLiteral("10.0.0.1"));
            if (escape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                QTest::mouseClick(dialog.cmdCancel(), Qt::LeftButton);
        });
        dialog.Activate();
        QVERIFY(dialog.Cancelled());
        QCOMPARE(dialog.IpAddress(), QString());
    }
};

QTEST_MAIN(tst_FAddEditIpAdd)
#include "tst_FAddEditIpAdd.moc"
