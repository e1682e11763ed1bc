#include "console_report.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr uint32_t kRateUnit = 25;  // Hz, of a packed format

template <typename... Arguments>
std::string line(const char* format, Arguments... arguments) {
  char text[256];  // the report's line buffer
  std::snprintf(text, sizeof text, format, arguments...);
  return text;
}

}  // namespace

void StatusMeans::update(const EcStatus& s) {
  if (s.active != 0) {
    if (previousActive_ == 0) {
      for (uint32_t& mean : means_) mean = 0;
      count_ = 0;
    }
    const uint32_t x[kMeans] = {s.readPeak, s.writePeak, s.outPeak, s.micEnergy, s.refEnergy, s.outEnergy};
    long double n = count_;
    for (int i = 0; i < kMeans; i++) {
      means_[i] = static_cast<uint32_t>((means_[i] * n + x[i]) / (n + 1));
    }
    count_++;
  }
  previousActive_ = s.active;
}

uint32_t packFormat(uint32_t rate, uint32_t channels, uint32_t bits) {
  return (rate / kRateUnit) << 16 | (channels & 0xFF) << 8 | (bits & 0xFF);
}

int decibelFigure(uint32_t mean) {
  if (mean == 0) return 0;
  // The nudge of 1e-9 dB keeps a power of ten whose log10 falls an ulp short
  // from being truncated a whole decibel down; it is below the distance of
  // any other 32-bit value's figure from an integer.
  return static_cast<int>(10.0 * std::log10(static_cast<double>(mean)) + 1e-9);
}

std::string consoleReport(const EcStatus& s, const StatusMeans& means) {
  uint32_t capture = packFormat(s.readRate, s.readChannels, s.readBits);
  uint32_t render = packFormat(s.writeRate, s.writeChannels, s.writeBits);
  auto rate = [](uint32_t packed) { return static_cast<int>((packed >> 16) * kRateUnit); };
  auto channels = [](uint32_t packed) { return static_cast<int>((packed >> 8) & 0xFF); };
  auto bits = [](uint32_t packed) { return static_cast<int>(packed & 0xFF); };
  std::string report = "Format\n";
  report += line(" Read %dHz, %dch, %dbit\n", rate(capture), channels(capture), bits(capture));
  report += line(" Write %dHz, %dch, %dbit\n", rate(render), channels(render), bits(render));
  report += "Power\n";
  report += line(" Mic %d (%d db)\n", static_cast<int>(means.micEnergy()), decibelFigure(means.micEnergy()));
  report += line(" Out %d (%d db)\n", static_cast<int>(means.outEnergy()), decibelFigure(means.outEnergy()));
  report += line("EC Status 0x%X\n", static_cast<unsigned>(s.flags));
  return report;
}
