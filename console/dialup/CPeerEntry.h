#pragma once

#include <QString>
#include <QStringList>

// What the entry editor shows of a phonebook entry (a pppd peers file).
struct SPeerSettings {
    QString device = QStringLiteral("/dev/ttyS0");
    int speed = 115200;
    // False: a direct serial cable ("local"); true: a modem ("modem" and a
    // chat connect script that dials the number).
    bool modem = false;
    QString phoneNumber;
    QString initString;
    QString userName;
    // This PC's end of the link; empty when the equipment gives it.
    QString localAddress;

    bool operator==(const SPeerSettings&) const = default;
};

// One peers file as lines. The editor owns the lines of its settings (the
// device, the speed, "local" or "modem", its own chat connect line, "user",
// the local address or "noipdefault"); every other line stays as it was and
// where it was.
class CPeerEntry final {
public:
    // The start of a new entry: a few lines every link of the console wants.
    static CPeerEntry FromTemplate();
    static CPeerEntry Parse(const QString& text);

    SPeerSettings Settings() const { return m_settings; }
    void SetSettings(const SPeerSettings& settings) { m_settings = settings; }

    // The file's text with the settings written into it.
    QString Text() const;

    // What is wrong with the settings, for the user; empty when nothing is.
    static QString Validate(const SPeerSettings& settings);

private:
    QStringList m_lines;
    SPeerSettings m_settings;
    QString m_remoteAddress; // the far end part of a "local:remote" line, kept
};
