#pragma once

#include "platform/sockets/CTcpSocket.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class cFtpSession;
class cFtpSessions;

// One active data connection of a session: connects out to the client's
// data port, sends a file (retrieve) or a listing, or receives a file
// (store), replies through its session and ends. It lives until its
// connection has ended, also when its session has gone (its replies are
// then lost).
class FTcpDataTransfer final : public QObject {
    Q_OBJECT

public:
    enum class EMode { Ended = 0, Retrieve = 1, Store = 2, Listing = 3 };

    // A retrieve sends one block at a time and the next after SendDone.
    static constexpr qint64 kRetrieveBlockSize = 256;

    static constexpr char kReplyFileDone[] =
        "226 Closing data connection, file transfer successful";
    static constexpr char kReplyListingDone[] = "226 Transfer complete.";
    static constexpr char kReplyAborted[] = "226 Closing data connection";
    static constexpr char kReplyCannotOpen[] = "425 can't open data connection ";
    static constexpr char kReplyLocalError[] = "451 Local error ";

    // Created by the collection for a session.
    FTcpDataTransfer(cFtpSessions& sessions, cFtpSession& parent);
    ~FTcpDataTransfer() override;

    // Connect to the session's client and send the open file.
    void OpenRetrieve(std::unique_ptr<QFile> file);
    // Connect to the session's client and write what it sends into the open file.
    void OpenStore(std::unique_ptr<QFile> file);
    // Connect to the session's client and send the listing text.
    void OpenListing(const QByteArray& listing);

    // ABOR: a running retrieve or store stops with its own reply.
    void OnAbort();

    const QString& ParentKey() const { return m_parentKey; }
    EMode Mode() const { return m_mode; }
    bool IsRunning() const { return m_mode != EMode::Ended; }

signals:
    // The data connection has ended; the transfer may be released.
    void Released();

private:
    void Open(EMode mode);
    // Whether the dotted address is one of this host's.
    static bool IsOwnAddress(const QString& host);
    void OnStateChanged();
    void OnDataArrived();
    void OnSendDone();
    void OnError(int number);
    void SendBlock();
    void WritePiece(const QByteArray& piece);
    // Ends a running transfer: the reply (if any), the file, the session's status.
    void Finish(const char* reply);
    void Reply(const char* text);

    cFtpSessions& m_sessions;
    QPointer<cFtpSession> m_parent;
    QString m_parentKey;
    EMode m_mode = EMode::Ended;
    std::unique_ptr<QFile> m_file;
    QByteArray m_listing;
    qint64 m_bytesSent = 0;
    qint64 m_bytesReceived = 0;
    bool m_connected = false;
    CTcpSocket m_tcp;
};
