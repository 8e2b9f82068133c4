#include "platform/sockets/CSocketHandle.h"

#include <unistd.h>

void CSocketHandle::Reset()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
    m_handle = -1;
}
