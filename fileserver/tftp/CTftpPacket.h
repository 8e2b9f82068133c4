#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

// TFTP packets (RFC 1350, options RFC 2347), without a socket: decodes what
// a client sends and encodes what the server answers. Two-byte numbers are
// big-endian.
class CTftpPacket final {
public:
    // The opcode is taken from the second byte of a datagram; the first is not examined.
    enum ETftpOpcode : quint8 {
        etoReadRequest = 1,
        etoWriteRequest = 2,
        etoData = 3,
        etoAck = 4,
        etoError = 5,
        etoOptionAck = 6,
    };

    // The error packets the server sends, by their RFC 1350 code.
    enum ETftpError : quint16 {
        // Code 0 is "not defined": the text says what went wrong.
        eteReadFailed = 0,
        eteFileNotFound = 1,
        eteAccessViolation = 2,
        eteDiskFull = 3,
        eteIllegalOperation = 4,
        eteUnknownTransferId = 5,
    };

    static constexpr const char* kReadFailedText = "File read error";
    static constexpr const char* kFileNotFoundText = "File not found";
    static constexpr const char* kAccessViolationText = "Access violation";
    static constexpr const char* kDiskFullText = "Disk full or allocation exceeded.";
    static constexpr const char* kIllegalOperationText = "Illegal TFTP operation.";
    static constexpr const char* kUnknownTransferIdText = "Unknown transfer ID";
    // With code 0: every session the server may run at once is running.
    static constexpr const char* kServerBusyText = "Server busy";

    // RFC 1350 section 2: every DATA block but the last carries exactly 512 bytes.
    static constexpr qsizetype kBlockSize = 512;
    // Two bytes of opcode; with the block number or error code behind them,
    // the header of a DATA, ACK or ERROR packet.
    static constexpr qsizetype kOpcodeSize = 2;
    static constexpr qsizetype kHeaderSize = 4;
    // Block numbers are two bytes; after the highest comes 0 or 1 again.
    static constexpr quint16 kLastBlockNumber = 0xFFFF;

    // One option of a request or an OACK. Names are compared without regard
    // to case, so a decoded name is in lower case.
    struct SOption {
        QByteArray name;
        QByteArray value;
        bool operator==(const SOption&) const = default;
    };
    using COptions = QList<SOption>;

    struct SRequest {
        ETftpOpcode opcode = etoReadRequest;
        QString fileName;
        COptions options; // in the client's order
    };

    struct SData {
        quint16 block = 0;
        QByteArray payload;
    };

    // The opcode byte; nothing for a datagram shorter than two bytes.
    static std::optional<quint8> Opcode(const QByteArray& datagram);

    // A read or write request: the file name runs from the third byte to the
    // first zero byte; the mode behind it is not examined; the name and value
    // pairs behind the mode are the options (an incomplete last pair and
    // empty names are left out). Nothing for another opcode or a name
    // without its zero byte.
    static std::optional<SRequest> DecodeRequest(const QByteArray& datagram);

    // A DATA packet's block number and payload; nothing when shorter than four bytes.
    static std::optional<SData> DecodeData(const QByteArray& datagram);

    // An ACK's block number; nothing when shorter than four bytes.
    static std::optional<quint16> DecodeAck(const QByteArray& datagram);

    static QByteArray EncodeData(quint16 block, const QByteArray& payload);
    static QByteArray EncodeAck(quint16 block);
    static QByteArray EncodeError(ETftpError code);
    // An error packet with a text other than the code's own.
    static QByteArray EncodeError(ETftpError code, const char* text);
    // The options the server accepts, each name and value closed by a zero byte.
    static QByteArray EncodeOptionAck(const COptions& options);

    // The text of an error packet.
    static const char* ErrorText(ETftpError code);

    // The block number after block: 65535 is followed by rollover, 0 or 1
    // (the equipment expects 1, most clients 0).
    static quint16 NextBlockNumber(quint16 block, quint16 rollover);
};
