#pragma once

#include <cstdint>

// What an FTP session is doing (its SessionStatus, a 16-bit number for the
// component's holder); the monitor shows it as "Wait command", "Transfering"
// or "Storing". Listings leave it at essWaitCommand.
enum ESessionStatus : std::int16_t { essWaitCommand = 0, essSending = 1, essStoring = 2 };
