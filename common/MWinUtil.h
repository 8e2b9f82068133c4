#pragma once

#include <cstdint>

// Small system utilities of the console.

// Waits the given milliseconds. Unless noEvents is set, pending events run
// meanwhile (at least once, even for 0 ms); with it set, the interface freezes.
void Pause(std::uint32_t milliseconds, bool noEvents);

// Platform codes of the version query.
inline constexpr int kPlatformWindows = 1; // the 95/98/Me family
inline constexpr int kPlatformNT = 2;

// Maps a Windows version to the console's version code (0 = unknown).
std::uint16_t GetWindowsVersion(int major, int minor, int platform);

// The running system's code: 0 on Linux, which is no Windows version.
std::uint16_t GetWindowsVersion();
