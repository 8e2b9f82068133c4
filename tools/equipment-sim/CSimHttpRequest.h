#pragma once

#include <QByteArray>
#include <QString>

// One HTTP request gathered from a connection's bytes: the request line,
// the headers up to the empty line, and a body of Content-Length bytes.
class CSimHttpRequest final {
public:
    enum class EState { Incomplete, Complete, Malformed };

    static constexpr qsizetype kMaxHeadBytes = 16 * 1024;
    static constexpr qsizetype kMaxBodyBytes = 64 * 1024;

    // Adds what arrived and tells how far the request has come.
    EState Append(const QByteArray& bytes);

    // The first line as it came, without its line end.
    const QByteArray& RequestLine() const { return m_requestLine; }
    const QByteArray& Method() const { return m_method; }
    // The path of the target, absolute form ("http://host/path") or not.
    QString Path() const;
    // The query's value for the name, percent-decoded.
    QString QueryValue(const QString& name) const;
    const QByteArray& Body() const { return m_body; }

private:
    EState Parse();

    QByteArray m_bytes;
    QByteArray m_requestLine;
    QByteArray m_method;
    QByteArray m_target;
    QByteArray m_body;
    EState m_state = EState::Incomplete;
};
