#include "notebook_simulation.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

#include "engine/driver_state.h"
#include "engine/echo_canceller.h"
#include "engine/engine_state.h"
#include "filter/capture_stream.h"
#include "filter/filter_driver.h"
#include "filter/render_stream.h"
#include "shared/control_codes.h"
#include "sim/audio/sim_audio_device.h"
#include "sim/kernel/sim_io.h"
#include "sim/kernel/sim_kernel.h"
#include "sim/user/sim_user_mode.h"

namespace {

double processSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr char16_t kServiceKey[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Kalvex";
constexpr char16_t kControlPath[] = u"\\\\.\\Kalvex";

// The notebook's kernel: Kalvex loaded over the simulated kernel, its filter
// device on top of one simulated audio device, started as plug and play
// would, and the control application's handle to "\\.\Kalvex".
class LoadedDriver {
 public:
  LoadedDriver() {
    sim::resetIo();
    audio_ = std::make_unique<sim::AudioDriver>();
    kalvex_ = sim::createDriverObject("filter");
    std::u16string path = kServiceKey;
    auto bytes = static_cast<uint16_t>(path.size() * 2);
    kernel::UnicodeString registryPath{bytes, bytes, path.data()};
    filterDriverEntry(filter_, kalvex_, registryPath);
    audioDevice_ = audio_->addInstance();
    started_ = sim::addDevice(kalvex_, audioDevice_) == kernel::kStatusSuccess &&
               sim::sendPnp(audioDevice_, kernel::kIrpMnStartDevice).status == kernel::kStatusSuccess &&
               sim::openFile(kControlPath, control_) == kernel::kStatusSuccess;
  }
  ~LoadedDriver() {
    if (control_.file != nullptr) sim::closeHandle(control_);
    destroyEngine(filter_.state);
    sim::sendPnp(audioDevice_, kernel::kIrpMnRemoveDevice);
    audio_->finishPending();
    audio_.reset();
    sim::resetIo();
  }
  LoadedDriver(const LoadedDriver&) = delete;
  LoadedDriver& operator=(const LoadedDriver&) = delete;

  bool started() const { return started_; }
  DriverState& state() { return filter_.state; }
  // A control request as the application sends it, through the control device.
  void control(uint32_t code, const void* input, uint32_t inputLength, void* output, uint32_t outputLength) {
    sim::deviceIoControl(control_, code, input, inputLength, output, outputLength);
  }

 private:
  FilterDriver filter_{};
  std::unique_ptr<sim::AudioDriver> audio_;  // made after the I/O system is reset
  kernel::DriverObject* kalvex_ = nullptr;
  kernel::DeviceObject* audioDevice_ = nullptr;
  sim::UserHandle control_;
  bool started_ = false;
};

// The control application's way of changing settings: read the driver's
// record, change the fields it owns, write the record back.
void applySettings(LoadedDriver& driver, const NotebookSettings& settings) {
  EcSettings record{};
  driver.control(IOCTL_EC_GET_SETTINGS, nullptr, 0, &record, sizeof record);
  record.enable = 1;
  record.micMode = settings.micMode;
  record.rateMask = EcSettings::kAllRates;
  record.noiseCancel = settings.noiseSuppressor ? 1 : 0;
  driver.control(IOCTL_EC_SET_SETTINGS, &record, sizeof record, nullptr, 0);
}

// What the pin tracking records once both pins have been identified.
void openPins(DriverState& driver, const PcmFormat& mic, const PcmFormat& far) {
  kernel::SpinLockGuard hold(driver.streamLock);
  EcStatus& status = driver.status;
  driver.captureCarry = 0;
  status.captureRunning = 1;
  status.readRate = static_cast<uint32_t>(mic.rate);
  status.readChannels = static_cast<uint32_t>(mic.channels);
  status.readBits = static_cast<uint32_t>(mic.bits);
  status.processId = static_cast<uint32_t>(getpid());
  status.renderRunning = 1;
  status.writeRate = static_cast<uint32_t>(far.rate);
  status.writeChannels = static_cast<uint32_t>(far.channels);
  status.writeBits = static_cast<uint32_t>(far.bits);
}

// Buffer k of a stream, padded with silence past its end.
void fillBuffer(std::vector<uint8_t>& buffer, const PcmStream& stream, int64_t frames, int64_t k) {
  int64_t frameBytes = stream.format.bytesPerFrame();
  int64_t begin = std::min<int64_t>(k * frames * frameBytes, static_cast<int64_t>(stream.bytes.size()));
  int64_t end = std::min<int64_t>((k + 1) * frames * frameBytes, static_cast<int64_t>(stream.bytes.size()));
  buffer = silence(stream.format, frames);
  std::copy(stream.bytes.begin() + begin, stream.bytes.begin() + end, buffer.begin());
}

int32_t delayEstimate(const EngineState& engine) { return engine.canceller1 != nullptr ? engine.canceller1->delay : -1; }

}  // namespace

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

NotebookResult playNotebook(const PcmStream& mic, const PcmStream& far, const NotebookSettings& settings,
                            const std::function<void(const StatusRead&)>& onStatus) {
  NotebookResult result;
  const PcmFormat& micFormat = mic.format;
  int64_t liveBefore = sim::poolCounters().liveBlocks;

  // The streams still enter through the stream halves directly; the records
  // go through the control device as the application's do.
  auto loaded = std::make_unique<LoadedDriver>();
  DriverState* driver = &loaded->state();
  result.driverStarted = loaded->started();
  applySettings(*loaded, settings);
  openPins(*driver, micFormat, far.format);

  // Whole frames per buffer; the render buffer covers the same time, which
  // is exact because the render rate is a whole multiple of the capture rate.
  result.captureFrames = int64_t{micFormat.rate} * settings.bufferMs / 1000;
  result.renderFrames = result.captureFrames * (far.format.rate / micFormat.rate);
  int64_t buffers = (mic.frames() + result.captureFrames - 1) / result.captureFrames;
  int64_t statusFrames = int64_t{micFormat.rate} * kStatusIntervalMs / 1000;

  result.output.format = micFormat;
  result.output.bytes.reserve(static_cast<size_t>(buffers * result.captureFrames * micFormat.bytesPerFrame()));
  std::vector<uint8_t> renderBuffer;
  std::vector<uint8_t> captureBuffer;
  int64_t captured = 0;
  int64_t nextStatus = statusFrames;

  // Render buffer k is written when it starts playing, at k buffer lengths;
  // capture buffer k is returned once it has been recorded, one buffer length
  // later. So the render stream leads by one buffer.
  auto render = [&](int64_t k) {
    fillBuffer(renderBuffer, far, result.renderFrames, k);
    double start = processSeconds();
    renderBufferWritten(*driver, renderBuffer.data(), static_cast<uint32_t>(renderBuffer.size()));
    result.cpuSeconds += processSeconds() - start;
  };
  render(0);
  for (int64_t k = 0; k < buffers; k++) {
    render(k + 1);
    fillBuffer(captureBuffer, mic, result.captureFrames, k);
    double start = processSeconds();
    captureBufferFilled(*driver, captureBuffer.data(), static_cast<uint32_t>(captureBuffer.size()), true);
    result.cpuSeconds += processSeconds() - start;
    result.output.bytes.insert(result.output.bytes.end(), captureBuffer.begin(), captureBuffer.end());
    captured += result.captureFrames;

    while (captured >= nextStatus) {
      StatusRead read{};
      read.seconds = static_cast<double>(nextStatus) / micFormat.rate;
      loaded->control(IOCTL_EC_GET_STATUS, nullptr, 0, &read.status, sizeof read.status);
      read.delay = delayEstimate(driver->engine);
      read.workingRate = driver->engine.exists() ? driver->engine.workingRate : 0;
      result.statusReads.push_back(read);
      if (onStatus) onStatus(read);
      nextStatus += statusFrames;
    }
  }
  result.output.bytes.resize(mic.bytes.size());

  result.workingRate = driver->engine.exists() ? driver->engine.workingRate : workingRateFor(micFormat.rate);
  result.delay = delayEstimate(driver->engine);
  result.cancellerRan = driver->engine.canceller1 != nullptr;
  result.flags = driver->status.flags;
  // The pins close and the device goes away: the driver must give back all it took.
  loaded.reset();
  result.poolReleased = sim::poolCounters().liveBlocks == liveBefore;
  return result;
}
