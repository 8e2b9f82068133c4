#pragma once

#include <QString>

// pppd's secrets files (pap-secrets, chap-secrets) as text: one line per
// client name, server and secret, "#" starting a comment. The console owns
// one line per user name, for any server ("*"); every other line stays as it
// was, byte for byte.
class CPeerSecrets final {
public:
    // The text with the user's line holding the password: the first such
    // line replaced, later ones dropped, or a line added at the end.
    static QString WithSecret(const QString& text, const QString& user, const QString& password);

    // The text without the user's lines.
    static QString WithoutUser(const QString& text, const QString& user);

    // True when the line is the user's: its client is the user, its server "*".
    static bool IsUserLine(const QString& line, const QString& user);
};
