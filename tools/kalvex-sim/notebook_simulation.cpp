#include "notebook_simulation.h"

#include <algorithm>
#include <memory>

#include "engine/echo_canceller.h"
#include "engine/engine_state.h"
#include "loaded_driver.h"
#include "process_time.h"
#include "rate_converter.h"
#include "shared/control_codes.h"
#include "sim_report.h"
#include "sim/kernel/sim_kernel.h"

namespace {

// The control application's way of changing settings: read the driver's
// record, change the fields it owns, write the record back.
void applySettings(LoadedDriver& driver, const NotebookSettings& settings) {
  EcSettings record{};
  driver.control(IOCTL_EC_GET_SETTINGS, nullptr, 0, &record, sizeof record);
  record = notebookEcSettings(record, settings);
  driver.control(IOCTL_EC_SET_SETTINGS, &record, sizeof record, nullptr, 0);
}

PcmFormat pcmFormatOf(const sim::WaveFormat& f) { return {static_cast<int32_t>(f.rate), f.channels, f.bits}; }

// The lowest rate the audio stack proposes, Hz.
constexpr uint32_t kLowestProposedRate = 8000;

// The range the audio stack proposes for a stream of `format`: its channels
// and width at any rate up to its own.
sim::AudioRange proposedRange(const PcmFormat& format) {
  auto bits = static_cast<uint32_t>(format.bits);
  return {static_cast<uint32_t>(format.channels), bits, bits, kLowestProposedRate, static_cast<uint32_t>(format.rate)};
}

}  // namespace

NotebookResult playNotebook(const PcmStream& mic, const PcmStream& far, const NotebookSettings& settings,
                            const std::function<void(const StatusRead&)>& onStatus) {
  NotebookResult result;
  const PcmFormat& micFormat = mic.format;
  int64_t liveBefore = sim::poolCounters().liveBlocks;
  result.output.format = micFormat;
  result.captureFrames = int64_t{micFormat.rate} * settings.bufferMs / 1000;
  const auto captureBytes = static_cast<uint32_t>(result.captureFrames * micFormat.bytesPerFrame());

  auto loaded = std::make_unique<LoadedDriver>();
  DriverState* driver = &loaded->state();
  sim::KsClient& mixer = loaded->mixer();
  result.driverStarted = loaded->started();
  applySettings(*loaded, settings);

  // The microphone: each read is filled with the bytes set aside for it.
  std::vector<uint8_t> recorded;
  loaded->device().setCaptureSource([&](uint8_t* data, uint32_t bytes, const sim::WaveFormat&) {
    auto n = static_cast<uint32_t>(std::min<size_t>(bytes, recorded.size()));
    std::copy(recorded.begin(), recorded.begin() + n, data);
    return n;
  });

  // The recording application opens its stream before the far end plays:
  // the capture pin's first read claims it, and its rate then steers the
  // render pin's negotiation. That read is of the room before the call
  // (silence) and is not part of the recording.
  sim::WaveFormat chosen{};
  kernel::FileObject* capturePin = loaded->openPin(loaded->device().capturePinId(), proposedRange(micFormat), chosen);
  kernel::FileObject* renderPin = nullptr;
  std::vector<uint8_t> data;
  if (capturePin == nullptr || pcmFormatOf(chosen) != micFormat) {
    result.streamFault = "the audio stack could not open the capture pin in " + formatText(micFormat);
  } else {
    recorded = silence(micFormat, result.captureFrames);
    uint32_t dataUsed = 0;
    kernel::Status read = mixer.read(capturePin, data, captureBytes, &dataUsed).status;
    if (read != kernel::kStatusSuccess || dataUsed != captureBytes) {
      result.streamFault = "the first capture read failed";
    }
    renderPin = loaded->openPin(loaded->device().renderPinId(), proposedRange(far.format), chosen);
    result.renderFormat = pcmFormatOf(chosen);
    if (renderPin == nullptr || chosen.channels != far.format.channels || chosen.bits != far.format.bits ||
        far.format.rate % result.renderFormat.rate != 0) {
      result.streamFault = "the audio stack could not open the render pin for " + formatText(far.format);
    }
  }

  if (result.streamFault.empty()) {
    // The mixer plays the far end at the rate the render pin was given.
    PcmStream played = decimateStream(far, result.renderFormat.rate);
    // Whole frames per buffer; the render buffer covers the same time, which
    // is exact because the render rate is a whole multiple of the capture rate.
    result.renderFrames = result.captureFrames * result.renderFormat.rate / micFormat.rate;
    int64_t buffers = (mic.frames() + result.captureFrames - 1) / result.captureFrames;
    int64_t statusFrames = int64_t{micFormat.rate} * kStatusIntervalMs / 1000;
    result.output.bytes.reserve(static_cast<size_t>(buffers) * captureBytes);
    std::vector<uint8_t> renderBuffer;
    int64_t captured = 0;
    int64_t nextStatus = statusFrames;
    StatusMeans means;

    // Render buffer k is written when it starts playing, at k buffer lengths;
    // capture buffer k is read once it has been recorded, one buffer length
    // later. So the render stream leads by one buffer.
    auto render = [&](int64_t k) {
      renderBuffer = bufferOf(played, result.renderFrames, k);
      size_t bytes = renderBuffer.size();
      double start = processSeconds();
      bool written = mixer.write(renderPin, renderBuffer).status == kernel::kStatusSuccess;
      result.cpuSeconds += processSeconds() - start;
      if ((!written || renderBuffer.size() != bytes) && result.streamFault.empty()) {
        result.streamFault = "render write " + std::to_string(k) + " failed";
      }
    };
    render(0);
    for (int64_t k = 0; k < buffers && result.streamFault.empty(); k++) {
      render(k + 1);
      recorded = bufferOf(mic, result.captureFrames, k);
      uint32_t dataUsed = 0;
      double start = processSeconds();
      bool read = mixer.read(capturePin, data, captureBytes, &dataUsed).status == kernel::kStatusSuccess;
      result.cpuSeconds += processSeconds() - start;
      if (!read || dataUsed != captureBytes) {
        result.streamFault = "capture read " + std::to_string(k) + " came back with " + std::to_string(dataUsed) +
                             " of " + std::to_string(captureBytes) + " bytes";
      }
      result.output.bytes.insert(result.output.bytes.end(), data.begin(), data.end());
      captured += result.captureFrames;

      while (captured >= nextStatus) {
        StatusRead poll{};
        poll.poll = static_cast<int64_t>(result.statusReads.size()) + 1;
        poll.seconds = static_cast<double>(nextStatus) / micFormat.rate;
        loaded->control(IOCTL_EC_GET_STATUS, nullptr, 0, &poll.status, sizeof poll.status);
        means.update(poll.status);
        poll.means = means;
        poll.delay = cancellerDelay(driver->engine);
        poll.workingRate = driver->engine.exists() ? driver->engine.workingRate : 0;
        result.statusReads.push_back(poll);
        if (onStatus) onStatus(poll);
        nextStatus += statusFrames;
      }
    }
  }
  result.output.bytes.resize(mic.bytes.size(), micFormat.bits == 8 ? 128 : 0);

  result.workingRate = driver->engine.exists() ? driver->engine.workingRate : workingRateFor(micFormat.rate);
  result.delay = cancellerDelay(driver->engine);
  result.cancellerRan = driver->engine.canceller1 != nullptr;
  result.flags = driver->status.flags;
  // The audio stack stops both pins and closes them, the device goes away:
  // the driver must give back all it took.
  loaded->closePin(capturePin);
  loaded->closePin(renderPin);
  loaded->device().setCaptureSource(nullptr);
  loaded.reset();
  result.poolReleased = sim::poolCounters().liveBlocks == liveBefore;
  return result;
}
