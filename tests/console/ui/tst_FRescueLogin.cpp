#include "console/equipment/MRescueGlobals.h"
#include "console/ui/FRescueLogin.h"
#include "tests/kit/WindowLookup.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using WindowLookup::Child;

class tst_FRescueLogin final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        gRescueUser.clear();
        gRescuePassword.clear();
        gRescueDialogOpen = false;
    }

    // Only the buttons end the dialog, not Escape. Focus selects the whole
    // text; Enter moves the focus on and is swallowed, so nothing starts until
    // Ok. The bar counts 10, 20, ... to the maximum, then 0 and on until Abort
    // or the end of the attempt.
    void walkThrough()
    {
        FRescueLogin dialog(nullptr, 2);
        QStringList events;
        connect(&dialog, &FRescueLogin::OnStartConnecting, [&] { events << "start"; });
        connect(&dialog, &FRescueLogin::OnAborted, [&] { events << "aborted"; });
        connect(&dialog, &FRescueLogin::OnClose, [&] { events << "close"; });
        QList<int> values;
        connect(Bar(dialog), &QProgressBar::valueChanged, this,
                [&](int value) { values << value; });
        dialog.Init();
        QVERIFY(gRescueDialogOpen && dialog.windowModality() == Qt::ApplicationModal);
        QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(State(dialog), "1010 idle");
        QTest::keyClicks(User(dialog), QStringLiteral("ADM1N-X"));
        User(dialog)->deselect();
        QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(User(dialog), &focusIn);
        QTRY_COMPARE(User(dialog)->selectedText(), QStringLiteral("ADM1N-X"));
        User(dialog)->setFocus();
        QTest::keyClick(User(dialog), Qt::Key_Return);
        QCOMPARE(dialog.focusWidget(), Pwd(dialog));
        QTest::keyClick(Pwd(dialog), Qt::Key_Enter);
        QCOMPARE(dialog.focusWidget(), Push(dialog, "Ok"));
        QVERIFY(events.isEmpty());
        QTest::keyClick(Push(dialog, "Ok"), Qt::Key_Return);
        // Without a password the user typed goes too: both defaults are taken.
        QCOMPARE(Typed(dialog) + ' ' + gRescueUser + '|' + gRescuePassword,
                 "SYSTEM|KORVELAN SYSTEM|KORVELAN");
        QCOMPARE(State(dialog), "0101 running");
        QTRY_VERIFY(values.size() >= 12);
        QCOMPARE(values.mid(0, 12), (QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0, 10}));
        QTest::mouseClick(Push(dialog, "Abort"), Qt::LeftButton);
        QCOMPARE(Bar(dialog)->value(), 0);
        QCOMPARE(State(dialog), "1010 idle");
        // An attempt that ends by itself leaves it idle as well, raising nothing.
        QTest::mouseClick(Push(dialog, "Ok"), Qt::LeftButton);
        QTRY_VERIFY(Bar(dialog)->value() > 0);
        dialog.Stopped();
        QCOMPARE(State(dialog) + ' ' + QString::number(Bar(dialog)->value()), "1010 idle 0");
        QTest::mouseClick(Push(dialog, "Cancel"), Qt::LeftButton);
        dialog.Stopped();
        QCOMPARE(State(dialog), "0010 idle");
        QCOMPARE(events, (QStringList{"start", "aborted", "start", "close"}));
        dialog.Unload();
        QVERIFY(!gRescueDialogOpen);
    }

    // Its texts; given both, Ok takes the credentials in upper case and they
    // come back at the next start.
    void textsAndCredentials()
    {
        FRescueLogin dialog;
        const auto* form =
            qobject_cast<QFormLayout*>(Child<QGroupBox>(dialog, "frmCredentials")->layout());
        QStringList texts{dialog.windowTitle(), Child<QGroupBox>(dialog, "frmProgress")->title()};
        for (QWidget* field : {User(dialog), Pwd(dialog)})
            texts << qobject_cast<QLabel*>(form->labelForField(field))->text();
        for (const char* button : {"Ok", "Abort", "Cancel"})
            texts << Push(dialog, button)->text();
        for (const QLabel* label : dialog.findChildren<QLabel*>(QStringLiteral("lblWarning")))
            texts << label->text();
        QCOMPARE(texts,
                 (QStringList{"Rescue Login", "Operation Progress", "User:", "Password:", "Ok",
                              "Abort", "Cancel",
                              "In order to execute a rescue connection, please do the followings:",
                              "(1) assign the ethernet adapter you are using the IP address      "
                              "172.20.253.14/255.255.0.0;",
                              "(2) connect the ethernet adapter directly to the equipment;",
                              "(3) click the \"Ok\" button;", "(4) (re)start the equipment;",
                              "(5) wait till a browser session will open on the equipment.",
                              "Note. The operation may take a few minutes."}));
        QCOMPARE(Pwd(dialog)->echoMode(), QLineEdit::Password);
        dialog.Init();
        QTest::keyClicks(User(dialog), QStringLiteral("Adm1n-x"));
        QTest::keyClicks(Pwd(dialog), QStringLiteral("secret"));
        QTest::mouseClick(Push(dialog, "Ok"), Qt::LeftButton);
        QCOMPARE(Typed(dialog) + ' ' + gRescueUser + '|' + gRescuePassword,
                 "ADM1N-X|SECRET ADM1N-X|SECRET");
        dialog.Unload();
        QCOMPARE(Typed(FRescueLogin()), "ADM1N-X|SECRET");
    }

private:
    static QLineEdit* User(const FRescueLogin& d) { return Child<QLineEdit>(d, "TxtUser"); }
    static QLineEdit* Pwd(const FRescueLogin& d) { return Child<QLineEdit>(d, "TxtLocalPwd"); }
    static QProgressBar* Bar(const FRescueLogin& d) { return Child<QProgressBar>(d, "prgRescue"); }
    static QString Typed(const FRescueLogin& d) { return User(d)->text() + '|' + Pwd(d)->text(); }
    static QPushButton* Push(const FRescueLogin& d, const QString& name)
    {
        return Child<QPushButton>(d, "cmd" + name);
    }
    // Ok, Abort, Cancel and the bar enabled (1) or not, and the bar's timer.
    static QString State(const FRescueLogin& d)
    {
        QString state;
        for (const QWidget* control :
             QList<QWidget*>{Push(d, "Ok"), Push(d, "Abort"), Push(d, "Cancel"), Bar(d)})
            state += control->isEnabled() ? '1' : '0';
        return state + (Child<QTimer>(d, "tmrProgress")->isActive() ? " running" : " idle");
    }
};

QTEST_MAIN(tst_FRescueLogin)
#include "tst_FRescueLogin.moc"
