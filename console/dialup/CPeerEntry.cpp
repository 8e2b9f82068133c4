#include "console/dialup/CPeerEntry.h"

#include "platform/dialup/MPppdProgram.h"

#include <QRegularExpression>

#include <array>
#include <map>

namespace {

// The kinds of line the editor owns, in the order new lines are appended.
enum class ESlot { Device, Speed, LineMode, Flow, Connect, User, Address, None };

constexpr std::array kSlots = {ESlot::Device,  ESlot::Speed, ESlot::LineMode, ESlot::Flow,
                               ESlot::Connect, ESlot::User,  ESlot::Address};

struct SFlowWord {
    EFlowControl flow;
    const char* word;
};
constexpr std::array kFlowWords = {SFlowWord{EFlowControl::Hardware, "crtscts"},
                                   SFlowWord{EFlowControl::None, "nocrtscts"},
                                   SFlowWord{EFlowControl::Software, "xonxoff"}};

// A password is kept to what pppd's secrets files and a terminal can carry.
constexpr int kMaxPassword = 255;

constexpr const char* kChat = "/usr/sbin/chat";

const QRegularExpression& AddressLine()
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,3}(?:\\.\\d{1,3}){3})?:(\\S*)$"));
    return pattern;
}
const QRegularExpression& DialCommand()
{
    static const QRegularExpression pattern(QStringLiteral("'ATD([^']*)'"));
    return pattern;
}
const QRegularExpression& InitCommand()
{
    static const QRegularExpression pattern(QStringLiteral("OK '([^']*)' OK 'ATD"));
    return pattern;
}

bool IsOwnConnectLine(const QString& line)
{
    return line.startsWith(QStringLiteral("connect ")) && line.contains(QLatin1StringView(kChat))
           && DialCommand().match(line).hasMatch();
}

ESlot SlotOf(const QString& rawLine)
{
    const QString line = rawLine.trimmed();
    // pppd takes a word that is a path as the serial device.
    if (line.startsWith(u'/') && !line.contains(u' '))
        return ESlot::Device;
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    if (digits.match(line).hasMatch())
        return ESlot::Speed;
    if (line == QStringLiteral("local") || line == QStringLiteral("modem"))
        return ESlot::LineMode;
    if (CPeerEntry::FlowControlOf(line))
        return ESlot::Flow;
    if (IsOwnConnectLine(line))
        return ESlot::Connect;
    if (line.startsWith(QStringLiteral("user ")))
        return ESlot::User;
    if (line == QStringLiteral("noipdefault") || AddressLine().match(line).hasMatch())
        return ESlot::Address;
    return ESlot::None;
}

QString Unquote(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        text = text.mid(1, text.size() - 2);
    return text;
}

bool AllowedText(const QString& text, const QString& forbidden)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || forbidden.contains(c))
            return false;
    }
    return true;
}

} // namespace

CPeerEntry CPeerEntry::FromTemplate()
{
    CPeerEntry entry;
    entry.m_lines = QStringList{QStringLiteral("# PPP link to the equipment, written by Pelion."),
                                QStringLiteral("lock"), QStringLiteral("noauth"),
                                QStringLiteral("nodefaultroute")};
    return entry;
}

CPeerEntry CPeerEntry::Parse(const QString& text)
{
    CPeerEntry entry;
    entry.m_lines = text.split(u'\n');
    if (!entry.m_lines.isEmpty() && entry.m_lines.last().isEmpty())
        entry.m_lines.removeLast(); // the final line break
    bool modemLine = false;
    for (const QString& rawLine : std::as_const(entry.m_lines)) {
        const QString line = rawLine.trimmed();
        SPeerSettings& s = entry.m_settings;
        switch (SlotOf(line)) {
        case ESlot::Device: s.device = line; break;
        case ESlot::Speed: s.speed = line.toInt(); break;
        case ESlot::LineMode: modemLine = line == QStringLiteral("modem"); break;
        case ESlot::Flow: s.flowControl = *FlowControlOf(line); break;
        case ESlot::Connect: {
            s.phoneNumber = DialCommand().match(line).captured(1);
            s.initString = InitCommand().match(line).captured(1);
            break;
        }
        case ESlot::User: s.userName = Unquote(line.mid(5)); break;
        case ESlot::Address: {
            const QRegularExpressionMatch match = AddressLine().match(line);
            if (match.hasMatch()) {
                s.localAddress = match.captured(1);
                entry.m_remoteAddress = match.captured(2);
            }
            break;
        }
        case ESlot::None: break;
        }
    }
    // Without "local", pppd uses the modem lines; a dial number says modem too.
    entry.m_settings.modem = modemLine || !entry.m_settings.phoneNumber.isEmpty();
    return entry;
}

QString CPeerEntry::Text() const
{
    const SPeerSettings& s = m_settings;
    std::map<ESlot, QStringList> rendered;
    rendered[ESlot::Device] = {s.device};
    rendered[ESlot::Speed] = {QString::number(s.speed)};
    rendered[ESlot::LineMode] = {s.modem ? QStringLiteral("modem") : QStringLiteral("local")};
    rendered[ESlot::Flow] = {FlowControlWord(s.flowControl)};
    if (s.modem && !s.phoneNumber.isEmpty()) {
        QString script = QStringLiteral("ABORT BUSY ABORT 'NO CARRIER' ABORT 'NO DIALTONE' "
                                        "'' 'ATZ'");
        if (!s.initString.isEmpty())
            script += QStringLiteral(" OK '%1'").arg(s.initString);
        script += QStringLiteral(" OK 'ATD%1' CONNECT ''").arg(s.phoneNumber);
        rendered[ESlot::Connect] = {
            QStringLiteral("connect \"%1 -v -t 60 %2\"").arg(QLatin1StringView(kChat), script)};
    }
    if (!s.userName.isEmpty())
        rendered[ESlot::User] = {QStringLiteral("user \"%1\"").arg(s.userName)};
    if (!s.localAddress.isEmpty())
        rendered[ESlot::Address] = {s.localAddress + u':' + m_remoteAddress};
    else if (!m_remoteAddress.isEmpty())
        rendered[ESlot::Address] = {QStringLiteral("noipdefault"), u':' + m_remoteAddress};
    else
        rendered[ESlot::Address] = {QStringLiteral("noipdefault")};

    // Each owned line is rewritten where its first one stood; repeats go.
    QStringList out;
    std::map<ESlot, bool> written;
    for (const QString& line : m_lines) {
        const ESlot slot = SlotOf(line);
        if (slot == ESlot::None) {
            out << line;
        } else if (!written[slot]) {
            written[slot] = true;
            out << rendered[slot];
        }
    }
    for (const ESlot slot : kSlots) {
        if (!written[slot])
            out << rendered[slot];
    }
    return out.join(u'\n') + u'\n';
}

QString CPeerEntry::Validate(const SPeerSettings& s)
{
    // SECURITY: the device, the user name, the number and the init string end
    // up in pppd's options and in the shell command of the connect script;
    // quotes, backslashes and control characters could add options or commands.
    static const QRegularExpression device(
        QStringLiteral("^/dev/[A-Za-z0-9_.+-]+(/[A-Za-z0-9_.+-]+)*$"));
    if (!device.match(s.device).hasMatch() || s.device.contains(QStringLiteral("/..")))
        return QStringLiteral("Choose the serial device of the link (a /dev/tty... device).");
    if (!Speeds().contains(s.speed))
        return QStringLiteral("Choose a speed a serial line can take, such as 115200.");
    if (s.modem) {
        static const QRegularExpression number(QStringLiteral("^[0-9*#,+ PTWptw()-]+$"));
        if (!number.match(s.phoneNumber).hasMatch())
            return QStringLiteral("Enter the phone number of the equipment's modem (digits, "
                                  "blanks and * # , + - only).");
        if (!AllowedText(s.initString, QStringLiteral("'\"\\`")))
            return QStringLiteral("The init string may not hold quotes or backslashes.");
    } else if (!AllowedText(s.phoneNumber, {}) || !AllowedText(s.initString, {})) {
        // Not written for a cable, but a helper that writes as root checks all it is given.
        return QStringLiteral("The phone number and the init string may not hold control "
                              "characters.");
    }
    if (!AllowedText(s.userName, QStringLiteral("\"\\")))
        return QStringLiteral("The user name may not hold quotes or backslashes.");
    static const QRegularExpression dottedQuad(
        QStringLiteral("^(25[0-5]|2[0-4]\\d|1?\\d?\\d)(\\.(25[0-5]|2[0-4]\\d|1?\\d?\\d)){3}$"));
    if (!s.localAddress.isEmpty() && !dottedQuad.match(s.localAddress).hasMatch())
        return QStringLiteral("The local address must be an IPv4 address such as 10.0.0.1, or "
                              "empty.");
    return {};
}

QString CPeerEntry::ValidateName(const QString& name)
{
    if (IsValidEntryName(name))
        return {};
    return QStringLiteral("Enter a name for the entry: letters, digits and blanks, without \"/\" "
                          "and not starting with \".\" or \"-\".");
}

QString CPeerEntry::ValidatePassword(const QString& password, const QString& userName)
{
    if (password.isEmpty())
        return {};
    if (userName.isEmpty())
        return QStringLiteral("A password needs the user name it belongs to.");
    if (password.size() > kMaxPassword || !AllowedText(password, {}))
        return QStringLiteral("The password may hold letters, digits, blanks and punctuation "
                              "only, at most 255 of them.");
    return {};
}

QString CPeerEntry::FlowControlWord(EFlowControl flow)
{
    for (const SFlowWord& each : kFlowWords) {
        if (each.flow == flow)
            return QString::fromLatin1(each.word);
    }
    return {};
}

std::optional<EFlowControl> CPeerEntry::FlowControlOf(const QString& word)
{
    for (const SFlowWord& each : kFlowWords) {
        if (word == QLatin1StringView(each.word))
            return each.flow;
    }
    return std::nullopt;
}

const QList<int>& CPeerEntry::Speeds()
{
    static const QList<int> speeds{
        50,     75,     110,     134,     150,     200,     300,     600,     1200,    1800,
        2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400,  460800,  500000,
        576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    return speeds;
}
