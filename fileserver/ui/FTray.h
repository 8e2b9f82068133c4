#pragma once

#include "fileserver/ui/FAbout.h"
#include "fileserver/ui/TrayEvents.h"

#include <QIcon>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>

class CTrayIcon;

class QAction;
class QMenu;
class QTimer;

// The file server's tray form: a window never shown that owns the tray icon,
// its pop-up menu, and the blinking of the icon while transfers run.
class FTray final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kBlinkIntervalMs = 500;
    static constexpr const char* kTip = "Orvane FTP/TFTP Server";

    struct SOptions {
        QString serverTitle;                   // shown by the about window
        std::function<int()> runningTransfers; // FTP and TFTP transfers now running
        int blinkIntervalMs = kBlinkIntervalMs;
        std::function<bool()> notifierHost = {}; // a StatusNotifier tray; empty: ask the bus
    };

    // Puts the icon up.
    explicit FTray(SOptions options, QWidget* parent = nullptr);
    ~FTray() override;

    // Shows or hides "Exit" and the separator above it.
    void EnableExitMenu(bool enable);

    // Shows the transfer picture and (re)starts the blinking.
    void StartBlinking();

    // Opens the about window, or brings the open one to the front.
    void ShowAbout();

    // One blink step, run by the timer: alternates the pictures while
    // transfers run, and settles on the idle picture once none runs.
    void Timer_Timer();

    CTrayIcon* TrayIcon() const { return m_trayIcon; }
    QMenu* mnuMain() const { return m_mnuMain; }
    QTimer* Timer() const { return m_timer; }
    const QIcon& Image1() const { return m_image1; }
    const QIcon& Image2() const { return m_image2; }
    bool BlinkState() const { return m_blinkState; }
    FAbout* About() const { return m_about; }

signals:
    // The user asked for something of the program (menu entry, or the
    // icon's double click, a single activation where the host has no other).
    void TrayEvent(TrayEvents code);

private:
    void TrayIcon_TrayMessage(std::uint32_t message, std::uint32_t id);
    void ShowImage(const QIcon& image);

    SOptions m_options;
    QIcon m_image1;
    QIcon m_image2;
    CTrayIcon* m_trayIcon = nullptr;
    QMenu* m_mnuMain = nullptr;
    QAction* m_mnuLine2 = nullptr;
    QAction* m_mnuExit = nullptr;
    QTimer* m_timer = nullptr;
    bool m_blinkState = false;
    QPointer<FAbout> m_about;
};
