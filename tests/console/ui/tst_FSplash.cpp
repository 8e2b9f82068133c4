#include "console/ui/FSplash.h"

#include <QLabel>
#include <QPixmap>
#include <QtTest>

class tst_FSplash final : public QObject {
    Q_OBJECT

private slots:
    void versionCaption_data()
    {
        QTest::addColumn<QList<int>>("version");
        QTest::addColumn<QString>("caption");
        QTest::newRow("2.0 revision 5") << QList<int>{2, 0, 5} << "Version 2.0.5a";
        QTest::newRow("3.1 revision 0") << QList<int>{3, 1, 0} << "Version 3.1.0a";
        QTest::newRow("several digits") << QList<int>{10, 12, 107} << "Version 10.12.107a";
    }
    void versionCaption()
    {
        QFETCH(QList<int>, version);
        QFETCH(QString, caption);
        QCOMPARE(FSplash::VersionCaption(version[0], version[1], version[2]), caption);
    }

    // A frameless splash with the product, this build's version and the logo.
    void showsTheProductThisVersionAndTheLogo()
    {
        FSplash splash;
        QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(splash.windowType(), Qt::SplashScreen);
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        QVERIFY(splash.width() > FSplash::kLogoSize);
        QCOMPARE(splash.lblProductName()->text(), QStringLiteral("Pelion Console"));
        QCOMPARE(splash.lblVersion()->text(),
                 QStringLiteral("Version %1a").arg(QLatin1String(PELION_TEST_PROJECT_VERSION)));
        QVERIFY(splash.lblVersion()->isVisible());
        QCOMPARE(splash.imgLogo()->pixmap().size(), QSize(128, 128));
        QCOMPARE(splash.imgLogo()->size(), QSize(128, 128));
    }
};

QTEST_MAIN(tst_FSplash)
#include "tst_FSplash.moc"
