#pragma once
// What Miravel's console report prints, from the status polls as Miravel
// makes them: the running means of the status record's peaks and energies
// over the polls of one processed stream, the capture and render formats
// packed as its window messages carry them, and the status flags.
#include <cstdint>
#include <string>

#include "shared/control_records.h"

class StatusMeans {
 public:
  // One poll's record. While the canceller is active each mean becomes
  // (mean x n + x) / (n + 1) in extended precision, truncated; the means
  // start afresh at 0 when a processed stream starts (active goes from 0 to
  // non-zero).
  void update(const EcStatus& status);

  uint32_t micEnergy() const { return means_[3]; }
  uint32_t outEnergy() const { return means_[5]; }
  uint32_t count() const { return count_; }

 private:
  static constexpr int kMeans = 6;  // readPeak, writePeak, outPeak, micEnergy, refEnergy, outEnergy
  uint32_t means_[kMeans] = {};
  uint32_t count_ = 0;
  uint32_t previousActive_ = 0;
};

// A format as the window messages carry it: bits per sample in bits 0-7,
// channels in bits 8-15, the rate divided by 25 Hz in bits 16-31.
uint32_t packFormat(uint32_t rate, uint32_t channels, uint32_t bits);

// 10 log10(mean) truncated toward zero; a mean of 0 prints as 0.
int decibelFigure(uint32_t mean);

// The report's lines after the latest poll: "Format", " Read ...", " Write ...",
// "Power", " Mic ...", " Out ...", "EC Status 0x...", each ending in "\n".
// The closing "--Press Enter--" prompt belongs to the console and is left out.
std::string consoleReport(const EcStatus& latest, const StatusMeans& means);
