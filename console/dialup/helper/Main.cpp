// pelion-peers-helper: writes, replaces or removes one dial-up entry with the
// administrator's rights, for the console run by an ordinary user through
// pkexec. The request comes on standard input (see CPeerRequest); the exit
// status is CPeerStore's, with one line on standard error when it is not 0.

#include "console/dialup/CPeerStore.h"
#include "platform/dialup/MRasApi.h"
#include "platform/system/MOwnedFiles.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

// A request is a dozen short lines.
constexpr qint64 kMaxRequestBytes = 64 * 1024;

int Fail(CPeerStore::EStatus status, const QString& error)
{
    std::fprintf(stderr, "pelion-peers-helper: %s\n", error.toLocal8Bit().constData());
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QString peers = PhonebookPath();
    QString secrets = CPeerStore::DefaultSecretsFolder();
    // Other folders are for tests and people running it as themselves; a
    // start with raised rights writes the system's files and nothing else.
    for (int i = 1; i < argc; ++i) {
        const bool peersOption = std::strcmp(argv[i], "--peers") == 0;
        const bool secretsOption = std::strcmp(argv[i], "--secrets") == 0;
        if ((!peersOption && !secretsOption) || i + 1 >= argc)
            return Fail(CPeerStore::BadRequest,
                        QStringLiteral("usage: pelion-peers-helper [--peers FOLDER] "
                                       "[--secrets FOLDER] < request"));
        if (IsElevatedStart())
            return Fail(CPeerStore::BadRequest,
                        QStringLiteral("folders are not taken when started with raised rights"));
        (peersOption ? peers : secrets) = QFile::decodeName(argv[++i]);
    }

    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return Fail(CPeerStore::BadRequest, QStringLiteral("cannot read the standard input"));
    QByteArray text;
    for (QByteArray chunk = input.read(kMaxRequestBytes + 1);
         !chunk.isEmpty() && text.size() <= kMaxRequestBytes;
         chunk = input.read(kMaxRequestBytes + 1 - text.size()))
        text += chunk;
    if (text.size() > kMaxRequestBytes)
        return Fail(CPeerStore::BadRequest, QStringLiteral("the request is too long"));
    QString error;
    const std::optional<CPeerRequest> request = CPeerRequest::Decode(text, error);
    if (!request)
        return Fail(CPeerStore::BadRequest, error);
    const CPeerStore::SOutcome outcome = CPeerStore(peers, secrets).Apply(*request);
    return outcome.status == CPeerStore::Done ? 0 : Fail(outcome.status, outcome.error);
}
