#pragma once

#include <QByteArray>
#include <QString>

// How far a reply's status line has come.
enum class EStatusLine {
    Incomplete, // not yet ended
    NotFound,   // code 404: the equipment has no such service
    Answered,   // any other code
    TooLong     // the reply outgrew kMaxReplySize before the line ended
};

// What a reply to the version probe says about the equipment's web interface.
enum class EProbeVerdict {
    Waiting,        // not enough of the reply yet
    NoService,      // 404: the older interface
    OlderInterface, // a version whose last part is below kFirstNewerRelease
    NewerInterface, // a version whose last part is kFirstNewerRelease or more
    BadVersion,     // a version whose last part is not a number
    TooLong         // the reply outgrew kMaxReplySize without a verdict
};

struct SProbeVerdict {
    EProbeVerdict verdict = EProbeVerdict::Waiting;
    QString version; // the value read, for NewerInterface, OlderInterface and BadVersion
};

// The reply of one connection, gathered over however many arrivals it takes
// and examined whole each time: TCP may split it anywhere.
class CEquipmentReply final {
public:
    // Bytes kept at most; an equipment says what it has to say in far less.
    static constexpr qsizetype kMaxReplySize = 64 * 1024;
    // The last version part from which on an equipment has the newer interface.
    static constexpr qlonglong kFirstNewerRelease = 19;

    void Append(const QByteArray& bytes);
    const QByteArray& Text() const { return m_text; }

    // Only the status line's code decides 404, not a 404 further on.
    EStatusLine StatusLine() const;

    // The probe's verdict: 404 from the status line, else the quoted value
    // after the key "1.2.1.1.2.0", whatever follows its closing quote.
    SProbeVerdict Examine() const;

private:
    QByteArray m_text;
    bool m_overflowed = false;
};
