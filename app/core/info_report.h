#pragma once
// The console report of the switch Info: five values asked of the running
// instance, written as eight fixed English lines, then one character read.
#include <windows.h>

#include <stdint.h>

#include <string>

struct InstanceValues {
  uint32_t micEnergyMean = 0;  // running mean, 16-bit scale squared
  uint32_t outEnergyMean = 0;
  uint32_t ecStatusFlags = 0;
  uint32_t captureFormat = 0;  // packed, see PackedFormat
  uint32_t renderFormat = 0;
};

// A stream format packed into 32 bits: bits per sample in bits 0-7, channels
// in bits 8-15, the sample rate in Hz divided by 25 in bits 16-31.
struct PackedFormat {
  static constexpr uint32_t kRateUnit = 25;  // Hz
  uint32_t rate;
  uint32_t channels;
  uint32_t bits;
  static PackedFormat Unpack(uint32_t packed) {
    return {(packed >> 16) * kRateUnit, (packed >> 8) & 0xFF, packed & 0xFF};
  }
};

// Asks the running instance, finding its window afresh for each query; a
// query whose window is not found yields 0.
InstanceValues QueryRunningInstance();
// 10 * log10(mean), truncated toward zero. A mean of 0 has no level; it
// prints as 0, like a mean of 1.
int DecibelFigure(uint32_t mean);
// The eight lines, each cut to the line buffer of 256 characters.
std::wstring FormatInfoReport(const InstanceValues& values);
// Allocates a console, writes the report to standard output and reads one
// character from standard input. Where the process was given a standard
// output that is not a console (the report redirected into a file or a pipe)
// the report is written there as UTF-8 with WriteFile; where it was given
// such a standard input, one byte is read from it.
void RunInfoReport();
