#include "console/dialup/CProgOptions.h"
#include "console/dialup/ui/FEntryEditor.h"
#include "console/dialup/ui/FHostIPAddrSelection.h"
#include "console/dialup/ui/FModemSettings.h"
#include "console/dialup/ui/FOptions.h"
#include "console/dialup/ui/SDialupDialogOptions.h"
#include "platform/dialup/MRasApi.h"
#include "tests/kit/FileModesObeyed.h"
#include "tests/kit/MessageCapture.h"
#include "tests/kit/TestFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <optional>

namespace {

// What the dial-up dialogs work on: settings, peers, a pppd that can run or
// one that cannot, editors that write down their calls ("edit ENTRY",
// "create"; tests add "active"/"idle" from the editor flag), the messages.
class DialogKit final {
    QTemporaryDir m_dir; // first: the members below live in it

public:
    DialogKit()
    {
        QDir().mkpath(Peers());
        TestFiles::WriteScript(m_dir.filePath("pppd"), "#!/bin/sh\n");
        TestFiles::Write(m_dir.filePath("no-pppd"), "#!/bin/sh\n"); // cannot run
    }

    QString Peers() const { return m_dir.filePath(QStringLiteral("peers")); }
    // The editors write here, root itself; secrets stay out of /etc/ppp.
    SPeerWriterOptions Writer(const QString& peers = {}) const
    {
        SPeerWriterOptions writer;
        writer.peersFolder = peers.isEmpty() ? Peers() : peers;
        writer.secretsFolder = m_dir.path();
        writer.direct = true;
        return writer;
    }
    void AddEntry(const QString& name) { TestFiles::Write(Peers() + u'/' + name, kEntry); }
    SDialupDialogOptions Dialup(bool installed = true)
    {
        SDialupDialogOptions dialup;
        dialup.peersFolder = Peers();
        dialup.pppdProgram = m_dir.filePath(installed ? "pppd" : "no-pppd");
        dialup.editEntry = [this](QWidget*, const QString& entry) { calls << "edit " + entry; };
        dialup.createEntry = [this](QWidget*, const QString& name) {
            calls << QStringLiteral("create %1").arg(name).trimmed();
            AddEntry(name.isEmpty() ? QStringLiteral("Created") : name);
        };
        dialup.localAddresses = [] { return QStringList{"10.1.0.5", "192.168.9.9"}; };
        return dialup;
    }
    // What a fresh look at the settings file finds.
    QString Stored(const char* key) const
    {
        const QSettings fresh(SettingsFile(), QSettings::IniFormat);
        return fresh.value(QLatin1String(CProgOptions::kSection) + u'/' + key, "<absent>")
            .toString();
    }

    QString SettingsFile() const { return m_dir.filePath("Pelion.ini"); }
    QString SecretsFile() const { return m_dir.filePath("pap-secrets"); }

    static constexpr const char* kEntry = "/dev/ttyS0\n115200\nlocal\n";
    int connType = 0;
    QString modemEntry;
    QStringList calls;
    CMessageCapture messages;
    QSettings store{m_dir.filePath("Pelion.ini"), QSettings::IniFormat};
    CProgOptions options{store, connType, modemEntry};
};

// One row per case, named for it; the test body reads the case back.
template <typename Case, std::size_t N> void AddRows(const Case (&cases)[N])
{
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(cases[i].name) << int(i);
}
template <typename Case, std::size_t N> const Case& CurrentRow(const Case (&cases)[N])
{
    QFETCH(int, row);
    return cases[row];
}

// The stored choice is selected; Ok writes the choice at once, Cancel
// nothing. Without pppd a click is answered with the message, and the
// stored choice stays selected.
struct SOptionsCase {
    const char* name;
    bool installed;
    int storedType, clicked;
    bool ok;
    const char* written;
};
const SOptionsCase kOptionsCases[] = {
    {"Ok with the modem", true, 0, 1, true, "1"},
    {"Ok with the cable", true, 1, 0, true, "0"},
    {"Cancel after choosing", true, 0, 1, false, "<absent>"},
    {"unknown type: Ok with neither", true, 7, -1, true, "<absent>"},
    {"no pppd: modem clicked, cable stays", false, 0, 1, true, "0"},
};

// Each settings button of Options (0 cable, 1 modem, 2 LAN): the editor
// calls within the console's editor flag, a dialog, or a message. A missing
// cable entry is offered for creation (the answer given); a phonebook that
// cannot be read is not taken for a missing entry.
struct SButtonCase {
    const char* name;
    int button;
    const char* entry;
    bool installed;
    QStringList seen;
    EMessageResult answer = EMessageResult::Yes;
    bool unreadable = false;
};
const QStringList kNotFound{"Remote Access entry 'TarnDirectPPP' not found"};
const QString kOffer = kNotFound.at(0) + "\n\nCreate it now?";
const QStringList kEdited{"active", "edit TarnDirectPPP", "idle"};
const SButtonCase kButtonCases[] = {
    {"cable settings edit the cable entry", 0, "TarnDirectPPP", true, kEdited},
    {"no cable entry: created", 0, "", true, {"active", "create TarnDirectPPP", "idle", kOffer}},
    {"no cable entry: not wanted", 0, "", true, {kOffer}, EMessageResult::No},
    {"cable settings without pppd", 0, "TarnDirectPPP", false, kNotFound},
    {"phonebook unreadable", 0, "", true, {}, EMessageResult::Yes, true},
    {"modem settings", 1, "", true, {"dialog Modem settings"}},
    {"modem settings without pppd", 1, "", false, {}},
    {"LAN settings", 2, "", true, {"dialog Available Host IP Address "}},
};

// The stored entry is selected when it is there (letter case counts);
// Properties needs a selection and edits it, Add makes an entry, both within
// the console's editor flag; Ok stores the choice at once, Cancel nothing.
struct SModemCase {
    const char *name, *stored, *selected;
    bool entries, installed, properties, ok;
};
const SModemCase kModemCases[] = {
    {"stored there, Ok", "Modem1", "Modem1", true, true, true, true},
    {"stored there, Cancel", "Modem1", "Modem1", true, true, true, false},
    {"letter case matters", "modem1", "", true, true, false, true},
    {"no entries", "Modem1", "", false, true, false, true},
    {"no dial-up service", "Modem1", "", true, false, true, true},
};

// The stored choice is selected; Cancel is offered only when one is stored
// or none can be chosen (the dialog then says so); OK only with a row to
// store, and it stores the row chosen; without Cancel, neither Escape nor a
// close box closes it.
struct SHostCase {
    const char* name;
    QStringList addresses;
    const char* stored;
    bool fromStore;
    int selectedRow;
    bool cancel;
};
const QStringList kOne{"10.0.0.5"};
const QStringList kSeveral{"10.0.0.5", "192.168.1.20", "172.16.4.4"};
const SHostCase kHostCases[] = {
    {"one address, nothing stored", kOne, "", true, -1, false},
    {"second of several stored", kSeveral, "192.168.1.20", true, 1, true},
    {"stored choice gone", kSeveral, "10.9.9.9", true, -1, true},
    {"no address at all", {}, "", true, -1, true},
    {"no address, not from the store", {}, "", false, -1, true},
    {"not from the store", kSeveral, "10.0.0.5", false, -1, false},
};

// What cannot be written is refused with a message; the dialog stays open
// and no file changes. A missing entry cannot be opened.
struct SRefusalCase {
    const char *name, *entry, *message;
    EMessageIcon icon;
};
const SRefusalCase kRefusalCases[] = {
    {"name taken", "Taken", "An entry named 'Taken' already exists.", EMessageIcon::Information},
    {"no entry name", "a/b", "Enter a name for the entry", EMessageIcon::Information},
    {"modem without number", "Fresh", "Enter the phone number", EMessageIcon::Information},
    {"the system refuses the write", "New", "The entry 'New' cannot be saved: you may not write",
     EMessageIcon::Exclamation},
    {"entry to edit is gone", "Gone", "The entry 'Gone' cannot be read", EMessageIcon::Exclamation},
};

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
        const FOptions options(kit.options, kit.Dialup());
        const FModemSettings modem(kit.options, kit.Dialup());
        const FHostIPAddrSelection host(kit.options, {});
        QStringList texts{options.windowTitle(), host.ListView()->headerItem()->text(0)};
        for (const QDialog* dialog : std::initializer_list<const QDialog*>{&options, &modem, &host})
            for (const QWidget* widget : dialog->findChildren<QWidget*>())
                texts << widget->property("text").toString()
                      << widget->property("title").toString();
        for (const char* text :
             {"Options", "PPP", "Connect using direct serial cable", "Connect using a modem",
              "Settings...", "LAN", "Ok", "Use the following entry for modem connection:", "Add",
              "Properties", "Ip Address", "OK",
              "In a Multi-Homed Host one IP Address must be used as a Network Manager.Select one "
              "from the above list"})
            QVERIFY2(texts.contains(QString::fromLatin1(text)), text);
    }

    void optionsOkWritesAtOnce_data() { AddRows(kOptionsCases); }
    void optionsOkWritesAtOnce()
    {
        const SOptionsCase& c = CurrentRow(kOptionsCases);
        DialogKit kit;
        kit.connType = c.storedType;
        FOptions dialog(kit.options, kit.Dialup(c.installed));
        QCOMPARE(dialog.OptionConnType(0)->isChecked(), c.storedType == 0);
        QCOMPARE(dialog.OptionConnType(1)->isChecked(), c.storedType == 1);
        if (c.clicked >= 0)
            QTest::mouseClick(dialog.OptionConnType(c.clicked), Qt::LeftButton);
        if (!c.installed) {
            QCOMPARE(kit.messages.Texts(), {"You must install the Remote Access Service before!"});
            QVERIFY(kit.messages.Shown().at(0).title == "Pelion"
                    && kit.messages.Shown().at(0).icon == EMessageIcon::Information);
            QVERIFY(dialog.OptionConnType(c.storedType)->isChecked());
            QVERIFY(!dialog.OptionConnType(1 - c.storedType)->isChecked());
            kit.messages.Clear();
        }
        QTest::mouseClick(c.ok ? dialog.cmdOk() : dialog.cmdCancel(), Qt::LeftButton);
        const QString written = QString::fromLatin1(c.written);
        QCOMPARE(kit.Stored(CProgOptions::kConnectionType), written);
        QCOMPARE(kit.connType, written == "<absent>" ? c.storedType : written.toInt());
        QVERIFY(kit.messages.Shown().isEmpty());
    }

    void optionsSettingsButtons_data() { AddRows(kButtonCases); }
    void optionsSettingsButtons()
    {
        const SButtonCase& c = CurrentRow(kButtonCases);
        DialogKit kit;
        SDialupDialogOptions dialup = kit.Dialup(c.installed);
        if (*c.entry || c.unreadable)
            kit.AddEntry(QStringLiteral("TarnDirectPPP"));
        // A folder this user may not list, as the system's is outside the group dip.
        std::optional<CFileModesObeyed> obeyed;
        if (c.unreadable) {
            QVERIFY(QFile::setPermissions(dialup.peersFolder, {}));
            obeyed.emplace();
        }
        kit.messages.Answer(c.answer);
        FOptions dialog(kit.options, dialup);
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
        QTest::mouseClick(buttons.at(c.button), Qt::LeftButton);
        QCoreApplication::processEvents(); // the pending closer finds nothing
        const QStringList seen =
            c.unreadable ? QStringList{PhonebookUnreadableText(QStringLiteral("TarnDirectPPP"))}
                         : c.seen;
        obeyed.reset();
        QVERIFY(QFile::setPermissions(dialup.peersFolder, QFileDevice::ReadOwner
                                                              | QFileDevice::WriteOwner
                                                              | QFileDevice::ExeOwner));
        QCOMPARE(kit.calls + kit.messages.Texts(), seen);
        for (const SMessage& message : kit.messages.Shown())
            QCOMPARE(message.icon,
                     message.text == kOffer ? EMessageIcon::Question : EMessageIcon::Exclamation);
    }

    void modemSettingsSelectsTheStoredEntry_data() { AddRows(kModemCases); }
    void modemSettingsSelectsTheStoredEntry()
    {
        const SModemCase& c = CurrentRow(kModemCases);
        DialogKit kit;
        for (const char* name : {"Alpha", "Modem1", "Zulu"})
            if (c.entries)
                kit.AddEntry(QString::fromLatin1(name));
        kit.modemEntry = QString::fromLatin1(c.stored);
        FModemSettings dialog(kit.options, kit.Dialup(c.installed));
        QCOMPARE(dialog.comboSelectEntry()->count(), c.installed && c.entries ? 3 : 0);
        QCOMPARE(dialog.comboSelectEntry()->currentText(), c.selected);
        QCOMPARE(dialog.cmdProperties()->isEnabled(), c.properties);
        if (!c.installed)
            return;
        dialog.comboSelectEntry()->setCurrentIndex(c.entries ? 2 : -1);
        QCOMPARE(dialog.cmdProperties()->isEnabled(), c.entries);
        if (c.entries) {
            connect(&dialog, &FModemSettings::OnPhonebookEditorActive, this,
                    [&kit](bool active) { kit.calls << (active ? "active" : "idle"); });
            QTest::mouseClick(dialog.cmdProperties(), Qt::LeftButton);
            QTest::mouseClick(dialog.cmdAdd(), Qt::LeftButton);
            QCOMPARE(dialog.comboSelectEntry()->count(), 4); // with the one just made
            QCOMPARE(kit.calls,
                     (QStringList{"active", "edit Zulu", "idle", "active", "create", "idle"}));
        }
        QTest::mouseClick(c.ok ? dialog.cmdOk() : dialog.cmdCancel(), Qt::LeftButton);
        QCOMPARE(dialog.result(), c.ok ? QDialog::Accepted : QDialog::Rejected);
        const QString chosen = c.ok ? dialog.comboSelectEntry()->currentText() : c.stored;
        QCOMPARE(kit.Stored(CProgOptions::kModemEntry), c.ok ? chosen : "<absent>");
        QCOMPARE(kit.modemEntry, chosen);
    }

    void hostAddressLoadSelectsAndDecidesCancel_data() { AddRows(kHostCases); }
    void hostAddressLoadSelectsAndDecidesCancel()
    {
        const SHostCase& c = CurrentRow(kHostCases);
        DialogKit kit;
        if (*c.stored)
            kit.options.SetMultiHomedIp(QString::fromLatin1(c.stored));
        FHostIPAddrSelection dialog(kit.options, [&c] { return c.addresses; });
        dialog.Load(c.fromStore);
        QTreeWidget* list = dialog.ListView();
        QCOMPARE(list->topLevelItemCount(), c.addresses.size());
        const QList<QTreeWidgetItem*> selected = list->selectedItems();
        QCOMPARE(selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first()),
                 c.selectedRow);
        QCOMPARE(dialog.cmdCancel()->isEnabled(), c.cancel);
        QCOMPARE(dialog.cmdOK()->isEnabled(), c.selectedRow >= 0);
        QCOMPARE(!dialog.lblNoAddress()->isHidden(), c.addresses.isEmpty());
        QVERIFY(dialog.lblNoAddress()->text().startsWith("No network address is up on this PC"));
        const Qt::WindowFlags flags = dialog.windowFlags();
        QCOMPARE(!flags.testFlag(Qt::CustomizeWindowHint)
                     || flags.testFlag(Qt::WindowCloseButtonHint),
                 c.cancel);
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.isVisible(), !c.cancel);
        if (c.addresses.isEmpty())
            return;
        dialog.show();
        list->setCurrentItem(list->topLevelItem(list->topLevelItemCount() - 1));
        QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
        QCOMPARE(dialog.result(), QDialog::Accepted);
        QCOMPARE(kit.Stored(CProgOptions::kMultiHomedIp), c.addresses.last());
    }

    void entryEditorNewEntryThenEdit()
    {
        DialogKit kit;
        const CPeersFolder folder(kit.Peers());
        FEntryEditor create(kit.Writer(), QString(), nullptr, m_dev.path());
        QVERIFY(create.Load());
        QCOMPARE(create.cboDevice()->count(), 2);
        QVERIFY(create.optDirect()->isChecked() && !create.txtPhone()->isEnabled());
        create.txtName()->setText(QStringLiteral("Field Modem"));
        create.optModem()->setChecked(true);
        QVERIFY(create.txtPhone()->isEnabled() && create.txtInit()->isEnabled());
        create.txtPhone()->setText(QStringLiteral("5551234"));
        create.txtUser()->setText(QStringLiteral("field"));
        create.cboFlowControl()->setCurrentIndex(int(EFlowControl::None));
        const QString password = QStringLiteral("s3cr\"et pw");
        create.txtPassword()->setText(password);
        QCOMPARE(create.txtPassword()->echoMode(), QLineEdit::Password);
        QTest::mouseClick(create.cmdOk(), Qt::LeftButton);
        QCOMPARE(create.EntryName(), QStringLiteral("Field Modem"));
        // The password reaches pppd's secrets only.
        const QString file = TestFiles::ReadText(folder.FilePath(create.EntryName()));
        QVERIFY(!file.contains(QStringLiteral("s3cr")));
        kit.store.sync();
        QVERIFY(!TestFiles::ReadText(kit.SettingsFile()).contains(QStringLiteral("s3cr")));
        QCOMPARE(TestFiles::ReadText(kit.SecretsFile()), "\"field\" * \"s3cr\\\"et pw\"\n");
        FEntryEditor edit(kit.Writer(), QStringLiteral("Field Modem"), nullptr, m_dev.path());
        QVERIFY(edit.Load());
        QVERIFY(edit.optModem()->isChecked() && edit.txtName()->isReadOnly());
        QCOMPARE(edit.txtPhone()->text() + edit.txtUser()->text(), QStringLiteral("5551234field"));
        QCOMPARE(edit.cboFlowControl()->currentIndex(), int(EFlowControl::None));
        QVERIFY(edit.txtPassword()->text().isEmpty());
        edit.cboSpeed()->setCurrentText(QStringLiteral("57600"));
        QTest::mouseClick(edit.cmdOk(), Qt::LeftButton);
        QCOMPARE(edit.result(), QDialog::Accepted);
        QVERIFY(TestFiles::ReadText(folder.FilePath(edit.EntryName())).contains("\n57600\n"));
        QVERIFY(kit.messages.Shown().isEmpty());
    }

    void entryEditorRefusesWhatItCannotWrite_data() { AddRows(kRefusalCases); }
    void entryEditorRefusesWhatItCannotWrite()
    {
        const SRefusalCase& c = CurrentRow(kRefusalCases);
        const QString name = QString::fromLatin1(c.entry);
        DialogKit kit;
        kit.AddEntry(QStringLiteral("Taken"));
        const QString taken = kit.Peers() + QStringLiteral("/Taken");
        const bool gone = name == QStringLiteral("Gone");
        // A file in the folder's place refuses the write, to root too.
        FEntryEditor editor(kit.Writer(name == QStringLiteral("New") ? taken : QString()),
                            gone ? name : QString(), nullptr, m_dev.path());
        if (gone) {
            QVERIFY(!editor.Load());
        } else {
            editor.show();
            editor.txtName()->setText(name);
            editor.optModem()->setChecked(name == QStringLiteral("Fresh"));
            QTest::mouseClick(editor.cmdOk(), Qt::LeftButton);
            QVERIFY(editor.isVisible());
        }
        QCOMPARE(kit.messages.Shown().size(), 1);
        QVERIFY2(kit.messages.Texts().at(0).startsWith(QString::fromLatin1(c.message)),
                 qPrintable(kit.messages.Texts().at(0)));
        QCOMPARE(kit.messages.Shown().at(0).icon, c.icon);
        QCOMPARE(TestFiles::ReadText(taken), DialogKit::kEntry);
    }

private:
    QTemporaryDir m_dev;
};

QTEST_MAIN(tst_DialupDialogs)
#include "tst_DialupDialogs.moc"
