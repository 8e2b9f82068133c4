// Feeds each input to the help server's request-head parser as bytes
// received on one connection, and the Host value of a parsed head to the
// loopback check.
//
// Besides the sanitizers, the run stops as a crash when the parser
// contradicts its contract: a head whose length lies outside the bytes or
// beyond kMaxHttpHeadBytes, or does not end in a blank line; a result that
// depends on bytes after the head; a proper prefix of a head that is not
// Incomplete; TooLarge below the bound; a head with its fields set while not
// Complete, or a target with a space or control byte.

#include "console/help/MHttpRequestHead.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_http_request_head: %s\n", what);
    std::abort();
}

bool SameHead(const SHttpRequestHead& a, const SHttpRequestHead& b)
{
    return a.method == b.method && a.target == b.target && a.http10 == b.http10 && a.host == b.host
           && a.hasBody == b.hasBody && a.keepAlive == b.keepAlive;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray received =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const SHttpHeadParse parse = ParseHttpRequestHead(received);
    if (parse.status != EHttpHeadStatus::Complete) {
        if (parse.length != 0 || !SameHead(parse.head, SHttpRequestHead()))
            Fail("an unfinished head has fields");
        if (parse.status == EHttpHeadStatus::TooLarge && received.size() < kMaxHttpHeadBytes)
            Fail("TooLarge below the bound");
        if (parse.status == EHttpHeadStatus::Incomplete && received.size() >= kMaxHttpHeadBytes)
            Fail("Incomplete at the bound");
        return 0;
    }
    if (parse.length <= 0 || parse.length > received.size() || parse.length > kMaxHttpHeadBytes)
        Fail("a head's length outside the bytes or the bound");
    const QByteArray head = received.first(parse.length);
    if (!head.endsWith("\n\n") && !head.endsWith("\n\r\n"))
        Fail("a head that does not end in a blank line");
    for (const char c : parse.head.target)
        if (c <= ' ' || c == 0x7F)
            Fail("a target with a space or a control byte");
    if (parse.head.method.isEmpty() || parse.head.target.isEmpty())
        Fail("a head without its method or target");

    const SHttpHeadParse alone = ParseHttpRequestHead(head);
    if (alone.status != EHttpHeadStatus::Complete || alone.length != parse.length
        || !SameHead(alone.head, parse.head))
        Fail("the result depends on bytes after the head");
    for (const qsizetype cut : {parse.length - 1, parse.length / 2})
        if (ParseHttpRequestHead(head.first(cut)).status != EHttpHeadStatus::Incomplete)
            Fail("a proper prefix of a head is not Incomplete");

    const bool loopback = IsLoopbackHost(parse.head.host, 8133);
    const QByteArray lower = parse.head.host.toLower();
    if (loopback && lower != "127.0.0.1:8133" && lower != "localhost:8133")
        Fail("the loopback check took another host");
    return 0;
}
