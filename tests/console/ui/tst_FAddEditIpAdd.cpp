#include "console/ui/FAddEditIpAdd.h"
#include "tests/kit/WindowLookup.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class tst_FAddEditIpAdd final : public QObject {
    Q_OBJECT

    static void Row(const char* name, const char* text, const char* typed, const char* stored)
    {
        QTest::newRow(name) << QString(text) << QString(typed) << QString(stored);
    }

private slots:
    // OK needs a dotted address (blanks around it dropped); typing keeps to
    // one. typed: what typing leaves, null when pasted; stored: null when OK
    // stays off and Cancel ends it.
    void add_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        Row("pasted, blanks around", "  192.168.1.20 ", nullptr, "192.168.1.20");
        Row("pasted, three parts", "10.0.0", nullptr, nullptr);
        Row("typed, letters dropped", "1a0.b0.0.1", "10.0.0.1", "10.0.0.1");
        Row("typed, fourth dot dropped", "1.2.3.4.5", "1.2.3.45", "1.2.3.45");
        Row("typed, part kept to 255", "10.0.0.2567", "10.0.0.25", "10.0.0.25");
        Row("Escape", "10.0.0.1", "10.0.0.1", "Escape");
    }
    void add()
    {
        QFETCH(QString, text);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        FAddEditIpAdd dialog;
        WindowLookup::WhenModal([&](QWidget*) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Add Ip Address"));
            QVERIFY(!dialog.cmdOK()->isEnabled());
            if (typed.isNull())
                dialog.txtIpAddr()->setText(text);
            else
                QTest::keyClicks(dialog.txtIpAddr(), text);
            QCOMPARE(dialog.txtIpAddr()->text(), typed.isNull() ? text : typed);
            if (stored == QLatin1String("Escape"))
                return QTest::keyClick(&dialog, Qt::Key_Escape);
            QCOMPARE(dialog.cmdOK()->isEnabled(), !stored.isNull());
            QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
            if (stored.isNull())
                QTest::mouseClick(dialog.cmdCancel(), Qt::LeftButton);
        });
        dialog.Activate();
        const bool cancelled = stored.isNull() || stored == QLatin1String("Escape");
        QCOMPARE(dialog.Cancelled(), cancelled);
        QCOMPARE(dialog.IpAddress(), cancelled ? QString() : stored);
    }
};

QTEST_MAIN(tst_FAddEditIpAdd)
#include "tst_FAddEditIpAdd.moc"
