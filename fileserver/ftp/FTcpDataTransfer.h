#pragma once

#include "fileserver/ftp/MFtpDefaults.h"
#include "platform/sockets/CSocketHandle.h"
#include "platform/sockets/CTcpSocket.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

#include <memory>

// One data connection: connects out to the client's data port (active
// mode) or takes the one the client made to a passive port, sends a file
// (retrieve) or a listing, or receives a file (store), then ends.
//
// It knows nothing of sessions: its replies and progress go out as signals.
// It keeps what its events need (the session's key, the client's address,
// the file's name and size), so they still tell the right values when the
// session has gone before the transfer ends.
class FTcpDataTransfer final : public QObject {
    Q_OBJECT

public:
    enum class EMode { Ended = 0, Retrieve = 1, Store = 2, Listing = 3 };

    // A retrieve sends one block at a time and the next after SendDone.
    static constexpr qint64 kRetrieveBlockSize = 256;
    // The file is read this much at a time; the blocks are cut from it.
    static constexpr qint64 kReadChunkSize = 1024 * kRetrieveBlockSize;

    // Where the data connection goes, and for whom.
    struct STarget {
        QString parentKey;     // the session's SessionID
        QString remoteHost;    // the client's dotted address
        qint64 dataPort = 0;   // from PORT, not range-checked
        quint16 localPort = 0; // wished for, not required; 0: the system chooses
        int connectTimeoutMs = kFtpDataConnectTimeoutMs; // then 425
        // Passive mode: nothing is connected; TakeConnection brings the
        // client's connection within the time-out.
        bool passive = false;
    };

    explicit FTcpDataTransfer(STarget target, QObject* parent = nullptr);

    // Connects and sends the open file from offset on (a restart); fileName
    // is the client's name for it. The progress counts from offset.
    void OpenRetrieve(std::unique_ptr<QFile> file, const QString& fileName, qint64 offset = 0);
    // Connects and writes what the client sends into the open file at its
    // position, offset (a restart), from which the progress counts.
    void OpenStore(std::unique_ptr<QFile> file, const QString& fileName, qint64 offset = 0);
    // Connects, then builds the listing text and sends it: nothing is held
    // for a connection that never opens.
    void OpenListing(std::function<QByteArray()> buildListing);

    // Each block's running total as this direct call, cheaper than the
    // signal, for the one holder that follows every block; while one is set,
    // OnNewDataBlockSent is not emitted.
    void SetBlockSentHandler(std::function<void(qint64 byteSent)> handler);

    // ABOR: a running transfer stops with its own reply.
    void Abort();

    // Passive mode: the client's data connection. One that comes after the
    // transfer has ended is closed.
    void TakeConnection(CSocketHandle connection);

    const QString& ParentKey() const { return m_target.parentKey; }
    const QString& RemoteHost() const { return m_target.remoteHost; }
    const QString& FileName() const { return m_fileName; }
    // The whole length of a retrieved file, a restarted one's too; 0 for a
    // store or a listing.
    qint64 FileSize() const { return m_fileSize; }
    EMode Mode() const { return m_mode; }
    bool IsRunning() const { return m_mode != EMode::Ended; }

signals:
    // A reply line for the session's control connection, without CR LF.
    void OnReply(const QByteArray& text);
    // The data connection of a retrieve or a store is open.
    void OnInitRetrive();
    void OnInitStore();
    // Bytes of the file sent or stored so far.
    void OnNewDataBlockSent(qint64 byteSent);
    void OnNewDataBlockRecv(qint64 byteRecv);
    // A retrieve or store whose connection had opened has ended, after its
    // reply; an aborted listing too.
    void OnTransferTerminate();
    // The transfer has ended (after its reply, if any); its socket may still
    // be delivering what was queued.
    void OnFinished();
    // The data connection has ended: nothing more comes from this transfer.
    void OnEnded();

private:
    void Open(EMode mode);
    // Whether the dotted address is one of this host's.
    static bool IsOwnAddress(const QString& host);
    void Tcp_StateChanged();
    void Tcp_DataArrived();
    void Tcp_SendDone();
    void Tcp_Error(int number);
    void SendBlock();
    void TellBlockSent();
    // A block of a regular file goes to the socket as a range of the file;
    // the file's current length tells where it ends.
    void SendRangeBlock();
    // A block of any other file is read, in large chunks, and sent as bytes.
    void SendReadBlock();
    // Makes a whole block ready to send unless the file has no more.
    void FillReadBuffer();
    // Ends a retrieve whose last block has been queued.
    void FinishRetrieve(bool ok);
    // Ends the data connection; OnEnded follows.
    void CloseData();
    // Ends a running transfer: its reply (if any), its file, OnTransferTerminate.
    void Finish(const char* reply);

    STarget m_target;
    EMode m_mode = EMode::Ended;
    std::shared_ptr<QFile> m_file; // shared with the socket while ranges of it wait
    bool m_byRange = false;
    qint64 m_knownEnd = 0; // the file's length when last asked
    QString m_fileName;
    qint64 m_fileSize = 0;
    std::function<QByteArray()> m_buildListing;
    std::function<void(qint64)> m_blockSentHandler;
    QByteArray m_listing;
    QByteArray m_readBuffer; // reused for every chunk of the file
    qint64 m_readPos = 0;    // the next block starts here
    qint64 m_readEnd = 0;    // bytes of the file in the buffer
    qint64 m_offset = 0;     // where a restarted transfer starts
    qint64 m_bytesSent = 0;
    qint64 m_bytesReceived = 0;
    bool m_connected = false;
    bool m_tookConnection = false; // passive: the client's connection came
    bool m_aborted = false;
    QTimer m_connectTimer;
    CTcpSocket m_tcp;
};
