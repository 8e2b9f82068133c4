#pragma once

#include <QString>

// The console's version as its windows show it: major, minor and revision
// separated by dots, followed by the letter "a" ("2.0.5a").

// The text of a given version: 2, 0, 5 gives "2.0.5a".
QString VersionText(int major, int minor, int revision);

// The text of this build's version, from the project's version.
QString ProgramVersionText();
