// What both ways of playing a notebook share: the format check, the
// application's settings record and the delay read-out.
#include "engine/echo_canceller.h"
#include "engine/engine_state.h"
#include "notebook_simulation.h"

std::string checkNotebookFormats(const PcmFormat& mic, const PcmFormat& far, int32_t bufferMs) {
  int32_t working = workingRateFor(mic.rate);
  if (working == 0) return "microphone rate " + std::to_string(mic.rate) + " Hz is not one the engine runs at";
  // The capture entry pairs a render rate with the capture rate only when it
  // is a whole multiple of it (and so of the working rate).
  if (far.rate < mic.rate || far.rate % mic.rate != 0 || !renderRateAccepted(far.rate, working)) {
    return "far-end rate " + std::to_string(far.rate) + " Hz cannot pair with microphone rate " +
           std::to_string(mic.rate) + " Hz: the render rate must be a whole multiple of the capture rate";
  }
  int64_t frames = int64_t{mic.rate} * bufferMs / 1000;
  if (frames < 1) return "--buffer-ms " + std::to_string(bufferMs) + " holds no whole capture frame";
  // The engine takes at most one second of the working rate per buffer, all channels counted.
  int64_t samples = frames * mic.channels;
  if (samples > working) {
    return "buffers of " + std::to_string(bufferMs) + " ms hold " + std::to_string(samples) +
           " capture samples; the engine accepts at most " + std::to_string(working) + " (its working rate)";
  }
  return "";
}

EcSettings notebookEcSettings(EcSettings record, const NotebookSettings& settings) {
  record.enable = settings.canceller ? 1 : 0;
  record.micMode = settings.micMode;
  record.rateMask = EcSettings::kAllRates;
  record.noiseCancel = settings.noiseSuppressor ? 1 : 0;
  record.maxRate = kNotebookMaxRate;
  return record;
}

int32_t cancellerDelay(const EngineState& engine) {
  return engine.canceller1 != nullptr ? engine.canceller1->delay : -1;
}
