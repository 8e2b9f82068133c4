#include "console/equipment/MRescueGlobals.h"
#include "console/ui/FRescueLogin.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// The dialog's controls, found by their names.
struct SControls {
    explicit SControls(FRescueLogin& dialog)
        : user(dialog.findChild<QLineEdit*>(QStringLiteral("TxtUser"))),
          password(dialog.findChild<QLineEdit*>(QStringLiteral("TxtLocalPwd"))),
          ok(dialog.findChild<QPushButton*>(QStringLiteral("cmdOk"))),
          abort(dialog.findChild<QPushButton*>(QStringLiteral("cmdAbort"))),
          cancel(dialog.findChild<QPushButton*>(QStringLiteral("cmdCancel"))),
          progress(dialog.findChild<QProgressBar*>(QStringLiteral("prgRescue"))),
          timer(dialog.findChild<QTimer*>(QStringLiteral("tmrProgress")))
    {
    }

    bool Found() const { return user && password && ok && abort && cancel && progress && timer; }

    QLineEdit* user;
    QLineEdit* password;
    QPushButton* ok;
    QPushButton* abort;
    QPushButton* cancel;
    QProgressBar* progress;
    QTimer* timer;
};

// The dialog's three events, in the order raised.
QStringList* Record(FRescueLogin& dialog, QStringList* events)
{
    QObject::connect(&dialog, &FRescueLogin::OnStartConnecting, &dialog,
                     [events] { events->append(QStringLiteral("start")); });
    QObject::connect(&dialog, &FRescueLogin::OnAborted, &dialog,
                     [events] { events->append(QStringLiteral("aborted")); });
    QObject::connect(&dialog, &FRescueLogin::OnClose, &dialog,
                     [events] { events->append(QStringLiteral("close")); });
    return events;
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
        const QStringList expected{
            "In order to execute a rescue connection, please do the followings:",
            "(1) assign the ethernet adapter you are using the IP address      "
            "172.20.253.14/255.255.0.0;",
            "(2) connect the ethernet adapter directly to the equipment;",
            "(3) click the \"Ok\" button;",
            "(4) (re)start the equipment;",
            "(5) wait till a browser session will open on the equipment.",
            "Note. The operation may take a few minutes.",
        };
        QCOMPARE(lines, expected);

        const SControls c(dialog);
        QVERIFY(c.Found());
        QCOMPARE(c.ok->text(), QStringLiteral("Ok"));
        QCOMPARE(c.abort->text(), QStringLiteral("Abort"));
        QCOMPARE(c.cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(c.password->echoMode(), QLineEdit::Password);
        const auto* form = qobject_cast<QFormLayout*>(
            dialog.findChild<QGroupBox*>(QStringLiteral("frmCredentials"))->layout());
        QVERIFY(form);
        QCOMPARE(qobject_cast<QLabel*>(form->labelForField(c.user))->text(),
                 QStringLiteral("User:"));
        QCOMPARE(qobject_cast<QLabel*>(form->labelForField(c.password))->text(),
                 QStringLiteral("Password:"));
        QCOMPARE(dialog.findChild<QGroupBox*>(QStringLiteral("frmProgress"))->title(),
                 QStringLiteral("Operation Progress"));
        QCOMPARE(c.timer->interval(), FRescueLogin::kProgressIntervalMs);
    }

    void typedInUpperCase_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        const char* const rows[][3] = {{"TxtUser", "system", "SYSTEM"},
                                       {"TxtUser", "Adm1n-x", "ADM1N-X"},
                                       {"TxtLocalPwd", "korvelan", "KORVELAN"}};
        for (const auto& row : rows)
            QTest::newRow(row[1]) << QString(row[0]) << QString(row[1]) << QString(row[2]);
    }

    void typedInUpperCase()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        FRescueLogin dialog;
        auto* edit = dialog.findChild<QLineEdit*>(field);
        QVERIFY(edit);
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), shown);
    }

    // Enter moves the focus on and is swallowed: nothing starts until Ok.
    void enterMovesTheFocus()
    {
        FRescueLogin dialog;
        QStringList events;
        Record(dialog, &events);
        const SControls c(dialog);
        dialog.Init();
        c.user->setFocus();
        QTest::keyClick(c.user, Qt::Key_Return);
        QCOMPARE(dialog.focusWidget(), c.password);
        QTest::keyClick(c.password, Qt::Key_Enter);
        QCOMPARE(dialog.focusWidget(), c.ok);
        QVERIFY(events.isEmpty());
        QTest::keyClick(c.ok, Qt::Key_Return);
        QCOMPARE(events, QStringList{"start"});
    }

    void focusSelectsTheText()
    {
        FRescueLogin dialog;
        const SControls c(dialog);
        c.user->setText(QStringLiteral("SYSTEM"));
        c.user->deselect();
        QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(c.user, &focusIn);
        QTRY_COMPARE(c.user->selectedText(), QStringLiteral("SYSTEM"));
    }

    // Both defaults when either field is empty; the values go to the globals.
    void okTakesDefaults_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("taken"); // user and password
        QTest::newRow("both empty") << ""
                                    << ""
                                    << "SYSTEM KORVELAN";
        QTest::newRow("password empty: the user name goes too") << "ADMIN"
                                                                << ""
                                                                << "SYSTEM KORVELAN";
        QTest::newRow("user empty") << ""
                                    << "SECRET"
                                    << "SYSTEM KORVELAN";
        QTest::newRow("both given") << "admin"
                                    << "secret"
                                    << "ADMIN SECRET";
    }

    void okTakesDefaults()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, taken);
        const QString expectedUser = taken.section(' ', 0, 0);
        const QString expectedPassword = taken.section(' ', 1);
        FRescueLogin dialog;
        const SControls c(dialog);
        dialog.Init();
        QTest::keyClicks(c.user, user);
        QTest::keyClicks(c.password, password);
        QTest::mouseClick(c.ok, Qt::LeftButton);
        QCOMPARE(c.user->text(), expectedUser);
        QCOMPARE(c.password->text(), expectedPassword);
        QCOMPARE(gRescueUser, expectedUser);
        QCOMPARE(gRescuePassword, expectedPassword);
        dialog.Unload();
        // The values of the last start come back.
        FRescueLogin next;
        QCOMPARE(SControls(next).user->text(), expectedUser);
        QCOMPARE(SControls(next).password->text(), expectedPassword);
    }

    // Buttons, timer, bar and events after each way through the dialog.
    void buttonsInEachState_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("enabled"); // Ok, Abort, Cancel, bar: 1 or 0
        QTest::addColumn<bool>("timerOn");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("idle after Init") << QStringList() << "1010" << false << QStringList();
        QTest::newRow("waiting after Ok")
            << QStringList{"Ok"} << "0101" << true << QStringList{"start"};
        QTest::newRow("idle again after Abort")
            << QStringList{"Ok", "Abort"} << "1010" << false << QStringList{"start", "aborted"};
        QTest::newRow("closing after Cancel")
            << QStringList{"Cancel"} << "0010" << false << QStringList{"close"};
        QTest::newRow("closing after Ok, Abort, Cancel")
            << QStringList{"Ok", "Abort", "Cancel"} << "0010" << false
            << QStringList{"start", "aborted", "close"};
        QTest::newRow("waiting again after Ok, Abort, Ok")
            << QStringList{"Ok", "Abort", "Ok"} << "0101" << true
            << QStringList{"start", "aborted", "start"};
    }

    void buttonsInEachState()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, enabled);
        QFETCH(bool, timerOn);
        QFETCH(QStringList, events);
        FRescueLogin dialog;
        QStringList raised;
        Record(dialog, &raised);
        const SControls c(dialog);
        QVERIFY(!gRescueDialogOpen);
        dialog.Init();
        QVERIFY(gRescueDialogOpen);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
        // Only the buttons end it: no close button, Escape does nothing.
        QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        for (const QString& click : clicks) {
            QPushButton* button = click == "Ok" ? c.ok : click == "Abort" ? c.abort : c.cancel;
            QVERIFY2(button->isEnabled(), qPrintable(click));
            QTest::mouseClick(button, Qt::LeftButton);
        }
        const QString state =
            QString::number(c.ok->isEnabled()) + QString::number(c.abort->isEnabled())
            + QString::number(c.cancel->isEnabled()) + QString::number(c.progress->isEnabled());
        QCOMPARE(state, enabled);
        QCOMPARE(c.timer->isActive(), timerOn);
        QCOMPARE(raised, events);
        QVERIFY(gRescueDialogOpen);
        dialog.Unload();
        QVERIFY(!gRescueDialogOpen);
    }

    // 10, 20, ... up to the maximum, then 0 and on; Abort puts it back to 0.
    void progressCycles()
    {
        FRescueLogin dialog(nullptr, 2);
        const SControls c(dialog);
        QList<int> values;
        connect(c.progress, &QProgressBar::valueChanged, this,
                [&values](int value) { values.append(value); });
        dialog.Init();
        QTest::mouseClick(c.ok, Qt::LeftButton);
        QTRY_VERIFY(values.size() >= 12);
        QCOMPARE(values.mid(0, 12), (QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0, 10}));
        QTest::mouseClick(c.abort, Qt::LeftButton);
        QCOMPARE(c.progress->value(), 0);
        values.clear();
        QTest::mouseClick(c.ok, Qt::LeftButton);
        QTRY_VERIFY(!values.isEmpty());
        QCOMPARE(values.first(), 10);
    }
};

QTEST_MAIN(tst_FRescueLogin)
#include "tst_FRescueLogin.moc"
