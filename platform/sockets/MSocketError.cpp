#include "platform/sockets/MSocketError.h"

int SocketErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return kSockConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError: return kSockConnectionReset;
    case QAbstractSocket::HostNotFoundError: return kSockHostNotFound;
    case QAbstractSocket::SocketAccessError: return kSockAccessDenied;
    case QAbstractSocket::SocketResourceError: return kSockNoBufferSpace;
    case QAbstractSocket::SocketTimeoutError: return kSockTimedOut;
    case QAbstractSocket::NetworkError: return kSockNetworkUnreachable;
    case QAbstractSocket::AddressInUseError: return kSockAddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError: return kSockAddressNotAvailable;
    case QAbstractSocket::UnsupportedSocketOperationError: return kSockOperationNotSupported;
    default: return kSockGeneralFailure;
    }
}

QString DottedAddress(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}
