#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QString>

// Error numbers of the socket layer, the ones its callers test for.
inline constexpr int kSockAccessDenied = 10013;
inline constexpr int kSockAddressInUse = 10048;
inline constexpr int kSockAddressNotAvailable = 10049;
inline constexpr int kSockNetworkUnreachable = 10051;
inline constexpr int kSockConnectionReset = 10054;
inline constexpr int kSockNoBufferSpace = 10055;
inline constexpr int kSockNotConnected = 10057;
inline constexpr int kSockTimedOut = 10060;
inline constexpr int kSockConnectionRefused = 10061;
inline constexpr int kSockHostUnreachable = 10065;
inline constexpr int kSockHostNotFound = 11001;
inline constexpr int kSockOperationNotSupported = 10045;
inline constexpr int kSockGeneralFailure = 10000;

// The socket layer's number for a Qt socket error.
int SocketErrorNumber(QAbstractSocket::SocketError error);

// Dotted text of an address; IPv4 addresses that reach a dual-stack socket
// as IPv4-mapped IPv6 addresses are given in their plain IPv4 form.
QString DottedAddress(const QHostAddress& address);
