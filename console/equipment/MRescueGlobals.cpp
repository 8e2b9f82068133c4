#include "console/equipment/MRescueGlobals.h"

QString gRescueUser;
QString gRescuePassword;
bool gRescueDialogOpen = false;
int gRescueSocketIndex = 0;
bool gRescueProbeDone = false;
