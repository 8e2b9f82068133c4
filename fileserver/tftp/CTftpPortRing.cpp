#include "fileserver/tftp/CTftpPortRing.h"

#include <QRandomGenerator>

#include <algorithm>

CTftpPortRing::CTftpPortRing(quint16 first, quint16 last)
{
    for (int port = first; port <= last; ++port)
        m_free.push_back(static_cast<quint16>(port));
    std::ranges::shuffle(m_free, *QRandomGenerator::system());
}

std::optional<quint16> CTftpPortRing::Take()
{
    if (m_free.empty())
        return std::nullopt;
    const quint16 port = m_free.front();
    m_free.pop_front();
    return port;
}

void CTftpPortRing::Give(quint16 port)
{
    m_free.push_back(port);
}
