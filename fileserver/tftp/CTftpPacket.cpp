#include "fileserver/tftp/CTftpPacket.h"

#include <QtEndian>

namespace {

QByteArray Header(CTftpPacket::ETftpOpcode opcode, quint16 word)
{
    QByteArray packet(CTftpPacket::kHeaderSize, Qt::Uninitialized);
    qToBigEndian<quint16>(opcode, packet.data());
    qToBigEndian<quint16>(word, packet.data() + CTftpPacket::kOpcodeSize);
    return packet;
}

// The two-byte number behind the opcode; the caller has checked the length.
quint16 WordAfterOpcode(const QByteArray& datagram)
{
    return qFromBigEndian<quint16>(datagram.constData() + CTftpPacket::kOpcodeSize);
}

// The zero-terminated strings from position start on, as name and value
// pairs; start 0 means there are none (the mode had no zero byte).
CTftpPacket::COptions DecodeOptions(const QByteArray& datagram, qsizetype start)
{
    CTftpPacket::COptions options;
    if (start <= 0)
        return options;
    // Each round moves past two zero bytes, so it ends within the datagram.
    for (qsizetype nameAt = start; nameAt < datagram.size();) {
        const qsizetype nameEnd = datagram.indexOf('\0', nameAt);
        const qsizetype valueEnd = nameEnd < 0 ? -1 : datagram.indexOf('\0', nameEnd + 1);
        if (valueEnd < 0)
            break;
        if (nameEnd > nameAt) {
            options.append({datagram.mid(nameAt, nameEnd - nameAt).toLower(),
                            datagram.mid(nameEnd + 1, valueEnd - nameEnd - 1)});
        }
        nameAt = valueEnd + 1;
    }
    return options;
}

} // namespace

std::optional<quint8> CTftpPacket::Opcode(const QByteArray& datagram)
{
    if (datagram.size() < kOpcodeSize)
        return std::nullopt;
    return static_cast<quint8>(datagram.at(1));
}

std::optional<CTftpPacket::SRequest> CTftpPacket::DecodeRequest(const QByteArray& datagram)
{
    const std::optional<quint8> opcode = Opcode(datagram);
    if (!opcode || (*opcode != etoReadRequest && *opcode != etoWriteRequest))
        return std::nullopt;
    const qsizetype end = datagram.indexOf('\0', kOpcodeSize);
    if (end < 0)
        return std::nullopt;
    SRequest request;
    request.opcode = static_cast<ETftpOpcode>(*opcode);
    // Names are taken as UTF-8, the encoding of local file names.
    request.fileName = QString::fromUtf8(datagram.mid(kOpcodeSize, end - kOpcodeSize));
    request.options = DecodeOptions(datagram, datagram.indexOf('\0', end + 1) + 1);
    return request;
}

std::optional<CTftpPacket::SData> CTftpPacket::DecodeData(const QByteArray& datagram)
{
    if (datagram.size() < kHeaderSize)
        return std::nullopt;
    return SData{WordAfterOpcode(datagram), datagram.mid(kHeaderSize)};
}

std::optional<quint16> CTftpPacket::DecodeAck(const QByteArray& datagram)
{
    if (datagram.size() < kHeaderSize)
        return std::nullopt;
    return WordAfterOpcode(datagram);
}

QByteArray CTftpPacket::EncodeData(quint16 block, const QByteArray& payload)
{
    return Header(etoData, block) + payload;
}

QByteArray CTftpPacket::EncodeAck(quint16 block)
{
    return Header(etoAck, block);
}

QByteArray CTftpPacket::EncodeError(ETftpError code)
{
    return EncodeError(code, ErrorText(code));
}

QByteArray CTftpPacket::EncodeError(ETftpError code, const char* text)
{
    QByteArray packet = Header(etoError, code);
    packet.append(text);
    packet.append('\0');
    return packet;
}

QByteArray CTftpPacket::EncodeOptionAck(const COptions& options)
{
    QByteArray packet(kOpcodeSize, Qt::Uninitialized);
    qToBigEndian<quint16>(etoOptionAck, packet.data());
    for (const SOption& option : options) {
        packet.append(option.name).append('\0');
        packet.append(option.value).append('\0');
    }
    return packet;
}

const char* CTftpPacket::ErrorText(ETftpError code)
{
    switch (code) {
    case eteReadFailed: return kReadFailedText;
    case eteFileNotFound: return kFileNotFoundText;
    case eteAccessViolation: return kAccessViolationText;
    case eteDiskFull: return kDiskFullText;
    case eteIllegalOperation: return kIllegalOperationText;
    case eteUnknownTransferId: return kUnknownTransferIdText;
    }
    return "";
}

quint16 CTftpPacket::NextBlockNumber(quint16 block, quint16 rollover)
{
    return block == kLastBlockNumber ? rollover : static_cast<quint16>(block + 1);
}
