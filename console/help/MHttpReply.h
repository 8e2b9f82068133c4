#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// A reply the help server writes, and whether the connection ends after it.
struct SHttpReply {
    QByteArray bytes;
    bool close = false;
};

using HttpFields = QList<QPair<QByteArray, QByteArray>>;

// A whole HTTP/1.1 reply: the status line with its standard reason, the
// fields, Content-Length from the body's size (the body left out when
// withBody is false, as for HEAD), and "Connection: close" when closing.
SHttpReply HttpReply(int status, const HttpFields& fields, const QByteArray& body, bool withBody,
                     bool close);

// A reply whose body is the status and its reason as plain text, "404 Not Found".
SHttpReply HttpStatusReply(int status, bool withBody, bool close,
                           const HttpFields& fields = HttpFields());
