#include "fileserver/tftp/CTftpPacket.h"

#include <QtEndian>

namespace {

constexpr qsizetype kOpcodeSize = 2;
constexpr qsizetype kHeaderSize = 4; // opcode and block number or error code

QByteArray Header(CTftpPacket::ETftpOpcode opcode, quint16 word)
{
    QByteArray packet(kHeaderSize, Qt::Uninitialized);
    qToBigEndian<quint16>(opcode, packet.data());
    qToBigEndian<quint16>(word, packet.data() + kOpcodeSize);
    return packet;
}

// The two-byte number behind the opcode; the caller has checked the length.
quint16 WordAfterOpcode(const QByteArray& datagram)
{
    return qFromBigEndian<quint16>(datagram.constData() + kOpcodeSize);
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

quint16 CTftpPacket::NextBlockNumber(quint16 block)
{
    return block == 0xFFFF ? 1 : static_cast<quint16>(block + 1);
}
