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

    m_sessions = std::make_unique<cFtpSessions>(
        SFtpOptions{CServedFolder(m_options.servedFolder), ServerTitle(), m_options.ftpDataPort});

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
    connect(m_listen.get(), &FTcpListen::OnNewConnection, this,
            &cFtpServer::listen_OnNewConnection);
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

void cFtpServer::ConnectSessionEvents()
{
    cFtpSessions* sessions = m_sessions.get();
    connect(sessions, &cFtpSessions::OnNewFtpSession, this,
            &cFtpServer::objTcpSessions_OnNewFtpSession);
    connect(sessions, &cFtpSessions::OnCloseFtpSession, this,
            &cFtpServer::objTcpSessions_OnCloseFtpSession);
    connect(sessions, &cFtpSessions::OnInitRetrive, this,
            &cFtpServer::objTcpSessions_OnInitRetrive);
    connect(sessions, &cFtpSessions::OnInitStore, this, &cFtpServer::objTcpSessions_OnInitStore);
    connect(sessions, &cFtpSessions::OnNewDataBlockRecv, this,
            &cFtpServer::objTcpSessions_OnNewDataBlockRecv);
    // Called for every block of a retrieve: a direct call, not a signal.
    sessions->SetBlockSentHandler([this](const QString& sessionId, const QString& remoteHost,
                                         qint64 byteSent, qint64 totalByte) {
        objTcpSessions_OnNewDataBlockSent(sessionId, remoteHost, byteSent, totalByte);
    });
    connect(sessions, &cFtpSessions::OnTransferTerminate, this,
            &cFtpServer::objTcpSessions_OnTransferTerminate);
    connect(sessions, &cFtpSessions::OnSessionStatusChange, this,
            &cFtpServer::OnSessionStatusChange);
    // A session whose control connection failed leaves without OnCloseFtpSession.
    connect(sessions, &cFtpSessions::OnSessionRemoved, this, [this](const QString& sessionId) {
        if (m_monitor)
            m_monitor->RemoveSession(sessionId);
    });
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

void cFtpServer::listen_OnNewConnection(qintptr handle)
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
    // The monitor shows what the session events told: a session appears with
    // its greeting (objTcpSessions_OnNewFtpSession adds the later ones).
    for (const cFtpSession* session : m_sessions->Sessions()) {
        if (!session->IsGreeted())
            continue;
        m_monitor->AddSession(session->SessionID(), session->RemoteHost(), session->SessionStatus(),
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
    // The row may be there already when a monitor opened inside the handler
    // of an earlier event; an exception must not leave this slot.
    if (m_monitor && !m_monitor->HasSession(sessionId)) {
        m_monitor->AddSession(sessionId, session->RemoteHost(), session->SessionStatus(),
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

// The transfer events carry what they tell: they are raised also when the
// session has left the collection before its transfer ended.
void cFtpServer::objTcpSessions_OnInitRetrive(const QString& sessionId, const QString& remoteHost,
                                              int sessionStatus, const QString& fileName)
{
    ShowStatusInMonitor(sessionId, sessionStatus, fileName);
    emit OnInitRetrive(sessionId, remoteHost, sessionStatus, fileName);
}

void cFtpServer::objTcpSessions_OnInitStore(const QString& sessionId, const QString& remoteHost,
                                            int sessionStatus, const QString& fileName)
{
    ShowStatusInMonitor(sessionId, sessionStatus, fileName);
    emit OnInitStore(sessionId, remoteHost, sessionStatus, fileName);
}

void cFtpServer::objTcpSessions_OnNewDataBlockRecv(const QString& sessionId,
                                                   const QString& remoteHost, qint64 byteRecv)
{
    if (m_monitor)
        m_monitor->CalculateRate(sessionId, byteRecv, 0);
    emit OnNewDataBlockRecv(sessionId, remoteHost, byteRecv);
}

void cFtpServer::objTcpSessions_OnNewDataBlockSent(const QString& sessionId,
                                                   const QString& remoteHost, qint64 byteSent,
                                                   qint64 totalByte)
{
    if (m_monitor)
        m_monitor->CalculateRate(sessionId, byteSent, totalByte);
    emit OnNewDataBlockSent(sessionId, remoteHost, byteSent, totalByte);
}

void cFtpServer::objTcpSessions_OnTransferTerminate(const QString& sessionId, int sessionStatus)
{
    ShowStatusInMonitor(sessionId, sessionStatus, QString());
}

void cFtpServer::ShowStatusInMonitor(const QString& sessionId, int sessionStatus,
                                     const QString& fileName)
{
    // The row of a session that has closed is gone: nothing to show.
    if (m_monitor && m_monitor->HasSession(sessionId))
        m_monitor->SessionStatus(sessionId, static_cast<std::int16_t>(sessionStatus), fileName);
}

FMonitor* cFtpServer::Monitor() const
{
    return m_monitor;
}
