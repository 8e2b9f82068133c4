#pragma once

#include <QHash>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdint>

class QTreeWidget;
class QTreeWidgetItem;

// The "FTP Monitor" window: one row per FTP session with the client's
// address, the session identifier, what the session does, how far its
// transfer has come and which file it moves. It only observes: the Show...
// slots take the server object's session events as they are raised, and
// never fail. Closing it raises Closed.
//
// Progress may be reported for every few hundred bytes; the window shows the
// first report at once and then at most one per redraw interval, the latest.
class FMonitor final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kColumnRemoteHost = 0;
    static constexpr int kColumnSessionId = 1;
    static constexpr int kColumnStatus = 2;
    static constexpr int kColumnRate = 3;
    static constexpr int kColumnFile = 4;

    struct SOptions {
        // The shortest time between two progress redraws.
        std::chrono::milliseconds redrawInterval{100};
    };

    explicit FMonitor(QWidget* parent = nullptr) : FMonitor(SOptions{}, parent) {}
    explicit FMonitor(SOptions options, QWidget* parent = nullptr);

    // Adds the row of a session. Throws CRaisedError when the session has one already.
    QTreeWidgetItem* AddSession(const QString& sessionId, const QString& remoteHost,
                                std::int16_t status, const QString& fileName);

    // Whether the session has a row.
    bool HasSession(const QString& sessionId) const { return Row(sessionId) != nullptr; }

    // Removes the row of a session; a missing row is ignored.
    void RemoveSession(const QString& sessionId);

    // Shows a session's status, and its file while it transfers; a finished
    // transfer's file and progress disappear. Throws CRaisedError for an
    // unknown session.
    void SessionStatus(const QString& sessionId, std::int16_t status,
                       const QString& fileName = QString());

    // Shows how far a transfer has come: a percentage of total, or the byte
    // count when the total is 0 (a store, whose size nobody knows). Within a
    // redraw interval of the last redraw it is shown when the interval ends.
    void CalculateRate(const QString& sessionId, qint64 bytes, qint64 total);

    // The server's session events, as observed. Each leaves alone a session
    // without a row: one that closed, or one greeted before the window opened
    // and already shown.
    void ShowNewSession(const QString& sessionId, const QString& remoteHost, int status);
    void ShowTransferStart(const QString& sessionId, const QString& remoteHost, int status,
                           const QString& fileName);
    // A session back to waiting: its file and progress disappear. The start of
    // a transfer is shown by ShowTransferStart, which knows the file.
    void ShowStatusChange(const QString& sessionId, const QString& remoteHost, int status);
    void ShowBytesReceived(const QString& sessionId, const QString& remoteHost, qint64 byteRecv);
    void ShowBytesSent(const QString& sessionId, const QString& remoteHost, qint64 byteSent,
                       qint64 totalByte);

    // The status text shown for a session status.
    static QString StatusText(std::int16_t status);

    // The progress text shown for a byte count of a total.
    static QString RateText(qint64 bytes, qint64 total);

    // The list itself, for reading what it shows.
    QTreeWidget* ListView() const { return m_listView; }

signals:
    // The window was closed, by the user or the program.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct SRow {
        QTreeWidgetItem* item = nullptr;
        qint64 bytes = 0;
        qint64 total = 0;
        bool progressDue = false; // progress reported, not yet shown
    };

    QTreeWidgetItem* Row(const QString& sessionId) const;
    // Shows the progress held back during the interval.
    void RedrawProgress();

    QTreeWidget* m_listView = nullptr;
    QHash<QString, SRow> m_rows; // keyed by session identifier
    QTimer m_redraw;             // runs while redraws are held back
    bool m_centred = false;
};
