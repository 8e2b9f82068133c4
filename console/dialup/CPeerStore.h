#pragma once

#include "console/dialup/CPeerRequest.h"
#include "console/dialup/CPeersFolder.h"

#include <QString>

#include <functional>

// Carries out a change of the phonebook with the administrator's rights:
// the entry's file (written whole, 0640 root:dip) and, when a password is
// given, the user's line in pap-secrets and chap-secrets (written whole,
// 0600 root). The peers helper runs it for an ordinary user; the editor runs
// it itself for root. It checks the request again: it trusts nobody.
class CPeerStore final {
public:
    // How a change ended; the helper's exit status.
    enum EStatus {
        Done = 0,
        BadRequest = 1, // not a request (or folder options where none are taken)
        Refused = 2,    // a field the checks refuse
        Exists = 3,     // create: the entry is there already
        Missing = 4,    // remove: no such entry
        Failed = 5,     // the system refused a read or a write
    };
    struct SOutcome {
        EStatus status = Done;
        QString error; // one line for the user; empty when done
    };

    // peersFolder: pppd's peers; secretsFolder: where its secrets files are.
    CPeerStore(QString peersFolder, QString secretsFolder);

    SOutcome Apply(const CPeerRequest& request) const;

    static QString DefaultSecretsFolder();

private:
    SOutcome Write(const CPeerRequest& request) const;
    SOutcome Remove(const QString& entry) const;
    // Each secrets file through change; a file that is not there is made.
    SOutcome ChangeSecrets(const std::function<QString(const QString&)>& change,
                           bool createMissing) const;

    CPeersFolder m_peers;
    QString m_secretsFolder;
};
