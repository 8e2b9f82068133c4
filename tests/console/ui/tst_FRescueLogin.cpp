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

    void texts()
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
    }

    // Focus selects the whole text; Enter moves the focus on and is
    // swallowed, so nothing starts until Ok.
    void typingAndFocus()
    {
        FRescueLogin dialog;
        QStringList events;
        Record(dialog, &events);
        dialog.Init();
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
        QCOMPARE(events, QStringList{"start"});
        dialog.Unload();
    }

    // "user|password typed, user|password taken": both defaults when either
    // field is empty; the values go to the globals and come back at the next start.
    void okTakesDefaults_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("password empty: the user goes too") << "ADMIN| SYSTEM|KORVELAN";
        QTest::newRow("both given, typed in upper case") << "Adm1n-x|secret ADM1N-X|SECRET";
    }
    void okTakesDefaults()
    {
        QFETCH(QString, row);
        const QString typed = row.section(' ', 0, 0), taken = row.section(' ', 1);
        FRescueLogin dialog;
        dialog.Init();
        QTest::keyClicks(User(dialog), typed.section('|', 0, 0));
        QTest::keyClicks(Pwd(dialog), typed.section('|', 1));
        QTest::mouseClick(Push(dialog, "Ok"), Qt::LeftButton);
        QCOMPARE(User(dialog)->text() + '|' + Pwd(dialog)->text(), taken);
        QCOMPARE(gRescueUser + '|' + gRescuePassword, taken);
        dialog.Unload();
        FRescueLogin next;
        QCOMPARE(User(next)->text() + '|' + Pwd(next)->text(), taken);
    }

    // Enabled (1) or not: Ok, Abort, Cancel, the bar; then the events, after
    // each way through the dialog. Only its buttons end it: Escape does not.
    void buttonsInEachState_data()
    {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QString>("events");
        Row("idle after Init", "", "1010");
        Row("waiting after Ok", "Ok", "0101", "start");
        Row("idle again after Abort", "Ok Abort", "1010", "start aborted");
        Row("closing after Cancel", "Cancel", "0010", "close");
    }
    void buttonsInEachState()
    {
        QFETCH(QString, clicks);
        QFETCH(QString, enabled);
        QFETCH(QString, events);
        FRescueLogin dialog;
        QStringList raised;
        Record(dialog, &raised);
        dialog.Init();
        QVERIFY(gRescueDialogOpen && dialog.windowModality() == Qt::ApplicationModal);
        QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        for (const QString& click : clicks.split(' ', Qt::SkipEmptyParts)) {
            QVERIFY2(Push(dialog, click)->isEnabled(), qPrintable(click));
            QTest::mouseClick(Push(dialog, click), Qt::LeftButton);
        }
        QString state;
        for (const QWidget* control :
             QList<QWidget*>{Push(dialog, "Ok"), Push(dialog, "Abort"), Push(dialog, "Cancel"),
                             Child<QProgressBar>(dialog, "prgRescue")})
            state += control->isEnabled() ? '1' : '0';
        QCOMPARE(state, enabled);
        QCOMPARE(Child<QTimer>(dialog, "tmrProgress")->isActive(), enabled == "0101");
        QCOMPARE(raised.join(' '), events);
        dialog.Unload();
        QVERIFY(!gRescueDialogOpen);
    }

    // 10, 20, ... up to the maximum, then 0 and on; Abort puts it back to 0.
    void progressCycles()
    {
        FRescueLogin dialog(nullptr, 2);
        auto* bar = Child<QProgressBar>(dialog, "prgRescue");
        QList<int> values;
        connect(bar, &QProgressBar::valueChanged, this, [&values](int value) { values << value; });
        dialog.Init();
        QTest::mouseClick(Push(dialog, "Ok"), Qt::LeftButton);
        QTRY_VERIFY(values.size() >= 12);
        QCOMPARE(values.mid(0, 12), (QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0, 10}));
        QTest::mouseClick(Push(dialog, "Abort"), Qt::LeftButton);
        QCOMPARE(bar->value(), 0);
    }

private:
    static QLineEdit* User(const FRescueLogin& d) { return Child<QLineEdit>(d, "TxtUser"); }
    static QLineEdit* Pwd(const FRescueLogin& d) { return Child<QLineEdit>(d, "TxtLocalPwd"); }
    static QPushButton* Push(const FRescueLogin& d, const QString& name)
    {
        return Child<QPushButton>(d, "cmd" + name);
    }
    static void Row(const char* name, const char* first, const char* second, const char* third = "")
    {
        QTest::newRow(name) << QString(first) << QString(second) << QString(third);
    }
    // The dialog's three events, in the order raised.
    static void Record(FRescueLogin& dialog, QStringList* events)
    {
        connect(&dialog, &FRescueLogin::OnStartConnecting, [events] { *events << "start"; });
        connect(&dialog, &FRescueLogin::OnAborted, [events] { *events << "aborted"; });
        connect(&dialog, &FRescueLogin::OnClose, [events] { *events << "close"; });
    }
};

QTEST_MAIN(tst_FRescueLogin)
#include "tst_FRescueLogin.moc"
