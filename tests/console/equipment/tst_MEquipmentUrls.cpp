#include "console/equipment/MEquipmentUrls.h"

#include <QtTest>

class tst_MEquipmentUrls final : public QObject {
    Q_OBJECT

private slots:
    void pages_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("expected");
        QTest::newRow("root") << MEquipmentUrls::RootPage(QStringLiteral("10.0.0.5"))
                              << "http://10.0.0.5";
        QTest::newRow("home") << MEquipmentUrls::HomePage(QStringLiteral("10.0.0.5"))
                              << "http://10.0.0.5/home.html";
        QTest::newRow("another port is written out")
            << MEquipmentUrls::HomePage(QStringLiteral("127.0.0.2"), 8080)
            << "http://127.0.0.2:8080/home.html";
        QTest::newRow("bridge, plain user")
            << MEquipmentUrls::BridgePage(QStringLiteral("172.20.253.13"), QStringLiteral("SYSTEM"))
            << "http://172.20.253.13/orvaneBridge.asp?user=SYSTEM";
        QTest::newRow("bridge, user with reserved characters")
            << MEquipmentUrls::BridgePage(QStringLiteral("172.20.253.13"),
                                          QStringLiteral("A&B C#D/E+F=G\"H"))
            << "http://172.20.253.13/orvaneBridge.asp?user=A%26B%20C%23D%2FE%2BF%3DG%22H";
        QTest::newRow("bridge, user beyond ASCII")
            << MEquipmentUrls::BridgePage(QStringLiteral("127.0.0.3"), QString::fromUtf8("ÄRGER"),
                                          81)
            << "http://127.0.0.3:81/orvaneBridge.asp?user=%C3%84RGER";
    }

    void pages()
    {
        QFETCH(QUrl, url);
        QFETCH(QString, expected);
        QVERIFY(url.isValid());
        QCOMPARE(url.toString(QUrl::FullyEncoded), expected);
    }

    // What the equipment reads back is the user as typed.
    void bridgeUserDecodesToTheTypedName()
    {
        const QString user = QStringLiteral("A&B C#D");
        const QUrl url = MEquipmentUrls::BridgePage(QStringLiteral("127.0.0.3"), user);
        QCOMPARE(QUrlQuery(url).queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded), user);
    }
};

QTEST_GUILESS_MAIN(tst_MEquipmentUrls)
#include "tst_MEquipmentUrls.moc"
