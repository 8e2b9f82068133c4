#pragma once

#include "console/help/CWebRoot.h"
#include "console/help/MHttpReply.h"
#include "console/help/MHttpRequestHead.h"
#include "console/help/SWicklowOptions.h"

#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>

class CHttpConnection;
class QTcpServer;

// The console's help web server: serves the files of the web root over HTTP
// to this computer only (127.0.0.1 unless the creator says otherwise).
// It answers GET and HEAD; every other method gets 405. No request reaches
// a file outside the web root.
//
// Any local program, and any web page the user has open, can reach the
// port, so the server keeps to SWicklowOptions' limits: no request body
// (413 for GET and HEAD, 405 for the rest, at once, then close), a Host
// other than 127.0.0.1 or localhost with the port gets 421 and close (a page
// of another name that resolves here), and CHttpConnection's bounds on heads,
// pipelined requests and idle connections.
class Wicklow final : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 kHelpPort = 8133;

    // Results of OpenRootFolder and StartListening.
    static constexpr long kOk = 0;
    static constexpr long kPathNotFound = 3; // the web root is not a folder
    // Listening failures give the socket layer's number, for example
    // 10048 (the port is held) or 10013 (access denied).
    static constexpr long kAddressInUse = 10048;

    // Values of OnStatusChange.
    static constexpr long kStatusPortInUse = 1;

    explicit Wicklow(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost),
                     const SWicklowOptions& options = SWicklowOptions(), QObject* parent = nullptr);
    ~Wicklow() override;

    // Takes the folder to serve; kPathNotFound when it is no folder.
    long OpenRootFolder(const QString& folder);

    // Serves the folder on the port (0: the system chooses one) and stops
    // any earlier listening. When another process holds the port, raises
    // OnStatusChange(kStatusPortInUse) before it returns 10048.
    long StartListening(const QString& folder, quint16 port);

    bool IsListening() const;

    // The address really listened on, "http://127.0.0.1:8133/"; empty when
    // not listening.
    QUrl BaseUrl() const;

    QString RootFolder() const { return m_root.Folder(); }

    // Connections open now.
    int ConnectionCount() const { return int(m_connections.size()); }

signals:
    void OnStatusChange(long status);

private:
    void listener_NewConnection();
    SHttpReply Respond(const SHttpRequestHead& request) const;

    QHostAddress m_address;
    const SWicklowOptions m_options;
    CWebRoot m_root{QString()};
    std::unique_ptr<QTcpServer> m_listener;
    QSet<CHttpConnection*> m_connections; // open ones, children of this object
    quint16 m_port = 0;
};
