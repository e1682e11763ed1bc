#pragma once
// What the running system is, for the few choices that depend on it.
#include <stdint.h>

namespace kernel {

inline constexpr uint32_t kNtddiWinXp = 0x05010000;

// Asks the system's own version routine, which systems before XP lack: then
// `routineFound` is false and the answer means nothing.
bool isNtDdiVersionAvailable(uint32_t version, bool& routineFound);
// The major and minor version the system reports.
void systemVersion(uint32_t& major, uint32_t& minor);

}  // namespace kernel
