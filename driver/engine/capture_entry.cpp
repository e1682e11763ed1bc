#include "engine/capture_entry.h"

namespace {

bool captureRateAllowed(uint32_t rate, uint32_t rateMask) {
  for (uint32_t bit = 0; bit < 7; bit++) {
    if (EcSettings::kRateMaskRates[bit] == rate) return (rateMask >> bit & 1) != 0;
  }
  return false;  // a rate outside the seven counts as not allowed
}

// The reference must be at least as fast as the capture and a whole multiple of it.
bool renderRatePairs(uint32_t renderRate, uint32_t captureRate) {
  return captureRate != 0 && renderRate >= captureRate && renderRate % captureRate == 0;
}

}  // namespace

bool sampleWidthUsable(uint32_t bits) { return bits == 16 || bits == 32; }

void processCaptureBuffer(DriverState& driver, int32_t sampleCount, int16_t* samples) {
  const EcSettings& settings = driver.settings;
  if (settings.enable == 0 && driver.arraySettings.enable == 0) return;

  kernel::SpinLockGuard hold(driver.streamLock);
  EcStatus& status = driver.status;
  EngineState& engine = driver.engine;
  if (status.readRate == 0 || status.readChannels == 0) return;
  bool wanted = settings.enable != 0 && status.renderRunning != 0 && status.writeRate != 0;
  bool arrayOn = driver.arraySettings.enable != 0;
  if (!wanted && !arrayOn) return;

  if (engine.exists()) {
    if (wanted && engine.canceller1 == nullptr) {
      // The render format may have changed since the engine was built, so
      // its width is checked again together with the rate.
      if (!renderRatePairs(status.writeRate, status.readRate) || !sampleWidthUsable(status.writeBits)) {
        status.flags |= EcStatus::kFlagRenderFormatUnusable;
        wanted = false;
      } else {
        status.flags &= ~EcStatus::kFlagRenderFormatUnusable;
        if (!engine.enableCanceller(settings.noiseCancel != 0, static_cast<int32_t>(status.writeRate))) return;
        status.active = 1;
      }
    }
    if (arrayOn) return;  // the array suspends the engine: the buffer stays as captured
  } else {
    if (wanted && !captureRateAllowed(status.readRate, settings.rateMask)) {
      status.flags |= EcStatus::kFlagCaptureFormatUnusable;
      return;
    }
    if (!sampleWidthUsable(status.readBits)) {
      status.flags |= EcStatus::kFlagCaptureFormatUnusable;
      return;
    }
    if (wanted && !sampleWidthUsable(status.writeBits)) {
      status.flags |= EcStatus::kFlagRenderFormatUnusable;
      return;
    }
    if (!createEngine(driver, sampleCount)) return;
    driver.referenceStarted = 0;
  }

  if (driver.referenceStarted == 0 && wanted) return;  // the canceller waits for the first reference
  if (engine.canceller1 == nullptr) return;
  engine.processBuffer(samples, sampleCount);
  // Over the whole buffer, also where the chain left it as captured.
  updatePeak(status.outPeak, samples, sampleCount);
}

void updatePeak(uint32_t& peak, const int16_t* samples, int32_t count) {
  for (int32_t i = 0; i < count; i++) {
    int32_t s = samples[i];
    uint32_t magnitude = static_cast<uint32_t>(s < 0 ? -s : s);
    if (magnitude > peak) peak = magnitude;
  }
}

bool createEngine(DriverState& driver, int32_t sampleCount) {
  EcStatus& status = driver.status;
  EngineState& engine = driver.engine;
  if (status.captureRunning == 0 || engine.exists()) return false;
  if (status.readRate == 0 || status.readChannels == 0 || sampleCount <= 0) return false;

  bool on = driver.settings.enable != 0;
  if (status.renderRunning != 0) {
    if (!renderRatePairs(status.writeRate, status.readRate)) {
      status.flags |= EcStatus::kFlagRenderFormatUnusable;
      on = false;
    } else {
      status.flags &= ~EcStatus::kFlagRenderFormatUnusable;
    }
  } else {
    on = false;
  }
  bool arrayOn = driver.arraySettings.enable != 0;
  if (!on && !arrayOn) return false;

  status.framesPerBuffer = static_cast<uint32_t>(sampleCount) / status.readChannels;
  int32_t mode = driver.settings.micMode == EcSettings::kMicModeBothChannels ? kChannelModeBoth
                                                                             : kChannelModeFirstOnly;
  if (!engine.configure(static_cast<int32_t>(status.readChannels), mode, static_cast<int32_t>(status.readRate),
                        static_cast<int32_t>(status.writeRate), sampleCount, on, driver.settings.noiseCancel != 0,
                        arrayOn)) {
    return false;
  }
  status.active = engine.canceller1 != nullptr ? 1 : 0;
  return true;
}
