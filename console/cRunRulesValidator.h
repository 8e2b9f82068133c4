#pragma once

#include "platform/desktop/CDefaultBrowser.h"
#include "platform/dialup/MRasApi.h"
#include "platform/system/CInstanceChannel.h"
#include "platform/system/CInstanceLock.h"

#include <QString>

#include <functional>

// What the run rules look at. Each defaults to the real thing; tests give
// their own folders and environment.
struct SRunRulesOptions {
    // The places of the instance lock, in order; the first safe one is used.
    QStringList lockFilePaths = CInstanceLock::DefaultPaths(QStringLiteral("pelion"));
    // How long a refused start waits for the running instance to take its
    // request to show itself.
    int askInstanceMs = 2000;
    QString peersFolder = PhonebookPath();
    SBrowserEnvironment browserEnvironment = SBrowserEnvironment::FromProcess();
    // The connection type setting when Run asks for it; empty: 0, its initial value.
    std::function<qint32()> connectionType;
};

// The console's run rules: no other instance for this user, the direct-cable
// dial-up entry in the phonebook (a warning only: that it is missing, or that
// this user cannot read the phonebook), and a web browser.
// The one validator lives as long as the program: it holds the instance lock
// and listens for later starts of the program, and DefaultInternetBrowser
// serves the browser launch afterwards. A start refused for another instance
// asks that instance to show its window.
class cRunRulesValidator final {
public:
    static constexpr qint16 kErrOk = 0;
    static constexpr qint16 kErrAlreadyRunning = 1;
    static constexpr qint16 kErrNoDirectEntry = 2;
    static constexpr qint16 kErrNoBrowser = 3;

    static constexpr const char* kApplicationTitle = "Pelion";
    static constexpr const char* kDirectEntry = "TarnDirectPPP";
    static constexpr const char* kDirectEntryMissing =
        "Remote Access entry 'TarnDirectPPP' not found";

    explicit cRunRulesValidator(SRunRulesOptions options = {});

    // Checks the rules: 0 when they are met, otherwise the error code (1 or 3),
    // also kept for GetLastErrDescr. A missing direct-cable entry is shown as a
    // warning and does not fail.
    qint32 Run();

    // The absolute path of the browser program the rules found, in its real
    // case; empty when none, or when the default browser is not one the
    // console knows how to drive.
    QString DefaultInternetBrowser() const { return priBrowserPath; }

    // The text of the last error code.
    QString GetLastErrDescr() const;

    // Raises ShowRequested when a later start of the program was refused
    // because this one runs; listens once Run has taken the instance lock.
    CInstanceChannel& InstanceChannel() { return m_instanceChannel; }

private:
    qint32 ValidateRules();
    void CheckDirectEntry();
    bool CheckBrowserInstalled();
    bool ParseBrowserCommand(const QString& command);

    SRunRulesOptions m_options;
    CInstanceLock m_instanceLock;
    CInstanceChannel m_instanceChannel;
    bool priCheckDialUp = false;
    qint16 priLastErr = kErrOk;
    QString priBrowserPath;
};
