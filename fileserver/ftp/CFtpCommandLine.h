#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// Gathers the bytes of an FTP control connection into command lines and
// splits a line into its command and argument. Needs no socket: it is fed
// the bytes of each arrival.
//
// RFC 959 section 4.1.3: a command line ends with CR LF; LF alone is taken
// too. Several lines in one arrival are several commands, and a line split
// over arrivals is one. Telnet command sequences (RFC 854) are taken out of a
// line; a line that held nothing but an interrupt (IAC IP) is an abort.
class CFtpCommandLine final {
public:
    // Longer lines are answered with a refusal and discarded.
    static constexpr qsizetype kMaxLineLength = 4096;
    // What an interrupt-only line stands for.
    static constexpr char kAbortCommand[] = "ABOR";

    struct SLine {
        QByteArray text;      // without line end and Telnet commands
        bool tooLong = false; // the line passed kMaxLineLength; text is empty
    };

    struct SCommand {
        QByteArray verb;     // compared exactly: lower case is not recognised
        QByteArray argument; // everything after the first space, untrimmed
    };

    // Takes the bytes of one arrival and returns the lines they complete, in order.
    QList<SLine> Feed(const QByteArray& bytes);

    // Keeps the bytes of an arrival for Next.
    void Append(const QByteArray& bytes);
    // The next line the kept bytes complete, one at a time; nothing when the
    // rest is an incomplete line (kept for the next arrival).
    std::optional<SLine> Next();

    // The line without Telnet commands; interrupted tells whether it held IAC IP.
    static QByteArray StripTelnet(const QByteArray& line, bool* interrupted = nullptr);

    // Splits a line at its first space.
    static SCommand Split(const QByteArray& line);

private:
    SLine Complete();

    QByteArray m_input;          // kept bytes not yet looked at
    qsizetype m_inputOffset = 0; // where looking goes on in m_input
    QByteArray m_pending;
    bool m_tooLong = false;
};
