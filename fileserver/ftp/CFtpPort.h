#pragma once

#include <QString>

#include <optional>

// The arguments and replies that name a data port: PORT's h1,h2,h3,h4,p1,p2
// (RFC 959 section 4.1.2), PASV's answer in the same form, and EPRT's
// |protocol|address|port| (RFC 2428).
class CFtpPort final {
public:
    // Fields past the sixth are ignored; a missing field counts as 0.
    static constexpr int kHighByteField = 4;
    static constexpr int kLowByteField = 5;
    // RFC 2428's network protocol numbers.
    static constexpr int kProtocolIpv4 = 1;
    static constexpr int kProtocolIpv6 = 2;

    // What an EPRT argument names.
    struct SExtendedAddress {
        int protocol = 0; // any number; the caller decides which it takes
        QString address;  // as written, checked against the protocol when it is 1 or 2
        quint16 port = 0; // 1 to 65535
    };

    // The data port 256 * p1 + p2, from each field's leading decimal number
    // (blanks before it are skipped; 0 when it has none). The address fields
    // are not used: data connections go to the control connection's peer.
    // No range check here: see IsValidPort.
    static qint64 DataPort(const QString& argument);

    // Whether a data connection can be made to the port.
    static bool IsValidPort(qint64 port) { return port >= 1 && port <= 65535; }

    // "h1,h2,h3,h4,p1,p2" for an IPv4 address in dotted form; nothing for
    // any other address, which PASV cannot name.
    static std::optional<QString> PassiveArgument(const QString& host, quint16 port);

    // EPRT's argument: a delimiter (any printable ASCII character but a
    // digit), then protocol, address and port each followed by it. Nothing
    // when it is malformed, the port is out of range, or the address is not
    // one of the protocol it names.
    static std::optional<SExtendedAddress> ExtendedAddress(const QString& argument);

    // RFC 2428's protocol number of an address in text form; 0 for none.
    static int ProtocolOf(const QString& host);
};
