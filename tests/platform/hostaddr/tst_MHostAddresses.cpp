#include "platform/hostaddr/MHostAddresses.h"
#include "tests/platform/TestNamespaces.h"

#include <QtTest>

#include <sched.h>

// Runs in a network namespace of its own, where the test decides which
// interfaces exist and which are up.
class tst_MHostAddresses final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (::unshare(CLONE_NEWNET) != 0)
            QSKIP("no network namespace of our own (unshare refused)");
        if (!Ip({"tuntap", "add", "dev", "eq0", "mode", "tun"}))
            QSKIP("no tun interface can be made here");
    }

    void upInterfacesWithoutLoopback()
    {
        QVERIFY(GetLocalAddresses().isEmpty()); // only a loopback, down

        QVERIFY(Ip({"link", "set", "lo", "up"}));
        QVERIFY(GetLocalAddresses().isEmpty()); // loopback left out

        QVERIFY(Ip({"addr", "add", "10.201.0.1/24", "dev", "eq0"}));
        QVERIFY(GetLocalAddresses().isEmpty()); // its interface is down

        QVERIFY(Ip({"link", "set", "eq0", "up"}));
        QCOMPARE(GetLocalAddresses(), QStringList{"10.201.0.1"});

        QVERIFY(Ip({"addr", "add", "10.202.0.7/16", "dev", "eq0"}));
        QVERIFY(Ip({"addr", "add", "fd00::7/64", "dev", "eq0"}));
        QCOMPARE(GetLocalAddresses(), (QStringList{"10.201.0.1", "10.202.0.7"})); // IPv4 only

        QVERIFY(Ip({"link", "set", "eq0", "down"}));
        QVERIFY(GetLocalAddresses().isEmpty());
    }

private:
    static bool Ip(const QStringList& args) { return CTestNamespaces::Ip(args); }
};

QTEST_GUILESS_MAIN(tst_MHostAddresses)
#include "tst_MHostAddresses.moc"
