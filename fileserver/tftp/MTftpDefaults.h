#pragma once

#include <QtGlobal>

// The TFTP service's own values, said once. Hosts and tests that want others
// pass them in STftpOptions (or SFtpServerOptions).

// The well-known TFTP port the listener binds (RFC 1350 section 4).
inline constexpr quint16 kTftpPort = 69;
// How long a transfer waits for its client before it sends again.
inline constexpr int kTftpRetryIntervalMs = 5000;
// The range a transfer draws its own port from.
inline constexpr quint16 kTftpFirstSessionPort = 1000;
inline constexpr quint16 kTftpLastSessionPort = 2000;
// The most transfers that run at once; a request beyond them is answered
// "Server busy". Each holds two descriptors at most (see CTftpSession).
inline constexpr int kTftpMaxSessions = 512;
// The bytes a window of DATA (RFC 7440) may take in a socket buffer; 0: the
// system's default receive buffer, which a client on the same system has too.
inline constexpr int kTftpWindowBufferBytes = 0;
// The block number after 65535 for a client that does not ask (option
// rollover): 1, as the equipment expects; most clients expect 0.
inline constexpr quint16 kTftpRollover = 1;
