#pragma once

#include <QByteArray>
#include <QString>

// The two requests the console sends an equipment, byte for byte. Each goes
// out in one send on a fresh connection; host is the dotted address the
// connection was made to.
class CEquipmentRequest final {
public:
    // The object identifier whose value is the equipment's software version.
    static constexpr char kVersionOid[] = "1.2.1.1.2.0";

    // POST of ["1.2.1.1.2.0"] to /Snmp.Get: asks for the software version.
    static QByteArray Probe(const QString& host);

    // POST of ["user","password"] to /Snmp.Login: the rescue login. Both texts
    // are JSON-escaped and sent as UTF-8; Content-Length is the body's length
    // in bytes (21 for the rescue dialog's defaults).
    static QByteArray Login(const QString& host, const QString& user, const QString& password);

    // The text as a JSON string's contents: quote, backslash and control
    // characters escaped, UTF-8.
    static QByteArray JsonEscaped(const QString& text);
};
