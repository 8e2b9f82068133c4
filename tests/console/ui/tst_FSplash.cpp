#include "console/ui/FSplash.h"

#include <QLabel>
#include <QPixmap>
#include <QtTest>

class tst_FSplash final : public QObject {
    Q_OBJECT

private slots:
    void versionCaption_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("caption");
        QTest::newRow("2.0 revision 5") << 2 << 0 << 5 << "Version 2.0.5a";
        QTest::newRow("3.1 revision 0") << 3 << 1 << 0 << "Version 3.1.0a";
        QTest::newRow("several digits") << 10 << 12 << 107 << "Version 10.12.107a";
    }
    void versionCaption()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, caption);
        QCOMPARE(FSplash::VersionCaption(major, minor, revision), caption);
    }

    void showsTheProductThisVersionAndTheLogo()
    {
        FSplash splash;
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        QCOMPARE(splash.lblProductName()->text(), QStringLiteral("Pelion Console"));
        // The build's own version, as the project declares it.
        QCOMPARE(splash.lblVersion()->text(),
                 QStringLiteral("Version %1a").arg(QLatin1String(PELION_TEST_PROJECT_VERSION)));
        const QPixmap logo = splash.imgLogo()->pixmap();
        QVERIFY(!logo.isNull());
        QCOMPARE(logo.size(), QSize(128, 128));
        QCOMPARE(splash.imgLogo()->size(), QSize(128, 128));
        QVERIFY(splash.lblVersion()->isVisible());
    }

    void isAFramelessSplash()
    {
        FSplash splash;
        QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(splash.windowType(), Qt::SplashScreen);
        QVERIFY(splash.width() > FSplash::kLogoSize);
    }
};

QTEST_MAIN(tst_FSplash)
#include "tst_FSplash.moc"
