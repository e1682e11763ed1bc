#include "filter/render_stream.h"

#include "engine/capture_entry.h"
#include "filter/sample_layout.h"
#include "kernel/float_state.h"

namespace {

// m = (L + R) / 2, truncating toward zero; further channels are ignored.
int16_t monoMix(const uint8_t* frame, uint32_t channels, uint32_t bits) {
  int32_t left = readSample(frame, bits);
  if (channels == 1) return static_cast<int16_t>(left);
  int32_t right = readSample(frame + bits / 8, bits);
  int32_t m = (left + right) / 2;
  return static_cast<int16_t>(m < -32768 ? -32768 : m > 32767 ? 32767 : m);
}

// The mono mix into the first two channels; 32-bit containers keep their lower halves.
void writeBack(uint8_t* frame, uint32_t bits, int16_t m) {
  uint32_t offset = bits == 32 ? 2 : 0;
  storeInt16(frame + offset, m);
  storeInt16(frame + bits / 8 + offset, m);
}

}  // namespace

void renderBufferWritten(DriverState& driver, uint8_t* data, uint32_t dataUsed) {
  kernel::SpinLockGuard hold(driver.streamLock);
  if ((driver.settings.enable == 0 && driver.settings.monitor == 0) || data == nullptr) return;

  EcStatus& status = driver.status;
  uint32_t channels = status.writeChannels;
  uint32_t bits = status.writeBits;
  // Only the widths the canceller reads are fed and written back.
  bool usable = channels != 0 && sampleWidthUsable(bits);
  // Widths below 8 bits have no whole bytes per sample: passed through untouched.
  if (channels != 0 && bits >= 8) {
    uint32_t frameBytes = bits / 8 * channels;
    uint32_t frames = dataUsed / frameBytes;
    for (uint32_t i = 0; i < frames; i++) {
      uint8_t* frame = data + i * frameBytes;
      int16_t m = monoMix(frame, channels, bits);
      if (magnitude(m) > status.writePeak) status.writePeak = magnitude(m);
      if (status.active == 0 || !usable) continue;
      {
        kernel::FloatStateGuard floatState;
        if (floatState.saved()) driver.engine.feedReferenceSample(m);
      }
      if (channels >= 2) writeBack(frame, bits, m);
    }
  }
  if (status.active != 0 && usable) driver.referenceStarted = 1;
}
