#pragma once

#include <QByteArray>
#include <QString>

// System files that belong to the administrator: who the process runs as,
// and a write that replaces a file whole, with its mode and group.

// True when the process has the administrator's rights (effective user 0).
bool IsRunningAsRoot();

// True when the process got rights its caller does not have: a set-user-id
// or set-group-id start, or a start through pkexec (which leaves PKEXEC_UID
// in the environment). Such a process takes no paths from its caller.
bool IsElevatedStart();

// Writes bytes to path whole or not at all: a new file beside it, its mode
// set, then renamed over the name (a link in the name is replaced, not
// written through). Run as root, the file gets owner root and the group
// named; otherwise the owner is the caller, as the system makes it. False,
// with the reason in error, when anything fails; the old file then stays.
bool ReplaceFileWhole(const QString& path, const QByteArray& bytes, int mode, const QString& group,
                      QString& error);
