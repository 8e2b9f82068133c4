#include "console/equipment/CEquipmentAccess.h"

#include "common/messages/CMessageService.h"
#include "console/equipment/CEquipmentRequest.h"
#include "console/equipment/IEquipmentPages.h"
#include "console/equipment/MEquipmentUrls.h"
#include "console/equipment/MRescueGlobals.h"
#include "console/settings/CIpAddressBook.h"
#include "platform/icmp/IPinger.h"
#include "platform/sockets/CTcpSocket.h"

#include <QHostAddress>
#include <QTimer>

namespace {

const QByteArray kRouteTestData = QByteArrayLiteral("Test Route");
// A round trip this long or longer counts as no answer.
constexpr quint32 kRoundTripLimitMs = 655380;

} // namespace

CEquipmentAccess::CEquipmentAccess(IEquipmentPages& pages, IPinger& pinger,
                                   SEquipmentAccessOptions options, QObject* parent)
    : QObject(parent), m_pages(pages), m_pinger(pinger), m_options(std::move(options))
{
}

CEquipmentAccess::~CEquipmentAccess() = default;

void CEquipmentAccess::ConnectToEquipment(const QString& ipAddress)
{
    // Lenient parsers read "010.0.0.1" as octal or keep blanks: only a text
    // that every parser reads alike goes to the pinger and the socket.
    if (!CIpAddressBook::IsDottedIPv4(ipAddress)) {
        Inform(QString::fromLatin1(kMsgNotAnAddress).arg(ipAddress));
        return;
    }
    if (IsBusy(ipAddress)) {
        Inform(QString::fromLatin1(kMsgAttemptInProgress));
        return;
    }
    // The echo answers later; until then the address counts as busy, so a
    // second double-click does not start a second attempt.
    m_routeTests.append(ipAddress);
    emit OnAttemptStep(ipAddress, EAttemptStep::TestingRoute);
    qint32 timeoutMs = m_options.routeTestTimeoutMs;
    m_pinger.Ping(
        ipAddress, kRouteTestData, timeoutMs, this,
        [this, ipAddress](const SIcmpEchoReply& reply) { OnRouteTested(ipAddress, reply); });
}

void CEquipmentAccess::OnRouteTested(const QString& ipAddress, const SIcmpEchoReply& reply)
{
    m_routeTests.removeOne(ipAddress);
    if (reply.Status == kIpEchoNotPermitted) {
        emit OnAttemptStep(ipAddress, EAttemptStep::Ended);
        Inform(QString::fromLatin1(MPing::kNotPermittedText));
        return;
    }
    if (reply.Status != kIpSuccess || reply.RoundTripTime >= kRoundTripLimitMs) {
        emit OnAttemptStep(ipAddress, EAttemptStep::Ended);
        Inform(QString::fromLatin1(kMsgEquipmentUnreachable));
        return;
    }
    emit OnAttemptStep(ipAddress, EAttemptStep::AskingVersion);
    const int index = LoadElement(ipAddress, EStep::Probe);
    if (!ConnectElement(index)) {
        UnloadElement(index);
        Inform(QString::fromLatin1(kMsgConnectFailed));
    }
}

void CEquipmentAccess::ConnectToRescueEquipment()
{
    gRescueProbeDone = false;
    if (IsBusy(m_options.rescueAddress)) {
        emit OnRescueFinished();
        return;
    }
    const int index = LoadElement(m_options.rescueAddress, EStep::RescueProbe);
    gRescueSocketIndex = index;
    // The rescue address is fixed and well-formed; nothing to report here.
    ConnectElement(index);
}

void CEquipmentAccess::RetryRescueSocket()
{
    // Only the rescue element is replaced, never another attempt's element
    // that happens to have the highest index; nothing is left to retry once
    // the rescue socket has been closed.
    if (!IsRescueElement(gRescueSocketIndex))
        return;
    const EStep step = m_tcpMan.at(gRescueSocketIndex).step;
    UnloadElement(gRescueSocketIndex);
    const int index = LoadElement(m_options.rescueAddress, step);
    // The new element becomes the one CloseRescueSocket closes.
    gRescueSocketIndex = index;
    // Until it is deleted, an unloaded element's index may already belong
    // to a newer element: only this very element is connected.
    CTcpSocket* socket = m_tcpMan.at(index).socket;
    QTimer::singleShot(m_options.rescueRetryDelayMs, socket, [this, index, socket] {
        const auto found = m_tcpMan.find(index);
        if (found != m_tcpMan.end() && found->second.socket == socket)
            ConnectElement(index);
    });
}

void CEquipmentAccess::CloseRescueSocket()
{
    if (IsRescueElement(gRescueSocketIndex))
        UnloadElement(gRescueSocketIndex);
}

QList<int> CEquipmentAccess::LoadedElements() const
{
    QList<int> indexes;
    for (const auto& [index, element] : m_tcpMan)
        indexes.append(index);
    return indexes;
}

bool CEquipmentAccess::IsBusy(const QString& ipAddress) const
{
    // Every loaded element is still at work: elements are unloaded as soon as
    // their exchange ends. Attempts to other addresses go ahead in parallel.
    if (m_routeTests.contains(ipAddress))
        return true;
    for (const auto& [index, element] : m_tcpMan) {
        if (element.target == ipAddress)
            return true;
    }
    return false;
}

int CEquipmentAccess::LoadElement(const QString& target, EStep step)
{
    // Element 0 is never used: the first one loaded is 1.
    const int index = m_tcpMan.empty() ? 1 : m_tcpMan.rbegin()->first + 1;
    SElement element;
    element.socket = new CTcpSocket(this);
    element.replyTimer = new QTimer(element.socket);
    element.replyTimer->setSingleShot(true);
    element.target = target;
    element.step = step;
    connect(element.socket, &CTcpSocket::StateChanged, this,
            [this, index] { TcpMan_StateChanged(index); });
    connect(element.socket, &CTcpSocket::DataArrived, this,
            [this, index] { TcpMan_DataArrived(index); });
    connect(element.socket, &CTcpSocket::Error, this,
            [this, index](int number, const QString&) { TcpMan_Error(index, number); });
    connect(element.replyTimer, &QTimer::timeout, this,
            [this, index] { TcpMan_ReplyTimeout(index); });
    m_tcpMan.emplace(index, std::move(element));
    return index;
}

bool CEquipmentAccess::ConnectElement(int index)
{
    const auto found = m_tcpMan.find(index);
    if (found == m_tcpMan.end())
        return false;
    SElement& element = found->second;
    // SECURITY: only a dotted IPv4 address is connected; a name would be
    // handed to the resolver and go out to the network's name servers.
    const QHostAddress address(element.target);
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    // The time-out covers a connection that never completes as well.
    element.replyTimer->start(m_options.replyTimeoutMs);
    element.socket->Connect(element.target, m_options.port);
    return true;
}

void CEquipmentAccess::UnloadElement(int index)
{
    const auto found = m_tcpMan.find(index);
    if (found == m_tcpMan.end())
        return;
    CTcpSocket* socket = found->second.socket;
    QTimer* replyTimer = found->second.replyTimer;
    const bool attempt = found->second.step == EStep::Probe;
    const QString target = found->second.target;
    m_tcpMan.erase(found);
    // Nothing more of it reaches the handlers (its index may soon be another
    // element's); it may be inside one of its own signals now, so it goes
    // from the event loop.
    replyTimer->stop();
    replyTimer->disconnect(this);
    socket->disconnect(this);
    socket->Close();
    socket->deleteLater();
    // Every end of an attempt's exchange passes here, before its message.
    if (attempt)
        emit OnAttemptStep(target, EAttemptStep::Ended);
}

bool CEquipmentAccess::IsRescueElement(int index) const
{
    const auto found = m_tcpMan.find(index);
    return found != m_tcpMan.end() && found->second.step != EStep::Probe;
}

void CEquipmentAccess::TcpMan_StateChanged(int index)
{
    const auto found = m_tcpMan.find(index);
    if (found == m_tcpMan.end())
        return;
    SElement& element = found->second;
    if (element.socket->State() != CTcpSocket::kStateConnected) {
        // The close ends a reply that runs to it; any other reply is cut short
        // (an Error, when there was one, has unloaded the element already).
        const CTcpSocket* socket = element.socket;
        element.reply.Append(element.socket->Receive());
        element.reply.EndOfStream();
        ExamineReply(index);
        // Examined, the element may be gone and its index another's already.
        const auto still = m_tcpMan.find(index);
        if (still != m_tcpMan.end() && still->second.socket == socket)
            GiveUpElement(index);
        return;
    }
    element.replyTimer->start(m_options.replyTimeoutMs);
    if (element.step == EStep::RescueLogin)
        element.socket->Send(
            CEquipmentRequest::Login(element.target, gRescueUser, gRescuePassword));
    else
        element.socket->Send(CEquipmentRequest::Probe(element.target));
}

void CEquipmentAccess::TcpMan_DataArrived(int index)
{
    const auto found = m_tcpMan.find(index);
    if (found == m_tcpMan.end())
        return;
    found->second.reply.Append(found->second.socket->Receive());
    ExamineReply(index);
}

void CEquipmentAccess::ExamineReply(int index)
{
    if (m_tcpMan.at(index).step == EStep::Probe)
        ExamineProbeReply(index);
    else
        ExamineRescueReply(index);
}

void CEquipmentAccess::ExamineProbeReply(int index)
{
    const SElement& element = m_tcpMan.at(index);
    const SProbeVerdict verdict = element.reply.Examine();
    const QString target = element.target;
    switch (verdict.verdict) {
    case EProbeVerdict::Waiting: return;
    case EProbeVerdict::NoService:
    case EProbeVerdict::OlderInterface:
        UnloadElement(index);
        m_pages.ShowEquipmentPage(target, MEquipmentUrls::RootPage(target, m_options.port));
        return;
    case EProbeVerdict::NewerInterface:
        UnloadElement(index);
        m_pages.OpenEquipmentPage(MEquipmentUrls::HomePage(target, m_options.port));
        return;
    case EProbeVerdict::BadVersion:
        UnloadElement(index);
        // SECURITY: the equipment chose this text; it reaches the message cut short.
        Inform(
            QString::fromLatin1(kMsgUnknownVersion).arg(CMessageService::Bounded(verdict.version)));
        return;
    case EProbeVerdict::NoVersion:
    case EProbeVerdict::TooLong:
        UnloadElement(index);
        Inform(QString::fromLatin1(kMsgNoAccess));
        return;
    }
}

void CEquipmentAccess::ExamineRescueReply(int index)
{
    const SElement& element = m_tcpMan.at(index);
    const EStep step = element.step;
    const int code = element.reply.StatusCode();
    if (code == 404) {
        // The older interface has no rescue login: its pages, and the
        // sequence ends here.
        CloseRescueSocket();
        UnloadElement(index);
        m_pages.ShowEquipmentPage(
            m_options.rescueAddress,
            MEquipmentUrls::RootPage(m_options.rescueAddress, m_options.port));
        emit OnRescueStopped();
        return;
    }
    switch (element.reply.State()) {
    case EReplyState::Incomplete: return;
    case EReplyState::Malformed:
    case EReplyState::TooLong: GiveUpElement(index); return;
    case EReplyState::Complete: break;
    }
    if (step == EStep::RescueProbe) {
        // The probe has answered: log in on a new connection.
        UnloadElement(index);
        const int login = LoadElement(m_options.rescueAddress, EStep::RescueLogin);
        gRescueSocketIndex = login;
        gRescueProbeDone = true;
        ConnectElement(login);
        return;
    }
    CloseRescueSocket();
    UnloadElement(index);
    if (code < 200 || code > 299) {
        // A refused login is no success: the user may correct the credentials.
        Inform(QString::fromLatin1(kMsgRescueLoginRefused).arg(code));
        emit OnRescueStopped();
        return;
    }
    m_pages.OpenEquipmentPage(
        MEquipmentUrls::BridgePage(m_options.rescueAddress, gRescueUser, m_options.port));
    emit OnRescueFinished();
}

void CEquipmentAccess::TcpMan_Error(int index, int number)
{
    if (number == 0)
        return;
    GiveUpElement(index);
}

void CEquipmentAccess::TcpMan_ReplyTimeout(int index)
{
    GiveUpElement(index);
}

void CEquipmentAccess::GiveUpElement(int index)
{
    if (!m_tcpMan.contains(index))
        return;
    if (IsRescueElement(index)) {
        // A rescue element that is no longer the current one just goes.
        if (index == gRescueSocketIndex)
            RetryRescueSocket();
        else
            UnloadElement(index);
        return;
    }
    UnloadElement(index);
    Inform(QString::fromLatin1(kMsgNoAccess));
}

void CEquipmentAccess::Inform(const QString& text) const
{
    CMessageService::Show({text, m_options.messageTitle, EMessageIcon::Information});
}
