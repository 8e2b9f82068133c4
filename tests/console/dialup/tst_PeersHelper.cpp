#include "console/dialup/ui/FEntryEditor.h"
#include "tests/kit/MessageCapture.h"
#include "tests/kit/TestFiles.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

const QString kHelper = QStringLiteral(PEERS_HELPER);
const QStringList kSecretsFiles{"pap-secrets", "chap-secrets"};

struct SRun {
    int status = -1;
    QString said; // standard error
};

SRun Run(const QString& program, const QStringList& arguments, const QByteArray& input = {},
         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("did not end")};
    }
    const QString said =
        QString::fromLocal8Bit(process.readAllStandardError() + process.readAllStandardOutput());
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, said};
}

// A valid request with changes: "key=value" replaces or adds the key's line,
// "+line" adds a line, "-key" drops the key's line; "op=remove" keeps op and entry.
QByteArray Request(const QStringList& changes)
{
    QStringList lines =
        QStringLiteral("op=write entry=Cable device=/dev/ttyS0 speed=115200 modem=0 "
                       "phone= init= user= local= flow=crtscts password=")
            .split(u' ');
    for (const QString& change : changes) {
        const QString key = change.section(u'=', 0, 0);
        const qsizetype at = lines.indexOf(QRegularExpression(
            QRegularExpression::escape(change.startsWith(u'-') ? key.mid(1) : key) + "=.*"));
        if (change == QStringLiteral("op=remove"))
            lines = {change, lines.at(1)};
        else if (change.startsWith(u'+') || at < 0)
            lines << (change.startsWith(u'+') ? change.mid(1) : change);
        else if (change.startsWith(u'-'))
            lines.removeAt(at);
        else
            lines[at] = change;
    }
    return (lines.join(u'\n') + u'\n').toUtf8();
}

// A peers folder with one entry ("Existing"), a link in an entry's place
// ("Linked", to a file outside), and a secrets folder.
class HelperKit final {
    QTemporaryDir m_dir;

public:
    HelperKit()
    {
        QDir().mkpath(Peers());
        QDir().mkpath(Secrets());
        TestFiles::Write(Peers() + "/Existing", "/dev/ttyS1\n9600\nlocal\nuser \"field\"\n");
        TestFiles::Write(Outside(), "not an entry\n");
        QFile::link(Outside(), Peers() + "/Linked");
    }
    QString Peers() const { return m_dir.filePath("peers"); }
    QString Secrets() const { return m_dir.filePath("ppp"); }
    QString Outside() const { return m_dir.filePath("outside"); }
    QStringList Folders() const { return {"--peers", Peers(), "--secrets", Secrets()}; }
    SRun Helper(const QStringList& changes) const
    {
        return Run(kHelper, Folders(), Request(changes));
    }
    QString Entry(const QString& name) const { return TestFiles::ReadText(Peers() + u'/' + name); }
    QString Secret(const QString& file) const
    {
        return TestFiles::ReadText(Secrets() + u'/' + file);
    }
};

} // namespace

class tst_PeersHelper final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(QFileInfo(kHelper).isExecutable(), qPrintable(kHelper)); }

    void cleanupTestCase()
    {
        if (!m_dipUser.isEmpty())
            Run(QStringLiteral("userdel"), {m_dipUser});
    }

    // Every field is checked again by the helper (once each here: the variants
    // are tst_CPeerEntry's); a request it does not take changes nothing, and it
    // says why on one line.
    void requests_data()
    {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("a cable entry") << QStringList{} << 0 << "";
        QTest::newRow("a modem entry with a password")
            << QStringList{"modem=1", "phone=*99#", "init=AT&F", "user=field", "password=pw 1"} << 0
            << "";
        QTest::newRow("name with a folder") << QStringList{"entry=../x"} << 2 << "Enter a name";
        QTest::newRow("device and an option")
            << QStringList{"device=/dev/ttyS0 nodetach"} << 2 << "serial device";
        QTest::newRow("speed off the list") << QStringList{"speed=12345"} << 2 << "speed";
        QTest::newRow("speed no number") << QStringList{"speed=fast"} << 1 << "speed, modem";
        QTest::newRow("line neither") << QStringList{"modem=2"} << 1 << "speed, modem";
        QTest::newRow("flow unknown") << QStringList{"flow=rtscts"} << 1 << "speed, modem";
        QTest::newRow("number with a command")
            << QStringList{"modem=1", "phone=1' ; reboot '"} << 2 << "phone number";
        QTest::newRow("init with a quote")
            << QStringList{"modem=1", "phone=1", "init=AT'"} << 2 << "init string";
        QTest::newRow("control character in an unused number")
            << QStringList{"phone=1\r"} << 2 << "control characters";
        QTest::newRow("user with a quote") << QStringList{"user=a\"b"} << 2 << "user name";
        QTest::newRow("local address") << QStringList{"local=10.0.0.256"} << 2 << "IPv4";
        QTest::newRow("password without user") << QStringList{"password=pw"} << 2 << "user name";
        QTest::newRow("password with DEL")
            << QStringList{"user=u", "password=p\x7f"} << 2 << "password";
        QTest::newRow("unknown key") << QStringList{"+debug=1"} << 1 << "no known key";
        QTest::newRow("no key=value") << QStringList{"+nodetach"} << 1 << "no known key";
        QTest::newRow("key twice") << QStringList{"+entry=Other"} << 1 << "given twice";
        QTest::newRow("key missing") << QStringList{"-flow"} << 1 << "flow is missing";
        QTest::newRow("no operation") << QStringList{"op=rename"} << 1 << "op (create";
        QTest::newRow("remove with fields")
            << QStringList{"op=remove", "+device=/dev/ttyS0"} << 1 << "op and entry only";
        QTest::newRow("create over an entry")
            << QStringList{"op=create", "entry=Existing"} << 3 << "already exists";
        QTest::newRow("remove what is not there")
            << QStringList{"op=remove", "entry=Nothing"} << 4 << "no entry named";
        QTest::newRow("write through a link")
            << QStringList{"entry=Linked"} << 5 << "not an ordinary file";
    }
    void requests()
    {
        QFETCH(QStringList, changes);
        QFETCH(int, status);
        QFETCH(QString, says);
        const HelperKit kit;
        const SRun run = kit.Helper(changes);
        QCOMPARE(run.status, status);
        if (status == 0) {
            QVERIFY(run.said.isEmpty());
            QVERIFY(kit.Entry("Cable").contains("\n/dev/ttyS0\n115200\n"));
        } else {
            QVERIFY2(run.said.startsWith("pelion-peers-helper: ") && run.said.count(u'\n') == 1
                         && run.said.contains(says),
                     qPrintable(run.said));
            QCOMPARE(QDir(kit.Peers()).entryList(QDir::Files | QDir::System | QDir::Hidden),
                     (QStringList{"Existing", "Linked"}));
        }
        QCOMPARE(TestFiles::ReadText(kit.Outside()), "not an entry\n");
        QVERIFY(kit.Entry("Existing").startsWith("/dev/ttyS1\n"));
    }

    void foldersRefusedWhenStartedWithRaisedRights()
    {
        const HelperKit kit;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PKEXEC_UID"), QStringLiteral("1000"));
        const SRun run = Run(kHelper, kit.Folders(), Request({}), environment);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.said.contains("raised rights"), qPrintable(run.said));
        QVERIFY(!QFile::exists(kit.Peers() + "/Cable"));
    }

    // The user's line in both secrets files: added, replaced where it stood,
    // removed with the last entry that logs in as that user; no other line
    // changes. "<none>": no file.
    void secrets_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("after");
        const QStringList set{"user=field", "password=n\"ew\\"};
        const QString line = QStringLiteral("\"field\" * \"n\\\"ew\\\\\"\n");
        const QStringList remove{"op=remove", "entry=Existing"};
        QTest::newRow("added to no file") << "<none>" << set << line;
        QTest::newRow("added after the others") << "# clients\nother * pw1\n"
                                                << set << "# clients\nother * pw1\n" + line;
        QTest::newRow("added after a last line without break")
            << "other * pw1" << set << "other * pw1\n" + line;
        QTest::newRow("replaced where it stood") << "a * x\nfield * old 10.0.0.1\n# end\n"
                                                 << set << "a * x\n" + line + "# end\n";
        QTest::newRow("quoted name matched, repeats dropped")
            << "\"field\" * old\nb * y\nfield\t*\tolder\n"
            << set << line + "b * y\n";
        QTest::newRow("another server and a comment left alone")
            << "field equipment x\n# field * x\n"
            << set << "field equipment x\n# field * x\n" + line;
        QTest::newRow("no password, no change") << "field * old\n"
                                                << QStringList{"user=field"} << "field * old\n";
        QTest::newRow("removed with its entry") << "a * x\nfield * old\n# end\n"
                                                << remove << "a * x\n# end\n";
        QTest::newRow("removed: no file made") << "<none>" << remove << "<none>";
        QStringList stillUsed = remove;
        stillUsed.replace(1, "entry=Second");
        QTest::newRow("kept while another entry logs in with it") << "field * old\n"
                                                                  << stillUsed << "field * old\n";
    }
    void secrets()
    {
        QFETCH(QString, before);
        QFETCH(QStringList, changes);
        QFETCH(QString, after);
        const HelperKit kit;
        if (changes.contains("entry=Second")) // Existing logs in as the same user
            QVERIFY(QFile::copy(kit.Peers() + "/Existing", kit.Peers() + "/Second"));
        for (const QString& file : kSecretsFiles) {
            if (before != "<none>")
                QVERIFY(TestFiles::WriteText(kit.Secrets() + u'/' + file, before));
        }
        const SRun run = kit.Helper(changes);
        QVERIFY2(run.status == 0, qPrintable(run.said));
        for (const QString& file : kSecretsFiles) {
            QCOMPARE(QFile::exists(kit.Secrets() + u'/' + file), after != "<none>");
            if (after != "<none>")
                QCOMPARE(kit.Secret(file), after);
        }
    }

    // A reader never sees half a file while the helper replaces it again
    // and again; nothing is left beside the entry.
    void atomicReplacement()
    {
        const HelperKit kit;
        QCOMPARE(kit.Helper({"speed=9600"}).status, 0);
        const QString slow = kit.Entry("Cable");
        QCOMPARE(kit.Helper({"speed=115200"}).status, 0);
        const QString fast = kit.Entry("Cable");
        QVERIFY(slow != fast);

        std::atomic<bool> done{false};
        std::atomic<int> reads{0};
        std::atomic<int> torn{0};
        const QString path = kit.Peers() + "/Cable";
        std::thread reader([&] {
            for (int i = 0; i < 1000000 && !done; ++i) {
                const QString text = TestFiles::ReadText(path);
                ++reads;
                if (text != slow && text != fast)
                    ++torn;
            }
        });
        for (int i = 0; i < 20; ++i)
            QCOMPARE(kit.Helper({i % 2 ? "speed=115200" : "speed=9600"}).status, 0);
        done = true;
        reader.join();
        QVERIFY(reads > 0);
        QCOMPARE(torn.load(), 0);
        QCOMPARE(QDir(kit.Peers()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 (QStringList{"Cable", "Existing", "Linked"}));
    }

    void modesAndOwners()
    {
        if (!IsRunningAsRoot())
            QSKIP("owners can be set by root only");
        const HelperKit kit;
        QCOMPARE(kit.Helper({"user=field", "password=pw"}).status, 0);
        const QFileInfo entry(kit.Peers() + "/Cable");
        QCOMPARE(entry.owner() + ':' + entry.group(), QStringLiteral("root:dip"));
        QCOMPARE(entry.permissions() & 0x0777,
                 QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
        for (const QString& file : kSecretsFiles) {
            const QFileInfo secrets(kit.Secrets() + u'/' + file);
            QCOMPARE(secrets.owner() + ':' + secrets.group(), QStringLiteral("root:root"));
            QCOMPARE(secrets.permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
        }
    }

    // What the helper writes into pppd's own peers folder is taken by the
    // real pppd, started as a member of dip: "pppd call" gets past every
    // option check (status 2 would be an option error) to the kernel's PPP
    // support, which this machine lacks (status 4).
    void realPppdTakesTheEntry_data()
    {
        QTest::addColumn<QStringList>("changes");
        QTest::newRow("cable, RTS/CTS") << QStringList{"flow=crtscts"};
        QTest::newRow("cable, three wires") << QStringList{"flow=nocrtscts", "local=10.0.0.1"};
        QTest::newRow("cable, XON/XOFF") << QStringList{"flow=xonxoff", "user=eng one"};
        QTest::newRow("modem") << QStringList{"modem=1", "phone=0049 (89) 1234-5", "init=AT&F E0",
                                              "user=field"};
    }
    void realPppdTakesTheEntry()
    {
        QFETCH(QStringList, changes);
        const QString pppd = QStringLiteral("/usr/sbin/pppd");
        if (!IsRunningAsRoot())
            QSKIP("writing pppd's peers folder and making a user need root");
        if (!QFileInfo(pppd).isExecutable() || !QFileInfo::exists("/etc/ppp/peers"))
            QSKIP("no pppd here");
        if (QFileInfo::exists("/dev/ppp"))
            QSKIP("this kernel has PPP: pppd would go on to open the device");
        for (const char* tool : {"useradd", "userdel", "setpriv"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QString::fromLatin1(tool) + " is missing"));
        }
        if (m_dipUser.isEmpty()) {
            const QString user =
                QStringLiteral("pelpeer%1").arg(QCoreApplication::applicationPid());
            const SRun added = Run(QStringLiteral("useradd"),
                                   {"-M", "-N", "-G", "dip", "-s", "/usr/sbin/nologin", user});
            QVERIFY2(added.status == 0, qPrintable(added.said));
            m_dipUser = user;
        }
        const QString entry =
            QStringLiteral("pelion-test-%1").arg(QCoreApplication::applicationPid());
        const SRun written = Run(kHelper, {}, Request(QStringList{"entry=" + entry} + changes));
        const auto leftover = qScopeGuard([&entry] { QFile::remove("/etc/ppp/peers/" + entry); });
        QVERIFY2(written.status == 0, qPrintable(written.said));
        const SRun dialled =
            Run(QStringLiteral("setpriv"), {"--reuid=" + m_dipUser, "--regid=dip", "--init-groups",
                                            pppd, "call", entry, "nodetach"});
        const SRun removed = Run(kHelper, {}, Request({"op=remove", "entry=" + entry}));
        QCOMPARE(removed.status, 0);
        QVERIFY(!QFile::exists("/etc/ppp/peers/" + entry));
        QVERIFY2(dialled.status == 4 && dialled.said.contains("/dev/ppp"),
                 qPrintable(dialled.said));
    }

    // An ordinary user's editor asks the helper through the runner (here a
    // script in pkexec's place) and closes once it is written; without a
    // runner, or with an answer no, it says what happened and keeps every
    // field. The password reaches the secrets files only.
    void editorThroughTheHelper_data()
    {
        QTest::addColumn<QString>("runner");
        QTest::addColumn<bool>("hiddenEntry"); // there, but not in the folder this user reads
        QTest::addColumn<QString>("says");
        QTest::newRow("written") << "#!/bin/sh\nexec \"$@\"\n" << false << "";
        QTest::newRow("the administrator says no")
            << "#!/bin/sh\ncat >/dev/null\nexit 126\n"
            << false << "The entry 'Field' cannot be saved: an administrator's password is needed";
        QTest::newRow("no pkexec")
            << "" << false << "The entry 'Field' cannot be saved: this system has no pkexec to ask";
        QTest::newRow("the helper refuses")
            << "#!/bin/sh\nexec \"$@\"\n"
            << true << "saved: An entry named 'Field' already exists.\nYour";
        QTest::newRow("pkexec that cannot start") << "#!/nonexistent/sh\n"
                                                  << false << "runner cannot be started to ask";
    }
    void editorThroughTheHelper()
    {
        QFETCH(QString, runner);
        QFETCH(bool, hiddenEntry);
        QFETCH(QString, says);
        const HelperKit kit;
        QTemporaryDir seen;
        SPeerWriterOptions writer;
        writer.peersFolder = hiddenEntry ? seen.path() : kit.Peers();
        writer.secretsFolder = kit.Secrets();
        writer.direct = false;
        writer.runner = seen.filePath("runner");
        if (!runner.isEmpty())
            QVERIFY(TestFiles::WriteScript(writer.runner, runner.toUtf8()));
        writer.helper = kHelper;
        writer.helperArguments = kit.Folders();
        if (hiddenEntry)
            QVERIFY(QFile::copy(kit.Peers() + "/Existing", kit.Peers() + "/Field"));
        const QString before = kit.Entry("Field");

        CMessageCapture messages;
        FEntryEditor editor(writer, QString(), nullptr, seen.path());
        editor.show();
        editor.txtName()->setText("Field");
        editor.cboDevice()->setCurrentText("/dev/ttyS0");
        editor.cboFlowControl()->setCurrentIndex(int(EFlowControl::Software));
        editor.txtUser()->setText("field");
        const QString password = QStringLiteral("Pa55-word");
        editor.txtPassword()->setText(password);
        QSignalSpy saved(&editor, &FEntryEditor::Saved);
        QTest::mouseClick(editor.cmdOk(), Qt::LeftButton);
        QVERIFY(saved.count() == 1 || saved.wait(20000));
        QCOMPARE(saved.at(0).at(0).toBool(), says.isEmpty());
        QCOMPARE(editor.isVisible(), !says.isEmpty());
        const QString entry = kit.Entry("Field");
        QVERIFY(!entry.contains(password));
        for (const QString& text : messages.Texts())
            QVERIFY(!text.contains(password));
        if (says.isEmpty()) {
            QVERIFY(messages.Shown().isEmpty());
            QVERIFY(entry.contains("\nxonxoff\n"));
            QCOMPARE(kit.Secret("pap-secrets"), "\"field\" * \"" + password + "\"\n");
            return;
        }
        QCOMPARE(messages.Shown().size(), 1);
        QVERIFY2(messages.Texts().at(0).contains(says), qPrintable(messages.Texts().at(0)));
        QCOMPARE(entry, before);
        QVERIFY(!QFile::exists(kit.Secrets() + "/pap-secrets"));
        QCOMPARE(editor.txtPassword()->text() + editor.txtUser()->text(), password + "field");
        QVERIFY(editor.cmdOk()->isEnabled());
        if (says.endsWith("to ask")) // what an administrator must write
            QVERIFY(messages.Texts().at(0).contains(kit.Peers() + "/Field (owner root, group dip"));
    }

private:
    QString m_dipUser;
};

QTEST_MAIN(tst_PeersHelper)
#include "tst_PeersHelper.moc"
