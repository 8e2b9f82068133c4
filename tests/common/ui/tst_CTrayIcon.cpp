#include "common/ui/CTrayIcon.h"
#include "tests/common/RaisedNumber.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

namespace {

QIcon TestIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

} // namespace

class tst_CTrayIcon final : public QObject {
    Q_OBJECT

private slots:
    void createErrors_data()
    {
        QTest::addColumn<bool>("withWindow");
        QTest::addColumn<QVariant>("picture");
        QTest::addColumn<quint32>("number");
        QPixmap bitmap(16, 16);
        QTest::newRow("no window") << false << QVariant(TestIcon()) << 0x80047148u + 6;
        QTest::newRow("bitmap, not icon") << true << QVariant(bitmap) << 0x80047148u + 13;
        QTest::newRow("nothing") << true << QVariant() << 0x80047148u + 13;
        QTest::newRow("icon") << true << QVariant(TestIcon()) << 0u;
    }
    void createErrors()
    {
        QFETCH(bool, withWindow);
        QFETCH(QVariant, picture);
        QFETCH(quint32, number);
        QWidget window;
        for (ETrayForm form : {ETrayForm::Console, ETrayForm::Server}) {
            CTrayIcon icon(form);
            QCOMPARE(RaisedNumber([&] {
                         icon.Create(withWindow ? &window : nullptr, picture,
                                     QStringLiteral("tip"));
                     }),
                     number);
            QCOMPARE(icon.IsShown(), number == 0);
        }
    }

    void tipIsCut_data()
    {
        QTest::addColumn<int>("form");
        QTest::addColumn<bool>("viaProperty");
        QTest::addColumn<int>("visible");
        QTest::newRow("console create") << int(ETrayForm::Console) << false << 127;
        QTest::newRow("console property") << int(ETrayForm::Console) << true << 127;
        QTest::newRow("server create") << int(ETrayForm::Server) << false << 63;
        QTest::newRow("server property") << int(ETrayForm::Server) << true << 63;
    }
    void tipIsCut()
    {
        QFETCH(int, form);
        QFETCH(bool, viaProperty);
        QFETCH(int, visible);
        const QString longTip(200, QLatin1Char('t'));
        QWidget window;
        CTrayIcon icon(static_cast<ETrayForm>(form));
        icon.Create(&window, TestIcon(), viaProperty ? QStringLiteral("short") : longTip);
        if (viaProperty)
            icon.SetTip(longTip);
        QCOMPARE(icon.Tip(), longTip.left(visible));
        QCOMPARE(icon.SystemIcon()->toolTip(), longTip.left(visible));
    }

    void writesBeforeCreateAreIgnored()
    {
        CTrayIcon icon(ETrayForm::Server);
        icon.SetTip(QStringLiteral("x"));
        icon.SetIcon(TestIcon());
        icon.Destroy();
        QVERIFY(icon.Tip().isEmpty());
        QVERIFY(!icon.Icon().isValid());
        QCOMPARE(icon.Message(), 0u);
    }

    void iconOfAnotherTypeIsIgnored()
    {
        QWidget window;
        CTrayIcon icon(ETrayForm::Server);
        icon.Create(&window, TestIcon(), QStringLiteral("tip"));
        icon.SetIcon(QPixmap(8, 8));
        QCOMPARE(icon.Icon().typeId(), int(QMetaType::QIcon));
    }

    void eachObjectHasItsOwnMessage()
    {
        QWidget window;
        CTrayIcon first(ETrayForm::Console);
        CTrayIcon second(ETrayForm::Server);
        first.Create(&window, TestIcon(), QStringLiteral("a"));
        second.Create(&window, TestIcon(), QStringLiteral("b"));
        QVERIFY(first.Message() != 0);
        QVERIFY(first.Message() != second.Message());
        QCOMPARE(first.ID(), first.Message());

        QSignalSpy firstSpy(&first, &CTrayIcon::TrayMessage);
        QSignalSpy secondSpy(&second, &CTrayIcon::TrayMessage);
        emit second.SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(firstSpy.count(), 0);
        QCOMPARE(secondSpy.count(), 1);
        QCOMPARE(secondSpy.at(0).at(0).value<std::uint32_t>(), CTrayIcon::kLeftDoubleClick);
        QCOMPARE(secondSpy.at(0).at(1).value<std::uint32_t>(), second.Message());
    }

    void mouseMessages_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<QList<std::uint32_t>>("messages");
        QTest::newRow("left click")
            << int(QSystemTrayIcon::Trigger) << QList<std::uint32_t>{513, 514};
        QTest::newRow("double click")
            << int(QSystemTrayIcon::DoubleClick) << QList<std::uint32_t>{515};
        QTest::newRow("right click")
            << int(QSystemTrayIcon::Context) << QList<std::uint32_t>{516, 517};
    }
    void mouseMessages()
    {
        QFETCH(int, reason);
        QFETCH(QList<std::uint32_t>, messages);
        QWidget window;
        CTrayIcon icon(ETrayForm::Server);
        icon.Create(&window, TestIcon(), QStringLiteral("tip"));
        QList<std::uint32_t> seen;
        connect(&icon, &CTrayIcon::TrayMessage, this,
                [&seen](std::uint32_t message, std::uint32_t) { seen << message; });
        emit icon.SystemIcon()->activated(static_cast<QSystemTrayIcon::ActivationReason>(reason));
        QCOMPARE(seen, messages);
    }

    void balloonOffKeepsIconAndTip()
    {
        QWidget window;
        CTrayIcon icon(ETrayForm::Console);
        const QIcon picture = TestIcon();
        icon.Create(&window, picture, QStringLiteral("Pelion"));
        icon.BalloonMsgOn(QStringLiteral("Link"), QStringLiteral("down"), CTrayIcon::kBalloonError);
        icon.BalloonMsgOff();
        QCOMPARE(icon.Tip(), QStringLiteral("Pelion"));
        QCOMPARE(icon.SystemIcon()->toolTip(), QStringLiteral("Pelion"));
        QCOMPARE(icon.Icon().value<QIcon>().cacheKey(), picture.cacheKey());
    }

    void destroyRemovesIconAndKeepsMessage()
    {
        QWidget window;
        CTrayIcon icon(ETrayForm::Console);
        icon.Create(&window, TestIcon(), QStringLiteral("tip"));
        const auto message = icon.Message();
        icon.Destroy();
        QVERIFY(!icon.IsShown());
        QVERIFY(icon.SystemIcon() == nullptr);
        QCOMPARE(icon.Message(), message);
        icon.Destroy(); // harmless twice
        icon.SetTip(QStringLiteral("ignored"));
        QCOMPARE(icon.Tip(), QStringLiteral("tip"));
    }

    void offscreenDesktopHasNoTrayButCreateSucceeds()
    {
        QWidget window;
        CTrayIcon icon(ETrayForm::Server);
        icon.Create(&window, TestIcon(), QStringLiteral("tip"));
        QVERIFY(icon.IsShown());
        // The offscreen platform has no notification area: nothing is really shown.
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            QVERIFY(!icon.IsVisible());
    }
};

QTEST_MAIN(tst_CTrayIcon)
#include "tst_CTrayIcon.moc"
