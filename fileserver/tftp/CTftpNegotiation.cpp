#include "fileserver/tftp/CTftpNegotiation.h"

#include <algorithm>
#include <optional>

namespace {

constexpr qsizetype kMaxDigits = 18; // any longer number is out of every range
// What the system charges a datagram in a socket buffer: about twice its
// bytes, and its bookkeeping.
constexpr qint64 kCostFactor = 2;
constexpr qint64 kCostOverheadBytes = 2048;
constexpr qint64 kDecimalBase = 10;

// A plain decimal number: digits only, no sign, no blanks.
std::optional<qint64> Number(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > kMaxDigits)
        return std::nullopt;
    qint64 value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9')
            return std::nullopt;
        value = value * kDecimalBase + (digit - '0');
    }
    return value;
}

const CTftpPacket::SOption* Find(const CTftpPacket::COptions& options, const char* name)
{
    // The first of repeated names counts.
    const auto found = std::ranges::find(options, QByteArray(name), &CTftpPacket::SOption::name);
    return found == options.end() ? nullptr : &*found;
}

} // namespace

STftpNegotiated CTftpNegotiation::Negotiate(CTftpPacket::ETftpOpcode request,
                                            const CTftpPacket::COptions& requested,
                                            const SLimits& limits)
{
    STftpNegotiated result;
    result.rollover = limits.rollover;
    CTftpPacket::COptions accepted;
    // The window depends on the block size, so blksize is settled first.
    if (const CTftpPacket::SOption* option = Find(requested, "blksize")) {
        const std::optional<qint64> size = Number(option->value);
        if (size && *size >= kMinBlockSize) {
            result.blockSize = static_cast<qsizetype>(std::min<qint64>(*size, kMaxBlockSize));
            accepted.append({option->name, QByteArray::number(result.blockSize)});
        }
    }
    if (const CTftpPacket::SOption* option = Find(requested, "windowsize")) {
        const std::optional<qint64> size = Number(option->value);
        if (size && *size >= 1 && *size <= kMaxWindowSize) {
            const qint64 fits =
                std::max<qint64>(1, limits.windowBufferBytes / DatagramCost(result.blockSize));
            result.windowSize = static_cast<int>(std::min(*size, fits));
            accepted.append({option->name, QByteArray::number(result.windowSize)});
        }
    }
    if (const CTftpPacket::SOption* option = Find(requested, "timeout")) {
        const std::optional<qint64> seconds = Number(option->value);
        if (seconds && *seconds >= kMinTimeoutS && *seconds <= kMaxTimeoutS) {
            result.timeoutS = static_cast<int>(*seconds);
            accepted.append({option->name, QByteArray::number(result.timeoutS)});
        }
    }
    if (const CTftpPacket::SOption* option = Find(requested, "rollover")) {
        const std::optional<qint64> next = Number(option->value);
        if (next && *next <= 1) {
            result.rollover = static_cast<quint16>(*next);
            accepted.append({option->name, QByteArray::number(result.rollover)});
        }
    }
    if (const CTftpPacket::SOption* option = Find(requested, "tsize")) {
        // A read answers with the file's size; a write takes the client's word.
        // An empty file's size is left out: some clients take 0 for an invalid answer.
        const std::optional<qint64> size = Number(option->value);
        const bool reading = request == CTftpPacket::etoReadRequest;
        if (size && !(reading && limits.fileSize == 0)) {
            const qint64 answer = reading ? limits.fileSize : *size;
            accepted.append({option->name, QByteArray::number(answer)});
        }
    }
    // The OACK lists the options in the client's order.
    for (const CTftpPacket::SOption& option : requested) {
        const auto found = std::ranges::find(accepted, option.name, &CTftpPacket::SOption::name);
        if (found != accepted.end() && !result.acknowledged.contains(*found))
            result.acknowledged.append(*found);
    }
    return result;
}

qint64 CTftpNegotiation::DatagramCost(qsizetype blockSize)
{
    return kCostFactor * (blockSize + CTftpPacket::kHeaderSize) + kCostOverheadBytes;
}
