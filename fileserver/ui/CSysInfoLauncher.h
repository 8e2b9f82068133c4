#pragma once

#include <QString>
#include <QStringList>

// Starts the desktop's system-information program: the first of a short list
// of well-known ones found on the search path.
class CSysInfoLauncher final {
public:
    // The programs looked for, in this order.
    static QStringList DefaultPrograms();

    // Search folders: empty means the PATH.
    explicit CSysInfoLauncher(QStringList programs = DefaultPrograms(),
                              QStringList searchFolders = {});

    // The program that Start would run; empty when none is installed.
    QString Find() const;

    // Starts it detached; false when none is installed or it could not start.
    bool Start() const;

private:
    QStringList m_programs;
    QStringList m_searchFolders;
};
