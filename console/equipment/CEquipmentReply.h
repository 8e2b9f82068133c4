#pragma once

#include <QByteArray>
#include <QString>

// How far a reply has come.
enum class EReplyState {
    Incomplete, // more bytes are needed
    Complete,   // the body has ended as its headers (or the closed connection) say
    Malformed,  // not an HTTP/1.x reply, or a body framing that does not hold
    TooLong     // more than kMaxReplySize bytes before the reply was complete
};

// What a reply to the version probe says about the equipment's web interface.
enum class EProbeVerdict {
    Waiting,        // not enough of the reply yet
    NoService,      // 404: the older interface
    OlderInterface, // a version whose last part is below kFirstNewerRelease
    NewerInterface, // a version whose last part is kFirstNewerRelease or more
    BadVersion,     // a version whose last part does not start with a number
    NoVersion,      // a complete reply without a version, or one that is no HTTP reply
    TooLong         // the reply outgrew kMaxReplySize without a verdict
};

struct SProbeVerdict {
    EProbeVerdict verdict = EProbeVerdict::Waiting;
    QString version; // the value read, for NewerInterface, OlderInterface and BadVersion
};

// One HTTP/1.x reply read from a connection's bytes, however TCP splits them:
// the status line, the headers, and a body framed by Transfer-Encoding:
// chunked (extensions and trailers skipped), by Content-Length, or by the
// end of the connection. Pure: no socket, bytes in, state out.
class CEquipmentReply final {
public:
    // Bytes taken at most, headers and framing included; an equipment says
    // what it has to say in far less.
    static constexpr qsizetype kMaxReplySize = 64 * 1024;
    // The last version part from which on an equipment has the newer interface.
    static constexpr qlonglong kFirstNewerRelease = 19;

    void Append(const QByteArray& bytes);
    // The peer has closed: ends a body that runs to the close.
    void EndOfStream();

    EReplyState State() const { return m_state; }
    // The status line's code; 0 while it has not ended.
    int StatusCode() const { return m_statusCode; }
    // The body as far as it has come, chunk framing removed.
    const QByteArray& Body() const { return m_body; }
    // Bytes taken so far, never more than kMaxReplySize.
    qsizetype Taken() const { return m_taken; }

    // The probe's verdict: 404 from the status line alone, whatever the body
    // holds; else, once the reply is complete, the quoted value after the key
    // "1.2.1.1.2.0".
    SProbeVerdict Examine() const;

private:
    enum class EPart {
        StatusLine,
        Headers,
        Body,
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailers,
        ToClose
    };

    // Works through the pending bytes as far as they go.
    void Parse();
    // A line ended by LF (a CR before it dropped); false while it has not ended.
    bool TakeLine(QByteArray& line);
    bool ReadStatusLine(const QByteArray& line);
    bool ReadHeader(const QByteArray& line);
    bool StartBody();
    bool ReadChunkSize(const QByteArray& line);
    void TakeBody(qsizetype count);
    void Finish(EReplyState state);

    EReplyState m_state = EReplyState::Incomplete;
    EPart m_part = EPart::StatusLine;
    QByteArray m_pending; // taken, not yet parsed
    QByteArray m_body;
    qsizetype m_taken = 0;
    int m_statusCode = 0;
    bool m_http10 = false;
    bool m_chunked = false;
    qint64 m_contentLength = -1; // -1: none given
    qint64 m_remaining = 0;      // of the body or of the current chunk
};
