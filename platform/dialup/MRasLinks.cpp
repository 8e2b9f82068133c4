#include "platform/dialup/MRasLinks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

// pppd writes its process id and interface name: a few short lines.
constexpr qint64 kPidFileReadBytes = 4096;

// The entry of a "call ENTRY" in a process's argument list, when the process
// is the link-making program (directly, or a script run by its interpreter).
QString EntryOfCommandLine(const QByteArray& commandLine, const QString& programName)
{
    const QList<QByteArray> args = commandLine.split('\0');
    qsizetype first = -1;
    for (qsizetype i = 0; i < std::min<qsizetype>(2, args.size()); ++i) {
        if (QFileInfo(QString::fromLocal8Bit(args[i])).fileName() == programName) {
            first = i;
            break;
        }
    }
    if (first < 0)
        return {};
    for (qsizetype i = first + 1; i + 1 < args.size(); ++i) {
        if (args[i] == "call")
            return QString::fromLocal8Bit(args[i + 1]);
    }
    return {};
}

// The destination address of a point-to-point interface; empty when it has none.
QString PeerAddressOfInterface(const QString& interfaceName)
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};
    QString address;
    const QByteArray name = interfaceName.toLocal8Bit();
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (name != entry->ifa_name || !entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(entry->ifa_flags & IFF_POINTOPOINT) || !entry->ifa_dstaddr)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* peer = reinterpret_cast<const sockaddr_in*>(entry->ifa_dstaddr);
        if (::inet_ntop(AF_INET, &peer->sin_addr, text, sizeof text))
            address = QString::fromLatin1(text);
        break;
    }
    ::freeifaddrs(list);
    return address;
}

// The interface of the pppd with this process id, from its pid files: pppN.pid
// names it in the file name, ppp-LINKNAME.pid on its second line.
QString InterfaceOfPppd(qint64 handle, const QString& runFolder, bool& pidFileFound)
{
    static const QRegularExpression unitFile(QStringLiteral("^(ppp\\d+)\\.pid$"));
    const QDir folder(runFolder);
    const QStringList files = folder.entryList({QStringLiteral("ppp*.pid")}, QDir::Files);
    for (const QString& fileName : files) {
        QFile file(folder.filePath(fileName));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.read(kPidFileReadBytes).split('\n');
        if (lines.value(0).trimmed().toLongLong() != handle)
            continue;
        pidFileFound = true;
        const QRegularExpressionMatch unit = unitFile.match(fileName);
        const QString interfaceName =
            unit.hasMatch() ? unit.captured(1) : QString::fromLocal8Bit(lines.value(1).trimmed());
        if (!interfaceName.isEmpty())
            return interfaceName;
    }
    return {};
}

} // namespace

namespace {

// The parent's process id from a process's stat line ("pid (name) state
// ppid ..."); the name may hold blanks and brackets, so it is read after the
// last ')'. -1 when it cannot be read: the process has ended.
qint64 ParentOfProcess(const QString& statPath)
{
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 1).simplified().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : -1;
}

// The real user of a process: the first number of its status's "Uid:" line.
qint64 RealUserOfProcess(const QString& statusPath)
{
    QFile status(statusPath);
    if (!status.open(QIODevice::ReadOnly))
        return SRasLink::kUnknownUser;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("Uid:"))
            continue;
        bool isNumber = false;
        const qint64 user = line.mid(4).simplified().split(' ').value(0).toLongLong(&isNumber);
        return isNumber ? user : SRasLink::kUnknownUser;
    }
    return SRasLink::kUnknownUser;
}

qint64 UserOf(const SRasLinkSources& sources)
{
    return sources.userId == SRasLinkSources::kThisUser ? qint64(::getuid()) : sources.userId;
}

QList<SRasLink> OwnLinksOf(const SRasLinkSources& sources)
{
    QList<SRasLink> links;
    if (sources.ownLinks) {
        for (const SOwnLink& own : sources.ownLinks())
            links.append({own.handle, own.entry, UserOf(sources)});
    }
    return links;
}

// The link process with this id in the proc folder, and its parent; false
// when the process is no link or has ended (an ended one has no command line).
bool ReadLinkProcess(const QDir& proc, qint64 pid, const QString& programName, SRasLink& link,
                     qint64& parent)
{
    const QString folder = QString::number(pid) + u'/';
    QFile cmdline(proc.filePath(folder + QStringLiteral("cmdline")));
    if (!cmdline.open(QIODevice::ReadOnly))
        return false; // ended meanwhile, or not ours to read
    const QString entry = EntryOfCommandLine(cmdline.readAll(), programName);
    if (entry.isEmpty())
        return false;
    parent = ParentOfProcess(proc.filePath(folder + QStringLiteral("stat")));
    if (parent < 0)
        return false; // ended while it was read
    link = {pid, entry, RealUserOfProcess(proc.filePath(folder + QStringLiteral("status")))};
    return true;
}

} // namespace

int ListRasLinks(QList<SRasLink>& links, const SRasLinkSources& sources)
{
    links.clear();
    const QDir proc(sources.procFolder);
    if (!proc.exists() || !proc.isReadable())
        return -1;

    // Keyed by process id: a map keeps them in process-id order.
    QMap<qint64, SRasLink> found;
    QMap<qint64, qint64> parents;
    const QStringList names = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool isNumber = false;
        const qint64 pid = name.toLongLong(&isNumber);
        SRasLink link;
        qint64 parent = 0;
        if (isNumber && ReadLinkProcess(proc, pid, sources.programName, link, parent)) {
            found.insert(pid, link);
            parents.insert(pid, parent);
        }
    }
    // A pppd that has just forked (for its connect script, say) shows its own
    // command line twice until the child runs its program: one link, not two.
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        if (parents.contains(it.value()))
            found.remove(it.key());
    }
    // The controls of this process count even before their pppd shows in the list.
    for (const SRasLink& own : OwnLinksOf(sources))
        found.insert(own.handle, own);

    links = found.values();
    return static_cast<int>(links.size());
}

int FindRasConnection(const QString& entry, qint64& handle, const SRasLinkSources& sources)
{
    QList<SRasLink> links;
    const int count = ListRasLinks(links, sources);
    for (const SRasLink& link : links) {
        if (link.entry == entry)
            handle = link.handle;
    }
    return count;
}

SRasLinkFound ChooseRasLink(const QString& entry, const SRasLinkSources& sources)
{
    QList<SRasLink> links;
    ListRasLinks(links, sources);
    SRasLinkFound result;
    for (const SRasLink& link : links) {
        if (link.entry == entry && link.userId == UserOf(sources))
            result = {ERasLinkChoice::Take, link.handle};
        else if (result.choice == ERasLinkChoice::None)
            result.choice = ERasLinkChoice::Busy;
    }
    return result;
}

bool FindRasLink(qint64 handle, SRasLink& link, const SRasLinkSources& sources)
{
    for (const SRasLink& own : OwnLinksOf(sources)) {
        if (own.handle == handle) {
            link = own;
            return true;
        }
    }
    qint64 parent = 0;
    return handle > 0
           && ReadLinkProcess(QDir(sources.procFolder), handle, sources.programName, link, parent);
}

int EndRasLink(qint64 handle, bool force, const SRasLinkSources& sources)
{
    SRasLink link;
    if (!FindRasLink(handle, link, sources))
        return kEndNoLink;
    // SECURITY: only a link process of this user is signalled, never any
    // process that happens to have the number.
    if (link.userId != UserOf(sources))
        return kEndNotOurs;
    if (::kill(static_cast<pid_t>(handle), force ? SIGKILL : SIGTERM) != 0)
        return errno == EPERM ? kEndNotOurs : kEndNoLink;
    return 0;
}

int GetProjectedIp(qint64 handle, QString& address, const SRasLinkSources& sources)
{
    bool linkKnown = false;
    for (const SOwnLink& own : sources.ownLinks ? sources.ownLinks() : QList<SOwnLink>()) {
        if (own.handle != handle)
            continue;
        linkKnown = true;
        if (!own.remoteAddress.isEmpty()) {
            address = own.remoteAddress;
            return 0;
        }
    }
    if (handle > 0) {
        const QString interfaceName = InterfaceOfPppd(handle, sources.runFolder, linkKnown);
        if (!interfaceName.isEmpty()) {
            const QString peer = PeerAddressOfInterface(interfaceName);
            if (!peer.isEmpty()) {
                address = peer;
                return 0;
            }
        }
    }
    return linkKnown ? kProjectionNoAddress : kProjectionNoLink;
}
