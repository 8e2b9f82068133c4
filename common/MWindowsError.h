#pragma once

#include <QString>

#include <cstdint>

// The error convention shared by both programs: Windows error codes become
// raised errors numbered 0x80040000 + 29000 + code, whose source is the
// program name followed by ".Windows".

inline constexpr std::uint32_t kWindowsErrorBase = 0x80047148u; // 0x80040000 + 29000
inline constexpr std::uint32_t kLibraryErrorBase = 0x80040000u;

// The Windows codes this system raises.
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorInvalidData = 13;

// The running program's name, as raised errors name their source.
QString ProgramName();

// The text the system gives for a Windows error code: a small table of the
// codes this system raises, else the C library's text; empty when neither knows it.
QString WindowsErrorText(std::uint32_t code);

// Throws CRaisedError for the code; never returns.
[[noreturn]] void RaiseWindowsError(std::uint32_t code);

// Throws CRaisedError unless the code is 0.
void RaiseWindowsErrorIf(std::uint32_t code);

// Throws one of the libraries' own errors: numbers up to 1000 are run-time
// errors, larger ones are combined with 0x80040000 and carry the module suffix
// (".Bytes", ".Utility", ".TrayIcon").
[[noreturn]] void RaiseLibraryError(std::uint32_t number, const QString& moduleSuffix,
                                    const QString& description);
