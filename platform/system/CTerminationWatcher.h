#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, so that a
// program can end cleanly (close its listeners, remove its icon) when asked.
// One watcher per process; while it lives, the two signals no longer end the
// process by themselves.
class CTerminationWatcher final : public QObject {
    Q_OBJECT

public:
    explicit CTerminationWatcher(QObject* parent = nullptr);
    ~CTerminationWatcher() override;

signals:
    void TerminationRequested(int signalNumber);

private:
    void OnReadable();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
