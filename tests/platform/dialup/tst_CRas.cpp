#include "common/CRaisedError.h"
#include "platform/dialup/CRas.h"
#include "platform/dialup/MRasApi.h"
#include "tests/kit/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

constexpr int kEndTimeoutMs = 15000;
const SRasOptions kStandIn{QStringLiteral(PPPD_STANDIN), 200};
const QString kRealPppd = QStringLiteral("/usr/sbin/pppd");

// A throwaway user and its peers file, both gone with this object.
struct SThrowaway {
    explicit SThrowaway(QString name) : user(std::move(name)) {}
    ~SThrowaway()
    {
        if (!entryPath.isEmpty())
            QFile::remove(entryPath);
        if (added)
            QProcess::execute(QStringLiteral("userdel"), {user});
    }
    bool AddUser(bool inDialUpGroup)
    {
        QStringList args{"-M", "-N", "-s", "/usr/sbin/nologin", user};
        if (inDialUpGroup)
            args.prepend(QStringLiteral("-G") + kDialUpGroup);
        return added = QProcess::execute("useradd", args) == 0;
    }
    // Mode 0640 root:dip, as an administrator's entries are.
    bool WriteEntry(const QString& entry, const QString& device, gid_t dialUpGroup)
    {
        entryPath = PhonebookPath() + u'/' + entry;
        return TestFiles::Write(entryPath, device.toLatin1()
                                               + "\n115200\nlocal\nnoauth\nmaxfail 1\n"
                                                 "lcp-max-configure 2\nlcp-restart 1\n")
               && ::chown(QFile::encodeName(entryPath).constData(), 0, dialUpGroup) == 0
               && QFile::setPermissions(entryPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                       | QFileDevice::ReadGroup);
    }
    QString user;
    QString entryPath;
    bool added = false;
};

// The other half of realPppdAsAUser, run as the throwaway user: a dial
// ("NUMBER up|down", then the description) or a look-up of the entry.
int AsUser(const QStringList& args)
{
    QTextStream out(stdout);
    const QString action = args.value(0), entry = args.value(2);
    if (action == QLatin1String("lookup")) {
        const char* const names[] = {"found", "missing", "unreadable"};
        out << names[int(LookUpRasEntry(entry))] << '\n';
        return 0;
    }
    CRas ras(nullptr, {args.value(1), 2000});
    SRasError error;
    bool up = false;
    QEventLoop loop;
    QObject::connect(&ras, &CRas::RasStateChanged, &loop, [&] {
        up = up || ras.RasState() == qint32(ERasState::Connected);
        if (ras.RasState() == qint32(ERasState::Disconnected))
            loop.quit(); // after the error that follows at once
    });
    QObject::connect(&ras, &CRas::RasError, &loop, [&](qint32 number, const QString& text) {
        error = {number, text};
    });
    QTimer::singleShot(kEndTimeoutMs, &ras, &CRas::HangUp);
    ras.Dial(entry);
    loop.exec();
    out << error.number << (up ? " up" : " down") << '\n' << error.description << '\n';
    return 0;
}

// A dial of a stand-in scenario; at the state "at" (0: never) the test hangs
// up ('h') or kills pppd ('k'). "status": the pppd status whose meaning the
// error's description must carry.
struct SDial {
    const char* name;
    const char* entry;
    int at;
    char act;
    const char* events;
    int status = -1;
};
const SDial kDials[] = {
    {"fails before the link is up", "no-device", 0, ' ', "S2 S8193 E20651", 7},
    {"up, then the modem hangs up", "modem-ok", 0, ' ', "S2 S3 S5 S14 S8192 S8198 S8193 E20651",
     16},
    {"hung up while up", "modem-ok", 8192, 'h', "S2 S3 S5 S14 S8192 S8198 S8193"},
    {"hung up while dialling: cancelled", "dial-hangs", 3, 'h', "S2 S3 S8198 S8193 E21301"},
    {"deaf to SIGTERM while up: killed", "stubborn", 8192, 'h', "S2 S3 S8192 S8198 S8193"},
    {"deaf while dialling", "stubborn-dial", 3, 'h', "S2 S3 S8198 S8193 E21301"},
    {"killed from outside while up", "direct-ok", 8192, 'k', "S2 S3 S8192 S8193 E21302"},
};

} // namespace

// What the control adds to pppd's log and status tables (tst_DialupFiles'):
// the process, the order of its events, the handle and the own link.
class tst_CRas final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("PPPD_STANDIN_PAUSE", "0.02");
        qputenv("PPPD_STANDIN_HOLD", "20");
    }

    // Every pppd ends with one Disconnected, then the error if the end was
    // one; Closing comes at once on a hang-up, a second one changes nothing.
    // A bad entry name is refused, and so is a second link.
    void dialAndItsEnd_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(kDials)); ++row)
            QTest::newRow(kDials[row].name) << row;
    }
    void dialAndItsEnd()
    {
        QFETCH(int, row);
        const SDial& dial = kDials[row];
        if (dial.at == 0)
            qputenv("PPPD_STANDIN_HOLD", "0.1");
        CRas ras(nullptr, kStandIn);
        Record(ras);
        // SECURITY: what is no entry name never reaches pppd's command line.
        QVERIFY_THROWS_EXCEPTION(CRaisedError, ras.Dial(QStringLiteral("../x")));
        ras.Dial(QString::fromLatin1(dial.entry));
        QVERIFY(m_events.isEmpty()); // Dial returns before anything is reported
        if (dial.at != 0) {
            QTRY_VERIFY_WITH_TIMEOUT(Saw(dial.at), kEndTimeoutMs);
            QVERIFY_THROWS_EXCEPTION(CRaisedError, ras.Dial(QStringLiteral("modem-ok")));
            QVERIFY(ras.RasConnHandle() > 0);
            QCOMPARE(ras.Entry(), dial.entry);
            QCOMPARE(ras.RemoteAddress(), dial.at == 8192 ? "127.0.0.2" : "");
        }
        if (dial.act == 'k')
            QCOMPARE(::kill(static_cast<pid_t>(ras.RasConnHandle()), SIGKILL), 0);
        if (dial.act == 'h') {
            ras.HangUp();
            QCOMPARE(m_events.last(), QStringLiteral("S8198"));
            ras.HangUp();
        }
        const QStringList events = QString::fromLatin1(dial.events).split(u' ');
        QTRY_VERIFY_WITH_TIMEOUT(Saw(8193) && m_events.size() >= events.size(), kEndTimeoutMs);
        QCOMPARE(m_events, events);
        if (dial.status >= 0)
            QVERIFY(
                m_descriptions.value(0).startsWith(ErrorOfPppdExitStatus(dial.status).description));
        QCOMPARE(ras.RasState(), 8193);
        QCOMPARE(ras.RasConnHandle(), 0);
        QVERIFY(ras.Entry().isEmpty() && ras.RemoteAddress().isEmpty());
    }

    // A pppd that is not there, or that this user may not run (Debian lets
    // only the dial-up group run it), is said as such; hang-up still ends.
    void pppdThatCannotRun_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("event");
        QTest::newRow("not installed") << false << "E21303";
        QTest::newRow("not executable for this user") << true << "E21304";
    }
    void pppdThatCannotRun()
    {
        QFETCH(bool, present);
        QFETCH(QString, event);
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("pppd"));
        QVERIFY(!present || TestFiles::Write(program, "#!/bin/sh\n")); // no execute bit
        CRas ras(nullptr, {program, 1000});
        Record(ras);
        ras.Dial(QStringLiteral("TarnDirectPPP"));
        QTRY_COMPARE(m_events, (QStringList{"S8193", event}));
        if (present)
            QCOMPARE(m_descriptions.at(0), NotInDialUpGroupText(DialUpUserName()));
        else
            QVERIFY(m_descriptions.at(0).contains("not installed")
                    && m_descriptions.at(0).contains("ppp package"));
        ras.HangUp(); // with nothing running it still reports the end, later
        QCOMPARE(m_events.size(), 2);
        QTRY_COMPARE(m_events, (QStringList{"S8193", event, "S8193"}));
        ras.Dial(QStringLiteral("TarnDirectPPP")); // the control is free again
        QTRY_COMPARE(m_events.size(), 5);
    }

    // Debian's own pppd run by throwaway users, one in the dial-up group and
    // one outside it, against entries written into the system's peers folder
    // (an empty device: no entry file). The dial runs in this program started
    // again as that user ("--as-user", see main); "result" is the first line
    // it writes (a dial's error number and whether the link came up, or the
    // look-up's result), "description" the dial's error text. "any": not the
    // options error, for a kernel with PPP, where pppd goes on to the line.
    void realPppdAsAUser_data()
    {
        QTest::addColumn<QString>("user");   // "+" or "-" (in the group or not), its name
        QTest::addColumn<QString>("action"); // dial, dial-standin (direct-ok) or lookup
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("description");
        int row = 0;
        const auto user = [&row](char group) {
            return group + QStringLiteral("pelt%1x%2").arg(::getpid()).arg(row++);
        };
        const auto add = [](const char* name, const QString& user, const char* action,
                            const char* device, const char* result, const QString& description) {
            QTest::newRow(name) << user << action << device << result << description;
        };
        const bool kernelPpp = QFile::exists(QStringLiteral("/dev/ppp"));
        add("device present: past the option checks", user('+'), "dial", "/dev/ttyS0",
            kernelPpp ? "any" : "21004 down", kernelPpp ? "" : "The kernel does not support PPP.");
        add("absent device: check cable", user('+'), "dial", "/dev/ttyUSB9", "20651 down",
            "The serial device of the entry is missing or in use.\n"
            "In file /etc/ppp/peers/@: unrecognized option '/dev/ttyUSB9'");
        const QString outsider = user('-');
        add("outside the group: told so", outsider, "dial", "/dev/ttyS0", "21304 down",
            NotInDialUpGroupText(outsider.mid(1)));
        add("stand-in as a group member: nothing privileged asked", user('+'), "dial-standin", "",
            "0 up", "");
        add("group member: entry found", user('+'), "lookup", "/dev/ttyS0", "found", "");
        add("group member: entry missing", user('+'), "lookup", "", "missing", "");
        add("outside the group: phonebook unreadable", user('-'), "lookup", "/dev/ttyS0",
            "unreadable", "");
    }
    void realPppdAsAUser()
    {
        QFETCH(QString, user);
        QFETCH(QString, action);
        QFETCH(QString, device);
        QFETCH(QString, result);
        QFETCH(QString, description);
        if (::geteuid() != 0)
            QSKIP("throwaway users and system peers files need root");
        const group* dialUp = ::getgrnam(kDialUpGroup);
        if (!dialUp || !QFileInfo(kRealPppd).isFile()
            || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("needs Debian's pppd (package ppp), its group dip and setpriv");
        if (device == QLatin1String("/dev/ttyS0") && !QFile::exists(device))
            QSKIP("this machine has no /dev/ttyS0");
        SThrowaway made(user.mid(1));
        QVERIFY2(made.AddUser(user.startsWith(u'+')), "useradd refused");
        const QString entry = QStringLiteral("pelion-test-") + made.user;
        if (!device.isEmpty())
            QVERIFY(made.WriteEntry(entry, device, dialUp->gr_gid));
        const passwd* account = ::getpwnam(qPrintable(made.user));
        QVERIFY(account);

        QProcess helper;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PPPD_STANDIN_SCENARIO", "direct-ok");
        environment.insert("PPPD_STANDIN_HOLD", "0.1");
        helper.setProcessEnvironment(environment);
        helper.start("setpriv", {QStringLiteral("--reuid=%1").arg(account->pw_uid),
                                 QStringLiteral("--regid=%1").arg(account->pw_gid), "--init-groups",
                                 "--", QCoreApplication::applicationFilePath(), "--as-user", action,
                                 action == "dial-standin" ? PPPD_STANDIN : kRealPppd, entry});
        QVERIFY(helper.waitForFinished(kEndTimeoutMs + 5000));
        if (helper.exitCode() == 126 || helper.exitCode() == 127)
            QSKIP("the throwaway user cannot run this test program where it lies");
        const QString output = QString::fromLocal8Bit(helper.readAllStandardOutput()).trimmed();
        qInfo("%s", qPrintable(output));
        if (result == QLatin1String("any"))
            QVERIFY(!output.startsWith(QLatin1String("21002 ")));
        else
            QCOMPARE(output.section(u'\n', 0, 0), result);
        if (!description.isEmpty())
            QCOMPARE(output.section(u'\n', 1), description.replace(u'@', entry));
    }

    // The own link joins those the sources named before; it goes, and its
    // pppd ends, with the control.
    void ownLinkCountsWhileTheControlLives()
    {
        QTemporaryDir noProcesses;
        SRasLinkSources sources;
        sources.procFolder = sources.runFolder = noProcesses.path();
        sources.ownLinks = [] { return QList<SOwnLink>{{4242, QStringLiteral("Other"), {}}}; };
        qint64 handle = 0;
        {
            CRas ras(nullptr, kStandIn);
            ras.AddOwnLinkTo(sources);
            Record(ras);
            ras.Dial(QStringLiteral("direct-ok"));
            QTRY_VERIFY_WITH_TIMEOUT(Saw(8192), kEndTimeoutMs);
            QCOMPARE(FindRasConnection(QStringLiteral("direct-ok"), handle, sources), 2);
            QCOMPARE(handle, ras.RasConnHandle());
        }
        QCOMPARE(FindRasConnection(QStringLiteral("direct-ok"), handle, sources), 1);
        QCOMPARE(::kill(static_cast<pid_t>(handle), 0), -1); // no such process
    }

private:
    // Writes down what the control reports, in order: "S<state>" for each
    // state change (the state read in the handler), "E<number>" for each error.
    void Record(CRas& ras)
    {
        m_events.clear();
        m_descriptions.clear();
        connect(&ras, &CRas::RasStateChanged, &ras,
                [this, &ras] { m_events << QStringLiteral("S%1").arg(ras.RasState()); });
        connect(&ras, &CRas::RasError, &ras, [this](qint32 number, const QString& description) {
            m_events << QStringLiteral("E%1").arg(number);
            m_descriptions << description;
        });
    }
    bool Saw(int state) const { return m_events.contains(QStringLiteral("S%1").arg(state)); }

    QStringList m_events;
    QStringList m_descriptions;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--as-user") == 0)
        return AsUser(app.arguments().mid(2));
    tst_CRas test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_CRas.moc"
