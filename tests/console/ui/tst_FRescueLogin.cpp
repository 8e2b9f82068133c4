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

namespace {

QLineEdit* Edit(const FRescueLogin& dialog, const char* name)
{
    return Child<QLineEdit>(dialog, QLatin1String(name));
}
QPushButton* Push(const FRescueLogin& dialog, const QString& name)
{
    return Child<QPushButton>(dialog, QStringLiteral("cmd") + name);
}

// The dialog's three events, in the order raised.
void Record(FRescueLogin& dialog, QStringList* events)
{
    QObject::connect(&dialog, &FRescueLogin::OnStartConnecting, [events] { *events << "start"; });
    QObject::connect(&dialog, &FRescueLogin::OnAborted, [events] { *events << "aborted"; });
    QObject::connect(&dialog, &FRescueLogin::OnClose, [events] { *events << "close"; });
}

} // namespace

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
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Rescue Login"));
        QStringList lines;
        for (const QLabel* label : dialog.findChildren<QLabel*>(QStringLiteral("lblWarning")))
            lines.append(label->text());
        QCOMPARE(lines,
                 (QStringList{"In order to execute a rescue connection, please do the followings:",
                              "(1) assign the ethernet adapter you are using the IP address      "
                              "172.20.253.14/255.255.0.0;",
                              "(2) connect the ethernet adapter directly to the equipment;",
                              "(3) click the \"Ok\" button;", "(4) (re)start the equipment;",
                              "(5) wait till a browser session will open on the equipment.",
                              "Note. The operation may take a few minutes."}));
        QCOMPARE(Push(dialog, "Ok")->text() + Push(dialog, "Abort")->text()
                     + Push(dialog, "Cancel")->text(),
                 QStringLiteral("OkAbortCancel"));
        QCOMPARE(Edit(dialog, "TxtLocalPwd")->echoMode(), QLineEdit::Password);
        const auto* form =
            qobject_cast<QFormLayout*>(Child<QGroupBox>(dialog, "frmCredentials")->layout());
        QVERIFY(form);
        QCOMPARE(qobject_cast<QLabel*>(form->labelForField(Edit(dialog, "TxtUser")))->text(),
                 QStringLiteral("User:"));
        QCOMPARE(qobject_cast<QLabel*>(form->labelForField(Edit(dialog, "TxtLocalPwd")))->text(),
                 QStringLiteral("Password:"));
        QCOMPARE(Child<QGroupBox>(dialog, "frmProgress")->title(), "Operation Progress");
        QCOMPARE(Child<QTimer>(dialog, "tmrProgress")->interval(),
                 FRescueLogin::kProgressIntervalMs);
        QVERIFY(Child<QProgressBar>(dialog, "prgRescue"));
    }

    // Typed in upper case; focus selects the whole text; Enter moves the
    // focus on and is swallowed, so nothing starts until Ok.
    void typingAndFocus()
    {
        FRescueLogin dialog;
        QStringList events;
        Record(dialog, &events);
        dialog.Init();
        QLineEdit* user = Edit(dialog, "TxtUser");
        QTest::keyClicks(user, QStringLiteral("Adm1n-x"));
        QCOMPARE(user->text(), QStringLiteral("ADM1N-X"));
        QTest::keyClicks(Edit(dialog, "TxtLocalPwd"), QStringLiteral("korvelan"));
        QCOMPARE(Edit(dialog, "TxtLocalPwd")->text(), QStringLiteral("KORVELAN"));
        user->deselect();
        QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(user, &focusIn);
        QTRY_COMPARE(user->selectedText(), QStringLiteral("ADM1N-X"));
        user->setFocus();
        QTest::keyClick(user, Qt::Key_Return);
        QCOMPARE(dialog.focusWidget(), Edit(dialog, "TxtLocalPwd"));
        QTest::keyClick(Edit(dialog, "TxtLocalPwd"), Qt::Key_Enter);
        QCOMPARE(dialog.focusWidget(), Push(dialog, "Ok"));
        QVERIFY(events.isEmpty());
        QTest::keyClick(Push(dialog, "Ok"), Qt::Key_Return);
        QCOMPARE(events, QStringList{"start"});
        dialog.Unload();
    }

    // Both defaults when either field is empty; the values go to the
    // globals and come back at the next start.
    void okTakesDefaults_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("taken");
        const QStringList defaults{"SYSTEM", "KORVELAN"};
        QTest::newRow("both empty") << QStringList{"", ""} << defaults;
        QTest::newRow("password empty: the user goes too") << QStringList{"ADMIN", ""} << defaults;
        QTest::newRow("user empty") << QStringList{"", "SECRET"} << defaults;
        QTest::newRow("both given")
            << QStringList{"admin", "secret"} << QStringList{"ADMIN", "SECRET"};
    }
    void okTakesDefaults()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, taken);
        FRescueLogin dialog;
        dialog.Init();
        QTest::keyClicks(Edit(dialog, "TxtUser"), typed[0]);
        QTest::keyClicks(Edit(dialog, "TxtLocalPwd"), typed[1]);
        QTest::mouseClick(Push(dialog, "Ok"), Qt::LeftButton);
        QCOMPARE(
            (QStringList{Edit(dialog, "TxtUser")->text(), Edit(dialog, "TxtLocalPwd")->text()}),
            taken);
        QCOMPARE((QStringList{gRescueUser, gRescuePassword}), taken);
        dialog.Unload();
        FRescueLogin next;
        QCOMPARE((QStringList{Edit(next, "TxtUser")->text(), Edit(next, "TxtLocalPwd")->text()}),
                 taken);
    }

    // Buttons (Ok, Abort, Cancel, then the bar: 1 enabled), timer and events
    // after each way through the dialog.
    void buttonsInEachState_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("idle after Init") << QStringList() << "1010" << QStringList();
        QTest::newRow("waiting after Ok") << QStringList{"Ok"} << "0101" << QStringList{"start"};
        QTest::newRow("idle again after Abort")
            << QStringList{"Ok", "Abort"} << "1010" << QStringList{"start", "aborted"};
        QTest::newRow("closing after Cancel")
            << QStringList{"Cancel"} << "0010" << QStringList{"close"};
        QTest::newRow("closing after Ok, Abort, Cancel")
            << QStringList{"Ok", "Abort", "Cancel"} << "0010"
            << QStringList{"start", "aborted", "close"};
        QTest::newRow("waiting again after Ok, Abort, Ok")
            << QStringList{"Ok", "Abort", "Ok"} << "0101"
            << QStringList{"start", "aborted", "start"};
    }
    void buttonsInEachState()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, enabled);
        QFETCH(QStringList, events);
        FRescueLogin dialog;
        QStringList raised;
        Record(dialog, &raised);
        QVERIFY(!gRescueDialogOpen);
        dialog.Init();
        QVERIFY(gRescueDialogOpen && dialog.isVisible());
        QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
        // Only the buttons end it: no close button, Escape does nothing.
        QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        for (const QString& click : clicks) {
            QVERIFY2(Push(dialog, click)->isEnabled(), qPrintable(click));
            QTest::mouseClick(Push(dialog, click), Qt::LeftButton);
        }
        QString state;
        const QList<QWidget*> controls{Push(dialog, "Ok"), Push(dialog, "Abort"),
                                       Push(dialog, "Cancel"),
                                       Child<QProgressBar>(dialog, "prgRescue")};
        for (QWidget* control : controls)
            state += control->isEnabled() ? '1' : '0';
        QCOMPARE(state, enabled);
        QCOMPARE(Child<QTimer>(dialog, "tmrProgress")->isActive(), enabled == "0101");
        QCOMPARE(raised, events);
        QVERIFY(gRescueDialogOpen);
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
        values.clear();
        QTest::mouseClick(Push(dialog, "Ok"), Qt::LeftButton);
        QTRY_VERIFY(!values.isEmpty());
        QCOMPARE(values.first(), 10);
    }
};

QTEST_MAIN(tst_FRescueLogin)
#include "tst_FRescueLogin.moc"
