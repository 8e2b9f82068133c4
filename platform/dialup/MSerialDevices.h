#pragma once

#include <QString>
#include <QStringList>

// The serial devices a PPP link can use: the /dev/ttyS*, /dev/ttyUSB* and
// /dev/ttyACM* present, as full paths, in natural order (ttyS2 before ttyS10).
QStringList ListSerialDevices(const QString& deviceFolder = QStringLiteral("/dev"));
