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

cFtpServer::cFtpServer(SFtpServerOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    if (m_options.servedFolder.isEmpty())
        m_options.servedFolder = QDir::currentPath();

    if (m_options.trayIcon) {
        m_tray = std::make_unique<FTray>(FTray::SOptions{
            ServerTitle(), [this] { return ActiveTransferCount() + TftpSessionCount(); }});
    }

    SFtpOptions ftp;
    ftp.servedFolder = m_options.servedFolder;
    ftp.serverTitle = ServerTitle();
    ftp.localDataPort = m_options.ftpDataPort;
    m_sessions = std::make_unique<cFtpSessions>(ftp);

    STftpOptions tftp;
    tftp.servedFolder = CServedFolder(m_options.servedFolder);
    tftp.port = m_options.tftpPort;
    tftp.retryIntervalMs = m_options.tftpRetryIntervalMs;
    tftp.firstSessionPort = m_options.tftpFirstSessionPort;
    tftp.lastSessionPort = m_options.tftpLastSessionPort;
    m_tftp = std::make_unique<CTftpDaemon>(tftp);
    // A port that cannot be bound ends the creation here; the members made so
    // far (the tray icon among them) go with the half-built object.
    m_tftp->StartService();

    m_listen = std::make_unique<FTcpListen>();
    connect(m_listen.get(), &FTcpListen::NewConnection, this, &cFtpServer::OnNewConnection);
    connect(m_listen.get(), &FTcpListen::ListenerError, this, &cFtpServer::OnListenerError);

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

void cFtpServer::ConnectSessionEvents()
{
    cFtpSessions* sessions = m_sessions.get();
    connect(sessions, &cFtpSessions::OnNewFtpSession, this,
            &cFtpServer::objTcpSessions_OnNewFtpSession);
    connect(sessions, &cFtpSessions::OnCloseFtpSession, this,
            &cFtpServer::objTcpSessions_OnCloseFtpSession);
    connect(sessions, &cFtpSessions::OnInitRetrive, this,
            [this](const QString& id) { objTcpSessions_OnInitTransfer(id, false); });
    connect(sessions, &cFtpSessions::OnInitStore, this,
            [this](const QString& id) { objTcpSessions_OnInitTransfer(id, true); });
    connect(sessions, &cFtpSessions::OnNewDataBlockRecv, this,
            &cFtpServer::objTcpSessions_OnNewDataBlockRecv);
    connect(sessions, &cFtpSessions::OnNewDataBlockSent, this,
            &cFtpServer::objTcpSessions_OnNewDataBlockSent);
    connect(sessions, &cFtpSessions::OnTransferTerminate, this,
            &cFtpServer::objTcpSessions_OnTransferTerminate);
    connect(sessions, &cFtpSessions::OnSessionStatusChange, this,
            &cFtpServer::OnSessionStatusChange);
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
    // Already listening: the one listener stays as it is.
    if (m_listen->IsListening())
        return;
    m_listenerErrorShown = false;
    m_listen->Listen(m_options.ftpPort);
}

void cFtpServer::OnListenerError(int number, const QString& description)
{
    emit FtpListenerFailed(number, description);
    // One box per Enable, however often the listener complains.
    if (m_listenerErrorShown)
        return;
    m_listenerErrorShown = true;
    CMessageService::Show(
        {description, ServerTitle(), EMessageIcon::Information, EMessageButtons::Ok});
}

void cFtpServer::OnNewConnection(qintptr handle)
{
    m_sessions->Add(handle);
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
    for (const cFtpSession* session : m_sessions->Sessions()) {
        m_monitor->AddSession(session->SessionID(), session->RemoteHost(),
                              static_cast<std::int16_t>(session->SessionStatus()),
                              session->FileName());
    }
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

void cFtpServer::objTcpSessions_OnNewFtpSession(const QString& sessionId, int numSession)
{
    // A session that has gone before this notification arrived raises nothing.
    const cFtpSession* session = m_sessions->Item(sessionId);
    if (!session)
        return;
    if (m_monitor) {
        m_monitor->AddSession(sessionId, session->RemoteHost(),
                              static_cast<std::int16_t>(session->SessionStatus()),
                              session->FileName());
    }
    emit OnNewFtpSession(sessionId, session->RemoteHost(), session->SessionStatus(), numSession);
}

void cFtpServer::objTcpSessions_OnCloseFtpSession(const QString& sessionId,
                                                  const QString& remoteHost, int numSession)
{
    if (m_monitor)
        m_monitor->RemoveSession(sessionId);
    emit OnCloseFtpSession(sessionId, remoteHost, numSession);
}

void cFtpServer::objTcpSessions_OnInitTransfer(const QString& sessionId, bool store)
{
    const cFtpSession* session = m_sessions->Item(sessionId);
    if (!session)
        return;
    ShowStatusInMonitor(*session, session->FileName());
    if (store)
        emit OnInitStore(sessionId, session->RemoteHost(), session->SessionStatus(),
                         session->FileName());
    else
        emit OnInitRetrive(sessionId, session->RemoteHost(), session->SessionStatus(),
                           session->FileName());
}

void cFtpServer::objTcpSessions_OnNewDataBlockRecv(const QString& sessionId, qint64 byteRecv)
{
    const cFtpSession* session = m_sessions->Item(sessionId);
    if (!session)
        return;
    if (m_monitor)
        m_monitor->CalculateRate(sessionId, byteRecv, 0);
    emit OnNewDataBlockRecv(sessionId, session->RemoteHost(), byteRecv);
}

void cFtpServer::objTcpSessions_OnNewDataBlockSent(const QString& sessionId, qint64 byteSent)
{
    const cFtpSession* session = m_sessions->Item(sessionId);
    if (!session)
        return;
    if (m_monitor)
        m_monitor->CalculateRate(sessionId, byteSent, session->FileSize());
    emit OnNewDataBlockSent(sessionId, session->RemoteHost(), byteSent, session->FileSize());
}

void cFtpServer::objTcpSessions_OnTransferTerminate(const QString& sessionId)
{
    if (const cFtpSession* session = m_sessions->Item(sessionId))
        ShowStatusInMonitor(*session, QString());
}

void cFtpServer::ShowStatusInMonitor(const cFtpSession& session, const QString& fileName)
{
    if (!m_monitor)
        return;
    // The monitor's view may lag behind; a failed update changes nothing here.
    try {
        m_monitor->SessionStatus(session.SessionID(),
                                 static_cast<std::int16_t>(session.SessionStatus()), fileName);
    } catch (const std::exception&) {
    }
}

FMonitor* cFtpServer::Monitor() const
{
    return m_monitor;
}
