#include "console/dialup/ui/FEntryEditor.h"
#include "tests/console/dialup/ui/DialogTestKit.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

class tst_FEntryEditor final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char* name : {"ttyS0", "ttyUSB0"})
            QVERIFY(TestFiles::Write(m_dev.filePath(QString::fromLatin1(name)), {}));
    }

    void newEntryThenEditKeepsOtherLines()
    {
        DialogTestKit kit;
        const CPeersFolder folder(kit.Peers());
        FEntryEditor create(folder, QString(), nullptr, m_dev.path());
        QVERIFY(create.Load());
        QCOMPARE(create.cboDevice()->count(), 2);
        QVERIFY(create.optDirect()->isChecked());
        QVERIFY(!create.txtPhone()->isEnabled()); // the modem's fields follow the choice
        create.txtName()->setText(QStringLiteral("Field Modem"));
        create.cboDevice()->setCurrentText(m_dev.filePath(QStringLiteral("ttyUSB0")));
        create.optModem()->setChecked(true);
        QVERIFY(create.txtPhone()->isEnabled() && create.txtInit()->isEnabled());
        create.txtPhone()->setText(QStringLiteral("5551234"));
        create.txtInit()->setText(QStringLiteral("AT&F"));
        create.txtUser()->setText(QStringLiteral("field"));
        QTest::mouseClick(create.cmdOk(), Qt::LeftButton);
        QCOMPARE(create.result(), QDialog::Accepted);
        QCOMPARE(create.EntryName(), QStringLiteral("Field Modem"));
        const QString file = folder.FilePath(QStringLiteral("Field Modem"));
        // Someone adds a line of their own.
        QVERIFY(TestFiles::WriteText(file, TestFiles::ReadText(file) + "ipparam equipment\n"));

        FEntryEditor edit(folder, QStringLiteral("Field Modem"), nullptr, m_dev.path());
        QVERIFY(edit.Load());
        QVERIFY(edit.optModem()->isChecked());
        QCOMPARE(edit.txtPhone()->text(), QStringLiteral("5551234"));
        QCOMPARE(edit.txtInit()->text(), QStringLiteral("AT&F"));
        QCOMPARE(edit.txtUser()->text(), QStringLiteral("field"));
        QVERIFY(edit.txtName()->isReadOnly());
        edit.cboSpeed()->setCurrentText(QStringLiteral("57600"));
        QTest::mouseClick(edit.cmdOk(), Qt::LeftButton);
        QCOMPARE(edit.result(), QDialog::Accepted);
        const QString text = TestFiles::ReadText(file);
        QVERIFY(text.contains("\n57600\n") && !text.contains("115200"));
        QVERIFY(text.contains(QStringLiteral("# PPP link to the equipment")));
        QVERIFY(text.endsWith(QStringLiteral("ipparam equipment\n")));
        QVERIFY(kit.messages.Shown().isEmpty());
    }

    // The system refuses the write: the message says so, the dialog stays
    // open with what was typed, and the file is as it was.
    void refusedFolderLosesNothing()
    {
        DialogTestKit kit;
        const QString notAFolder = kit.Peers() + QStringLiteral("/file");
        QVERIFY(TestFiles::WriteText(notAFolder, DialogTestKit::kEntry));
        FEntryEditor editor(CPeersFolder(notAFolder), QString(), nullptr, m_dev.path());
        editor.show();
        editor.txtName()->setText(QStringLiteral("New"));
        editor.cboSpeed()->setCurrentText(QStringLiteral("9600"));
        editor.txtUser()->setText(QStringLiteral("typed by hand"));
        QTest::mouseClick(editor.cmdOk(), Qt::LeftButton);
        QCOMPARE(kit.messages.Shown().size(), 1);
        QVERIFY(kit.messages.Texts().at(0).contains(QStringLiteral("you may not write")));
        QCOMPARE(kit.messages.Shown().at(0).icon, EMessageIcon::Exclamation);
        QCOMPARE(kit.messages.Shown().at(0).title, QStringLiteral("Pelion"));
        QVERIFY(editor.isVisible());
        QCOMPARE(editor.cboSpeed()->currentText(), QStringLiteral("9600"));
        QCOMPARE(editor.txtUser()->text(), QStringLiteral("typed by hand"));
        QCOMPARE(TestFiles::ReadText(notAFolder), DialogTestKit::kEntry);
    }

    // Fields that cannot be written are refused with a message; a missing
    // entry cannot be opened.
    void refusesWhatItCannotWrite_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QString>("message");
        QTest::newRow("name taken") << "Taken"
                                    << ""
                                    << "An entry named 'Taken' already exists.";
        QTest::newRow("name with a slash") << "a/b"
                                           << ""
                                           << "Enter a name for the entry";
        QTest::newRow("no name") << ""
                                 << ""
                                 << "Enter a name for the entry";
        QTest::newRow("modem without number") << "Fresh"
                                              << ""
                                              << "Enter the phone number";
        QTest::newRow("number with a quote") << "Fresh"
                                             << "1'2"
                                             << "Enter the phone number";
        QTest::newRow("entry to edit is gone") << "Gone"
                                               << ""
                                               << "The entry 'Gone' cannot be read";
    }
    void refusesWhatItCannotWrite()
    {
        QFETCH(QString, name);
        QFETCH(QString, phone);
        QFETCH(QString, message);
        DialogTestKit kit;
        kit.AddEntry(QStringLiteral("Taken"));
        const bool gone = name == QStringLiteral("Gone");
        FEntryEditor editor(CPeersFolder(kit.Peers()), gone ? name : QString(), nullptr,
                            m_dev.path());
        editor.txtName()->setText(name);
        editor.optModem()->setChecked(name == QStringLiteral("Fresh"));
        editor.txtPhone()->setText(phone);
        QVERIFY(gone ? !editor.Load() : !editor.Save());
        QCOMPARE(kit.messages.Shown().size(), 1);
        QVERIFY2(kit.messages.Texts().at(0).startsWith(message),
                 qPrintable(kit.messages.Texts().at(0)));
        if (!gone)
            QCOMPARE(kit.messages.Shown().at(0).icon, EMessageIcon::Information);
        QCOMPARE(TestFiles::ReadText(kit.Peers() + "/Taken"), DialogTestKit::kEntry);
    }

private:
    QTemporaryDir m_dev;
};

QTEST_MAIN(tst_FEntryEditor)
#include "tst_FEntryEditor.moc"
