// pelion-launch-timer: starts a program and reports how long after its start
// each of the named windows first appeared on the X desktop, then ends the
// program (by its process number). For benchmarks of the start-up.
//
// Usage: pelion-launch-timer [--timeout MS] NAME=REGEX... -- PROGRAM [ARGS...]
// Prints one line "NAME MS" per window, in the order they appeared. Exits with
// 1 when a window did not appear within the timeout or the program ended first.

#include "platform/desktop/CX11WindowSystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kPollMs = 5;
constexpr int kEndWaitMs = 10000;

struct SSought {
    QString name;
    QRegularExpression title;
    qint64 seenAfterMs = -1;
};

int Usage()
{
    QTextStream(stderr) << "usage: pelion-launch-timer [--timeout MS] NAME=REGEX... -- PROGRAM "
                           "[ARGS...]\n";
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    int timeoutMs = 30000;
    QList<SSought> sought;
    while (!arguments.isEmpty() && arguments.first() != QLatin1String("--")) {
        const QString argument = arguments.takeFirst();
        if (argument == QLatin1String("--timeout") && !arguments.isEmpty()) {
            timeoutMs = arguments.takeFirst().toInt();
            continue;
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return Usage();
        sought.append({argument.left(equals), QRegularExpression(argument.mid(equals + 1))});
    }
    if (arguments.size() < 2 || sought.isEmpty())
        return Usage();
    arguments.removeFirst();

    CX11WindowSystem desktop;
    const QList<WindowHandle> before = desktop.TopLevelWindows();
    const QSet<WindowHandle> existing(before.cbegin(), before.cend());

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    program.start(arguments.first(), arguments.mid(1));
    if (!program.waitForStarted(kEndWaitMs)) {
        QTextStream(stderr) << "cannot start " << arguments.first() << "\n";
        return 1;
    }

    int result = 1;
    QTextStream out(stdout);
    QTimer poll;
    auto check = [&] {
        for (const WindowHandle window : desktop.TopLevelWindows()) {
            if (existing.contains(window))
                continue;
            const QString title = desktop.WindowTitle(window);
            for (SSought& entry : sought) {
                if (entry.seenAfterMs < 0 && entry.title.match(title).hasMatch()) {
                    entry.seenAfterMs = clock.elapsed();
                    out << entry.name << ' ' << entry.seenAfterMs << Qt::endl;
                }
            }
        }
        const bool allSeen = std::all_of(sought.cbegin(), sought.cend(), [](const SSought& entry) {
            return entry.seenAfterMs >= 0;
        });
        if (allSeen)
            result = 0;
        if (allSeen || clock.elapsed() > timeoutMs || program.state() == QProcess::NotRunning)
            app.quit();
    };
    QObject::connect(&poll, &QTimer::timeout, &app, check);
    poll.start(kPollMs);
    app.exec();

    if (program.state() != QProcess::NotRunning) {
        program.terminate();
        if (!program.waitForFinished(kEndWaitMs)) {
            program.kill();
            program.waitForFinished(kEndWaitMs);
        }
    } else if (result != 0) {
        QTextStream(stderr) << "the program ended first, status " << program.exitCode() << "\n";
    }
    for (const SSought& entry : sought) {
        if (entry.seenAfterMs < 0)
            QTextStream(stderr) << entry.name << " did not appear\n";
    }
    return result;
}
