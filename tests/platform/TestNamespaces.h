#pragma once

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <optional>

// Runs a program to its end (bounded); its output, or nothing when it failed.
inline std::optional<QByteArray> RunToEnd(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        qWarning().noquote() << program << arguments.join(' ') << "->" << process.readAll();
        return std::nullopt; // a process still running is killed with the object
    }
    return process.readAll();
}

// Two network namespaces of the test's own joined by a veth pair, deleted with the object. The
// far one ignores echo requests and reports 10.202.0.0/24 unreachable.
class CTestNamespaces final {
public:
    static constexpr const char* kNearAddress = "10.201.0.1";
    static constexpr const char* kFarAddress = "10.201.0.2";
    static constexpr const char* kBeyondFar = "10.202.0.1";
    static constexpr const char* kNoRoute = "10.203.0.1";

    explicit CTestNamespaces(const QString& tag)
        : m_near(QStringLiteral("pelion-%1-%2-a").arg(tag).arg(QCoreApplication::applicationPid())),
          m_far(QStringLiteral("pelion-%1-%2-b").arg(tag).arg(QCoreApplication::applicationPid()))
    {
        m_made = Ip({"netns", "add", m_near});
        // N and F: near and far; the far one reports every unreachable echo, however close.
        const QString commands = "netns add F|-n N link add veth-near type veth peer name veth-far "
                                 "netns F|-n N addr add %1/30 dev veth-near|-n F addr add %2/30 "
                                 "dev veth-far|-n N link set lo up|-n N link set veth-near up|-n F "
                                 "link set veth-far up|-n N route add 10.202.0.0/24 via %2|-n F "
                                 "route add unreachable 10.202.0.0/24|netns exec F sysctl -q -w "
                                 "net.ipv4.icmp_echo_ignore_all=1 net.ipv4.ip_forward=1 "
                                 "net.ipv4.icmp_ratelimit=0";
        for (const QString& command : commands.arg(kNearAddress, kFarAddress).split('|')) {
            QStringList words = command.split(' ');
            for (QString& word : words)
                word = word == "N" ? m_near : word == "F" ? m_far : word;
            if (!m_made || !Ip(words)) {
                m_reason = m_made ? "the test's network namespaces could not be set up"
                                  : "network namespaces are not permitted here";
                return;
            }
        }
    }

    ~CTestNamespaces()
    {
        for (const QString& name : {m_near, m_far})
            if (m_made)
                Ip({"netns", "delete", name});
    }

    CTestNamespaces(const CTestNamespaces&) = delete;
    CTestNamespaces& operator=(const CTestNamespaces&) = delete;
    bool IsReady() const { return m_made && m_reason.isEmpty(); }
    const QString& Reason() const { return m_reason; }
    const QString& Near() const { return m_near; }

    // The echo requests the far namespace has received; -1 when unknown.
    int FarEchoRequests() const
    {
        const auto snmp = RunToEnd("ip", {"netns", "exec", m_far, "cat", "/proc/net/snmp"});
        QList<QByteArray> icmp = snmp ? snmp->split('\n') : QList<QByteArray>();
        icmp.removeIf([](const QByteArray& line) { return !line.startsWith("Icmp: "); });
        const qsizetype column = icmp.size() < 2 ? -1 : icmp[0].split(' ').indexOf("InEchos");
        return column < 0 ? -1 : icmp[1].split(' ').value(column).toInt();
    }
    static bool Ip(const QStringList& arguments) { return RunToEnd("ip", arguments).has_value(); }

private:
    QString m_near, m_far, m_reason;
    bool m_made = false;
};

// The calling thread in a named network namespace while it lives, with its sockets and processes.
class CEnteredNamespace final {
public:
    explicit CEnteredNamespace(const QString& name)
    {
        m_home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = ::open(QFile::encodeName("/run/netns/" + name), O_RDONLY | O_CLOEXEC);
        m_entered = m_home >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
        if (target >= 0)
            ::close(target);
    }
    ~CEnteredNamespace()
    {
        if (m_entered && ::setns(m_home, CLONE_NEWNET) != 0)
            qFatal("could not leave the test's network namespace");
        if (m_home >= 0)
            ::close(m_home);
    }
    CEnteredNamespace(const CEnteredNamespace&) = delete;
    CEnteredNamespace& operator=(const CEnteredNamespace&) = delete;
    bool IsEntered() const { return m_entered; }

private:
    int m_home = -1;
    bool m_entered = false;
};
