#include "console/dialup/CDialUpLink.h"

#include "common/CRaisedError.h"
#include "platform/icmp/IPinger.h"
#include "platform/icmp/SIcmpEchoReply.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

CDialUpLink::CDialUpLink(IPinger& pinger, SDialUpLinkOptions options, QObject* parent)
    : QObject(parent), m_pinger(pinger), m_options(std::move(options)),
      m_ras(std::make_unique<CRas>(nullptr, m_options.ras))
{
    // The link this control makes counts before its pppd shows among the
    // machine's processes.
    m_ras->AddOwnLinkTo(m_options.rasLinks);
    connect(m_ras.get(), &CRas::RasStateChanged, this, &CDialUpLink::Ras_RasStateChanged);
    connect(m_ras.get(), &CRas::RasError, this, &CDialUpLink::Ras_RasError);
    m_tmrPingPPP = new QTimer(this);
    m_tmrPingPPP->setObjectName(QStringLiteral("tmrPingPPP"));
    m_tmrPingPPP->setInterval(m_options.pingPPPIntervalMs);
    m_tmrPingPPP->setSingleShot(true);
    connect(m_tmrPingPPP, &QTimer::timeout, this, &CDialUpLink::tmrPingPPP_Timer);
    m_tmrLaunchBrowser = new QTimer(this);
    m_tmrLaunchBrowser->setObjectName(QStringLiteral("tmrLaunchBrowser"));
    m_tmrLaunchBrowser->setInterval(m_options.launchBrowserIntervalMs);
    m_tmrLaunchBrowser->setSingleShot(true);
    connect(m_tmrLaunchBrowser, &QTimer::timeout, this, &CDialUpLink::tmrLaunchBrowser_Timer);
    m_tmrLinkEnd = new QTimer(this);
    m_tmrLinkEnd->setObjectName(QStringLiteral("tmrLinkEnd"));
    m_tmrLinkEnd->setInterval(m_options.linkEndPollMs);
    connect(m_tmrLinkEnd, &QTimer::timeout, this, &CDialUpLink::tmrLinkEnd_Timer);
}

CDialUpLink::~CDialUpLink()
{
    m_ras->disconnect(this);
}

void CDialUpLink::SetLook(ELinkLook look)
{
    m_look.look = look;
    m_look.linkUp = priConnected;
    emit OnLookChanged(m_look);
}

void CDialUpLink::ToggleDialUpLink()
{
    SetLook(ELinkLook::Busy);
    QCoreApplication::processEvents();
    if (!priDialling && !priConnected)
        DialUpLink();
    else
        HangUpDialUpLink();
}

void CDialUpLink::DialUpLink()
{
    priPingFailures = 0;
    const QString entry = m_options.entry ? m_options.entry() : QString();
    const SRasLinkFound found = ChooseRasLink(entry, m_options.rasLinks);
    if (found.choice == ERasLinkChoice::Busy) {
        UpdateDisconnectedStatusStuff();
        emit OnStatusText(QLatin1String(kStatusBusy));
        return;
    }
    if (found.choice == ERasLinkChoice::Take) {
        m_takenHandle = found.handle;
        priRasConnHandle = found.handle;
        UpdateConnectedStatusStuff();
        GetProjectedIp(priRasConnHandle, priPeerIpAddress, m_options.rasLinks);
        m_tmrLaunchBrowser->start();
        return;
    }
    priDialling = true;
    QCoreApplication::processEvents();
    try {
        m_ras->Dial(entry);
    } catch (const CRaisedError&) {
        HangUpDialUpLink();
    }
}

void CDialUpLink::HangUpDialUpLink()
{
    if (priHangingUp)
        return;
    m_tmrPingPPP->stop();
    if (m_takenHandle != 0) {
        EndTakenLink();
        return;
    }
    // The control's own pppd, dialling or up, whatever else runs beside it.
    if (m_ras->RasConnHandle() == 0) {
        UpdateDisconnectedStatusStuff();
        return;
    }
    priHangingUp = true;
    m_ras->HangUp();
}

void CDialUpLink::EndTakenLink()
{
    const int ended = EndRasLink(m_takenHandle, false, m_options.rasLinks);
    if (ended == kEndNoLink) {
        UpdateDisconnectedStatusStuff();
        return;
    }
    if (ended == kEndNotOurs) {
        // Another user's link has the number now, or the system refuses the
        // signal: either way it is not this console's to end.
        UpdateDisconnectedStatusStuff();
        emit OnStatusText(QLatin1String(kStatusBusy));
        return;
    }
    priHangingUp = true;
    emit OnStatusText(QLatin1String(kStatusClosing));
    m_linkEndPolls = 0;
    m_linkKilled = false;
    m_tmrLinkEnd->start();
}

void CDialUpLink::tmrLinkEnd_Timer()
{
    SRasLink link;
    if (!FindRasLink(m_takenHandle, link, m_options.rasLinks)) {
        UpdateDisconnectedStatusStuff();
        return;
    }
    const int pollsInGrace =
        std::max(1, m_options.ras.hangUpGraceMs / std::max(1, m_options.linkEndPollMs));
    if (++m_linkEndPolls < pollsInGrace)
        return;
    m_linkEndPolls = 0;
    if (!m_linkKilled) {
        m_linkKilled = true;
        EndRasLink(m_takenHandle, true, m_options.rasLinks);
        return;
    }
    // Not even a kill ended it: the link is still up, the look says so and
    // the watch goes on.
    m_tmrLinkEnd->stop();
    priHangingUp = false;
    UpdateConnectedStatusStuff();
    m_tmrPingPPP->start();
}

void CDialUpLink::UpdateDisconnectedStatusStuff()
{
    priRasConnHandle = 0;
    m_takenHandle = 0;
    priConnected = false;
    priDialling = false;
    priHangingUp = false;
    m_look.peerAddressKnown = false;
    SetLook(ELinkLook::Disconnected);
    emit OnStatusText(QLatin1String(kStatusDisconnected));
    // Without a link nothing is left to watch or to open: a watch left running
    // would count failures and toggle, that is dial, once the link is gone.
    StopTimers();
    priPingFailures = 0;
}

void CDialUpLink::UpdateConnectedStatusStuff()
{
    if (priRasConnHandle == 0)
        priRasConnHandle = m_ras->RasConnHandle();
    priDialling = false;
    priConnected = true;
    m_look.peerAddressKnown = !priPeerIpAddress.isEmpty();
    SetLook(ELinkLook::Connected);
    emit OnStatusText(QLatin1String(kStatusConnected));
    QCoreApplication::processEvents();
}

void CDialUpLink::StopTimers()
{
    m_tmrPingPPP->stop();
    m_tmrLaunchBrowser->stop();
    m_tmrLinkEnd->stop();
}

void CDialUpLink::Ras_RasStateChanged()
{
    switch (static_cast<ERasState>(m_ras->RasState())) {
    case ERasState::ConnectingDevice:
        emit OnStatusText(QLatin1String(kStatusConnectingDevice));
        break;
    case ERasState::DeviceConnected:
        emit OnStatusText(QLatin1String(kStatusDeviceConnected));
        break;
    case ERasState::Authenticating: emit OnStatusText(QLatin1String(kStatusAuthenticating)); break;
    case ERasState::Authenticated: emit OnStatusText(QLatin1String(kStatusAuthenticated)); break;
    case ERasState::Connected:
        if (!priHangingUp) {
            UpdateConnectedStatusStuff();
            m_tmrLaunchBrowser->start();
        }
        break;
    case ERasState::Disconnected:
        // A failed dial is cleaned up by the error event that follows.
        if (!priDialling)
            UpdateDisconnectedStatusStuff();
        priHangingUp = false;
        break;
    case ERasState::Closing: emit OnStatusText(QLatin1String(kStatusClosing)); break;
    default: break;
    }
}

void CDialUpLink::Ras_RasError(qint32 number, const QString& description)
{
    if (std::find(kIgnoredRasErrors.begin(), kIgnoredRasErrors.end(), number)
        != kIgnoredRasErrors.end())
        return;
    // The user's own hang-up of a dial: its end is the disconnected look.
    if (number == kRasErrorDialCancelled) {
        UpdateDisconnectedStatusStuff();
        return;
    }
    QString detail = description;
    if (number == kRasErrorDevice) {
        detail = QString::fromLatin1(kCheckCable);
    } else if (number == kRasErrorNotInDialUpGroup) {
        if (m_toldDialUpGroup)
            detail = QString::fromLatin1(kNotInDialUpGroupAgain);
        m_toldDialUpGroup = true;
    }
    emit OnFailure(QLatin1String(kConnectionFailed) + QStringLiteral("\r\n") + detail);
    m_ras->HangUp();
    HangUpDialUpLink();
}

void CDialUpLink::tmrLaunchBrowser_Timer()
{
    m_tmrLaunchBrowser->stop();
    priPeerIpAddress.clear();
    GetProjectedIp(priRasConnHandle, priPeerIpAddress, m_options.rasLinks);
    m_tmrPingPPP->setInterval(m_options.pingPPPIntervalMs);
    m_tmrPingPPP->start();
    emit OnConnectToEquipment(priPeerIpAddress);
}

void CDialUpLink::tmrPingPPP_Timer()
{
    m_tmrPingPPP->stop();
    qint32 timeoutMs = m_options.pingPPPTimeoutMs;
    m_pinger.Ping(priPeerIpAddress, QByteArray(kPingData), timeoutMs, this,
                  [this](const SIcmpEchoReply& reply) { PingPPP_Done(reply); });
}

void CDialUpLink::PingPPP_Done(const SIcmpEchoReply& reply)
{
    // A reply that comes back after the link ended has nothing to watch.
    if (!priConnected || priHangingUp)
        return;
    if (reply.Status != kIpSuccess || reply.RoundTripTime >= kPingTooSlowMs)
        ++priPingFailures;
    else
        priPingFailures = 0;
    if (priPingFailures < kPingFailuresToHangUp) {
        m_tmrPingPPP->start();
        return;
    }
    priPingFailures = 0;
    emit OnUnreachable(QLatin1String(kEquipmentUnreachable));
    ToggleDialUpLink();
}
