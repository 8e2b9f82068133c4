#include "common/CRaisedError.h"
#include "platform/dialup/CRas.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kEndTimeoutMs = 15000;
const SRasOptions kStandIn{QStringLiteral(PPPD_STANDIN), 200};

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
            QCOMPARE(m_descriptions.value(0), ErrorOfPppdExitStatus(dial.status).description);
        QCOMPARE(ras.RasState(), 8193);
        QCOMPARE(ras.RasConnHandle(), 0);
        QVERIFY(ras.Entry().isEmpty() && ras.RemoteAddress().isEmpty());
    }

    void missingPppdIsSaidClearlyAndHangUpStillEnds()
    {
        QTemporaryDir empty;
        CRas ras(nullptr, {empty.filePath(QStringLiteral("pppd")), 1000});
        Record(ras);
        ras.Dial(QStringLiteral("TarnDirectPPP"));
        QTRY_COMPARE(m_events, (QStringList{"S8193", "E21303"}));
        QVERIFY(m_descriptions.at(0).contains("not installed")
                && m_descriptions.at(0).contains("ppp package"));
        ras.HangUp(); // with nothing running it still reports the end, later
        QCOMPARE(m_events.size(), 2);
        QTRY_COMPARE(m_events, (QStringList{"S8193", "E21303", "S8193"}));
        ras.Dial(QStringLiteral("TarnDirectPPP")); // the control is free again
        QTRY_COMPARE(m_events.size(), 5);
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

QTEST_GUILESS_MAIN(tst_CRas)
#include "tst_CRas.moc"
