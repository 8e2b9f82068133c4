#include "common/CRaisedError.h"
#include "common/ui/CTrayIcon.h"

#include <QPixmap>
#include <QWidget>
#include <QtTest>

Q_DECLARE_METATYPE(ETrayForm)

namespace {

QIcon TestIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

} // namespace

// The mouse messages reach the holders through their own tests (tst_FMain,
// tst_FTray) and the desktop scenario, which clicks both icons.
class tst_CTrayIcon final : public QObject {
    Q_OBJECT

private slots:
    // Both forms refuse what is no window or no icon, and then show nothing.
    void createErrors_data()
    {
        QTest::addColumn<bool>("withWindow");
        QTest::addColumn<QVariant>("picture");
        QTest::addColumn<quint32>("number");
        QTest::newRow("no window") << false << QVariant(TestIcon()) << 0x80047148u + 6;
        QTest::newRow("bitmap, not icon") << true << QVariant(QPixmap(16, 16)) << 0x80047148u + 13;
        QTest::newRow("nothing") << true << QVariant() << 0x80047148u + 13;
        QTest::newRow("icon") << true << QVariant(TestIcon()) << 0u;
    }
    void createErrors()
    {
        QFETCH(bool, withWindow);
        QFETCH(QVariant, picture);
        for (ETrayForm form : {ETrayForm::Console, ETrayForm::Server}) {
            CTrayIcon icon(form);
            quint32 raised = 0;
            try {
                icon.Create(withWindow ? &m_window : nullptr, picture, QStringLiteral("tip"));
            } catch (const CRaisedError& error) {
                raised = error.Number();
                QVERIFY(error.Source().endsWith(QLatin1String(".Windows")));
            }
            QTEST(raised, "number");
            QCOMPARE(icon.IsShown(), raised == 0);
            // The offscreen platform has no notification area: nothing is really shown.
            QVERIFY(!icon.IsVisible());
        }
    }

    void tipIsCut_data()
    {
        QTest::addColumn<ETrayForm>("form");
        QTest::addColumn<bool>("viaProperty");
        QTest::addColumn<int>("visible");
        QTest::newRow("console create") << ETrayForm::Console << false << 127;
        QTest::newRow("console property") << ETrayForm::Console << true << 127;
        QTest::newRow("server create") << ETrayForm::Server << false << 63;
        QTest::newRow("server property") << ETrayForm::Server << true << 63;
    }
    void tipIsCut()
    {
        QFETCH(ETrayForm, form);
        QFETCH(bool, viaProperty);
        QFETCH(int, visible);
        const QString longTip(200, QLatin1Char('t'));
        CTrayIcon icon(form);
        icon.Create(&m_window, TestIcon(), viaProperty ? QStringLiteral("short") : longTip);
        if (viaProperty)
            icon.SetTip(longTip);
        QCOMPARE(icon.SystemIcon()->toolTip(), longTip.left(visible));
    }

    // Before Create and after Destroy, writes change nothing; a picture of
    // another type is ignored; Destroy keeps the message and may run twice.
    void writesOutsideTheShownStateAreIgnored()
    {
        CTrayIcon icon(ETrayForm::Server);
        icon.SetTip(QStringLiteral("x"));
        icon.SetIcon(TestIcon());
        icon.Destroy();
        QVERIFY(icon.Tip().isEmpty() && !icon.Icon().isValid());
        QCOMPARE(icon.Message(), 0u);
        icon.Create(&m_window, TestIcon(), QStringLiteral("tip"));
        icon.SetIcon(QPixmap(8, 8));
        QCOMPARE(icon.Icon().typeId(), int(QMetaType::QIcon));
        const auto message = icon.Message();
        QVERIFY(message != 0 && icon.ID() == message);
        icon.Destroy();
        QVERIFY(!icon.IsShown() && icon.SystemIcon() == nullptr);
        QCOMPARE(icon.Message(), message);
        icon.Destroy();
        icon.SetTip(QStringLiteral("ignored"));
        QCOMPARE(icon.Tip(), QStringLiteral("tip"));
    }

    void balloonOffKeepsIconAndTip()
    {
        CTrayIcon icon(ETrayForm::Console);
        const QIcon picture = TestIcon();
        icon.Create(&m_window, picture, QStringLiteral("Pelion"));
        icon.BalloonMsgOn(QStringLiteral("Link"), QStringLiteral("down"), CTrayIcon::kBalloonError);
        icon.BalloonMsgOff();
        QVERIFY(icon.BalloonText().isEmpty());
        QCOMPARE(icon.SystemIcon()->toolTip(), QStringLiteral("Pelion"));
        QCOMPARE(icon.Icon().value<QIcon>().cacheKey(), picture.cacheKey());
    }

private:
    QWidget m_window;
};

QTEST_MAIN(tst_CTrayIcon)
#include "tst_CTrayIcon.moc"
