#include "console/dialup/ui/FEntryEditor.h"
#include "tests/console/dialup/ReadOnlyFolder.h"
#include "tests/console/dialup/ui/DialogTestKit.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

const QString kExisting = QStringLiteral("# keep me\n/dev/ttyS0\n115200\nlocal\n"
                                         "lcp-echo-interval 5\nnoipdefault\n");

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool WriteText(const QString& path, const QString& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0;
}

} // namespace

class tst_FEntryEditor final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dev.isValid());
        for (const char* name : {"ttyS0", "ttyUSB0"}) {
            QFile device(m_dev.filePath(QString::fromLatin1(name)));
            QVERIFY(device.open(QIODevice::WriteOnly));
        }
    }

    void newEntryThenEditKeepsOtherLines()
    {
        DialogTestKit kit;
        const CPeersFolder folder(kit.Peers());
        {
            FEntryEditor create(folder, QString(), nullptr, m_dev.path());
            QVERIFY(create.Load());
            QCOMPARE(create.cboDevice()->count(), 2);
            create.txtName()->setText(QStringLiteral("Field Modem"));
            create.cboDevice()->setCurrentText(m_dev.filePath(QStringLiteral("ttyUSB0")));
            create.optModem()->setChecked(true);
            create.txtPhone()->setText(QStringLiteral("5551234"));
            create.txtInit()->setText(QStringLiteral("AT&F"));
            create.txtUser()->setText(QStringLiteral("field"));
            QTest::mouseClick(create.cmdOk(), Qt::LeftButton);
            QCOMPARE(create.result(), QDialog::Accepted);
            QCOMPARE(create.EntryName(), QStringLiteral("Field Modem"));
        }
        const QString file = folder.FilePath(QStringLiteral("Field Modem"));
        // Someone adds a line of their own.
        QVERIFY(WriteText(file, ReadText(file) + QStringLiteral("ipparam equipment\n")));

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

        const QString text = ReadText(file);
        QVERIFY(text.contains(QStringLiteral("\n57600\n")));
        QVERIFY(!text.contains(QStringLiteral("115200")));
        QVERIFY(text.contains(QStringLiteral("# PPP link to the equipment")));
        QVERIFY(text.endsWith(QStringLiteral("ipparam equipment\n")));
        QVERIFY(kit.messages.isEmpty());
    }

    // The kernel refuses the write: the message says so, the dialog stays
    // open with what was typed, and the file is as it was.
    void refusedFolderLosesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("edit in a read-only mount") << "mount";
        QTest::newRow("new entry where the folder is a file") << "file";
    }
    void refusedFolderLosesNothing()
    {
        QFETCH(QString, how);
        QTemporaryDir dir;
        DialogTestKit kit;
        std::unique_ptr<ReadOnlyFolder> readOnly;
        std::unique_ptr<FEntryEditor> editor;
        QString original;
        if (how == QStringLiteral("mount")) {
            original = dir.filePath(QStringLiteral("TarnDirectPPP"));
            QVERIFY(WriteText(original, kExisting));
            readOnly = std::make_unique<ReadOnlyFolder>(dir.path());
            if (readOnly->Path().isEmpty())
                QSKIP("no mount namespace of our own here");
            editor = std::make_unique<FEntryEditor>(CPeersFolder(readOnly->Path()),
                                                    QStringLiteral("TarnDirectPPP"), nullptr,
                                                    m_dev.path());
            QVERIFY(editor->Load());
        } else {
            original = dir.filePath(QStringLiteral("peers"));
            QVERIFY(WriteText(original, kExisting));
            editor = std::make_unique<FEntryEditor>(CPeersFolder(original), QString(), nullptr,
                                                    m_dev.path());
            editor->txtName()->setText(QStringLiteral("New"));
        }
        editor->show();
        editor->cboSpeed()->setCurrentText(QStringLiteral("9600"));
        editor->txtUser()->setText(QStringLiteral("typed by hand"));
        QTest::mouseClick(editor->cmdOk(), Qt::LeftButton);

        QCOMPARE(kit.messages.size(), 1);
        QVERIFY(kit.messages.at(0).text.contains(QStringLiteral("you may not write")));
        QCOMPARE(kit.messages.at(0).icon, EMessageIcon::Exclamation);
        QCOMPARE(kit.messages.at(0).title, QStringLiteral("Pelion"));
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->cboSpeed()->currentText(), QStringLiteral("9600"));
        QCOMPARE(editor->txtUser()->text(), QStringLiteral("typed by hand"));
        QCOMPARE(ReadText(original), kExisting);
    }

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
    }
    void refusesWhatItCannotWrite()
    {
        QFETCH(QString, name);
        QFETCH(QString, phone);
        QFETCH(QString, message);
        DialogTestKit kit;
        kit.AddEntry(QStringLiteral("Taken"));
        FEntryEditor editor(CPeersFolder(kit.Peers()), QString(), nullptr, m_dev.path());
        editor.txtName()->setText(name);
        editor.optModem()->setChecked(!phone.isEmpty() || name == QStringLiteral("Fresh"));
        editor.txtPhone()->setText(phone);
        QVERIFY(!editor.Save());
        QCOMPARE(kit.messages.size(), 1);
        QVERIFY2(kit.messages.at(0).text.startsWith(message), qPrintable(kit.messages.at(0).text));
        QCOMPARE(kit.messages.at(0).icon, EMessageIcon::Information);
        QCOMPARE(ReadText(QDir(kit.Peers()).filePath(QStringLiteral("Taken"))),
                 QStringLiteral("/dev/ttyS0\n115200\nlocal\n"));
    }

    void unreadableEntrySaysSo()
    {
        DialogTestKit kit;
        FEntryEditor editor(CPeersFolder(kit.Peers()), QStringLiteral("Gone"), nullptr,
                            m_dev.path());
        QVERIFY(!editor.Load());
        QCOMPARE(kit.messages.size(), 1);
        QVERIFY(
            kit.messages.at(0).text.startsWith(QStringLiteral("The entry 'Gone' cannot be read")));
    }

    void modemFieldsFollowTheChoice()
    {
        DialogTestKit kit;
        FEntryEditor editor(CPeersFolder(kit.Peers()), QString(), nullptr, m_dev.path());
        QVERIFY(editor.optDirect()->isChecked());
        QVERIFY(!editor.txtPhone()->isEnabled());
        editor.optModem()->setChecked(true);
        QVERIFY(editor.txtPhone()->isEnabled());
        QVERIFY(editor.txtInit()->isEnabled());
    }

private:
    QTemporaryDir m_dev;
};

QTEST_MAIN(tst_FEntryEditor)
#include "tst_FEntryEditor.moc"
