#pragma once

// Which of the main window's commands the dial-up link leaves enabled in each
// of its looks. The window and its tests share this one rule.

// The looks the link gives the window.
enum class ELinkLook {
    Disconnected, // no link: "Connect" is offered
    Busy,         // a dial or a hang-up has started: its commands wait for the outcome
    Connected,    // the link is up: "Disconnect" is offered
};

// The link's look and what the commands depend on besides it.
struct SLinkLook {
    ELinkLook look = ELinkLook::Disconnected;
    // The link counts as up; it stays so while a hang-up of an up link is busy.
    bool linkUp = false;
    // The far end's address was known when the connected look began.
    bool peerAddressKnown = false;
};

// The commands the link's look decides: the toolbar's "Connect/Disconnect",
// "Browser" and "Options" buttons and the tray's "Connect", "Disconnect" and
// "Browser" items. The other commands stay enabled whatever the link does.
struct SCommandStates {
    bool connectButton = false;
    bool browserButton = false;
    bool optionsButton = false;
    bool trayConnect = false;
    bool trayDisconnect = false;
    bool trayBrowser = false;

    bool operator==(const SCommandStates&) const = default;
};

// The enabled commands for the look; while the options dialog has a phonebook
// editor open, the tray's "Browser" stays off, as a browser opened then would
// meet a link whose entry is being edited.
SCommandStates CommandStates(const SLinkLook& look, bool phonebookEditorActive);
