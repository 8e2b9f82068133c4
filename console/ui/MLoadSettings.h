#pragma once

class FMain;

// Start-up's read of the settings: the web root, the connection type and the
// modem entry into the program-wide variables, then the address book into
// the window's list, whose first rows load the window. The rows go in by
// slices with the events handled between them; a window unloaded meanwhile
// (SIGTERM, the tray's "Exit") ends the load. gIpBookCount becomes the number
// of entries read.
void LoadSettings(FMain& main);
