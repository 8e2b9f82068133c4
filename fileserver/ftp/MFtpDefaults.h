#pragma once

#include <QtGlobal>

// RFC 959 section 3.2: the well-known ports of FTP. Hosts and tests that want
// others pass them in SFtpOptions (or SFtpServerOptions).
inline constexpr quint16 kFtpPort = 21;     // control connections
inline constexpr quint16 kFtpDataPort = 20; // active data connections
