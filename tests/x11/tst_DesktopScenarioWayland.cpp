// The console on a Wayland desktop (run_on_sway.sh --tray: headless sway, swaybar's tray on a
// session bus of its own): the compositor's close puts the window away, the tray brings it back
// and ends the program. The test itself needs no display: it sees the desktop through swaymsg,
// the session bus through gdbus, and keeps a picture taken with grim in $PELION_ARTEFACTS.

#include "tests/console/PelionProcessKit.h"
#include "tests/x11/CNotifierWatcher.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QtTest>

namespace {

constexpr int kStartMs = 60000;
constexpr int kDesktopMs = 20000;

const QString kMainTitle =
    QStringLiteral("Pelion Console ver. %1a").arg(QLatin1String(PELION_TEST_PROJECT_VERSION));

// What swaymsg prints; empty when it failed.
QByteArray Swaymsg(const QStringList& arguments)
{
    QProcess swaymsg;
    swaymsg.start(QStringLiteral("swaymsg"), arguments);
    if (!swaymsg.waitForFinished(10000) || swaymsg.exitCode() != 0)
        return {};
    return swaymsg.readAllStandardOutput();
}

void CollectTitles(const QJsonObject& node, qint64 processId, QStringList& titles)
{
    if (node.value(QStringLiteral("pid")).toInteger() == processId)
        titles << node.value(QStringLiteral("name")).toString();
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue child : node.value(QLatin1String(children)).toArray())
            CollectTitles(child.toObject(), processId, titles);
}

// The titles of the process's windows in the compositor's tree.
QStringList WindowTitles(qint64 processId)
{
    QStringList titles;
    const QJsonDocument tree = QJsonDocument::fromJson(
        Swaymsg({QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")}));
    CollectTitles(tree.object(), processId, titles);
    return titles;
}

} // namespace

class tst_DesktopScenarioWayland final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("SWAYSOCK").isEmpty()
            || qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").isEmpty())
            QSKIP("Needs sway with a tray on a session bus: run through run_on_sway.sh --tray.");
    }

    void cleanup() { EndProcess(m_pelion); }

    void waylandDesktop()
    {
        CPelionHome home;
        home.WriteBook(1);
        QProcessEnvironment environment = home.Environment(QStringLiteral("messages"));
        QCOMPARE(environment.value(QStringLiteral("QT_QPA_PLATFORM")), QStringLiteral("wayland"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        StartPelion(m_pelion, environment);
        const qint64 pid = m_pelion.processId();
        QTRY_VERIFY_WITH_TIMEOUT(WindowTitles(pid).contains(kMainTitle), kStartMs);

        // The title as a pattern that matches it alone: its dots taken literally.
        const QString title = QString(kMainTitle).replace('.', QStringLiteral("[.]"));
        QVERIFY(!Swaymsg({QStringLiteral("[title=\"^%1$\"] kill").arg(title)}).isEmpty());
        // Put away, not asked about: no window of the program is left.
        QTRY_COMPARE_WITH_TIMEOUT(WindowTitles(pid), QStringList(), kDesktopMs);
        QCOMPARE(m_pelion.state(), QProcess::Running);

        QList<SNotifierItem> items;
        QTRY_COMPARE_WITH_TIMEOUT((items = CNotifierWatcher::Items()).size(), 2, kDesktopMs);
        const auto console = std::find_if(items.cbegin(), items.cend(), [](const auto& item) {
            return item.tip.startsWith(kMainTitle);
        });
        QVERIFY(console != items.cend());
        QVERIFY(CNotifierWatcher::Activate(*console));
        QTRY_COMPARE_WITH_TIMEOUT(WindowTitles(pid), QStringList{kMainTitle}, kDesktopMs);

        // The picture is for a person to look at; without grim there is none.
        const QString grim = QStandardPaths::findExecutable(QStringLiteral("grim"));
        const QDir folder(qEnvironmentVariable("PELION_ARTEFACTS", QDir::tempPath()));
        QVERIFY(grim.isEmpty()
                || QProcess::execute(grim, {folder.filePath("wayland-desktop.png")}) == 0);

        QVERIFY(CNotifierWatcher::Click(*console, QStringLiteral("Exit")));
        QVERIFY(m_pelion.waitForFinished(30000) && m_pelion.exitStatus() == QProcess::NormalExit);
        QCOMPARE(m_pelion.exitCode(), 0);
        QVERIFY(!QFile::exists(home.LockPath()));
        QVERIFY(home.Messages(QStringLiteral("messages")).isEmpty());
    }

private:
    QProcess m_pelion;
};

QTEST_GUILESS_MAIN(tst_DesktopScenarioWayland)
#include "tst_DesktopScenarioWayland.moc"
