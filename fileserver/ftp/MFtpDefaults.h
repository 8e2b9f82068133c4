#pragma once

#include <QtGlobal>

// RFC 959 section 3.2: the well-known ports of FTP. Hosts and tests that want
// others pass them in SFtpOptions.
inline constexpr quint16 kFtpPort = 21;     // control connections
inline constexpr quint16 kFtpDataPort = 20; // active data connections

// A data connection that is not open after this long fails with 425.
inline constexpr int kFtpDataConnectTimeoutMs = 30 * 1000;
// A control connection with no command for this long is answered 421 and closed.
inline constexpr int kFtpIdleTimeoutMs = 300 * 1000;
