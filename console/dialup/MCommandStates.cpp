#include "console/dialup/MCommandStates.h"

SCommandStates CommandStates(const SLinkLook& look, bool phonebookEditorActive)
{
    SCommandStates states;
    switch (look.look) {
    case ELinkLook::Disconnected:
        states.connectButton = true;
        states.optionsButton = true;
        states.trayConnect = true;
        break;
    case ELinkLook::Busy:
        // A second command now would cross the dial or hang-up under way.
        break;
    case ELinkLook::Connected:
        states.connectButton = true;
        // The button's address is read once, as the look begins.
        states.browserButton = look.peerAddressKnown;
        states.trayDisconnect = true;
        break;
    }
    states.trayBrowser = look.linkUp && !phonebookEditorActive;
    return states;
}
