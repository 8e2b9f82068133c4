#pragma once

#include "platform/dialup/MPppdLog.h"
#include "platform/dialup/MPppdProgram.h"
#include "platform/dialup/MRasLinks.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;
class QTimer;

// What the creator of a dial-up control may choose.
struct SRasOptions {
    // The pppd to run; tests put a stand-in here.
    QString pppdProgram = DefaultPppdPath();
    // How long a hung-up pppd may take to end before it is killed.
    int hangUpGraceMs = 15000;
};

// The dial-up control: one PPP link made by a pppd process. Dial starts
// "pppd call ENTRY nodetach" (options any member of the dial-up group may
// give) and returns at once; pppd's log lines become RasStateChanged (the
// holder reads RasState), its complaints and exit status RasError.
//
// Every pppd that started ends with exactly one RasStateChanged reporting
// Disconnected (8193), followed by RasError when the end was a failure: any
// end before the link was up (also one that HangUp caused, so that a holder
// waiting for the dial hears how it ended), and any end of an up link that
// HangUp did not ask for, except pppd's orderly status 0 (the peer ended it).
class CRas final : public QObject {
    Q_OBJECT

public:
    explicit CRas(QObject* parent = nullptr, SRasOptions options = {});
    // Ends a running pppd as HangUp does, waiting a little for it.
    ~CRas() override;

    // Starts dialling the phonebook entry. Raises an error (source ".Ras")
    // when the name is not a valid entry name or a link is already running;
    // a pppd that cannot be started is reported by RasError.
    void Dial(const QString& entry);

    // Ends the link: SIGTERM to pppd, Closing at once, Disconnected when it
    // has ended. With nothing running it still reports Disconnected, later
    // from the event loop, as the holder relies on.
    void HangUp();

    // The current state: one of ERasState's numbers, Disconnected when idle.
    qint32 RasState() const { return static_cast<qint32>(m_state); }

    // The running link's handle (the pppd's process id); 0 when none runs.
    qint64 RasConnHandle() const;

    // The far end's address as pppd reported it; empty until the link is up.
    QString RemoteAddress() const { return m_remoteAddress; }

    // The entry of the running link; empty when none runs.
    QString Entry() const;

    // The running link as the link lookups know it; none when idle.
    QList<SOwnLink> OwnLinks() const;

    // Makes the lookups over sources count this control's link, besides the
    // own links sources already names. The sources may outlive the control:
    // once it is gone, its link no longer counts.
    void AddOwnLinkTo(SRasLinkSources& sources) const;

signals:
    void RasStateChanged();
    void RasError(qint32 number, const QString& description);

private:
    void SetState(ERasState state);
    void OnStarted();
    void OnReadyRead();
    void OnFinished(int exitCode, bool crashed);
    void OnStartFailed();
    void TakeLine(const QByteArray& line);
    void ReleaseProcess();

    SRasOptions m_options;
    QProcess* m_process = nullptr; // a child while a pppd runs
    QTimer* m_tmrKill = nullptr;
    QByteArray m_partialLine;
    QStringList m_lines; // pppd's last lines, for the error of its end
    QString m_entry;
    QString m_remoteAddress;
    ERasState m_state = ERasState::Disconnected;
    bool m_wasConnected = false;
    bool m_hangUpAsked = false;
};
