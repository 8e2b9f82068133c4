#pragma once

#include <QtGlobal>

// A top-level window of the desktop: its X11 window identifier; 0 is none.
using WindowHandle = quint32;
