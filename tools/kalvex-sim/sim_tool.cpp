#include "sim_tool.h"

#include <filesystem>

#include "echo_metrics.h"
#include "level_plot.h"
#include "notebook_simulation.h"
#include "segment_list.h"
#include "sim_options.h"
#include "sim_report.h"
#include "wav_file.h"

namespace {

// The output may lag the microphone by at most this much, ms.
constexpr int32_t kMaxLatencyMs = 300;
// The canceller adapts during the first far-end speech; the settled figure
// leaves out this much far-end-only audio, ms.
constexpr int32_t kSettleMs = 1000;
// Each level of the plot covers this much audio, ms.
constexpr int32_t kPlotWindowMs = 20;

int fail(std::ostream& err, int code, const std::string& message) {
  err << "kalvex-sim: " << message << "\n";
  return code;
}

// The directory a file will be written into must exist before the run.
std::string checkWritable(const std::string& path) {
  std::filesystem::path directory = std::filesystem::path(path).parent_path();
  std::error_code code;
  if (!directory.empty() && !std::filesystem::is_directory(directory, code)) {
    return path + ": directory " + directory.string() + " does not exist";
  }
  if (std::filesystem::is_directory(path, code)) return path + ": is a directory";
  return "";
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

int runKalvexSim(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  SimOptionsResult parsed = parseSimOptions(arguments);
  if (!parsed.error.empty()) return fail(err, kExitUsage, parsed.error + " (see --help)");
  const SimOptions& options = parsed.options;
  if (options.help) {
    out << kSimUsage;
    return kExitSuccess;
  }

  WavReadResult mic = readWav(options.mic);
  if (!mic.error.empty()) return fail(err, kExitBadInput, mic.error);
  WavReadResult far = readWav(options.far);
  if (!far.error.empty()) return fail(err, kExitBadInput, far.error);
  std::string formats = checkNotebookFormats(mic.stream.format, far.stream.format, options.bufferMs);
  if (!formats.empty()) return fail(err, kExitBadInput, formats);
  SegmentListResult segments;
  if (!options.segments.empty()) {
    segments = readSegmentList(options.segments);
    if (!segments.error.empty()) return fail(err, kExitBadInput, segments.error);
  }
  for (const std::string& path : {options.out, options.plot}) {
    if (path.empty()) continue;
    std::string writable = checkWritable(path);
    if (!writable.empty()) return fail(err, kExitBadInput, writable);
  }

  if (options.status) {
    out << "status: audio time, active, flags, peaks (16-bit scale) before processing, of the far end and after\n"
           "        processing, mean squares at the working rate (dB of one step squared), 1000 x echo path, delay\n";
  }
  NotebookSettings settings{options.bufferMs, options.noiseSuppressor, options.micMode};
  NotebookResult run = playNotebook(mic.stream, far.stream, settings, [&](const StatusRead& read) {
    if (options.status) out << "status " << statusLine(read) << "\n";
  });
  if (!run.driverStarted) return fail(err, kExitFault, "driver fault: the driver did not start or its control device did not open");
  if (!run.poolReleased) return fail(err, kExitFault, "driver fault: the driver left pool memory behind");

  Signal micSignal = toSignal(mic.stream);
  Signal outSignal = toSignal(run.output);
  int32_t rate = mic.stream.format.rate;
  int64_t frames = micSignal.frames();
  int64_t latency = estimateLatency(micSignal, outSignal, int64_t{rate} * kMaxLatencyMs / 1000);

  SummaryFigures figures;
  figures.micPath = options.mic;
  figures.farPath = options.far;
  figures.outPath = options.out;
  figures.plotPath = options.plot;
  figures.mic = mic.stream.format;
  figures.far = far.stream.format;
  figures.seconds = mic.stream.seconds();
  figures.bufferMs = options.bufferMs;
  figures.noiseSuppressor = options.noiseSuppressor;
  figures.micMode = options.micMode;
  figures.latencyMs = 1000.0 * static_cast<double>(latency) / rate;
  figures.erleWhole = erleDb(micSignal, outSignal, {{0, frames}}, latency);
  figures.haveSegments = !options.segments.empty();
  if (figures.haveSegments) {
    std::vector<FrameRange> farOnly = framesOfKind(segments.segments, SegmentKind::FarOnly, rate, frames);
    for (const FrameRange& r : farOnly) figures.farOnlySeconds += static_cast<double>(r.end - r.begin) / rate;
    figures.erleFarOnly = erleDb(micSignal, outSignal, farOnly, latency);
    figures.settleSeconds = kSettleMs / 1000.0;
    figures.erleFarOnlySettled =
        erleDb(micSignal, outSignal, afterFirstFrames(farOnly, int64_t{rate} * kSettleMs / 1000), latency);
    figures.erleDoubleTalk =
        erleDb(micSignal, outSignal, framesOfKind(segments.segments, SegmentKind::DoubleTalk, rate, frames), latency);
  }

  if (!options.plot.empty()) {
    int64_t micWindow = int64_t{rate} * kPlotWindowMs / 1000;
    int64_t farWindow = int64_t{far.stream.format.rate} * kPlotWindowMs / 1000;
    LevelPlot plot;
    plot.title = "kalvex-sim: " + fileName(options.mic) + " with " + fileName(options.far) + ", " +
                 formatText(mic.stream.format);
    plot.windowSeconds = kPlotWindowMs / 1000.0;
    plot.mic = levelsDb(micSignal, micWindow);
    plot.out = levelsDb(outSignal, micWindow);
    plot.far = levelsDb(toSignal(far.stream), farWindow);
    plot.segments = segments.segments;
    std::string written = writeLevelPlot(options.plot, plot);
    if (!written.empty()) return fail(err, kExitBadInput, written);
  }
  std::string written = writeWav(options.out, run.output);
  if (!written.empty()) {
    if (!options.plot.empty()) std::filesystem::remove(options.plot);
    return fail(err, kExitBadInput, written);
  }

  figures.run = std::move(run);
  out << summaryText(figures);
  return kExitSuccess;
}
