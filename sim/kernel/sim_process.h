#pragma once
// The simulated current process: one id per thread, set by the test that
// plays the application or the audio stack.
#include <stdint.h>

namespace sim {

// The id kernel::currentProcessId answers on the calling thread (4, the
// system process, unless set).
void setCurrentProcessId(uint32_t id);

}  // namespace sim
