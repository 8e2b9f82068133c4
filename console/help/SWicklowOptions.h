#pragma once

// The help server's limits. It serves a handful of pages to one local user;
// anything beyond these is another program or a web page trying to grow the
// console, and is closed.
struct SWicklowOptions {
    // A connection that makes no progress this long (no request completed,
    // no reply bytes taken by the client) is closed.
    int idleTimeoutMs = 10000;
    // Connections open at once; one more is closed as soon as it is accepted.
    int maxConnections = 32;
    // Replies written but not yet taken by the client; while this many wait,
    // the connection's further requests are not read.
    int maxUnsentReplies = 4;
};
