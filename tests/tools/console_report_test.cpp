#include "console_report.h"

#include <gtest/gtest.h>

namespace {

EcStatus record(uint32_t active, uint32_t micEnergy, uint32_t outEnergy) {
  EcStatus s{};
  s.active = active;
  s.micEnergy = micEnergy;
  s.outEnergy = outEnergy;
  return s;
}

TEST(StatusMeans, FollowOneProcessedStreamFromItsStart) {
  // Each step: the poll's record, then the means after it.
  struct Step {
    uint32_t active, micEnergy, outEnergy;
    uint32_t micMean, outMean, count;
  };
  const Step steps[] = {
      {0, 900, 900, 0, 0, 0},      // no stream: nothing counts
      {1, 100, 10, 100, 10, 1},    // the stream starts
      {1, 201, 21, 150, 15, 2},    // (100 + 201) / 2 = 150.5, truncated
      {1, 0, 0, 100, 10, 3},       // (150 x 2 + 0) / 3
      {0, 5000, 5000, 100, 10, 3},  // the stream stopped: the means stay as they were
      {1, 7, 3, 7, 3, 1},          // a new stream starts them afresh
      {1, 4294967295u, 4294967295u, 2147483651u, 2147483649u, 2},  // extended precision: no overflow
  };
  StatusMeans means;
  int i = 0;
  for (const Step& s : steps) {
    means.update(record(s.active, s.micEnergy, s.outEnergy));
    EXPECT_EQ(means.micEnergy(), s.micMean) << "step " << i;
    EXPECT_EQ(means.outEnergy(), s.outMean) << "step " << i;
    EXPECT_EQ(means.count(), s.count) << "step " << i;
    i++;
  }
}

TEST(ConsoleReport, LinesAsTheApplicationPrintsThem) {
  struct Case {
    uint32_t mean;
    int db;
  };
  const Case figures[] = {{0, 0}, {1, 0}, {9, 9}, {10, 10}, {100, 20}, {1000, 30}, {99999, 49}, {4294967295u, 96}};
  for (const Case& c : figures) EXPECT_EQ(decibelFigure(c.mean), c.db) << c.mean;

  EXPECT_EQ(packFormat(11025, 2, 16), (441u << 16) | (2u << 8) | 16u);
  EcStatus s{};
  s.active = 1;
  s.readRate = 11025;
  s.readChannels = 2;
  s.readBits = 16;
  s.writeRate = 44100;
  s.writeChannels = 2;
  s.writeBits = 32;
  s.flags = 0x20000;
  s.micEnergy = 31623;
  s.outEnergy = 100;
  StatusMeans means;
  means.update(s);
  EXPECT_EQ(consoleReport(s, means),
            "Format\n"
            " Read 11025Hz, 2ch, 16bit\n"
            " Write 44100Hz, 2ch, 32bit\n"
            "Power\n"
            " Mic 31623 (45 db)\n"
            " Out 100 (20 db)\n"
            "EC Status 0x20000\n");
}

}  // namespace
