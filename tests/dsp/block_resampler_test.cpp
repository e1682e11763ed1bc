#include "dsp/block_resampler.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "pool_check.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kHop = 256;  // samples at the filtering rate

int32_t gcd(int32_t a, int32_t b) { return b == 0 ? a : gcd(b, a % b); }

BlockFramer* framerOf(const BlockResampler* r) { return r->up != nullptr ? r->up->framer : r->down->framer; }

struct Tone {
  double hz;
  double amplitude;
  double phase;
};

// s(t) = sum of the tones, t in seconds.
double signalAt(const std::vector<Tone>& tones, double t) {
  double s = 0;
  for (const Tone& tone : tones) s += tone.amplitude * sin(2 * kPi * tone.hz * t + tone.phase);
  return s;
}

std::vector<int16_t> sampled(const std::vector<Tone>& tones, int32_t rate, int32_t count) {
  std::vector<int16_t> x(count);
  for (int32_t i = 0; i < count; i++) {
    double v = nearbyint(signalAt(tones, static_cast<double>(i) / rate));
    x[i] = static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
  }
  return x;
}

// Steady calls of inCount in, outCount wanted; what each call returned, the
// concatenated output, and the largest accumulator fill and unread input seen
// after a call.
struct Calls {
  std::vector<int32_t> returned;
  std::vector<int16_t> out;
  int32_t largestFill = 0;
  int32_t largestUnread = 0;
};

Calls drive(BlockResampler* r, const std::vector<int16_t>& in, int32_t inCount, int32_t outCount) {
  Calls run;
  std::vector<int16_t> block(outCount);
  BlockFramer* framer = framerOf(r);
  for (size_t start = 0; start + inCount <= in.size(); start += inCount) {
    const int32_t got = r->process(block.data(), outCount, in.data() + start, inCount);
    run.returned.push_back(got);
    run.out.insert(run.out.end(), block.begin(), block.begin() + got);
    if (framer->outputFill > run.largestFill) run.largestFill = framer->outputFill;
    if (framer->unread() > run.largestUnread) run.largestUnread = framer->unread();
  }
  return run;
}

std::string pattern(const std::vector<int32_t>& returned, size_t shown) {
  std::string s;
  for (size_t i = 0; i < returned.size() && i < shown; i++) s += (i ? ", " : "") + std::to_string(returned[i]);
  return s;
}

// 10 log10 of the ideal's energy over the error's, over y[first .. y.size()).
double snrDb(const std::vector<int16_t>& y, size_t first, double (*ideal)(size_t, const void*), const void* context) {
  double signal = 0, error = 0;
  for (size_t k = first; k < y.size(); k++) {
    const double want = ideal(k, context);
    signal += want * want;
    error += (y[k] - want) * (y[k] - want);
  }
  return 10 * log10(signal / fmax(error, 1e-30));
}

double rmsOf(const std::vector<int16_t>& y, size_t first) {
  EXPECT_LT(first, y.size()) << "nothing to measure";
  if (first >= y.size()) return 0;
  double sum = 0;
  for (size_t k = first; k < y.size(); k++) sum += static_cast<double>(y[k]) * y[k];
  return sqrt(sum / static_cast<double>(y.size() - first));
}

// ---------------------------------------------------------------------------
// Creation

TEST(BlockResampler, CreateBuildsOneStageForWholeRatiosOnly) {
  struct Case {
    int32_t outRate;
    int32_t inRate;
    int32_t maxInput;
    char stage;  // 'u' up, 'd' down, '-' refused
    int32_t factor;
    int32_t capacity;  // of the framer, samples at the filtering rate
  };
  const Case cases[] = {
      {48000, 8000, 80, 'u', 6, 48000},       // the rate wins
      {8000, 48000, 480, 'd', 6, 48000},
      {48000, 8000, 10000, 'u', 6, 120000},   // 2 x L x maxInput wins
      {8000, 48000, 30000, 'd', 6, 60000},    // 2 x maxInput wins
      {16000, 8000, 80, 'u', 2, 16000},
      {8000, 16000, 160, 'd', 2, 16000},
      {22050, 44100, 882, 'd', 2, 44100},
      {44100, 22050, 441, 'u', 2, 44100},
      {8000, 192000, 1920, 'd', 24, 192000},
      {500, 1000, 10, 'd', 2, 1024},          // the minimum wins
      {25600, 100, 10, 'u', 256, 25600},      // the largest factor with a pass band
      {25700, 100, 10, '-', 0, 0},            // factor 257: only DC would pass
      {8000, 8000, 80, '-', 0, 0},
      {44100, 48000, 480, '-', 0, 0},
      {48000, 44100, 441, '-', 0, 0},
      {0, 8000, 80, '-', 0, 0},
      {8000, 0, 80, '-', 0, 0},
      {48000, 8000, 0, '-', 0, 0},
      {-48000, 8000, 80, '-', 0, 0},
      {8000, 48000, -480, '-', 0, 0},
      {48000, 8000, 0x7FFFFFFF, '-', 0, 0},   // buffers beyond what int32 indexes
  };
  for (const Case& c : cases) {
    const int64_t before = dsp_test::liveBlocks();
    BlockResampler* r = BlockResampler::create(c.outRate, c.inRate, c.maxInput);
    const std::string what = std::to_string(c.inRate) + " to " + std::to_string(c.outRate) + ", maxInput " +
                             std::to_string(c.maxInput);
    ASSERT_EQ(r != nullptr, c.stage != '-') << what;
    if (r != nullptr) {
      EXPECT_EQ(r->maxInput, c.maxInput) << what;
      ASSERT_EQ(r->up != nullptr, c.stage == 'u') << what;
      ASSERT_EQ(r->down != nullptr, c.stage == 'd') << what;
      const int32_t filteringRate = c.outRate > c.inRate ? c.outRate : c.inRate;
      if (r->up != nullptr) {
        EXPECT_EQ(r->up->factor, c.factor) << what;
        EXPECT_EQ(r->up->block->sampleRate, filteringRate) << what;
      } else {
        EXPECT_EQ(r->down->factor, c.factor) << what;
        EXPECT_EQ(r->down->block->sampleRate, filteringRate) << what;
      }
      const BlockFramer* framer = framerOf(r);
      EXPECT_EQ(framer->frameLength, 512) << what;
      EXPECT_EQ(framer->capacity, c.capacity) << what;
      const FftBlock* block = r->up != nullptr ? r->up->block : r->down->block;
      EXPECT_EQ(block->length, 512);
      EXPECT_EQ(block->windowLength, 512);
      EXPECT_EQ(block->window[0], 0.0f) << "Hann";
    }
    BlockResampler::destroy(r);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(dsp_test::liveBlocks(), before) << what;
  }
}

TEST(BlockResampler, CreationUnderRefusedAllocationsReleasesAll) {
  struct Case {
    int32_t outRate;
    int32_t inRate;
    int32_t maxInput;
  };
  for (const Case& c : {Case{48000, 8000, 80}, Case{8000, 48000, 480}}) {
    const std::string what = "BlockResampler " + std::to_string(c.inRate) + " to " + std::to_string(c.outRate);
    const int64_t steps = dsp_test::expectEveryRefusalReleasesAll<BlockResampler>(
        what.c_str(), [c] { return BlockResampler::create(c.outRate, c.inRate, c.maxInput); },
        [](BlockResampler*& r) { BlockResampler::destroy(r); });
    printf("%s: %lld allocations\n", what.c_str(), static_cast<long long>(steps));
  }
  dsp_test::expectEveryRefusalReleasesAll<UpStage>(
      "UpStage", [] { return UpStage::create(48000, 6, 80); }, [](UpStage*& s) { UpStage::destroy(s); });
  dsp_test::expectEveryRefusalReleasesAll<DownStage>(
      "DownStage", [] { return DownStage::create(48000, 6, 480); }, [](DownStage*& s) { DownStage::destroy(s); });
}

// ---------------------------------------------------------------------------
// Limits of process

// One call of more than maxInput is refused whole: nothing written to dst,
// nothing taken into the ring, the accumulator as it was.
TEST(BlockResampler, InputAboveMaxInputIsRefusedAndLeavesTheStageUntouched) {
  struct Case {
    int32_t outRate;
    int32_t inRate;
    int32_t maxInput;
    int32_t outCount;
  };
  for (const Case& c : {Case{8000, 48000, 480, 80}, Case{48000, 8000, 80, 480}}) {
    BlockResampler* r = BlockResampler::create(c.outRate, c.inRate, c.maxInput);
    ASSERT_NE(r, nullptr);
    const std::vector<int16_t> in = sampled({{440, 9000, 0}}, c.inRate, c.maxInput * 4);
    std::vector<int16_t> out(c.outCount);
    // Two steady calls: a block is due on the next one.
    r->process(out.data(), c.outCount, in.data(), c.maxInput);
    r->process(out.data(), c.outCount, in.data() + c.maxInput, c.maxInput);
    const BlockFramer* framer = framerOf(r);
    const SampleRing ring = *framer->ring;
    const std::vector<float> samples(ring.samples, ring.samples + 2 * ring.capacity);
    const std::vector<float> accumulator(framer->accumulator, framer->accumulator + framer->capacity);
    const int32_t fill = framer->outputFill;
    std::vector<int16_t> sentinel(c.outCount, static_cast<int16_t>(0x5A5A));
    EXPECT_EQ(r->process(sentinel.data(), c.outCount, in.data(), c.maxInput + 1), 0);
    EXPECT_EQ(sentinel, std::vector<int16_t>(c.outCount, static_cast<int16_t>(0x5A5A))) << "dst untouched";
    EXPECT_EQ(framer->ring->writeIndex, ring.writeIndex);
    EXPECT_EQ(framer->ring->readIndex, ring.readIndex);
    EXPECT_EQ(framer->outputFill, fill);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), framer->ring->samples)) << "ring untouched";
    EXPECT_TRUE(std::equal(accumulator.begin(), accumulator.end(), framer->accumulator)) << "accumulator untouched";
    // The refusal lost nothing of the stream: the next steady call still gives its block.
    EXPECT_EQ(r->process(out.data(), c.outCount, in.data() + 2 * c.maxInput, c.maxInput), c.outCount);
    BlockResampler::destroy(r);
  }
}

// Output already due comes out without new input, one requested block at a
// time; a call that cannot be served writes nothing.
TEST(BlockResampler, OutputAlreadyDueComesOutWithoutInput) {
  BlockResampler* r = BlockResampler::create(8000, 48000, 4800);
  ASSERT_NE(r, nullptr);
  const std::vector<int16_t> in = sampled({{1000, 9000, 0}}, 48000, 4800);
  std::vector<int16_t> out(80);
  // 4800 samples make 18 hops, 4608 finished; one block of 480 leaves 4128.
  EXPECT_EQ(r->process(out.data(), 80, in.data(), 4800), 80);
  EXPECT_EQ(r->down->framer->outputFill, 4608 - 480);
  int32_t served = 0;
  while (r->process(out.data(), 80, nullptr, 0) == 80) served++;
  EXPECT_EQ(served, 4128 / 480);
  EXPECT_EQ(r->down->framer->outputFill, 4128 % 480);
  std::vector<int16_t> sentinel(80, 0x1234);
  EXPECT_EQ(r->process(sentinel.data(), 80, in.data(), 0), 0) << "inCount 0 asks only for what is due";
  EXPECT_EQ(sentinel, std::vector<int16_t>(80, 0x1234));
  BlockResampler::destroy(r);
}

// ---------------------------------------------------------------------------
// Timing of steady calls

struct Ratio {
  int32_t inRate;
  int32_t outRate;
};

// Every conversion the engine makes: capture down to the working rate and
// back, and render rates up to 192000 Hz down to each working rate.
std::vector<Ratio> engineRatios() {
  std::vector<Ratio> ratios = {{48000, 8000}, {8000, 48000}, {32000, 8000}, {8000, 32000}, {44100, 22050}, {22050, 44100}};
  const int32_t working[] = {8000, 11025, 16000, 22050};
  const int32_t render[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000};
  for (int32_t w : working) {
    for (int32_t rate : render) {
      if (rate > w && rate % w == 0) ratios.push_back({rate, w});
    }
  }
  return ratios;
}

// Blocks (samples at the filtering rate, whole multiples of the factor) of 5, 10
// and 20 ms where those are whole, the shortest of at least one hop, one that
// is a whole number of hops, and the short ones: the longest below a hop and
// a single output sample per call.
std::vector<int32_t> blockLengths(int32_t filteringRate, int32_t factor) {
  std::vector<int32_t> blocks;
  for (int32_t ms : {5, 10, 20}) {
    if (filteringRate * ms % 1000 == 0 && filteringRate * ms / 1000 % factor == 0) blocks.push_back(filteringRate * ms / 1000);
  }
  blocks.push_back((kHop + factor - 1) / factor * factor);
  blocks.push_back(kHop * factor);
  blocks.push_back((kHop - 1) / factor * factor);
  blocks.push_back(factor);
  return blocks;
}

// With blocks of B samples at the filtering rate, the framer finishes 256 per
// hop and a call is served once B are finished. The calls that give 0 are
// those the stream needs to build a lag of at least the largest remainder
// (c B mod 256 = 256 - gcd(B, 256)):
//   zeros = ceil((256 - gcd(B, 256)) / B),
// so B of a hop or more gives one 0 (none when B is whole hops), and shorter
// blocks a few more, after which every call gives outCount: no input is held
// back beyond that fixed lag, and none is lost. The accumulator never holds
// more than the lag (zeros x B), the ring less than a hop.
TEST(BlockResampler, SteadyCallsGiveOutputAfterAFixedStartUpForEveryEngineRatio) {
  int cases = 0;
  for (const Ratio& ratio : engineRatios()) {
    const bool up = ratio.outRate > ratio.inRate;
    const int32_t filteringRate = up ? ratio.outRate : ratio.inRate;
    const int32_t factor = up ? ratio.outRate / ratio.inRate : ratio.inRate / ratio.outRate;
    for (int32_t b : blockLengths(filteringRate, factor)) {
      if (b < factor) continue;
      const int32_t inCount = up ? b / factor : b;
      const int32_t outCount = up ? b : b / factor;
      const int32_t zeros = (kHop - gcd(b, kHop) + b - 1) / b;
      const int32_t calls = zeros + (b >= kHop ? 40 : 60 + 2 * kHop / b);
      BlockResampler* r = BlockResampler::create(ratio.outRate, ratio.inRate, inCount);
      ASSERT_NE(r, nullptr);
      const std::vector<int16_t> in = sampled({{200, 8000, 0.3}}, ratio.inRate, inCount * calls);
      const Calls run = drive(r, in, inCount, outCount);
      const std::string what = std::to_string(ratio.inRate) + " to " + std::to_string(ratio.outRate) + " Hz, " +
                               std::to_string(inCount) + " in, " + std::to_string(outCount) + " out per call: " +
                               pattern(run.returned, 12);
      int32_t zeroCalls = 0, lastZero = -1;
      for (int32_t i = 0; i < calls; i++) {
        ASSERT_TRUE(run.returned[i] == 0 || run.returned[i] == outCount) << what;
        if (run.returned[i] == 0) {
          zeroCalls++;
          lastZero = i;
        }
      }
      EXPECT_EQ(zeroCalls, zeros) << what;
      EXPECT_LT(lastZero, zeros + kHop / b + 1) << what << ": the zeros all fall in the start-up";
      if (b >= kHop) {
        EXPECT_EQ(run.returned[0], b % kHop == 0 ? outCount : 0) << what;
      }
      EXPECT_LE(run.largestFill, zeros * b) << what << ": the accumulator does not grow";
      EXPECT_LT(run.largestUnread, kHop) << what << ": every whole hop is filtered";
      if (b < kHop) {
        std::string zeroAt;
        for (int32_t i = 0; i <= lastZero; i++) {
          if (run.returned[i] == 0) zeroAt += (zeroAt.empty() ? "" : " ") + std::to_string(i + 1);
        }
        printf("start-up %d to %d Hz, %d in, %d out: 0 from call%s %s of %d, then %d every call\n", ratio.inRate,
               ratio.outRate, inCount, outCount, zeroCalls > 1 ? "s" : "", zeroCalls > 12 ? ("1 .. " + std::to_string(lastZero + 1) + " (" + std::to_string(zeroCalls) + " calls)").c_str() : zeroAt.c_str(), calls, outCount);
      }
      BlockResampler::destroy(r);
      cases++;
    }
  }
  printf("%d ratio and block cases\n", cases);
}

TEST(BlockResampler, TenMillisecondBlocksFrom16000To8000StartAsTheEngineExpects) {
  BlockResampler* r = BlockResampler::create(8000, 16000, 160);
  ASSERT_NE(r, nullptr);
  const std::vector<int16_t> in = sampled({{500, 8000, 0}}, 16000, 160 * 10);
  const Calls run = drive(r, in, 160, 80);
  const std::vector<int32_t> expected = {0, 80, 0, 80, 80, 80, 80, 80, 80, 80};
  EXPECT_EQ(run.returned, expected) << pattern(run.returned, 10);
  BlockResampler::destroy(r);
}

// ---------------------------------------------------------------------------
// Rounding and saturation

// The down stage keeps every M-th finished sample, rounded to nearest with
// ties to even and saturated; the values are placed in the accumulator
// directly, beside what must come out.
TEST(BlockResampler, DownStageRoundsTiesToEvenAndSaturates) {
  struct Case {
    float finished;
    int16_t out;
  };
  const Case cases[] = {
      {2.5f, 2},          {3.5f, 4},           {-2.5f, -2},         {-3.5f, -4},       {0.5f, 0},
      {-0.5f, 0},         {1.5f, 2},           {0.49999997f, 0},    {2.5000002f, 3},   {-1.7f, -2},
      {32767.0f, 32767},  {32767.4f, 32767},   {32767.5f, 32767},   {40000.0f, 32767}, {1e30f, 32767},
      {-32768.0f, -32768}, {-32768.5f, -32768}, {-40000.0f, -32768}, {-1e30f, -32768}, {12345.0f, 12345},
  };
  constexpr int32_t kCount = sizeof(cases) / sizeof(cases[0]);
  BlockResampler* r = BlockResampler::create(8000, 48000, 480);
  ASSERT_NE(r, nullptr);
  BlockFramer* framer = r->down->framer;
  for (int32_t i = 0; i < kCount * 6; i++) framer->accumulator[i] = 7777.0f;  // the samples between are skipped
  for (int32_t i = 0; i < kCount; i++) framer->accumulator[6 * i] = cases[i].finished;
  framer->outputFill = 6 * kCount;
  std::vector<int16_t> out(kCount);
  ASSERT_EQ(r->process(out.data(), kCount, nullptr, 0), kCount);
  for (int32_t i = 0; i < kCount; i++) EXPECT_EQ(out[i], cases[i].out) << "finished sample " << cases[i].finished;
  EXPECT_EQ(framer->outputFill, 0);
  BlockResampler::destroy(r);
}

// The up stage rounds to 16 bits first and multiplies by L after, saturating:
// 2.5 gives 2 x 6 = 12, not 15; 5461.5 rounds to 5462, whose 32772 saturates.
TEST(BlockResampler, UpStageRoundsBeforeMultiplyingAndSaturates) {
  struct Case {
    float finished;
    int16_t out;
  };
  const Case cases[] = {
      {2.5f, 12},          {3.5f, 24},          {-2.5f, -12},         {0.4f, 0},           {1000.6f, 6006},
      {5461.4f, 32766},    {5461.5f, 32767},    {5462.0f, 32767},     {-5461.4f, -32766},  {-5461.5f, -32768},
      {-5462.0f, -32768},  {-5461.6f, -32768},  {40000.0f, 32767},    {-40000.0f, -32768},
  };
  constexpr int32_t kCount = sizeof(cases) / sizeof(cases[0]);
  BlockResampler* r = BlockResampler::create(48000, 8000, 80);
  ASSERT_NE(r, nullptr);
  BlockFramer* framer = r->up->framer;
  for (int32_t i = 0; i < kCount; i++) framer->accumulator[i] = cases[i].finished;
  framer->outputFill = kCount;
  std::vector<int16_t> out(kCount);
  ASSERT_EQ(r->process(out.data(), kCount, nullptr, 0), kCount);
  for (int32_t i = 0; i < kCount; i++) EXPECT_EQ(out[i], cases[i].out) << "finished sample " << cases[i].finished;
  BlockResampler::destroy(r);
}

// A square wave at full scale: the brick-wall low-pass overshoots it by about
// 9 % (Gibbs), carrying samples past the rails. They must stop there, never
// wrap. The same wave at half the level stays in range; doubled, it is what
// the full-scale run must give, clamped: within 2 L (the up stage's step after
// rounding) or 2 (the down stage's rounding).
TEST(BlockResampler, OvershootPastFullScaleSaturatesInBothStages) {
  struct Case {
    int32_t inRate;
    int32_t outRate;
  };
  for (const Case& c : {Case{8000, 48000}, Case{48000, 8000}, Case{22050, 44100}, Case{44100, 22050}}) {
    const bool up = c.outRate > c.inRate;
    const int32_t factor = up ? c.outRate / c.inRate : c.inRate / c.outRate;
    const int32_t inCount = c.inRate / 50, outCount = c.outRate / 50;
    const int32_t period = c.inRate / 250;  // a 250 Hz square wave
    std::vector<int16_t> full(c.inRate), half(c.inRate);
    for (int32_t i = 0; i < c.inRate; i++) {
      const bool high = i % period < period / 2;
      full[i] = high ? 32766 : -32766;
      half[i] = high ? 16383 : -16383;
    }
    BlockResampler* rf = BlockResampler::create(c.outRate, c.inRate, inCount);
    BlockResampler* rh = BlockResampler::create(c.outRate, c.inRate, inCount);
    ASSERT_NE(rf, nullptr);
    ASSERT_NE(rh, nullptr);
    const Calls fullRun = drive(rf, full, inCount, outCount);
    const Calls halfRun = drive(rh, half, inCount, outCount);
    ASSERT_EQ(fullRun.out.size(), halfRun.out.size());
    const std::string what = std::to_string(c.inRate) + " to " + std::to_string(c.outRate);
    const int32_t tolerance = up ? 2 * factor : 2;
    int highRail = 0, lowRail = 0, beyond = 0;
    for (size_t k = 0; k < fullRun.out.size(); k++) {
      const int32_t doubled = 2 * halfRun.out[k];
      if (doubled > 32767 || doubled < -32768) beyond++;
      const int32_t want = doubled > 32767 ? 32767 : doubled < -32768 ? -32768 : doubled;
      ASSERT_NEAR(fullRun.out[k], want, tolerance) << what << ", sample " << k << ": wrapped or lost";
      highRail += fullRun.out[k] == 32767;
      lowRail += fullRun.out[k] == -32768;
      if (up && fullRun.out[k] != 32767 && fullRun.out[k] != -32768) {
        ASSERT_EQ(fullRun.out[k] % factor, 0) << what << ", sample " << k << ": rounded after multiplying by L";
      }
    }
    printf("%s: %d of %zu samples would leave the 16-bit range; %d at 32767, %d at -32768\n", what.c_str(), beyond,
           fullRun.out.size(), highRail, lowRail);
    EXPECT_GT(highRail, 0) << what;
    EXPECT_GT(lowRail, 0) << what;
    BlockResampler::destroy(rf);
    BlockResampler::destroy(rh);
  }
}

// ---------------------------------------------------------------------------
// Signal facts

struct StageCase {
  int32_t inRate;
  int32_t outRate;
  int32_t inCount;
  std::vector<Tone> tones;
  double snrFloorDb;
};

struct Ideal {
  const std::vector<Tone>* tones;
  double delay;  // samples at the filtering rate
  double filteringRate;
  double step;   // filtering-rate samples per output sample
};

double idealAt(size_t k, const void* context) {
  const Ideal* ideal = static_cast<const Ideal*>(context);
  return signalAt(*ideal->tones, (static_cast<double>(k) * ideal->step - ideal->delay) / ideal->filteringRate);
}

// Each stage returns its input band-limited and delayed by 256 samples at the
// filtering rate: out[i] = s((M i - 256) / inRate) down, s((k - 256) /
// outRate) up. The error against that ideal is mostly the window's ripple
// (the gain dips by up to 0.31 % at mid-hop, about -53 dB), then the 16-bit
// rounding; a delay one filtering-rate sample off fits far worse.
TEST(BlockResampler, EachStageDelaysBy256SamplesAtTheFilteringRate) {
  const std::vector<Tone> narrow = {{300, 6000, 0.1}, {1100, 5000, 1.3}, {2900, 4000, 2.2}};
  const std::vector<Tone> wide = {{500, 6000, 0.1}, {3000, 5000, 1.3}, {8000, 4000, 2.2}};
  const StageCase cases[] = {
      {48000, 8000, 480, narrow, 52.5},  {8000, 48000, 80, narrow, 52.5}, {32000, 8000, 320, narrow, 52.5},
      {8000, 32000, 80, narrow, 52.5},   {44100, 22050, 882, wide, 52.5}, {22050, 44100, 441, wide, 52.5},
      {16000, 8000, 160, narrow, 52.5},  // short blocks: the start-up of 0, 80, 0, 80, ...
      {192000, 8000, 1920, narrow, 51}, {176400, 22050, 1764, wide, 52.5},
  };
  for (const StageCase& c : cases) {
    const bool up = c.outRate > c.inRate;
    const int32_t factor = up ? c.outRate / c.inRate : c.inRate / c.outRate;
    const int32_t outCount = up ? c.inCount * factor : c.inCount / factor;
    const double filteringRate = up ? c.outRate : c.inRate;
    BlockResampler* r = BlockResampler::create(c.outRate, c.inRate, c.inCount);
    ASSERT_NE(r, nullptr);
    const std::vector<int16_t> in = sampled(c.tones, c.inRate, c.inRate);  // one second
    const Calls run = drive(r, in, c.inCount, outCount);
    const size_t skip = 4 * 512 / (up ? 1 : factor);  // past the start-up at both ends of the frames
    const std::string what = std::to_string(c.inRate) + " to " + std::to_string(c.outRate);
    double snr[3];
    for (int d = -1; d <= 1; d++) {
      const Ideal ideal{&c.tones, 256.0 + d, filteringRate, up ? 1.0 : factor};
      snr[d + 1] = snrDb(run.out, skip, idealAt, &ideal);
    }
    printf("%s: SNR against s(t - 256 / %.0f) %.1f dB (delay 255: %.1f dB, 257: %.1f dB)\n", what.c_str(),
           filteringRate, snr[1], snr[0], snr[2]);
    EXPECT_GT(snr[1], c.snrFloorDb) << what;
    EXPECT_GT(snr[1], snr[0] + 15) << what << ": a delay of 255 fits nearly as well";
    EXPECT_GT(snr[1], snr[2] + 15) << what << ": a delay of 257 fits nearly as well";
    EXPECT_GT(run.out.size(), static_cast<size_t>(c.outRate) * 9 / 10) << what;
    BlockResampler::destroy(r);
  }
}

// Down then up (48000 to 8000 to 48000 and the other capture pairs): a sine in
// the pass band keeps its level within the tolerance below and comes out 512
// samples late at the capture rate (256 in each stage). The level is the
// least-squares amplitude of the sine at that delay; the two windows' ripple
// alone costs about 0.035 dB.
TEST(BlockResampler, PassBandSineThroughDownThenUpKeepsItsLevel) {
  struct Case {
    int32_t rate;
    int32_t working;
    int32_t block;  // samples at the capture rate
    double hz;
    double toleranceDb;
  };
  const Case cases[] = {
      {48000, 8000, 480, 200, 0.04},   {48000, 8000, 480, 1000, 0.04},  {48000, 8000, 480, 2000, 0.04},
      {48000, 8000, 480, 3000, 0.04},  {48000, 8000, 480, 3600, 0.04},  {48000, 8000, 480, 3800, 0.04},
      {48000, 8000, 480, 3900, 0.9},  // the pass band's last bin: the cut takes part of the window's main lobe
      {32000, 8000, 320, 1000, 0.04},
      {32000, 8000, 320, 3400, 0.04},  {44100, 22050, 882, 1000, 0.04}, {44100, 22050, 882, 9000, 0.04},
  };
  for (const Case& c : cases) {
    const int32_t m = c.rate / c.working;
    BlockResampler* down = BlockResampler::create(c.working, c.rate, c.block);
    BlockResampler* up = BlockResampler::create(c.rate, c.working, c.block / m);
    ASSERT_NE(down, nullptr);
    ASSERT_NE(up, nullptr);
    const double amplitude = 10000;
    const std::vector<int16_t> in = sampled({{c.hz, amplitude, 0}}, c.rate, c.rate);
    std::vector<int16_t> low(c.block / m), back(c.block), out;
    for (size_t start = 0; start + c.block <= in.size(); start += c.block) {
      if (down->process(low.data(), c.block / m, in.data() + start, c.block) == 0) continue;
      const int32_t got = up->process(back.data(), c.block, low.data(), c.block / m);
      out.insert(out.end(), back.begin(), back.begin() + got);
    }
    // The streams between the stages stay contiguous (a call that gives 0
    // keeps its input), so out[k] stands for in[k - 512]. Fit a cos + b sin at the frequency over the steady part, then the delay.
    double sc = 0, ss = 0, cc = 0, yc = 0, ys = 0;
    const size_t first = 4 * 512;
    for (size_t k = first; k < out.size(); k++) {
      const double w = 2 * kPi * c.hz * static_cast<double>(k) / c.rate;
      cc += cos(w) * cos(w);
      ss += sin(w) * sin(w);
      sc += sin(w) * cos(w);
      yc += out[k] * cos(w);
      ys += out[k] * sin(w);
    }
    const double det = cc * ss - sc * sc;
    const double a = (yc * ss - ys * sc) / det, b = (ys * cc - yc * sc) / det;
    const double levelDb = 20 * log10(hypot(a, b) / amplitude);
    // out[k] = A sin(w (k - d) / rate): its phase gives the delay modulo a period.
    const double period = c.rate / c.hz;
    double delay = fmod(-atan2(a, b) / (2 * kPi) * period, period);
    if (delay < 0) delay += period;
    const double expected = fmod(512.0, period);
    double err = fabs(delay - expected);
    err = fmin(err, period - err);
    printf("%d to %d to %d Hz, %.0f Hz sine: level %+.4f dB, phase delay %.3f samples (expected %.3f mod %.1f)\n",
           c.rate, c.working, c.rate, c.hz, levelDb, delay, expected, period);
    EXPECT_NEAR(levelDb, 0.0, c.toleranceDb) << c.rate << " Hz, " << c.hz << " Hz sine";
    EXPECT_LT(err, 0.05) << c.rate << " Hz, " << c.hz << " Hz sine: delay";
    BlockResampler::destroy(down);
    BlockResampler::destroy(up);
  }
}

// A tone above the cut-off of the down stage is removed before every M-th
// sample is kept: what is left (its alias, the filter's leakage and the
// rounding to 16 bits) is measured as the output's level against the input's,
// for tones swept at fractional bin positions (the Hann window's worst
// leakage). Three ranges above the lower rate's Nyquist frequency fN: the
// transition [fN, 1.125 fN), the near stop band [1.125 fN, 1.5 fN) and the far
// stop band above. The cut sits at bin 256 / M of the input rate, so at high
// input rates the bins are wide and the near stop band holds only a bin or two.
TEST(BlockResampler, DownStageAttenuatesTonesAboveTheCutOff) {
  struct Case {
    int32_t inRate;
    int32_t outRate;
    // Least attenuation accepted in the near and far stop bands, just below
    // the measured figure; 97.3 dB is where a 30000 tone's residue rounds to
    // nothing in 16 bits. The transition is reported, not promised: for M = 2
    // and 4 the pass band reaches the lower Nyquist frequency itself.
    double nearFloorDb;
    double farFloorDb;
  };
  const Case cases[] = {
      {48000, 8000, 56.5, 91},   {32000, 8000, 65.5, 96.5}, {44100, 22050, 83, 96.5},
      {16000, 8000, 83, 96.5},   {96000, 8000, 45, 79.5},   {192000, 8000, 31, 73.5},
  };
  const char* const rangeNames[3] = {"transition", "near stop band", "far stop band"};
  for (const Case& c : cases) {
    const int32_t m = c.inRate / c.outRate;
    const int32_t inCount = c.inRate / 50 / m * m;  // about 20 ms
    const double nyquist = c.outRate / 2.0;
    const double amplitude = 30000;
    double worst[3] = {1e9, 1e9, 1e9}, worstHz[3] = {0, 0, 0};
    const double top = c.inRate / 2.0 - nyquist * 0.05;
    const double farStep = (top - 1.5 * nyquist) / 60.7;  // about 60 tones, whatever the input rate
    for (double hz = nyquist + 1; hz < top; hz += hz < 1.5 * nyquist ? nyquist * 0.0123 : farStep) {
      BlockResampler* r = BlockResampler::create(c.outRate, c.inRate, inCount);
      ASSERT_NE(r, nullptr);
      const std::vector<int16_t> in = sampled({{hz, amplitude, 0}}, c.inRate, c.inRate / 8 > 6000 ? c.inRate / 8 : 6000);
      const Calls run = drive(r, in, inCount, inCount / m);
      const double rms = rmsOf(run.out, 4 * 512 / m);
      // A silent output is below half an LSB: count it as the rounding's noise.
      const double attenuationDb = 20 * log10(amplitude / sqrt(2.0) / fmax(rms, 0.5 / sqrt(3.0)));
      const int range = hz < 1.125 * nyquist ? 0 : hz < 1.5 * nyquist ? 1 : 2;
      if (attenuationDb < worst[range]) worst[range] = attenuationDb, worstHz[range] = hz;
      BlockResampler::destroy(r);
    }
    for (int range = 0; range < 3; range++) {
      printf("%d to %d Hz, %s: attenuated by at least %.1f dB (worst at %.0f Hz)\n", c.inRate, c.outRate,
             rangeNames[range], worst[range], worstHz[range]);
    }
    EXPECT_GT(worst[1], c.nearFloorDb) << c.inRate << " to " << c.outRate << ", " << rangeNames[1];
    EXPECT_GT(worst[2], c.farFloorDb) << c.inRate << " to " << c.outRate << ", " << rangeNames[2];
  }
}

// Zero stuffing makes images of the input at k x inRate +- f; the up stage's
// low-pass removes them. Each image's amplitude is measured by a Hann-weighted
// projection of the steady output onto it, against the tone's.
TEST(BlockResampler, UpStageRemovesTheImagesOfZeroStuffing) {
  struct Case {
    int32_t inRate;
    int32_t outRate;
    double hz;
    double floorDb;
  };
  // Floors just below the measured figures.
  const Case cases[] = {{8000, 48000, 1000, 92.5}, {8000, 48000, 3000, 94.5}, {8000, 48000, 3700, 75.5},
                        {8000, 32000, 1000, 90.5}, {22050, 44100, 5000, 118.5}, {22050, 44100, 10000, 109}};
  for (const Case& c : cases) {
    const int32_t l = c.outRate / c.inRate;
    const int32_t inCount = c.inRate / 50;
    BlockResampler* r = BlockResampler::create(c.outRate, c.inRate, inCount);
    ASSERT_NE(r, nullptr);
    const std::vector<int16_t> in = sampled({{c.hz, 10000, 0}}, c.inRate, c.inRate);
    const Calls run = drive(r, in, inCount, inCount * l);
    const size_t first = 4 * 512, count = run.out.size() - first;
    auto amplitudeAt = [&](double hz) {
      double re = 0, im = 0, weight = 0;
      for (size_t k = 0; k < count; k++) {
        const double w = 0.5 * (1 - cos(2 * kPi * static_cast<double>(k) / static_cast<double>(count - 1)));
        const double a = 2 * kPi * hz * static_cast<double>(first + k) / c.outRate;
        re += w * run.out[first + k] * cos(a);
        im += w * run.out[first + k] * sin(a);
        weight += w;
      }
      return 2 * hypot(re, im) / weight;
    };
    const double tone = amplitudeAt(c.hz);
    double worst = 1e9, worstHz = 0;
    for (int32_t k = 1; k * c.inRate - c.hz < c.outRate / 2.0; k++) {
      for (double image : {k * c.inRate - c.hz, k * c.inRate + c.hz}) {
        if (image >= c.outRate / 2.0) continue;
        const double db = 20 * log10(tone / fmax(amplitudeAt(image), 1e-9));
        if (db < worst) worst = db, worstHz = image;
      }
    }
    printf("%d to %d Hz, %.0f Hz tone (amplitude %.1f): strongest image %.1f dB below it, at %.0f Hz\n", c.inRate,
           c.outRate, c.hz, tone, worst, worstHz);
    EXPECT_NEAR(tone, 10000, 10000 * 0.005) << c.inRate << " to " << c.outRate << ", " << c.hz << " Hz";
    EXPECT_GT(worst, c.floorDb) << c.inRate << " to " << c.outRate << ", " << c.hz << " Hz";
    BlockResampler::destroy(r);
  }
}

// ---------------------------------------------------------------------------
// No allocation while processing

TEST(BlockResampler, ProcessDoesNotAllocateOverALongSteadyRun) {
  struct Case {
    int32_t inRate;
    int32_t outRate;
    int32_t inCount;
  };
  for (const Case& c : {Case{48000, 8000, 480}, Case{8000, 48000, 80}, Case{16000, 8000, 160}}) {
    const bool up = c.outRate > c.inRate;
    const int32_t outCount = up ? c.inCount * (c.outRate / c.inRate) : c.inCount / (c.inRate / c.outRate);
    BlockResampler* r = BlockResampler::create(c.outRate, c.inRate, c.inCount);
    ASSERT_NE(r, nullptr);
    const std::vector<int16_t> in = sampled({{440, 10000, 0}}, c.inRate, c.inRate);
    std::vector<int16_t> out(outCount);
    const int64_t before = dsp_test::totalAllocations();
    int64_t served = 0;
    for (int second = 0; second < 20; second++) {
      for (size_t start = 0; start + c.inCount <= in.size(); start += c.inCount) {
        served += r->process(out.data(), outCount, in.data() + start, c.inCount);
      }
      r->process(out.data(), outCount, nullptr, 0);
    }
    EXPECT_EQ(dsp_test::totalAllocations(), before) << c.inRate << " to " << c.outRate;
    EXPECT_GT(served, static_cast<int64_t>(c.outRate) * 19) << c.inRate << " to " << c.outRate;
    BlockResampler::destroy(r);
  }
}

}  // namespace
