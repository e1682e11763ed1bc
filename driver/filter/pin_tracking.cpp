#include "filter/pin_tracking.h"

#include "filter/ks_formats.h"

void initializePinTracking(PinTracking& pins) {
  pins.table.clear();
  pins.capturePin = nullptr;
  pins.renderPin = nullptr;
  pins.renderFormat = ks::WAVEFORMATEX{};
  pins.micLevel = 0;
  pins.masterLevel = 0;
  for (int32_t& kind : pins.nodeKinds) __atomic_store_n(&kind, kNodeOther, __ATOMIC_RELAXED);
  __atomic_store_n(&pins.minRenderRate, PinTracking::kInitialMinRenderRate, __ATOMIC_RELAXED);
}

void pinCreated(DriverState& driver, PinTracking& pins, kernel::FileObject* fileObject, uint32_t processId,
                const uint8_t* connect) {
  if (connect == nullptr || fileObject == nullptr) return;
  // The create's buffer carries no length: the format's own size must
  // claim the bytes up to the end of its wave format.
  const uint8_t* format = connect + sizeof(ks::KSPIN_CONNECT);
  uint32_t claimed = ks::loadU32(format);
  uint32_t offset = recognisedWaveOffset(format, claimed);
  if (offset == 0) return;
  ks::WAVEFORMATEX wave = loadWaveFormat(format + offset);
  kernel::SpinLockGuard hold(driver.streamLock);
  pins.table.push(fileObject, processId, wave);
}

void claimCapturePin(DriverState& driver, PinTracking& pins, kernel::FileObject* fileObject) {
  if (fileObject == nullptr) return;
  kernel::SpinLockGuard hold(driver.streamLock);
  if (pins.capturePin != nullptr) return;
  const PinEntry* entry = pins.table.find(fileObject);
  if (entry == nullptr) return;
  pins.capturePin = fileObject;
  driver.captureCarry = 0;
  EcStatus& status = driver.status;
  status.readRate = entry->format.nSamplesPerSec;
  status.readChannels = entry->format.nChannels;
  status.readBits = entry->format.wBitsPerSample;
  status.processId = entry->processId;
  pins.table.remove(fileObject);
  status.captureRunning = 1;
}

void claimRenderPin(DriverState& driver, PinTracking& pins, kernel::FileObject* fileObject) {
  if (fileObject == nullptr) return;
  kernel::SpinLockGuard hold(driver.streamLock);
  if (pins.renderPin != nullptr) return;
  const PinEntry* entry = pins.table.find(fileObject);
  if (entry == nullptr) return;
  pins.renderPin = fileObject;
  pins.renderFormat = entry->format;
  pins.table.remove(fileObject);
  EcStatus& status = driver.status;
  status.renderRunning = 1;
  // A data-format request may have set them already.
  if (status.writeRate == 0) status.writeRate = pins.renderFormat.nSamplesPerSec;
  if (status.writeChannels == 0) status.writeChannels = pins.renderFormat.nChannels;
  if (status.writeBits == 0) status.writeBits = pins.renderFormat.wBitsPerSample;
}

bool isCapturePin(DriverState& driver, PinTracking& pins, const kernel::FileObject* fileObject) {
  kernel::SpinLockGuard hold(driver.streamLock);
  return fileObject != nullptr && pins.capturePin == fileObject;
}

bool isRenderPin(DriverState& driver, PinTracking& pins, const kernel::FileObject* fileObject) {
  kernel::SpinLockGuard hold(driver.streamLock);
  return fileObject != nullptr && pins.renderPin == fileObject;
}

void pinStopped(DriverState& driver, PinTracking& pins, const kernel::FileObject* fileObject) {
  if (fileObject == nullptr) return;
  kernel::SpinLockGuard hold(driver.streamLock);
  EcStatus& status = driver.status;
  if (fileObject == pins.capturePin) {
    status.captureRunning = 0;
    destroyEngine(driver);
    status.readRate = status.readChannels = status.readBits = 0;
    status.flags &= ~(EcStatus::kFlagCaptureFormatUnusable | EcStatus::kFlagUserModeCapture |
                      EcStatus::kFlagRenderFormatUnusable);
    pins.capturePin = nullptr;
  } else if (fileObject == pins.renderPin) {
    status.renderRunning = 0;
    if (driver.engine.canceller1 != nullptr) {
      destroyEngine(driver);
      status.active = 0;
    }
    status.writeRate = status.writeChannels = status.writeBits = 0;
    pins.renderFormat = ks::WAVEFORMATEX{};
    pins.renderPin = nullptr;
    status.flags &= ~EcStatus::kFlagRenderFormatUnusable;
  }
}

void lowerMinRenderRate(PinTracking& pins, uint32_t rate) {
  uint32_t seen = __atomic_load_n(&pins.minRenderRate, __ATOMIC_RELAXED);
  while (rate < seen &&
         !__atomic_compare_exchange_n(&pins.minRenderRate, &seen, rate, true, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
  }
}
