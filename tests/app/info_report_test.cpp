#include <gtest/gtest.h>

#include "core/info_report.h"

namespace {

TEST(InfoReport, DecibelFigureIsTruncatedTowardZero) {
  struct Case {
    uint32_t mean;
    int expected;  // 10 * log10(mean), truncated
  } const cases[] = {
      {0, 0},  // no level: printed as 0
      {1, 0},
      {9, 9},            // 9.54
      {10, 10},
      {99, 19},          // 19.96
      {100, 20},
      {1073676289, 90},  // full scale squared, 32767^2: 90.31
      {0xFFFFFFFFu, 96}, // read as unsigned: 96.33
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, DecibelFigure(c.mean)) << "mean " << c.mean;
}

TEST(InfoReport, UnpacksFormats) {
  struct Case {
    uint32_t packed;
    uint32_t rate, channels, bits;
  } const cases[] = {
      {0, 0, 0, 0},
      {(48000 / 25) << 16 | 2 << 8 | 16, 48000, 2, 16},
      {(11025 / 25) << 16 | 1 << 8 | 8, 11025, 1, 8},
      {(44100 / 25) << 16 | 2 << 8 | 32, 44100, 2, 32},
      {0xFFFFFFFFu, 0xFFFFu * 25, 255, 255},
  };
  for (const Case& c : cases) {
    const PackedFormat format = PackedFormat::Unpack(c.packed);
    EXPECT_EQ(c.rate, format.rate) << "packed 0x" << std::hex << c.packed;
    EXPECT_EQ(c.channels, format.channels) << "packed 0x" << std::hex << c.packed;
    EXPECT_EQ(c.bits, format.bits) << "packed 0x" << std::hex << c.packed;
  }
}

TEST(InfoReport, FormatsTheEightLines) {
  InstanceValues values;
  values.micEnergyMean = 123456;  // 50.9 dB
  values.outEnergyMean = 0;
  values.ecStatusFlags = 0x40000;
  values.captureFormat = (8000 / 25) << 16 | 1 << 8 | 16;
  values.renderFormat = (22050 / 25) << 16 | 2 << 8 | 8;
  EXPECT_EQ(std::wstring(L"Format\n"
                         L" Read 8000Hz, 1ch, 16bit\n"
                         L" Write 22050Hz, 2ch, 8bit\n"
                         L"Power\n"
                         L" Mic 123456 (50 db)\n"
                         L" Out 0 (0 db)\n"
                         L"EC Status 0x40000\n"
                         L"\n--Press Enter--\n"),
            FormatInfoReport(values));
}

}  // namespace
