#include "engine/driver_state.h"

void initializeDriverState(DriverState& driver) {
  driver.settings = kInitialEcSettings;
  driver.arraySettings = kInitialArraySettings;
  driver.status = EcStatus{};
  driver.streamLock = kernel::SpinLock{};
  driver.engine.initialize();
  driver.referenceStarted = 0;
  driver.captureCarry = 0;
}

void destroyEngine(DriverState& driver) {
  if (!driver.engine.exists()) return;
  driver.status.active = 0;
  driver.engine.releaseAll();
  driver.status.framesPerBuffer = 0;
  driver.status.flags = 0;
}
