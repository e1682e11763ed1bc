#include "filter/capture_stream.h"

#include "engine/capture_entry.h"
#include "filter/sample_layout.h"
#include "kernel/float_state.h"

namespace {

// 32-bit containers to 16-bit slots in place, ascending: slot i (bytes 2i)
// never overtakes container i (bytes 4i .. 4i + 3).
void packUpperHalves(uint8_t* data, uint32_t samples) {
  for (uint32_t i = 0; i < samples; i++) storeInt16(data + 2 * i, loadInt16(data + 4 * i + 2));
}

// And back, descending, with the lower halves cleared.
void unpackToUpperHalves(uint8_t* data, uint32_t samples) {
  for (uint32_t i = samples; i-- > 0;) {
    int16_t sample = loadInt16(data + 2 * i);
    storeInt16(data + 4 * i, 0);
    storeInt16(data + 4 * i + 2, sample);
  }
}

// Exchanges left and right in every two-channel frame; the 8-bit layout
// exchanges bytes, every other width the engine reads exchanges 16-bit slots.
void swapChannels(uint8_t* data, uint32_t samples, uint32_t bits) {
  if (bits == 8) {
    for (uint32_t i = 0; i + 1 < samples; i += 2) {
      uint8_t left = data[i];
      data[i] = data[i + 1];
      data[i + 1] = left;
    }
    return;
  }
  for (uint32_t i = 0; i + 1 < samples; i += 2) {
    int16_t left = loadInt16(data + 2 * i);
    storeInt16(data + 2 * i, loadInt16(data + 2 * i + 2));
    storeInt16(data + 2 * i + 2, left);
  }
}

}  // namespace

void captureBufferFilled(DriverState& driver, uint8_t* data, uint32_t dataUsed, bool kernelModeRequester) {
  EcStatus& status = driver.status;
  uint8_t* samplesStart = data;
  uint32_t samples = 0;
  uint32_t bits = 0;
  bool wholeFrames = false;
  bool processing = false;
  {
    // The status, the carry and the peak are read and updated under the
    // stream lock: render writes and status reads change them concurrently.
    // It is released before the engine call, which takes it itself.
    kernel::SpinLockGuard hold(driver.streamLock);
    if (!kernelModeRequester) {
      status.flags |= EcStatus::kFlagUserModeCapture;
      return;
    }
    status.flags &= ~EcStatus::kFlagUserModeCapture;

    bits = status.readBits;
    uint32_t channels = status.readChannels;
    bool observed = driver.settings.enable != 0 || driver.settings.monitor != 0 || driver.arraySettings.enable != 0;
    // Widths below 8 bits have no whole bytes per sample: passed through untouched.
    if (bits < 8 || channels == 0 || !observed || data == nullptr) return;

    uint32_t bytesPerSample = bits / 8;
    uint32_t frameBytes = channels * bytesPerSample;
    samples = dataUsed / bytesPerSample;
    uint32_t rest = dataUsed % frameBytes;
    wholeFrames = rest == 0;
    if (!wholeFrames) {
      if (driver.captureCarry != 0) {
        // The bytes that complete the frame begun in an earlier buffer.
        uint32_t skip = frameBytes - driver.captureCarry;
        if (skip > dataUsed) skip = dataUsed;
        samplesStart += skip;
        samples = (dataUsed - skip) / bytesPerSample;
      }
      driver.captureCarry = (driver.captureCarry + rest) % frameBytes;
      if (status.renderRunning != 0) status.flags |= EcStatus::kFlagCaptureFormatUnusable;
    }

    if (bits == 32) packUpperHalves(samplesStart, samples);
    if (bits == 8) {
      for (uint32_t i = 0; i < samples; i++) {
        uint32_t m = magnitude(readSample(samplesStart + i, 8));
        if (m > status.readPeak) status.readPeak = m;
      }
    } else {
      // After packing every width reads as 16-bit slots here.
      for (uint32_t i = 0; i < samples; i++) {
        uint32_t m = magnitude(loadInt16(samplesStart + 2 * i));
        if (m > status.readPeak) status.readPeak = m;
      }
    }

    if (wholeFrames && driver.settings.swapChannels != 0 && channels == 2 && (bits == 8 || sampleWidthUsable(bits))) {
      swapChannels(samplesStart, samples, bits);
    }
    processing = driver.settings.enable != 0 || driver.arraySettings.enable != 0;
  }

  if (wholeFrames && processing) {
    kernel::FloatStateGuard floatState;
    if (floatState.saved()) {
      // A width the engine cannot read goes in with no samples: its gates
      // still see the format and report it, but nothing reads the bytes as
      // 16-bit samples they are not.
      int32_t count = sampleWidthUsable(bits) ? static_cast<int32_t>(samples) : 0;
      processCaptureBuffer(driver, count, reinterpret_cast<int16_t*>(samplesStart));
    }
  }

  if (bits == 32) unpackToUpperHalves(samplesStart, samples);
}
