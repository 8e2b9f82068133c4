#pragma once

class FMain;

// Start-up's read of the settings: the web root, the connection type and the
// modem entry into the program-wide variables, then the address book into
// the window's list, whose first row loads the window. gIpBookCount becomes
// the number of entries read.
void LoadSettings(FMain& main);
