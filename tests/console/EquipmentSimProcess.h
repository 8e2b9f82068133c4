#pragma once

#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTest>

// The simulated equipment (tools/equipment-sim) on a loopback address; its
// printed lines arrive from the event loop (wait for them with QTRY_*).
class CEquipmentSimProcess final {
public:
    CEquipmentSimProcess() = default;
    CEquipmentSimProcess(const CEquipmentSimProcess&) = delete;
    CEquipmentSimProcess& operator=(const CEquipmentSimProcess&) = delete;
    ~CEquipmentSimProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(10000); // else QProcess kills it
    }
    // Starts it on address:port (0: any free port) and waits until it listens.
    bool Start(const QString& address, const QStringList& arguments, quint16 port = 0)
    {
        m_address = address;
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine())
                m_lines.append(QString::fromUtf8(m_process.readLine()).trimmed());
        });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(EQUIPMENT_SIM_PATH),
                        QStringList{"--listen", QStringLiteral("%1:%2").arg(address).arg(port)}
                            + arguments);
        const QString listening = QStringLiteral("listening on %1:").arg(address);
        const bool said = QTest::qWaitFor(
            [&] { return !m_lines.isEmpty() || m_process.state() == QProcess::NotRunning; }, 20000);
        if (!said || m_lines.isEmpty() || !m_lines.first().startsWith(listening))
            return false;
        m_port = static_cast<quint16>(m_lines.first().mid(listening.size()).toUInt());
        return m_port != 0;
    }
    quint16 Port() const { return m_port; }
    const QString& Address() const { return m_address; }
    QStringList Lines() const { return m_lines.mid(1); }
    qsizetype Count(const QString& text) const { return Lines().filter(text).size(); }

private:
    QProcess m_process;
    QStringList m_lines;
    QString m_address;
    quint16 m_port = 0;
};

// A loopback port where nothing listens: bound, then let go.
inline quint16 ClosedLoopbackPort(const QString& address)
{
    QTcpServer server;
    server.listen(QHostAddress(address), 0);
    return server.serverPort();
}
