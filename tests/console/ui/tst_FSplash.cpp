#include "console/ui/FSplash.h"

#include <QLabel>
#include <QPixmap>
#include <QtTest>

class tst_FSplash final : public QObject {
    Q_OBJECT

private slots:
    // A frameless splash with the product, this build's version and the logo.
    void showsTheProductThisVersionAndTheLogo()
    {
        FSplash splash;
        QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(splash.windowType(), Qt::SplashScreen);
        QCOMPARE(splash.lblProductName()->text(), QStringLiteral("Pelion Console"));
        QCOMPARE(splash.lblVersion()->text(),
                 QStringLiteral("Version %1a").arg(QLatin1String(PELION_TEST_PROJECT_VERSION)));
        QCOMPARE(splash.imgLogo()->pixmap().size(), QSize(128, 128));
    }
};

QTEST_MAIN(tst_FSplash)
#include "tst_FSplash.moc"
