#pragma once

#include "console/dialup/CProgOptions.h"
#include "console/dialup/ui/SDialupDialogOptions.h"
#include "tests/kit/MessageCapture.h"
#include "tests/kit/TestFiles.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

// What the dial-up dialogs work on: a settings file, a peers folder, a
// program that stands for an installed pppd, the program-wide variables,
// editors that write down their calls, and the messages shown.
class DialogTestKit final {
    QTemporaryDir m_dir; // first: the members below live in it

public:
    DialogTestKit()
    {
        QDir().mkpath(Peers());
        TestFiles::WriteScript(m_dir.filePath("pppd"), "#!/bin/sh\n");
    }

    QString Peers() const { return m_dir.filePath(QStringLiteral("peers")); }
    void AddEntry(const QString& name) { TestFiles::Write(Peers() + u'/' + name, kEntry); }

    // "edit ENTRY" and "create" for the editors' calls; a test adds the
    // dialog's editor-active signals to see them around the calls.
    SDialupDialogOptions Dialup(bool installed = true)
    {
        SDialupDialogOptions dialup;
        dialup.peersFolder = Peers();
        dialup.pppdProgram = m_dir.filePath(installed ? "pppd" : "no-pppd");
        dialup.editEntry = [this](QWidget*, const QString& entry) { calls << "edit " + entry; };
        dialup.createEntry = [this](QWidget*) {
            calls << QStringLiteral("create");
            AddEntry(QStringLiteral("Created"));
        };
        dialup.localAddresses = [] { return QStringList{"10.1.0.5", "192.168.9.9"}; };
        return dialup;
    }
    void RecordActive(bool active) { calls << (active ? "active" : "idle"); }

    // What a fresh look at the settings file finds.
    QString Stored(const char* key) const
    {
        const QSettings fresh(m_dir.filePath("Pelion.ini"), QSettings::IniFormat);
        return fresh
            .value(QLatin1String(CProgOptions::kSection) + u'/' + QLatin1String(key), "<absent>")
            .toString();
    }

    static constexpr const char* kEntry = "/dev/ttyS0\n115200\nlocal\n";
    int connType = 0;
    QString modemEntry;
    QStringList calls;
    CMessageCapture messages;
    QSettings store{m_dir.filePath("Pelion.ini"), QSettings::IniFormat};
    CProgOptions options{store, connType, modemEntry};
};
