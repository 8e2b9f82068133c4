// equipment-sim: a simulated equipment on an address and port of your
// choosing. It answers the console's version probe and rescue login and
// serves the pages a browser is sent to, and can misbehave on request.
// It prints one line when it listens and one per request line it gets.

#include "platform/system/CTerminationWatcher.h"
#include "tools/equipment-sim/CSimConnection.h"
#include "tools/equipment-sim/CSimPages.h"
#include "tools/equipment-sim/SSimOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <memory>
#include <optional>

namespace {

// One line of output, flushed at once so that a reading program sees it.
void Say(const QString& line)
{
    static QTextStream out(stdout);
    out << line << Qt::endl;
}

void Complain(const QString& line)
{
    static QTextStream err(stderr);
    err << line << Qt::endl;
}

// Reads the command line; --help answers and ends the program here.
std::optional<SSimOptions> ParseArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Acts as an equipment: answers the version probe (/Snmp.Get), the rescue login "
        "(/Snmp.Login) and serves /home.html, /orvaneBridge.asp and /."));
    parser.addHelpOption();
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Where to listen, e.g. 127.0.0.2:8080 (port "
                                                   "0: any free port, printed at start)."),
                                    QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption version(
        QStringLiteral("version"),
        QStringLiteral("Software version to report, any text (default 20.1.19). The console "
                       "opens /home.html when its last part starts with 19 or more."),
        QStringLiteral("VERSION"), QStringLiteral("20.1.19"));
    const QCommandLineOption older(QStringLiteral("older"),
                                   QStringLiteral("The older web interface: /Snmp.Get answers 404 "
                                                  "and / is titled \"http://ADDRESS - Link\"."));
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("User the rescue login accepts (default SYSTEM)."),
                                  QStringLiteral("USER"), QStringLiteral("SYSTEM"));
    const QCommandLineOption password(
        QStringLiteral("password"),
        QStringLiteral("Password the rescue login accepts (default KORVELAN)."),
        QStringLiteral("PASSWORD"), QStringLiteral("KORVELAN"));
    const QCommandLineOption split(QStringLiteral("split"),
                                   QStringLiteral("Answer in small pieces with pauses."));
    const QCommandLineOption silent(QStringLiteral("silent"),
                                    QStringLiteral("Accept and read, never answer."));
    const QCommandLineOption silentLogin(
        QStringLiteral("silent-login"),
        QStringLiteral("Answer the probe, never the rescue login."));
    const QCommandLineOption close(QStringLiteral("close"),
                                   QStringLiteral("Close every connection at once."));
    const QCommandLineOption endless(
        QStringLiteral("endless"),
        QStringLiteral("Answer the version probe with a body that never ends (up to 64 MiB)."));
    const QCommandLineOption chunked(
        QStringLiteral("chunked"),
        QStringLiteral("Send bodies as chunks of N bytes (Transfer-Encoding: chunked), with a "
                       "chunk extension on each size line and a trailer."),
        QStringLiteral("N"));
    const QCommandLineOption keepAlive(
        QStringLiteral("keep-alive"),
        QStringLiteral("Leave the connection open after a reply, for the next request."));
    const QCommandLineOption http10(
        QStringLiteral("http10"),
        QStringLiteral("Answer as HTTP/1.0: no length, the close ends the body."));
    const QCommandLineOption loginStatus(
        QStringLiteral("login-status"),
        QStringLiteral("Answer the rescue login with this HTTP status whatever the "
                       "credentials, e.g. 401."),
        QStringLiteral("CODE"));
    parser.addOptions({listen, version, older, user, password, split, silent, silentLogin, close,
                       endless, chunked, keepAlive, http10, loginStatus});
    parser.process(arguments);

    SSimOptions options;
    const QString where = parser.value(listen);
    const qsizetype colon = where.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const uint port = colon > 0 ? where.mid(colon + 1).toUInt(&portOk) : 0;
    if (colon <= 0 || !portOk || port > 65535 || !options.address.setAddress(where.left(colon))) {
        Complain(QStringLiteral("equipment-sim: --listen ADDRESS:PORT is needed, e.g. "
                                "--listen 127.0.0.2:8080"));
        return std::nullopt;
    }
    options.port = static_cast<quint16>(port);
    options.version = parser.value(version);
    options.older = parser.isSet(older);
    options.user = parser.value(user);
    options.password = parser.value(password);
    const int faults = int(parser.isSet(split)) + int(parser.isSet(silent))
                       + int(parser.isSet(silentLogin)) + int(parser.isSet(close))
                       + int(parser.isSet(endless));
    if (faults > 1) {
        Complain(QStringLiteral("equipment-sim: choose one of --split, --silent, "
                                "--silent-login, --close and --endless"));
        return std::nullopt;
    }
    if (parser.isSet(chunked) && parser.isSet(http10)) {
        Complain(QStringLiteral("equipment-sim: choose one of --chunked and --http10"));
        return std::nullopt;
    }
    if (parser.isSet(chunked)) {
        bool ok = false;
        options.chunkBytes = parser.value(chunked).toInt(&ok);
        if (!ok || options.chunkBytes < 1 || options.chunkBytes > 65536) {
            Complain(QStringLiteral("equipment-sim: --chunked N takes 1 to 65536 bytes"));
            return std::nullopt;
        }
        options.framing = SSimOptions::EFraming::Chunked;
    } else if (parser.isSet(http10)) {
        options.framing = SSimOptions::EFraming::ToClose;
    }
    options.keepAlive = parser.isSet(keepAlive);
    if (parser.isSet(loginStatus)) {
        bool ok = false;
        options.loginStatus = parser.value(loginStatus).toInt(&ok);
        if (!ok || options.loginStatus < 100 || options.loginStatus > 599) {
            Complain(QStringLiteral("equipment-sim: --login-status CODE takes 100 to 599"));
            return std::nullopt;
        }
    }
    if (parser.isSet(split))
        options.fault = SSimOptions::EFault::Split;
    else if (parser.isSet(silent))
        options.fault = SSimOptions::EFault::Silent;
    else if (parser.isSet(silentLogin))
        options.fault = SSimOptions::EFault::SilentLogin;
    else if (parser.isSet(close))
        options.fault = SSimOptions::EFault::Close;
    else if (parser.isSet(endless))
        options.fault = SSimOptions::EFault::Endless;
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("equipment-sim"));
    const std::optional<SSimOptions> options = ParseArguments(QCoreApplication::arguments());
    if (!options)
        return 2;

    const CSimPages pages(*options);
    QTcpServer server;
    if (!server.listen(options->address, options->port)) {
        Complain(QStringLiteral("equipment-sim: cannot listen on %1:%2: %3")
                     .arg(options->address.toString())
                     .arg(options->port)
                     .arg(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, &server, [&] {
        while (QTcpSocket* accepted = server.nextPendingConnection()) {
            std::unique_ptr<QTcpSocket> socket(accepted);
            socket->setParent(nullptr);
            auto* connection = new CSimConnection(std::move(socket), pages, *options, Say, &server);
            QObject::connect(connection, &CSimConnection::OnEnded, connection,
                             &QObject::deleteLater);
        }
    });

    CTerminationWatcher watcher;
    QObject::connect(&watcher, &CTerminationWatcher::TerminationRequested, &app,
                     [] { QCoreApplication::quit(); });
    Say(QStringLiteral("listening on %1:%2")
            .arg(options->address.toString())
            .arg(server.serverPort()));
    return app.exec();
}
