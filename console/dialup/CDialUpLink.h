#pragma once

#include "console/dialup/MCommandStates.h"
#include "platform/dialup/CRas.h"
#include "platform/dialup/MRasLinks.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class IPinger;
class QTimer;
struct SIcmpEchoReply;

// What the creator of the dial-up link may choose.
struct SDialUpLinkOptions {
    static constexpr int kPingPPPIntervalMs = 2000;
    static constexpr qint32 kPingPPPTimeoutMs = 6000;
    static constexpr int kLaunchBrowserIntervalMs = 50;
    static constexpr int kLinkEndPollMs = 100;

    // The phonebook entry to dial (the direct cable's or the chosen modem's).
    std::function<QString()> entry;
    int pingPPPIntervalMs = kPingPPPIntervalMs;
    qint32 pingPPPTimeoutMs = kPingPPPTimeoutMs; // each echo of the watch
    int launchBrowserIntervalMs = kLaunchBrowserIntervalMs;
    // How often a taken link's pppd is looked for once it was told to end;
    // the wait is bounded by ras.hangUpGraceMs, then once more after a kill.
    int linkEndPollMs = kLinkEndPollMs;
    // The pppd to run, and where links are looked for.
    SRasOptions ras;
    SRasLinkSources rasLinks;
};

// The console's dial-up link to an equipment: dials and hangs up the entry
// through its dial-up control, follows the control's states and errors,
// starts the equipment access once the link is up and watches that the far
// end answers while it stays up. It holds no window: it reports what the
// main window shows through its events.
//
// A link already running is taken only when it is this user's link of the
// entry; Disconnect then ends that pppd. Another entry's or another user's
// link is left alone and reported busy.
//
// Its three flags (connected, dialling, hanging up) are cleared together.
// Where a step lets pending events run once, the commands are already off,
// so that no second command crosses a dial or a hang-up.
class CDialUpLink final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kStatusDisconnected = "Status: Disconnected";
    static constexpr const char* kStatusConnected = "Status: Connected";
    static constexpr const char* kStatusConnectingDevice = "Status: Connecting Device.....";
    static constexpr const char* kStatusDeviceConnected = "Status: Device Connected.....";
    static constexpr const char* kStatusAuthenticating = "Status: Authenticating.....";
    static constexpr const char* kStatusAuthenticated = "Status: Authenticated.....";
    static constexpr const char* kStatusClosing = "Status: Closing.....";
    static constexpr const char* kStatusBusy =
        "Status: Busy - another dial-up link is up on this PC (another entry's or another "
        "user's); it is left alone";
    static constexpr const char* kConnectionFailed = "Connection Failed !";
    static constexpr const char* kCheckCable = "Check cable or devices";
    // After the first time, when this user may not dial: the first message said what to do.
    static constexpr const char* kNotInDialUpGroupAgain =
        "This user may not dial: dial-up needs membership of the group dip.";
    static constexpr const char* kEquipmentUnreachable = "Equipment unreachable! Disconnecting...";
    static constexpr const char* kPingData = "Test Route";
    // A reply this slow counts as no reply.
    static constexpr quint32 kPingTooSlowMs = 655380;
    static constexpr int kPingFailuresToHangUp = 3;
    // Errors of the control that change nothing: the state stays as it is.
    static constexpr std::array<qint32, 4> kIgnoredRasErrors{12001, 12002, 12003, 20756};

    // The pinger must outlive the link.
    CDialUpLink(IPinger& pinger, SDialUpLinkOptions options, QObject* parent = nullptr);
    // A pppd that the control ends now reports to nobody.
    ~CDialUpLink() override;

    // The one command behind "Connect" and "Disconnect": the commands go off,
    // pending events run once, then a dial when neither connected nor
    // dialling, else a hang-up.
    void ToggleDialUpLink();
    // Takes this user's link of the entry when one runs, else dials the
    // entry; reports busy instead while another link runs.
    void DialUpLink();
    // Ends the link it shows (the pppd it dialled or took), or returns to the
    // disconnected look at once when it is already gone; nothing while a
    // hang-up is under way.
    void HangUpDialUpLink();

    // The two looks: without the link, and with it up.
    void UpdateDisconnectedStatusStuff();
    void UpdateConnectedStatusStuff();

    // Once, shortly after the link came up: reads the far end's address,
    // starts the watch and asks for the equipment at that address.
    void tmrLaunchBrowser_Timer();
    // One reachability test of the far end.
    void tmrPingPPP_Timer();

    // The window unloads: nothing is left to watch or to open.
    void StopTimers();

    // The far end's (the equipment's) address; empty until it is known.
    QString PeerIpAddress() const { return priPeerIpAddress; }
    bool IsConnected() const { return priConnected; }
    bool IsDialling() const { return priDialling; }
    bool IsHangingUp() const { return priHangingUp; }
    // Consecutive failed reachability tests.
    int PingFailures() const { return priPingFailures; }
    // The handle of the link in use; 0 when none.
    qint64 RasConnHandle() const { return priRasConnHandle; }
    SLinkLook Look() const { return m_look; }
    // The dial-up control (ERasState numbers through RasState).
    const CRas& Ras() const { return *m_ras; }

signals:
    // The connection status the window shows.
    void OnStatusText(const QString& text);
    // The window's look, and with it which commands are enabled.
    void OnLookChanged(const SLinkLook& look);
    // The link is up and its far end known: the equipment is to be reached.
    void OnConnectToEquipment(const QString& ipAddress);
    // The far end stopped answering; the link is hung up right after.
    void OnUnreachable(const QString& text);
    // A dial-up failure for the user, told once.
    void OnFailure(const QString& message);

private:
    void SetLook(ELinkLook look);
    void Ras_RasStateChanged();
    void Ras_RasError(qint32 number, const QString& description);
    void PingPPP_Done(const SIcmpEchoReply& reply);
    void EndTakenLink();
    void tmrLinkEnd_Timer();

    IPinger& m_pinger;
    SDialUpLinkOptions m_options;
    std::unique_ptr<CRas> m_ras;
    QTimer* m_tmrLaunchBrowser = nullptr;
    QTimer* m_tmrPingPPP = nullptr;
    QTimer* m_tmrLinkEnd = nullptr;
    SLinkLook m_look;
    bool priConnected = false;
    bool priDialling = false;
    bool priHangingUp = false;
    QString priPeerIpAddress;
    qint64 priRasConnHandle = 0;
    int priPingFailures = 0;
    // The pppd of a link taken rather than dialled; 0 when none.
    qint64 m_takenHandle = 0;
    int m_linkEndPolls = 0;
    bool m_linkKilled = false;
    // The one link of the console run: the group's long message once per run.
    bool m_toldDialUpGroup = false;
};
