#pragma once

#include "console/dialup/CPeerEntry.h"

#include <QByteArray>
#include <QString>

#include <optional>

// One change of the phonebook as the entry editor asks for it and the peers
// helper takes it on its standard input: "key=value" lines in UTF-8, the
// entry's fields rather than a file, so that the helper writes the file
// itself after checking every field.
//
//   op=create|write|remove     create fails where the entry exists
//   entry=NAME
//   device=/dev/ttyS0  speed=115200  modem=0|1  phone=  init=  user=
//   local=  flow=crtscts|nocrtscts|xonxoff  password=   (not for remove)
//
// An empty or absent password leaves the secrets files as they are.
class CPeerRequest final {
public:
    enum class EOperation { Create, Write, Remove };

    EOperation operation = EOperation::Write;
    QString entry;
    SPeerSettings settings;
    QString password;

    // The lines; the fields must hold no line break (Check refuses one).
    QByteArray Encode() const;

    // Reads the lines; nothing, with the reason in error, for a line that is
    // no "key=value", a key unknown or given twice, or one missing.
    static std::optional<CPeerRequest> Decode(const QByteArray& text, QString& error);

    // What is wrong with the request, for the user; empty when nothing is.
    // The editor and the helper run the same checks.
    QString Check() const;
};
