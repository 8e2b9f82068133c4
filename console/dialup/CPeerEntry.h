#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How the serial line paces the data: RTS/CTS wires ("crtscts", the
// default Debian's /etc/ppp/options sets), none, for a three-wire cable
// ("nocrtscts"), or XON/XOFF characters ("xonxoff").
enum class EFlowControl { Hardware, None, Software };

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
    EFlowControl flowControl = EFlowControl::Hardware;

    bool operator==(const SPeerSettings&) const = default;
};

// One peers file as lines. The editor owns the lines of its settings (the
// device, the speed, "local" or "modem", its own chat connect line, "user",
// the local address or "noipdefault", the flow control); every other line stays as it was and
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
    // Nothing may hold a line break or another control character.
    static QString Validate(const SPeerSettings& settings);
    // The same for an entry's name, which is its file's name.
    static QString ValidateName(const QString& name);
    // The same for a password, which goes to pppd's secrets files, never to
    // the entry; one needs the entry's user name.
    static QString ValidatePassword(const QString& password, const QString& userName);

    // pppd's word for a flow control, and back; nothing for another word.
    static QString FlowControlWord(EFlowControl flow);
    static std::optional<EFlowControl> FlowControlOf(const QString& word);

    // The speeds a serial line can be set to, in bit/s.
    static const QList<int>& Speeds();

private:
    QStringList m_lines;
    SPeerSettings m_settings;
    QString m_remoteAddress; // the far end part of a "local:remote" line, kept
};
