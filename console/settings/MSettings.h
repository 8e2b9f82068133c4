#pragma once

#include "console/settings/CSettingsStore.h"

#include <QString>
#include <QtGlobal>

// The console's program-wide settings, their store's section and key names,
// and the start-up read of the settings that live outside the address book.

// Titles every message box of the console; also the store's application name.
inline constexpr char kApplicationTitle[] = "Pelion";

// Per-user store: section "Prog Options".
inline constexpr char kSectionProgOptions[] = "Prog Options";
inline constexpr char kKeyConnectionType[] = "Connection Type";
inline constexpr char kKeyModemEntry[] = "Modem Entry";
inline constexpr char kKeyMultiHomedIpSelected[] = "MultiHomed IP Selected";
// "1": the file server's extended FTP for ordinary clients (no dialog sets it).
inline constexpr char kKeyExtendedFtp[] = "Extended FTP";

// Per-user store: section "Ip Address Book"; entry i is kept under the keys
// i followed by one of the two key words ("0IpAddress", "12Description").
inline constexpr char kSectionIpAddressBook[] = "Ip Address Book";
inline constexpr char kKeyWordIpAddress[] = "IpAddress";
inline constexpr char kKeyWordDescription[] = "Description";

// Connection types ("Connection Type" and gConnType).
inline constexpr int kConnTypeDirectCable = 0;
inline constexpr int kConnTypeModem = 1;

// The web root's folder name beside the executable, used when the
// machine-wide value is missing or empty.
inline constexpr char kDefaultWwwRootName[] = "wwwRoot";

// Connection type for the dial-up link: 0 direct serial cable, 1 modem.
extern int gConnType;
// Phonebook entry for modem connections.
extern QString gModemEntry;
// The help web server's folder.
extern QString gWwwRoot;
// Entries in the address book; also the index the next added entry takes.
extern qint16 gIpBookCount;

// Reads the web root, the connection type and the modem entry into the
// program-wide variables. A missing or empty web root becomes
// executableFolder + "/wwwRoot".
void LoadProgramSettings(const CSettingsStore& store, const QString& executableFolder);

// Whether the store asks for the file server's extended FTP: "Extended FTP"
// is exactly "1". Absent or any other value: the equipment's own dialogue.
bool ExtendedFtpChosen(const CSettingsStore& store);
