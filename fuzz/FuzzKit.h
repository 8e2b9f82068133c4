#pragma once

// What the fuzz targets on real loopback sockets share: the refusal to run
// outside a network namespace of their own, the canary beside the served
// folder, and the count of open descriptors.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace FuzzKit {

inline constexpr char kCanaryText[] = "outside the served folder: never written\n";
// Descriptors Qt opens lazily; a steady growth beyond them is a leak.
inline constexpr int kDescriptorSlack = 16;

[[noreturn]] inline void Fail(const char* what)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    std::abort();
}

// For the system calls: what failed and the system's reason.
[[noreturn]] inline void FailWithErrno(const char* what)
{
    const int error = errno;
    std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, what, std::strerror(error));
    std::abort();
}

// SECURITY: the targets' sockets go wherever the input says; only a namespace
// of their own keeps them from reaching the host's services.
inline void RequireOwnNetworkNamespace()
{
    QFile devices(QStringLiteral("/proc/net/dev"));
    if (!devices.open(QIODevice::ReadOnly))
        Fail("cannot read /proc/net/dev");
    // Two header lines, then one line per interface.
    const QList<QByteArray> lines = devices.readAll().trimmed().split('\n');
    if (lines.size() != 3 || !lines.at(2).trimmed().startsWith("lo:"))
        Fail("needs a network namespace with only the loopback interface (scripts/fuzz.sh)");
}

inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        Fail("cannot prepare the served folder");
}

// SECURITY: nothing a client sends may change what lies outside the served
// folder: the canary keeps its text and the folder holds its entries only.
inline void CheckOutside(const QTemporaryDir& outside, const QString& canaryPath, qsizetype entries)
{
    QFile canary(canaryPath);
    if (!canary.open(QIODevice::ReadOnly) || canary.readAll() != kCanaryText)
        Fail("the canary file outside the served folder changed");
    if (QDir(outside.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
            .size()
        != entries)
        Fail("a file appeared outside the served folder");
}

// Refuses to run outside a namespace of its own, then makes the application
// object the target's sockets need, for the life of the process.
inline void StartUp(char* program)
{
    static int argc = 1;
    static char* argv[] = {program, nullptr};
    RequireOwnNetworkNamespace();
    static QCoreApplication application(argc, argv);
}

// A temporary folder holding the served folder ("served", made by the
// target) and the canary file beside it.
struct SServedPlace {
    QTemporaryDir outside;
    QString served = outside.filePath(QStringLiteral("served"));
    QString canary = outside.filePath(QStringLiteral("canary"));
    // The descriptors open once the target's own sockets are; 0 before.
    int descriptorBaseline = 0;

    SServedPlace()
    {
        if (!outside.isValid())
            Fail("no temporary folder");
        WriteFile(canary, kCanaryText);
    }
};

// The descriptors this process holds.
inline int OpenDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System).size());
}

// What was served must have closed its sockets and files once it is gone.
inline void CheckNoDescriptorLeak(int baseline)
{
    if (OpenDescriptors() > baseline + kDescriptorSlack)
        Fail("descriptors are left open after what was served had ended");
}

} // namespace FuzzKit
