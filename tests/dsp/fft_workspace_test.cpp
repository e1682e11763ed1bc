#include "dsp/fft_workspace.h"

#include <gtest/gtest.h>

#include "dsp/fft_block.h"
#include "pool_check.h"
#include "sim/kernel/sim_kernel.h"

namespace {

TEST(FftWorkspace, HoldsFourZeroedVectorsSizedForTheBlock) {
  struct Case {
    int32_t frameLength;
    int32_t n;
  };
  for (const Case& c : {Case{512, 512}, Case{600, 512}, Case{64, 64}}) {
    FftBlock* block = FftBlock::create(c.frameLength, 0, 8000, FftBlock::kRectangular);
    ASSERT_NE(block, nullptr);
    const int64_t bytesBefore = sim::poolCounters().liveBytes;
    FftWorkspace* ws = FftWorkspace::create(block);
    ASSERT_NE(ws, nullptr);
    // time N, spectrum N + 2, magnitude N + 2, phase N floats, and the record.
    const int64_t floats = 4 * static_cast<int64_t>(c.n) + 4;
    EXPECT_EQ(sim::poolCounters().liveBytes - bytesBefore,
              floats * static_cast<int64_t>(sizeof(float)) + static_cast<int64_t>(sizeof(FftWorkspace)))
        << "N " << c.n;
    for (int32_t i = 0; i < c.n; i++) {
      ASSERT_EQ(ws->time[i], 0.0f);
      ASSERT_EQ(ws->phase[i], 0.0f);
    }
    for (int32_t i = 0; i < c.n + 2; i++) {
      ASSERT_EQ(ws->spectrum[i], 0.0f);
      ASSERT_EQ(ws->magnitude[i], 0.0f);
    }
    FftWorkspace::destroy(ws);
    EXPECT_EQ(ws, nullptr);
    EXPECT_EQ(sim::poolCounters().liveBytes, bytesBefore);
    FftBlock::destroy(block);
  }
}

TEST(FftWorkspace, NeedsABlock) {
  const int64_t before = dsp_test::liveBlocks();
  FftWorkspace* ws = FftWorkspace::create(nullptr);
  EXPECT_EQ(ws, nullptr);
  EXPECT_EQ(dsp_test::liveBlocks(), before);
  FftWorkspace::destroy(ws);
}

TEST(FftWorkspace, CreationUnderRefusedAllocationsReleasesAll) {
  FftBlock* block = FftBlock::create(512, 512, 48000, FftBlock::kHann);
  ASSERT_NE(block, nullptr);
  const int64_t steps = dsp_test::expectEveryRefusalReleasesAll<FftWorkspace>(
      "FftWorkspace(512)", [block] { return FftWorkspace::create(block); },
      [](FftWorkspace*& ws) { FftWorkspace::destroy(ws); });
  EXPECT_EQ(steps, 5) << "the record and its four vectors";
  FftBlock::destroy(block);
}

}  // namespace
