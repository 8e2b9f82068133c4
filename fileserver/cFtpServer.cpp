#include "fileserver/cFtpServer.h"

#include "common/messages/CMessageService.h"
#include "fileserver/ftp/FTcpListen.h"
#include "fileserver/ftp/cFtpSession.h"
#include "fileserver/ftp/cFtpSessions.h"
#include "fileserver/tftp/CTftpDaemon.h"
#include "fileserver/ui/FMonitor.h"
#include "fileserver/ui/FTray.h"

#include <QApplication>
#include <QDir>
#include <QMetaMethod>

cFtpServer::cFtpServer(SFtpServerOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    const CServedFolder folder(m_options.servedFolder.isEmpty() ? QDir::currentPath()
                                                                : m_options.servedFolder);
    m_options.ftp.servedFolder = folder;
    m_options.ftp.serverTitle = ServerTitle();
    m_options.tftp.servedFolder = folder;
    m_options.tftp.listenAddresses = m_options.listenAddresses;

    if (m_options.trayIcon) {
        m_tray = std::make_unique<FTray>(FTray::SOptions{
            ServerTitle(), [this] { return ActiveTransferCount() + TftpSessionCount(); }});
    }

    m_sessions = std::make_unique<cFtpSessions>(m_options.ftp);

    m_tftp = std::make_unique<CTftpDaemon>(m_options.tftp);
    // A port that cannot be bound ends the creation here; the members made so
    // far (the tray icon among them) go with the half-built object.
    m_tftp->StartService();

    m_listen = std::make_unique<FTcpListen>();
    connect(m_listen.get(), &FTcpListen::OnNewConnection, m_sessions.get(), &cFtpSessions::Add);
    connect(m_listen.get(), &FTcpListen::OnListenerError, this,
            &cFtpServer::listen_OnListenerError);

    ConnectSessionEvents();
    if (m_tray) {
        connect(m_tray.get(), &FTray::TrayEvent, this, &cFtpServer::RaiseTrayEvent);
        connect(m_tftp.get(), &CTftpDaemon::NewTftpSessionStarted, m_tray.get(),
                &FTray::StartBlinking);
        connect(this, &cFtpServer::OnInitRetrive, m_tray.get(), &FTray::StartBlinking);
        connect(this, &cFtpServer::OnInitStore, m_tray.get(), &FTray::StartBlinking);
    }
}

cFtpServer::~cFtpServer()
{
    CloseMe();
}

// The collection's events carry what the console is told: they are passed on
// as they are, also for a transfer whose session has left the collection.
void cFtpServer::ConnectSessionEvents()
{
    cFtpSessions* sessions = m_sessions.get();
    connect(sessions, &cFtpSessions::OnNewFtpSession, this, &cFtpServer::OnNewFtpSession);
    connect(sessions, &cFtpSessions::OnCloseFtpSession, this, &cFtpServer::OnCloseFtpSession);
    connect(sessions, &cFtpSessions::OnInitRetrive, this, &cFtpServer::OnInitRetrive);
    connect(sessions, &cFtpSessions::OnInitStore, this, &cFtpServer::OnInitStore);
    connect(sessions, &cFtpSessions::OnNewDataBlockRecv, this, &cFtpServer::OnNewDataBlockRecv);
    // Raised for every block of a retrieve: passed on by a direct call, which
    // costs less than a second signal.
    // An emission nobody hears still costs about a third of a block's work:
    // it is left out while nothing is connected (no monitor open, no host
    // that follows the blocks).
    sessions->SetBlockSentHandler([this](const QString& sessionId, const QString& remoteHost,
                                         qint64 byteSent, qint64 totalByte) {
        if (m_blockSentReceivers > 0)
            emit OnNewDataBlockSent(sessionId, remoteHost, byteSent, totalByte);
    });
    connect(sessions, &cFtpSessions::OnSessionStatusChange, this,
            &cFtpServer::OnSessionStatusChange);
}

void cFtpServer::connectNotify(const QMetaMethod& signal)
{
    if (signal == QMetaMethod::fromSignal(&cFtpServer::OnNewDataBlockSent))
        ++m_blockSentReceivers;
}

void cFtpServer::disconnectNotify(const QMetaMethod& signal)
{
    if (signal == QMetaMethod::fromSignal(&cFtpServer::OnNewDataBlockSent))
        --m_blockSentReceivers;
}

void cFtpServer::SetEnable(bool enable)
{
    if (!m_listen)
        return;
    m_enable = enable;
    if (!enable) {
        m_listen->Close();
        return;
    }
    // Already listening: the listeners stay as they are.
    if (m_listen->IsListening())
        return;
    m_listenerErrorShown = false;
    m_listen->Listen(m_options.ftp.port, m_options.listenAddresses.isEmpty()
                                             ? QList<QHostAddress>{QHostAddress::Any}
                                             : m_options.listenAddresses);
}

void cFtpServer::listen_OnListenerError(int number, const QString& description)
{
    emit OnFtpListenerFailed(number, description);
    // One box per Enable, however often the listener complains.
    if (m_listenerErrorShown)
        return;
    m_listenerErrorShown = true;
    CMessageService::Show(
        {description, ServerTitle(), EMessageIcon::Information, EMessageButtons::Ok});
}

void cFtpServer::SetEnableMonitor(bool enable)
{
    if (enable == m_enableMonitor || !m_sessions)
        return;
    if (!enable) {
        m_enableMonitor = false;
        if (m_monitor)
            m_monitor->close();
        return;
    }
    // A modal dialog owns the input now, and a host without windows has none to show.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())
        || QApplication::activeModalWidget()) {
        CMessageService::Show({QLatin1String(kCantShowNow), QLatin1String(kApplicationTitle),
                               EMessageIcon::Information, EMessageButtons::Ok});
        return;
    }
    OpenMonitor();
    m_enableMonitor = true;
}

void cFtpServer::OpenMonitor()
{
    m_monitor = new FMonitor;
    m_monitor->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_monitor, &FMonitor::Closed, this, [this] { SetEnableMonitor(false); });
    // The monitor shows what the session events told: a session appears with
    // its greeting, and OnNewFtpSession adds the later ones.
    for (const cFtpSession* session : m_sessions->Sessions()) {
        if (!session->IsGreeted())
            continue;
        m_monitor->AddSession(session->SessionID(), session->RemoteHost(), session->SessionStatus(),
                              session->FileName());
    }
    FMonitor* monitor = m_monitor;
    connect(this, &cFtpServer::OnNewFtpSession, monitor, &FMonitor::ShowNewSession);
    connect(this, &cFtpServer::OnCloseFtpSession, monitor, &FMonitor::RemoveSession);
    connect(this, &cFtpServer::OnInitRetrive, monitor, &FMonitor::ShowTransferStart);
    connect(this, &cFtpServer::OnInitStore, monitor, &FMonitor::ShowTransferStart);
    connect(this, &cFtpServer::OnNewDataBlockRecv, monitor, &FMonitor::ShowBytesReceived);
    connect(this, &cFtpServer::OnNewDataBlockSent, monitor, &FMonitor::ShowBytesSent);
    connect(this, &cFtpServer::OnSessionStatusChange, monitor, &FMonitor::ShowStatusChange);
    // A session whose control connection failed leaves without OnCloseFtpSession.
    connect(m_sessions.get(), &cFtpSessions::OnSessionRemoved, monitor, &FMonitor::RemoveSession);
    m_monitor->show();
}

void cFtpServer::SetEnableExitMenu(bool enable)
{
    if (m_tray)
        m_tray->EnableExitMenu(enable);
}

void cFtpServer::CloseMe()
{
    if (m_monitor) {
        m_enableMonitor = false;
        delete m_monitor;
    }
    m_tray.reset();
    if (m_listen)
        m_listen->Close();
    m_listen.reset();
    m_sessions.reset();
    m_tftp.reset();
}

quint16 cFtpServer::FtpPort() const
{
    return m_listen && m_listen->IsListening() ? m_listen->LocalPort() : 0;
}

quint16 cFtpServer::TftpPort() const
{
    return m_tftp ? m_tftp->LocalPort() : 0;
}

int cFtpServer::ActiveTransferCount() const
{
    return m_sessions ? m_sessions->ActiveTransferCount() : 0;
}

int cFtpServer::TftpSessionCount() const
{
    return m_tftp ? m_tftp->TftpSessionCount() : 0;
}

void cFtpServer::RaiseTrayEvent(TrayEvents code)
{
    emit OnTrayEvent(code);
}

FMonitor* cFtpServer::Monitor() const
{
    return m_monitor;
}
