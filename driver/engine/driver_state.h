#pragma once
// Everything that exists once per loaded driver: the control records, the
// status report, the stream lock that guards them, and the engine.
#include <stdint.h>

#include "engine/engine_state.h"
#include "kernel/spin_lock.h"
#include "shared/control_records.h"

struct DriverState {
  EcSettings settings;
  ArraySettings arraySettings;
  EcStatus status;
  kernel::SpinLock streamLock;  // guards all of the above and the engine; never nested
  EngineState engine;
  // 0 after the engine is created; the render path sets it once it has fed
  // reference while the canceller is active. Capture processing waits for it.
  int32_t referenceStarted;
  // Bytes of an incomplete capture frame left over from earlier buffers; 0
  // at load and whenever a capture pin is identified.
  uint32_t captureCarry;
};

// The state a driver holds from load until the application first writes.
void initializeDriverState(DriverState& driver);

// Full teardown with the status words; nothing happens without an engine.
void destroyEngine(DriverState& driver);
