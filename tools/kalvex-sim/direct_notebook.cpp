// The notebook without the kernel-streaming path: the buffers handed to the
// two plain-memory stream halves of a driver state of its own, with the
// stream fields set as the pin tracking would set them.
#include <unistd.h>

#include "engine/driver_state.h"
#include "engine/engine_state.h"
#include "filter/capture_stream.h"
#include "filter/render_stream.h"
#include "notebook_simulation.h"
#include "process_time.h"

NotebookResult playNotebookDirect(const PcmStream& mic, const PcmStream& render, const NotebookSettings& settings) {
  NotebookResult result;
  const PcmFormat& micFormat = mic.format;
  DriverState driver{};
  initializeDriverState(driver);
  driver.settings = notebookEcSettings(driver.settings, settings);
  EcStatus& status = driver.status;
  status.captureRunning = 1;
  status.readRate = static_cast<uint32_t>(micFormat.rate);
  status.readChannels = static_cast<uint32_t>(micFormat.channels);
  status.readBits = static_cast<uint32_t>(micFormat.bits);
  status.processId = static_cast<uint32_t>(getpid());
  status.renderRunning = 1;
  status.writeRate = static_cast<uint32_t>(render.format.rate);
  status.writeChannels = static_cast<uint32_t>(render.format.channels);
  status.writeBits = static_cast<uint32_t>(render.format.bits);

  result.driverStarted = true;
  result.renderFormat = render.format;
  result.output.format = micFormat;
  result.captureFrames = int64_t{micFormat.rate} * settings.bufferMs / 1000;
  result.renderFrames = result.captureFrames * render.format.rate / micFormat.rate;
  int64_t buffers = (mic.frames() + result.captureFrames - 1) / result.captureFrames;
  std::vector<uint8_t> buffer;
  // The same order as through requests: render buffer k + 1 before capture buffer k.
  auto written = [&](int64_t k) {
    buffer = bufferOf(render, result.renderFrames, k);
    double start = processSeconds();
    renderBufferWritten(driver, buffer.data(), static_cast<uint32_t>(buffer.size()));
    result.cpuSeconds += processSeconds() - start;
  };
  written(0);
  for (int64_t k = 0; k < buffers; k++) {
    written(k + 1);
    buffer = bufferOf(mic, result.captureFrames, k);
    double start = processSeconds();
    captureBufferFilled(driver, buffer.data(), static_cast<uint32_t>(buffer.size()), true);
    result.cpuSeconds += processSeconds() - start;
    result.output.bytes.insert(result.output.bytes.end(), buffer.begin(), buffer.end());
  }
  result.output.bytes.resize(mic.bytes.size());

  result.workingRate = driver.engine.exists() ? driver.engine.workingRate : workingRateFor(micFormat.rate);
  result.delay = cancellerDelay(driver.engine);
  result.cancellerRan = driver.engine.canceller1 != nullptr;
  result.flags = driver.status.flags;
  destroyEngine(driver);
  result.poolReleased = true;
  return result;
}
