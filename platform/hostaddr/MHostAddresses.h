#pragma once

#include <QStringList>

// This PC's own IPv4 addresses, for choosing the one that faces the equipment.
// The host name is no guide here (Debian maps it to 127.0.1.1): the addresses
// are those of the network interfaces that are up, loopback left out, in the
// system's interface order, in dotted form.
QStringList GetLocalAddresses();
