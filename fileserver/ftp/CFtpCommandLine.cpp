#include "fileserver/ftp/CFtpCommandLine.h"

namespace {

// RFC 854: interpret as command, and the commands that matter here.
constexpr char kIac = char(0xFF);
constexpr unsigned char kFirstCommand = 0xF0; // SE
constexpr unsigned char kInterruptProcess = 0xF4;
constexpr unsigned char kFirstOptionCommand = 0xFB; // WILL, WONT, DO, DONT take an option byte

} // namespace

QList<CFtpCommandLine::SLine> CFtpCommandLine::Feed(const QByteArray& bytes)
{
    Append(bytes);
    QList<SLine> lines;
    // Each pass takes one line of the bytes.
    while (std::optional<SLine> line = Next())
        lines.append(std::move(*line));
    return lines;
}

void CFtpCommandLine::Append(const QByteArray& bytes)
{
    m_input.append(bytes);
}

std::optional<CFtpCommandLine::SLine> CFtpCommandLine::Next()
{
    const qsizetype end = m_input.indexOf('\n', m_inputOffset);
    const qsizetype stop = end < 0 ? m_input.size() : end;
    if (!m_tooLong) {
        m_pending.append(m_input.constData() + m_inputOffset, stop - m_inputOffset);
        // One byte more than the limit may be the CR of the line end.
        if (m_pending.size() > kMaxLineLength + 1) {
            m_pending.clear();
            m_tooLong = true;
        }
    }
    if (end < 0) {
        m_input.clear();
        m_inputOffset = 0;
        return std::nullopt;
    }
    m_inputOffset = end + 1;
    return Complete();
}

CFtpCommandLine::SLine CFtpCommandLine::Complete()
{
    SLine line;
    if (m_pending.endsWith('\r'))
        m_pending.chop(1);
    line.tooLong = m_tooLong || m_pending.size() > kMaxLineLength;
    if (!line.tooLong) {
        bool interrupted = false;
        line.text = StripTelnet(m_pending, &interrupted);
        if (line.text.isEmpty() && interrupted)
            line.text = kAbortCommand;
    }
    m_pending.clear();
    m_tooLong = false;
    return line;
}

QByteArray CFtpCommandLine::StripTelnet(const QByteArray& line, bool* interrupted)
{
    if (interrupted)
        *interrupted = false;
    if (!line.contains(kIac))
        return line;
    QByteArray text;
    text.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != kIac) {
            text.append(line[i]);
            continue;
        }
        if (i + 1 >= line.size())
            break;
        const auto command = static_cast<unsigned char>(line[i + 1]);
        if (line[i + 1] == kIac) {
            text.append(kIac); // IAC IAC is the data byte 255
            ++i;
        } else if (command >= kFirstOptionCommand) {
            i += 2;
        } else if (command >= kFirstCommand) {
            if (command == kInterruptProcess && interrupted)
                *interrupted = true;
            ++i;
        }
        // Any other byte after IAC is data: the command byte (a Data Mark)
        // went as TCP urgent data and is not in the stream, so only IAC goes.
    }
    return text;
}

CFtpCommandLine::SCommand CFtpCommandLine::Split(const QByteArray& line)
{
    const qsizetype space = line.indexOf(' ');
    if (space < 0)
        return {line, {}};
    return {line.left(space), line.mid(space + 1)};
}
