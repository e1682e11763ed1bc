#include "segment_list.h"

#include <gtest/gtest.h>

namespace {

TEST(SegmentList, ReadsStretchesSkippingCommentsAndBlankLines) {
  SegmentListResult r = parseSegmentList(
      "# start end kind\n"
      "\n"
      "0.30 3.95 far   # the echo alone\n"
      "  4 6.5\tdouble\n"
      "6.5 7 near\n"
      "7.5 8 silence\n",
      "s.txt");
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.segments.size(), 4u);
  EXPECT_DOUBLE_EQ(r.segments[0].start, 0.30);
  EXPECT_DOUBLE_EQ(r.segments[0].end, 3.95);
  EXPECT_EQ(r.segments[0].kind, SegmentKind::FarOnly);
  EXPECT_EQ(r.segments[1].kind, SegmentKind::DoubleTalk);
  EXPECT_DOUBLE_EQ(r.segments[1].start, 4.0);
  EXPECT_EQ(r.segments[2].kind, SegmentKind::NearOnly);
  EXPECT_EQ(r.segments[3].kind, SegmentKind::Silence);
}

TEST(SegmentList, FaultsNameTheLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"0 1 far\n1 2\n", "s.txt:2: expected: start end kind"},
      {"0 1 far extra\n", "s.txt:1: expected: start end kind"},
      {"zero 1 far\n", "s.txt:1: start and end must be seconds, 0 or more"},
      {"0 1s far\n", "s.txt:1: start and end must be seconds, 0 or more"},
      {"-1 1 far\n", "s.txt:1: start and end must be seconds, 0 or more"},
      {"0 nan far\n", "s.txt:1: start and end must be seconds, 0 or more"},
      {"2 2 far\n", "s.txt:1: the end must come after the start"},
      {"3 2 far\n", "s.txt:1: the end must come after the start"},
      {"0 1 echo\n", "s.txt:1: unknown kind \"echo\" (far, double, near or silence)"},
      {"0 2 far\n# c\n1 3 double\n", "s.txt:3: stretches must be in time order without overlap"},
  };
  for (const Case& c : cases) {
    SegmentListResult r = parseSegmentList(c.text, "s.txt");
    EXPECT_EQ(r.error, c.error) << "text: " << c.text;
    EXPECT_TRUE(r.segments.empty()) << "a failed list yields no stretches: " << c.text;
  }
}

TEST(SegmentList, MissingFileIsOneLine) {
  EXPECT_EQ(readSegmentList("/nonexistent/s.txt").error, "/nonexistent/s.txt: no such file");
}

TEST(SegmentList, FramesOfOneKindAreRoundedAndClippedToTheSignal) {
  std::vector<Segment> segments = {
      {0.30, 3.95, SegmentKind::FarOnly},
      {4.00, 6.00, SegmentKind::DoubleTalk},
      {6.10, 6.90, SegmentKind::FarOnly},   // runs past the end of a 6.5 s signal
      {7.00, 8.00, SegmentKind::FarOnly},   // wholly past it: dropped
  };
  std::vector<FrameRange> far = framesOfKind(segments, SegmentKind::FarOnly, 16000, 104000);
  ASSERT_EQ(far.size(), 2u);
  EXPECT_EQ(far[0].begin, 4800);
  EXPECT_EQ(far[0].end, 63200);
  EXPECT_EQ(far[1].begin, 97600);
  EXPECT_EQ(far[1].end, 104000);
  // 11025 Hz: 0.30 s is 3307.5 frames, rounded away from zero to 3308.
  std::vector<FrameRange> odd = framesOfKind(segments, SegmentKind::FarOnly, 11025, 1000000);
  EXPECT_EQ(odd[0].begin, 3308);
  std::vector<FrameRange> talk = framesOfKind(segments, SegmentKind::DoubleTalk, 48000, 1000000);
  ASSERT_EQ(talk.size(), 1u);
  EXPECT_EQ(talk[0].begin, 192000);
  EXPECT_EQ(talk[0].end, 288000);
}

TEST(SegmentList, SettlingSkipsFramesAcrossStretchesInOrder) {
  const std::vector<FrameRange> ranges = {{100, 200}, {300, 350}, {400, 500}};
  struct Case {
    int64_t skip;
    std::vector<FrameRange> rest;
  };
  const Case cases[] = {
      {0, {{100, 200}, {300, 350}, {400, 500}}},
      {60, {{160, 200}, {300, 350}, {400, 500}}},
      {100, {{300, 350}, {400, 500}}},
      {120, {{320, 350}, {400, 500}}},
      {170, {{420, 500}}},
      {250, {}},
      {1000, {}},
  };
  for (const Case& c : cases) {
    std::vector<FrameRange> rest = afterFirstFrames(ranges, c.skip);
    ASSERT_EQ(rest.size(), c.rest.size()) << "skip " << c.skip;
    for (size_t i = 0; i < rest.size(); i++) {
      EXPECT_EQ(rest[i].begin, c.rest[i].begin) << "skip " << c.skip << ", range " << i;
      EXPECT_EQ(rest[i].end, c.rest[i].end) << "skip " << c.skip << ", range " << i;
    }
  }
}

}  // namespace
