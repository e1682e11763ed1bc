#include "rate_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "scenario_fixture.h"

namespace {

// |X(f)| / (N / 2) over the middle half of channel 0 on the 16-bit scale: the
// amplitude of a tone at f, from one bin of a direct DFT.
double amplitude(const PcmStream& s, double f) {
  Signal x = toSignal(s);
  int64_t begin = x.frames() / 4, end = 3 * x.frames() / 4;
  std::complex<double> sum = 0;
  for (int64_t n = begin; n < end; n++) {
    double phase = -2 * M_PI * f * static_cast<double>(n) / x.rate;
    sum += x.samples[static_cast<size_t>(n * x.channels)] * std::polar(1.0, phase);
  }
  return std::abs(sum) / (static_cast<double>(end - begin) / 2);
}

TEST(RateConverter, PassesTheBandBelowTheNewNyquistAndStopsWhatWouldAlias) {
  struct Case {
    int32_t from, to;
    double hz;
    double lowDb, highDb;  // the gain expected, dB
  };
  const Case cases[] = {
      {48000, 16000, 1000, -0.05, 0.05},
      {48000, 16000, 6000, -0.1, 0.1},   // inside the pass band (0.9 x 8000 Hz = 7200 Hz)
      {48000, 16000, 10000, -200, -40},  // would alias to 6000 Hz
      {16000, 8000, 500, -0.05, 0.05},
      {44100, 11025, 3000, -0.1, 0.1},
      {44100, 11025, 9000, -200, -40},   // would alias to 2025 Hz
  };
  for (const Case& c : cases) {
    std::vector<double> tone(static_cast<size_t>(c.from / 2));  // 0.5 s
    for (size_t n = 0; n < tone.size(); n++) {
      tone[n] = 10000.0 * std::sin(2 * M_PI * c.hz * static_cast<double>(n) / c.from);
    }
    PcmStream in = scenario::stream(tone, {c.from, 2, 16});
    PcmStream out = decimateStream(in, c.to);
    std::string name = std::to_string(c.from) + " to " + std::to_string(c.to) + " Hz, tone " + std::to_string(c.hz);
    ASSERT_EQ(out.format, (PcmFormat{c.to, 2, 16})) << name;
    EXPECT_EQ(out.frames(), (in.frames() + c.from / c.to - 1) / (c.from / c.to)) << name;
    double aliasHz = c.hz < c.to / 2.0 ? c.hz : c.to - c.hz;
    double gainDb = 20 * std::log10(std::max(amplitude(out, aliasHz), 1e-3) / 10000.0);
    EXPECT_GE(gainDb, c.lowDb) << name;
    EXPECT_LE(gainDb, c.highDb) << name;
  }
  PcmStream same = scenario::stream({1, 2, 3}, {16000, 1, 16});
  EXPECT_EQ(decimateStream(same, 16000).bytes, same.bytes) << "a factor of 1 changes nothing";
}

}  // namespace
