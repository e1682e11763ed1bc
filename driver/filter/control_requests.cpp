#include "filter/control_requests.h"

#include "kernel/float_state.h"
#include "shared/control_codes.h"

namespace {

constexpr ControlRequestResult kNothingDone = {kernel::kStatusSuccess, 0};

template <typename Record>
ControlRequestResult copyOut(DriverState& driver, const Record& record, void* buffer, uint32_t outputLength) {
  if (buffer == nullptr || outputLength != sizeof(Record)) return kNothingDone;
  kernel::SpinLockGuard hold(driver.streamLock);
  __builtin_memcpy(buffer, &record, sizeof(Record));
  return {kernel::kStatusSuccess, sizeof(Record)};
}

ControlRequestResult setEcSettings(DriverState& driver, const void* buffer, uint32_t inputLength) {
  if (buffer == nullptr || inputLength != sizeof(EcSettings)) return kNothingDone;
  kernel::SpinLockGuard hold(driver.streamLock);
  __builtin_memcpy(&driver.settings, buffer, sizeof(EcSettings));
  // Switching the canceller off takes effect at once; every other field is
  // read where and when it is used.
  if (driver.status.active != 0 && driver.settings.enable == 0) {
    driver.engine.disableCanceller();
    driver.status.active = 0;
  }
  return {kernel::kStatusSuccess, sizeof(EcSettings)};
}

ControlRequestResult setArraySettings(DriverState& driver, const void* buffer, uint32_t inputLength) {
  if (buffer == nullptr || inputLength != sizeof(ArraySettings)) return kNothingDone;
  kernel::SpinLockGuard hold(driver.streamLock);
  __builtin_memcpy(&driver.arraySettings, buffer, sizeof(ArraySettings));
  return {kernel::kStatusSuccess, sizeof(ArraySettings)};
}

// Reports the status; the statistics are computed now and the peaks restart,
// so each read covers the time since the previous one.
ControlRequestResult getEcStatus(DriverState& driver, void* buffer, uint32_t outputLength) {
  if (buffer == nullptr || outputLength != sizeof(EcStatus)) return kNothingDone;
  kernel::SpinLockGuard hold(driver.streamLock);
  EcStatus& status = driver.status;
  if (status.active != 0) {
    kernel::FloatStateGuard floatState;
    if (floatState.saved()) {  // otherwise the four fields keep their previous values
      status.echoPathGain = driver.engine.echoPathFigure(1000.0f);
      driver.engine.readStatistics(status.micEnergy, status.refEnergy, status.outEnergy);
    }
  } else {
    status.echoPathGain = status.micEnergy = status.refEnergy = status.outEnergy = 0;
  }
  __builtin_memcpy(buffer, &status, sizeof(EcStatus));
  status.readPeak = status.writePeak = status.outPeak = 0;
  return {kernel::kStatusSuccess, sizeof(EcStatus)};
}

}  // namespace

ControlRequestResult handleControlRequest(DriverState& driver, uint32_t code, void* buffer,
                                          uint32_t inputLength, uint32_t outputLength) {
  switch (code) {
    case IOCTL_EC_GET_SETTINGS:
      return copyOut(driver, driver.settings, buffer, outputLength);
    case IOCTL_EC_SET_SETTINGS:
      return setEcSettings(driver, buffer, inputLength);
    case IOCTL_EC_GET_STATUS:
      return getEcStatus(driver, buffer, outputLength);
    case IOCTL_ARRAY_GET_SETTINGS:
      return copyOut(driver, driver.arraySettings, buffer, outputLength);
    case IOCTL_ARRAY_SET_SETTINGS:
      return setArraySettings(driver, buffer, inputLength);
    case IOCTL_ARRAY_GET_STATUS:
      // The array processing is not present: nothing is reported, the buffer stays unwritten.
      return kNothingDone;
    default:
      return kNothingDone;
  }
}
