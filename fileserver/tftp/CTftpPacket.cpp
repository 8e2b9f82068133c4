#include "fileserver/tftp/CTftpPacket.h"

namespace {

constexpr qsizetype kOpcodeSize = 2;
constexpr qsizetype kHeaderSize = 4; // opcode and block number or error code

void AppendWord(QByteArray& packet, quint16 value)
{
    packet.append(static_cast<char>(value >> 8));
    packet.append(static_cast<char>(value & 0xFF));
}

QByteArray Header(CTftpPacket::ETftpOpcode opcode, quint16 word)
{
    QByteArray packet;
    AppendWord(packet, opcode);
    AppendWord(packet, word);
    return packet;
}

quint16 WordAt(const QByteArray& datagram, qsizetype index)
{
    return static_cast<quint16>((static_cast<quint8>(datagram.at(index)) << 8)
                                | static_cast<quint8>(datagram.at(index + 1)));
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
    return request;
}

std::optional<CTftpPacket::SData> CTftpPacket::DecodeData(const QByteArray& datagram)
{
    if (datagram.size() < kHeaderSize)
        return std::nullopt;
    return SData{WordAt(datagram, 2), datagram.mid(kHeaderSize)};
}

std::optional<quint16> CTftpPacket::DecodeAck(const QByteArray& datagram)
{
    if (datagram.size() < kHeaderSize)
        return std::nullopt;
    return WordAt(datagram, 2);
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
    QByteArray packet = Header(etoError, code);
    packet.append(ErrorText(code));
    packet.append('\0');
    return packet;
}

const char* CTftpPacket::ErrorText(ETftpError code)
{
    switch (code) {
    case eteFileNotFound: return kFileNotFoundText;
    case eteAccessViolation: return kAccessViolationText;
    case eteDiskFull: return kDiskFullText;
    case eteIllegalOperation: return kIllegalOperationText;
    case eteUnknownTransferId: return kUnknownTransferIdText;
    }
    return "";
}

quint16 CTftpPacket::NextBlockNumber(quint16 block)
{
    return block == 0xFFFF ? 1 : static_cast<quint16>(block + 1);
}
