#include "platform/hostaddr/MHostAddresses.h"
#include "tests/platform/TestNamespaces.h"

#include <QtTest>

#include <sched.h>

// Runs in a network namespace of its own, where the test decides which
// interfaces exist and which are up.
class tst_MHostAddresses final : public QObject {
    Q_OBJECT

private slots:
    void upInterfacesWithoutLoopback()
    {
        if (::unshare(CLONE_NEWNET) != 0)
            QSKIP("no network namespace of our own (unshare refused)");
        if (!CTestNamespaces::Ip({"tuntap", "add", "dev", "eq0", "mode", "tun"}))
            QSKIP("no tun interface can be made here");
        QVERIFY(GetLocalAddresses().isEmpty()); // only a loopback, down
        // One step after the other, and the addresses that are listed then.
        const std::pair<const char*, QStringList> steps[] = {
            {"link set lo up", {}},                 // loopback left out
            {"addr add 10.201.0.1/24 dev eq0", {}}, // its interface is down
            {"link set eq0 up", {"10.201.0.1"}},
            {"addr add 10.202.0.7/16 dev eq0", {"10.201.0.1", "10.202.0.7"}},
            {"addr add fd00::7/64 dev eq0", {"10.201.0.1", "10.202.0.7"}}, // IPv4 only
            {"link set eq0 down", {}},
        };
        for (const auto& [step, addresses] : steps) {
            QVERIFY2(CTestNamespaces::Ip(QString(step).split(' ')), step);
            QCOMPARE(GetLocalAddresses(), addresses);
        }
    }
};

QTEST_GUILESS_MAIN(tst_MHostAddresses)
#include "tst_MHostAddresses.moc"
