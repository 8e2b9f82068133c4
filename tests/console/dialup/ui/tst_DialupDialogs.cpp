#include "console/dialup/CProgOptions.h"
#include "console/dialup/ui/FEntryEditor.h"
#include "console/dialup/ui/FHostIPAddrSelection.h"
#include "console/dialup/ui/FModemSettings.h"
#include "console/dialup/ui/FOptions.h"
#include "console/dialup/ui/SDialupDialogOptions.h"
#include "tests/kit/MessageCapture.h"
#include "tests/kit/TestFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

// What the dial-up dialogs work on: a settings file, a peers folder, a
// program that stands for an installed pppd, the program-wide variables,
// editors that write down their calls ("edit ENTRY", "create"; a test adds
// "active" and "idle" from the dialog's editor flag), and the messages shown.
class DialogKit final {
    QTemporaryDir m_dir; // first: the members below live in it

public:
    DialogKit()
    {
        QDir().mkpath(Peers());
        TestFiles::WriteScript(m_dir.filePath("pppd"), "#!/bin/sh\n");
    }

    QString Peers() const { return m_dir.filePath(QStringLiteral("peers")); }
    void AddEntry(const QString& name) { TestFiles::Write(Peers() + u'/' + name, kEntry); }
    SDialupDialogOptions Dialup(bool installed = true)
    {
        SDialupDialogOptions dialup;
        dialup.peersFolder = Peers();
        dialup.pppdProgram = m_dir.filePath(installed ? "pppd" : "no-pppd");
        dialup.editEntry = [this](QWidget*, const QString& entry) { calls << "edit " + entry; };
        dialup.createEntry = [this](QWidget*) {
            calls << QStringLiteral("create");
            AddEntry(QStringLiteral("Created"));
        };
        dialup.localAddresses = [] { return QStringList{"10.1.0.5", "192.168.9.9"}; };
        return dialup;
    }
    // What a fresh look at the settings file finds.
    QString Stored(const char* key) const
    {
        const QSettings fresh(m_dir.filePath("Pelion.ini"), QSettings::IniFormat);
        return fresh.value(QLatin1String(CProgOptions::kSection) + u'/' + key, "<absent>")
            .toString();
    }

    static constexpr const char* kEntry = "/dev/ttyS0\n115200\nlocal\n";
    int connType = 0;
    QString modemEntry;
    QStringList calls;
    CMessageCapture messages;
    QSettings store{m_dir.filePath("Pelion.ini"), QSettings::IniFormat};
    CProgOptions options{store, connType, modemEntry};
};

// The window title, then every text the dialog's widgets show, in the order they were made.
QStringList TextsOf(const QDialog& dialog)
{
    QStringList texts{dialog.windowTitle()};
    for (const QWidget* widget : dialog.findChildren<QWidget*>()) {
        if (const auto* box = qobject_cast<const QGroupBox*>(widget))
            texts << box->title();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts << button->text();
        else if (const auto* label = qobject_cast<const QLabel*>(widget);
                 label && !label->text().isEmpty())
            texts << label->text();
        else if (const auto* list = qobject_cast<const QTreeWidget*>(widget))
            texts << list->headerItem()->text(0);
    }
    return texts;
}

} // namespace

class tst_DialupDialogs final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char* name : {"ttyS0", "ttyUSB0"})
            QVERIFY(TestFiles::Write(m_dev.filePath(QString::fromLatin1(name)), {}));
    }

    void texts()
    {
        DialogKit kit;
        QCOMPARE(TextsOf(FOptions(kit.options, kit.Dialup())),
                 (QStringList{"Options", "PPP", "Connect using direct serial cable",
                              "Connect using a modem", "Settings...", "Settings...", "LAN",
                              "Settings...", "Ok", "Cancel"}));
        QCOMPARE(TextsOf(FModemSettings(kit.options, kit.Dialup())),
                 (QStringList{"Modem settings", "Use the following entry for modem connection:",
                              "Add", "Properties", "Ok", "Cancel"}));
        FHostIPAddrSelection host(kit.options, [] { return QStringList{"10.0.0.5"}; });
        QCOMPARE(TextsOf(host), (QStringList{"Available Host IP Address ", "Ip Address",
                                             "In a Multi-Homed Host one IP Address must be used as "
                                             "a Network Manager.Select one from the above list",
                                             "OK", "Cancel"}));
        host.Load(true);
        QCOMPARE(host.ListView()->topLevelItem(0)->text(0), QStringLiteral("10.0.0.5"));
    }

    // The stored choice is selected; Ok writes the choice at once, Cancel
    // nothing. Without pppd a click is answered with the message, and the
    // stored choice stays selected.
    void optionsOkWritesAtOnce_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<int>("storedType");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("written");
        QTest::newRow("Ok with the modem") << true << 0 << 1 << true << "1";
        QTest::newRow("Ok with the cable") << true << 1 << 0 << true << "0";
        QTest::newRow("Cancel after choosing") << true << 0 << 1 << false << "<absent>";
        QTest::newRow("unknown type: Ok with neither") << true << 7 << -1 << true << "<absent>";
        QTest::newRow("no pppd: modem clicked, cable stays") << false << 0 << 1 << true << "0";
        QTest::newRow("no pppd: cable clicked, modem stays") << false << 1 << 0 << true << "1";
        QTest::newRow("no pppd: the stored one clicked") << false << 1 << 1 << true << "1";
    }
    void optionsOkWritesAtOnce()
    {
        QFETCH(bool, installed);
        QFETCH(int, storedType);
        QFETCH(int, clicked);
        QFETCH(bool, ok);
        QFETCH(QString, written);
        DialogKit kit;
        kit.connType = storedType;
        FOptions dialog(kit.options, kit.Dialup(installed));
        QCOMPARE(dialog.OptionConnType(0)->isChecked(), storedType == 0);
        QCOMPARE(dialog.OptionConnType(1)->isChecked(), storedType == 1);
        if (clicked >= 0)
            QTest::mouseClick(dialog.OptionConnType(clicked), Qt::LeftButton);
        if (!installed) {
            QCOMPARE(kit.messages.Texts(), {"You must install the Remote Access Service before!"});
            QCOMPARE(kit.messages.Shown().at(0).title, QStringLiteral("Pelion"));
            QCOMPARE(kit.messages.Shown().at(0).icon, EMessageIcon::Information);
            QVERIFY(dialog.OptionConnType(storedType)->isChecked());
            QVERIFY(!dialog.OptionConnType(1 - storedType)->isChecked());
            kit.messages.Clear();
        }
        QTest::mouseClick(ok ? dialog.cmdOk() : dialog.cmdCancel(), Qt::LeftButton);
        QCOMPARE(kit.Stored(CProgOptions::kConnectionType), written);
        QCOMPARE(kit.connType, written == "<absent>" ? storedType : written.toInt());
        QVERIFY(kit.messages.Shown().isEmpty());
    }

    // Each settings button of Options (0 cable, 1 modem, 2 LAN): the editor
    // calls within the console's editor flag, a dialog, or a message.
    void optionsSettingsButtons_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QStringList>("seen");
        const QString tarn = QStringLiteral("TarnDirectPPP");
        const QStringList notFound{"Remote Access entry 'TarnDirectPPP' not found"};
        const QStringList edited{"active", "edit TarnDirectPPP", "idle"};
        QTest::newRow("cable settings edit the cable entry") << 0 << tarn << true << edited;
        QTest::newRow("cable entry in another case") << 0 << tarn.toLower() << true << notFound;
        QTest::newRow("no cable entry") << 0 << "" << true << notFound;
        QTest::newRow("cable settings without pppd") << 0 << tarn << false << notFound;
        QTest::newRow("modem settings") << 1 << "" << true << QStringList{"dialog Modem settings"};
        QTest::newRow("modem settings without pppd") << 1 << "" << false << QStringList{};
        QTest::newRow("LAN settings")
            << 2 << "" << true << QStringList{"dialog Available Host IP Address "};
    }
    void optionsSettingsButtons()
    {
        QFETCH(int, button);
        QFETCH(QString, entry);
        QFETCH(bool, installed);
        QFETCH(QStringList, seen);
        DialogKit kit;
        FOptions dialog(kit.options, kit.Dialup(installed));
        if (!entry.isEmpty())
            kit.AddEntry(entry);
        kit.options.SetMultiHomedIp(QStringLiteral("10.1.0.5"));
        connect(&dialog, &FOptions::OnPhonebookEditorActive, this,
                [&kit](bool active) { kit.calls << (active ? "active" : "idle"); });
        QTimer::singleShot(0, [&kit] { // runs inside the modal dialog's loop, if one is up
            if (QWidget* modal = QApplication::activeModalWidget()) {
                kit.calls << "dialog " + modal->windowTitle();
                modal->close();
            }
        });
        const QList<QPushButton*> buttons{dialog.cmdDirectSettings(), dialog.cmdModemSettings(),
                                          dialog.CmdLanSettings()};
        QTest::mouseClick(buttons.at(button), Qt::LeftButton);
        QCoreApplication::processEvents(); // the pending closer finds nothing
        QCOMPARE(kit.calls + kit.messages.Texts(), seen);
        for (const SMessage& message : kit.messages.Shown())
            QCOMPARE(message.icon, EMessageIcon::Exclamation);
    }

    // The stored entry is selected when it is there (letter case counts);
    // Properties needs a selection; Ok stores the choice at once, Cancel nothing.
    void modemSettingsSelectsTheStoredEntry_data()
    {
        QTest::addColumn<bool>("entries");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("properties");
        QTest::addColumn<bool>("ok");
        QTest::newRow("stored there, Ok") << true << "Modem1" << true << "Modem1" << true << true;
        QTest::newRow("stored there, Cancel")
            << true << "Modem1" << true << "Modem1" << true << false;
        QTest::newRow("stored entry vanished") << true << "Gone" << true << "" << false << true;
        QTest::newRow("letter case matters") << true << "modem1" << true << "" << false << true;
        QTest::newRow("nothing stored") << true << "" << true << "" << false << true;
        QTest::newRow("no entries") << false << "Modem1" << true << "" << false << true;
        QTest::newRow("no dial-up service") << true << "Modem1" << false << "" << true << true;
    }
    void modemSettingsSelectsTheStoredEntry()
    {
        QFETCH(bool, entries);
        QFETCH(QString, stored);
        QFETCH(bool, installed);
        QFETCH(QString, selected);
        QFETCH(bool, properties);
        QFETCH(bool, ok);
        DialogKit kit;
        for (const char* name : {"Alpha", "Modem1", "Zulu"})
            if (entries)
                kit.AddEntry(QString::fromLatin1(name));
        kit.modemEntry = stored;
        FModemSettings dialog(kit.options, kit.Dialup(installed));
        QCOMPARE(dialog.comboSelectEntry()->count(), installed && entries ? 3 : 0);
        QCOMPARE(dialog.comboSelectEntry()->currentText(), selected);
        QCOMPARE(dialog.cmdProperties()->isEnabled(), properties);
        if (!installed)
            return;
        dialog.comboSelectEntry()->setCurrentIndex(entries ? 2 : -1);
        QCOMPARE(dialog.cmdProperties()->isEnabled(), entries);
        QTest::mouseClick(ok ? dialog.cmdOk() : dialog.cmdCancel(), Qt::LeftButton);
        QCOMPARE(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
        const QString chosen = ok ? dialog.comboSelectEntry()->currentText() : stored;
        QCOMPARE(kit.Stored(CProgOptions::kModemEntry), ok ? chosen : "<absent>");
        QCOMPARE(kit.modemEntry, chosen);
    }

    // Properties edits the chosen entry; Add opens the new-entry dialog, then
    // the list shows the new entry. The console's editor flag is up meanwhile.
    void modemSettingsAddAndPropertiesOpenTheEditors()
    {
        DialogKit kit;
        kit.AddEntry(QStringLiteral("Beta"));
        kit.modemEntry = QStringLiteral("Beta");
        FModemSettings dialog(kit.options, kit.Dialup());
        connect(&dialog, &FModemSettings::OnPhonebookEditorActive, this,
                [&kit](bool active) { kit.calls << (active ? "active" : "idle"); });
        QTest::mouseClick(dialog.cmdProperties(), Qt::LeftButton);
        QTest::mouseClick(dialog.cmdAdd(), Qt::LeftButton);
        QCOMPARE(dialog.comboSelectEntry()->count(), 2);
        QCOMPARE(kit.calls,
                 (QStringList{"active", "edit Beta", "idle", "active", "create", "idle"}));
    }

    // The stored choice is selected; Cancel is offered only when one is stored;
    // OK only with a row to store; without Cancel, Escape does not close it.
    void hostAddressLoadSelectsAndDecidesCancel_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("fromStore");
        QTest::addColumn<int>("selectedRow");
        QTest::addColumn<bool>("cancel");
        const QStringList one{"10.0.0.5"};
        const QStringList several{"10.0.0.5", "192.168.1.20", "172.16.4.4"};
        QTest::newRow("one address, nothing stored") << one << "" << true << -1 << false;
        QTest::newRow("one address, it is stored") << one << "10.0.0.5" << true << 0 << true;
        QTest::newRow("second of several stored") << several << "192.168.1.20" << true << 1 << true;
        QTest::newRow("stored choice gone") << several << "10.9.9.9" << true << -1 << true;
        QTest::newRow("no address at all") << QStringList{} << "" << true << -1 << false;
        QTest::newRow("not from the store") << several << "10.0.0.5" << false << -1 << false;
    }
    void hostAddressLoadSelectsAndDecidesCancel()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QString, stored);
        QFETCH(bool, fromStore);
        QFETCH(int, selectedRow);
        QFETCH(bool, cancel);
        DialogKit kit;
        if (!stored.isEmpty())
            kit.options.SetMultiHomedIp(stored);
        FHostIPAddrSelection dialog(kit.options, [addresses] { return addresses; });
        dialog.Load(fromStore);
        QTreeWidget* list = dialog.ListView();
        QCOMPARE(list->topLevelItemCount(), addresses.size());
        const QList<QTreeWidgetItem*> selected = list->selectedItems();
        QCOMPARE(selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first()),
                 selectedRow);
        QCOMPARE(dialog.cmdCancel()->isEnabled(), cancel);
        QCOMPARE(dialog.cmdOK()->isEnabled(), selectedRow >= 0);
        if (cancel)
            return;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
    }

    // Activate shows the dialog and returns the choice: OK stores the row
    // chosen (not before one is), Cancel keeps the stored one.
    void hostAddressActivateReturnsTheChoice_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("returned");
        QTest::newRow("OK") << "" << true << "192.168.1.20";
        QTest::newRow("Cancel") << "10.0.0.5" << false << "10.0.0.5";
    }
    void hostAddressActivateReturnsTheChoice()
    {
        QFETCH(QString, stored);
        QFETCH(bool, ok);
        QFETCH(QString, returned);
        DialogKit kit;
        if (!stored.isEmpty())
            kit.options.SetMultiHomedIp(stored);
        FHostIPAddrSelection dialog(kit.options, [] {
            return QStringList{"10.0.0.5", "192.168.1.20"};
        });
        QTimer::singleShot(0, &dialog, [&dialog, ok] {
            if (ok) // nothing chosen yet: OK is disabled, the dialog stays
                QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
            dialog.ListView()->topLevelItem(1)->setSelected(true);
            QTest::mouseClick(ok ? dialog.cmdOK() : dialog.cmdCancel(), Qt::LeftButton);
        });
        QCOMPARE(dialog.Activate(!ok), returned);
        QCOMPARE(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
        QCOMPARE(kit.Stored(CProgOptions::kMultiHomedIp), returned);
    }

    // A new modem entry, then an edit of it that keeps a line of the user's own.
    void entryEditorNewEntryThenEdit()
    {
        DialogKit kit;
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
        QVERIFY(TestFiles::WriteText(file, TestFiles::ReadText(file) + "ipparam equipment\n"));

        FEntryEditor edit(folder, QStringLiteral("Field Modem"), nullptr, m_dev.path());
        QVERIFY(edit.Load());
        QVERIFY(edit.optModem()->isChecked() && edit.txtName()->isReadOnly());
        QCOMPARE(
            (QStringList{edit.txtPhone()->text(), edit.txtInit()->text(), edit.txtUser()->text()}),
            (QStringList{"5551234", "AT&F", "field"}));
        edit.cboSpeed()->setCurrentText(QStringLiteral("57600"));
        QTest::mouseClick(edit.cmdOk(), Qt::LeftButton);
        QCOMPARE(edit.result(), QDialog::Accepted);
        const QString text = TestFiles::ReadText(file);
        QVERIFY(text.contains("\n57600\n") && !text.contains("115200")
                && text.contains("\nlock\n"));
        QVERIFY(text.endsWith(QStringLiteral("ipparam equipment\n")));
        QVERIFY(kit.messages.Shown().isEmpty());
    }

    // What cannot be written is refused with a message; the dialog stays open
    // with what was typed and no file changes. A missing entry cannot be opened.
    void entryEditorRefusesWhatItCannotWrite_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        const int info = int(EMessageIcon::Information), warn = int(EMessageIcon::Exclamation);
        QTest::newRow("name taken") << "Taken"
                                    << "An entry named 'Taken' already exists." << info;
        QTest::newRow("no entry name") << "a/b"
                                       << "Enter a name for the entry" << info;
        QTest::newRow("modem without number") << "Fresh"
                                              << "Enter the phone number" << info;
        QTest::newRow("the system refuses the write")
            << "New"
            << "The entry 'New' cannot be saved: you may not write" << warn;
        QTest::newRow("entry to edit is gone") << "Gone"
                                               << "The entry 'Gone' cannot be read" << warn;
    }
    void entryEditorRefusesWhatItCannotWrite()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        QFETCH(int, icon);
        DialogKit kit;
        kit.AddEntry(QStringLiteral("Taken"));
        const QString taken = kit.Peers() + QStringLiteral("/Taken");
        const bool gone = name == QStringLiteral("Gone");
        // A file in the folder's place refuses the write, to root too.
        FEntryEditor editor(CPeersFolder(name == QStringLiteral("New") ? taken : kit.Peers()),
                            gone ? name : QString(), nullptr, m_dev.path());
        if (gone) {
            QVERIFY(!editor.Load());
        } else {
            editor.show();
            editor.txtName()->setText(name);
            editor.optModem()->setChecked(name == QStringLiteral("Fresh"));
            editor.txtUser()->setText(QStringLiteral("typed by hand"));
            QTest::mouseClick(editor.cmdOk(), Qt::LeftButton);
            QVERIFY(editor.isVisible());
            QCOMPARE(editor.txtUser()->text(), QStringLiteral("typed by hand"));
        }
        QCOMPARE(kit.messages.Shown().size(), 1);
        QVERIFY2(kit.messages.Texts().at(0).startsWith(message),
                 qPrintable(kit.messages.Texts().at(0)));
        QCOMPARE(int(kit.messages.Shown().at(0).icon), icon);
        QCOMPARE(TestFiles::ReadText(taken), DialogKit::kEntry);
    }

private:
    QTemporaryDir m_dev;
};

QTEST_MAIN(tst_DialupDialogs)
#include "tst_DialupDialogs.moc"
