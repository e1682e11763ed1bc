#include "dsp/sample_ring.h"

#include <gtest/gtest.h>

#include <vector>

#include "pool_check.h"

namespace {

// The mirror invariant: every sample is stored again capacity places later.
void expectMirror(const SampleRing& ring, const char* context) {
  for (int32_t i = 0; i < ring.capacity; i++) {
    ASSERT_EQ(ring.samples[i], ring.samples[i + ring.capacity]) << context << ", index " << i;
  }
}

std::vector<int16_t> ramp(int32_t n, int16_t first) {
  std::vector<int16_t> v(n);
  for (int32_t i = 0; i < n; i++) v[i] = static_cast<int16_t>(first + i);
  return v;
}

TEST(SampleRing, CreateRefusesCapacitiesItCannotHold) {
  for (int32_t capacity : {0, -1, SampleRing::kMaxCapacity + 1}) {
    SampleRing* ring = SampleRing::create(capacity);
    EXPECT_EQ(ring, nullptr) << "capacity " << capacity;
    SampleRing::destroy(ring);
  }
}

TEST(SampleRing, NewRingIsZeroedAndEmpty) {
  SampleRing* ring = SampleRing::create(16);
  ASSERT_NE(ring, nullptr);
  EXPECT_EQ(ring->unread(), 0);
  EXPECT_EQ(ring->writeIndex, 0);
  EXPECT_EQ(ring->readIndex, 0);
  for (int32_t i = 0; i < 32; i++) EXPECT_EQ(ring->samples[i], 0.0f) << "index " << i;
  SampleRing::destroy(ring);
  EXPECT_EQ(ring, nullptr);
}

// writeInt16 in runs of the given lengths onto a ring of capacity 8; the
// expected write index and unread count beside them (unread counts modulo
// the capacity, so a whole capacity ahead reads as empty).
TEST(SampleRing, WritesWrapAndKeepTheMirror) {
  struct Case {
    const char* name;
    std::vector<int32_t> runs;
    int32_t writeIndex;
    int32_t unread;
  };
  const Case cases[] = {
      {"nothing", {}, 0, 0},
      {"three", {3}, 3, 3},
      {"up to the end exactly", {3, 5}, 0, 0},
      {"one whole capacity onto an empty ring", {8}, 0, 0},
      {"across the end", {6, 5}, 3, 3},
      {"capacity minus one", {7}, 7, 7},
      {"whole capacity after a partial write", {2, 8}, 2, 2},
      {"longer than the capacity in one call", {19}, 3, 3},
      {"zero-length and negative runs", {0, -4, 2}, 2, 2},
  };
  for (const Case& c : cases) {
    SampleRing* ring = SampleRing::create(8);
    ASSERT_NE(ring, nullptr);
    int16_t next = 1;
    std::vector<float> written;
    for (int32_t n : c.runs) {
      std::vector<int16_t> src = ramp(n > 0 ? n : 0, next);
      ring->writeInt16(src.data(), n);
      for (int32_t i = 0; i < n; i++) written.push_back(static_cast<float>(src[i]));
      if (n > 0) next = static_cast<int16_t>(next + n);
    }
    EXPECT_EQ(ring->writeIndex, c.writeIndex) << c.name;
    EXPECT_EQ(ring->unread(), c.unread) << c.name;
    expectMirror(*ring, c.name);
    // The newest capacity samples (or all there are) read backwards from newest().
    const float* newest = ring->newest();
    const size_t shown = written.size() < 8 ? written.size() : 8;
    for (size_t k = 0; k < shown; k++) {
      EXPECT_EQ(newest[-static_cast<ptrdiff_t>(k)], written[written.size() - 1 - k]) << c.name << ", offset -" << k;
    }
    SampleRing::destroy(ring);
  }
}

TEST(SampleRing, PushAndWriteInt16StoreTheSameSamples) {
  SampleRing* pushed = SampleRing::create(5);
  SampleRing* written = SampleRing::create(5);
  ASSERT_NE(pushed, nullptr);
  ASSERT_NE(written, nullptr);
  const std::vector<int16_t> src = {-32768, 32767, 0, -1, 1, 12345, -12345};
  for (int16_t s : src) pushed->push(static_cast<float>(s));
  written->writeInt16(src.data(), 3);
  written->writeInt16(src.data() + 3, 4);
  EXPECT_EQ(pushed->writeIndex, 2);
  EXPECT_EQ(written->writeIndex, 2);
  for (int32_t i = 0; i < 10; i++) EXPECT_EQ(pushed->samples[i], written->samples[i]) << "index " << i;
  expectMirror(*pushed, "push");
  // Exact conversion: the extremes arrive unchanged.
  EXPECT_EQ(*written->newest(), -12345.0f);
  EXPECT_EQ(written->newest()[-2], 1.0f);
  EXPECT_EQ(written->newest()[-4], 0.0f);
  SampleRing::destroy(pushed);
  SampleRing::destroy(written);
}

TEST(SampleRing, UnreadCountsFromTheReadIndexModuloCapacity) {
  struct Case {
    int32_t readIndex;
    int32_t writeIndex;
    int32_t unread;
  };
  const Case cases[] = {{0, 0, 0}, {0, 5, 5}, {5, 5, 0}, {6, 2, 6}, {9, 0, 1}, {1, 0, 9}};
  SampleRing* ring = SampleRing::create(10);
  ASSERT_NE(ring, nullptr);
  for (const Case& c : cases) {
    ring->readIndex = c.readIndex;
    ring->writeIndex = c.writeIndex;
    EXPECT_EQ(ring->unread(), c.unread) << "read " << c.readIndex << ", write " << c.writeIndex;
  }
  SampleRing::destroy(ring);
}

TEST(SampleRing, CreationUnderRefusedAllocationsReleasesAll) {
  const int64_t steps = dsp_test::expectEveryRefusalReleasesAll<SampleRing>(
      "SampleRing(1000)", [] { return SampleRing::create(1000); },
      [](SampleRing*& r) { SampleRing::destroy(r); });
  EXPECT_EQ(steps, 2);
}

TEST(SampleRing, WritesDoNotAllocate) {
  SampleRing* ring = SampleRing::create(1000);
  ASSERT_NE(ring, nullptr);
  const std::vector<int16_t> src = ramp(333, -100);
  const int64_t before = dsp_test::totalAllocations();
  for (int i = 0; i < 10000; i++) {
    ring->writeInt16(src.data(), 333);
    ring->push(1.0f);
  }
  EXPECT_EQ(dsp_test::totalAllocations(), before);
  SampleRing::destroy(ring);
}

}  // namespace
