#pragma once

#include "common/messages/CMessageService.h"
#include "console/dialup/CProgOptions.h"
#include "console/dialup/ui/SDialupDialogOptions.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

// What the dial-up dialog tests share: a settings file, a peers folder, a
// program that stands for an installed pppd, the program-wide variables, and
// the messages captured from the message service.
class DialogTestKit final {
public:
    DialogTestKit()
    {
        QDir().mkpath(Peers());
        QFile pppd(Pppd());
        pppd.open(QIODevice::WriteOnly);
        pppd.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        store = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("Pelion.ini")),
                                            QSettings::IniFormat);
        options = std::make_unique<CProgOptions>(*store, connType, modemEntry);
        CMessageService::SetHandler([this](const SMessage& message) {
            messages << message;
            return EMessageResult::Ok;
        });
    }
    ~DialogTestKit() { CMessageService::SetHandler({}); }
    DialogTestKit(const DialogTestKit&) = delete;
    DialogTestKit& operator=(const DialogTestKit&) = delete;

    QString Peers() const { return m_dir.filePath(QStringLiteral("peers")); }
    QString Pppd() const { return m_dir.filePath(QStringLiteral("pppd")); }
    QString Missing() const { return m_dir.filePath(QStringLiteral("no-pppd")); }

    void AddEntry(const QString& name)
    {
        QFile file(QDir(Peers()).filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write("/dev/ttyS0\n115200\nlocal\n");
    }

    // The dialog options over this kit, with editors that write down their calls.
    SDialupDialogOptions Dialup(bool installed = true)
    {
        SDialupDialogOptions dialup;
        dialup.peersFolder = Peers();
        dialup.pppdProgram = installed ? Pppd() : Missing();
        dialup.editEntry = [this](QWidget*, const QString& entry) {
            edited << entry;
            editorActiveDuringCall << editorActive;
        };
        dialup.createEntry = [this](QWidget*) {
            ++created;
            editorActiveDuringCall << editorActive;
            AddEntry(QStringLiteral("Created"));
        };
        dialup.localAddresses = [] { return QStringList{"10.1.0.5", "192.168.9.9"}; };
        return dialup;
    }

    // What a fresh look at the settings file finds.
    QString Stored(const char* key) const
    {
        QSettings fresh(m_dir.filePath(QStringLiteral("Pelion.ini")), QSettings::IniFormat);
        return fresh
            .value(QStringLiteral("%1/%2").arg(QLatin1StringView(CProgOptions::kSection),
                                               QLatin1StringView(key)),
                   QStringLiteral("<absent>"))
            .toString();
    }

    // Once the event loop runs (inside exec), closes the modal dialog that is up.
    static void CloseNextModal(QString* title = nullptr)
    {
        QTimer::singleShot(0, [title] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                if (title)
                    *title = dialog->windowTitle();
                dialog->done(QDialog::Rejected);
            }
        });
    }

    int connType = 0;
    QString modemEntry;
    std::unique_ptr<QSettings> store;
    std::unique_ptr<CProgOptions> options;
    QList<SMessage> messages;
    QStringList edited;
    int created = 0;
    bool editorActive = false;
    QList<bool> editorActiveDuringCall;

private:
    QTemporaryDir m_dir;
};
