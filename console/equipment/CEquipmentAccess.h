#pragma once

#include "console/equipment/CEquipmentReply.h"
#include "console/equipment/SEquipmentAccessOptions.h"
#include "platform/icmp/SIcmpEchoReply.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <map>

class CTcpSocket;
class IEquipmentPages;
class IPinger;
class QTimer;

// Messages of a connect attempt (information style).
inline constexpr char kMsgAttemptInProgress[] =
    "An attempt to connect to another equipment is still in progress.";
inline constexpr char kMsgEquipmentUnreachable[] = "Target equipment unreachable.";
inline constexpr char kMsgConnectFailed[] = "Attempt to connect to target equipment failed.";
inline constexpr char kMsgNoAccess[] = "Impossible to access target equipment!";
inline constexpr char kMsgNotAnAddress[] =
    "\"%1\" is not an IPv4 address of four numbers from 0 to 255: it cannot be connected.";
inline constexpr char kMsgUnknownVersion[] =
    "Impossible to recognise the software version of target equipment: %1";
// %1: the HTTP status code of the equipment's answer to the rescue login.
inline constexpr char kMsgRescueLoginRefused[] = "Rescue login refused by the equipment (HTTP %1).";

// Reaches an equipment and finds out which web interface it runs, then has
// its pages opened; in rescue mode logs in at the rescue address first.
//
// A connect attempt: route test (ICMP echo) -> a new TcpMan element connects
// to port 80 -> sends the version probe -> the reply decides: 404 or a
// version whose last part is below 19 -> ShowEquipmentPage; otherwise
// OpenEquipmentPage with "/home.html". The element is closed and unloaded
// when its exchange ends, whichever way it ends.
//
// The rescue sequence: ConnectToRescueEquipment -> probe -> a new element
// -> login with gRescueUser and gRescuePassword -> OpenEquipmentPage with the
// bridge page -> OnRescueFinished. Failures retry until CloseRescueSocket. A
// login the equipment refuses (a status other than 2xx) is told in a
// message, and a 404 (the older interface, which has no login) shows its
// pages; both end with OnRescueStopped.
//
// Wiring in the main window:
//   rescue dialog OnStartConnecting -> ConnectToRescueEquipment()
//   rescue dialog OnAborted / OnClose -> CloseRescueSocket()
//   OnRescueFinished -> unload the rescue dialog
//   OnRescueStopped -> the rescue dialog back to idle, credentials kept
class CEquipmentAccess final : public QObject {
    Q_OBJECT

public:
    // Where a connect attempt stands, for the window's busy feedback.
    enum class EAttemptStep { TestingRoute, AskingVersion, Ended };
    Q_ENUM(EAttemptStep)

    // pages and pinger must outlive this object.
    CEquipmentAccess(IEquipmentPages& pages, IPinger& pinger, SEquipmentAccessOptions options = {},
                     QObject* parent = nullptr);
    ~CEquipmentAccess() override;

    // A connect attempt to an equipment on the LAN or at the end of a dial-up
    // link. Refused with a message while another attempt to the same address
    // (its route test included) is still running, and for a text that is not
    // a dotted IPv4 address: the address pinged is the one connected.
    void ConnectToEquipment(const QString& ipAddress);

    // The rescue dialog's start: probe, then log in at the rescue address.
    // No route test: the equipment may still be starting. When an attempt to
    // the rescue address is still running, nothing starts and
    // OnRescueFinished tells the dialog to go.
    void ConnectToRescueEquipment();

    // Replaces the rescue element by a new one at the same step, connected
    // after the retry pause; gRescueSocketIndex follows it.
    void RetryRescueSocket();

    // Closes and unloads the rescue element, wherever the sequence stands.
    void CloseRescueSocket();

    // Indexes of the TcpMan elements loaded now, in order.
    QList<int> LoadedElements() const;

signals:
    // An attempt that ConnectToEquipment started moves on: its route test,
    // its version probe, its end however it ends (before any message of it).
    void OnAttemptStep(const QString& ipAddress, CEquipmentAccess::EAttemptStep step);

    // The rescue sequence is over (bridge page opened, or refused): the
    // rescue dialog goes and the window is ready for input again.
    void OnRescueFinished();
    // The rescue sequence has ended without a session: nothing runs any more
    // and the dialog may start again.
    void OnRescueStopped();

private:
    enum class EStep { Probe, RescueProbe, RescueLogin };

    struct SElement {
        CTcpSocket* socket = nullptr; // child of this object
        QTimer* replyTimer = nullptr; // child of the socket
        QString target;
        EStep step = EStep::Probe;
        CEquipmentReply reply;
    };

    bool IsBusy(const QString& ipAddress) const;
    void OnRouteTested(const QString& ipAddress, const SIcmpEchoReply& reply);
    // Loads a new element at the upper bound plus one.
    int LoadElement(const QString& target, EStep step);
    // Connects the element now (false when its address cannot be connected).
    bool ConnectElement(int index);
    void UnloadElement(int index);
    bool IsRescueElement(int index) const;

    void TcpMan_StateChanged(int index);
    void TcpMan_DataArrived(int index);
    void TcpMan_Error(int index, int number);
    void TcpMan_ReplyTimeout(int index);
    void ExamineReply(int index);
    void ExamineProbeReply(int index);
    void ExamineRescueReply(int index);
    // The element failed to give a reply: a rescue element is replaced, any
    // other is unloaded with the no-access message.
    void GiveUpElement(int index);

    void Inform(const QString& text) const;

    IEquipmentPages& m_pages;
    IPinger& m_pinger;
    SEquipmentAccessOptions m_options;
    std::map<int, SElement> m_tcpMan;
    QStringList m_routeTests; // addresses whose route test is still pending
};
