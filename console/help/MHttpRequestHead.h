#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The head of one HTTP/1.x request: its line and the header fields the help
// server acts on. Pure: it knows no sockets, tests and the fuzzer feed it bytes.

struct SHttpRequestHead {
    QByteArray method;     // "GET", as sent
    QByteArray target;     // the request target as sent, "/help/index.html?x"
    bool http10 = false;   // HTTP/1.0 rather than HTTP/1.1
    QByteArray host;       // the Host field's value; empty when absent
    bool hasBody = false;  // a Content-Length other than 0, or a Transfer-Encoding
    bool keepAlive = true; // the connection stays open after the reply
};

enum class EHttpHeadStatus {
    Incomplete, // no blank line yet, and still within kMaxHttpHeadBytes
    Complete,   // head and length are set
    Malformed,  // answered 400
    TooLarge,   // no end within kMaxHttpHeadBytes: answered 431
};

struct SHttpHeadParse {
    EHttpHeadStatus status = EHttpHeadStatus::Incomplete;
    SHttpRequestHead head; // when Complete; empty otherwise
    qsizetype length = 0;  // bytes of the head with its blank line, when Complete
};

// The most bytes a request line and its header fields may take, blank line included.
inline constexpr qsizetype kMaxHttpHeadBytes = 8 * 1024;

// Parses the head at the start of received bytes. Lines end in CR LF or LF;
// empty lines before the request line are skipped (and counted in length).
// A head with folded lines, control characters, a field without its colon,
// two Host fields or a Content-Length that is no number is Malformed.
SHttpHeadParse ParseHttpRequestHead(QByteArrayView received);

// Whether a Host value names this computer's loopback as the help server
// knows it: "127.0.0.1" or "localhost" (any case) with the given port in
// its plain decimal form (no leading zero). A
// page served from another name that resolves to 127.0.0.1 sends that name.
bool IsLoopbackHost(QByteArrayView host, quint16 port);
