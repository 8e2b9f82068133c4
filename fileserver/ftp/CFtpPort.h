#pragma once

#include <QString>

// The PORT command's argument: h1,h2,h3,h4,p1,p2 (RFC 959 section 4.1.2).
class CFtpPort final {
public:
    // Fields past the sixth are ignored; a missing field counts as 0.
    static constexpr int kHighByteField = 4;
    static constexpr int kLowByteField = 5;

    // The data port 256 * p1 + p2, from each field's leading decimal number
    // (blanks before it are skipped; 0 when it has none). The address fields
    // are not used: data connections go to the control connection's peer.
    // No range check here: see IsValidPort.
    static qint64 DataPort(const QString& argument);

    // Whether a data connection can be made to the port.
    static bool IsValidPort(qint64 port) { return port >= 1 && port <= 65535; }
};
