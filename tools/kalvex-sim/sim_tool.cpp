#include "sim_tool.h"

#include <cstdio>
#include <filesystem>

#include "console_report.h"
#include "echo_metrics.h"
#include "level_plot.h"
#include "notebook_measures.h"
#include "notebook_simulation.h"
#include "segment_list.h"
#include "sim_options.h"
#include "sim_report.h"
#include "wav_file.h"

namespace {

// The status record's line is printed at every fifth poll (500 ms of audio).
constexpr int64_t kStatusLineEveryPolls = 5;
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

std::string printf1(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
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
    out << "status: every 100 ms of audio the console report of the control application (running means of\n"
           "        the polls since the processed stream started); every 500 ms also the status record: audio\n"
           "        time, active, flags, peaks (16-bit scale) before processing, of the far end and after\n"
           "        processing, mean squares at the working rate (dB of one step squared), 1000 x echo path, delay\n";
  }
  NotebookSettings settings{options.bufferMs, options.noiseSuppressor, options.micMode, options.canceller};
  NotebookResult run = playNotebook(mic.stream, far.stream, settings, [&](const StatusRead& read) {
    if (!options.status) return;
    out << "poll " << read.poll << printf1(" at %.2f s\n", read.seconds) << consoleReport(read.status, read.means);
    if (read.poll % kStatusLineEveryPolls == 0) out << "status " << statusLine(read) << "\n";
  });
  if (!run.driverStarted) return fail(err, kExitFault, "driver fault: the driver did not start or its control device did not open");
  if (!run.streamFault.empty()) return fail(err, kExitFault, "driver fault: " + run.streamFault);
  if (!run.poolReleased) return fail(err, kExitFault, "driver fault: the driver left pool memory behind");

  int32_t rate = mic.stream.format.rate;
  NotebookMeasures measures = measureNotebook(mic.stream, run.output, segments.segments);
  SummaryFigures figures;
  figures.micPath = options.mic;
  figures.farPath = options.far;
  figures.outPath = options.out;
  figures.plotPath = options.plot;
  figures.mic = mic.stream.format;
  figures.far = far.stream.format;
  figures.seconds = mic.stream.seconds();
  figures.bufferMs = options.bufferMs;
  figures.canceller = options.canceller;
  figures.noiseSuppressor = options.noiseSuppressor;
  figures.micMode = options.micMode;
  figures.latencyMs = measures.latencyMs;
  figures.erleWhole = measures.erleWhole;
  figures.haveSegments = !options.segments.empty();
  if (figures.haveSegments) {
    figures.farOnlySeconds = measures.farOnlySeconds;
    figures.erleFarOnly = measures.erleFarOnly;
    figures.settleSeconds = kSettleMs / 1000.0;
    figures.erleFarOnlySettled = measures.erleFarOnlySettled;
    figures.erleDoubleTalk = measures.erleDoubleTalk;
  }

  if (!options.plot.empty()) {
    int64_t micWindow = int64_t{rate} * kPlotWindowMs / 1000;
    int64_t farWindow = int64_t{far.stream.format.rate} * kPlotWindowMs / 1000;
    LevelPlot plot;
    plot.title = "kalvex-sim: " + fileName(options.mic) + " with " + fileName(options.far) + ", " +
                 formatText(mic.stream.format);
    plot.windowSeconds = kPlotWindowMs / 1000.0;
    plot.mic = levelsDb(toSignal(mic.stream), micWindow);
    plot.out = levelsDb(toSignal(run.output), micWindow);
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
