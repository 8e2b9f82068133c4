#pragma once

#include <QString>

// The rescue connection's program-wide variables.

// User name and local password of the last rescue start in this run (empty
// at program start); the rescue dialog writes them, the login request reads them.
extern QString gRescueUser;
extern QString gRescuePassword;
// True from the rescue dialog's Init until the dialog goes.
extern bool gRescueDialogOpen;
// The TcpMan element the rescue connection uses now.
extern int gRescueSocketIndex;
// False while the rescue probe is outstanding; true once it has answered and
// the login is next.
extern bool gRescueProbeDone;
