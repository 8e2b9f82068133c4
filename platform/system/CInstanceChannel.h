#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// The way a second start reaches the instance that runs: a local socket in
// the folder of the instance lock, which only the user may enter. The running
// instance listens; a second start asks it to show itself and then ends.
class CInstanceChannel final : public QObject {
    Q_OBJECT

public:
    // The socket that goes with a lock file: its name with ".socket" in place
    // of ".lock".
    static QString PathBeside(const QString& lockFilePath);

    // Asks the instance listening at the path to show itself; true when it
    // took the request. Waits at most waitMs; a start that is refused should
    // not hang on an instance that does not answer.
    static bool AskToShow(const QString& socketPath, int waitMs);

    explicit CInstanceChannel(QObject* parent = nullptr);
    ~CInstanceChannel() override;

    // Listens at the path. The caller holds the instance lock, so a socket
    // file found there is a dead instance's and is replaced.
    bool Listen(const QString& socketPath);

signals:
    // A second start asked this instance to show itself.
    void ShowRequested();

private:
    void server_NewConnection();

    QLocalServer* m_server = nullptr;
};
