#include "sim_report.h"

#include <cmath>
#include <cstdio>

namespace {

std::string printf1(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A mean square of the 16-bit scale in dB (10 log10); 0 reads as 0 dB.
std::string energyDb(uint32_t meanSquare) {
  return printf1("%.0f dB", meanSquare == 0 ? 0.0 : 10.0 * std::log10(static_cast<double>(meanSquare)));
}

std::string erleText(const std::optional<double>& erle) { return erle ? printf1("%.1f dB", *erle) : "n/a"; }

std::string delayText(int32_t delay, int32_t workingRate) {
  if (delay < 0 || workingRate <= 0) return "none (no canceller)";
  return printf1("%.1f ms", 1000.0 * delay / workingRate) + " (" + std::to_string(delay) + " samples at " +
         std::to_string(workingRate) + " Hz)";
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// What the status flags say, as " (...)"; "" without flags.
std::string flagMeanings(uint32_t flags) {
  std::string meanings;
  auto add = [&](uint32_t flag, const char* meaning) {
    if ((flags & flag) == 0) return;
    meanings += meanings.empty() ? " (" : "; ";
    meanings += meaning;
  };
  add(EcStatus::kFlagCaptureFormatUnusable, "capture format not usable: 8-bit, rate not allowed or partial frames");
  add(EcStatus::kFlagRenderFormatUnusable, "render format not usable: 8-bit or not a multiple of the capture rate");
  add(EcStatus::kFlagUserModeCapture, "capture from a user-mode requester");
  return meanings.empty() ? "" : meanings + ")";
}

}  // namespace

std::string formatText(const PcmFormat& format) {
  return std::to_string(format.rate) + " Hz, " + std::to_string(format.channels) + " ch, " +
         std::to_string(format.bits) + " bit";
}

std::string statusLine(const StatusRead& read) {
  const EcStatus& s = read.status;
  std::string line = printf1("%6.2f s", read.seconds);
  line += "  active " + std::to_string(s.active) + "  flags " + hex(s.flags);
  line += "  peak mic " + std::to_string(s.readPeak) + " far " + std::to_string(s.writePeak) + " out " +
          std::to_string(s.outPeak);
  line += "  energy mic " + energyDb(s.micEnergy) + " ref " + energyDb(s.refEnergy) + " out " + energyDb(s.outEnergy);
  line += "  echo path " + std::to_string(s.echoPathGain);
  if (read.delay >= 0 && read.workingRate > 0) line += printf1("  delay %.1f ms", 1000.0 * read.delay / read.workingRate);
  return line;
}

std::string summaryText(const SummaryFigures& f) {
  const NotebookResult& run = f.run;
  std::string text = "kalvex-sim summary\n";
  text += "  microphone    " + formatText(f.mic) + "  " + f.micPath + "\n";
  text += "  far end       " + formatText(f.far) + "  " + f.farPath + "\n";
  if (run.renderFormat != f.far) {
    text += "  render pin    " + formatText(run.renderFormat) + "  (negotiated; the mixer resamples the far end)\n";
  }
  text += "  output        " + formatText(f.mic) + "  " + f.outPath + "\n";
  if (!f.plotPath.empty()) text += "  plot          " + f.plotPath + "\n";
  text += printf1("  audio         %.2f s", f.seconds) + " in buffers of " + std::to_string(f.bufferMs) + " ms (" +
          std::to_string(run.captureFrames) + " capture, " + std::to_string(run.renderFrames) + " render frames)\n";
  text += "  working rate  " + std::to_string(run.workingRate) + " Hz\n";
  std::string canceller = run.cancellerRan ? "ran" : "did not run";
  if (!f.canceller) {
    canceller = "off (the microphone passes untouched)";
  } else {
    canceller += std::string(", noise suppressor ") + (f.noiseSuppressor ? "on" : "off");
    if (f.mic.channels == 2) canceller += f.micMode == 2 ? ", one canceller per channel" : ", first channel to both";
  }
  text += "  canceller     " + canceller + "\n";
  text += "  delay         " + delayText(run.delay, run.workingRate) + "\n";
  text += printf1("  latency       %.0f ms from microphone to output (measured)\n", f.latencyMs);
  if (f.haveSegments) {
    text += "  ERLE          far-end only " + erleText(f.erleFarOnly) + printf1(" over %.2f s\n", f.farOnlySeconds);
    text += printf1("                far-end only after its first %.1f s ", f.settleSeconds) +
            erleText(f.erleFarOnlySettled) + "\n";
    if (f.erleDoubleTalk) text += "                double talk " + erleText(f.erleDoubleTalk) + "\n";
  } else {
    text += "  ERLE          far-end only n/a (give --segments)\n";
  }
  text += "                whole file " + erleText(f.erleWhole) + "\n";
  double perSecond = f.seconds > 0.0 ? run.cpuSeconds / f.seconds : 0.0;
  text += printf1("  CPU           %.2f ms per second of audio", 1000.0 * perSecond) +
          printf1(" (%.2f %% of one core)\n", 100.0 * perSecond);
  text += "  status flags  " + hex(run.flags) + flagMeanings(run.flags) + "\n";
  return text;
}
